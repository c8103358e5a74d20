// What the editor, parser and code-completion fixes rely on in the IDE's
// modules: module and export names, and the record fields they read.
#pragma once

#include <cstdint>
#include <cstring>

namespace Quillmend {
namespace EditorParserHost {

constexpr const wchar_t* EditorKernel = L"boreditu.dll";
constexpr const wchar_t* CoreIde = L"coreide150.bpl";
constexpr const wchar_t* DelphiCoreIde = L"delphicoreide150.bpl";
constexpr const wchar_t* RefactorIde = L"refactoride150.bpl";
constexpr const wchar_t* Vcl = L"vcl150.bpl";
constexpr const wchar_t* Rtl = L"rtl150.bpl";

namespace Export {
constexpr const char* EkEval = "@Edkrnl@EkEval$qqrr10Ek@TEkViewr9Ek@TEdCmd10TUndoGroup";
constexpr const char* WriteBlockToStream = "@Edkrnl@WriteBlockToStream$qqrp10Ek@TEkViewp15Classes@TStreamo";
constexpr const char* TextBlockSize = "@Edkrnl@TextBlockSize$qqrp10Ek@TEkViewo";
constexpr const char* CustomMemoryStream = "@Classes@TCustomMemoryStream@";
constexpr const char* NotifyDestroyed =
    "@Docmodul@TCodeIDocModule@NotifyDestroyed$qqr45System@%DelphiInterface$t17System@IInterface%t1";
constexpr const char* ParseThread = "@Parserthread@ParseThread";
constexpr const char* Parse = "@Parserthread@TParseThread@Parse$qqrv";
constexpr const char* CancelAndLock = "@Parserthread@TParseThread@CancelAndLock$qqrv";
constexpr const char* Unlock = "@Parserthread@TParseThread@Unlock$qqrv";
constexpr const char* MonitorStart = "@Kibitzingmonitor@TKibitzingMonitor@Start$qqri";
constexpr const char* MonitorFinished = "@Kibitzingmonitor@TKibitzingMonitor@Finished$qqrv";
constexpr const char* UserCanCancelKibitzing = "@Kibitzingmonitor@TKibitzingMonitor@FUserCanCancelKibitzing";
constexpr const char* HideBlock = "@Editorcontrol@TCustomEditControl@HideBlock$qqrv";
constexpr const char* PointFromEdPos = "@Editorcontrol@TCustomEditControl@PointFromEdPos$qqrrx9Ek@TEdPosoo";
constexpr const char* Application = "@Forms@Application";
constexpr const char* Screen = "@Forms@Screen";
constexpr const char* HookMainWindow = "@Forms@TApplication@HookMainWindow$qqrynpqqrr17Messages@TMessage$o";
constexpr const char* UnhookMainWindow = "@Forms@TApplication@UnhookMainWindow$qqrynpqqrr17Messages@TMessage$o";
constexpr const char* ActionExecute = "@Actnlist@TCustomAction@Execute$qqrv";
constexpr const char* ActionSetEnabled = "@Actnlist@TCustomAction@SetEnabled$qqro";
constexpr const char* MenuIsShortCut = "@Menus@TMenu@IsShortCut$qqrr24Messages@TWMKey";
constexpr const char* ShortCutFromMessage = "@Menus@ShortCutFromMessage$qqrr24Messages@TWMKey";
constexpr const char* ImportNamespaceExecute =
    "@Refactorcmds@TRefactorCommands@actnImportNamespaceExecute$qqrp14System@TObject";
constexpr const char* RefactorMenuItemUpdate = "@Refactorcmds@TDelphiRefactorMenuItem@Update$qqrp14System@TObject";
constexpr const char* BackgroundCompiling = "@Refactorcmds@BackgroundCompiling";
constexpr const char* EnsureSection =
    "@Pasmgr@TPascalCodeUpdater@EnsureSection$qqrp19Pasmgr@TClassSymbol16Updaters@TAccessi";
constexpr const char* ParseMethodOrAlias =
    "@Pasmgr@TPascalClassManager@ParseMethodOrAlias$qqrp19Pasmgr@TClassSymbol16Updaters@TAccess";
constexpr const char* ClassSymbolByPosition = "@Completers@TPascalClassCompleter@ClassSymbolByPosition$qqri";
} // namespace Export

// The editor kernel's view record and buffer object.
namespace EkViewLayout {
constexpr int Buffer = 12;
}
namespace EkBufferLayout {
constexpr int Flags = 6;  // 32 bits, unaligned
}
namespace EkFlag {
constexpr uint32_t KeepTrailingBlanks = 0x20;
constexpr uint32_t AutoTrim = 0x40;
constexpr uint32_t NoAutoEdits = 0x200;
constexpr uint32_t UndoDisabled = 0x800;
}

// The view's buffer flags, read and written in place.
inline uint32_t* EkFlagsOf(void* view) {
  char* buffer = *reinterpret_cast<char**>(static_cast<char*>(view) + EkViewLayout::Buffer);
  return reinterpret_cast<uint32_t*>(buffer + EkBufferLayout::Flags);
}
inline uint32_t ReadFlags(const uint32_t* at) {
  uint32_t value;
  std::memcpy(&value, at, 4);
  return value;
}
inline void WriteFlags(uint32_t* at, uint32_t value) { std::memcpy(at, &value, 4); }

// The shell's objects (the component library's Forms, ActnList and Menus).
namespace ApplicationLayout {
constexpr int Handle = 28;  // HWND
}
namespace ScreenLayout {
constexpr int ActiveForm = 28;
}
namespace FormLayout {
constexpr int Handle = 56;  // the form's window, 0 while it has none
}
namespace ActionLayout {
constexpr int ShortCut = 46;  // word
}
// The host's message record (TMessage).
struct TMessage {
  uint32_t Msg;
  int32_t WParam;
  int32_t LParam;
  int32_t Result;
};

// Class completion's symbols: the low 4 bits of the first byte are the kind.
constexpr uint8_t SymbolKindMask = 0x0F;
constexpr uint8_t SymbolKindOperator = 8;
constexpr uint8_t TokenKindOperator = 8;
constexpr uint8_t ClassIdentifier = 2;
constexpr uint8_t ClassReservedIn = 138;

} // namespace EditorParserHost
} // namespace Quillmend
