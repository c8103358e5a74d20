#include "StandIns.h"

#include <cstdio>
#include <stdexcept>

#include "Framework/PatchRegistry.h"
#include "Patches/IdeCorrections/EditorKernelParanMachtingFix.h"
#include "Patches/IdeCorrections/GDIResourceReduction.h"
#include "Patches/IdeCorrections/HelpInsightInteropCache.h"
#include "Patches/IdeCorrections/HelpInsightParserTaskFix.h"
#include "TestPaths.h"

namespace StandIns {

namespace {

VclDriver::Driver g_vcl;
BorEditDriver::Driver g_editor;
ParseThreadWaitDriver::Driver g_parseWait;

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

} // namespace

const std::vector<std::wstring>& ModuleFiles() {
  static const std::vector<std::wstring> files = {L"rtl150.bpl", L"vcl150.bpl", L"boreditu.dll", L"coreide150.bpl"};
  return files;
}

void Load(const char* variant) {
  for (const std::wstring& file : ModuleFiles()) {
    std::wstring path = BuildDirectory() + L"\\host\\" + file;
    if (variant) {
      std::wstring altered = BuildDirectory() + L"\\host-variants\\" + std::wstring(variant, variant + strlen(variant)) +
                             L"\\" + file;
      if (Exists(altered)) path = altered;
    }
    if (!LoadLibraryW(path.c_str())) throw std::runtime_error("cannot load a stand-in module");
  }
  BindLoaded();
}

void BindLoaded() {
  if (!g_vcl.Bind(GetModuleHandleW(L"vcl150.bpl")) || !g_editor.Bind(GetModuleHandleW(L"boreditu.dll")) ||
      !g_parseWait.Bind(GetModuleHandleW(L"coreide150.bpl")))
    throw std::runtime_error("a stand-in lacks its driver exports");
}

const VclDriver::Driver& Vcl() { return g_vcl; }
const BorEditDriver::Driver& Editor() { return g_editor; }
const ParseThreadWaitDriver::Driver& ParseWait() { return g_parseWait; }

int Match(const std::string& text, int caret) { return g_editor.MatchBracket(text.c_str(), caret, nullptr); }

void Install(const std::wstring& disabledPatches) {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", disabledPatches.c_str());
  Quillmend::InstallGDIResourceReduction();
  Quillmend::InstallEditorKernelParanMachtingFix();
  Quillmend::InstallHelpInsightInteropCache();
  Quillmend::InstallHelpInsightParserTaskFix();
}

std::wstring Status(const std::wstring& patch) {
  for (const Quillmend::TPatchReport& report : Quillmend::PatchReports()) {
    if (report.Name != patch) continue;
    if (report.Status == Quillmend::psApplied) return L"applied";
    return report.Status == Quillmend::psIgnored ? L"ignored" : L"failed";
  }
  return L"";
}

TCanvasTarget::TCanvasTarget(int width, int height) : FWidth(width), FHeight(height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  FDc = CreateCompatibleDC(nullptr);
  FBitmap = CreateDIBSection(FDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  FPixels = static_cast<uint32_t*>(bits);
  FOld = SelectObject(FDc, FBitmap);
  PatBlt(FDc, 0, 0, width, height, WHITENESS);
}

TCanvasTarget::~TCanvasTarget() {
  SelectObject(FDc, FOld);
  DeleteObject(FBitmap);
  DeleteDC(FDc);
}

uint32_t TCanvasTarget::Checksum() const {
  GdiFlush();
  uint32_t h = 2166136261u;
  for (int i = 0; i < FWidth * FHeight; ++i)
    for (int b = 0; b < 3; ++b) h = (h ^ ((FPixels[i] >> (8 * b)) & 0xFF)) * 16777619u;
  return h;
}

std::string ExerciseGraphics() {
  const VclDriver::Driver& d = Vcl();
  TCanvasTarget target(160, 120);
  std::vector<void*> objects;
  for (int i = 0; i < 3; ++i) {
    objects.push_back(d.NewToolBar(nullptr));
    d.PaintControl(objects.back(), target.Dc());
  }
  const uint32_t toolBars = target.Checksum();
  for (int i = 0; i < 3; ++i) {
    objects.push_back(d.NewScroller(30 + 4 * i, 16, i * 5));
    d.PaintControl(objects.back(), target.Dc());
    d.PaintControl(objects.back(), target.Dc());  // twice: the bitmap is made again after it was emptied
  }
  const uint32_t scrollers = target.Checksum();
  const int sizes[] = {16, 16, 24, 32, 24};
  int drawn = 0;
  for (int i = 0; i < 5; ++i) {
    void* list = d.NewImageList(sizes[i], sizes[i]);
    objects.push_back(list);
    for (unsigned seed = 0; seed < 3; ++seed) {
      const int index = d.ImageListAddSample(list, seed + unsigned(i));
      d.ImageListDraw(list, target.Dc(), 4 + 26 * i, 30 + 34 * int(seed), index);
      ++drawn;
    }
  }
  // A resized list draws at its new size.
  d.ImageListSetSize(objects.back(), 20, 20);
  d.ImageListDraw(objects.back(), target.Dc(), 130, 4, d.ImageListAddSample(objects.back(), 9));
  const uint32_t images = target.Checksum();
  for (void* object : objects) d.Free(object);
  char text[160];
  std::snprintf(text, sizeof text, "toolbars %08X scrollers %08X images %08X (%d drawn)", toolBars, scrollers, images,
                drawn);
  return text;
}

std::string ExerciseBrackets() {
  const char* const texts[] = {"f(a[i], (b + c) * d) { e(); }", "(* x (y) *) z[(1)]", "/* [a] */ {b(c)}",
                               "k<<<g, (h)>>>(x); <<<", "((()))[]{}<<<>>>"};
  std::string result;
  for (const char* text : texts)
    for (int caret = 0; text[caret]; ++caret) result += std::to_string(Match(text, caret)) + ",";
  return result;
}

std::string ExerciseParseWait() {
  void* thread = g_parseWait.New();
  int32_t waits = 0;
  std::string text = "timed out " + std::to_string(g_parseWait.Wait(thread, 1, &waits));
  g_parseWait.Signal(thread);
  text += ", signalled " + std::to_string(g_parseWait.Wait(thread, 5000, &waits));
  g_parseWait.Free(thread);
  return text;
}

} // namespace StandIns
