// Helpers of the Graphics unit shared by its files.
#pragma once

#include <windows.h>

#include <cstdint>

namespace Vcl {

void* NewPen();
void* NewFont();
// The tool's GDI object, made when first needed (owned by the tool).
HBRUSH BrushHandle(void* brush);
HPEN PenHandle(void* pen);
HFONT FontHandle(void* font);
uint32_t FontColor(void* font);

// A bitmap's canvas (Canvas.cpp); its memory context goes when the bitmap
// changes (ReleaseCanvasHandle) and comes back when drawing starts.
void* NewBitmapCanvas(void* bitmap);
void ReleaseCanvasHandle(void* canvas);

// A new bitmap handle of that size (compatible with the screen, black), or
// EOutOfResources "Out of system resources" (also when a failure is armed).
HBITMAP NewBitmapHandle(int32_t width, int32_t height);
// The pixels of a bitmap handle not selected anywhere: 32 bits, top-down,
// into `pixels` (width * height entries).
void ReadBitmapPixels(HBITMAP bitmap, int32_t width, int32_t height, uint32_t* pixels);
void WriteBitmapPixels(HBITMAP bitmap, int32_t width, int32_t height, const uint32_t* pixels);

} // namespace Vcl
