// TSplashLabel: a subclass of the host's label, built at run time in the
// host's layout, with fields of its own behind the label's. It shows the
// product title and, once a position is set, the percentage and a bar whose
// filled part is a tinted copy of what lies under it.
#pragma once

#include <cstdint>
#include <string>

namespace Quillmend {

struct TSplashLabelState {
  int32_t Percent, Position, Max;
  void* Bitmap;  // the tinted copy of the bar's background, made on first paint
  bool ShowProgress;
};

// A new label of the class (made on first use), owned by `owner`, named
// "QuillmendLabel", right-justified, transparent, Max 100, not yet parented.
// Null when the host's label class cannot be subclassed.
void* NewSplashLabel(void* owner);
bool IsSplashLabel(const void* object);
TSplashLabelState SplashLabelState(const void* label);
// Position: the same one only switches the progress on (repainting once);
// another one is stored, and a changed percentage sets the caption and repaints.
void SetSplashPosition(void* label, int32_t position);
// The caption: the title, a line break, and the percentage once shown.
std::wstring SplashCaption(int32_t percent, bool showProgress);
// Tints one 24-bit pixel row in place: blue + 255, green and red − 50, clamped.
void TintPixels(uint8_t* bgr, int32_t pixels);
// Labels that outlive the library behave as plain host labels from now on.
void RetireSplashLabelClass();

}  // namespace Quillmend
