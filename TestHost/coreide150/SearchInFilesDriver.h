// The stand-in search in files (coreide150.bpl, unit Filesearch), declared
// once for the stand-in, bds.exe, the tests and the benchmarks.
//
// A search (our layout, 0x70 bytes): +0x60 and +0x64 the search text as the
// dialog gives it (8-bit text in the system's ANSI code page, zero-
// terminated; both fields hold it), +0x68 the text the search looked for
// (UTF-16, made by Execute). Execute (EAX = search → EAX = the number of
// files containing the text) makes an 8-bit string labelled UTF-8 (code
// page 65001) from the search text with the run-time's LStrFromPChar,
// which copies the bytes unconverted (the call at +11 of the searched
// bytes: **the fault**, a non-ASCII ANSI letter is no valid UTF-8), then
// decodes that string by its label and counts the files whose text
// contains it. The files are UTF-16 texts the driver adds.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"

namespace SearchInFilesDriver {

namespace Export {
constexpr const char* Execute = "@Filesearch@TFileSearch@Execute$qqrv";
// Driver (stdcall).
constexpr const char* New = "CoreSearchNew";
constexpr const char* Free = "CoreSearchFree";
constexpr const char* Needle = "CoreSearchNeedle";
constexpr const char* AddFile = "CoreSearchAddFile";
constexpr const char* ClearFiles = "CoreSearchClearFiles";
}  // namespace Export

namespace SearchLayout {
constexpr int TypedText = 0x60;
constexpr int Text = 0x64;
constexpr int Needle = 0x68;
constexpr int Size = 0x70;
}  // namespace SearchLayout

using ExecuteFn = std::int32_t(QM_HOST_REGISTER*)(void* search);
using NewFn = void*(__stdcall*)(const char* ansiText);
using FreeFn = void(__stdcall*)(void* search);
// The text the last Execute looked for (UTF-16, "" before) → its length.
using NeedleFn = int(__stdcall*)(const void* search, wchar_t* out, int size);
using AddFileFn = void(__stdcall*)(const wchar_t* text);
using ClearFilesFn = void(__stdcall*)();

struct Driver {
  ExecuteFn Execute = nullptr;
  NewFn New = nullptr;
  FreeFn Free = nullptr;
  NeedleFn Needle = nullptr;
  AddFileFn AddFile = nullptr;
  ClearFilesFn ClearFiles = nullptr;

  bool Bind(HMODULE module) {
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      return slot != nullptr;
    };
    bool ok = bind(Execute, Export::Execute);
    ok = bind(New, Export::New) && ok;
    ok = bind(Free, Export::Free) && ok;
    ok = bind(Needle, Export::Needle) && ok;
    ok = bind(AddFile, Export::AddFile) && ok;
    return bind(ClearFiles, Export::ClearFiles) && ok;
  }
};

}  // namespace SearchInFilesDriver
