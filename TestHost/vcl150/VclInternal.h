// Declarations shared by the source files of the stand-in visual component
// library vcl150.bpl: instance layouts and virtual method slots of its
// classes, their exact symbols (exported through the .def fragments, reached
// from the assembly), and the host run-time services they use.
//
// A file that adds classes declares them in a header of its own, builds its
// class records with a VclClassRegistration (VclClasses.h) and exports them
// from a .def fragment of its own.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"
#include "Common/HostRtl.h"
#include "rtl150/ComponentsDriver.h"

namespace Vcl {

// ---- layouts ----------------------------------------------------------------
// Virtual method slots count from the class reference (slot n at +4n).

// TPersistent and TComponent are the run-time's (rtl150.bpl).
namespace PersistentSlot = ComponentsDriver::PersistentSlot;
namespace ComponentSlot = ComponentsDriver::ComponentSlot;
namespace ComponentLayout = ComponentsDriver::ComponentLayout;
namespace GraphicsObjectSlot {
constexpr int Changed = 3, Count = 4;
}
namespace GraphicsObjectLayout {
constexpr int Handle = 4, Size = 8;  // the GDI object, made when first needed
}
namespace BrushLayout {
constexpr int Color = 8, Style = 12, Size = 16;  // Style: 0 solid, 1 clear
}
namespace PenLayout {
constexpr int Color = 8, Width = 12, Style = 16, Size = 20;  // Style: 0 solid, 5 clear
}
namespace FontLayout {
constexpr int Color = 8, Height = 12, Style = 16, Name = 20, Size = 24;  // Style bits: 1 bold, 2 italic
}
namespace CanvasSlot {
constexpr int CreateHandle = 3, FreeHandle = 4, FillRect = 5, Count = 6;
}
namespace CanvasLayout {
constexpr int Handle = 4, Brush = 8, Pen = 12, Font = 16, PenPosX = 20, PenPosY = 24, Size = 28;
}
namespace BitmapCanvasLayout {
constexpr int Bitmap = 28, OldBitmap = 32, Size = 36;
}
namespace GraphicSlot {
constexpr int Changed = 3, Draw = 4, GetEmpty = 5, GetHeight = 6, GetWidth = 7, SetHeight = 8, SetWidth = 9,
              SetSize = 10, LoadFromStream = 11, SaveToStream = 12, Count = 13;
}
namespace GraphicLayout {
constexpr int Modified = 4, Size = 8;
}
namespace BitmapLayout {
// Image: the pixels of a dormant bitmap (32 bits, top-down), while it has no handle.
constexpr int Canvas = 8, Handle = 12, Width = 16, Height = 20, Image = 24, Size = 32;
}
namespace ControlSlot {
constexpr int SetBounds = 7, Paint = 8, Count = 9;
}
namespace ControlLayout {
constexpr int Parent = 28, Left = 32, Top = 36, Width = 40, Height = 44, Visible = 48, Size = 52;
}
namespace CustomControlLayout {
constexpr int Canvas = 52, Size = 56;  // the canvas Paint draws on
}
namespace ToolBarLayout {
constexpr int ButtonCount = 0x2F0, ButtonWidth = 0x2F4, HotButton = 0x2F8, HotBrush = 0x2FC, Bitmap = 0x300,
              Size = 0x304;
}
namespace ScrollerLayout {
constexpr int Min = 0x28C, Max = 0x290, Position = 0x294, Bitmap = 0x298, Size = 0x29C;
}
namespace ImageListLayout {
// Bitmap: the scratch bitmap images are drawn through (one per list);
// MaskBitmap: the scratch mask of masked drawing (optional: drawing works
// without it). The images themselves are kept in Images. AllocBy: the
// list's allocation step; Grow: the growth step its data stores.
constexpr int Count = 0x1C, Capacity = 0x20, Images = 0x24, BkColor = 0x28, Masked = 0x2C, Height = 0x34,
              Width = 0x38, UpdateCount = 0x3C, ChangeCount = 0x40, AllocBy = 0x44, Grow = 0x48, Bitmap = 0x54,
              MaskBitmap = 0x58, Size = 0x5C;
}

struct TRect {
  int32_t Left, Top, Right, Bottom;
};

// ---- object access ----------------------------------------------------------

template <class T>
T& Field(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}
inline void* ClassOf(const void* object) { return *static_cast<void* const*>(object); }
// Virtual method `slot` (or a root method at a negative header offset) of an object's class.
template <class Fn>
Fn Virtual(const void* object, int slot) {
  return reinterpret_cast<Fn>(QmHost::VmtSlot(ClassOf(object), 4 * slot));
}
template <class Fn>
Fn Root(const void* object, QmHost::VmtOffset offset) {
  return reinterpret_cast<Fn>(QmHost::VmtSlot(ClassOf(object), offset));
}

using TDestroyFn = void(QM_HOST_REGISTER*)(void* self, int outermost);
using TSelfFn = void(QM_HOST_REGISTER*)(void* self);

// A constructor's start: with DL != 0 EAX is a class and a new instance is
// made through its NewInstance; otherwise EAX is the instance already.
void* ConstructorStart(void* classOrSelf, int alloc);
// A constructor's end: AfterConstruction for the outermost call.
void ConstructorEnd(void* self, int alloc);
// A destructor's start and end: BeforeDestruction and FreeInstance for the
// outermost call.
void DestructorStart(void* self, int outermost);
void DestructorEnd(void* self, int outermost);
// The parent class's Destroy, as an inherited call (DL = 0).
void InheritedDestroy(void* self, void* classRef);

// ---- host run-time ----------------------------------------------------------

const QmHost::HostRtl& Rtl();
void FreeObject(void* object);  // TObject.Free
// Raises a host exception of a class of this library (EOutOfResources,
// EConvertError) or rtl150's Exception. Nothing with a destructor may be
// pending on the caller's C++ frames: the raise unwinds them the host's way.
[[noreturn]] void RaiseError(void* classRef, const wchar_t* message);

// Armed failures of bitmap handle creation (VclFailBitmapHandles): the next
// `count` handles a bitmap makes or takes raise EOutOfResources instead.
void ArmBitmapFailures(int count);
bool TakeArmedBitmapFailure();

// Binds rtl150's TPersistent and TComponent (classes and the methods this
// library calls); false when the run-time lacks one.
bool BindRuntimeComponents(HMODULE rtl);

} // namespace Vcl

extern "C" {

// Class references (exact symbols, exported as DATA) and the variables
// holding them, which descendants name as their parent.
extern char vcl_TGraphicsObject_Class[] QM_HOST_SYMBOL(vcl_TGraphicsObject_Class);
extern char vcl_TBrush_Class[] QM_HOST_SYMBOL(vcl_TBrush_Class);
extern char vcl_TPen_Class[] QM_HOST_SYMBOL(vcl_TPen_Class);
extern char vcl_TFont_Class[] QM_HOST_SYMBOL(vcl_TFont_Class);
extern char vcl_TCanvas_Class[] QM_HOST_SYMBOL(vcl_TCanvas_Class);
extern char vcl_TBitmapCanvas_Class[] QM_HOST_SYMBOL(vcl_TBitmapCanvas_Class);
extern char vcl_TGraphic_Class[] QM_HOST_SYMBOL(vcl_TGraphic_Class);
extern char vcl_TBitmap_Class[] QM_HOST_SYMBOL(vcl_TBitmap_Class);
extern char vcl_TControl_Class[] QM_HOST_SYMBOL(vcl_TControl_Class);
extern char vcl_TCustomControl_Class[] QM_HOST_SYMBOL(vcl_TCustomControl_Class);
extern char vcl_TToolBar_Class[] QM_HOST_SYMBOL(vcl_TToolBar_Class);
extern char vcl_TScroller_Class[] QM_HOST_SYMBOL(vcl_TScroller_Class);
extern char vcl_TCustomImageList_Class[] QM_HOST_SYMBOL(vcl_TCustomImageList_Class);
extern char vcl_EOutOfResources_Class[] QM_HOST_SYMBOL(vcl_EOutOfResources_Class);
extern char vcl_EConvertError_Class[] QM_HOST_SYMBOL(vcl_EConvertError_Class);

extern void* vcl_TObject_ClassVar QM_HOST_SYMBOL(vcl_TObject_ClassVar);        // rtl150's TObject
extern void* vcl_Exception_ClassVar QM_HOST_SYMBOL(vcl_Exception_ClassVar);    // rtl150's Exception
extern void* vcl_TPersistent_ClassVar QM_HOST_SYMBOL(vcl_TPersistent_ClassVar);  // rtl150's
extern void* vcl_TComponent_ClassVar QM_HOST_SYMBOL(vcl_TComponent_ClassVar);    // rtl150's
extern void* vcl_TGraphicsObject_ClassVar QM_HOST_SYMBOL(vcl_TGraphicsObject_ClassVar);
extern void* vcl_TBrush_ClassVar QM_HOST_SYMBOL(vcl_TBrush_ClassVar);
extern void* vcl_TPen_ClassVar QM_HOST_SYMBOL(vcl_TPen_ClassVar);
extern void* vcl_TFont_ClassVar QM_HOST_SYMBOL(vcl_TFont_ClassVar);
extern void* vcl_TCanvas_ClassVar QM_HOST_SYMBOL(vcl_TCanvas_ClassVar);
extern void* vcl_TBitmapCanvas_ClassVar QM_HOST_SYMBOL(vcl_TBitmapCanvas_ClassVar);
extern void* vcl_TGraphic_ClassVar QM_HOST_SYMBOL(vcl_TGraphic_ClassVar);
extern void* vcl_TBitmap_ClassVar QM_HOST_SYMBOL(vcl_TBitmap_ClassVar);
extern void* vcl_TControl_ClassVar QM_HOST_SYMBOL(vcl_TControl_ClassVar);
extern void* vcl_TCustomControl_ClassVar QM_HOST_SYMBOL(vcl_TCustomControl_ClassVar);

// rtl150's TObject.Free, bound at start-up; the assembly calls it through
// vcl_ObjectFree (an import thunk).
extern void* vcl_RtlObjectFree QM_HOST_SYMBOL(vcl_RtlObjectFree);

// ---- Classes (forwarders to rtl150.bpl) -----------------------------------------
void QM_HOST_REGISTER vcl_TPersistent_Assign(void* self, void* source) QM_HOST_SYMBOL(vcl_TPersistent_Assign);
void* QM_HOST_REGISTER vcl_TComponent_Create(void* classOrSelf, int alloc, void* owner)
    QM_HOST_SYMBOL(vcl_TComponent_Create);
void QM_HOST_REGISTER vcl_TComponent_Destroy(void* self, int outermost) QM_HOST_SYMBOL(vcl_TComponent_Destroy);

// ---- Graphics ---------------------------------------------------------------
void* QM_HOST_REGISTER vcl_TBrush_Create(void* classOrSelf, int alloc) QM_HOST_SYMBOL(vcl_TBrush_Create);
void QM_HOST_REGISTER vcl_TBrush_SetColor(void* self, int32_t color) QM_HOST_SYMBOL(vcl_TBrush_SetColor);
void QM_HOST_REGISTER vcl_TBrush_SetStyle(void* self, int32_t style) QM_HOST_SYMBOL(vcl_TBrush_SetStyle);
void QM_HOST_REGISTER vcl_TPen_SetColor(void* self, int32_t color) QM_HOST_SYMBOL(vcl_TPen_SetColor);
void QM_HOST_REGISTER vcl_TPen_SetWidth(void* self, int32_t width) QM_HOST_SYMBOL(vcl_TPen_SetWidth);
void QM_HOST_REGISTER vcl_TPen_SetStyle(void* self, int32_t style) QM_HOST_SYMBOL(vcl_TPen_SetStyle);
void QM_HOST_REGISTER vcl_TFont_SetColor(void* self, int32_t color) QM_HOST_SYMBOL(vcl_TFont_SetColor);
void QM_HOST_REGISTER vcl_TFont_SetHeight(void* self, int32_t height) QM_HOST_SYMBOL(vcl_TFont_SetHeight);
void QM_HOST_REGISTER vcl_TFont_SetStyle(void* self, int32_t style) QM_HOST_SYMBOL(vcl_TFont_SetStyle);
void QM_HOST_REGISTER vcl_TFont_SetName(void* self, const wchar_t* name) QM_HOST_SYMBOL(vcl_TFont_SetName);
uint32_t QM_HOST_REGISTER vcl_ColorToRGB(int32_t color) QM_HOST_SYMBOL(vcl_ColorToRGB);

void* QM_HOST_REGISTER vcl_TCanvas_Create(void* classOrSelf, int alloc) QM_HOST_SYMBOL(vcl_TCanvas_Create);
HDC QM_HOST_REGISTER vcl_TCanvas_GetHandle(void* self) QM_HOST_SYMBOL(vcl_TCanvas_GetHandle);
void QM_HOST_REGISTER vcl_TCanvas_SetHandle(void* self, HDC dc) QM_HOST_SYMBOL(vcl_TCanvas_SetHandle);
void QM_HOST_REGISTER vcl_TCanvas_FillRect(void* self, const Vcl::TRect* rect) QM_HOST_SYMBOL(vcl_TCanvas_FillRect);
void QM_HOST_REGISTER vcl_TCanvas_FrameRect(void* self, const Vcl::TRect* rect) QM_HOST_SYMBOL(vcl_TCanvas_FrameRect);
void QM_HOST_REGISTER vcl_TCanvas_Rectangle(void* self, int32_t x1, int32_t y1, int32_t y2, int32_t x2)
    QM_HOST_SYMBOL(vcl_TCanvas_Rectangle);
void QM_HOST_REGISTER vcl_TCanvas_TextOut(void* self, int32_t x, int32_t y, const wchar_t* text)
    QM_HOST_SYMBOL(vcl_TCanvas_TextOut);
void QM_HOST_REGISTER vcl_TCanvas_TextExtent(void* self, const wchar_t* text, SIZE* result)
    QM_HOST_SYMBOL(vcl_TCanvas_TextExtent);
void QM_HOST_REGISTER vcl_TCanvas_Draw(void* self, int32_t x, int32_t y, void* graphic) QM_HOST_SYMBOL(vcl_TCanvas_Draw);
void QM_HOST_REGISTER vcl_TCanvas_StretchDraw(void* self, const Vcl::TRect* rect, void* graphic)
    QM_HOST_SYMBOL(vcl_TCanvas_StretchDraw);
void QM_HOST_REGISTER vcl_TCanvas_CopyRect(void* self, const Vcl::TRect* dest, void* canvas, const Vcl::TRect* source)
    QM_HOST_SYMBOL(vcl_TCanvas_CopyRect);
int32_t QM_HOST_REGISTER vcl_TCanvas_GetPixel(void* self, int32_t x, int32_t y) QM_HOST_SYMBOL(vcl_TCanvas_GetPixel);
void QM_HOST_REGISTER vcl_Rect(int32_t left, int32_t top, int32_t right, Vcl::TRect* result, int32_t bottom)
    QM_HOST_SYMBOL(vcl_Rect);

void* QM_HOST_REGISTER vcl_TBitmap_Create(void* classOrSelf, int alloc) QM_HOST_SYMBOL(vcl_TBitmap_Create);
void* QM_HOST_REGISTER vcl_TBitmap_GetCanvas(void* self) QM_HOST_SYMBOL(vcl_TBitmap_GetCanvas);
HBITMAP QM_HOST_REGISTER vcl_TBitmap_GetHandle(void* self) QM_HOST_SYMBOL(vcl_TBitmap_GetHandle);
void QM_HOST_REGISTER vcl_TBitmap_SetHandle(void* self, HBITMAP handle) QM_HOST_SYMBOL(vcl_TBitmap_SetHandle);
void QM_HOST_REGISTER vcl_TBitmap_Dormant(void* self) QM_HOST_SYMBOL(vcl_TBitmap_Dormant);
void QM_HOST_REGISTER vcl_TBitmap_SetSize(void* self, int32_t width, int32_t height) QM_HOST_SYMBOL(vcl_TBitmap_SetSize);
int32_t QM_HOST_REGISTER vcl_TBitmap_GetWidth(void* self) QM_HOST_SYMBOL(vcl_TBitmap_GetWidth);
int32_t QM_HOST_REGISTER vcl_TBitmap_GetHeight(void* self) QM_HOST_SYMBOL(vcl_TBitmap_GetHeight);

// ---- Controls ---------------------------------------------------------------
void* QM_HOST_REGISTER vcl_TCustomControl_Create(void* classOrSelf, int alloc, void* owner)
    QM_HOST_SYMBOL(vcl_TCustomControl_Create);
void QM_HOST_REGISTER vcl_TCustomControl_Destroy(void* self, int outermost) QM_HOST_SYMBOL(vcl_TCustomControl_Destroy);
void QM_HOST_REGISTER vcl_TControl_SetBounds(void* self, int32_t left, int32_t top, int32_t height, int32_t width)
    QM_HOST_SYMBOL(vcl_TControl_SetBounds);

// ---- ComCtrls, Tabs, ImgList (searched code in assembly) ----------------------
void* QM_HOST_REGISTER vcl_TToolBar_Create(void* classOrSelf, int alloc, void* owner) QM_HOST_SYMBOL(vcl_TToolBar_Create);
void QM_HOST_REGISTER vcl_TToolBar_Destroy(void* self, int outermost) QM_HOST_SYMBOL(vcl_TToolBar_Destroy);
void QM_HOST_REGISTER vcl_TToolBar_Paint(void* self) QM_HOST_SYMBOL(vcl_TToolBar_Paint);
void* QM_HOST_REGISTER vcl_TScroller_Create(void* classOrSelf, int alloc, void* owner) QM_HOST_SYMBOL(vcl_TScroller_Create);
void QM_HOST_REGISTER vcl_TScroller_Destroy(void* self, int outermost) QM_HOST_SYMBOL(vcl_TScroller_Destroy);
void QM_HOST_REGISTER vcl_TScroller_Paint(void* self) QM_HOST_SYMBOL(vcl_TScroller_Paint);
void QM_HOST_REGISTER vcl_TScroller_PaintBody(void* self) QM_HOST_SYMBOL(vcl_TScroller_PaintBody);
void* QM_HOST_REGISTER vcl_TCustomImageList_Create(void* classOrSelf, int alloc, void* owner)
    QM_HOST_SYMBOL(vcl_TCustomImageList_Create);
void* QM_HOST_REGISTER vcl_TCustomImageList_CreateSize(void* classOrSelf, int alloc, int32_t width, int32_t height)
    QM_HOST_SYMBOL(vcl_TCustomImageList_CreateSize);
void QM_HOST_REGISTER vcl_TCustomImageList_Initialize(void* self) QM_HOST_SYMBOL(vcl_TCustomImageList_Initialize);
void QM_HOST_REGISTER vcl_TCustomImageList_Destroy(void* self, int outermost) QM_HOST_SYMBOL(vcl_TCustomImageList_Destroy);
// The list's bitmap (re)allocation: sizes its scratch bitmaps to the list.
void QM_HOST_REGISTER vcl_ImageListReallocBitmaps(void* self) QM_HOST_SYMBOL(vcl_ImageListReallocBitmaps);
void QM_HOST_REGISTER vcl_ImageListReallocBody(void* self) QM_HOST_SYMBOL(vcl_ImageListReallocBody);
void QM_HOST_REGISTER vcl_ImageListFreeImages(void* self) QM_HOST_SYMBOL(vcl_ImageListFreeImages);
void QM_HOST_REGISTER vcl_ImageListDefaults(void* self) QM_HOST_SYMBOL(vcl_ImageListDefaults);
void QM_HOST_REGISTER vcl_ImageListEndUpdate(void* self) QM_HOST_SYMBOL(vcl_ImageListEndUpdate);
// Where Initialize keeps the list's bitmap (the field the searched code writes).
extern int32_t vcl_ImageListBitmapField QM_HOST_SYMBOL(vcl_ImageListBitmapField);

} // extern "C"
