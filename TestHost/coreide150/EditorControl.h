// The editor control (Editorcontrol.TCustomEditControl) as far as the pack
// meets it: the view field HideBlock reads and PointFromEdPos, which maps an
// editor position to a point in the control through its view. Layouts are
// the test host's choice.
#pragma once

#include <cstdint>

#include "Common/HostLayout.h"
#include "EditorControlDriver.h"

namespace CoreIde {

namespace EditControlLayout {
constexpr int View = 0x2E4;        // the control's current view (TEditControlView*), or nil
constexpr int CharWidth = 0x2E8;   // pixels per column
constexpr int LineHeight = 0x2EC;  // pixels per line
constexpr int Size = 0x2F0;
}  // namespace EditControlLayout

namespace EditViewLayout {
constexpr int TopLine = 0;     // first visible line (1-based)
constexpr int LeftColumn = 4;  // first visible column (1-based)
constexpr int BlockVisible = 8;
constexpr int Size = 12;
}  // namespace EditViewLayout

using TEdPos = EditorControlDriver::TEdPos;
using TPoint = EditorControlDriver::TPoint;

}  // namespace CoreIde

extern "C" {
// HideBlock (EditorControlCode.S): EAX = the control.
void QM_HOST_REGISTER CoreIdeHideBlock(void* control) QM_HOST_SYMBOL(coreide_HideBlock);
// PointFromEdPos: EAX = control, EDX = &position, ECX = a Boolean, then on
// the stack a second Boolean and the address of the result (a TPoint).
void QM_HOST_REGISTER CoreIdePointFromEdPos(void* control, const CoreIde::TEdPos* position, uint32_t clip,
                                             CoreIde::TPoint* result, uint32_t relative)
    QM_HOST_SYMBOL(coreide_PointFromEdPosBody);
void QM_HOST_REGISTER CoreIdeHideView(void* view) QM_HOST_SYMBOL(coreide_HideView);
}
