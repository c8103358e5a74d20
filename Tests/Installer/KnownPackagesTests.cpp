// Putting the start-up package first in "Known IDE Packages", checked on a
// registry that keeps creation order (Wine's sorts value names).
#include "InstallerError.h"
#include "KnownPackages.h"
#include "MemoryRegistry.h"

#include <gtest/gtest.h>

using namespace QuillmendTest;

namespace {

const std::wstring Known = L"Software\\Embarcadero\\BDS\\8.0\\Known IDE Packages";
const std::wstring Startup = L"C:\\Experts\\QuillmendStartup.bpl";
const std::wstring Description = L"Quillmend Startup";

std::vector<BYTE> Bytes(std::initializer_list<BYTE> b) { return std::vector<BYTE>(b); }

// The IDE's own packages, with a few values that are not strings.
void FillTypicalKey(TMemoryRegistry& reg) {
  reg.PutString(Known, L"$(BDS)\\bin\\dclstd150.bpl", L"Standard Components");
  reg.Put(Known, L"NumberValue", REG_DWORD, Bytes({7, 0, 0, 0}));
  reg.Put(Known, L"BinaryValue", REG_BINARY, Bytes({0, 0xFF, 3}));
  reg.Put(Known, L"$(BDS)\\bin\\expanded.bpl", REG_EXPAND_SZ, RegStringData(L"%BDS%\\x"));
  reg.PutString(Known, L"$(BDS)\\bin\\dcldb150.bpl", L"Database Components");
}

std::vector<std::wstring> Names(const std::vector<TRegValue>& values) {
  std::vector<std::wstring> names;
  for (const TRegValue& v : values) names.push_back(v.Name);
  return names;
}

void ExpectSameValues(const std::vector<TRegValue>& expected, const std::vector<TRegValue>& actual) {
  ASSERT_EQ(Names(expected), Names(actual));
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].Type, actual[i].Type) << expected[i].Name.c_str();
    EXPECT_EQ(expected[i].Data, actual[i].Data);
  }
}

void PutFirst(TMemoryRegistry& reg) {
  auto key = reg.OpenKey(HKEY_CURRENT_USER, Known, TRegOpen::Create);
  ASSERT_TRUE(key);
  PutStartupPackageFirst(*key, Startup, Description);
}

} // namespace

TEST(KnownIdePackages, StartupComesFirstAndOthersKeepOrderTypeAndData) {
  TMemoryRegistry reg;
  FillTypicalKey(reg);
  std::vector<TRegValue> before = reg.Values(Known);
  PutFirst(reg);

  std::vector<TRegValue> expected = {{Startup, REG_SZ, RegStringData(Description)}};
  expected.insert(expected.end(), before.begin(), before.end());
  ExpectSameValues(expected, reg.Values(Known));

  // A second installation finds its value already first and changes nothing.
  PutFirst(reg);
  ExpectSameValues(expected, reg.Values(Known));
}

TEST(KnownIdePackages, EarlierStartupValueIsReusedWhateverItsCaseOrData) {
  TMemoryRegistry reg;
  reg.PutString(Known, L"a.bpl", L"A");
  reg.PutString(Known, L"C:\\EXPERTS\\quillmendstartup.BPL", L"old text");
  reg.PutString(Known, L"b.bpl", L"B");
  PutFirst(reg);
  std::vector<TRegValue> after = reg.Values(Known);
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(RegDataAsString(after[0]), Description);
  EXPECT_EQ(Names(after)[1], L"a.bpl");
  EXPECT_EQ(Names(after)[2], L"b.bpl");
}

TEST(KnownIdePackages, StartupPackageRegisteredFromElsewhereStaysWhereItIs) {
  TMemoryRegistry reg;
  reg.PutString(Known, L"a.bpl", L"A");
  reg.PutString(Known, L"D:\\Old\\QuillmendStartup.bpl", L"QUILLMEND STARTUP");
  reg.PutString(Known, L"b.bpl", L"B");
  PutFirst(reg);
  std::vector<std::wstring> expected = {L"D:\\Old\\QuillmendStartup.bpl", Startup, L"a.bpl", L"b.bpl"};
  EXPECT_EQ(Names(reg.Values(Known)), expected);
  EXPECT_EQ(RegDataAsString(reg.Values(Known)[0]), L"QUILLMEND STARTUP");
}

// Whichever write or delete fails, every value is back with its type and data,
// the start-up value is gone again if it was new, and the failure is raised.
TEST(KnownIdePackages, FailureHalfWayRestoresEveryValue) {
  for (bool startupExisted : {false, true}) {
    TMemoryRegistry probe;
    FillTypicalKey(probe);
    if (startupExisted) probe.PutString(Known, Startup, L"previous");
    PutFirst(probe);
    const int changesOfSuccess = probe.ChangeCount();
    ASSERT_GT(changesOfSuccess, 5);

    for (int failAt = 0; failAt < changesOfSuccess; ++failAt) {
      SCOPED_TRACE(testing::Message() << "failing change " << failAt << ", startup existed " << startupExisted);
      TMemoryRegistry reg;
      FillTypicalKey(reg);
      if (startupExisted) reg.PutString(Known, Startup, L"previous");
      std::vector<TRegValue> before = reg.Values(Known);
      reg.FailChange(failAt);
      auto key = reg.OpenKey(HKEY_CURRENT_USER, Known, TRegOpen::Create);
      EXPECT_THROW(PutStartupPackageFirst(*key, Startup, Description), EInstallerError);
      std::vector<TRegValue> after = reg.Values(Known);
      ASSERT_EQ(after.size(), before.size());
      for (const TRegValue& original : before) {
        TRegValue now;
        ASSERT_TRUE(key->ReadValue(original.Name, now)) << "lost a value";
        EXPECT_EQ(now.Type, original.Type);
        EXPECT_EQ(now.Data, original.Data);
      }
    }
  }
}
