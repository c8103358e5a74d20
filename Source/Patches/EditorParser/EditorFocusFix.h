// "Editor.FocusFix": when the IDE becomes the active application again, the
// form that was active gets the focus back. A hook on the application's main
// window (installed at unit initialization, removed at finalization) posts
// message 1565 to the application window on WM_ACTIVATEAPP (wParam non-zero)
// while the screen's active form has a window, and on 1565 activates that
// window. It never reports a message as handled.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

constexpr uint32_t FocusFixActivateMessage = 1565;  // 0x061D

// The hook: function(var Message: TMessage): Boolean of object (EAX = Data, EDX = &Message).
uint8_t QM_REGISTER FocusFixHook(void* data, void* message);

TPatchPlan FocusFixPlan();
// Installs the plan and, when it applies, hooks the main window.
void InstallEditorFocusFix();
// Removes the hook (unit finalization).
void RemoveEditorFocusFix();
bool EditorFocusFixHooked();

extern const TUnitInfo Unit_EditorFocusFix;

} // namespace Quillmend
