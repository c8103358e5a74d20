#include "Patches/Compiler/IdeParserThread.h"

#include "Framework/HostAbi.h"

namespace Quillmend {

namespace {

using TMainThreadRequest = uint8_t(QM_REGISTER*)();

void** volatile g_parseThreadVar = nullptr;
TMainThreadRequest volatile g_mainThreadRequest = nullptr;

}  // namespace

void ResolveParserThread() {
  if (HMODULE core = GetModuleHandleW(IdeParserThreadExport::CoreIde))
    g_parseThreadVar = reinterpret_cast<void**>(GetProcAddress(core, IdeParserThreadExport::ParseThread));
  if (HMODULE delphi = GetModuleHandleW(IdeParserThreadExport::DelphiCoreIde))
    g_mainThreadRequest = reinterpret_cast<TMainThreadRequest>(
        reinterpret_cast<void*>(GetProcAddress(delphi, IdeParserThreadExport::MainThreadRequest)));
}

void* ParserThreadObject() { return g_parseThreadVar ? *g_parseThreadVar : nullptr; }

bool ParserShouldYield() {
  void* parser = ParserThreadObject();
  if (!parser || !g_mainThreadRequest) return false;
  const DWORD parserThread = *reinterpret_cast<const DWORD*>(static_cast<const uint8_t*>(parser) + ParseThreadLayout::ThreadId);
  return parserThread == GetCurrentThreadId() && g_mainThreadRequest() != 0;
}

} // namespace Quillmend
