// Helpers of the Controls unit shared by its files.
#pragma once

#include <windows.h>

namespace Vcl {

// Paints a custom control on a device context (its canvas holds the
// context while its Paint runs).
void PaintControl(void* control, HDC dc);
// SetBounds(Left, Top, Width, Height), through the control's virtual method.
void SetControlBounds(void* control, int left, int top, int width, int height);

} // namespace Vcl
