// The IDE corrections' stand-ins in the test process: rtl150.bpl,
// vcl150.bpl, boreditu.dll and coreide150.bpl (or a variant's copies), their drivers, a
// canvas to paint on, and the workloads the three-way tests compare before
// and after installing.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "boreditu/BorEditDriver.h"
#include "coreide150/ParseThreadWaitDriver.h"
#include "vcl150/VclDriver.h"

namespace StandIns {

// The modules in loading order, as the three-way harness loads them.
const std::vector<std::wstring>& ModuleFiles();
// Loads them from <build>/host (a variant's copy where it has one) and binds the drivers.
void Load(const char* variant = nullptr);
// Binds the drivers to the modules already loaded.
void BindLoaded();
const VclDriver::Driver& Vcl();
const BorEditDriver::Driver& Editor();
const ParseThreadWaitDriver::Driver& ParseWait();

// One bracket search: the match's index or -1.
int Match(const std::string& text, int caret);

// Installs the IDE corrections as the library does (unit initialization,
// then the expert entry) with "Quillmend.DisabledPatches" set.
void Install(const std::wstring& disabledPatches = L"");
// "applied", "failed", "ignored", or "" when the patch is not registered.
std::wstring Status(const std::wstring& patch);

// A 32-bit memory canvas (its DIB section counts as one bitmap handle).
class TCanvasTarget {
public:
  TCanvasTarget(int width, int height);
  ~TCanvasTarget();
  TCanvasTarget(const TCanvasTarget&) = delete;
  TCanvasTarget& operator=(const TCanvasTarget&) = delete;
  HDC Dc() const { return FDc; }
  // FNV-1a over the RGB of every pixel.
  uint32_t Checksum() const;
  uint32_t Pixel(int x, int y) const { return FPixels[y * FWidth + x] & 0xFFFFFF; }

private:
  int FWidth, FHeight;
  HDC FDc;
  HBITMAP FBitmap;
  HGDIOBJ FOld;
  uint32_t* FPixels = nullptr;
};

// Tool bars, scrollers and image lists (masked and opaque images, three
// sizes) made, painted and freed: what was drawn, as text.
std::string ExerciseGraphics();
// Bracket searches over texts without quotes or backslashes.
std::string ExerciseBrackets();
// The parser thread's wait, signalled and timed out, without messages.
std::string ExerciseParseWait();

} // namespace StandIns
