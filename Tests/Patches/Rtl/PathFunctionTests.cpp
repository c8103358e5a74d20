// The file-path functions, the host's and the replacements: the edge cases
// of their description, a corpus of short and realistic paths (replacement
// equal to the host), Free Pascal's SysUtils over every string of up to five
// characters from "a . \ : / ä", allocations per call, the result variable
// holding the input or the extension, and the relative path's guard.
#include <gtest/gtest.h>

#include <sstream>

#include "Common/RegisterCall.h"
#include "Patches/Rtl/FastFilePathStrFunctions.h"
#include "StandInRuntime.h"
#include "TestFiles.h"
#include "TestPaths.h"

namespace {

using namespace RtlTest;
using QmHost::RtlConversions;

const wchar_t* const RelativePath = L"IDE.ExtractRelativePath";

enum class TFn { FilePath, FileDir, FileName, FileExt, ModuleName, ChangeExt, RelativePath };

std::wstring Apply(TFn fn, const std::wstring& a, const std::wstring& b = L"") {
  const RtlConversions& c = Runtime().Calls;
  switch (fn) {
    case TFn::FilePath: return Call(c.extractFilePath, a);
    case TFn::FileDir: return Call(c.extractFileDir, a);
    case TFn::FileName: return Call(c.extractFileName, a);
    case TFn::FileExt: return Call(c.extractFileExt, a);
    case TFn::ModuleName: return Call(c.extractModuleName, a);
    case TFn::ChangeExt: return Call(c.changeFileExt, a, b);
    case TFn::RelativePath: return Call(c.extractRelativePath, a, b);
  }
  return L"?";
}

struct TEdgeCase {
  TFn Fn;
  const wchar_t* A;
  const wchar_t* B;
  const wchar_t* Expected;
};

const TEdgeCase EdgeCases[] = {
    {TFn::FileDir, L"C:\\", L"", L"C:\\"},
    {TFn::FileDir, L"\\\\", L"", L"\\\\"},
    {TFn::FileDir, L"C:\\a\\", L"", L"C:\\a"},
    {TFn::FileDir, L"C:\\a\\b.txt", L"", L"C:\\a"},
    {TFn::FileDir, L"C:a", L"", L"C:"},
    {TFn::FilePath, L"C:\\a\\b.txt", L"", L"C:\\a\\"},
    {TFn::FilePath, L"a/b.txt", L"", L""},
    {TFn::FileName, L"a/b.txt", L"", L"a/b.txt"},
    {TFn::FileName, L"C:\\a\\", L"", L""},
    {TFn::FileExt, L".bashrc", L"", L".bashrc"},
    {TFn::FileExt, L"a.b.c", L"", L".c"},
    {TFn::FileExt, L"a.b\\c", L"", L""},
    {TFn::FileExt, L"a.", L"", L"."},
    {TFn::ChangeExt, L"a.b\\c", L".x", L"a.b\\c.x"},
    {TFn::ChangeExt, L".txt", L".x", L".x"},
    {TFn::ChangeExt, L"dir\\name.pas", L"", L"dir\\name"},
    {TFn::ChangeExt, L"", L".x", L".x"},
    {TFn::ChangeExt, L"C:.a", L".x", L"C:.x"},
    {TFn::ModuleName, L"C:\\src\\Unit1.pas", L"", L"Unit1"},
    {TFn::ModuleName, L"C:\\src\\.hidden", L"", L""},
    {TFn::ModuleName, L"Unit1", L"", L"Unit1"},
    {TFn::ModuleName, L"a.b.c", L"", L"a.b"},
    {TFn::RelativePath, L"C:\\a\\b\\x.pas", L"C:\\a\\c\\y.pas", L"..\\c\\y.pas"},
    {TFn::RelativePath, L"C:\\a\\b\\x.pas", L"c:\\A\\B\\y.pas", L"y.pas"},
    {TFn::RelativePath, L"C:\\a\\b\\x.pas", L"D:\\a\\y.pas", L"D:\\a\\y.pas"},
    {TFn::RelativePath, L"C:\\a\\b\\x.pas", L"C:\\a\\b\\c\\d\\y.pas", L"c\\d\\y.pas"},
    {TFn::RelativePath, L"C:\\a\\b\\c\\x.pas", L"C:\\a\\y.pas", L"..\\..\\y.pas"},
    {TFn::RelativePath, L"\\\\srv\\share\\a\\x", L"\\\\SRV\\Share\\b\\y", L"..\\b\\y"},
    {TFn::RelativePath, L"\\\\srv\\one\\x", L"\\\\srv\\two\\y", L"\\\\srv\\two\\y"},
    {TFn::RelativePath, L"\\\\", L"\\\\", L""},
    {TFn::RelativePath, L"\\\\", L"x", L"x"},
    {TFn::RelativePath, L"x.pas", L"y.pas", L"y.pas"},
    {TFn::RelativePath, L"", L"", L""},
    {TFn::RelativePath, L"\\a\\x", L"a\\y", L"..\\..\\a\\y"},
};

void ExpectEdgeCases(const char* who) {
  for (const TEdgeCase& e : EdgeCases) {
    SCOPED_TRACE(std::string(who) + ": " + ToUtf8(e.A) + " | " + ToUtf8(e.B));
    EXPECT_EQ(Apply(e.Fn, e.A, e.B), e.Expected);
  }
}

TEST(PathFunctions, EdgeCasesOnHostAndReplacement) {
  Load();
  ExpectEdgeCases("host");
  InstallPatches();
  ExpectEdgeCases("replacement");
}

// ---- the replacements against the host on a corpus --------------------------------

std::vector<std::wstring> ShortStrings(const std::wstring& alphabet, size_t maxLength) {
  std::vector<std::wstring> strings = {L""};
  for (size_t i = 0; i < strings.size(); ++i)
    if (strings[i].size() < maxLength)
      for (wchar_t c : alphabet) strings.push_back(strings[i] + c);
  return strings;
}

const wchar_t* const RealisticPaths[] = {
    L"C:\\Projects\\Accounts\\Source\\Ledger.pas", L"c:\\projects\\accounts\\source\\ledger.PAS",
    L"C:\\Program Files (x86)\\Embarcadero\\RAD Studio\\8.0\\source\\rtl\\common\\Classes.pas",
    L"\\\\buildserver\\share\\components\\vcl\\Forms.dfm", L"\\\\BuildServer\\Share\\components\\rtl\\System.pas",
    L"D:\\work\\a\\b\\c\\d\\e\\f\\g\\Unit1.pas", L"Unit2.pas", L"..\\lib\\Unit3.dcu", L".\\Unit4.pas", L"C:Unit5",
    L"C:\\", L"\\", L"\\\\", L"\\\\server", L"\\\\server\\share", L"C:\\a.b\\c", L"C:\\Users\\M\u00FCller\\\u00C4pfel.pas",
    L"C:\\Users\\m\u00FCller\\\u00E4pfel.PAS", L"file.tar.gz", L".gitignore", L"dir\\.hidden", L"C:\\dir.ext\\",
};

template <class F>
std::vector<std::wstring> Results(F&& compute) {
  std::vector<std::wstring> results;
  compute(results);
  return results;
}

void AllFunctions(std::vector<std::wstring>& out) {
  const std::vector<std::wstring> shorts = ShortStrings(L"a.\\:/\u00E4A", 4);
  std::vector<std::wstring> inputs(shorts);
  inputs.insert(inputs.end(), std::begin(RealisticPaths), std::end(RealisticPaths));
  for (const std::wstring& s : inputs) {
    for (TFn fn : {TFn::FilePath, TFn::FileDir, TFn::FileName, TFn::FileExt, TFn::ModuleName})
      out.push_back(Apply(fn, s));
    for (const wchar_t* ext : {L".x", L"", L".dcu.bak", L"\\"}) out.push_back(Apply(TFn::ChangeExt, s, ext));
  }
  // Relative paths between every pair of short strings and of realistic paths.
  const std::vector<std::wstring> bases = ShortStrings(L"a\\:.A\u00E4", 3);
  for (const std::wstring& base : bases)
    for (const std::wstring& dest : bases) out.push_back(Apply(TFn::RelativePath, base, dest));
  for (const wchar_t* base : RealisticPaths)
    for (const wchar_t* dest : RealisticPaths) out.push_back(Apply(TFn::RelativePath, base, dest));
}

TEST(PathFunctions, ReplacementsEqualTheHostOnACorpus) {
  Load();
  const std::vector<std::wstring> host = Results(AllFunctions);
  InstallPatches();
  const std::vector<std::wstring> replaced = Results(AllFunctions);
  ASSERT_EQ(host.size(), replaced.size());
  size_t differing = 0;
  for (size_t i = 0; i < host.size(); ++i) differing += host[i] != replaced[i];
  EXPECT_EQ(differing, 0u);
  EXPECT_GT(host.size(), 60000u);
}

// ---- Free Pascal's SysUtils ------------------------------------------------------------

struct TOracleLine {
  std::wstring Input;
  std::vector<std::wstring> Results;  // path, dir, name, ext, change .x, change '', module name
};

std::vector<TOracleLine> ReadPathOracle() {
  const std::string bytes = QuillmendTest::ReadFileBytes(BuildDirectory() + L"\\oracle\\paths.txt");
  std::vector<TOracleLine> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t end = bytes.find('\n', start);
    std::wstring line = FromUtf8(bytes.substr(start, end - start));
    start = end + 1;
    TOracleLine entry;
    std::wstring field;
    std::wistringstream fields(line);
    std::getline(fields, entry.Input, L'\t');
    while (std::getline(fields, field, L'\t')) entry.Results.push_back(field);
    while (entry.Results.size() < 7) entry.Results.push_back(L"");
    lines.push_back(entry);
  }
  return lines;
}

void ExpectOracle(const std::vector<TOracleLine>& oracle, const char* who) {
  size_t differing = 0;
  for (const TOracleLine& line : oracle) {
    const std::wstring& s = line.Input;
    const std::wstring mine[] = {Apply(TFn::FilePath, s),           Apply(TFn::FileDir, s),
                                 Apply(TFn::FileName, s),           Apply(TFn::FileExt, s),
                                 Apply(TFn::ChangeExt, s, L".x"),   Apply(TFn::ChangeExt, s, L""),
                                 Apply(TFn::ModuleName, s)};
    for (size_t k = 0; k < 7; ++k)
      if (mine[k] != line.Results[k] && ++differing <= 10)
        ADD_FAILURE() << who << ": function " << k << " of \"" << ToUtf8(s) << "\": " << ToUtf8(mine[k])
                      << " instead of " << ToUtf8(line.Results[k]);
  }
  EXPECT_EQ(differing, 0u) << who;
}

TEST(PathFunctions, HostAndReplacementAgreeWithFreePascal) {
  Load();
  const std::vector<TOracleLine> oracle = ReadPathOracle();
  ASSERT_EQ(oracle.size(), 9331u);  // 1 + 6 + ... + 6^5
  ExpectOracle(oracle, "host");
  InstallPatches();
  ExpectOracle(oracle, "replacement");
}

// ---- allocations, sharing and the result variable ----------------------------------

// Allocations of one call, and the result (its pointer too).
struct TCallCount {
  long Allocations;
  std::wstring Result;
  bool SharesInput;
};

TCallCount Counted(TFn fn, const std::wstring& a, const std::wstring& b = L"") {
  const RtlConversions& c = Runtime().Calls;
  THostText first(a), second(b), result(L"");
  const long before = Allocations();
  switch (fn) {
    case TFn::FilePath: c.extractFilePath(first.Get(), result.Var()); break;
    case TFn::FileDir: c.extractFileDir(first.Get(), result.Var()); break;
    case TFn::FileName: c.extractFileName(first.Get(), result.Var()); break;
    case TFn::FileExt: c.extractFileExt(first.Get(), result.Var()); break;
    case TFn::ModuleName: c.extractModuleName(first.Get(), result.Var()); break;
    case TFn::ChangeExt: c.changeFileExt(first.Get(), second.Get(), result.Var()); break;
    case TFn::RelativePath: c.extractRelativePath(first.Get(), second.Get(), result.Var()); break;
  }
  const long allocations = Allocations() - before;
  return {allocations, Text(result.Get()), result.Get() && result.Get() == first.Get()};
}

TEST(PathFunctions, OneAllocationAtMostAndTheInputItselfWhenItIsTheResult) {
  Load();
  InstallPatches();
  const struct {
    TFn Fn;
    const wchar_t* A;
    const wchar_t* B;
    long Allocations;
    bool SharesInput;
  } cases[] = {
      {TFn::FileName, L"Unit1.pas", L"", 0, true},
      {TFn::FileName, L"C:\\a\\Unit1.pas", L"", 1, false},
      {TFn::FilePath, L"Unit1.pas", L"", 0, false},
      {TFn::FilePath, L"C:\\a\\", L"", 0, true},
      {TFn::FilePath, L"C:\\a\\b", L"", 1, false},
      {TFn::FileDir, L"C:\\", L"", 0, true},
      {TFn::FileDir, L"C:\\a\\b", L"", 1, false},
      {TFn::FileExt, L".bashrc", L"", 0, true},
      {TFn::FileExt, L"a.pas", L"", 1, false},
      {TFn::FileExt, L"a", L"", 0, false},
      {TFn::ModuleName, L"Unit1", L"", 0, true},
      {TFn::ModuleName, L"C:\\a\\Unit1.pas", L"", 1, false},
      {TFn::ChangeExt, L"a.pas", L".pas", 0, true},
      {TFn::ChangeExt, L"a.pas", L".dcu", 1, false},
      {TFn::ChangeExt, L"a", L"", 0, true},
      {TFn::RelativePath, L"C:\\a\\b\\x.pas", L"C:\\a\\c\\y.pas", 3, false},
      {TFn::RelativePath, L"C:\\a\\x.pas", L"D:\\a\\y.pas", 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.A) + " | " + ToUtf8(c.B));
    const TCallCount counted = Counted(c.Fn, c.A, c.B);
    EXPECT_EQ(counted.Allocations, c.Allocations);
    EXPECT_EQ(counted.SharesInput, c.SharesInput);
  }
  // The comparisons allocate nothing.
  THostText a(L"C:\\Some\\Path.pas"), b(L"c:\\some\\path.PAS");
  const long before = Allocations();
  EXPECT_EQ(Runtime().Calls.ansiCompareFileName(a.Get(), b.Get()), 0);
  EXPECT_EQ(Runtime().Calls.sameFileName(a.Get(), b.Get()), 1);
  EXPECT_EQ(Allocations(), before);
}

TEST(PathFunctions, ALiteralInputIsCopiedNotShared) {
  Load();
  InstallPatches();
  static const struct {
    uint16_t CodePage = 1200, ElementSize = 2;
    int32_t RefCount = -1, Length = 5;
    wchar_t Text[6] = L"Unit1";
  } literal;
  THostText result(L"");
  Runtime().Calls.extractFileName(literal.Text, result.Var());
  EXPECT_EQ(Text(result.Get()), L"Unit1");
  EXPECT_NE(result.Get(), literal.Text);
  EXPECT_EQ(RefCount(result.Get()), 1);
}

// S := ChangeFileExt(S, E) resizes S in place when nobody else holds it;
// E := ChangeFileExt(S, E) must not resize E before E is copied.
TEST(PathFunctions, ChangeFileExtIntoTheVariableOfItsInputOrItsExtension) {
  Load();
  InstallPatches();
  const RtlConversions& c = Runtime().Calls;
  const QmHost::HostRtl& host = *Runtime().Host;
  {
    wchar_t* s = host.NewString(L"C:\\dir\\name.pas");
    wchar_t* ext = host.NewString(L".dcu");
    const long before = Allocations();
    c.changeFileExt(s, ext, &s);
    EXPECT_EQ(Text(s), L"C:\\dir\\name.dcu");
    EXPECT_EQ(Allocations() - before, 1);  // the resize
    EXPECT_EQ(RefCount(s), 1);
    host.Release(s);
    host.Release(ext);
  }
  {
    wchar_t* s = host.NewString(L"C:\\dir\\name.pas");
    wchar_t* e = host.NewString(L".extension");
    c.changeFileExt(s, e, &e);
    EXPECT_EQ(Text(e), L"C:\\dir\\name.extension");
    EXPECT_EQ(Text(s), L"C:\\dir\\name.pas");
    host.Release(s);
    host.Release(e);
  }
  {
    // Held twice: the other holder keeps the old text.
    wchar_t* s = host.NewString(L"a.pas");
    wchar_t* other = nullptr;
    host.ustrAsg(&other, s);
    wchar_t* ext = host.NewString(L".x");
    c.changeFileExt(s, ext, &s);
    EXPECT_EQ(Text(s), L"a.x");
    EXPECT_EQ(Text(other), L"a.pas");
    host.Release(s);
    host.Release(other);
    host.Release(ext);
  }
  {
    // The destination holds the input as a literal: never resized.
    static const struct {
      uint16_t CodePage = 1200, ElementSize = 2;
      int32_t RefCount = -1, Length = 5;
      wchar_t Text[6] = L"b.pas";
    } literal;
    const wchar_t* s = literal.Text;
    wchar_t* ext = host.NewString(L".dcu");
    wchar_t* result = const_cast<wchar_t*>(s);
    c.changeFileExt(s, ext, &result);
    EXPECT_EQ(Text(result), L"b.dcu");
    EXPECT_EQ(std::wstring(literal.Text), L"b.pas");
    host.Release(result);
    host.Release(ext);
  }
}

// ---- the host's register convention ------------------------------------------------

TEST(PathFunctions, ReplacementsKeepTheHostsCallingConvention) {
  Load();
  InstallPatches();
  const RtlConversions& c = Runtime().Calls;
  THostText a(L"C:\\a\\b\\x.pas"), b(L"C:\\a\\c\\y.pas"), r1(L""), r2(L"");
  using QmHost::RegisterArgs;
  using QmHost::RegisterWord;
  const struct {
    const char* Name;
    const void* Fn;
    RegisterArgs Args;
  } calls[] = {
      {"ExtractFilePath", reinterpret_cast<const void*>(c.extractFilePath), {RegisterWord(a.Get()), RegisterWord(r1.Var()), 0}},
      {"ExtractFileDir", reinterpret_cast<const void*>(c.extractFileDir), {RegisterWord(a.Get()), RegisterWord(r1.Var()), 0}},
      {"ExtractFileName", reinterpret_cast<const void*>(c.extractFileName), {RegisterWord(a.Get()), RegisterWord(r1.Var()), 0}},
      {"ExtractFileExt", reinterpret_cast<const void*>(c.extractFileExt), {RegisterWord(a.Get()), RegisterWord(r1.Var()), 0}},
      {"ExtractModuleName", reinterpret_cast<const void*>(c.extractModuleName), {RegisterWord(a.Get()), RegisterWord(r1.Var()), 0}},
      {"ChangeFileExt", reinterpret_cast<const void*>(c.changeFileExt), {RegisterWord(a.Get()), RegisterWord(b.Get()), RegisterWord(r2.Var())}},
      {"ExtractRelativePath", reinterpret_cast<const void*>(c.extractRelativePath), {RegisterWord(a.Get()), RegisterWord(b.Get()), RegisterWord(r2.Var())}},
      {"AnsiCompareFileName", reinterpret_cast<const void*>(c.ansiCompareFileName), {RegisterWord(a.Get()), RegisterWord(b.Get()), 0}},
      {"SameFileName", reinterpret_cast<const void*>(c.sameFileName), {RegisterWord(a.Get()), RegisterWord(b.Get()), 0}},
  };
  for (const auto& call : calls) {
    QmHost::RegisterCallReport report;
    QmHost::CallRegisterChecked(call.Fn, report, call.Args);
    EXPECT_TRUE(report.Clean()) << call.Name << ": imbalance " << report.imbalance << ", clobbered " << report.clobbered;
  }
}

// ---- the relative path's guard -----------------------------------------------------------

std::vector<uint8_t> CodeAt(const void* p, size_t n) {
  return std::vector<uint8_t>(static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
}

TEST(PathFunctions, AFailureInsideTheRelativePathGoesToTheHandlerAndTheHostTakesOver) {
  Load();
  const RtlConversions& c = Runtime().Calls;
  const std::vector<uint8_t> original = CodeAt(reinterpret_cast<const void*>(c.extractRelativePath), 8);
  const std::wstring hostResult = Apply(TFn::RelativePath, L"C:\\a\\b\\x.pas", L"C:\\a\\c\\y.pas");
  InstallPatches();
  ASSERT_EQ(Status(RelativePath), L"applied");
  ASSERT_NE(CodeAt(reinterpret_cast<const void*>(c.extractRelativePath), 8), original);
  RecordHandledExceptions();

  // The third allocation (the result, after the two directory copies) fails.
  THostText base(L"C:\\a\\b\\x.pas"), dest(L"C:\\a\\c\\y.pas"), result(L"");
  const long blocks = LiveBlocks();
  const TRaised raised = Guarded([&] {
    c.failAllocation(3);
    c.extractRelativePath(base.Get(), dest.Get(), result.Var());
  });
  c.failAllocation(0);
  EXPECT_FALSE(raised.Raised);
  EXPECT_EQ(HandledExceptions(), std::vector<std::wstring>{L"EOutOfMemory: Out of memory"});
  EXPECT_EQ(Text(result.Get()), hostResult);
  EXPECT_EQ(LiveBlocks(), blocks + 1);  // the result only

  // The redirection is gone: the host's function serves every later call.
  EXPECT_EQ(CodeAt(reinterpret_cast<const void*>(c.extractRelativePath), 8), original);
  const TCallCount later = Counted(TFn::RelativePath, L"C:\\a\\b\\x.pas", L"C:\\a\\c\\y.pas");
  EXPECT_EQ(later.Result, hostResult);
  EXPECT_GT(later.Allocations, 3);
}

}  // namespace

namespace {

// The drive part a relative path is computed from: "\\" alone would count
// one character past its end.
TEST(PathFunctions, DriveLengthNeverPassesTheEnd) {
  const struct {
    const wchar_t* Path;
    int32_t Length;
  } cases[] = {
      {L"", 0},           {L"C", 0},           {L"C:", 2},          {L"C:\\a", 2},          {L"\\\\", 2},
      {L"\\\\a", 3},      {L"\\\\a\\", 3},     {L"\\\\a\\b", 5},    {L"\\\\a\\b\\c", 5},    {L"\\a\\b", 0},
      {L"a:\\", 2},       {L"\\\\\\", 2},
  };
  for (const auto& c : cases) {
    const std::wstring path = c.Path;
    EXPECT_EQ(Quillmend::ExtractFileDriveLength(path.c_str(), int32_t(path.size())), c.Length) << ToUtf8(path);
  }
}

}  // namespace
