// The splash progress on screen: the splash form's window on a virtual
// display, the label made and advanced by real package loads, then the
// screen's pixels read back. The caption shows in white at the top right,
// and the bar's outline in grey with its filled part in the tinted colour of
// the known background, about as far as the progress. The screenshot is
// left in <build>/artifacts/splash.bmp.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Framework/SplashLabel.h"
#include "Framework/SplashProgress.h"
#include "SplashHost.h"
#include "TestPaths.h"

using namespace Quillmend;

namespace {

constexpr COLORREF Tinted = RGB(0x00, 0x0E, 0xFF);
constexpr COLORREF Grey = RGB(0x80, 0x80, 0x80);
constexpr COLORREF White = RGB(0xFF, 0xFF, 0xFF);

void Pump(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(10);
  }
}

// The screen's pixels in [left, left + width) x [top, top + height), as COLORREFs.
std::vector<COLORREF> Screenshot(int left, int top, int width, int height) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, dib);
  BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY);
  GdiFlush();
  std::vector<COLORREF> pixels;
  for (int i = 0; i < width * height; ++i) {
    const uint32_t p = static_cast<const uint32_t*>(bits)[i];
    pixels.push_back(RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
  }
  // Left for a look: a bottom-up 24-bit bitmap file.
  const std::wstring directory = BuildDirectory() + L"\\artifacts";
  CreateDirectoryW(directory.c_str(), nullptr);
  HANDLE file = CreateFileW((directory + L"\\splash.bmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    const int stride = (width * 3 + 3) & ~3;
    std::vector<uint8_t> rows(size_t(stride * height));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const COLORREF c = pixels[size_t((height - 1 - y) * width + x)];
        uint8_t* out = &rows[size_t(y * stride + x * 3)];
        out[0] = GetBValue(c), out[1] = GetGValue(c), out[2] = GetRValue(c);
      }
    BITMAPINFOHEADER header = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, DWORD(rows.size()), 0, 0, 0, 0};
    BITMAPFILEHEADER fileHeader = {0x4D42, DWORD(sizeof(BITMAPFILEHEADER) + sizeof header + rows.size()), 0, 0,
                                   DWORD(sizeof(BITMAPFILEHEADER) + sizeof header)};
    DWORD written = 0;
    WriteFile(file, &fileHeader, sizeof fileHeader, &written, nullptr);
    WriteFile(file, &header, sizeof header, &written, nullptr);
    WriteFile(file, rows.data(), DWORD(rows.size()), &written, nullptr);
    CloseHandle(file);
  }
  SelectObject(memory, old);
  DeleteObject(dib);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

TEST(SplashScreenshot, CaptionAndTintedBarShowOnTheSplashScreen) {
  SplashHost::Prepare(4);
  void* splash = SplashHost::ShowSplash(true);
  ASSERT_NE(splash, nullptr);
  InstallSplashProgress();
  SplashHost::EnterWizard();
  UpdateSplashProgress(L"");
  ASSERT_NE(SplashProgressLabel(), nullptr);
  ASSERT_EQ(SplashHost::LoadViaCreate(SplashHost::Packages()[0]), "");
  ASSERT_EQ(SplashHost::LoadViaLoadDesignPackage(SplashHost::Packages()[1]), "");
  ASSERT_EQ(SplashLabelState(SplashProgressLabel()).Percent, 50);
  Pump(500);

  const auto label = SplashHost::LabelState(SplashProgressLabel());
  const int width = LabelsDriver::SplashWidth, height = LabelsDriver::SplashHeight;
  const std::vector<COLORREF> pixels =
      Screenshot(LabelsDriver::SplashLeft, LabelsDriver::SplashTop, width, height);
  auto at = [&](int x, int y) { return pixels[size_t(y * width + x)]; };
  int background = 0, white = 0, grey = 0, tinted = 0, tintedOutside = 0, tintedRight = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const COLORREF c = at(x, y);
      const bool inLabel = x >= label.Left && x < label.Left + label.Width && y >= label.Top &&
                           y < label.Top + label.Height;
      background += c == LabelsDriver::SplashBackground;
      white += inLabel && c == White;
      grey += inLabel && c == Grey;
      if (c == Tinted) {
        ++tinted;
        tintedOutside += !inLabel;
        tintedRight = std::max(tintedRight, x);
      }
    }
  EXPECT_GT(background, width * height / 2) << "the splash window is on screen";
  EXPECT_GT(white, 30) << "the caption";
  EXPECT_GT(grey, 2 * 20) << "the bar's outline";
  EXPECT_GT(tinted, 6 * 10) << "the filled part of the bar";
  EXPECT_EQ(tintedOutside, 0);
  // Half of the bar: its filled part ends near the label's middle, left of the percentage.
  EXPECT_LT(tintedRight, label.Left + label.Width / 2 + 2);
  EXPECT_GT(tintedRight, label.Left + label.Width / 4);
  EXPECT_GT(label.Left, width / 2) << "in the top right corner";

  SplashHost::CloseSplash();
  EXPECT_FALSE(SplashProgressInstalled());
  SplashHost::CleanUp();
}

}  // namespace
