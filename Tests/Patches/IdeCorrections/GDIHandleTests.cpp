// The GDI handle patches on the stand-in component library, counted in live
// bitmap handles of the test process: image lists share one bitmap per size
// through the cache (resized lists move, lists from before the pack join,
// the last one frees everything, four threads at once, a raising host call
// leaves the lock free); tool bars share one dormant bitmap; and what the
// library's unload must not break: tool bars and lists still holding shared
// bitmaps when the pack's unit is finalized, and a write the system refuses.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "Common/HostGuard.h"
#include "Common/HostRtl.h"
#include "Framework/PatchPlan.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/CodeTransaction.h"
#include "Patches/IdeCorrections/GDIResourceReduction.h"
#include "Patches/IdeCorrections/ImageListBitmapCache.h"
#include "StandIns.h"

using Quillmend::TImageListBitmapCache;

namespace {

const VclDriver::Driver& Vcl() { return StandIns::Vcl(); }
int Live() { return Vcl().LiveBitmapHandles(); }

void LoadAndInstall() {
  StandIns::Load();
  StandIns::Install();
  ASSERT_EQ(StandIns::Status(L"IDE.GDIHandles.ToolBar"), L"applied");
  ASSERT_EQ(StandIns::Status(L"IDE.GDIHandles.ImageList"), L"applied");
  ASSERT_GE(Live(), 0) << "bitmap handles are not counted";
}

int BitmapWidth(void* bitmap) {
  int width = 0, height = 0;
  Vcl().BitmapState(bitmap, &width, &height);
  return width;
}

bool Contains(const std::vector<std::wstring>& reports, const std::wstring& text) {
  for (const std::wstring& report : reports)
    if (report == text) return true;
  return false;
}

} // namespace

TEST(ImageListBitmapCache, TwoListsOfOneSizeShareOneBitmapTillBothAreGone) {
  LoadAndInstall();
  const int base = Live();
  void* a = Vcl().NewImageList(16, 16);
  void* b = Vcl().NewImageList(16, 16);
  void* shared = Vcl().ImageListBitmap(a);
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(Vcl().ImageListBitmap(b), shared);
  EXPECT_EQ(TImageListBitmapCache::RefCountOf(shared), 2);
  EXPECT_EQ(Vcl().ImageListMask(a), nullptr);  // the list works without its second bitmap
  EXPECT_EQ(Live(), base + 1);
  Vcl().Free(a);
  EXPECT_EQ(TImageListBitmapCache::RefCountOf(shared), 1);
  EXPECT_EQ(BitmapWidth(shared), 16);
  Vcl().Free(b);
  EXPECT_EQ(TImageListBitmapCache::Count(), 0);
  EXPECT_EQ(TImageListBitmapCache::Users(), 0);
  EXPECT_EQ(Live(), base);
}

TEST(ImageListBitmapCache, AResizeMovesAListToTheBitmapOfItsNewSize) {
  LoadAndInstall();
  const int base = Live();
  void* a = Vcl().NewImageList(16, 16);
  void* b = Vcl().NewImageList(16, 16);
  void* sixteen = Vcl().ImageListBitmap(a);
  Vcl().ImageListSetSize(a, 24, 24);
  void* twentyFour = Vcl().ImageListBitmap(a);
  EXPECT_NE(twentyFour, sixteen);
  EXPECT_EQ(BitmapWidth(twentyFour), 24);
  EXPECT_EQ(TImageListBitmapCache::RefCountOf(sixteen), 1);
  EXPECT_EQ(TImageListBitmapCache::RefCountOf(twentyFour), 1);
  EXPECT_EQ(Live(), base + 2);
  Vcl().ImageListSetSize(b, 24, 24);  // the last 16 x 16 user leaves: that bitmap goes
  EXPECT_EQ(Vcl().ImageListBitmap(b), twentyFour);
  EXPECT_EQ(TImageListBitmapCache::Count(), 1);
  EXPECT_EQ(Live(), base + 1);
  Vcl().Free(a);
  Vcl().Free(b);
  EXPECT_EQ(Live(), base);
}

TEST(ImageListBitmapCache, AListFromBeforeThePackGetsACachedBitmapOnReallocation) {
  StandIns::Load();
  const int base = Live();
  void* list = Vcl().NewImageList(16, 16);
  EXPECT_EQ(TImageListBitmapCache::RefCountOf(Vcl().ImageListBitmap(list)), 0);
  EXPECT_NE(Vcl().ImageListMask(list), nullptr);
  EXPECT_EQ(Live(), base + 2);  // its own bitmap and mask
  StandIns::Install();
  const int installed = Live();
  Vcl().ImageListSetSize(list, 20, 20);
  void* cached = Vcl().ImageListBitmap(list);
  EXPECT_EQ(TImageListBitmapCache::RefCountOf(cached), 1);
  EXPECT_EQ(BitmapWidth(cached), 20);
  EXPECT_EQ(Vcl().ImageListMask(list), nullptr);
  EXPECT_EQ(TImageListBitmapCache::Users(), 1);
  EXPECT_EQ(Live(), installed - 1);  // two private bitmaps gone, one cached
  StandIns::TCanvasTarget target(24, 24);
  Vcl().ImageListDraw(list, target.Dc(), 0, 0, Vcl().ImageListAddSample(list, 4));
  EXPECT_NE(target.Pixel(15, 15), 0xFFFFFFu);
  Vcl().Free(list);
  EXPECT_EQ(TImageListBitmapCache::Users(), 0);
  EXPECT_EQ(Live(), installed - 2 + 1);  // the canvas target's own DIB is still there
}

TEST(ImageListBitmapCache, TheLastUserFreesEveryCachedBitmap) {
  LoadAndInstall();
  const int base = Live();
  std::vector<void*> lists;
  for (int size : {16, 16, 24, 32, 32}) lists.push_back(Vcl().NewImageList(size, size));
  EXPECT_EQ(TImageListBitmapCache::Count(), 3);
  EXPECT_GE(TImageListBitmapCache::Length(), 3);
  EXPECT_EQ(TImageListBitmapCache::Users(), 5);
  EXPECT_EQ(Live(), base + 3);
  for (void* list : lists) Vcl().Free(list);
  EXPECT_EQ(TImageListBitmapCache::Users(), 0);
  EXPECT_EQ(TImageListBitmapCache::Count(), 0);
  EXPECT_EQ(TImageListBitmapCache::Length(), 0);
  EXPECT_EQ(Live(), base);
}

namespace {

DWORD WINAPI MakeAndFreeLists(void* arg) {
  const int thread = int(reinterpret_cast<intptr_t>(arg));
  const int sizes[] = {16, 24, 32};
  for (int i = 0; i < 150; ++i) {
    void* list = Vcl().NewImageList(sizes[(i + thread) % 3], sizes[(i + thread) % 3]);
    if (i % 10 == 0) Vcl().ImageListAddSample(list, unsigned(i));
    if (i % 7 == 0) Vcl().ImageListSetSize(list, sizes[i % 3], sizes[i % 3]);
    Vcl().Free(list);
  }
  return 0;
}

} // namespace

TEST(ImageListBitmapCache, ListsMadeAndFreedFromFourThreads) {
  LoadAndInstall();
  const int base = Live();
  HANDLE threads[4];
  for (int t = 0; t < 4; ++t)
    threads[t] = CreateThread(nullptr, 0, &MakeAndFreeLists, reinterpret_cast<void*>(intptr_t(t)), 0, nullptr);
  ASSERT_EQ(WaitForMultipleObjects(4, threads, TRUE, 60000), WAIT_OBJECT_0);
  for (HANDLE thread : threads) CloseHandle(thread);
  EXPECT_EQ(TImageListBitmapCache::Users(), 0);
  EXPECT_EQ(TImageListBitmapCache::Count(), 0);
  EXPECT_EQ(Live(), base);
}

namespace {

DWORD WINAPI MakeAndFreeOneList(void*) {
  Vcl().Free(Vcl().NewImageList(40, 40));
  return 0;
}

} // namespace

TEST(ImageListBitmapCache, AHostBitmapCallThatRaisesLeavesTheLockFree) {
  LoadAndInstall();
  const int base = Live();
  Vcl().FailBitmapHandles(1);
  QmHost::HostExceptionReport report;
  EXPECT_FALSE(QmHost::CallHostGuarded([] { Vcl().NewImageList(40, 40); }, report, QmHost::LoadedHostRtl()));
  EXPECT_EQ(report.Text(), L"EOutOfResources: Out of system resources");
  EXPECT_EQ(TImageListBitmapCache::Count(), 0);
  EXPECT_EQ(Live(), base);  // the bitmap half made went with its handle
  HANDLE other = CreateThread(nullptr, 0, &MakeAndFreeOneList, nullptr, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(other, 20000), WAIT_OBJECT_0) << "the cache's lock was left taken";
  CloseHandle(other);
  EXPECT_EQ(Live(), base);
}

TEST(ToolBarBitmap, ToolBarsShareOneDormantBitmapThatOutlivesThem) {
  StandIns::Load();
  void* before = Vcl().NewToolBar(nullptr);  // its own bitmap, with a handle
  StandIns::Install();
  void* shared = Quillmend::SharedToolBarBitmap;
  ASSERT_NE(shared, nullptr);
  const int base = Live();
  EXPECT_EQ(Vcl().BitmapState(shared, nullptr, nullptr), nullptr) << "made dormant";
  void* a = Vcl().NewToolBar(nullptr);
  void* b = Vcl().NewToolBar(nullptr);
  EXPECT_EQ(Vcl().ToolBarBitmap(a), shared);
  EXPECT_EQ(Vcl().ToolBarBitmap(b), shared);
  EXPECT_EQ(Quillmend::ToolBarsHoldingSharedBitmap(), 2);
  StandIns::TCanvasTarget target(100, 30);
  Vcl().PaintControl(a, target.Dc());
  Vcl().PaintControl(b, target.Dc());
  EXPECT_EQ(Live(), base + 2);  // the shared bitmap's handle and the canvas target
  Vcl().Free(a);
  Vcl().Free(b);
  EXPECT_EQ(Quillmend::SharedToolBarBitmap, shared);
  EXPECT_EQ(Quillmend::ToolBarsHoldingSharedBitmap(), 0);
  EXPECT_GT(BitmapWidth(shared), 0);  // still a live object
  Vcl().Free(before);  // a bar from before the pack frees its own bitmap
  EXPECT_EQ(Live(), base + 1);
}

// The library's unload puts every byte back before its units finalize; a
// tool bar made while the pack was in place holds the shared bitmap, and the
// host's own destructor would free it once per bar.
TEST(ToolBarBitmap, BarsHoldingTheSharedBitmapAtUnloadFreeItOnceWhenTheLastGoes) {
  LoadAndInstall();
  const int base = Live();
  void* a = Vcl().NewToolBar(nullptr);
  void* b = Vcl().NewToolBar(nullptr);
  StandIns::TCanvasTarget target(100, 30);
  Vcl().PaintControl(a, target.Dc());
  Quillmend::UndoAllTransactions();
  EXPECT_TRUE(Contains(Quillmend::UndoReports(), L"IDE.GDIHandles.ToolBar: left in place, still in use"));
  Quillmend::Unit_GDIResourceReduction.Finalize();
  void* shared = Quillmend::SharedToolBarBitmap;
  ASSERT_NE(shared, nullptr);
  Vcl().Free(a);
  EXPECT_EQ(Quillmend::SharedToolBarBitmap, shared);
  Vcl().Free(b);  // a second free of the shared bitmap would raise EInvalidPointer here
  EXPECT_EQ(Quillmend::SharedToolBarBitmap, nullptr);
  EXPECT_EQ(Live(), base + 1);  // the canvas target only
  Quillmend::UndoAllTransactions();
  EXPECT_TRUE(Quillmend::CommittedRanges().empty());
}

TEST(ImageListBitmapCache, ListsUsingTheCacheAtUnloadKeepItsArrayAndLock) {
  LoadAndInstall();
  const int base = Live();
  void* a = Vcl().NewImageList(16, 16);
  void* b = Vcl().NewImageList(16, 16);
  Quillmend::UndoAllTransactions();
  EXPECT_TRUE(Contains(Quillmend::UndoReports(), L"IDE.GDIHandles.ImageList: left in place, still in use"));
  Quillmend::Unit_GDIResourceReduction.Finalize();
  EXPECT_EQ(TImageListBitmapCache::Count(), 1);
  Vcl().Free(a);
  Vcl().Free(b);  // shared by both: freed once, by the cache
  EXPECT_EQ(TImageListBitmapCache::Users(), 0);
  EXPECT_EQ(TImageListBitmapCache::Length(), 0);
  void* later = Vcl().NewImageList(16, 16);  // the patch still in place, the lock still there
  EXPECT_EQ(TImageListBitmapCache::Count(), 1);
  Vcl().Free(later);
  EXPECT_EQ(Live(), base);
  Quillmend::UndoAllTransactions();
  EXPECT_TRUE(Quillmend::CommittedRanges().empty());
}

namespace {

using TWriteProcessMemory = BOOL(WINAPI*)(HANDLE, LPVOID, LPCVOID, SIZE_T, SIZE_T*);
TWriteProcessMemory g_writeProcessMemory = nullptr;
uint8_t* g_refused = nullptr;

// WriteProcessMemory as on a page the system will not write: refused for the range at g_refused.
BOOL WINAPI RefusingWriteProcessMemory(HANDLE process, LPVOID address, LPCVOID buffer, SIZE_T size, SIZE_T* written) {
  auto* at = static_cast<uint8_t*>(address);
  if (at < g_refused + 4 && g_refused < at + size) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  return g_writeProcessMemory(process, address, buffer, size, written);
}

} // namespace

TEST(ToolBarBitmap, AWriteRefusedHalfWayLeavesThePatchFailedAndNothingWritten) {
  StandIns::Load();
  auto* create = static_cast<uint8_t*>(Vcl().PatternSite("ToolBarCreateBitmap"));
  auto* destroy = static_cast<uint8_t*>(Vcl().PatternSite("ToolBarDestroyFrees"));
  const std::vector<uint8_t> createBytes(create, create + 101), destroyBytes(destroy, destroy + 33);
  g_refused = destroy + 29;  // the destructor's call to free the bitmap: the plan's last write
  Quillmend::TPatchPlan refuse(L"Test.RefusedWrites", L"refuses one range");
  Quillmend::TSiteRef writer = refuse.Export(L"WriteProcessMemory", L"kernel32.dll", "WriteProcessMemory");
  refuse.HookWinApi(writer, &RefusingWriteProcessMemory, reinterpret_cast<void**>(&g_writeProcessMemory));
  ASSERT_TRUE(Quillmend::InstallPlan(refuse));
  StandIns::Install(L"IDE.GDIHandles.TabScroller;IDE.GDIHandles.ImageList;IDE.Editor.ParanMatching");
  EXPECT_EQ(StandIns::Status(L"IDE.GDIHandles.ToolBar"), L"failed");
  std::wstring reason;
  for (const Quillmend::TPatchReport& report : Quillmend::PatchReports())
    if (report.Name == L"IDE.GDIHandles.ToolBar") reason = report.Reason;
  EXPECT_EQ(reason.rfind(L"TToolBar.Destroy frees +0x1C: write refused", 0), 0u) << std::string(reason.begin(), reason.end());
  EXPECT_TRUE(std::vector<uint8_t>(create, create + 101) == createBytes) << "the constructor's writes were not undone";
  EXPECT_TRUE(std::vector<uint8_t>(destroy, destroy + 33) == destroyBytes);
  EXPECT_EQ(Quillmend::SharedToolBarBitmap, nullptr);
  // The host's own behaviour: a bar with a bitmap of its own, freed with it.
  const int base = Live();
  void* bar = Vcl().NewToolBar(nullptr);
  EXPECT_NE(Vcl().ToolBarBitmap(bar), nullptr);
  EXPECT_EQ(Live(), base + 1);
  Vcl().Free(bar);
  EXPECT_EQ(Live(), base);
  Quillmend::UndoTransactionsOf(L"Test.RefusedWrites");
}
