// The subsystem's patches three ways against the stand-in run-time and core
// package: applied alone (the host's results stay the same), disabled (not
// one byte of it written; "IDE.ExtractRelativePath" not even registered when
// the path functions are off), and against builds lacking a target (it and
// what builds on it failed, nothing of theirs written); the code is put back
// byte for byte afterwards in every case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StandInRuntime.h"
#include "ThreeWayHarness.h"

namespace {

const wchar_t* const Compare = L"RTL.AnsiCompareFileName";
const wchar_t* const PathFunctions = L"IDE.FilePathStrFunctions";
const wchar_t* const RelativePath = L"IDE.ExtractRelativePath";
const wchar_t* const FormText = L"RTL.Classes.ObjectTextToBinary";

const std::vector<TPatchRow> PatchRows = {
    {Compare, {}},
    {PathFunctions, {}},
    {RelativePath, {PathFunctions}},
    {FormText, {}},
};

const std::vector<TVariantRow> VariantRows = {
    {"nosamefilename", {Compare}},
    {"noextractfileext", {PathFunctions, RelativePath}},
    {"noextractmodulename", {PathFunctions, RelativePath}},
    {"noextractrelativepath", {RelativePath}},
    {"noobjecttexttobinary", {FormText}},
};

const wchar_t* const Paths[] = {L"C:\\src\\Unit1.pas", L"\\\\server\\share\\dir\\a.b.c", L".bashrc", L"a.b\\c",
                                L"C:\\", L"", L"Form1.dfm"};

const char* const SampleForm =
    "object Form1: TForm1\r\n  Left = 8\r\n  Caption = 'Main'#13#10'form'\r\n  Font.Style = [fsBold]\r\n"
    "  Data = {0A0B0C}\r\n  object Button1: TButton\r\n    Tag = -7\r\n  end\r\nend\r\n";

// What the host computes, through whatever code is at its exports now.
std::string Fingerprint() {
  using namespace RtlTest;
  const QmHost::RtlConversions& c = Runtime().Calls;
  std::wstring text;
  auto string1 = [&](QmHost::RtlConversions::StringFn f, const wchar_t* path) {
    if (!f) return;
    THostText s(path), r(L"");
    f(s.Get(), r.Var());
    text += Text(r.Get()) + L"|";
  };
  for (const wchar_t* path : Paths) {
    string1(c.extractFilePath, path);
    string1(c.extractFileDir, path);
    string1(c.extractFileName, path);
    string1(c.extractFileExt, path);
    string1(c.extractModuleName, path);
    THostText s(path), ext(L".x"), base(L"C:\\src\\lib\\x.pas"), r(L"");
    if (c.changeFileExt) c.changeFileExt(s.Get(), ext.Get(), r.Var());
    text += Text(r.Get()) + L"|";
    if (c.extractRelativePath) c.extractRelativePath(base.Get(), s.Get(), r.Var());
    text += Text(r.Get()) + L"|";
    if (c.sameFileName) text += std::to_wstring(c.sameFileName(s.Get(), base.Get()));
    text += L"\n";
  }
  std::string result = ToUtf8(text);
  if (c.objectTextToBinary) {
    TConversion converted = Convert(SampleForm);
    result += converted.Output + std::to_string(converted.InputPosition);
  }
  return result;
}

const TThreeWaySubsystem& Rtl() {
  static const TThreeWaySubsystem subsystem{
      {L"rtl150.bpl", L"coreide150.bpl"},
      [] { RtlTest::Bind(); },
      [] { RtlTest::RunUnitInitializations(); },
      [] { return Fingerprint(); },
      {Compare, PathFunctions, RelativePath, FormText},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(Rtl, Rtl(), PatchRows, VariantRows)

TEST(RtlPatches, RelativePathIsNotRegisteredWhenThePathFunctionsAreOff) {
  RtlTest::Load();
  RtlTest::InstallPatches(PathFunctions);
  EXPECT_EQ(RtlTest::Status(PathFunctions), L"");
  EXPECT_EQ(RtlTest::Status(RelativePath), L"");
  EXPECT_EQ(RtlTest::Status(Compare), L"applied");
  EXPECT_EQ(RtlTest::Status(FormText), L"applied");
}

TEST(RtlPatches, FailuresNameTheMissingExport) {
  RtlTest::Load("noextractmodulename");
  RtlTest::InstallPatches();
  EXPECT_EQ(RtlTest::Reason(PathFunctions), L"ExtractModuleName: export not found in coreide150.bpl");
  EXPECT_EQ(RtlTest::Reason(RelativePath), L"needs IDE.FilePathStrFunctions");
}

}  // namespace
