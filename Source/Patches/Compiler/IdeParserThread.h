// The IDE's background parser thread as the compiler patches see it: the
// parse-thread object of coreide150.bpl (its thread id, its lock object, its
// lock count) and delphicoreide150.bpl's question whether the main thread
// wants the parser to yield.
#pragma once

#include <cstdint>
#include <windows.h>

namespace Quillmend {

namespace IdeParserThreadExport {
inline constexpr const wchar_t* CoreIde = L"coreide150.bpl";
inline constexpr const wchar_t* DelphiCoreIde = L"delphicoreide150.bpl";
// DATA: the variable holding the parse-thread object (or nil).
inline constexpr const char* ParseThread = "@Parserthread@ParseThread";
// Methods of the parse-thread object (register convention, EAX = Self).
inline constexpr const char* Lock = "@Parserthread@TParseThread@Lock$qqrv";
inline constexpr const char* CancelAndLock = "@Parserthread@TParseThread@CancelAndLock$qqrv";
inline constexpr const char* Unlock = "@Parserthread@TParseThread@Unlock$qqrv";
// function: Boolean, nonzero while the main thread waits for the parser.
inline constexpr const char* MainThreadRequest = "@Delphicoreide@MainThreadRequest$qqrv";
} // namespace IdeParserThreadExport

namespace ParseThreadLayout {
constexpr int ThreadId = 0x08;    // 32 bits
constexpr int LockObject = 0x40;  // host object: its first virtual method acquires it; handle at +4
constexpr int LockCount = 0x50;   // 32 bits
} // namespace ParseThreadLayout

// Looks the exports up in the loaded packages (missing ones stay null).
void ResolveParserThread();
// The parse-thread object, or null.
void* ParserThreadObject();
// True on the parser thread while the main thread wants it to yield.
bool ParserShouldYield();

} // namespace Quillmend
