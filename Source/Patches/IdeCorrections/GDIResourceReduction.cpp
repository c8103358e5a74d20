#include "Patches/IdeCorrections/GDIResourceReduction.h"

#include <windows.h>

#include "Framework/HostGraphics.h"
#include "Hooking/CodeRedirect.h"
#include "Patches/IdeCorrections/GDIResourcePatterns.h"
#include "Patches/IdeCorrections/ImageListBitmapCache.h"

namespace Quillmend {

void* SharedToolBarBitmap = nullptr;

namespace {

namespace P = GDIResourcePatterns;

const wchar_t* const Vcl = L"vcl150.bpl";

// Plain data, read by replacements that may run after the unit's finalization.
volatile LONG g_toolBarHolders = 0;
bool g_finalized = false;
void* g_orgScrollerPaint = nullptr;

using TScrollerPaint = void QM_REGISTER (*)(void* scroller);

bool ToolBarsHoldSharedBitmap() { return g_toolBarHolders > 0; }
bool ImageListsUseCache() { return TImageListBitmapCache::Users() > 0; }

template <class T>
T& Field(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

// An exported routine's code, behind an import thunk if it is one.
TSiteRef RoutineOf(TPatchPlan& plan, const wchar_t* label, const char* exportName) {
  TSiteRef exported = plan.Export(label, Vcl, exportName);
  return plan.Computed(label, [exported](const TPlanValues& v) { return GetActualAddr(v.Site(exported)); });
}

TPatchPlan ToolBarPlan() {
  TPatchPlan plan(L"IDE.GDIHandles.ToolBar", L"Reduces the IDE's ToolBar GDI handle usage", TInstallMoment::UnitInit);
  const THostGraphicsSites graphics = DeclareHostGraphics(plan);
  TSiteRef ctor = RoutineOf(plan, L"TToolBar.Create", "@Comctrls@TToolBar@$bctr$qqrp18Classes@TComponent");
  TSiteRef dtor = RoutineOf(plan, L"TToolBar.Destroy", "@Comctrls@TToolBar@$bdtr$qqrv");
  TSiteRef create = plan.PatternFrom(L"TToolBar.Create bitmap", ctor, 0, P::ToolBarCreateBitmap, P::ToolBarCreateWindow);
  TSiteRef destroy = plan.PatternFrom(L"TToolBar.Destroy frees", dtor, 0, P::ToolBarDestroyFrees, P::ToolBarDestroyWindow);
  plan.RetargetCall(create, P::ToolBarCreateCall, &GetToolBarBitmap);
  plan.WriteBytes(create, P::ToolBarSetUp, P::ToolBarSkipSetUp);
  plan.RetargetCall(destroy, P::ToolBarFreeBitmapCall, &FreeToolBarBitmap);
  // The host's destructor would free the shared bitmap once per tool bar.
  plan.KeepInPlaceWhile(&ToolBarsHoldSharedBitmap);
  plan.OnCommit([graphics](const TPlanValues& v) { BindHostGraphics(v, graphics); });
  return plan;
}

TPatchPlan TabScrollerPlan() {
  TPatchPlan plan(L"IDE.GDIHandles.TabScroller", L"Reduces the IDE's TTabs scroller GDI handle usage",
                  TInstallMoment::UnitInit);
  TSiteRef paint = plan.Export(L"TScroller.Paint", Vcl, "@Tabs@TScroller@Paint$qqrv");
  plan.RedirectOrgCall(paint, &ScrollerPaint, &g_orgScrollerPaint);
  return plan;
}

TPatchPlan ImageListPlan() {
  TPatchPlan plan(L"IDE.GDIHandles.ImageList", L"Reduces the IDE's ToolBar GDI handle usage", TInstallMoment::UnitInit);
  const THostGraphicsSites graphics = DeclareHostGraphics(plan);
  TSiteRef init = RoutineOf(plan, L"TCustomImageList.Initialize", "@Imglist@TCustomImageList@Initialize$qqrv");
  TSiteRef dtor = RoutineOf(plan, L"TCustomImageList.Destroy", "@Imglist@TCustomImageList@$bdtr$qqrv");
  TSiteRef create = plan.PatternFrom(L"TCustomImageList.Initialize bitmap", init, 0, P::ImageListInitializeBitmap,
                                     P::ImageListInitializeWindow);
  TSiteRef destroy = plan.PatternFrom(L"TCustomImageList.Destroy frees", dtor, 0, P::ImageListDestroyFrees,
                                      P::ImageListDestroyWindow);
  // The replacements use the list's bitmap at this field.
  plan.ExpectU8(create, P::ImageListBitmapFieldByte, uint8_t(ImageListLayout::Bitmap));
  TSiteRef realloc = plan.CallTargetOf(L"TCustomImageList bitmap reallocation", create, P::ImageListReallocCall);
  plan.RetargetCall(create, P::ImageListCreateCall, &InitializeBitmapStub);
  plan.Redirect(realloc, &ReallocBitmap);
  plan.RetargetCall(destroy, P::ImageListFreeBitmapCall, &FreeBitmap);
  // The host's destructor would free a shared bitmap once per list.
  plan.KeepInPlaceWhile(&ImageListsUseCache);
  plan.OnCommit([graphics](const TPlanValues& v) { BindHostGraphics(v, graphics); });
  return plan;
}

// 1 x 1, the button face brush, no GDI handle until a tool bar draws with it.
void CreateSharedToolBarBitmap() {
  void* bitmap = NewHostBitmap();
  HostSetSize(bitmap, 1, 1);
  HostSetBrushColor(HostBitmapCanvas(bitmap), HostColorBtnFace);
  HostDormant(bitmap);
  SharedToolBarBitmap = bitmap;
}

void FinalizeGDIResourceReduction() {
  // The library's undo ran first: what it left in place is still in use.
  g_finalized = true;
  if (g_toolBarHolders == 0 && SharedToolBarBitmap) {
    void* bitmap = SharedToolBarBitmap;
    SharedToolBarBitmap = nullptr;
    HostFree(bitmap);
  }
  TImageListBitmapCache::Finalize();
}

} // namespace

int32_t ToolBarsHoldingSharedBitmap() { return g_toolBarHolders; }

void* QM_REGISTER GetToolBarBitmap() {
  if (void* shared = SharedToolBarBitmap) {
    InterlockedIncrement(&g_toolBarHolders);
    return shared;
  }
  return NewHostBitmap();
}

// A tool bar's bitmap goes unless it is the shared one; that one goes with
// its last holder once the unit is finalized.
void QM_REGISTER FreeToolBarBitmap(void* bitmap) {
  if (bitmap && bitmap == SharedToolBarBitmap) {
    if (InterlockedDecrement(&g_toolBarHolders) == 0 && g_finalized) {
      SharedToolBarBitmap = nullptr;
      HostFree(bitmap);
    }
    return;
  }
  HostFree(bitmap);
}

void QM_REGISTER ScrollerPaint(void* scroller) {
  reinterpret_cast<TScrollerPaint>(g_orgScrollerPaint)(scroller);
  // Assign(nil) empties the bitmap and frees its handle until the next paint.
  if (void* bitmap = Field<void*>(scroller, ScrollerLayout::Bitmap)) HostAssign(bitmap, nullptr);
}

void* QM_REGISTER InitializeBitmapStub() {
  TImageListBitmapCache::AddUser();
  return nullptr;
}

void QM_REGISTER ReallocBitmap(void* imageList) {
  void*& bitmap = Field<void*>(imageList, ImageListLayout::Bitmap);
  // A bitmap from before the cache was the list's own: it joins the users now.
  if (bitmap && !TImageListBitmapCache::ReleaseBitmap(bitmap)) TImageListBitmapCache::AddUser();
  bitmap = TImageListBitmapCache::AcquireBitmap(Field<int32_t>(imageList, ImageListLayout::Width),
                                                Field<int32_t>(imageList, ImageListLayout::Height));
  void*& second = Field<void*>(imageList, ImageListLayout::SecondBitmap);
  if (second) {
    void* object = second;
    second = nullptr;
    HostFree(object);
  }
}

void QM_REGISTER FreeBitmap(void* bitmap) {
  if (TImageListBitmapCache::ReleaseBitmap(bitmap)) TImageListBitmapCache::ReleaseUser();
}

std::vector<TPatchPlan> GDIResourceReductionPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(ToolBarPlan());
  plans.push_back(TabScrollerPlan());
  plans.push_back(ImageListPlan());
  return plans;
}

void InstallGDIResourceReduction() {
  TPatchPlan toolBar = ToolBarPlan();
  if (InstallPlan(toolBar)) CreateSharedToolBarBitmap();
  TPatchPlan scroller = TabScrollerPlan();
  InstallPlan(scroller);
  TImageListBitmapCache::Initialize();
  TPatchPlan imageList = ImageListPlan();
  InstallPlan(imageList);
}

const TUnitInfo Unit_GDIResourceReduction = {"GDIResourceReduction", &InstallGDIResourceReduction,
                                             &FinalizeGDIResourceReduction, &GDIResourceReductionPlans};

} // namespace Quillmend
