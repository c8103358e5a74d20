// The stand-in component designer's root (designide150.bpl, unit
// Componentdesigner), declared once for the stand-in, bds.exe, the tests
// and the benchmarks.
//
// A root (our layout, 0x80 bytes): +0x08 its name (8-bit, zero-terminated,
// up to 31 characters), +0x6C the root's stream (a TMemoryStream or nil),
// +0x70 non-zero: writing the root raises.
// GetRootStream (EAX = root → EAX): a new memory stream, stored in the
// root's stream field, then, inside a try block, the root written into it
// by the call at +30 of the searched bytes (EAX = root, EDX = stream). That
// routine writes "ROOT:<name>" and then releases the stream the root held
// before, freeing it and clearing the field; since the field holds the
// stream being written, it frees the stream GetRootStream is about to
// return (the fault: whoever frees the result frees it twice).
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"

namespace ComponentDesignerDriver {

namespace Export {
constexpr const char* GetRootStream = "@Componentdesigner@TComponentRoot@GetRootStream$qqrv";
// Driver (stdcall).
constexpr const char* NewRoot = "DesignNewRoot";
constexpr const char* FreeRoot = "DesignFreeRoot";
constexpr const char* RootStream = "DesignRootStream";
constexpr const char* SetRootStream = "DesignSetRootStream";
constexpr const char* StreamFreed = "DesignStreamFreed";
constexpr const char* PatternSites = "DesignIdePatternSites";
}  // namespace Export

namespace RootLayout {
constexpr int Name = 0x08;
constexpr int Stream = 0x6C;
constexpr int FailWrite = 0x70;
constexpr int Size = 0x80;
}  // namespace RootLayout

using GetRootStreamFn = void*(QM_HOST_REGISTER*)(void* root);
// A root named `name` (writing it raises "Stream write error" when failWrite).
using NewRootFn = void*(__stdcall*)(const char* name, int failWrite);
using FreeRootFn = void(__stdcall*)(void* root);  // frees the root's stream too
using RootStreamFn = void*(__stdcall*)(void* root);
using SetRootStreamFn = void(__stdcall*)(void* root, void* stream);
// 1 when the designer freed this stream since it was made, else 0.
using StreamFreedFn = int(__stdcall*)(const void* stream);

struct Driver {
  GetRootStreamFn GetRootStream = nullptr;
  NewRootFn NewRoot = nullptr;
  FreeRootFn FreeRoot = nullptr;
  RootStreamFn RootStream = nullptr;
  SetRootStreamFn SetRootStream = nullptr;
  StreamFreedFn StreamFreed = nullptr;

  bool Bind(HMODULE module) {
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      return slot != nullptr;
    };
    bool ok = bind(GetRootStream, Export::GetRootStream);
    ok = bind(NewRoot, Export::NewRoot) && ok;
    ok = bind(FreeRoot, Export::FreeRoot) && ok;
    ok = bind(RootStream, Export::RootStream) && ok;
    ok = bind(SetRootStream, Export::SetRootStream) && ok;
    return bind(StreamFreed, Export::StreamFreed) && ok;
  }
};

}  // namespace ComponentDesignerDriver
