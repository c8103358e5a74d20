// The C++ compiler's stand-ins in the test process: comp32x.dll (or a
// variant), win32debugide150.bpl and delphicoreide150.bpl, their drivers,
// the C++-compiler-init queue filled by the subsystem's units, and a
// compiler reload as the IDE's CppLoadCompiler does it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>
#include <windows.h>

#include "TestHost/comp32x/Comp32xDriver.h"

namespace CppStandIns {

// <build>/host/<file>, or the variant's copy when it has one.
std::wstring ModulePath(const std::wstring& file, const std::string& variant = "");
// Loads the three stand-ins (from the variant's directory where it has a copy) and binds the drivers.
void Load(const std::string& variant = "");
// Binds the drivers to the modules already loaded.
void Bind();
const Comp32xDriver::TDriver& Compiler();

// The subsystem's units put their procedures on the C++-compiler-init queue
// (once per process); RunCppProcs runs the queue as a compiler load does
// ("Quillmend.DisabledPatches" is read at the process's first registration).
void QueueCppProcs();
void RunCppProcs();

// Unloads comp32x.dll (dropping the edits inside it, as the compiler-load
// interception does) and loads the same file again; the new base address.
HMODULE ReloadCompiler();

// "applied", "failed", "ignored" or "" (not registered), and the reason.
std::wstring Status(const std::wstring& patch);
std::wstring Reason(const std::wstring& patch);

// win32debugide150's GetDebugHook and its driver.
void* GetDebugHook();
uint32_t DebuggerLookups();
void RaiseInGetDebugHook();
// delphicoreide150's progress procedure run `count` times; its PeekMessage calls.
int32_t RunKibitzProgress(void* monitor, int32_t count);
uint32_t PeekMessageCalls();
void* NewMonitor(bool canceled);
void** DoKibitzProgressVariable();

// C-like identifiers from a seed (distinct by a running number).
std::vector<std::string> Identifiers(int count, uint32_t randomSeed);

// The bytes of a module's image range [address, address + size).
std::vector<uint8_t> Bytes(const void* address, size_t size);

}  // namespace CppStandIns
