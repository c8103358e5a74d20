// Live GDI bitmap handles of the whole process. Wine's GetGuiResources
// answers 0, so the graphics library counts them itself: gdi32's bitmap
// constructors and DeleteObject are hooked at the package's start-up, and
// every bitmap made anywhere in the process (by this library, by the pack,
// by anyone) counts until it is deleted.
#pragma once

namespace Vcl {

void StartCountingBitmapHandles();
// Puts gdi32 back (the package is being unloaded).
void StopCountingBitmapHandles();
// Bitmaps made since the start and not deleted yet; -1 when a gdi32 entry
// has a start the counter cannot hook.
int LiveBitmapHandles();

} // namespace Vcl
