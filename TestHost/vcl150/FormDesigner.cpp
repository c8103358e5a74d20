// TCustomForm.SetDesigner (EAX = the form, EDX = an IDesignerHook reference
// or nil): the form keeps its designer (the reference counted, the old one
// released). Kept beside the form, not in its layout.
#include <windows.h>

#include <map>
#include <mutex>

#include "Common/HostLayout.h"

namespace {

std::mutex g_lock;
std::map<void*, void*> g_designers;  // form → designer reference

using RefCountFn = ULONG(__stdcall*)(void* intf);
void Count(void* intf, int slot) {
  if (intf) reinterpret_cast<RefCountFn>((*static_cast<void* const* const*>(intf))[slot])(intf);
}

} // namespace

extern "C" {

void QM_HOST_REGISTER vcl_SetDesignerBody(void* form, void* designer) QM_HOST_SYMBOL(vcl_SetDesignerBody);
void QM_HOST_REGISTER vcl_SetDesignerBody(void* form, void* designer) {
  Count(designer, 1);
  void* old = nullptr;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    void*& slot = g_designers[form];
    old = slot;
    slot = designer;
  }
  Count(old, 2);
}

// The form's designer reference (not counted), or nil.
void* __stdcall VclFormDesigner(void* form) {
  std::lock_guard<std::mutex> hold(g_lock);
  auto found = g_designers.find(form);
  return found == g_designers.end() ? nullptr : found->second;
}

} // extern "C"
