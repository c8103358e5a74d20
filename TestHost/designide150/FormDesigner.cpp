// The form designer (FormDesignerDriver.h): designer classes, designers,
// their guideline objects and IsDesignMsg.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <type_traits>

#include "Common/HostClass.h"
#include "Common/HostLayout.h"
#include "FormDesignerDriver.h"

using namespace QmHost;
using namespace FormDesignerDriver;

QM_HOST_CLASS(designide_TDesignSurface_Class, 0);
QM_HOST_CLASS(designide_TFormDesigner_Class, 0);
QM_HOST_CLASS(designide_TOtherSurface_Class, 0);
QM_HOST_CLASS(designide_TOtherDesigner_Class, 0);
QM_HOST_CLASS(designide_TLargeSurface_Class, 0);
QM_HOST_CLASS(designide_TLargeDesigner_Class, 0);

extern "C" {
// The interface's method table (FormDesignerCode.S).
extern const void* designide_DesignerHookMethods[] QM_HOST_SYMBOL(designide_DesignerHookMethods);
}

namespace {

std::mutex g_lock;
std::string g_hides;
int g_hideCount = 0;
int g_messages = 0;

void* g_objectVar = nullptr;
void* g_surfaceVar = nullptr;
void* g_otherSurfaceVar = nullptr;
void* g_largeSurfaceVar = nullptr;
void* g_designerClasses[3] = {};

void BuildClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_objectVar = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"rtl150.bpl"), "@System@TObject@"));
    g_surfaceVar = HostClassBuilder(designide_TDesignSurface_Class_Storage, "TDesignSurface")
                       .Parent(&g_objectVar).InstanceSize(DesignSurfaceSize).Build();
    g_otherSurfaceVar = HostClassBuilder(designide_TOtherSurface_Class_Storage, "TOtherSurface")
                            .Parent(&g_objectVar).InstanceSize(DesignSurfaceSize).Build();
    g_largeSurfaceVar = HostClassBuilder(designide_TLargeSurface_Class_Storage, "TLargeSurface")
                            .Parent(&g_objectVar).InstanceSize(0x70).Build();
    g_designerClasses[FormDesigner] = HostClassBuilder(designide_TFormDesigner_Class_Storage, "TFormDesigner")
                                          .Parent(&g_surfaceVar).InstanceSize(DesignerLayout::Size).Build();
    g_designerClasses[OtherDesigner] = HostClassBuilder(designide_TOtherDesigner_Class_Storage, "TOtherDesigner")
                                           .Parent(&g_otherSurfaceVar).InstanceSize(DesignerLayout::Size).Build();
    g_designerClasses[LargeDesigner] = HostClassBuilder(designide_TLargeDesigner_Class_Storage, "TLargeDesigner")
                                           .Parent(&g_largeSurfaceVar).InstanceSize(DesignerLayout::Size).Build();
  });
}

// The guideline object's method 6: EAX = it, EDX, ECX, then two stack
// arguments pushed in order (declared in reverse).
void QM_HOST_REGISTER GuidelineHide(void*, void* a, std::int32_t b, std::int32_t d, std::int32_t c) {
  char text[64];
  std::snprintf(text, sizeof text, "%lX,%ld,%ld,%ld;", static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(a)),
                static_cast<long>(b), static_cast<long>(c), static_cast<long>(d));
  std::lock_guard<std::mutex> hold(g_lock);
  g_hides += text;
  ++g_hideCount;
}
void QM_HOST_REGISTER GuidelineOther(void*) {}

const void* const GuidelineMethods[GuidelineHideSlot + 1] = {
    reinterpret_cast<const void*>(&GuidelineOther), reinterpret_cast<const void*>(&GuidelineOther),
    reinterpret_cast<const void*>(&GuidelineOther), reinterpret_cast<const void*>(&GuidelineOther),
    reinterpret_cast<const void*>(&GuidelineOther), reinterpret_cast<const void*>(&GuidelineOther),
    reinterpret_cast<const void*>(&GuidelineHide)};

template <class T>
T& At(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

} // namespace

extern "C" {

// The designer's IsDesignMsg (EAX = the designer, EDX = sender, ECX = the message).
std::uint32_t QM_HOST_REGISTER designide_IsDesignMsgBody(void*, void*, void*) QM_HOST_SYMBOL(designide_IsDesignMsgBody);
std::uint32_t QM_HOST_REGISTER designide_IsDesignMsgBody(void*, void*, void*) {
  std::lock_guard<std::mutex> hold(g_lock);
  ++g_messages;
  return 0;
}

void* __stdcall DesignNewDesigner(int kind, int withGuidelines) {
  BuildClasses();
  void* designer = std::calloc(1, DesignerLayout::Size);
  At<void*>(designer, 0) = g_designerClasses[kind];
  if (withGuidelines) {
    auto* guidelines = static_cast<const void* const**>(std::calloc(1, 8));
    *guidelines = GuidelineMethods;
    At<void*>(designer, DesignerLayout::Guidelines) = guidelines;
  }
  At<const void* const*>(designer, DesignerLayout::Hook) = designide_DesignerHookMethods;
  return designer;
}

void* __stdcall DesignDesignerHook(void* designer) { return static_cast<char*>(designer) + DesignerLayout::Hook; }

void __stdcall DesignSetGuidelineState(void* designer, int state) { At<std::int32_t>(designer, DesignerLayout::State) = state; }

int __stdcall DesignGuidelineHides(char* out, int size) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (size > 0) {
    const size_t copied = g_hides.size() < size_t(size) ? g_hides.size() : size_t(size) - 1;
    g_hides.copy(out, copied);
    out[copied] = 0;
  }
  return g_hideCount;
}

int __stdcall DesignDesignMessages() {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_messages;
}

// IUnknown of the interface (stdcall, after the stub's adjustment): no
// other interface, no reference counting (designers live as long as the process).
HRESULT __stdcall designide_HookQueryInterface(void*, const GUID*, void** out) QM_HOST_SYMBOL(designide_HookQueryInterface);
HRESULT __stdcall designide_HookQueryInterface(void*, const GUID*, void** out) {
  *out = nullptr;
  return E_NOINTERFACE;
}
ULONG __stdcall designide_HookRefCount(void*) QM_HOST_SYMBOL(designide_HookRefCount);
ULONG __stdcall designide_HookRefCount(void*) { return 1; }

} // extern "C"

static_assert(std::is_same_v<decltype(&DesignNewDesigner), NewFn>, "New");
static_assert(std::is_same_v<decltype(&DesignDesignerHook), HookFn>, "Hook");
static_assert(std::is_same_v<decltype(&DesignSetGuidelineState), SetStateFn>, "SetState");
static_assert(std::is_same_v<decltype(&DesignGuidelineHides), HidesFn>, "Hides");
static_assert(std::is_same_v<decltype(&DesignDesignMessages), MessagesFn>, "Messages");
