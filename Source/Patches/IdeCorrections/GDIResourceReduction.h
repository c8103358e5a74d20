// GDI handle reduction for the visual component library (vcl150.bpl), three
// patches installed at the library's load, in this order:
//   "IDE.GDIHandles.ToolBar"     every tool bar shares one dormant bitmap;
//   "IDE.GDIHandles.TabScroller" a tab set scroller empties its bitmap after painting;
//   "IDE.GDIHandles.ImageList"   image lists share one bitmap per size
//                                (TImageListBitmapCache).
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The one bitmap every tool bar made after the installation holds.
extern void* SharedToolBarBitmap;
// Tool bars holding it now.
int32_t ToolBarsHoldingSharedBitmap();

// Tool-bar replacements (host register convention).
void* QM_REGISTER GetToolBarBitmap();
void QM_REGISTER FreeToolBarBitmap(void* bitmap);
// The scroller's Paint: the host's, then its bitmap emptied.
void QM_REGISTER ScrollerPaint(void* scroller);
// Image-list replacements.
void* QM_REGISTER InitializeBitmapStub();
void QM_REGISTER ReallocBitmap(void* imageList);
void QM_REGISTER FreeBitmap(void* bitmap);

// Image-list instance fields the replacements use.
namespace ImageListLayout {
constexpr int Height = 0x34, Width = 0x38, Bitmap = 0x54, SecondBitmap = 0x58;
}
namespace ScrollerLayout {
constexpr int Bitmap = 0x298;
}

std::vector<TPatchPlan> GDIResourceReductionPlans();
// What the unit's initialization runs: the three patches, in order.
void InstallGDIResourceReduction();

extern const TUnitInfo Unit_GDIResourceReduction;

} // namespace Quillmend
