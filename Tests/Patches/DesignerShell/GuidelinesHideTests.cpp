// The form designer's guidelines: unpatched they are never hidden; patched,
// once a form has a designer, losing the focus hides them, and so does Alt
// while they show, for designers whose parent class passes the rule; the
// designer's own routine sees every message either way.
#include <gtest/gtest.h>

#include <windows.h>

#include "DesignerStandIns.h"
#include "Patches/DesignerShell/GuidelinesHide.h"

namespace {

using namespace FormDesignerDriver;
using DesignerStandIns::FormDesigners;
using DesignerStandIns::SendDesignMessage;

const wchar_t* const GuidelinesHide = L"IDE.VCLDesigner.GuidelinesHide";
int g_form = 0;  // a form: SetDesigner keeps its designer beside it

void* NewDesigner(TDesignerKind kind, bool guidelines, int state) {
  void* designer = FormDesigners().New(kind, guidelines);
  FormDesigners().SetState(designer, state);
  return designer;
}

TEST(DesignerGuidelinesHide, UnpatchedTheGuidelinesAreNeverHidden) {
  DesignerStandIns::Load();
  void* designer = NewDesigner(FormDesigner, true, 1);
  DesignerStandIns::SetDesigner(&g_form, FormDesigners().Hook(designer));
  EXPECT_EQ(SendDesignMessage(designer, WM_KILLFOCUS, 0), "seen");
  EXPECT_EQ(SendDesignMessage(designer, WM_KEYDOWN, VK_MENU), "seen");
}

TEST(DesignerGuidelinesHide, TheFilterIsInstalledWhenTheFirstDesignerIsSet) {
  DesignerStandIns::Load();
  DesignerStandIns::Install();
  ASSERT_EQ(DesignerStandIns::Status(GuidelinesHide), L"applied") << DesignerStandIns::Reasons();
  void* designer = NewDesigner(FormDesigner, true, 1);
  EXPECT_FALSE(Quillmend::GuidelinesFilterInstalled());
  EXPECT_EQ(SendDesignMessage(designer, WM_KILLFOCUS, 0), "seen");
  DesignerStandIns::SetDesigner(&g_form, nullptr);
  EXPECT_FALSE(Quillmend::GuidelinesFilterInstalled());
  DesignerStandIns::SetDesigner(&g_form, FormDesigners().Hook(designer));
  EXPECT_TRUE(Quillmend::GuidelinesFilterInstalled());
  EXPECT_EQ(SendDesignMessage(designer, WM_KILLFOCUS, 0), "0,4,1,0;seen");
  // A second designer: the same routine, redirected once.
  void* other = NewDesigner(FormDesigner, true, 0);
  DesignerStandIns::SetDesigner(&g_form, FormDesigners().Hook(other));
  EXPECT_EQ(SendDesignMessage(other, WM_KILLFOCUS, 0), "0,4,1,0;seen");
}

struct TMessageCase {
  const char* Name;
  TDesignerKind Kind;
  bool Guidelines;
  int State;
  uint32_t Message;
  int32_t WParam;
  const char* Result;
};

const TMessageCase MessageCases[] = {
    {"kill focus", FormDesigner, true, 0, WM_KILLFOCUS, 0, "0,4,1,0;seen"},
    {"alt, guidelines hidden", FormDesigner, true, 0, WM_KEYDOWN, VK_MENU, "seen"},
    {"alt, guidelines shown", FormDesigner, true, 1, WM_KEYDOWN, VK_MENU, "0,4,1,0;seen"},
    {"alt in the low word", FormDesigner, true, 7, WM_KEYDOWN, 0x10000 | VK_MENU, "0,4,1,0;seen"},
    {"another key", FormDesigner, true, 1, WM_KEYDOWN, 'A', "seen"},
    {"alt released", FormDesigner, true, 1, WM_KEYUP, VK_MENU, "seen"},
    {"no guideline object", FormDesigner, false, 1, WM_KILLFOCUS, 0, "seen"},
    {"parent of the surface's size, another name", OtherDesigner, true, 1, WM_KILLFOCUS, 0, "seen"},
    {"parent of another size", LargeDesigner, true, 1, WM_KILLFOCUS, 0, "0,4,1,0;seen"},
};

TEST(DesignerGuidelinesHide, PatchedMessagesHideTheGuidelinesAsTheRuleSays) {
  DesignerStandIns::Load();
  DesignerStandIns::Install();
  ASSERT_EQ(DesignerStandIns::Status(GuidelinesHide), L"applied") << DesignerStandIns::Reasons();
  DesignerStandIns::SetDesigner(&g_form, FormDesigners().Hook(NewDesigner(FormDesigner, false, 0)));
  for (const TMessageCase& c : MessageCases) {
    SCOPED_TRACE(c.Name);
    void* designer = NewDesigner(c.Kind, c.Guidelines, c.State);
    EXPECT_EQ(SendDesignMessage(designer, c.Message, c.WParam), c.Result);
  }
}

struct TStubCase {
  const char* Name;
  std::vector<uint8_t> Code;
  int Target;  // offset of the routine behind it from the code's start, or -1
};

const TStubCase StubCases[] = {
    {"add eax,imm8; jmp", {0x83, 0xC0, 0xA0, 0xE9, 0x10, 0x00, 0x00, 0x00}, 8 + 0x10},
    {"add eax,imm32; jmp", {0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xE9, 0x20, 0x00, 0x00, 0x00}, 10 + 0x20},
    {"add eax,imm8; short jmp", {0x83, 0xC0, 0xA0, 0xEB, 0x10}, -1},
    {"an ordinary routine", {0x55, 0x8B, 0xEC, 0x53, 0x56, 0x57, 0x00, 0x00}, -1},
    {"a stack adjustment", {0x83, 0x44, 0x24, 0x04, 0xA0, 0xE9, 0, 0, 0, 0}, -1},
};

TEST(DesignerGuidelinesHide, TheRoutineBehindAnAdjustmentStub) {
  for (const TStubCase& c : StubCases) {
    SCOPED_TRACE(c.Name);
    std::vector<uint8_t> code = c.Code;
    code.resize(64, 0xCC);
    void* behind = Quillmend::CodeBehindAdjustmentStub(code.data());
    if (c.Target < 0)
      EXPECT_EQ(behind, nullptr);
    else
      EXPECT_EQ(behind, code.data() + c.Target);
  }
}

TEST(DesignerGuidelinesHide, TheParentClassRule) {
  DesignerStandIns::Load();
  EXPECT_TRUE(Quillmend::GuidelinesFilterActsFor(NewDesigner(FormDesigner, true, 0)));
  EXPECT_FALSE(Quillmend::GuidelinesFilterActsFor(NewDesigner(OtherDesigner, true, 0)));
  EXPECT_TRUE(Quillmend::GuidelinesFilterActsFor(NewDesigner(LargeDesigner, true, 0)));
  EXPECT_EQ(Quillmend::DesignSurfaceInstanceSize, DesignSurfaceSize);
}

} // namespace
