// "RTL.VariantsConvOptimization" by type: every kind of variant converted
// to the three string kinds (under the three Boolean case rules) and to a
// Boolean gives what the run-time's originals gave, errors included; and,
// where the platform is the reference, what Wine's oleaut32 gives.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <limits>
#include <map>

#include "Hooking/CodeTransaction.h"
#include "Hooking/ImportHooking.h"
#include "Patches/Variants/VariantConversions.h"
#include "Patches/Variants/VariantsConvOptimize.h"
#include "StandInVariants.h"

using namespace VariantTest;
using VariantsDriver::TVarData;

namespace {

struct TResults {
  std::map<std::string, std::string> ByCase;
};

// Every case through every conversion, under each Boolean rule and with
// Null converted strictly and not.
TResults Convert() {
  TResults results;
  const TRuntime& rt = Runtime();
  wchar_t* nullText = NewUString(L"<null>");
  for (uint8_t strict : {1, 0}) {
    *rt.NullStrictConvert = strict;
    *rt.NullAsStringValue = strict ? nullptr : nullText;
    for (uint8_t rule : {0, 1, 2}) {
      *rt.BooleanToStringRule = rule;
      const std::string key = "strict" + std::to_string(strict) + " rule" + std::to_string(rule) + " ";
      for (const TVariantCase& c : TextCases()) {
        results.ByCase[key + "U " + c.Name] = ToUStr(c);
        results.ByCase[key + "L " + c.Name] = ToLStr(c);
        results.ByCase[key + "W " + c.Name] = ToWStr(c);
      }
    }
    for (const TVariantCase& c : BooleanCases()) results.ByCase["strict" + std::to_string(strict) + " B " + c.Name] = ToBool(c);
  }
  *rt.NullStrictConvert = 1;
  *rt.NullAsStringValue = nullptr;
  *rt.BooleanToStringRule = 0;
  FreeUString(nullText);
  return results;
}

TEST(VariantConversions, EveryKindGivesWhatTheOriginalsGave) {
  Load();
  const TResults original = Convert();
  // A few answers of the originals, so that the comparison compares something.
  EXPECT_EQ(original.ByCase.at("strict1 rule0 U LongWordMax"), "4294967295");
  EXPECT_EQ(original.ByCase.at("strict1 rule2 U True"), "TRUE");
  EXPECT_EQ(original.ByCase.at("strict1 rule0 U Null"), "raised EVariantTypeCastError: Could not convert variant of type (Null) into type (OleStr)");
  EXPECT_EQ(original.ByCase.at("strict0 rule0 U Null"), "<null>");
  EXPECT_EQ(original.ByCase.at("strict1 rule0 U Point"), "(3, -4)");
  EXPECT_EQ(original.ByCase.at("strict1 rule0 U RefUString"), "before");
  EXPECT_EQ(original.ByCase.at("strict1 B UString_yes"), "raised EVariantTypeCastError: Could not convert variant of type (UnicodeString) into type (Boolean)");
  InstallPatch();
  ASSERT_EQ(Status(), L"applied") << testing::PrintToString(Reason());
  const TResults replaced = Convert();
  for (const auto& [name, text] : original.ByCase) EXPECT_EQ(replaced.ByCase.at(name), text) << name;
}

// The integer types to a text as Wine's oleaut32 writes them, in all three
// string kinds; -128 and 255 come from the cache, -129 and 256 are new.
TEST(VariantConversions, IntegersAsOleaut32WritesThemSmallOnesFromTheCache) {
  Load();
  InstallPatch();
  ASSERT_EQ(Status(), L"applied");
  struct {
    VARTYPE Type;
    int64_t Value;
  } const cases[] = {
      {VT_I1, -128},        {VT_I1, 127},  {VT_UI1, 255},        {VT_I2, -32768},         {VT_I2, 32767},
      {VT_UI2, 65535},      {VT_I4, -129}, {VT_I4, 256},         {VT_I4, -2147483647 - 1}, {VT_I4, 2147483647},
      {VT_UI4, 4294967295}, {VT_I8, std::numeric_limits<int64_t>::min()}, {VT_I8, std::numeric_limits<int64_t>::max()},
      {VT_UI8, -1},
  };
  for (const auto& c : cases) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = c.Type;
    V_I8(&v) = c.Value;
    if (c.Type == VT_I1 || c.Type == VT_UI1) V_I8(&v) &= 0xFF;
    if (c.Type == VT_I2 || c.Type == VT_UI2) V_I8(&v) &= 0xFFFF;
    if (c.Type == VT_I4 || c.Type == VT_UI4) V_I8(&v) &= 0xFFFFFFFF;
    VARIANT text;
    VariantInit(&text);
    ASSERT_EQ(VariantChangeTypeEx(&text, &v, 1024, 0, VT_BSTR), S_OK);
    const std::wstring expected(V_BSTR(&text), SysStringLen(V_BSTR(&text)));
    VariantClear(&text);
    const auto* variant = reinterpret_cast<const TVarData*>(&v);
    wchar_t* u = nullptr;
    Runtime().VarToUStr(&u, variant);
    EXPECT_EQ(UText(u), expected);
    char* a = nullptr;
    Runtime().VarToLStr(&a, variant);
    EXPECT_EQ(AnsiBytes(a), std::string(expected.begin(), expected.end()));
    BSTR w = nullptr;
    Runtime().VarToWStr(&w, variant);
    EXPECT_EQ(std::wstring(w, SysStringLen(w)), expected);
    FreeUString(u);
    Runtime().LStrClr(&a);
    SysFreeString(w);
  }
  const Quillmend::TVariantTexts* texts = Quillmend::VariantTextsBuilt();
  ASSERT_NE(texts, nullptr);
  for (int32_t value : {-128, 255, -129, 256}) {
    TVarData v{};
    v.VType = VT_I4;
    v.VInteger = value;
    wchar_t* u = nullptr;
    Runtime().VarToUStr(&u, &v);
    const bool cached = value >= -128 && value <= 255;
    EXPECT_EQ(u == texts->Integer(cached ? value : 0), cached) << value;
    FreeUString(u);
  }
}

TEST(VariantConversions, BooleansFollowTheThreeCaseRulesOfThePlatformsTexts) {
  Load();
  InstallPatch();
  for (bool value : {false, true}) {
    BSTR platform = nullptr;
    ASSERT_EQ(VarBstrFromBool(value ? VARIANT_TRUE : VARIANT_FALSE, 1024, 0, &platform), S_OK);
    std::wstring asIs(platform, SysStringLen(platform)), lower = asIs, upper = asIs;
    SysFreeString(platform);
    CharLowerBuffW(lower.data(), DWORD(lower.size()));
    CharUpperBuffW(upper.data(), DWORD(upper.size()));
    const std::wstring expected[] = {asIs, lower, upper};
    for (uint8_t rule : {0, 1, 2}) {
      *Runtime().BooleanToStringRule = rule;
      TVarData v{};
      v.VType = VT_BOOL;
      v.VBoolean = value ? VARIANT_TRUE : VARIANT_FALSE;
      wchar_t* u = nullptr;
      Runtime().VarToUStr(&u, &v);
      EXPECT_EQ(UText(u), expected[rule]);
      FreeUString(u);
    }
  }
  *Runtime().BooleanToStringRule = 0;
}

TEST(VariantConversions, NumbersToBooleanAsOleaut32ChangesThem) {
  Load();
  InstallPatch();
  struct {
    VARTYPE Type;
    double Value;
  } const cases[] = {{VT_I1, -1}, {VT_UI1, 0}, {VT_I2, 2}, {VT_UI2, 0}, {VT_I4, -5}, {VT_UI4, 1}, {VT_I8, 0},
                     {VT_UI8, 7}, {VT_R4, 0.25}, {VT_R4, 0}, {VT_R8, -0.0}, {VT_R8, 1e-300}, {VT_CY, 0.0001},
                     {VT_CY, 0}, {VT_DATE, 1}, {VT_BOOL, -1}};
  for (const auto& c : cases) {
    VARIANT v, changed;
    VariantInit(&v);
    VariantInit(&changed);
    V_VT(&v) = VT_R8;
    V_R8(&v) = c.Value;
    ASSERT_EQ(VariantChangeTypeEx(&v, &v, 1024, 0, c.Type), S_OK);
    ASSERT_EQ(VariantChangeTypeEx(&changed, &v, 1024, 0, VT_BOOL), S_OK);
    EXPECT_EQ(Runtime().VarToBool(reinterpret_cast<const TVarData*>(&v)), V_BOOL(&changed) != 0)
        << c.Type << " " << c.Value;
  }
}

int g_varBoolFromStrCalls = 0;
HRESULT(WINAPI* g_varBoolFromStr)(const OLECHAR*, LCID, ULONG, VARIANT_BOOL*) = nullptr;
HRESULT WINAPI CountingVarBoolFromStr(const OLECHAR* text, LCID lcid, ULONG flags, VARIANT_BOOL* out) {
  ++g_varBoolFromStrCalls;
  return g_varBoolFromStr(text, lcid, flags, out);
}

TEST(VariantConversions, ZeroAndMinusOneSkipVarBoolFromStrAndYesReachesTryStrToBool) {
  Load();
  InstallPatch();
  // Its entry cannot take a hook here (Wine starts it with an instruction the
  // engine does not move): the import slot the replacement calls through is spied on.
  void* proc = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"oleaut32.dll"), "VarBoolFromStr"));
  g_varBoolFromStr = reinterpret_cast<decltype(g_varBoolFromStr)>(proc);
  Quillmend::TCodeTransaction spy(L"Test.VarBoolFromStr");
  const std::vector<void**> slots = Quillmend::FindImportSlots(GetModuleHandleW(nullptr), L"oleaut32.dll", proc);
  ASSERT_FALSE(slots.empty());
  for (void** slot : slots) ASSERT_TRUE(spy.StagePointer(slot, reinterpret_cast<const void*>(&CountingVarBoolFromStr)));
  ASSERT_TRUE(spy.Commit());
  const struct {
    std::string Name;
    std::string Expected;
    int PlatformCalls;
    long TryCalls;
  } cases[] = {
      {"UString_0", "false", 0, 0},      {"UString_-1", "true", 0, 0},     {"AnsiString_0", "false", 0, 0},
      {"AnsiString_-1", "true", 0, 0},   {"OleStr_0", "false", 1, 0},      {"OleStr_-1", "true", 1, 0},
      {"UString_True", "true", 1, 0},    {"UString_2", "true", 1, 0},
      {"UString_yes", "raised EVariantTypeCastError: Could not convert variant of type (UnicodeString) into type (Boolean)", 1, 1},
      {"AnsiString_nope", "raised EVariantTypeCastError: Could not convert variant of type (String) into type (Boolean)", 1, 1},
  };
  std::map<std::string, TVariantCase> byName;
  for (TVariantCase& c : BooleanCases()) byName[c.Name] = c;
  for (const auto& c : cases) {
    const int before = g_varBoolFromStrCalls;
    const long tries = Runtime().TryStrToBoolCalls();
    EXPECT_EQ(ToBool(byName.at(c.Name)), c.Expected) << c.Name;
    EXPECT_EQ(g_varBoolFromStrCalls - before, c.PlatformCalls) << c.Name;
    EXPECT_EQ(Runtime().TryStrToBoolCalls() - tries, c.TryCalls) << c.Name;
  }
}

}  // namespace
