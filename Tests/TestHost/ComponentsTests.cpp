// The run-time's components and safe library loader: owned components found
// by name (case ignored, none for an unknown or empty name), a component
// leaving its owner's list when freed alone, and the loader's error mode
// holding only for the load.
#include <gtest/gtest.h>

#include <windows.h>

#include "BdsRun.h"
#include "Common/HostRtl.h"
#include "rtl150/ComponentsDriver.h"

using namespace ComponentsDriver;

namespace {

HMODULE Rtl() {
  static HMODULE rtl = LoadLibraryW((QmHostTest::HostDir() + L"rtl150.bpl").c_str());
  return rtl;
}

template <class T>
T Fn(const char* name) {
  auto f = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(Rtl(), name)));
  EXPECT_NE(reinterpret_cast<void*>(f), nullptr) << name;
  return f;
}

void* ComponentClass() { return reinterpret_cast<void*>(GetProcAddress(Rtl(), Export::ComponentClass)); }

void* NewComponent(void* owner, const wchar_t* name) {
  void* c = Fn<ComponentCreateFn>(Export::ComponentCreate)(ComponentClass(), 1, owner);
  if (name) {
    const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
    wchar_t* text = rtl->NewString(name);
    Fn<SetNameFn>(Export::SetName)(c, text);
    rtl->Release(text);
  }
  return c;
}

int32_t OwnedCount(void* c) { return *reinterpret_cast<int32_t*>(static_cast<char*>(c) + ComponentLayout::ComponentCount); }
void* OwnerOf(void* c) { return *reinterpret_cast<void**>(static_cast<char*>(c) + ComponentLayout::Owner); }

} // namespace

TEST(RtlComponents, FindComponentByNameIgnoringCase) {
  ASSERT_NE(Rtl(), nullptr);
  void* form = NewComponent(nullptr, L"Form");
  void* splash = NewComponent(form, L"SplashScreen");
  void* label = NewComponent(form, L"QuillmendLabel");
  NewComponent(form, nullptr);  // unnamed
  EXPECT_EQ(OwnerOf(splash), form);
  EXPECT_EQ(OwnedCount(form), 3);

  const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
  const struct {
    const wchar_t* Name;
    void* Expected;
  } rows[] = {
      {L"SplashScreen", splash}, {L"SPLASHSCREEN", splash}, {L"quillmendlabel", label},
      {L"Splash", nullptr},      {L"Form", nullptr},        {L"", nullptr},
  };
  auto find = Fn<FindComponentFn>(Export::FindComponent);
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(row.Name)));
    wchar_t* name = rtl->NewString(row.Name);
    EXPECT_EQ(find(form, name), row.Expected);
    rtl->Release(name);
  }

  rtl->objectFree(splash);  // leaves the owner's list
  EXPECT_EQ(OwnedCount(form), 2);
  wchar_t* name = rtl->NewString(L"SplashScreen");
  EXPECT_EQ(find(form, name), nullptr);
  rtl->Release(name);
  rtl->objectFree(form);  // frees the label and the unnamed one
}

TEST(RtlComponents, SafeLoadLibrarySetsTheErrorModeForTheLoadOnly) {
  auto load = Fn<SafeLoadLibraryFn>(Export::SafeLoadLibrary);
  auto calls = Fn<SafeLoadLibraryCallsFn>(Export::SafeLoadLibraryCalls);
  const UINT before = SetErrorMode(SEM_FAILCRITICALERRORS);
  uint32_t mode = 0;
  const int32_t base = calls(&mode);

  EXPECT_EQ(load(L"C:\\no such folder\\QuillmendClr.dll", 0x8000), nullptr);
  EXPECT_EQ(load(nullptr, 0x8000), nullptr);  // the host's empty string
  EXPECT_EQ(load(L"kernel32.dll", 0x8001), GetModuleHandleW(L"kernel32.dll"));
  EXPECT_EQ(calls(&mode), base + 3);
  EXPECT_EQ(mode, 0x8001u);
  EXPECT_EQ(SetErrorMode(before), UINT(SEM_FAILCRITICALERRORS));
}
