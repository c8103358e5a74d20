// PointFromEdPos with the pack: a nil control, a control without a view and
// an access violation inside the host's routine answer (0, 0); another host
// exception passes; a control with a view gets the host's point. Without
// the pack the first three fault.
#include <gtest/gtest.h>

#include "Common/HostGuard.h"
#include "Common/HostRtl.h"
#include "EditorStandIns.h"

namespace {

struct TPointCase {
  const char* Name;
  int Control;  // 0: nil, 1: without a view, 2: with a view, 3: with a view field pointing nowhere
  int Line;
  const char* Host;     // the host's answer, or what the guard saw
  const char* Patched;
};

const TPointCase PointCases[] = {
    {"nil control", 0, 5, "EAccessViolation", "0,0"},
    {"no view", 1, 5, "EAccessViolation", "0,0"},
    {"view freed", 3, 5, "EAccessViolation", "0,0"},
    {"view", 2, 7, "64,64", "64,64"},
    {"invalid position", 2, 0, "Exception: Invalid editor position", "Exception: Invalid editor position"},
};

std::string Point(const TPointCase& c) {
  auto create = EditorStandIns::CoreIdeExport<EditorControlDriver::CreateFn>(EditorControlDriver::Export::Create);
  void* control = c.Control == 0 ? nullptr : create(c.Control != 1, 3, 2);
  if (c.Control == 3) *reinterpret_cast<uintptr_t*>(static_cast<char*>(control) + 0x2E4) = 0x40;
  std::string point;
  QmHost::HostExceptionReport report;
  if (!QmHost::CallHostGuarded([&] { point = EditorStandIns::PointOf(control, 10, c.Line); }, report,
                               QmHost::LoadedHostRtl())) {
    const std::wstring text = report.Text();
    point = std::string(text.begin(), text.end());
    if (point.rfind("EAccessViolation", 0) == 0) point = "EAccessViolation";
  }
  if (c.Control == 3) *reinterpret_cast<uintptr_t*>(static_cast<char*>(control) + 0x2E4) = 0;
  return point;
}

TEST(EditorParserCnWizardsAV, PointsOfControlsWithoutViewsAreTheOrigin) {
  EditorStandIns::Load();
  for (const TPointCase& c : PointCases) EXPECT_EQ(Point(c), c.Host) << c.Name;
  EditorStandIns::Install();
  ASSERT_EQ(EditorStandIns::Status(L"IDE.EditorControl.CnWizardsAV"), L"applied") << EditorStandIns::Reasons();
  for (const TPointCase& c : PointCases) EXPECT_EQ(Point(c), c.Patched) << c.Name;
  // HideBlock, whose start gave the view field, still hides the view's block.
  auto create = EditorStandIns::CoreIdeExport<EditorControlDriver::CreateFn>(EditorControlDriver::Export::Create);
  auto hide = EditorStandIns::CoreIdeExport<EditorControlDriver::HideBlockFn>(EditorControlDriver::Export::HideBlock);
  auto visible = EditorStandIns::CoreIdeExport<EditorControlDriver::BlockVisibleFn>(EditorControlDriver::Export::BlockVisible);
  void* control = create(1, 1, 1);
  hide(control);
  EXPECT_EQ(visible(control), 0);
}

} // namespace
