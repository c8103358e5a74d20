// The editor control's driver (coreide150.bpl, EditorControl.cpp), declared
// once for the tests and bds.exe.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace EditorControlDriver {

namespace Export {
constexpr const char* HideBlock = "@Editorcontrol@TCustomEditControl@HideBlock$qqrv";
constexpr const char* PointFromEdPos = "@Editorcontrol@TCustomEditControl@PointFromEdPos$qqrrx9Ek@TEdPosoo";
constexpr const char* Create = "EditControlCreate";
constexpr const char* BlockVisible = "EditControlBlockVisible";
constexpr const char* Free = "EditControlFree";
}  // namespace Export

struct TEdPos {
  int16_t Col;
  int16_t Reserved;
  int32_t Line;
};
struct TPoint {
  int32_t X, Y;
};

using HideBlockFn = void(QM_HOST_REGISTER*)(void* control);
// EAX = control, EDX = &position, ECX = Boolean; stack: the result's address
// (pushed last), the second Boolean (pushed first).
using PointFromEdPosFn = void(QM_HOST_REGISTER*)(void* control, const TEdPos* position, uint32_t clip,
                                                 TPoint* result, uint32_t relative);
// A control (8 x 16 pixel characters) with a view scrolled to (topLine, leftColumn), or none.
using CreateFn = void*(__stdcall*)(int32_t withView, int32_t topLine, int32_t leftColumn);
// The view's block flag (1 until HideBlock), or -1 without a view.
using BlockVisibleFn = int32_t(__stdcall*)(void* control);
using FreeFn = void(__stdcall*)(void* control);

}  // namespace EditorControlDriver
