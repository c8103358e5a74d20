// Class completion with the pack: a persistent class without a published
// section gets no empty one; `class operator In` is completed like `Add`
// whatever its case; the classifier and the reserved-word test answer as
// the host's for other token and symbol kinds, for other reserved words and
// where they are called outside class completion.
#include <gtest/gtest.h>

#include "EditorStandIns.h"
#include "Framework/PatchPlan.h"
#include "Framework/PatchRegistry.h"
#include "Patches/EditorParser/ClassComplOperatorOverloadFix.h"

namespace {

const char* const Panel = "TPanel = class(TComponent)\n  property Size: Integer read FSize;\nend;";

TEST(EditorParserPublishedBlock, NoEmptyPublishedSectionAfterCompletion) {
  EditorStandIns::Load();
  const std::string host = EditorStandIns::CompleteClass(Panel);
  EXPECT_EQ(host, "TPanel = class(TComponent)\n    property Size: Integer read FSize;\n  published\n  private\n"
                  "    FSize: Integer;\n  end;\n");
  EditorStandIns::Install();
  ASSERT_EQ(EditorStandIns::Status(L"Editor.PublishedBlock"), L"applied") << EditorStandIns::Reasons();
  EXPECT_EQ(EditorStandIns::CompleteClass(Panel),
            "TPanel = class(TComponent)\n    property Size: Integer read FSize;\n  private\n    FSize: Integer;\n  end;\n");
}

// WriteProcessMemory as on a page the system will not write: refused for EnsureSection's jump.
const uint8_t* g_refused = nullptr;
BOOL(WINAPI* g_writeProcessMemory)(HANDLE, LPVOID, LPCVOID, SIZE_T, SIZE_T*) = nullptr;
BOOL WINAPI RefusingWriteProcessMemory(HANDLE process, LPVOID address, LPCVOID buffer, SIZE_T size, SIZE_T* written) {
  const auto* at = static_cast<const uint8_t*>(address);
  if (at <= g_refused && g_refused < at + size) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  return g_writeProcessMemory(process, address, buffer, size, written);
}

// Installed at unit initialization: a refused write is the patch's failure
// with the system's error in its reason, nothing raised, the host's byte kept.
TEST(EditorParserPublishedBlock, ARefusedWriteFailsThePatchWithTheSystemsError) {
  EditorStandIns::Load();
  using TSiteFn = void*(__stdcall*)(const char*);
  auto site = reinterpret_cast<TSiteFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"delphicoreide150.bpl"), "DelphiCorePatternSite")));
  ASSERT_NE(site, nullptr);
  const auto* jump = static_cast<const uint8_t*>(site("EnsureSectionPublished")) + 15;
  ASSERT_EQ(*jump, 0x74);
  g_refused = jump;
  Quillmend::TPatchPlan refuse(L"Test.RefusedWrites", L"refuses one byte");
  Quillmend::TSiteRef writer = refuse.Export(L"WriteProcessMemory", L"kernel32.dll", "WriteProcessMemory");
  refuse.HookWinApi(writer, &RefusingWriteProcessMemory, reinterpret_cast<void**>(&g_writeProcessMemory));
  ASSERT_TRUE(Quillmend::InstallPlan(refuse));
  EditorStandIns::Install();
  EXPECT_EQ(EditorStandIns::Status(L"Editor.PublishedBlock"), L"failed");
  std::wstring reason;
  for (const Quillmend::TPatchReport& report : Quillmend::PatchReports())
    if (report.Name == L"Editor.PublishedBlock") reason = report.Reason;
  EXPECT_NE(reason.find(L"write refused (error " + std::to_wstring(ERROR_NOACCESS) + L")"), std::wstring::npos)
      << std::string(reason.begin(), reason.end());
  EXPECT_EQ(*jump, 0x74);
  EXPECT_EQ(EditorStandIns::Status(L"IDE.ClassCompletion.ClassOperatorIn"), L"applied");
  EXPECT_NE(EditorStandIns::CompleteClass(Panel).find("  published\n"), std::string::npos) << "the host's completion";
}

std::string Operators(const char* in) {
  return std::string("TSet = class\n  class operator Add(a, b: TSet): TSet;\n  class operator ") + in +
         "(a: Integer; b: TSet): Boolean;\nend;";
}

TEST(EditorParserClassOperatorIn, CompletedLikeAdd) {
  EditorStandIns::Load();
  const std::string host = EditorStandIns::CompleteClass(Operators("In"));
  EXPECT_NE(host.find("class operator TSet.Add(a, b: TSet): TSet;\nbegin\nend;"), std::string::npos);
  EXPECT_EQ(host.find("TSet.In"), std::string::npos);  // skipped
  EditorStandIns::Install();
  ASSERT_EQ(EditorStandIns::Status(L"IDE.ClassCompletion.ClassOperatorIn"), L"applied") << EditorStandIns::Reasons();
  for (const char* spelling : {"In", "IN", "in"}) {
    SCOPED_TRACE(spelling);
    const std::string completed = EditorStandIns::CompleteClass(Operators(spelling));
    EXPECT_NE(completed.find("class operator TSet.Add(a, b: TSet): TSet;\nbegin\nend;"), std::string::npos);
    EXPECT_NE(completed.find(std::string("\n    class operator ") + spelling + "(a: Integer; b: TSet): Boolean;\n"),
              std::string::npos);
    EXPECT_NE(completed.find(std::string("class operator TSet.") + spelling + "(a: Integer; b: TSet): Boolean;\nbegin\nend;"),
              std::string::npos);
    EXPECT_EQ(completed.find("&"), std::string::npos);
  }
  // Other members named like reserved words are still skipped.
  EXPECT_EQ(EditorStandIns::CompleteClass("TSet = class\n  procedure In;\n  class operator And(a, b: TSet): TSet;\nend;")
                .find("begin"),
            std::string::npos);
}

struct TClassifyCase {
  uint32_t TokenKind;
  const char* Text;
  uint8_t Answer;  // the low byte
};

const TClassifyCase ClassifyCases[] = {
    {8, "in", 2},       {8, "IN", 2},     {0xABCDEF08, "In", 2},  // only AL is the token kind
    {1, "in", 138},     {2, "in", 138},   {9, "in", 138},       {0x108, "in", 2},
    {8, "and", 130},    {8, "Value", 2},  {8, "inn", 2},        {8, "i", 2},
};

TEST(EditorParserClassOperatorIn, ClassifierAnswersAsTheHostsExceptForOperatorIn) {
  EditorStandIns::Load();
  EditorStandIns::Install();
  for (const TClassifyCase& c : ClassifyCases) {
    const uint32_t answer = Quillmend::ClassifyReplacement(c.TokenKind, c.Text);
    EXPECT_EQ(answer & 0xFF, c.Answer) << c.TokenKind << " " << c.Text;
    EXPECT_EQ(answer & ~0xFFu, Quillmend::OrgClassify(c.Text) & ~0xFFu) << "the rest of EAX as the host's";
  }
}

struct TReservedCase {
  int SymbolKind;  // -1: no symbol
  const char* Text;
  uint8_t Reserved;
};

const TReservedCase ReservedCases[] = {
    {8, "In", 0},   {8, "iN", 0},   {0x18, "in", 0},  {-1, "in", 1},  {1, "in", 1},   {2, "In", 1},
    {9, "In", 1},   {8, "and", 1},  {8, "Value", 0},  {3, "In", 1},
};

TEST(EditorParserClassOperatorIn, ReservedWordTestAnswersAsTheHostsExceptForOperatorIn) {
  EditorStandIns::Load();
  EditorStandIns::Install();
  for (const TReservedCase& c : ReservedCases) {
    uint8_t symbol[12] = {uint8_t(c.SymbolKind)};
    const uint32_t answer = Quillmend::IsReservedReplacement(c.Text, c.SymbolKind < 0 ? nullptr : symbol);
    EXPECT_EQ(answer & 0xFF, c.Reserved) << c.SymbolKind << " " << c.Text;
  }
  // Called outside class completion, the host's routines are unchanged.
  auto classify = ClassCompletionDriver::Bind<ClassCompletionDriver::TextFn>(GetModuleHandleW(L"delphicoreide150.bpl"),
                                                                             ClassCompletionDriver::Export::ClassifyText);
  auto reserved = ClassCompletionDriver::Bind<ClassCompletionDriver::TextFn>(
      GetModuleHandleW(L"delphicoreide150.bpl"), ClassCompletionDriver::Export::IsReservedText);
  EXPECT_EQ(classify("in"), 138u);
  EXPECT_EQ(reserved("In"), 1u);
}

} // namespace
