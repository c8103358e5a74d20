// GDI handles of the visual component library: tool bars, painted tab set
// scrollers and image lists (16 x 16, then three sizes mixed) are made, the
// live bitmap handles of the process counted while they exist, and freed.
// Journal, one line per batch: "GDI-BITMAPS <what> count=<n> before=<handles
// before the batch was made> live=<handles while it exists>" (-1: not
// counted); "start" before anything is made and "freed" at the end have
// before = live.
#include <windows.h>

#include <vector>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "vcl150/VclDriver.h"

namespace QmHost {

namespace {

bool ParseCount(const std::wstring& text, int& value) {
  wchar_t* end = nullptr;
  value = int(wcstol(text.c_str(), &end, 10));
  return !text.empty() && *end == 0 && value >= 1 && value <= 100000;
}

int RunGdiHandles(HostApp& app, const std::vector<std::wstring>& args) {
  int count = 0;
  if (args.size() != 1 || !ParseCount(args[0], count)) {
    app.Log(L"WORKLOAD-ERROR gdihandles: expected <count>");
    return 2;
  }
  HMODULE vcl = GetModuleHandleW(L"vcl150.bpl");
  VclDriver::Driver vclDriver;
  if (!vcl || !vclDriver.Bind(vcl)) {
    app.Log(L"WORKLOAD-ERROR gdihandles: vcl150.bpl or its driver exports are missing");
    return 2;
  }
  const VclDriver::Driver& d = vclDriver;
  int before = d.LiveBitmapHandles();
  auto log = [&](const wchar_t* what) {
    app.Log(std::wstring(L"GDI-BITMAPS ") + what + L" count=" + std::to_wstring(count) + L" before=" +
            std::to_wstring(before) + L" live=" + std::to_wstring(d.LiveBitmapHandles()));
  };
  // What the controls paint on: a screen-sized memory context.
  HDC dc = CreateCompatibleDC(nullptr);
  void* target = d.NewBitmap(256, 64, 0xFFFFFF);
  int width = 0, height = 0;
  HGDIOBJ old = SelectObject(dc, d.BitmapState(target, &width, &height));
  std::vector<void*> objects;
  auto freeAll = [&] {
    for (void* object : objects) d.Free(object);
    objects.clear();
    before = d.LiveBitmapHandles();
  };
  before = d.LiveBitmapHandles();
  log(L"start");
  for (int i = 0; i < count; ++i) {
    objects.push_back(d.NewToolBar(nullptr));
    d.PaintControl(objects.back(), dc);
  }
  log(L"toolbars");
  freeAll();
  for (int i = 0; i < count; ++i) {
    objects.push_back(d.NewScroller(34, 17, i % 11));
    d.PaintControl(objects.back(), dc);
  }
  log(L"scrollers-painted");
  freeAll();
  for (int i = 0; i < count; ++i) {
    objects.push_back(d.NewImageList(16, 16));
    d.ImageListDraw(objects.back(), dc, 0, 0, d.ImageListAddSample(objects.back(), unsigned(i)));
  }
  log(L"imagelists-16x16");
  freeAll();
  const int sizes[3] = {16, 24, 32};
  for (int i = 0; i < count; ++i) objects.push_back(d.NewImageList(sizes[i % 3], sizes[i % 3]));
  log(L"imagelists-3-sizes");
  freeAll();
  log(L"freed");
  SelectObject(dc, old);
  DeleteDC(dc);
  d.Free(target);
  return 0;
}

const WorkloadRegistration kGdiHandles{
    L"gdihandles", RunGdiHandles,
    L"gdihandles <count>  live bitmap handles of <count> tool bars, painted scrollers and image lists"};

} // namespace

} // namespace QmHost
