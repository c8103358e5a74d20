// Labels and what a control needs to be shown on a parent: TCustomLabel
// (caption, font, alignment, transparency, automatic size, its Paint), a
// control's parent, anchors, text, position, client width and repaint, and
// TFont's size in points. The stand-in's TControl is small: a control's
// children are kept beside it by the library, its anchors in the byte after
// Visible (LabelsDriver.h).
#include "Labels.h"

#include <map>
#include <vector>

#include "Common/HostClass.h"
#include "Controls.h"
#include "Forms.h"
#include "Graphics.h"
#include "LabelsDriver.h"
#include "VclClasses.h"
#include "VclInternal.h"
#include "WinControlDriver.h"

using namespace QmHost;
using namespace Vcl;
using namespace LabelsDriver;

QM_HOST_CLASS(vcl_TCustomLabel_Class, ControlSlot::Count);
QM_HOST_CLASS(vcl_TLabelFont_Class, GraphicsObjectSlot::Count);

extern "C" {
void* QM_HOST_REGISTER vcl_TCustomLabel_Create(void* classOrSelf, int alloc, void* owner)
    QM_HOST_SYMBOL(vcl_TCustomLabel_Create);
void QM_HOST_REGISTER vcl_TCustomLabel_Paint(void* self) QM_HOST_SYMBOL(vcl_TCustomLabel_Paint);
extern char vcl_TWinControl_Class[] QM_HOST_SYMBOL(vcl_TWinControl_Class);
}

namespace {

void* g_labelClass = nullptr;
void* g_labelFontClass = nullptr;
// A label's font tells its label when it changes (the host's OnChange): the
// label takes the new text size. Its label is kept behind TFont's fields.
constexpr int LabelFontOwner = FontLayout::Size, LabelFontSize = FontLayout::Size + 4;
constexpr int PixelsPerInch = 96;  // the stand-in's screen

// Parent → its children, first parented first. Never destroyed: controls
// may be freed while the process ends.
std::map<void*, std::vector<void*>>& Children() {
  static auto* children = new std::map<void*, std::vector<void*>>();
  return *children;
}

bool Inherits(const void* object, const void* ancestor) {
  for (const void* c = ClassOf(object); c; c = HostParentClass(c))
    if (c == ancestor) return true;
  return false;
}
bool IsLabel(const void* control) { return Inherits(control, vcl_TCustomLabel_Class); }

std::wstring LabelText(void* label) {
  const wchar_t* caption = Field<const wchar_t*>(label, LabelLayout::Caption);
  return caption ? caption : L"";
}

// The size of the caption in the label's font (a blank for an empty one, as
// the host measures it).
SIZE TextSize(void* label) {
  std::wstring text = LabelText(label);
  if (text.empty()) text = L" ";
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, FontHandle(Field<void*>(label, LabelLayout::Font)));
  RECT r = {0, 0, 0, 0};
  DrawTextW(dc, text.c_str(), int(text.size()), &r, DT_CALCRECT | DT_EXPANDTABS);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return SIZE{r.right, r.bottom};
}

// With AutoSize the label takes its text's size; a right-justified label
// keeps its right edge.
void AdjustBounds(void* label) {
  if (!Field<uint8_t>(label, LabelLayout::AutoSize)) return;
  const SIZE size = TextSize(label);
  int32_t left = Field<int32_t>(label, ControlLayout::Left);
  if (Field<uint8_t>(label, LabelLayout::Alignment) == taRightJustify)
    left += Field<int32_t>(label, ControlLayout::Width) - size.cx;
  SetControlBounds(label, left, Field<int32_t>(label, ControlLayout::Top), size.cx, size.cy);
}

void QM_HOST_REGISTER LabelFontChanged(void* font) {
  reinterpret_cast<TSelfFn>(QmHost::VmtSlot(vcl_TFont_ClassVar, 4 * GraphicsObjectSlot::Changed))(font);
  if (void* label = Field<void*>(font, LabelFontOwner)) AdjustBounds(label);
}

void* NewLabelFont(void* label) {
  void* font = ConstructorStart(g_labelFontClass, 1);
  Field<int32_t>(font, FontLayout::Height) = -11;
  Rtl().ustrAsg(&Field<wchar_t*>(font, FontLayout::Name), QM_HOST_STRING(L"Tahoma"));
  Field<void*>(font, LabelFontOwner) = label;
  ConstructorEnd(font, 1);
  return font;
}

bool BuildLabelFont() {
  g_labelFontClass = HostClassBuilder(vcl_TLabelFont_Class_Storage, "TLabelFont")
                         .Parent(&vcl_TFont_ClassVar)
                         .InstanceSize(LabelFontSize)
                         .Virtual(GraphicsObjectSlot::Changed, reinterpret_cast<void*>(&LabelFontChanged))
                         .Build();
  return g_labelFontClass != nullptr;
}

const VclClassRegistration kLabelFont{"TLabelFont", "TFont", &BuildLabelFont};

void QM_HOST_REGISTER LabelDestroy(void* self, int outermost) {
  DestructorStart(self, outermost);
  DetachFromParent(self);
  Rtl().Release(Field<wchar_t*>(self, LabelLayout::Caption));
  Field<void*>(Field<void*>(self, LabelLayout::Font), LabelFontOwner) = nullptr;
  FreeObject(Field<void*>(self, LabelLayout::Font));
  Field<void*>(self, LabelLayout::Font) = nullptr;
  InheritedDestroy(self, vcl_TCustomLabel_Class);
  DestructorEnd(self, outermost);
}

bool BuildLabel() {
  g_labelClass = HostClassBuilder(vcl_TCustomLabel_Class_Storage, "TCustomLabel")
                     .Parent(&vcl_TCustomControl_ClassVar)
                     .InstanceSize(LabelLayout::Size)
                     .Virtual(ComponentSlot::Create, reinterpret_cast<void*>(&vcl_TCustomLabel_Create))
                     .Virtual(ControlSlot::Paint, reinterpret_cast<void*>(&vcl_TCustomLabel_Paint))
                     .Root(kVmtDestroy, reinterpret_cast<void*>(&LabelDestroy))
                     .TypeInfo("StdCtrls")
                     .Build();
  return g_labelClass != nullptr;
}

const VclClassRegistration kLabel{"TCustomLabel", "TCustomControl", &BuildLabel};

void CopyFont(void* target, void* source) {
  vcl_TFont_SetName(target, Field<const wchar_t*>(source, FontLayout::Name));
  vcl_TFont_SetHeight(target, Field<int32_t>(source, FontLayout::Height));
  vcl_TFont_SetStyle(target, Field<int32_t>(source, FontLayout::Style));
  vcl_TFont_SetColor(target, Field<int32_t>(source, FontLayout::Color));
}

}  // namespace

namespace Vcl {

const std::vector<void*>& ControlChildren(void* parent) {
  static const std::vector<void*> none;
  auto it = Children().find(parent);
  return it == Children().end() ? none : it->second;
}

void DetachFromParent(void* control) {
  void*& parent = Field<void*>(control, ControlLayout::Parent);
  if (!parent) return;
  auto it = Children().find(parent);
  if (it != Children().end()) {
    auto& list = it->second;
    for (size_t i = 0; i < list.size(); ++i)
      if (list[i] == control) {
        list.erase(list.begin() + long(i));
        break;
      }
    if (list.empty()) Children().erase(it);
  }
  parent = nullptr;
}

void ForgetChildren(void* parent) { Children().erase(parent); }

}  // namespace Vcl

extern "C" {

void* QM_HOST_REGISTER vcl_TCustomLabel_Create(void* classOrSelf, int alloc, void* owner) {
  void* self = ConstructorStart(classOrSelf, alloc);
  vcl_TCustomControl_Create(self, 0, owner);
  Field<void*>(self, LabelLayout::Font) = NewLabelFont(self);
  Field<int32_t>(self, LabelLayout::Color) = int32_t(0xFF00000F);  // clBtnFace
  Field<uint8_t>(self, LabelLayout::AutoSize) = 1;
  SetControlBounds(self, 0, 0, 65, 17);
  AdjustBounds(self);
  ConstructorEnd(self, alloc);
  return self;
}

// The caption in the label's font, on its colour unless transparent.
void QM_HOST_REGISTER vcl_TCustomLabel_Paint(void* self) {
  ++Field<int32_t>(self, LabelLayout::Paints);
  void* canvas = Field<void*>(self, LabelLayout::Canvas);
  const TRect client = {0, 0, Field<int32_t>(self, ControlLayout::Width), Field<int32_t>(self, ControlLayout::Height)};
  if (!Field<uint8_t>(self, LabelLayout::Transparent)) {
    vcl_TBrush_SetStyle(Field<void*>(canvas, CanvasLayout::Brush), 0);
    vcl_TBrush_SetColor(Field<void*>(canvas, CanvasLayout::Brush), Field<int32_t>(self, LabelLayout::Color));
    vcl_TCanvas_FillRect(canvas, &client);
  }
  void* font = Field<void*>(canvas, CanvasLayout::Font);
  CopyFont(font, Field<void*>(self, LabelLayout::Font));
  HDC dc = vcl_TCanvas_GetHandle(canvas);
  const std::wstring text = LabelText(self);
  const uint8_t alignment = Field<uint8_t>(self, LabelLayout::Alignment);
  const UINT flags = DT_EXPANDTABS | (alignment == taRightJustify ? DT_RIGHT : alignment == taCenter ? DT_CENTER : DT_LEFT);
  HGDIOBJ old = SelectObject(dc, FontHandle(font));
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  const COLORREF oldColor = SetTextColor(dc, FontColor(font));
  RECT r = {client.Left, client.Top, client.Right, client.Bottom};
  DrawTextW(dc, text.c_str(), int(text.size()), &r, flags);
  SetTextColor(dc, oldColor);
  SetBkMode(dc, oldMode);
  SelectObject(dc, old);
}

void QM_HOST_REGISTER vcl_TCustomLabel_SetAlignment(void* self, uint32_t value) {
  Field<uint8_t>(self, LabelLayout::Alignment) = uint8_t(value);
  vcl_TControl_Repaint(self);
}

void QM_HOST_REGISTER vcl_TCustomLabel_SetTransparent(void* self, uint32_t value) {
  Field<uint8_t>(self, LabelLayout::Transparent) = (value & 0xFF) != 0;
  vcl_TControl_Repaint(self);
}

void QM_HOST_REGISTER vcl_TCustomLabel_SetAutoSize(void* self, uint32_t value) {
  Field<uint8_t>(self, LabelLayout::AutoSize) = (value & 0xFF) != 0;
  AdjustBounds(self);
}

// Only labels keep a text in the stand-in.
void QM_HOST_REGISTER vcl_TControl_SetText(void* self, const wchar_t* text) {
  if (!IsLabel(self)) return;
  Rtl().ustrAsg(&Field<wchar_t*>(self, LabelLayout::Caption), text);
  AdjustBounds(self);
  vcl_TControl_Repaint(self);
}

void QM_HOST_REGISTER vcl_TControl_SetParent(void* self, void* parent) {
  if (Field<void*>(self, ControlLayout::Parent) == parent) return;
  DetachFromParent(self);
  if (!parent) return;
  Field<void*>(self, ControlLayout::Parent) = parent;
  Children()[parent].push_back(self);
  vcl_TControl_Repaint(self);
}

void QM_HOST_REGISTER vcl_TControl_SetAnchors(void* self, uint32_t anchors) {
  if (Inherits(self, vcl_TWinControl_Class))
    Field<uint8_t>(self, WinControlDriver::WinControlLayout::Anchors) = uint8_t(anchors);
  else
    Field<uint8_t>(self, ControlAnchors) = uint8_t(anchors);
}

void QM_HOST_REGISTER vcl_TControl_SetLeft(void* self, int32_t left) {
  SetControlBounds(self, left, Field<int32_t>(self, ControlLayout::Top), Field<int32_t>(self, ControlLayout::Width),
                   Field<int32_t>(self, ControlLayout::Height));
  vcl_TControl_Repaint(self);
}

void QM_HOST_REGISTER vcl_TControl_SetTop(void* self, int32_t top) {
  SetControlBounds(self, Field<int32_t>(self, ControlLayout::Left), top, Field<int32_t>(self, ControlLayout::Width),
                   Field<int32_t>(self, ControlLayout::Height));
  vcl_TControl_Repaint(self);
}

// A form with a window answers its window's client width; others their width.
int32_t QM_HOST_REGISTER vcl_TControl_GetClientWidth(void* self) {
  if (Inherits(self, vcl_TCustomForm_Class))
    if (HWND window = Field<HWND>(self, FormLayout::Handle)) {
      RECT r;
      GetClientRect(window, &r);
      return r.right - r.left;
    }
  return Field<int32_t>(self, ControlLayout::Width);
}

// Paints the control now, on the window of the form it is shown on (the
// background under it first); nothing while it is on none.
void QM_HOST_REGISTER vcl_TControl_Repaint(void* self) {
  if (IsLabel(self)) ++Field<int32_t>(self, LabelLayout::Repaints);
  int32_t left = Field<int32_t>(self, ControlLayout::Left), top = Field<int32_t>(self, ControlLayout::Top);
  for (void* parent = Field<void*>(self, ControlLayout::Parent); parent;
       parent = Field<void*>(parent, ControlLayout::Parent)) {
    if (Inherits(parent, vcl_TCustomForm_Class)) {
      HWND window = Field<HWND>(parent, FormLayout::Handle);
      if (!window) return;
      RECT r = {left, top, left + Field<int32_t>(self, ControlLayout::Width),
                top + Field<int32_t>(self, ControlLayout::Height)};
      InvalidateRect(window, &r, TRUE);
      UpdateWindow(window);
      return;
    }
    left += Field<int32_t>(parent, ControlLayout::Left);
    top += Field<int32_t>(parent, ControlLayout::Top);
  }
}

void QM_HOST_REGISTER vcl_TFont_SetSize(void* self, int32_t points) {
  vcl_TFont_SetHeight(self, -MulDiv(points, PixelsPerInch, 72));
}

int32_t QM_HOST_REGISTER vcl_TFont_GetHeight(void* self) { return Field<int32_t>(self, FontLayout::Height); }

void __stdcall VclLabelState(void* label, TLabelState* state) {
  *state = TLabelState{};
  state->Paints = Field<int32_t>(label, LabelLayout::Paints);
  state->Repaints = Field<int32_t>(label, LabelLayout::Repaints);
  state->Left = Field<int32_t>(label, ControlLayout::Left);
  state->Top = Field<int32_t>(label, ControlLayout::Top);
  state->Width = Field<int32_t>(label, ControlLayout::Width);
  state->Height = Field<int32_t>(label, ControlLayout::Height);
  state->Alignment = Field<uint8_t>(label, LabelLayout::Alignment);
  state->Transparent = Field<uint8_t>(label, LabelLayout::Transparent);
  state->AutoSize = Field<uint8_t>(label, LabelLayout::AutoSize);
  state->Anchors = Field<uint8_t>(label, ControlAnchors);
  state->Parent = Field<void*>(label, ControlLayout::Parent);
  state->Font = Field<void*>(label, LabelLayout::Font);
  state->Caption = Field<const wchar_t*>(label, LabelLayout::Caption);
}

int32_t __stdcall VclControlChildren(void* parent, void** children, int32_t max) {
  const std::vector<void*>& list = ControlChildren(parent);
  for (int32_t i = 0; i < max && size_t(i) < list.size(); ++i) children[i] = list[size_t(i)];
  return int32_t(list.size());
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&VclLabelState), LabelStateFn> &&
                  std::is_same_v<decltype(&VclControlChildren), ControlChildrenFn>,
              "exports differ from LabelsDriver.h");
