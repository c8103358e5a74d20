// "IDE.HelpInsight.InteropCache" where nothing can be installed, in a
// program without the managed bridge beside it: without the .NET runtime in
// the process, or without QuillmendClr.dll, the patch is ignored (no
// message, nothing loaded, nothing written) and Help Insight works unpatched.
#include <gtest/gtest.h>

#include <windows.h>

#include "Framework/PatchPlan.h"
#include "Framework/PatchRegistry.h"
#include "Patches/IdeCorrections/HelpInsightInteropCache.h"
#include "StandIns.h"
#include "TestPaths.h"
#include "coreide150/HelpInsightDocDriver.h"

namespace {

void ExpectIgnoredAndUnwrapped(const wchar_t* reason) {
  LoadLibraryW((BuildDirectory() + L"\\host\\designide150.bpl").c_str());
  LoadLibraryW((BuildDirectory() + L"\\host\\Borland.Studio.Interop.dll").c_str());
  HelpInsightDocDriver::Driver doc;
  ASSERT_TRUE(doc.Bind(GetModuleHandleW(L"coreide150.bpl")));
  std::vector<Quillmend::TPatchPlan> plans = Quillmend::HelpInsightInteropCachePlans();
  const Quillmend::TPlanVerdict verdict = Quillmend::DryRunPlan(plans.front());
  EXPECT_TRUE(verdict.Ignored);
  EXPECT_EQ(verdict.Reason, reason);

  StandIns::Install();
  EXPECT_EQ(StandIns::Status(L"IDE.HelpInsight.InteropCache"), L"ignored");
  EXPECT_EQ(GetModuleHandleW(L"QuillmendClr.dll"), nullptr);
  void* w = nullptr;
  EXPECT_EQ(doc.QueryInterface(doc.NewModule(), &HelpInsightDocDriver::IID_Documentation, &w), S_OK);
  EXPECT_NE(w, nullptr);
  EXPECT_EQ(Quillmend::THelpInsightInteropCacheHelper::Alive(), 0);
  EXPECT_TRUE(Quillmend::FailedPatchReasons().empty());
}

}  // namespace

TEST(HelpInsightInteropCacheAbsent, WithoutTheRuntimeIgnored) {
  StandIns::Load();
  ASSERT_EQ(GetModuleHandleW(L"mscoreei.dll"), nullptr);
  ExpectIgnoredAndUnwrapped(L"no .NET runtime in the process for the managed bridge");
}

TEST(HelpInsightInteropCacheAbsent, WithoutTheBridgeIgnored) {
  StandIns::Load();
  ASSERT_NE(LoadLibraryW((BuildDirectory() + L"\\host\\mscoreei.dll").c_str()), nullptr);
  ASSERT_EQ(GetFileAttributesW(Quillmend::InteropBridgePath().c_str()), INVALID_FILE_ATTRIBUTES);
  ExpectIgnoredAndUnwrapped(L"QuillmendClr.dll is not beside the library");
}
