// Helpers of Labels.cpp shared with the splash form, and the exports the
// library's own files call.
#pragma once

#include <cstdint>
#include <vector>

#include "Common/HostLayout.h"

namespace Vcl {

// A parent's children, first parented first.
const std::vector<void*>& ControlChildren(void* parent);
// Takes a control off its parent's children (nothing without a parent).
void DetachFromParent(void* control);
// Forgets a parent's list (the parent is going).
void ForgetChildren(void* parent);

}  // namespace Vcl

extern "C" {
void QM_HOST_REGISTER vcl_TControl_Repaint(void* self) QM_HOST_SYMBOL(vcl_TControl_Repaint);
void QM_HOST_REGISTER vcl_TControl_SetText(void* self, const wchar_t* text) QM_HOST_SYMBOL(vcl_TControl_SetText);
void QM_HOST_REGISTER vcl_TControl_SetParent(void* self, void* parent) QM_HOST_SYMBOL(vcl_TControl_SetParent);
void QM_HOST_REGISTER vcl_TControl_SetAnchors(void* self, uint32_t anchors) QM_HOST_SYMBOL(vcl_TControl_SetAnchors);
void QM_HOST_REGISTER vcl_TControl_SetLeft(void* self, int32_t left) QM_HOST_SYMBOL(vcl_TControl_SetLeft);
void QM_HOST_REGISTER vcl_TControl_SetTop(void* self, int32_t top) QM_HOST_SYMBOL(vcl_TControl_SetTop);
int32_t QM_HOST_REGISTER vcl_TControl_GetClientWidth(void* self) QM_HOST_SYMBOL(vcl_TControl_GetClientWidth);
void QM_HOST_REGISTER vcl_TCustomLabel_SetAlignment(void* self, uint32_t value) QM_HOST_SYMBOL(vcl_TCustomLabel_SetAlignment);
void QM_HOST_REGISTER vcl_TCustomLabel_SetTransparent(void* self, uint32_t value)
    QM_HOST_SYMBOL(vcl_TCustomLabel_SetTransparent);
void QM_HOST_REGISTER vcl_TCustomLabel_SetAutoSize(void* self, uint32_t value) QM_HOST_SYMBOL(vcl_TCustomLabel_SetAutoSize);
void QM_HOST_REGISTER vcl_TFont_SetSize(void* self, int32_t points) QM_HOST_SYMBOL(vcl_TFont_SetSize);
int32_t QM_HOST_REGISTER vcl_TFont_GetHeight(void* self) QM_HOST_SYMBOL(vcl_TFont_GetHeight);
extern char vcl_TCustomLabel_Class[] QM_HOST_SYMBOL(vcl_TCustomLabel_Class);
}
