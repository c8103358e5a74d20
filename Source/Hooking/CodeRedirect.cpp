#include "Hooking/CodeRedirect.h"

#include "Hooking/Emit.h"
#include "Hooking/ExportStubs.h"

#include <cstring>
#include <string>

namespace Quillmend {

namespace {

constexpr uint32_t ProtectSize = 6;

bool IsImportThunk(const uint8_t* p) { return p[0] == 0xFF && p[1] == 0x25; }

} // namespace

bool WriteCodeMemory(void* dest, const void* source, uint32_t size, uint32_t& written) {
  SIZE_T count = 0;
  HANDLE process = GetCurrentProcess();
  const bool ok = WriteProcessMemory(process, dest, source, size, &count) != FALSE;
  written = static_cast<uint32_t>(count);
  if (ok) FlushInstructionCache(process, dest, size);
  return ok;
}

void* GetActualAddr(void* proc) {
  if (!proc) return nullptr;
  auto* p = static_cast<uint8_t*>(proc);
  if (!IsNtFamily() && IsPushJumpStub(p)) p = static_cast<uint8_t*>(PushedAddress(p));
  if (IsImportThunk(p)) p = static_cast<uint8_t*>(ReadPointer(ReadPointer(p + 2)));
  return p;
}

void CodeRedirect(void* proc, void* newProc, TRedirectCode& data) {
  if (!proc) {
    data.RealProc = nullptr;
    return;
  }
  if (data.Count == 0) {
    proc = GetActualAddr(proc);
    HANDLE process = GetCurrentProcess();
    DWORD oldProtect = 0;
    if (VirtualProtectEx(process, proc, ProtectSize, PAGE_EXECUTE_READWRITE, &oldProtect)) {
      data.RealProc = proc;
      std::memcpy(&data.Code2, proc, sizeof data.Code2);
      EmitJmpRel32(static_cast<uint8_t*>(proc), proc, newProc);
      VirtualProtectEx(process, proc, ProtectSize, oldProtect, &oldProtect);
      FlushInstructionCache(process, proc, ProtectSize);
    } else {
      // Nothing was written: a stale address from an earlier use of the record
      // must not make the caller believe the function is redirected, nor make
      // the paired restore write old bytes somewhere.
      data.RealProc = nullptr;
    }
  }
  ++data.Count;
}

TRedirectCode CodeRedirect(void* proc, void* newProc) {
  TRedirectCode data;
  std::memset(&data, 0, sizeof data);
  CodeRedirect(proc, newProc, data);
  return data;
}

void CodeRestore(TRedirectCode& data) {
  if (data.RealProc && data.Count == 1) {
    uint32_t written = 0;
    WriteCodeMemory(data.RealProc, &data.Code, sizeof data.Code, written);
  }
  --data.Count;
}

void UnhookFunction(TRedirectCode& data) { CodeRestore(data); }

void RehookFunction(void* newProc, TRedirectCode& data) { CodeRedirect(data.RealProc, newProc, data); }

void HookFunction(HMODULE module, const wchar_t* procName, void* newProc, TRedirectCode& data) {
  // GetProcAddress takes 8-bit names in the system code page.
  std::string name;
  if (procName && *procName) {
    const int length = WideCharToMultiByte(CP_ACP, 0, procName, -1, nullptr, 0, nullptr, nullptr);
    if (length > 0) {
      name.resize(length);
      WideCharToMultiByte(CP_ACP, 0, procName, -1, &name[0], length, nullptr, nullptr);
    }
  }
  void* proc = (module && !name.empty()) ? reinterpret_cast<void*>(GetProcAddress(module, name.c_str())) : nullptr;
  CodeRedirect(proc, newProc, data);
}

void HookFunction(const wchar_t* moduleName, const wchar_t* procName, void* newProc, TRedirectCode& data) {
  HookFunction(GetModuleHandleW(moduleName), procName, newProc, data);
}

bool InjectCode(void* dest, const void* source, uint32_t size) {
  dest = GetActualAddr(dest);
  if (!dest || !source) return false;
  // Nothing to copy is done; some systems refuse an empty WriteProcessMemory.
  if (size == 0) return true;
  uint32_t written = 0;
  return WriteCodeMemory(dest, source, size, written) && written == size;
}

} // namespace Quillmend
