// What the compiler patches' tests share about the stand-in compiler library:
// its exports by name, the site table naming where each searched routine
// starts, and a fixture that loads it with every patch enabled.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <windows.h>

#include "Framework/PatchRegistry.h"
#include "TestPaths.h"

template <class Fn>
Fn DccExport(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"dcc150.dll"), name)));
}

// Where the stand-in's routine named `name` in its site table starts.
inline uint8_t* DccSite(const char* name) {
  return static_cast<uint8_t*>(DccExport<void*(__stdcall*)(const char*)>("DccPatternSite")(name));
}

class TDccPatchBehaviour : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(LoadLibraryW((BuildDirectory() + L"\\host\\dcc150.dll").c_str()), nullptr);
    SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  }
  // Installs a patch through its install procedure and expects it applied.
  static void InstallApplied(void (*install)(), const wchar_t* name) {
    install();
    ASSERT_TRUE(Quillmend::IsPatchApplied(name));
  }
  static uint8_t* Site(const char* name) { return DccSite(name); }
};
