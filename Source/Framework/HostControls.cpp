#include "Framework/HostControls.h"

namespace Quillmend {

namespace {

const wchar_t* const Vcl = L"vcl150.bpl";
const wchar_t* const Rtl = L"rtl150.bpl";

using TCreate = void*(QM_REGISTER*)(void* classRef, uint32_t alloc, void* owner);
using TSetByte = void(QM_REGISTER*)(void* self, uint32_t value);
using TSetInt = void(QM_REGISTER*)(void* self, int32_t value);
using TSetPointer = void(QM_REGISTER*)(void* self, const void* value);
using TGetInt = int32_t(QM_REGISTER*)(void* self);
using TSelf = void(QM_REGISTER*)(void* self);
using TGetHandle = HDC(QM_REGISTER*)(void* self);
// Rectangle(X1, Y1, X2, Y2): X2 and Y2 on the stack, declared the other way round.
using TRectangle = void(QM_REGISTER*)(void* self, int32_t x1, int32_t y1, int32_t y2, int32_t x2);
// TextExtent returns a TSize through the hidden last argument.
using TTextExtent = void(QM_REGISTER*)(void* self, const wchar_t* text, SIZE* result);
using TCopyRect = void(QM_REGISTER*)(void* self, const THostRect* dest, void* canvas, const THostRect* source);
using TFindComponent = void*(QM_REGISTER*)(void* self, const wchar_t* name);

struct TBound {
  void* LabelClass;
  TCreate LabelCreate;
  TSetByte SetAlignment, SetTransparent, SetAutoSize, SetAnchors;
  TSetPointer SetText, SetParent, FontSetName, SetName;
  TSetInt SetLeft, SetTop, FontSetColor, FontSetStyle, FontSetSize, BrushSetStyle, PenSetColor, PenSetStyle;
  TGetInt GetClientWidth, FontGetHeight;
  TSelf Repaint;
  TGetHandle CanvasGetHandle;
  TRectangle CanvasRectangle;
  TTextExtent CanvasTextExtent;
  TCopyRect CanvasCopyRect;
  void** Application;
  TFindComponent FindComponent;
} g_host = {};

template <class T>
T& At(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

}  // namespace

THostControlSites DeclareHostControls(TPatchPlan& plan) {
  THostControlSites s;
  s.LabelClass = plan.Export(L"TCustomLabel", Vcl, "@Stdctrls@TCustomLabel@");
  s.LabelCreate = plan.Export(L"TCustomLabel.Create", Vcl, "@Stdctrls@TCustomLabel@$bctr$qqrp18Classes@TComponent");
  s.SetAlignment =
      plan.Export(L"TCustomLabel.SetAlignment", Vcl, "@Stdctrls@TCustomLabel@SetAlignment$qqr17Classes@TAlignment");
  s.SetTransparent = plan.Export(L"TCustomLabel.SetTransparent", Vcl, "@Stdctrls@TCustomLabel@SetTransparent$qqro");
  s.SetAutoSize = plan.Export(L"TCustomLabel.SetAutoSize", Vcl, "@Stdctrls@TCustomLabel@SetAutoSize$qqro");
  s.SetText = plan.Export(L"TControl.SetText", Vcl, "@Controls@TControl@SetText$qqrx20System@UnicodeString");
  s.SetParent = plan.Export(L"TControl.SetParent", Vcl, "@Controls@TControl@SetParent$qqrp20Controls@TWinControl");
  s.SetAnchors = plan.Export(L"TControl.SetAnchors", Vcl,
                             "@Controls@TControl@SetAnchors$qqrx48System@%Set$t18Controls@TAnchorKind$iuc$0$iuc$3%");
  s.SetLeft = plan.Export(L"TControl.SetLeft", Vcl, "@Controls@TControl@SetLeft$qqri");
  s.SetTop = plan.Export(L"TControl.SetTop", Vcl, "@Controls@TControl@SetTop$qqri");
  s.GetClientWidth = plan.Export(L"TControl.GetClientWidth", Vcl, "@Controls@TControl@GetClientWidth$qqrv");
  s.Repaint = plan.Export(L"TControl.Repaint", Vcl, "@Controls@TControl@Repaint$qqrv");
  s.FontSetName = plan.Export(L"TFont.SetName", Vcl, "@Graphics@TFont@SetName$qqrx20System@UnicodeString");
  s.FontSetColor = plan.Export(L"TFont.SetColor", Vcl, "@Graphics@TFont@SetColor$qqrx15Graphics@TColor");
  s.FontSetStyle = plan.Export(L"TFont.SetStyle", Vcl,
                               "@Graphics@TFont@SetStyle$qqrx47System@%Set$t19Graphics@TFontStyle$iuc$0$iuc$3%");
  s.FontSetSize = plan.Export(L"TFont.SetSize", Vcl, "@Graphics@TFont@SetSize$qqrxi");
  s.FontGetHeight = plan.Export(L"TFont.GetHeight", Vcl, "@Graphics@TFont@GetHeight$qqrv");
  s.BrushSetStyle = plan.Export(L"TBrush.SetStyle", Vcl, "@Graphics@TBrush@SetStyle$qqr19Graphics@TBrushStyle");
  s.PenSetColor = plan.Export(L"TPen.SetColor", Vcl, "@Graphics@TPen@SetColor$qqrx15Graphics@TColor");
  s.PenSetStyle = plan.Export(L"TPen.SetStyle", Vcl, "@Graphics@TPen@SetStyle$qqr17Graphics@TPenStyle");
  s.CanvasGetHandle = plan.Export(L"TCanvas.GetHandle", Vcl, "@Graphics@TCanvas@GetHandle$qqrv");
  s.CanvasRectangle = plan.Export(L"TCanvas.Rectangle", Vcl, "@Graphics@TCanvas@Rectangle$qqriiii");
  s.CanvasTextExtent = plan.Export(L"TCanvas.TextExtent", Vcl, "@Graphics@TCanvas@TextExtent$qqrx20System@UnicodeString");
  s.CanvasCopyRect = plan.Export(L"TCanvas.CopyRect", Vcl,
                                 "@Graphics@TCanvas@CopyRect$qqrrx11Types@TRectp16Graphics@TCanvasrx11Types@TRect");
  s.Application = plan.Export(L"Application", Vcl, "@Forms@Application");
  s.FindComponent = plan.Export(L"TComponent.FindComponent", Rtl,
                                "@Classes@TComponent@FindComponent$qqrx20System@UnicodeString");
  s.SetName = plan.Export(L"TComponent.SetName", Rtl, "@Classes@TComponent@SetName$qqrx20System@UnicodeString");
  return s;
}

void BindHostControls(const TPlanValues& v, const THostControlSites& s) {
  auto site = [&v](TSiteRef ref) { return reinterpret_cast<void*>(v.Site(ref)); };
  g_host.LabelClass = site(s.LabelClass);
  g_host.LabelCreate = reinterpret_cast<TCreate>(site(s.LabelCreate));
  g_host.SetAlignment = reinterpret_cast<TSetByte>(site(s.SetAlignment));
  g_host.SetTransparent = reinterpret_cast<TSetByte>(site(s.SetTransparent));
  g_host.SetAutoSize = reinterpret_cast<TSetByte>(site(s.SetAutoSize));
  g_host.SetAnchors = reinterpret_cast<TSetByte>(site(s.SetAnchors));
  g_host.SetText = reinterpret_cast<TSetPointer>(site(s.SetText));
  g_host.SetParent = reinterpret_cast<TSetPointer>(site(s.SetParent));
  g_host.FontSetName = reinterpret_cast<TSetPointer>(site(s.FontSetName));
  g_host.SetName = reinterpret_cast<TSetPointer>(site(s.SetName));
  g_host.SetLeft = reinterpret_cast<TSetInt>(site(s.SetLeft));
  g_host.SetTop = reinterpret_cast<TSetInt>(site(s.SetTop));
  g_host.FontSetColor = reinterpret_cast<TSetInt>(site(s.FontSetColor));
  g_host.FontSetStyle = reinterpret_cast<TSetInt>(site(s.FontSetStyle));
  g_host.FontSetSize = reinterpret_cast<TSetInt>(site(s.FontSetSize));
  g_host.BrushSetStyle = reinterpret_cast<TSetInt>(site(s.BrushSetStyle));
  g_host.PenSetColor = reinterpret_cast<TSetInt>(site(s.PenSetColor));
  g_host.PenSetStyle = reinterpret_cast<TSetInt>(site(s.PenSetStyle));
  g_host.GetClientWidth = reinterpret_cast<TGetInt>(site(s.GetClientWidth));
  g_host.FontGetHeight = reinterpret_cast<TGetInt>(site(s.FontGetHeight));
  g_host.Repaint = reinterpret_cast<TSelf>(site(s.Repaint));
  g_host.CanvasGetHandle = reinterpret_cast<TGetHandle>(site(s.CanvasGetHandle));
  g_host.CanvasRectangle = reinterpret_cast<TRectangle>(site(s.CanvasRectangle));
  g_host.CanvasTextExtent = reinterpret_cast<TTextExtent>(site(s.CanvasTextExtent));
  g_host.CanvasCopyRect = reinterpret_cast<TCopyRect>(site(s.CanvasCopyRect));
  g_host.Application = static_cast<void**>(site(s.Application));
  g_host.FindComponent = reinterpret_cast<TFindComponent>(site(s.FindComponent));
}

void* HostLabelClass() { return g_host.LabelClass; }
void* NewHostLabel(void* classRef, void* owner) { return g_host.LabelCreate(classRef, 1, owner); }
void HostSetAlignment(void* label, THostAlignment alignment) { g_host.SetAlignment(label, alignment); }
void HostSetTransparent(void* label, bool value) { g_host.SetTransparent(label, value ? 1 : 0); }
void HostSetAutoSize(void* label, bool value) { g_host.SetAutoSize(label, value ? 1 : 0); }
void HostSetText(void* control, const wchar_t* hostText) { g_host.SetText(control, hostText); }
void HostSetParent(void* control, void* parent) { g_host.SetParent(control, parent); }
void HostSetAnchors(void* control, uint8_t anchors) { g_host.SetAnchors(control, anchors); }
void HostSetLeft(void* control, int32_t left) { g_host.SetLeft(control, left); }
void HostSetTop(void* control, int32_t top) { g_host.SetTop(control, top); }
int32_t HostClientWidth(void* control) { return g_host.GetClientWidth(control); }
void HostRepaint(void* control) { g_host.Repaint(control); }
int32_t HostControlField(void* control, int offset) { return At<int32_t>(control, offset); }
void* HostControlFont(void* label) { return At<void*>(label, HostControlLayout::Font); }

void HostFontSetName(void* font, const wchar_t* hostName) { g_host.FontSetName(font, hostName); }
void HostFontSetColor(void* font, int32_t color) { g_host.FontSetColor(font, color); }
void HostFontSetStyle(void* font, int32_t style) { g_host.FontSetStyle(font, style); }
void HostFontSetSize(void* font, int32_t points) { g_host.FontSetSize(font, points); }
int32_t HostFontHeight(void* font) { return g_host.FontGetHeight(font); }

HDC HostCanvasHandle(void* canvas) { return g_host.CanvasGetHandle(canvas); }
void HostCanvasBrushStyle(void* canvas, int32_t style) {
  g_host.BrushSetStyle(At<void*>(canvas, HostCanvasTools::Brush), style);
}
void HostCanvasPen(void* canvas, int32_t color, int32_t style) {
  void* pen = At<void*>(canvas, HostCanvasTools::Pen);
  g_host.PenSetColor(pen, color);
  g_host.PenSetStyle(pen, style);
}
void HostCanvasRectangle(void* canvas, const THostRect& r) {
  g_host.CanvasRectangle(canvas, r.Left, r.Top, r.Bottom, r.Right);
}
SIZE HostCanvasTextExtent(void* canvas, const wchar_t* hostText) {
  SIZE size = {0, 0};
  g_host.CanvasTextExtent(canvas, hostText, &size);
  return size;
}
void HostCanvasCopyRect(void* canvas, const THostRect& dest, void* source, const THostRect& sourceRect) {
  g_host.CanvasCopyRect(canvas, &dest, source, &sourceRect);
}

void* HostApplication() { return g_host.Application ? *g_host.Application : nullptr; }
void* HostFindComponent(void* owner, const wchar_t* hostName) { return g_host.FindComponent(owner, hostName); }
void HostSetName(void* component, const wchar_t* hostName) { g_host.SetName(component, hostName); }

}  // namespace Quillmend
