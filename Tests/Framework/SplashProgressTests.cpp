// The splash progress against the stand-in IDE packages in the test
// process: the two package loads redirected and counted (a raising
// constructor still counts, a raising LoadDesignPackage does not), the
// label made once on the splash form (or one of that name reused, or none
// without a form), its caption and bar, and the uninstall (by the label
// going with its form, then again) putting both routines back.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Framework/SplashLabel.h"
#include "Framework/SplashProgress.h"
#include "SplashHost.h"
#include "coreide150/DesignPackagesDriver.h"

using namespace Quillmend;

namespace {

const std::wstring Title = L"Quillmend XE 5.7\r\n";
constexpr uint32_t Background = 0x204080;  // 0xRRGGBB of the splash background
constexpr uint32_t Tinted = 0x000EFF;      // blue + 255, green and red − 50
constexpr uint32_t Grey = 0x808080;

struct TRoutineBytes {
  std::vector<uint8_t> Create, Load;
};
TRoutineBytes RoutineStarts() {
  auto bytes = [](const wchar_t* module, const char* name) {
    const auto* at = reinterpret_cast<const uint8_t*>(GetProcAddress(GetModuleHandleW(module), name));
    return std::vector<uint8_t>(at, at + 8);
  };
  return {bytes(L"coreide150.bpl", DesignPackagesDriver::Export::Create),
          bytes(L"delphicoreide150.bpl", DesignPackagesDriver::Export::LoadDesignPackage)};
}

class SplashProgress : public testing::Test {
protected:
  void TearDown() override {
    SplashHost::CloseSplash();
    UninstallSplashProgress();
    SplashHost::CleanUp();
  }
};

TEST_F(SplashProgress, EachLoadAdvancesTheLabelToAHundred) {
  SplashHost::Prepare(5, 4);  // the fifth is listed without a file
  const TRoutineBytes before = RoutineStarts();
  InstallSplashProgress();
  ASSERT_EQ(SplashProgressHookReason(), L"");
  EXPECT_NE(RoutineStarts().Create, before.Create);
  EXPECT_NE(RoutineStarts().Load, before.Load);

  void* splash = SplashHost::ShowSplash(false);
  const auto& packages = SplashHost::Packages();
  // Before the expert entry nothing is listed: the label shows no progress.
  EXPECT_EQ(SplashHost::LoadViaCreate(packages[0]), "");
  EXPECT_FALSE(SplashExpectedPackages()->Built());
  ASSERT_NE(SplashProgressLabel(), nullptr);
  EXPECT_FALSE(SplashLabelState(SplashProgressLabel()).ShowProgress);

  SplashHost::EnterWizard();
  UpdateSplashProgress(L"");
  ASSERT_TRUE(SplashExpectedPackages()->Built());
  EXPECT_EQ(SplashExpectedPackages()->Expected(), 4) << "the one loaded already does not count";
  void* label = SplashProgressLabel();
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(SplashProgressForm(), splash);
  EXPECT_TRUE(IsSplashLabel(label));
  EXPECT_EQ(SplashHost::Caption(label), Title);
  const auto state = SplashHost::LabelState(label);
  EXPECT_EQ(state.Parent, splash);
  EXPECT_EQ(state.Alignment, LabelsDriver::taRightJustify);
  EXPECT_TRUE(state.Transparent);
  EXPECT_TRUE(state.AutoSize);
  EXPECT_EQ(state.Anchors, LabelsDriver::akTop | LabelsDriver::akRight);
  EXPECT_EQ(state.Top, 4);
  EXPECT_EQ(state.Left, LabelsDriver::SplashWidth - state.Width - 8);
  EXPECT_FALSE(SplashLabelState(label).ShowProgress);

  const struct {
    int Package;
    bool ViaCreate;
    bool Raises;
    int32_t Percent;
  } steps[] = {
      {1, true, false, 25},
      {1, false, false, 25},   // loaded again: already taken off
      {2, false, false, 50},
      {4, false, true, 50},    // LoadDesignPackage raised: not counted
      {4, true, true, 75},     // the constructor raised: counted all the same
      {3, true, false, 100},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(testing::Message() << "package " << step.Package << (step.ViaCreate ? " via Create" : " via Load"));
    const std::wstring& path = packages[size_t(step.Package)];
    const std::string raised =
        step.ViaCreate ? SplashHost::LoadViaCreate(path) : SplashHost::LoadViaLoadDesignPackage(path);
    EXPECT_EQ(!raised.empty(), step.Raises) << raised;
    const TSplashLabelState s = SplashLabelState(label);
    EXPECT_EQ(s.Percent, step.Percent);
    EXPECT_EQ(s.Position, step.Percent);
    EXPECT_TRUE(s.ShowProgress);
    EXPECT_EQ(SplashHost::Caption(label), Title + std::to_wstring(step.Percent) + L"%");
  }
  EXPECT_EQ(SplashProgressLabel(), label) << "one label, made once";
}

TEST_F(SplashProgress, ClosingTheSplashUninstallsAndUninstallingAgainIsHarmless) {
  SplashHost::Prepare(3);
  const TRoutineBytes before = RoutineStarts();
  InstallSplashProgress();
  SplashHost::ShowSplash(false);
  SplashHost::EnterWizard();
  EXPECT_EQ(SplashHost::LoadViaCreate(SplashHost::Packages()[0]), "");
  ASSERT_NE(SplashProgressLabel(), nullptr);

  SplashHost::CloseSplash();  // the label goes with its form
  EXPECT_FALSE(SplashProgressInstalled());
  EXPECT_EQ(SplashExpectedPackages(), nullptr);
  EXPECT_EQ(SplashProgressLabel(), nullptr);
  EXPECT_EQ(RoutineStarts().Create, before.Create);
  EXPECT_EQ(RoutineStarts().Load, before.Load);

  UninstallSplashProgress();  // the unit's finalization, later
  UpdateSplashProgress(SplashHost::Packages()[1]);
  EXPECT_EQ(SplashHost::LoadViaCreate(SplashHost::Packages()[1]), "");
  EXPECT_EQ(SplashHost::LoadViaLoadDesignPackage(SplashHost::Packages()[2]), "");
  EXPECT_FALSE(SplashProgressInstalled());

  InstallSplashProgress();  // a later load of the library installs afresh
  EXPECT_TRUE(SplashProgressInstalled());
  EXPECT_EQ(SplashProgressHookReason(), L"");
  UninstallSplashProgress();
  EXPECT_EQ(RoutineStarts().Create, before.Create);
}

TEST_F(SplashProgress, WithoutASplashFormTheListIsKeptWithoutALabel) {
  SplashHost::Prepare(2);
  InstallSplashProgress();
  SplashHost::EnterWizard();
  EXPECT_EQ(SplashHost::LoadViaLoadDesignPackage(SplashHost::Packages()[0]), "");
  ASSERT_TRUE(SplashExpectedPackages()->Built());
  EXPECT_EQ(SplashExpectedPackages()->Expected(), 1);
  EXPECT_EQ(SplashHost::LoadViaLoadDesignPackage(SplashHost::Packages()[1]), "");
  EXPECT_TRUE(SplashExpectedPackages()->Remaining().empty()) << "taken off without a label";
  EXPECT_EQ(SplashProgressLabel(), nullptr);
  EXPECT_EQ(SplashProgressForm(), nullptr);
}

TEST_F(SplashProgress, ALabelOfThatNameIsReusedAndTellsTheProgressInItsCaption) {
  SplashHost::Prepare(2);
  void* splash = SplashHost::ShowSplash(false);
  void* existing = SplashHost::NewPlainLabel(splash);
  InstallSplashProgress();
  SplashHost::EnterWizard();
  UpdateSplashProgress(L"");
  EXPECT_EQ(SplashProgressLabel(), existing);
  EXPECT_FALSE(IsSplashLabel(existing));
  EXPECT_EQ(SplashHost::LoadViaCreate(SplashHost::Packages()[0]), "");
  EXPECT_EQ(SplashHost::Caption(existing), Title + L"50%");
  void* children[4] = {};
  auto count = reinterpret_cast<LabelsDriver::ControlChildrenFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"vcl150.bpl"), LabelsDriver::Export::ControlChildren)));
  EXPECT_EQ(count(splash, children, 4), 1) << "no second label";
}

TEST_F(SplashProgress, PaintShowsTheCaptionAndATintedBarUpToThePosition) {
  SplashHost::Prepare(4);
  SplashHost::ShowSplash(false);
  InstallSplashProgress();
  SplashHost::EnterWizard();
  UpdateSplashProgress(L"");
  void* label = SplashProgressLabel();
  ASSERT_NE(label, nullptr);
  // Before a position is set: the title only, no bar.
  auto state = SplashHost::LabelState(label);
  std::vector<uint32_t> pixels = SplashHost::PaintOnBackground(label, state.Width, state.Height);
  EXPECT_EQ(std::count(pixels.begin(), pixels.end(), Grey), 0);
  EXPECT_EQ(SplashLabelState(label).Bitmap, nullptr);

  EXPECT_EQ(SplashHost::LoadViaCreate(SplashHost::Packages()[0]), "");
  EXPECT_EQ(SplashHost::LoadViaCreate(SplashHost::Packages()[1]), "");
  ASSERT_EQ(SplashLabelState(label).Position, 50);
  state = SplashHost::LabelState(label);  // two lines now
  const int width = state.Width, height = state.Height;
  ASSERT_GE(height, 28);
  pixels = SplashHost::PaintOnBackground(label, width, height);
  auto at = [&](int x, int y) { return pixels[size_t(y * width + x)]; };
  int white = 0;
  for (uint32_t p : pixels) white += p == 0xFFFFFF;
  EXPECT_GT(white, 20) << "the caption in white";
  // Font height 12: the bar's outline starts at row 19, 8 rows high.
  EXPECT_EQ(at(0, 18), Background);
  EXPECT_EQ(at(0, 19), Grey);
  EXPECT_EQ(at(0, 26), Grey);
  EXPECT_EQ(at(0, 27), Background);
  int right = width - 1;
  while (right > 0 && at(right, 19) != Grey) --right;
  ASSERT_GT(right, 10) << "the outline's right edge";
  const int inner = right - 1;  // inner width: columns 1 .. right - 1
  const int filled = inner * 50 / 100;
  for (int y = 20; y <= 25; ++y) {
    EXPECT_EQ(at(1, y), Tinted);
    EXPECT_EQ(at(filled, y), Tinted);
    EXPECT_EQ(at(filled + 1, y), Background);
    EXPECT_EQ(at(right - 1, y), Background);
  }
  EXPECT_NE(SplashLabelState(label).Bitmap, nullptr);
}

// A component library without the label's constructor: the redirections
// are not installed (the reason names it), not one byte is written, and the
// host's loads work as they did.
TEST_F(SplashProgress, AHostWithoutTheLabelKeepsItsRoutines) {
  SplashHost::LoadVclVariant(L"nolabel");
  SplashHost::Prepare(2);
  const TRoutineBytes before = RoutineStarts();
  InstallSplashProgress();
  EXPECT_EQ(SplashProgressHookReason().rfind(L"TCustomLabel.Create: export not found", 0), 0u)
      << std::string(SplashProgressHookReason().begin(), SplashProgressHookReason().end());
  EXPECT_EQ(RoutineStarts().Create, before.Create);
  EXPECT_EQ(RoutineStarts().Load, before.Load);
  SplashHost::ShowSplash(false);
  SplashHost::EnterWizard();
  EXPECT_EQ(SplashHost::LoadViaCreate(SplashHost::Packages()[0]), "");
  EXPECT_EQ(SplashHost::LoadViaLoadDesignPackage(SplashHost::Packages()[1]), "");
  EXPECT_EQ(SplashProgressLabel(), nullptr);
}

TEST(SplashLabelParts, CaptionAndTint) {
  EXPECT_EQ(SplashCaption(0, false), L"Quillmend XE 5.7\r\n");
  EXPECT_EQ(SplashCaption(42, true), L"Quillmend XE 5.7\r\n42%");
  const struct {
    uint8_t In[3], Out[3];  // blue, green, red
  } rows[] = {
      {{0x80, 0x40, 0x20}, {0xFF, 0x0E, 0x00}},
      {{0x00, 0x32, 0x33}, {0xFF, 0x00, 0x01}},
      {{0xFF, 0xFF, 0xFF}, {0xFF, 0xCD, 0xCD}},
      {{0x01, 0x31, 0x00}, {0xFF, 0x00, 0x00}},
  };
  for (const auto& row : rows) {
    uint8_t pixel[3];
    std::memcpy(pixel, row.In, 3);
    TintPixels(pixel, 1);
    EXPECT_EQ(std::vector<uint8_t>(pixel, pixel + 3), std::vector<uint8_t>(row.Out, row.Out + 3));
  }
}

}  // namespace
