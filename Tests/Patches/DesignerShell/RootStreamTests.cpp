// The designer's root stream: unpatched, GetRootStream hands back a stream
// its own write already freed; patched, the stream stays the root's and
// live, the field is put back also when the write raises, and a stream
// other than the root's reaches the writer as before.
#include <gtest/gtest.h>

#include "DesignerStandIns.h"
#include "Common/HostRtl.h"
#include "Framework/HostAbi.h"
#include "Framework/HostExcept.h"
#include "Patches/DesignerShell/ComponentDesignerFix.h"
#include "rtl150/ConversionsDriver.h"

namespace {

using DesignerStandIns::Designer;

const wchar_t* const RootStream = L"VCL.ComponentDesignerRootStream";

void LoadAndInstall() {
  DesignerStandIns::Load();
  DesignerStandIns::Install();
  ASSERT_EQ(DesignerStandIns::Status(RootStream), L"applied") << DesignerStandIns::Reasons();
}

void* NewMemoryStream() {
  QmHost::RtlConversions rtl;
  rtl.Resolve(GetModuleHandleW(L"rtl150.bpl"), GetModuleHandleW(L"coreide150.bpl"));
  return rtl.NewMemoryStream();
}

TEST(DesignerRootStream, UnpatchedTheReturnedStreamWasFreedByItsOwnWrite) {
  DesignerStandIns::Load();
  void* root = Designer().NewRoot("Form1", 0);
  void* stream = Designer().GetRootStream(root);
  // The caller now holds a freed stream: whoever frees it frees it twice.
  EXPECT_EQ(Designer().StreamFreed(stream), 1);
  EXPECT_EQ(Designer().RootStream(root), nullptr);
  Designer().FreeRoot(root);
}

TEST(DesignerRootStream, PatchedTheStreamStaysLiveAndTheRootsOwn) {
  LoadAndInstall();
  EXPECT_EQ(Quillmend::RootStreamFieldOffset, ComponentDesignerDriver::RootLayout::Stream);
  void* root = Designer().NewRoot("Form1", 0);
  void* stream = Designer().GetRootStream(root);
  EXPECT_EQ(Designer().StreamFreed(stream), 0);
  EXPECT_EQ(Designer().RootStream(root), stream);
  EXPECT_EQ(QmHost::MemoryStreamBytes(stream), "ROOT:Form1");
  // Freed once, by its owner.
  Designer().FreeRoot(root);
  EXPECT_EQ(Designer().StreamFreed(stream), 1);
}

TEST(DesignerRootStream, ARaisingWriteStillPutsTheStreamBack) {
  LoadAndInstall();
  void* root = Designer().NewRoot("Broken", 1);
  void* stream = nullptr;
  Quillmend::THostCaught caught;
  const bool returned = Quillmend::HostTryExceptOnly(
      Quillmend::HostExceptionCode, [&] { stream = Designer().GetRootStream(root); }, caught);
  ASSERT_FALSE(returned);
  EXPECT_EQ(QmHost::HostExceptionMessage(caught.Object), L"Stream write error");
  QmHost::LoadedHostRtl()->objectFree(caught.Object);
  void* held = Designer().RootStream(root);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(Designer().StreamFreed(held), 0);
  EXPECT_EQ(QmHost::MemoryStreamBytes(held), "ROOT:Broken");
  Designer().FreeRoot(root);
}

TEST(DesignerRootStream, AnotherStreamThanTheRootsReachesTheWriterUnchanged) {
  LoadAndInstall();
  void* root = Designer().NewRoot("Form2", 0);
  void* cached = NewMemoryStream();
  void* target = NewMemoryStream();
  Designer().SetRootStream(root, cached);
  Quillmend::WriteRootStreamWrapper(root, target, 0);
  // The writer's own behaviour: the root's previous stream released.
  EXPECT_EQ(Designer().StreamFreed(cached), 1);
  EXPECT_EQ(Designer().RootStream(root), nullptr);
  EXPECT_EQ(QmHost::MemoryStreamBytes(target), "ROOT:Form2");
  QmHost::LoadedHostRtl()->objectFree(target);
  Designer().FreeRoot(root);
}

} // namespace
