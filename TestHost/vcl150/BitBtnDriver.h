// The stand-in bit button (vcl150.bpl, unit Buttons) and a property writer
// that leaves out default values, declared once for the stand-in, the tests
// and the benchmarks.
//
// TBitBtn (over TCustomControl, 60 bytes): +56 DoubleBuffered, +57
// ParentDoubleBuffered (Booleans, published with the fields as getter and
// setter). A new button is double-buffered and not ParentDoubleBuffered,
// but its type information declares the defaults the other way round
// (DoubleBuffered 0, ParentDoubleBuffered 1): **the fault**, a form file
// stores both for every button.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

namespace BitBtnDriver {

namespace Export {
constexpr const char* Class = "@Buttons@TBitBtn@";
// Driver (stdcall).
constexpr const char* New = "VclNewBitBtn";
constexpr const char* SetDoubleBuffered = "VclBitBtnSetDoubleBuffered";
constexpr const char* WriteProperties = "VclWriteProperties";
constexpr const char* Free = "VclFree";
}  // namespace Export

namespace BitBtnLayout {
constexpr int DoubleBuffered = 56, ParentDoubleBuffered = 57, Size = 60;
}

using NewFn = void*(__stdcall*)();
using SetDoubleBufferedFn = void(__stdcall*)(void* button, int doubleBuffered, int parentDoubleBuffered);
// The object's published ordinal properties whose values differ from their
// declared defaults, "Name=value\n" each (most derived class first) →
// the text's length.
using WritePropertiesFn = int(__stdcall*)(const void* object, char* out, int size);
using FreeFn = void(__stdcall*)(void* object);

struct Driver {
  NewFn New = nullptr;
  SetDoubleBufferedFn SetDoubleBuffered = nullptr;
  WritePropertiesFn WriteProperties = nullptr;
  FreeFn Free = nullptr;

  bool Bind(HMODULE module) {
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      return slot != nullptr;
    };
    bool ok = bind(New, Export::New);
    ok = bind(SetDoubleBuffered, Export::SetDoubleBuffered) && ok;
    ok = bind(WriteProperties, Export::WriteProperties) && ok;
    return bind(Free, Export::Free) && ok;
  }
};

}  // namespace BitBtnDriver
