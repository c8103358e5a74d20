// Bit buttons in form files: unpatched, every button stores its own
// DoubleBuffered and ParentDoubleBuffered; patched, only values that differ
// from the button's own; both defaults are written or neither.
#include <gtest/gtest.h>

#include "DesignerStandIns.h"
#include "Patches/DesignerShell/BitBtnDefaultsFix.h"

namespace {

const wchar_t* const BitBtnDefaults = L"VCL.TBitBtnDoubleBufferDefault";

void* BitBtnClass() {
  return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"vcl150.bpl"), BitBtnDriver::Export::Class));
}

TEST(DesignerBitBtnDefaults, UnpatchedEveryButtonStoresItsOwnDefaults) {
  DesignerStandIns::Load();
  EXPECT_EQ(DesignerStandIns::StoredButtonProperties(), "DoubleBuffered=1\nParentDoubleBuffered=0\n");
}

struct TStoredCase {
  int DoubleBuffered, ParentDoubleBuffered;
  const char* Stored;
};

const TStoredCase StoredCases[] = {
    {1, 0, ""},
    {0, 0, "DoubleBuffered=0\n"},
    {1, 1, "ParentDoubleBuffered=1\n"},
    {0, 1, "DoubleBuffered=0\nParentDoubleBuffered=1\n"},
};

TEST(DesignerBitBtnDefaults, PatchedOnlyValuesOtherThanTheButtonsOwnAreStored) {
  DesignerStandIns::Load();
  DesignerStandIns::Install();
  ASSERT_EQ(DesignerStandIns::Status(BitBtnDefaults), L"applied") << DesignerStandIns::Reasons();
  EXPECT_EQ(DesignerStandIns::StoredButtonProperties(), "");
  for (const TStoredCase& c : StoredCases) {
    SCOPED_TRACE(c.Stored);
    EXPECT_EQ(DesignerStandIns::StoredButtonProperties(c.DoubleBuffered, c.ParentDoubleBuffered), c.Stored);
  }
}

TEST(DesignerBitBtnDefaults, WithoutTheSecondPropertyNeitherDefaultIsWritten) {
  DesignerStandIns::Load();
  DesignerStandIns::RenameButtonProperty("ParentDoubleBuffered", "ParentDoubleBufferex");
  DesignerStandIns::Install();
  EXPECT_EQ(DesignerStandIns::Status(BitBtnDefaults), L"failed");
  EXPECT_NE(DesignerStandIns::Reasons().find("TBitBtn.ParentDoubleBuffered: "), std::string::npos)
      << DesignerStandIns::Reasons();
  ASSERT_NE(Quillmend::PublishedPropertyDefault(BitBtnClass(), "DoubleBuffered"), nullptr);
  EXPECT_EQ(*Quillmend::PublishedPropertyDefault(BitBtnClass(), "DoubleBuffered"), 0);
  EXPECT_EQ(DesignerStandIns::StoredButtonProperties(), "DoubleBuffered=1\nParentDoubleBufferex=0\n");
}

TEST(DesignerBitBtnDefaults, PropertyDefaultsAreFoundByNameInTheClassesOwnRecords) {
  DesignerStandIns::Load();
  ASSERT_NE(Quillmend::PublishedPropertyDefault(BitBtnClass(), "doublebuffered"), nullptr);
  EXPECT_EQ(*Quillmend::PublishedPropertyDefault(BitBtnClass(), "doublebuffered"), 0);
  EXPECT_EQ(*Quillmend::PublishedPropertyDefault(BitBtnClass(), "ParentDoubleBuffered"), 1);
  EXPECT_EQ(Quillmend::PublishedPropertyDefault(BitBtnClass(), "DoubleBuffer"), nullptr);
  EXPECT_EQ(Quillmend::PublishedPropertyDefault(BitBtnClass(), "Visible"), nullptr);
}

} // namespace
