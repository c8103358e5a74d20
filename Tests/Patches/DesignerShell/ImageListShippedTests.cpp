// The shipped Quillmend.dll in the stand-in IDE: an image list's data
// written, read back and written again twice (bds.exe's "imagelistdata"
// workload) keeps its bytes with the library and drifts without it; the
// images are the same either way.
#include "Tests/Support/IdeRun.h"

#include <gtest/gtest.h>

namespace {

TIdeRun RunBds(const std::wstring& name, const std::wstring& disabled) {
  TIdeSetup setup;
  setup.Name = name;
  setup.Suite = L"DesignerShell";
  setup.Library = BuildDirectory() + L"\\out\\Quillmend.dll";
  setup.Environment = {{L"Quillmend.DisabledPatches", disabled}};
  setup.Arguments = {L"-run", L"imagelistdata", L"5"};
  TIdeRun run = RunIde(setup);
  EXPECT_EQ(run.ExitCode, 0u);
  EXPECT_TRUE(run.Saw(L"SHUTDOWN"));
  EXPECT_TRUE(run.Lines(L"EXCEPTION ").empty());
  return run;
}

bool AboutLists(const TIdeRun& run, const std::wstring& entry) {
  for (const std::wstring& added : run.Lines(L"ABOUT-ADD "))
    if (added.find(entry) != std::wstring::npos) return true;
  return false;
}

TEST(DesignerShellShipped, ImageListDataKeepsItsBytesWhenSavedAgain) {
  const TIdeRun on = RunBds(L"ImageListDataOn", L"");
  EXPECT_TRUE(AboutLists(on, L"applied: Fix streaming of TImageList [IDE.ImageList.Write]"));
  // Five images: two rows of four in the bitmap, so nine slots; step 4.
  EXPECT_EQ(on.Lines(L"IMAGELIST-DATA "),
            std::vector<std::wstring>{L"images=5 bytes=8274 capacity=9,9,9 step=4,4,4 stable=1 pixels=1"});
  const TIdeRun off = RunBds(L"ImageListDataOff", L"IDE.ImageList.Write");
  EXPECT_FALSE(AboutLists(off, L"[IDE.ImageList.Write]"));
  EXPECT_EQ(off.Lines(L"IMAGELIST-DATA "),
            std::vector<std::wstring>{L"images=5 bytes=8274 capacity=8,9,10 step=4,8,12 stable=0 pixels=1"});
}

} // namespace
