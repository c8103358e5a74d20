// Graphics: the drawing tools a canvas selects (TBrush, TPen, TFont) over
// TGraphicsObject, which makes the GDI object when first needed and drops
// it when a property changes; and colours (TColor → RGB).
#include "Common/HostClass.h"
#include "Graphics.h"
#include "VclClasses.h"
#include "VclInternal.h"

using namespace QmHost;
using namespace Vcl;

QM_HOST_CLASS(vcl_TGraphicsObject_Class, GraphicsObjectSlot::Count);
QM_HOST_CLASS(vcl_TBrush_Class, GraphicsObjectSlot::Count);
QM_HOST_CLASS(vcl_TPen_Class, GraphicsObjectSlot::Count);
QM_HOST_CLASS(vcl_TFont_Class, GraphicsObjectSlot::Count);

extern "C" {
void* vcl_TGraphicsObject_ClassVar = nullptr;
void* vcl_TBrush_ClassVar = nullptr;
void* vcl_TPen_ClassVar = nullptr;
void* vcl_TFont_ClassVar = nullptr;
}

namespace {

HGDIOBJ& Handle(void* object) { return Field<HGDIOBJ>(object, GraphicsObjectLayout::Handle); }

// procedure Changed; virtual — the GDI object is made again when next needed.
void QM_HOST_REGISTER GraphicsObjectChanged(void* self) {
  if (Handle(self)) DeleteObject(Handle(self));
  Handle(self) = nullptr;
}

void Changed(void* self) { Virtual<TSelfFn>(self, GraphicsObjectSlot::Changed)(self); }

void QM_HOST_REGISTER GraphicsObjectDestroy(void* self, int outermost) {
  DestructorStart(self, outermost);
  if (Handle(self)) DeleteObject(Handle(self));
  Handle(self) = nullptr;
  InheritedDestroy(self, vcl_TGraphicsObject_Class);
  DestructorEnd(self, outermost);
}

void QM_HOST_REGISTER FontDestroy(void* self, int outermost) {
  DestructorStart(self, outermost);
  Rtl().ustrClr(&Field<wchar_t*>(self, FontLayout::Name));
  InheritedDestroy(self, vcl_TFont_Class);
  DestructorEnd(self, outermost);
}

void* QM_HOST_REGISTER PenCreate(void* classOrSelf, int alloc) {
  void* self = ConstructorStart(classOrSelf, alloc);
  Field<int32_t>(self, PenLayout::Color) = 0;
  Field<int32_t>(self, PenLayout::Width) = 1;
  ConstructorEnd(self, alloc);
  return self;
}

void* QM_HOST_REGISTER FontCreate(void* classOrSelf, int alloc) {
  void* self = ConstructorStart(classOrSelf, alloc);
  Field<int32_t>(self, FontLayout::Height) = -11;
  Rtl().ustrAsg(&Field<wchar_t*>(self, FontLayout::Name), QM_HOST_STRING(L"Tahoma"));
  ConstructorEnd(self, alloc);
  return self;
}

template <class T>
void SetAndChange(void* self, int offset, T value) {
  if (Field<T>(self, offset) == value) return;
  Field<T>(self, offset) = value;
  Changed(self);
}

bool BuildGraphicsObjects() {
  vcl_TGraphicsObject_ClassVar =
      HostClassBuilder(vcl_TGraphicsObject_Class_Storage, "TGraphicsObject")
          .Parent(&vcl_TPersistent_ClassVar)
          .InstanceSize(GraphicsObjectLayout::Size)
          .Virtual(GraphicsObjectSlot::Changed, reinterpret_cast<void*>(&GraphicsObjectChanged))
          .Root(kVmtDestroy, reinterpret_cast<void*>(&GraphicsObjectDestroy))
          .Build();
  if (!vcl_TGraphicsObject_ClassVar) return false;
  vcl_TBrush_ClassVar = HostClassBuilder(vcl_TBrush_Class_Storage, "TBrush")
                            .Parent(&vcl_TGraphicsObject_ClassVar)
                            .InstanceSize(BrushLayout::Size)
                            .TypeInfo("Graphics")
                            .Build();
  vcl_TPen_ClassVar = HostClassBuilder(vcl_TPen_Class_Storage, "TPen")
                          .Parent(&vcl_TGraphicsObject_ClassVar)
                          .InstanceSize(PenLayout::Size)
                          .TypeInfo("Graphics")
                          .Build();
  vcl_TFont_ClassVar = HostClassBuilder(vcl_TFont_Class_Storage, "TFont")
                           .Parent(&vcl_TGraphicsObject_ClassVar)
                           .InstanceSize(FontLayout::Size)
                           .Root(kVmtDestroy, reinterpret_cast<void*>(&FontDestroy))
                           .TypeInfo("Graphics")
                           .Build();
  return vcl_TBrush_ClassVar && vcl_TPen_ClassVar && vcl_TFont_ClassVar;
}

const VclClassRegistration kGraphicsObjects{"TGraphicsObject TBrush TPen TFont", "TPersistent", &BuildGraphicsObjects};

} // namespace

namespace Vcl {

void* NewPen() { return PenCreate(vcl_TPen_ClassVar, 1); }
void* NewFont() { return FontCreate(vcl_TFont_ClassVar, 1); }

HBRUSH BrushHandle(void* brush) {
  if (!Handle(brush)) {
    LOGBRUSH info = {};
    info.lbStyle = Field<int32_t>(brush, BrushLayout::Style) == 1 ? BS_NULL : BS_SOLID;
    info.lbColor = vcl_ColorToRGB(Field<int32_t>(brush, BrushLayout::Color));
    Handle(brush) = CreateBrushIndirect(&info);
  }
  return static_cast<HBRUSH>(Handle(brush));
}

HPEN PenHandle(void* pen) {
  if (!Handle(pen)) {
    const int style = Field<int32_t>(pen, PenLayout::Style) == 5 ? PS_NULL : PS_SOLID;
    Handle(pen) = CreatePen(style, Field<int32_t>(pen, PenLayout::Width), vcl_ColorToRGB(Field<int32_t>(pen, PenLayout::Color)));
  }
  return static_cast<HPEN>(Handle(pen));
}

HFONT FontHandle(void* font) {
  if (!Handle(font)) {
    const int32_t style = Field<int32_t>(font, FontLayout::Style);
    const wchar_t* name = Field<const wchar_t*>(font, FontLayout::Name);
    Handle(font) = CreateFontW(Field<int32_t>(font, FontLayout::Height), 0, 0, 0, (style & 1) ? FW_BOLD : FW_NORMAL,
                               (style & 2) != 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               NONANTIALIASED_QUALITY, DEFAULT_PITCH, name ? name : L"");
  }
  return static_cast<HFONT>(Handle(font));
}

uint32_t FontColor(void* font) { return vcl_ColorToRGB(Field<int32_t>(font, FontLayout::Color)); }

} // namespace Vcl

extern "C" {

void* QM_HOST_REGISTER vcl_TBrush_Create(void* classOrSelf, int alloc) {
  void* self = ConstructorStart(classOrSelf, alloc);
  Field<int32_t>(self, BrushLayout::Color) = 0xFFFFFF;  // clWhite
  ConstructorEnd(self, alloc);
  return self;
}

void QM_HOST_REGISTER vcl_TBrush_SetColor(void* self, int32_t color) { SetAndChange(self, BrushLayout::Color, color); }
void QM_HOST_REGISTER vcl_TBrush_SetStyle(void* self, int32_t style) { SetAndChange(self, BrushLayout::Style, style); }
void QM_HOST_REGISTER vcl_TPen_SetColor(void* self, int32_t color) { SetAndChange(self, PenLayout::Color, color); }
void QM_HOST_REGISTER vcl_TPen_SetWidth(void* self, int32_t width) { SetAndChange(self, PenLayout::Width, width); }
void QM_HOST_REGISTER vcl_TPen_SetStyle(void* self, int32_t style) { SetAndChange(self, PenLayout::Style, style); }
void QM_HOST_REGISTER vcl_TFont_SetColor(void* self, int32_t color) { Field<int32_t>(self, FontLayout::Color) = color; }
void QM_HOST_REGISTER vcl_TFont_SetHeight(void* self, int32_t height) { SetAndChange(self, FontLayout::Height, height); }
void QM_HOST_REGISTER vcl_TFont_SetStyle(void* self, int32_t style) { SetAndChange(self, FontLayout::Style, style); }
void QM_HOST_REGISTER vcl_TFont_SetName(void* self, const wchar_t* name) {
  Rtl().ustrAsg(&Field<wchar_t*>(self, FontLayout::Name), name);
  Changed(self);
}

// A TColor with the high byte 0xFF is a system colour (its low byte the
// index for GetSysColor); otherwise the low three bytes are the RGB value.
uint32_t QM_HOST_REGISTER vcl_ColorToRGB(int32_t color) {
  const uint32_t value = static_cast<uint32_t>(color);
  if ((value >> 24) == 0xFF) return GetSysColor(int(value & 0xFF));
  return value & 0xFFFFFF;
}

} // extern "C"
