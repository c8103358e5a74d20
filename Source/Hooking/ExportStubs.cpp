#include "Hooking/ExportStubs.h"

#include "Hooking/Emit.h"

#include <cstdint>
#include <windows.h>

namespace Quillmend {

namespace {

constexpr uint8_t OpPushImm32 = 0x68;

} // namespace

bool IsNtFamily() {
  static const bool isNt = [] {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&info)) return true;
#pragma GCC diagnostic pop
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
  }();
  return isNt;
}

bool IsPushJumpStub(const void* p) {
  const auto* code = static_cast<const uint8_t*>(p);
  return code[0] == OpPushImm32 && code[5] == OpJmpRel32;
}

void* PushedAddress(const void* stub) { return ReadPointer(static_cast<const uint8_t*>(stub) + 1); }

} // namespace Quillmend
