// The IDE's environment options by name against the stand-in packages: a
// Boolean option read as it is set, names found ignoring case, an integer
// option read as a Boolean, and the message for a missing option (also
// before the IDE made its options object).
#include <gtest/gtest.h>

#include <windows.h>

#include <wtypes.h>

#include <string>

#include "Framework/EnvironmentOptions.h"
#include "Hooking/EngineError.h"
#include "TestPaths.h"
#include "coreide150/EnvOptionsDriver.h"
#include "vclide150/PropFieldDriver.h"

namespace {

std::string MessageOf(const std::wstring& name) {
  try {
    Quillmend::GetEnvironmentOptionBool(name);
  } catch (const Quillmend::EQuillmendError& e) {
    return e.what();
  }
  return "no error";
}

EnvOptionsDriver::BuildFn LoadPackages() {
  for (const wchar_t* file : {L"rtl150.bpl", L"vclide150.bpl", L"coreide150.bpl"})
    LoadLibraryW((BuildDirectory() + L"\\host\\" + file).c_str());
  return reinterpret_cast<EnvOptionsDriver::BuildFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"coreide150.bpl"), EnvOptionsDriver::Export::Build)));
}

}  // namespace

TEST(EnvironmentOptions, OptionsReadByName) {
  EnvOptionsDriver::BuildFn build = LoadPackages();
  ASSERT_NE(build, nullptr);
  EXPECT_EQ(MessageOf(L"CodeInsightHelpInsight"), "Quillmend: IDE EnvironmentOption \"CodeInsightHelpInsight\" not found");
  void* options = build(1);
  ASSERT_NE(options, nullptr);

  EXPECT_TRUE(Quillmend::GetEnvironmentOptionBool(L"CodeInsightHelpInsight"));
  EXPECT_TRUE(Quillmend::GetEnvironmentOptionBool(L"codeinsighthelpinsight"));
  build(0);
  EXPECT_FALSE(Quillmend::GetEnvironmentOptionBool(L"CodeInsightHelpInsight"));
  EXPECT_NE(Quillmend::GetEnvironmentOption(L"CodeInsightHelpInsight"), nullptr);

  auto setField = reinterpret_cast<PropFieldDriver::SetFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"vclide150.bpl"), PropFieldDriver::Export::Set)));
  void* autoSave = Quillmend::GetEnvironmentOption(L"AutoSaveEditorFiles");
  const struct {
    int32_t VarType, Value;
    const char* Expected;  // "true", "false" or the message
  } rows[] = {
      {VT_I4, 0, "false"},
      {VT_I4, 7, "true"},
      {VT_I4, -1, "true"},
      {VT_EMPTY, 0, "false"},
      {VT_BSTR, 0, "Quillmend: IDE EnvironmentOption \"AutoSaveEditorFiles\" is not a Boolean"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.VarType);
    setField(autoSave, row.VarType, row.Value);
    std::string seen;
    try {
      seen = Quillmend::GetEnvironmentOptionBool(L"AutoSaveEditorFiles") ? "true" : "false";
    } catch (const Quillmend::EQuillmendError& e) {
      seen = e.what();
    }
    EXPECT_EQ(seen, row.Expected);
  }

  for (const wchar_t* missing : {L"CodeInsight", L"", L"HelpInsight"}) {
    const std::string name(missing, missing + wcslen(missing));
    EXPECT_EQ(MessageOf(missing), "Quillmend: IDE EnvironmentOption \"" + name + "\" not found");
  }
}
