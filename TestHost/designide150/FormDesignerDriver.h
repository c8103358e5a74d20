// The stand-in form designer (designide150.bpl, unit Designer), declared
// once for the stand-in, the tests and the benchmarks.
//
// Designer classes (host class records over rtl150's TObject): TFormDesigner
// over TDesignSurface (0x60 bytes, the size declared for it), TOtherDesigner
// over TOtherSurface (also 0x60 bytes), TLargeDesigner over TLargeSurface
// (0x70 bytes). A designer (0x78 bytes): +12 its guideline object (or nil),
// +56 the guideline state (32 bits, non-zero while guidelines show), +0x60
// its IDesignerHook interface. The interface's method 36 is IsDesignMsg
// (EAX = the interface, EDX = the sender, ECX = the message → AL), an
// adjustment stub (`83 C0 A0`, then a jump) in front of the designer's
// routine, which counts the messages and answers False: it never hides the
// guidelines (**the fault**: they stay when the designer loses the focus or
// Alt is pressed). A guideline object's method 6 (EAX = it, EDX, ECX, then
// two stack arguments) records its calls: the IDE's "hide the guidelines".
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

namespace FormDesignerDriver {

namespace Export {
constexpr const char* New = "DesignNewDesigner";
constexpr const char* Hook = "DesignDesignerHook";
constexpr const char* SetState = "DesignSetGuidelineState";
constexpr const char* Hides = "DesignGuidelineHides";
constexpr const char* Messages = "DesignDesignMessages";
}  // namespace Export

namespace DesignerLayout {
constexpr int Guidelines = 12, State = 56, Hook = 0x60, Size = 0x78;
}
constexpr int DesignSurfaceSize = 0x60;
constexpr int IsDesignMsgSlot = 36;
constexpr int GuidelineHideSlot = 6;

enum TDesignerKind : int { FormDesigner = 0, OtherDesigner = 1, LargeDesigner = 2 };

// A designer of the kind, with a guideline object or without.
using NewFn = void*(__stdcall*)(int kind, int withGuidelines);
using HookFn = void*(__stdcall*)(void* designer);
using SetStateFn = void(__stdcall*)(void* designer, int state);
// The guideline objects' method-6 calls so far, "a,b,c,d;" each (a as 0 or
// its hex value) → their count.
using HidesFn = int(__stdcall*)(char* out, int size);
// Messages the designers' IsDesignMsg saw so far.
using MessagesFn = int(__stdcall*)();

struct Driver {
  NewFn New = nullptr;
  HookFn Hook = nullptr;
  SetStateFn SetState = nullptr;
  HidesFn Hides = nullptr;
  MessagesFn Messages = nullptr;

  bool Bind(HMODULE module) {
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      return slot != nullptr;
    };
    bool ok = bind(New, Export::New);
    ok = bind(Hook, Export::Hook) && ok;
    ok = bind(SetState, Export::SetState) && ok;
    ok = bind(Hides, Export::Hides) && ok;
    return bind(Messages, Export::Messages) && ok;
  }
};

}  // namespace FormDesignerDriver
