#include "SplashHost.h"

#include <stdexcept>

#include "Common/HostGuard.h"
#include "Common/HostRtl.h"
#include "Framework/LibraryEntry.h"
#include "IdeServices/IdeServices.h"
#include "IdeServices/ServicesRoot.h"
#include "TestPaths.h"
#include "coreide150/DesignPackagesDriver.h"
#include "vcl150/VclDriver.h"

namespace SplashHost {

namespace {

namespace D = DesignPackagesDriver;
namespace L = LabelsDriver;

std::vector<std::wstring> g_packages;
std::wstring g_root, g_directory;

template <class Fn>
Fn Export(const wchar_t* module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(module), name)));
}

void LoadStandIns() {
  for (const wchar_t* file :
       {L"rtl150.bpl", L"vcl150.bpl", L"vclide150.bpl", L"designide150.bpl", L"coreide150.bpl", L"delphicoreide150.bpl"})
    if (!GetModuleHandleW(file) && !LoadLibraryW((BuildDirectory() + L"\\host\\" + file).c_str()))
      throw std::runtime_error("cannot load a stand-in module");
}

void SetValue(const std::wstring& key, const std::wstring& name, const std::wstring& data) {
  HKEY handle = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr);
  RegSetValueExW(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                 DWORD((data.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
}

std::string Guarded(void (*call)(const wchar_t*), const std::wstring& path) {
  const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
  wchar_t* name = rtl->NewString(path);
  QmHost::HostExceptionReport report;
  const bool ok = QmHost::CallHostGuarded([&] { call(name); }, report, rtl);
  rtl->Release(name);
  if (ok) return "";
  const std::wstring text = report.Text();
  return std::string(text.begin(), text.end());
}

}  // namespace

void LoadVclVariant(const std::wstring& variant) {
  LoadLibraryW((BuildDirectory() + L"\\host\\rtl150.bpl").c_str());
  if (!LoadLibraryW((BuildDirectory() + L"\\host-variants\\" + variant + L"\\vcl150.bpl").c_str()))
    throw std::runtime_error("cannot load the variant's vcl150.bpl");
}

void Prepare(int count, int missingFrom) {
  LoadStandIns();
  const std::wstring id = std::to_wstring(GetCurrentProcessId());
  g_root = L"Software\\QuillmendTest\\SplashHost" + id;
  const std::wstring base = g_root + L"\\8.0";
  RegDeleteTreeW(HKEY_CURRENT_USER, g_root.c_str());
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  g_directory = std::wstring(temp) + L"QmSplashPackages" + id;
  CreateDirectoryW(g_directory.c_str(), nullptr);
  const std::wstring source = BuildDirectory() + L"\\host-strings\\strmod.dll";
  g_packages.clear();
  for (int i = 0; i < count; ++i) {
    const std::wstring path = g_directory + L"\\splashpkg" + id + L"_" + std::to_wstring(i) + L".bpl";
    if (missingFrom < 0 || i < missingFrom) CopyFileW(source.c_str(), path.c_str(), FALSE);
    SetValue(base + L"\\Known Packages", path, L"Package " + std::to_wstring(i));
    g_packages.push_back(path);
  }
  SetValue(base + L"\\Experts", L"none", L"");
  QmHost::SetBaseRegistryKey(base);
  QmHost::SetDefProjectDirectory(L"");
}

void CleanUp() {
  RegDeleteTreeW(HKEY_CURRENT_USER, g_root.c_str());
  for (const std::wstring& path : g_packages) DeleteFileW(path.c_str());
  RemoveDirectoryW(g_directory.c_str());
}

const std::vector<std::wstring>& Packages() { return g_packages; }

std::string LoadViaCreate(const std::wstring& path) {
  static auto create = Export<D::CreateFn>(L"coreide150.bpl", D::Export::Create);
  return Guarded([](const wchar_t* name) { create(nullptr, 1, name, nullptr); }, path);
}

std::string LoadViaLoadDesignPackage(const std::wstring& path) {
  static auto load = Export<D::LoadDesignPackageFn>(L"delphicoreide150.bpl", D::Export::LoadDesignPackage);
  return Guarded([](const wchar_t* name) { load(name); }, path);
}

void EnterWizard() {
  void* terminate = nullptr;
  Quillmend::WizardEntry(QmHost::ServicesRoot(), nullptr, &terminate);
}

L::TLabelState LabelState(void* label) {
  L::TLabelState state;
  Export<L::LabelStateFn>(L"vcl150.bpl", L::Export::LabelState)(label, &state);
  return state;
}

std::wstring Caption(void* label) {
  const wchar_t* caption = LabelState(label).Caption;
  return caption ? caption : L"";
}

void* ShowSplash(bool withWindow) {
  return Export<L::ShowSplashFn>(L"vcl150.bpl", L::Export::ShowSplash)(withWindow ? 1 : 0);
}

void CloseSplash() { Export<L::CloseSplashFn>(L"vcl150.bpl", L::Export::CloseSplash)(); }

void* NewPlainLabel(void* owner) {
  using TCreate = void*(QM_HOST_REGISTER*)(void*, uint32_t, void*);
  using TSetName = void(QM_HOST_REGISTER*)(void*, const wchar_t*);
  using TSetParent = void(QM_HOST_REGISTER*)(void*, void*);
  void* label = Export<TCreate>(L"vcl150.bpl", L::Export::LabelCreate)(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"vcl150.bpl"), L::Export::LabelClass)), 1, owner);
  const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
  wchar_t* name = rtl->NewString(L"QuillmendLabel");
  Export<TSetName>(L"rtl150.bpl", "@Classes@TComponent@SetName$qqrx20System@UnicodeString")(label, name);
  rtl->Release(name);
  Export<TSetParent>(L"vcl150.bpl", L::Export::SetParent)(label, owner);
  return label;
}

std::vector<uint32_t> PaintOnBackground(void* control, int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, dib);
  HBRUSH background = CreateSolidBrush(L::SplashBackground);
  RECT all = {0, 0, width, height};
  FillRect(dc, &all, background);
  DeleteObject(background);
  Export<VclDriver::Driver::PaintControlFn>(L"vcl150.bpl", "VclPaintControl")(control, dc);
  GdiFlush();
  std::vector<uint32_t> pixels(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + width * height);
  for (uint32_t& p : pixels) p &= 0xFFFFFF;  // 0x00RRGGBB
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(dib);
  return pixels;
}

}  // namespace SplashHost
