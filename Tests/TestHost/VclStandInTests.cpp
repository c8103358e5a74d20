// The stand-in component library vcl150.bpl in the test process and in
// bds.exe: its class records over rtl150's TObject, ownership, assignment,
// the process's live bitmap handle count, and the IDE without it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "BdsRun.h"
#include "Common/HostClass.h"
#include "Common/HostGuard.h"
#include "Common/HostRtl.h"
#include "vcl150/VclDriver.h"

using namespace QmHost;

namespace {

HMODULE Vcl150() {
  static HMODULE module = [] {
    LoadLibraryW((QmHostTest::HostDir() + L"rtl150.bpl").c_str());
    return LoadLibraryW((QmHostTest::HostDir() + L"vcl150.bpl").c_str());
  }();
  return module;
}

const VclDriver::Driver& Driver() {
  static VclDriver::Driver driver;
  static bool bound = driver.Bind(Vcl150());
  EXPECT_TRUE(bound);
  return driver;
}

void* ClassExport(const char* name) { return reinterpret_cast<void*>(GetProcAddress(Vcl150(), name)); }

std::string ClassName(const void* classRef) {
  const auto* name = static_cast<const unsigned char*>(VmtSlot(classRef, kVmtClassName));
  return std::string(name + 1, name + 1 + name[0]);
}

template <class Fn>
Fn Export(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(Vcl150(), name)));
}

// TPersistent and TComponent are the run-time's.
template <class Fn>
Fn RuntimeExport(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"rtl150.bpl"), name)));
}

} // namespace

TEST(Vcl150, ClassesDescendFromTheRunTimesTObject) {
  const struct {
    const char* Export;
    const char* Chain;  // class names up to the root
    int InstanceSize;
  } rows[] = {
      {"@Comctrls@TToolBar@", "TToolBar TCustomControl TControl TComponent TPersistent TObject", 0x304},
      {"@Tabs@TScroller@", "TScroller TCustomControl TControl TComponent TPersistent TObject", 0x29C},
      {"@Imglist@TCustomImageList@", "TCustomImageList TComponent TPersistent TObject", 0x5C},
      {"@Graphics@TBitmap@", "TBitmap TGraphic TPersistent TObject", 32},
      {"@Graphics@TBrush@", "TBrush TGraphicsObject TPersistent TObject", 16},
  };
  ASSERT_NE(Vcl150(), nullptr);
  const void* rtlObject = reinterpret_cast<const void*>(GetProcAddress(GetModuleHandleW(L"rtl150.bpl"), "@System@TObject@"));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Export);
    const void* classRef = ClassExport(row.Export);
    ASSERT_NE(classRef, nullptr);
    EXPECT_EQ(int(reinterpret_cast<intptr_t>(VmtSlot(classRef, kVmtInstanceSize))), row.InstanceSize);
    std::string chain;
    const void* root = nullptr;
    for (const void* c = classRef; c; c = HostParentClass(c)) {
      chain += (chain.empty() ? "" : " ") + ClassName(c);
      root = c;
    }
    EXPECT_EQ(chain, row.Chain);
    EXPECT_EQ(root, rtlObject);
  }
}

// Owned components go with their owner; nil cannot be assigned to a plain
// persistent object, and a bitmap assigned to a bitmap is copied.
TEST(Vcl150, OwnershipAndAssignment) {
  const VclDriver::Driver& d = Driver();
  using TCreate = void*(QM_HOST_REGISTER*)(void* classRef, int alloc, void* owner);
  using TAssign = void(QM_HOST_REGISTER*)(void* self, void* source);
  auto componentCreate = RuntimeExport<TCreate>("@Classes@TComponent@$bctr$qqrp18Classes@TComponent");
  auto assign = RuntimeExport<TAssign>("@Classes@TPersistent@Assign$qqrp19Classes@TPersistent");
  void* componentClass = RuntimeExport<void*>("@Classes@TComponent@");
  const int base = d.LiveBitmapHandles();
  void* owner = componentCreate(componentClass, 1, nullptr);
  d.NewToolBar(owner);
  d.NewToolBar(owner);
  EXPECT_EQ(d.LiveBitmapHandles(), base + 2);
  d.Free(owner);  // the tool bars and their bitmaps go too
  EXPECT_EQ(d.LiveBitmapHandles(), base);

  HostExceptionReport report;
  void* plain = componentCreate(componentClass, 1, nullptr);
  EXPECT_FALSE(CallHostGuarded([&] { assign(plain, nullptr); }, report, LoadedHostRtl()));
  EXPECT_EQ(report.Text(), L"EConvertError: Cannot assign a nil to a TComponent");
  d.Free(plain);

  void* red = d.NewBitmap(5, 3, 0x0000FF);
  void* copy = d.NewBitmap(1, 1, 0);
  using TPixel = int32_t(QM_HOST_REGISTER*)(void* canvas, int32_t x, int32_t y);
  using TCanvas = void*(QM_HOST_REGISTER*)(void* bitmap);
  reinterpret_cast<TAssign>(VmtSlot(*static_cast<void**>(copy), 8))(copy, red);  // slot 2: Assign
  int width = 0, height = 0;
  d.BitmapState(copy, &width, &height);
  EXPECT_EQ(width, 5);
  EXPECT_EQ(height, 3);
  auto canvas = Export<TCanvas>("@Graphics@TBitmap@GetCanvas$qqrv");
  EXPECT_EQ(Export<TPixel>("@Graphics@TCanvas@GetPixel$qqrii")(canvas(copy), 4, 2), 0x0000FF);
  d.Free(red);
  d.Free(copy);
  EXPECT_EQ(d.LiveBitmapHandles(), base);
}

// Bitmaps count wherever in the process they are made and until they are
// deleted; other objects and failed deletions change nothing.
TEST(Vcl150, LiveBitmapHandlesOfTheWholeProcess) {
  const VclDriver::Driver& d = Driver();
  const int base = d.LiveBitmapHandles();
  ASSERT_GE(base, 0);
  HDC screen = GetDC(nullptr);
  HBITMAP compatible = CreateCompatibleBitmap(screen, 8, 8);
  HBITMAP plain = CreateBitmap(4, 4, 1, 32, nullptr);
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 4, 4, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(d.LiveBitmapHandles(), base + 3);
  HBRUSH brush = CreateSolidBrush(0);
  DeleteObject(brush);
  EXPECT_EQ(d.LiveBitmapHandles(), base + 3);
  DeleteObject(plain);
  DeleteObject(plain);  // already gone
  EXPECT_EQ(d.LiveBitmapHandles(), base + 2);
  DeleteObject(compatible);
  DeleteObject(section);
  EXPECT_EQ(d.LiveBitmapHandles(), base);
}

TEST(Vcl150, AnIdeWithoutItLacksItsWorkload) {
  QmHostTest::TestRoot root(L"QmTest-OmitVcl");
  QmHostTest::BdsResult r = QmHostTest::RunBds(root.RegKey(), L"-omit vcl150.bpl -run gdihandles 1");
  EXPECT_EQ(r.exitCode, 2u);
  EXPECT_TRUE(r.Has(L"WORKLOAD-ERROR gdihandles: vcl150.bpl or its driver exports are missing"));
  QmHostTest::BdsResult present = QmHostTest::RunBds(root.RegKey(), L"-run gdihandles 2");
  EXPECT_EQ(present.exitCode, 0u);
  EXPECT_EQ(present.Starting(L"GDI-BITMAPS ").size(), 6u);
}
