// "RTL.SystemOptimization", TObject.ClassNameIs: the same answers as the
// host's for ASCII case, prefixes, empty names and a class name with
// U+0141, without a string made.
#include <gtest/gtest.h>

#include "Patches/SystemUnit/SystemOptimize.h"
#include "StandInSystem.h"

using namespace SystemTest;

namespace {

struct TNameCase {
  const char* ClassExport;
  std::wstring Text;
  bool Expected;
};

const TNameCase Cases[] = {
    {"@System@TObject@", L"TObject", true},
    {"@System@TObject@", L"tobject", true},
    {"@System@TObject@", L"TOBJECT", true},
    {"@System@TObject@", L"TObj", false},
    {"@System@TObject@", L"TObjectX", false},
    {"@System@TObject@", L"", false},
    {"@System@TObject@", L"T\u00D6bject", false},
    {"@System@TObject@", L"TObjec\u0442", false},
    {"@Sysutils@Exception@", L"exception", true},
    {"@Sysutils@Exception@", L"Exceptio", false},
    {"QmNonAsciiNamedClass", L"T\u0141\u00F3d\u017AReader", true},
    {"QmNonAsciiNamedClass", L"t\u0142\u00F3d\u017Areader", true},
    {"QmNonAsciiNamedClass", L"T\u0141\u00D3D\u0179READER", true},
    {"QmNonAsciiNamedClass", L"TLodzReader", false},
    {"QmNonAsciiNamedClass", L"T\u0141\u00F3d\u017AReade", false},
    {"QmNonAsciiNamedClass", L"T\u0141\u00F3d\u017AReaderX", false},
    {"QmNonAsciiNamedClass", L"T\u0141", false},
    {"QmNonAsciiNamedClass", L"T", false},
};

std::vector<bool> Answers(SystemUnitDriver::ClassNameIsFn classNameIs) {
  std::vector<bool> answers;
  for (const TNameCase& c : Cases) {
    wchar_t* text = NewString(c.Text);
    answers.push_back(classNameIs(RuntimeExport<const void*>(c.ClassExport), text));
    Release(text);
  }
  return answers;
}

TEST(ClassNameIs, AnswersLikeTheHostWithoutMakingAString) {
  LoadRuntime();
  auto classNameIs = RuntimeExport<SystemUnitDriver::ClassNameIsFn>(SystemUnitDriver::Export::ClassNameIs);
  ASSERT_EQ(Text(static_cast<const wchar_t*>(nullptr)), L"");
  const std::vector<bool> host = Answers(classNameIs);
  for (size_t i = 0; i < std::size(Cases); ++i)
    EXPECT_EQ(host[i], Cases[i].Expected) << "host, case " << i;
  InstallPatches();
  ASSERT_EQ(Status(L"RTL.SystemOptimization"), L"applied");
  const std::vector<bool> replaced = Answers(classNameIs);
  EXPECT_EQ(replaced, host);
  // Nil is the empty name; the ASCII path allocates nothing.
  EXPECT_FALSE(classNameIs(RuntimeExport<const void*>("@System@TObject@"), nullptr));
  wchar_t* name = NewString(L"tObJeCt");
  const long before = Allocations();
  EXPECT_TRUE(classNameIs(RuntimeExport<const void*>("@System@TObject@"), name));
  EXPECT_EQ(Allocations(), before);
  Release(name);
}

}  // namespace
