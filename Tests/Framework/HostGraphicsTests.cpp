// The host graphics library as patches call it, on the stand-in vcl150.bpl:
// the calls bound from a plan's sites make, size, fill, make dormant, empty
// and free a bitmap the host's way, counted in live bitmap handles.
#include <gtest/gtest.h>

#include <windows.h>

#include "Framework/HostGraphics.h"
#include "Framework/PatchPlan.h"
#include "TestPaths.h"

using namespace Quillmend;

namespace {

using TLiveHandles = int(__stdcall*)();
using TGetPixel = int32_t QM_REGISTER (*)(void* canvas, int32_t x, int32_t y);

} // namespace

TEST(HostGraphics, ABitmapIsMadeSizedFilledMadeDormantEmptiedAndFreedTheHostsWay) {
  ASSERT_TRUE(LoadLibraryW((BuildDirectory() + L"\\host\\rtl150.bpl").c_str()));
  HMODULE vcl = LoadLibraryW((BuildDirectory() + L"\\host\\vcl150.bpl").c_str());
  ASSERT_TRUE(vcl);
  auto live = reinterpret_cast<TLiveHandles>(reinterpret_cast<void*>(GetProcAddress(vcl, "VclLiveBitmapHandles")));
  auto pixel = reinterpret_cast<TGetPixel>(reinterpret_cast<void*>(GetProcAddress(vcl, "@Graphics@TCanvas@GetPixel$qqrii")));
  TPatchPlan plan(L"Test.HostGraphics", L"binds the host graphics library");
  const THostGraphicsSites sites = DeclareHostGraphics(plan);
  const TPlanVerdict verdict = DryRunPlan(plan);
  ASSERT_TRUE(verdict.Applies) << std::string(verdict.Reason.begin(), verdict.Reason.end());
  BindHostGraphics(verdict.Values, sites);

  const int base = live();
  void* bitmap = NewHostBitmap();
  EXPECT_EQ(HostGraphicWidth(bitmap), 0);
  HostSetSize(bitmap, 3, 2);
  EXPECT_EQ(HostGraphicWidth(bitmap), 3);
  EXPECT_EQ(HostGraphicHeight(bitmap), 2);
  EXPECT_EQ(live(), base + 1);
  HostSetBrushColor(HostBitmapCanvas(bitmap), 0x0000FF);
  HostFillRect(HostBitmapCanvas(bitmap), THostRect{0, 0, 3, 2});
  HostDormant(bitmap);
  EXPECT_EQ(live(), base);  // the image kept in memory, the handle released
  EXPECT_EQ(HostGraphicWidth(bitmap), 3);
  EXPECT_EQ(pixel(HostBitmapCanvas(bitmap), 2, 1), 0x0000FF);  // drawing brings the image back
  EXPECT_EQ(live(), base + 1);
  HostAssign(bitmap, nullptr);
  EXPECT_EQ(HostGraphicWidth(bitmap), 0);
  EXPECT_EQ(live(), base);
  HBITMAP handle = CreateBitmap(4, 4, 1, 32, nullptr);
  HostSetBitmapHandle(bitmap, handle);  // the bitmap owns it now
  EXPECT_EQ(HostGraphicWidth(bitmap), 4);
  HostFree(bitmap);
  HostFree(nullptr);
  EXPECT_EQ(live(), base);
}
