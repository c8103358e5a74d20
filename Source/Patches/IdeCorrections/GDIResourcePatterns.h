// The visual component library's code the GDI handle patches find
// (vcl150.bpl), each pattern searched from the routine it belongs to.
#pragma once

namespace Quillmend {
namespace GDIResourcePatterns {

// TToolBar's constructor making its private bitmap: create (call at +7),
// width 1, height 1, brush colour, fill. The set-up from +20 to the end is
// jumped over once the bitmap is shared.
constexpr const char* ToolBarCreateBitmap =
    "B2 01 A1 ?? ?? ?? ?? E8 ?? ?? ?? ?? 8B D8 89 9E ?? ?? 00 00 BA 01 00 00 00 8B C3 8B 08 FF 51 ?? BA 01 00 00 00 "
    "8B C3 8B 08 FF 51 ?? 8B C3 E8 ?? ?? ?? ?? 8B 40 ?? BA 0F 00 00 FF E8 ?? ?? ?? ?? 6A 01 8D 45 ?? 50 B9 01 00 00 "
    "00 33 D2 33 C0 E8 ?? ?? ?? ?? 8D 45 ?? 50 8B C3 E8 ?? ?? ?? ?? 5A 8B 08 FF 51 ??";
constexpr int ToolBarCreateWindow = 512;
constexpr int ToolBarCreateCall = 7;
constexpr int ToolBarSetUp = 20;
constexpr const char* ToolBarSkipSetUp = "EB 4F 90 90 90";  // jmp +0x4F: to the pattern's end

// TToolBar's destructor freeing an object, then the bitmap (call at +28).
constexpr const char* ToolBarDestroyFrees =
    "57 55 E8 ?? ?? ?? ?? 8B DA 8B E8 8B 85 ?? ?? 00 00 E8 ?? ?? ?? ?? 8B 85 ?? ?? 00 00 E8 ?? ?? ?? ??";
constexpr int ToolBarDestroyWindow = 10;
constexpr int ToolBarFreeBitmapCall = 28;

// TCustomImageList.Initialize creating the list's bitmap (call at +7, stored
// at the field whose offset is the byte at +14) and calling the bitmap
// (re)allocation routine (call at +17).
constexpr const char* ImageListInitializeBitmap =
    "B2 01 A1 ?? ?? ?? ?? E8 ?? ?? ?? ?? 89 43 ?? 8B C3 E8 ?? ?? ?? ?? 33 C0 5A 59 59";
constexpr int ImageListInitializeWindow = 256;
constexpr int ImageListCreateCall = 7;
constexpr int ImageListBitmapFieldByte = 14;
constexpr int ImageListReallocCall = 17;

// The image list's destructor freeing the list's bitmap (call at +3).
constexpr const char* ImageListDestroyFrees =
    "8B 47 ?? E8 ?? ?? ?? ?? 8B C7 E8 ?? ?? ?? ?? 8B 47 ?? E8 ?? ?? ?? ?? 33 C0 89 47 ??";
constexpr int ImageListDestroyWindow = 50;
constexpr int ImageListFreeBitmapCall = 3;

} // namespace GDIResourcePatterns
} // namespace Quillmend
