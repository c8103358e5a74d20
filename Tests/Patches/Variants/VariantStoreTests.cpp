// "RTL.VariantsConvOptimization", storing a string into a variant: the
// three entries make an OLE string as the originals do; what the variant
// held is released first (an interface, a string, a custom type's data, an
// array of variants it owns with its elements), but a referenced array's
// elements belong to another and are left. And the patch stays off a
// _VarToBool that does not start with its call.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include "Hooking/CodeTransaction.h"
#include "Patches/Variants/VariantsConvOptimize.h"
#include "StandInVariants.h"

using namespace VariantTest;
using VariantsDriver::TVarData;

namespace {

struct TCounted : IUnknown {
  long References = 1;
  HRESULT __stdcall QueryInterface(REFIID, void** object) override { return *object = nullptr, E_NOINTERFACE; }
  ULONG __stdcall AddRef() override { return ULONG(++References); }
  ULONG __stdcall Release() override { return ULONG(--References); }
};

// The three entries, each storing "stored \u0141" from its kind of string.
void StoreAll(TVarData& v, int entry) {
  const TRuntime& rt = Runtime();
  switch (entry) {
    case 0: {
      BSTR text = SysAllocString(L"stored \u0141");
      rt.VarFromWStr(&v, text);
      SysFreeString(text);
      break;
    }
    case 1: {
      char* text = NewAnsi("stored \xA3", 1250);  // Ł in code page 1250
      rt.OleVarFromLStr(&v, text);
      rt.LStrClr(&text);
      break;
    }
    default: {
      wchar_t* text = NewUString(L"stored \u0141");
      rt.OleVarFromUStr(&v, text);
      FreeUString(text);
      break;
    }
  }
}

class StoringStrings : public testing::TestWithParam<bool> {
protected:
  void SetUp() override {
    Load();
    if (GetParam()) {
      InstallPatch();
      ASSERT_EQ(Status(), L"applied");
    }
  }
};

TEST_P(StoringStrings, MakeAnOleStringFromEachKind) {
  for (int entry = 0; entry < 3; ++entry) {
    TVarData v{};
    v.VType = VT_I4;
    v.VInteger = 7;
    StoreAll(v, entry);
    EXPECT_EQ(v.VType, VT_BSTR);
    EXPECT_EQ(std::wstring(v.VOleStr, SysStringLen(v.VOleStr)), L"stored \u0141") << entry;
    Release(v);
  }
}

TEST_P(StoringStrings, IntoAnOleStringAndFromTheVariantsOwnText) {
  for (int entry = 0; entry < 3; ++entry) {
    TVarData v{};
    v.VType = VT_BSTR;
    v.VOleStr = SysAllocString(L"a longer text held before");
    StoreAll(v, entry);
    EXPECT_EQ(std::wstring(v.VOleStr, SysStringLen(v.VOleStr)), L"stored \u0141") << entry;
    // The variant's own text stored into it again: the replacement copies
    // before it releases (the original would copy a freed string).
    if (GetParam()) Runtime().VarFromWStr(&v, v.VOleStr);
    EXPECT_EQ(v.VType, VT_BSTR);
    EXPECT_EQ(std::wstring(v.VOleStr, SysStringLen(v.VOleStr)), L"stored \u0141") << entry;
    Release(v);
  }
}

TEST_P(StoringStrings, ReleaseAHeldInterfaceStringOrCustomValueFirst) {
  TCounted object;
  for (int entry = 0; entry < 3; ++entry) {
    TVarData v{};
    v.VType = VT_UNKNOWN;
    v.VUnknown = &object;
    object.AddRef();
    StoreAll(v, entry);
    EXPECT_EQ(object.References, 1) << entry;
    Release(v);

    v.VType = VariantsDriver::varUString;
    v.VUString = NewUString(L"held");
    wchar_t* held = v.VUString;
    QmHost::StrHeader(held)->refCount++;  // a second holder watches the count
    StoreAll(v, entry);
    EXPECT_EQ(QmHost::StrHeader(held)->refCount, 1) << entry;
    FreeUString(held);
    Release(v);

    const long clears = Runtime().PointClears();
    Runtime().MakePoint(&v, 1, 2);
    StoreAll(v, entry);
    EXPECT_EQ(Runtime().PointClears(), clears + 1) << "the custom type clears itself";
    Release(v);
  }
}

// Arrays of variants holding UnicodeStrings (refcounted, so what was
// released shows): an owned array is destroyed with its elements; through a
// reference, the array and its elements are the owner's and stay.
SAFEARRAY* StringArray(wchar_t*& first, wchar_t*& second) {
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {1, 5}};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  auto* elements = static_cast<TVarData*>(array->pvData);
  first = NewUString(L"first");
  second = NewUString(L"second");
  elements[0].VType = VariantsDriver::varUString;
  elements[0].VUString = first;
  elements[1].VType = VariantsDriver::varUString;
  elements[1].VUString = second;
  QmHost::StrHeader(first)->refCount++;
  QmHost::StrHeader(second)->refCount++;
  return array;
}

TEST_P(StoringStrings, AnOwnedArrayOfVariantsGoesWithItsElements) {
  wchar_t *first, *second;
  TVarData v{};
  v.VType = VT_ARRAY | VT_VARIANT;
  v.VPointer = StringArray(first, second);
  StoreAll(v, 2);
  EXPECT_EQ(v.VType, VT_BSTR);
  EXPECT_EQ(QmHost::StrHeader(first)->refCount, 1);
  EXPECT_EQ(QmHost::StrHeader(second)->refCount, 1);
  FreeUString(first);
  FreeUString(second);
  Release(v);
}

TEST_P(StoringStrings, AReferencedArrayOfVariantsKeepsItsElements) {
  wchar_t *first, *second;
  SAFEARRAY* array = StringArray(first, second);
  TVarData v{};
  v.VType = VT_ARRAY | VT_VARIANT | VT_BYREF;
  v.VPointer = &array;
  StoreAll(v, 0);
  EXPECT_EQ(v.VType, VT_BSTR);
  EXPECT_EQ(QmHost::StrHeader(first)->refCount, 2) << "an element the variant does not own was released";
  auto* elements = static_cast<TVarData*>(array->pvData);
  EXPECT_EQ(elements[0].VType, VariantsDriver::varUString);
  EXPECT_EQ(UText(elements[1].VUString), L"second");
  Release(v);
}

INSTANTIATE_TEST_SUITE_P(Variants, StoringStrings, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Replaced" : "Original"; });

TEST(VariantsPatch, StaysOffAVarToBoolThatDoesNotStartWithItsCall) {
  Load("vartobool");
  InstallPatch();
  EXPECT_EQ(Status(), L"failed");
  EXPECT_EQ(Reason(), L"_VarToBool +0x00: 0xE8 expected, 0xE9 found");
  EXPECT_TRUE(Quillmend::CommittedRanges().empty());
}

TEST(VariantsPatch, TheCachedTextsOutliveTheUndoAndTheFinalization) {
  Load();
  InstallPatch();
  TVarData v{};
  v.VType = VT_I4;
  v.VInteger = 42;
  wchar_t* text = nullptr;
  Runtime().VarToUStr(&text, &v);
  ASSERT_EQ(text, Quillmend::VariantTextsBuilt()->Integer(42));
  Quillmend::UndoAllTransactions();
  if (Quillmend::Unit_VariantsConvOptimize.Finalize) Quillmend::Unit_VariantsConvOptimize.Finalize();
  EXPECT_EQ(UText(text), L"42");
  EXPECT_EQ(UText(Quillmend::VariantTextsBuilt()->Integer(-1)), L"-1");
  FreeUString(text);
  // The original is back.
  wchar_t* again = nullptr;
  Runtime().VarToUStr(&again, &v);
  EXPECT_NE(again, Quillmend::VariantTextsBuilt()->Integer(42));
  EXPECT_EQ(UText(again), L"42");
  FreeUString(again);
}

}  // namespace
