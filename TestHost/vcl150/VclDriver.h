// The stand-in visual component library's driver interface, declared once
// for bds.exe's workloads, the tests and the benchmarks: export names,
// function types and a binder for a loaded vcl150.bpl. The module checks its
// definitions against these types (VclDriver.cpp). Every call goes through
// the library's own routines (constructors, Paint, Initialize, the
// destructors), so whatever a patch changed in them is in effect.
#pragma once

#include <windows.h>

#include <type_traits>

#include "Common/SearchedSites.h"

namespace VclDriver {

struct Driver {
  // Objects (freed with Free, which is TObject.Free).
  using NewToolBarFn = void*(__stdcall*)(void* owner);
  using NewScrollerFn = void*(__stdcall*)(int width, int height, int position);
  using NewImageListFn = void*(__stdcall*)(int width, int height);
  using NewBitmapFn = void*(__stdcall*)(int width, int height, unsigned color);
  using FreeFn = void(__stdcall*)(void* object);
  // Painting on a device context (a memory context in the tests).
  using PaintControlFn = void(__stdcall*)(void* control, HDC dc);
  // Image lists: a new size (clears it), an image made from a seed (a
  // pattern of colours; odd seeds have transparent corners), drawing one.
  using ImageListSetSizeFn = void(__stdcall*)(void* list, int width, int height);
  using ImageListAddSampleFn = int(__stdcall*)(void* list, unsigned seed);
  using ImageListDrawFn = void(__stdcall*)(void* list, HDC dc, int x, int y, int index);
  // The bitmap objects the classes hold: the image list's scratch bitmap and
  // mask, the tool bar's bitmap, the scroller's bitmap (null when absent).
  using ImageListBitmapFn = void*(__stdcall*)(void* list);
  using ImageListMaskFn = void*(__stdcall*)(void* list);
  using ToolBarBitmapFn = void*(__stdcall*)(void* toolBar);
  using ScrollerBitmapFn = void*(__stdcall*)(void* scroller);
  // A bitmap object's handle as it is now (none made), width and height.
  using BitmapStateFn = HBITMAP(__stdcall*)(void* bitmap, int* width, int* height);
  // Live GDI bitmap handles of the process (-1: not counted).
  using LiveBitmapHandlesFn = int(__stdcall*)();
  // The next `count` bitmap handles or bitmap canvas contexts the library
  // makes fail: EOutOfResources "Out of system resources".
  using FailBitmapHandlesFn = void(__stdcall*)(int count);
  using PatternSiteFn = void*(__stdcall*)(const char* site);
  using PatternSitesFn = const QmHost::SearchedSite*(__stdcall*)(int* count);

  NewToolBarFn NewToolBar = nullptr;
  NewScrollerFn NewScroller = nullptr;
  NewImageListFn NewImageList = nullptr;
  NewBitmapFn NewBitmap = nullptr;
  FreeFn Free = nullptr;
  PaintControlFn PaintControl = nullptr;
  ImageListSetSizeFn ImageListSetSize = nullptr;
  ImageListAddSampleFn ImageListAddSample = nullptr;
  ImageListDrawFn ImageListDraw = nullptr;
  ImageListBitmapFn ImageListBitmap = nullptr;
  ImageListMaskFn ImageListMask = nullptr;
  ToolBarBitmapFn ToolBarBitmap = nullptr;
  ScrollerBitmapFn ScrollerBitmap = nullptr;
  BitmapStateFn BitmapState = nullptr;
  LiveBitmapHandlesFn LiveBitmapHandles = nullptr;
  FailBitmapHandlesFn FailBitmapHandles = nullptr;
  PatternSiteFn PatternSite = nullptr;
  PatternSitesFn PatternSites = nullptr;

  // Resolves every slot; false if one is missing (its name in *missing).
  bool Bind(HMODULE vcl, const char** missing = nullptr) {
    const char* absent = nullptr;
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(reinterpret_cast<void*>(GetProcAddress(vcl, name)));
      if (!slot && !absent) absent = name;
    };
    bind(NewToolBar, "VclNewToolBar");
    bind(NewScroller, "VclNewScroller");
    bind(NewImageList, "VclNewImageList");
    bind(NewBitmap, "VclNewBitmap");
    bind(Free, "VclFree");
    bind(PaintControl, "VclPaintControl");
    bind(ImageListSetSize, "VclImageListSetSize");
    bind(ImageListAddSample, "VclImageListAddSample");
    bind(ImageListDraw, "VclImageListDraw");
    bind(ImageListBitmap, "VclImageListBitmap");
    bind(ImageListMask, "VclImageListMask");
    bind(ToolBarBitmap, "VclToolBarBitmap");
    bind(ScrollerBitmap, "VclScrollerBitmap");
    bind(BitmapState, "VclBitmapState");
    bind(LiveBitmapHandles, "VclLiveBitmapHandles");
    bind(FailBitmapHandles, "VclFailBitmapHandles");
    bind(PatternSite, "VclPatternSite");
    bind(PatternSites, "VclPatternSites");
    if (missing) *missing = absent;
    return !absent;
  }
};

} // namespace VclDriver
