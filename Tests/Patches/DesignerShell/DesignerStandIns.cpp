#include "DesignerStandIns.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "Common/SearchedSites.h"
#include "Framework/PatchRegistry.h"
#include "Common/HostRtl.h"
#include "Framework/HostExcept.h"
#include "Framework/HostObjectModel.h"
#include "rtl150/ConversionsDriver.h"
#include "Framework/LibraryEntry.h"
#include "Patches/DesignerShell/BProgressResponsiveness.h"
#include "Patches/DesignerShell/BitBtnDefaultsFix.h"
#include "Patches/DesignerShell/CompileProgressPopupModeFix.h"
#include "Patches/DesignerShell/ComponentDesignerFix.h"
#include "Patches/DesignerShell/DesignerShellHost.h"
#include "Patches/DesignerShell/DisablePackageCache.h"
#include "Patches/DesignerShell/FieldAddressDFMLoadingOpt.h"
#include "Patches/DesignerShell/FileRemovalWhenSwitchTextToFormFix.h"
#include "Patches/DesignerShell/GuidelinesHide.h"
#include "Patches/DesignerShell/IDENewSelectDirectory.h"
#include "Patches/DesignerShell/ImageListWriteChangeCounterFix.h"
#include "Patches/DesignerShell/ListViewStreamingFix.h"
#include "Patches/DesignerShell/PageControlTabSheetCompDropFix.h"
#include "Patches/DesignerShell/SearchUmlautInFilesFix.h"
#include "Patches/DesignerShell/SmallDfmLoadErrorDlgsPatch.h"
#include "Patches/DesignerShell/WMSettingsChangeFix.h"
#include "TestPaths.h"
#include "ThreeWayHarness.h"
#include "vcl150/WinControlDriver.h"

namespace DesignerStandIns {

namespace {

ComponentDesignerDriver::Driver g_designer;
SearchInFilesDriver::Driver g_search;
DelphiModuleDriver::Driver g_module;
ListItemsDriver::Driver g_listItems;
BitBtnDriver::Driver g_bitBtn;
FormDesignerDriver::Driver g_formDesigners;
ItemParentDriver::Driver g_itemParents;
ErrorDialogsDriver::Driver g_errorDialogs;
ModalDriver::Driver g_modal;
CompileProgressDriver::Driver g_progress;
MessagePumpDriver::Driver g_pump;
FormWindowDriver::Driver g_formWindows;
MainFormDriver::Driver g_mainForms;
SelectDirectoryDriver::Driver g_directories;
FormLoadingDriver::Driver g_formLoading;

bool g_servicesChosen = false;

// The IDE's services: the root object answers {86602DE0-...}, whose method 5
// answers the base registry key.
struct TFakeIntf {
  const void* const* Methods;
};
HRESULT __stdcall RootQuery(void*, const GUID& iid, void** out);
HRESULT __stdcall IdeQuery(void* self, const GUID& iid, void** out) {
  *out = IsEqualGUID(iid, Quillmend::DesignerShellHost::IdeServicesIid) ? self : nullptr;
  return *out ? S_OK : E_NOINTERFACE;
}
ULONG __stdcall NoCount(void*) { return 1; }
void QM_REGISTER Unsupported(void*) {}
void QM_REGISTER BaseRegistryKey(void*, wchar_t** result) { Quillmend::AssignHostString(result, TestBaseKey()); }
const void* const IdeMethods[] = {reinterpret_cast<const void*>(&IdeQuery), reinterpret_cast<const void*>(&NoCount),
                                  reinterpret_cast<const void*>(&NoCount), reinterpret_cast<const void*>(&Unsupported),
                                  reinterpret_cast<const void*>(&Unsupported),
                                  reinterpret_cast<const void*>(&BaseRegistryKey)};
TFakeIntf g_ideServices = {IdeMethods};
const void* const RootMethods[] = {reinterpret_cast<const void*>(&RootQuery), reinterpret_cast<const void*>(&NoCount),
                                   reinterpret_cast<const void*>(&NoCount)};
TFakeIntf g_services = {RootMethods};
HRESULT __stdcall RootQuery(void*, const GUID& iid, void** out) { return IdeQuery(&g_ideServices, iid, out); }

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring Widen(const char* text) { return std::wstring(text, text + strlen(text)); }
std::string Narrow(const wchar_t* text) {
  std::string out;
  for (const wchar_t* p = text; p && *p; ++p) out += *p < 0x80 ? char(*p) : '?';
  return out;
}

} // namespace

const std::vector<std::wstring>& ModuleFiles() {
  static const std::vector<std::wstring> files = {L"rtl150.bpl",     L"vcl150.bpl",           L"vclx150.bpl",
                                                  L"boreditu.dll",   L"coreide150.bpl",       L"delphicoreide150.bpl",
                                                  L"designide150.bpl"};
  return files;
}

void Load(const char* variant) {
  for (const std::wstring& file : ModuleFiles()) {
    std::wstring path = BuildDirectory() + L"\\host\\" + file;
    if (variant) {
      std::wstring altered = BuildDirectory() + L"\\host-variants\\" + Widen(variant) + L"\\" + file;
      if (Exists(altered)) path = altered;
    }
    if (!LoadLibraryW(path.c_str())) throw std::runtime_error("cannot load a stand-in module");
  }
  BindLoaded();
}

void BindLoaded() {
  // A build lacking an export leaves that driver entry null; the tests that need it load the normal build.
  g_designer.Bind(GetModuleHandleW(L"designide150.bpl"));
  g_search.Bind(GetModuleHandleW(L"coreide150.bpl"));
  g_module.Bind(GetModuleHandleW(L"delphicoreide150.bpl"));
  g_listItems.Bind(GetModuleHandleW(L"vcl150.bpl"));
  g_bitBtn.Bind(GetModuleHandleW(L"vcl150.bpl"));
  g_formDesigners.Bind(GetModuleHandleW(L"designide150.bpl"));
  g_itemParents.Bind(GetModuleHandleW(L"designide150.bpl"));
  g_errorDialogs.Bind(GetModuleHandleW(L"delphicoreide150.bpl"));
  g_modal.Bind(GetModuleHandleW(L"vcl150.bpl"));
  g_progress.Bind(GetModuleHandleW(L"coreide150.bpl"));
  g_pump.Bind(GetModuleHandleW(L"vcl150.bpl"));
  g_formWindows.Bind(GetModuleHandleW(L"vcl150.bpl"));
  g_mainForms.Bind(GetModuleHandleW(L"coreide150.bpl"));
  g_directories.Bind(GetModuleHandleW(L"vclx150.bpl"));
  g_formLoading.Bind(GetModuleHandleW(L"rtl150.bpl"));
}

const FormLoadingDriver::Driver& FormLoading() { return g_formLoading; }

const ComponentDesignerDriver::Driver& Designer() { return g_designer; }
const SearchInFilesDriver::Driver& Search() { return g_search; }

void UseIdeServices(bool present) {
  g_servicesChosen = true;
  Quillmend::BorlandIDEServices = present ? &g_services : nullptr;
}

std::wstring TestBaseKey() {
  return L"\\Software\\QuillmendTests\\DesignerShell\\" + std::to_wstring(GetCurrentProcessId());
}

void SetPackageCacheValue(DWORD type, const void* data, DWORD size) {
  // The process's own key goes when the process ends.
  static const bool removedAtExit = [] {
    return std::atexit([] { RegDeleteTreeW(HKEY_CURRENT_USER, TestBaseKey().substr(1).c_str()); }) == 0;
  }();
  (void)removedAtExit;
  g_servicesChosen = true;
  if (!Quillmend::BorlandIDEServices) Quillmend::BorlandIDEServices = &g_services;
  const std::wstring path = TestBaseKey().substr(1) + L"\\Globals";
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    throw std::runtime_error("cannot write the test's registry key");
  if (type == REG_NONE)
    RegDeleteValueW(key, L"QuillmendDisablePackageCache");
  else
    RegSetValueExW(key, L"QuillmendDisablePackageCache", 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
}

void* NewMemoryStream(const std::string& bytes) {
  QmHost::RtlConversions rtl;
  rtl.Resolve(GetModuleHandleW(L"rtl150.bpl"), GetModuleHandleW(L"coreide150.bpl"));
  void* stream = rtl.NewMemoryStream();
  if (!bytes.empty()) QmHost::FillMemoryStream(stream, bytes);
  return stream;
}

void FreeObject(void* object) { QmHost::LoadedHostRtl()->objectFree(object); }

namespace {

// Reads the items from the data; a raise is described, not passed on.
std::string ReadInto(void* items, const std::string& data) {
  void* stream = NewMemoryStream(data);
  ListItemsDriver::TFiler reader = {nullptr, stream, 1};
  Quillmend::THostCaught caught;
  const bool returned = Quillmend::HostTryExceptOnly(
      Quillmend::HostExceptionCode, [&] { g_listItems.DefineProperties(items, &reader); }, caught);
  FreeObject(stream);
  int count = 0, updating = 0, sum = 0;
  g_listItems.State(items, &count, &updating, &sum);
  if (!returned) {
    std::wstring text = QmHost::HostClassName(caught.Object) + L": " + QmHost::HostExceptionMessage(caught.Object);
    FreeObject(caught.Object);
    return std::string(text.begin(), text.end()) + " updating=" + std::to_string(updating);
  }
  return "count=" + std::to_string(count) + " sum=" + std::to_string(sum) + " updating=" + std::to_string(updating);
}

} // namespace

std::string ReadListItems(const std::string& data) {
  void* items = g_listItems.New();
  std::string out = ReadInto(items, data);
  g_listItems.Free(items);
  return out;
}

std::string ReadAndWriteListItems(const std::string& data) {
  void* items = g_listItems.New();
  ReadInto(items, data);
  void* stream = NewMemoryStream("");
  ListItemsDriver::TFiler writer = {nullptr, stream, 0};
  g_listItems.DefineProperties(items, &writer);
  std::string written = QmHost::MemoryStreamBytes(stream);
  FreeObject(stream);
  g_listItems.Free(items);
  return written;
}

std::string StoredButtonProperties(int doubleBuffered, int parentDoubleBuffered) {
  void* button = g_bitBtn.New();
  if (doubleBuffered >= 0) g_bitBtn.SetDoubleBuffered(button, doubleBuffered, parentDoubleBuffered);
  char text[256] = {};
  g_bitBtn.WriteProperties(button, text, sizeof text);
  g_bitBtn.Free(button);
  return text;
}

void RenameButtonProperty(const char* name, const char* newName) {
  void* classRef = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"vcl150.bpl"), BitBtnDriver::Export::Class));
  int32_t* defaultField = Quillmend::PublishedPropertyDefault(classRef, name);
  if (!defaultField || strlen(name) != strlen(newName)) throw std::runtime_error("no such property to rename");
  // The record's name follows its default (4 bytes) and name index (2 bytes).
  memcpy(reinterpret_cast<char*>(defaultField) + 7, newName, strlen(newName));
}

const FormDesignerDriver::Driver& FormDesigners() { return g_formDesigners; }
const ItemParentDriver::Driver& ItemParents() { return g_itemParents; }

const ErrorDialogsDriver::Driver& ErrorDialogs() { return g_errorDialogs; }
const CompileProgressDriver::Driver& Progress() { return g_progress; }
const MessagePumpDriver::Driver& Pump() { return g_pump; }
const FormWindowDriver::Driver& FormWindows() { return g_formWindows; }
const MainFormDriver::Driver& MainForms() { return g_mainForms; }
const SelectDirectoryDriver::Driver& Directories() { return g_directories; }

void DropFormSettingHandler() {
  auto* classRef = reinterpret_cast<char*>(GetProcAddress(GetModuleHandleW(L"vcl150.bpl"), "@Forms@TCustomForm@"));
  auto* table = *reinterpret_cast<uint16_t**>(classRef - 60);  // the dynamic method table: count, indexes, code
  for (uint16_t i = 0; table && i < table[0]; ++i)
    if (table[1 + i] == WM_SETTINGCHANGE) table[1 + i] = 0x7FFE;
}

void* NewFormWithoutHandlers() {
  HMODULE module = GetModuleHandleW(L"delphicoreide150.bpl");
  using TCreate = void*(QM_REGISTER*)(void* classRef, int alloc, void* owner);
  auto create = reinterpret_cast<TCreate>(
      reinterpret_cast<void*>(GetProcAddress(module, ErrorDialogsDriver::Export::ReadErrorCreate)));
  return create(reinterpret_cast<void*>(GetProcAddress(module, ErrorDialogsDriver::Export::ReadErrorClass)), 1, nullptr);
}

void* MainForm() {
  void* application = *reinterpret_cast<void**>(GetProcAddress(GetModuleHandleW(L"vcl150.bpl"), "@Forms@Application"));
  return *reinterpret_cast<void**>(static_cast<char*>(application) + FormWindowDriver::ApplicationLayout::MainForm);
}

void* NewForm() {
  using TNewForm = void*(__stdcall*)(int32_t withWindow);
  return reinterpret_cast<TNewForm>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"vcl150.bpl"), "VclNewForm")))(0);
}
void SetModalProbe(ModalDriver::ProbeFn probe, int result) { g_modal.SetProbe(probe, result); }

void GrowBrowseForFolder() {
  auto* classRef = reinterpret_cast<char*>(GetProcAddress(GetModuleHandleW(L"vclx150.bpl"),
                                                          SelectDirectoryDriver::Export::BrowseForFolderClass));
  *reinterpret_cast<int32_t*>(classRef - 52) += 4;  // the instance size slot
}

std::string SelectDirectory(const wchar_t* caption, const wchar_t* root, const wchar_t* directory, int options,
                            void* parent) {
  wchar_t folder[MAX_PATH] = {};
  wcsncpy(folder, directory, MAX_PATH - 1);
  const int result = g_directories.CallSelectDirectory(caption, root, folder, MAX_PATH, options, parent);
  return std::to_string(result) + " " + Narrow(folder);
}

std::string BrowseForFolder(void* action) {
  char events[16] = {};
  wchar_t folder[MAX_PATH] = {};
  const int result = g_directories.ExecuteAction(action, events, sizeof events, folder, MAX_PATH);
  return std::to_string(result) + " " + events + " " + Narrow(folder);
}

std::string OldDialogs() {
  wchar_t line[512] = {};
  const int calls = g_directories.OldDialogCalls(line, 512);
  return std::to_string(calls) + " " + Narrow(line);
}

void GrowReadErrorDialog() {
  auto* classRef = reinterpret_cast<char*>(GetProcAddress(GetModuleHandleW(L"delphicoreide150.bpl"),
                                                          ErrorDialogsDriver::Export::ReadErrorClass));
  *reinterpret_cast<int32_t*>(classRef - 52) += 4;  // the instance size slot
}

void SetDesigner(void* form, void* designerHook) {
  using TSetDesigner = void(QM_REGISTER*)(void* form, void* designer);
  auto set = reinterpret_cast<TSetDesigner>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"vcl150.bpl"), Quillmend::DesignerShellHost::Export::SetDesigner)));
  set(form, designerHook);
}

std::string SendDesignMessage(void* designer, uint32_t message, int32_t wParam) {
  struct TMessage {
    uint32_t Msg;
    int32_t WParam, LParam, Result;
  } m = {message, wParam, 0, 0};
  using TIsDesignMsg = uint32_t(QM_REGISTER*)(void* hook, void* sender, TMessage* message);
  void* hook = g_formDesigners.Hook(designer);
  const auto* methods = *static_cast<void* const* const*>(hook);
  char before[512] = {}, after[512] = {};
  g_formDesigners.Hides(before, sizeof before);
  const int seen = g_formDesigners.Messages();
  reinterpret_cast<TIsDesignMsg>(methods[FormDesignerDriver::IsDesignMsgSlot])(hook, nullptr, &m);
  g_formDesigners.Hides(after, sizeof after);
  std::string out = std::string(after).substr(strlen(before));
  return out + (g_formDesigners.Messages() == seen + 1 ? "seen" : "unseen");
}

std::string UseCaches() {
  PackageCacheDriver::CacheFn routines[4] = {};
  PackageCacheDriver::Bind(GetModuleHandleW(L"delphicoreide150.bpl"), routines);
  PackageCacheDriver::TIniFile ini = {0, 0};
  int dummy = 0;
  for (PackageCacheDriver::CacheFn routine : routines)
    if (routine) routine(&dummy, &ini, 1);
  return "reads=" + std::to_string(ini.Reads) + " writes=" + std::to_string(ini.Writes);
}
const DelphiModuleDriver::Driver& Module() { return g_module; }

std::string SwitchView(const char* file, bool removed, bool showsForm, int items) {
  int refreshes = 0, notified = 0, switches = 0;
  g_module.Counts(&refreshes, &notified, &switches);
  void* handler = g_module.NewHandler(file, showsForm, items);
  if (removed) g_module.MarkRemoved(handler);
  g_module.Swap(handler);
  int refreshes2 = 0, notified2 = 0, switches2 = 0;
  g_module.Counts(&refreshes2, &notified2, &switches2);
  const int freed = g_module.Freed(handler);
  std::string out = "registered=" + std::to_string(g_module.Registered(file)) + " freed=" + std::to_string(freed) +
                    " refreshed=" + std::to_string(refreshes2 - refreshes) +
                    " notified=" + std::to_string(notified2 - notified) +
                    " switched=" + std::to_string(switches2 - switches);
  if (!freed) g_module.FreeHandler(handler);
  return out;
}

std::string SearchFor(const char* ansiText, const std::vector<std::wstring>& files) {
  g_search.ClearFiles();
  for (const std::wstring& file : files) g_search.AddFile(file.c_str());
  void* search = g_search.New(ansiText);
  const int found = g_search.Execute(search);
  wchar_t needle[256] = {};
  g_search.Needle(search, needle, 256);
  g_search.Free(search);
  char utf8[768] = {};
  WideCharToMultiByte(CP_UTF8, 0, needle, -1, utf8, sizeof utf8, nullptr, nullptr);
  return std::to_string(found) + " " + utf8;
}

void Install(const std::wstring& disabledPatches) {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", disabledPatches.c_str());
  if (!g_servicesChosen) SetPackageCacheValue(REG_SZ, L"1", 4);
  // The IDE has its main form when the experts start.
  if (g_mainForms.New && !MainForm()) g_mainForms.New(0);
  // Unit initialization, in link order.
  Quillmend::InstallListViewStreamingFix();
  Quillmend::InstallBitBtnDefaultsFix();
  Quillmend::InstallImageListWriteChangeCounterFix();
  Quillmend::InstallSearchUmlautInFilesFix();
  // The expert entry.
  Quillmend::InstallWMSettingsChangeFix();
  Quillmend::InstallComponentDesignerFix();
  Quillmend::InstallSmallDfmLoadErrorDlgsPatch();
  Quillmend::InstallPageControlTabSheetCompDropFix();
  Quillmend::InstallGuidelinesHide();
  Quillmend::InstallFieldAddressDFMLoadingOpt();
  Quillmend::InstallBProgressResponsiveness();
  Quillmend::InstallCompileProgressPopupModeFix();
  Quillmend::InstallDisablePackageCache();
  Quillmend::InstallIDENewSelectDirectory();
  Quillmend::InstallFileRemovalWhenSwitchTextToFormFix();
}

std::wstring Status(const std::wstring& patch) { return ReportedStatus(patch); }

std::string Reasons() { return FailedReasonsText(); }

unsigned char* PatternSite(const wchar_t* module, const char* sitesExport, const char* site) {
  using TSitesFn = const QmHost::SearchedSite*(__stdcall*)(int* count);
  auto sites = reinterpret_cast<TSitesFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(module), sitesExport)));
  int count = 0;
  const QmHost::SearchedSite* first = sites ? sites(&count) : nullptr;
  for (int i = 0; i < count; ++i)
    if (strcmp(first[i].Name, site) == 0) return static_cast<unsigned char*>(first[i].Address);
  return nullptr;
}

void OverwriteCode(void* at, const void* bytes, size_t size) {
  DWORD old = 0;
  VirtualProtect(at, size, PAGE_EXECUTE_READWRITE, &old);
  memcpy(at, bytes, size);
  VirtualProtect(at, size, old, &old);
  FlushInstructionCache(GetCurrentProcess(), at, size);
}

namespace {

// The message a shown error dialog holds.
std::string g_seenMessage;
void __stdcall SeeDialogMessage(void* dialog) {
  using namespace ErrorDialogsDriver;
  const bool recover = QmHost::HostClassName(dialog) == L"TRecoverFormInheritence";
  void* message =
      *reinterpret_cast<void**>(static_cast<char*>(dialog) + (recover ? RecoverLayout::Message : ReadErrorLayout::Message));
  g_seenMessage = Narrow(
      *reinterpret_cast<const wchar_t**>(static_cast<char*>(message) + WinControlDriver::WinControlLayout::Caption));
}

} // namespace

std::string Exercise() {
  std::string out;
  // Search texts of ASCII letters only.
  const std::vector<std::wstring> files = {L"Button1: TButton;", L"procedure Button1Click;", L"Label1"};
  out += "search " + SearchFor("Button1", files) + ";";
  out += "search " + SearchFor("", files) + ";";
  // List view items read and written back whole.
  if (g_listItems.DefineProperties) {
    const std::string data("\x02\x05\x00\x00\x00\x07\x00\x00\x00", 9);
    out += "items " + ReadListItems(data) + ";";
    out += "written " + std::to_string(ReadAndWriteListItems(data) == data) + ";";
  }
  // View switches of files kept in the project (a build may lack the export).
  if (g_module.Swap) {
    out += "switch " + SwitchView("Unit1.pas", false, false, 3) + ";";
    out += "switch " + SwitchView("Unit2.pas", false, true, 2) + ";";
  }
  // A drop parent and a deletion where no tab sheet is hidden.
  if (g_itemParents.FindItemParent && g_itemParents.DeleteSelection && g_itemParents.IsRootSelected) {
    using namespace ItemParentDriver;
    void* root = g_itemParents.NewRoot(1);
    void* sheet = g_itemParents.NewComponent(ShownWinControl);
    void* sheetItem = g_itemParents.NewItem(sheet, nullptr, 1, 0);
    void* button = g_itemParents.NewItem(g_itemParents.NewComponent(PlainControl), sheetItem, 0, 0);
    void* order[] = {button, sheetItem};
    g_itemParents.SetDropOrder(root, order, 2, sheet);
    void* found = nullptr;
    g_itemParents.FindItemParent(root, button, &found);
    out += "drop " + std::to_string(found == sheetItem) + ";";
    g_itemParents.Select(root, &button, 1);
    out += "rootselected " + std::to_string(g_itemParents.IsRootSelected(root)) + ";";
    g_itemParents.DeleteSelection(root, 1);
    void* selected = nullptr;
    int modified = 0;
    g_itemParents.State(root, nullptr, &selected, &modified, nullptr);
    out += "deleted " + std::to_string(selected == sheet) + " " + std::to_string(modified) + ";";
  }
  // The error dialogs' contents and results, which stay the host's.
  if (g_errorDialogs.Recover && g_errorDialogs.ReadError && g_modal.SetProbe) {
    g_modal.SetProbe(&SeeDialogMessage, 4);
    out += "recover " + std::to_string(g_errorDialogs.Recover(L"Form1", L"TBase", L"Unit1.pas", L"TA,TB", 1));
    out += " " + g_seenMessage + ";";
    out += "readerror " + std::to_string(g_errorDialogs.ReadError(L"Unit1.dfm", L"Error reading Button1")) + " " +
           g_seenMessage + ";";
    g_modal.SetProbe(nullptr, 2);
  }
  // A compile of distinct files, none cancelled, and one whose monitor is.
  if (g_progress.BProgress && g_progress.FormShow && g_progress.CancelButtonClick) {
    g_progress.Begin(0, 0);
    out += "compiled " + std::to_string(g_progress.Files(3, 1, 0, -1));
    void* form = *reinterpret_cast<void**>(
        GetProcAddress(GetModuleHandleW(L"coreide150.bpl"), CompileProgressDriver::Export::ProgressForm));
    out += " " + std::string(static_cast<const char*>(form) + CompileProgressDriver::ProgressFormLayout::FileName) + ";";
    // Its form's parent window without a main form.
    if (g_formWindows.CallCreateParams) {
      FormWindowDriver::TCreateParams params;
      g_formWindows.CallCreateParams(form, &params);
      out += "parent " + std::to_string(reinterpret_cast<uintptr_t>(params.WndParent)) + ";";
    }
    // A setting change at a main form that is not minimised.
    if (g_formWindows.SendFormMessage && g_mainForms.New) {
      if (!MainForm()) g_mainForms.New(0);
      const int handled = g_formWindows.SettingChanges();
      g_formWindows.SendFormMessage(MainForm(), WM_SETTINGCHANGE, 0, 0);
      out += "settings " + std::to_string(g_formWindows.SettingChanges() - handled) + ";";
    }
    g_progress.Begin(0, 1);
    out += "cancelled " + std::to_string(g_progress.Files(3, 1, 0, -1)) + ";";
    g_progress.End();
  }
  // Directory dialogs that keep the old look: a root other than the
  // desktop, files shown, no new look asked for, and an action of the old style.
  if (g_directories.CallSelectDirectory &&
      GetProcAddress(GetModuleHandleW(L"vclx150.bpl"), SelectDirectoryDriver::Export::SelectDirectory)) {
    using namespace Quillmend::SelectDirOption;
    const int oldBefore = g_directories.OldDialogCalls(nullptr, 0);
    g_directories.SetOldDialogAnswer(1, L"C:\\Projects");
    out += "select " + SelectDirectory(L"Folder:", L"C:\\", L"C:\\", NewUI, nullptr) + ";";
    out += "select " + SelectDirectory(L"Folder:", L"", L"C:\\", NewUI | ShowFiles, nullptr) + ";";
    g_directories.SetOldDialogAnswer(0, nullptr);
    out += "select " + SelectDirectory(L"Folder:", L"Desktop", L"C:\\", NewFolder | ShowEdit, nullptr) + ";";
    void* action = g_directories.NewBrowseForFolder(L"Browse", 0, L"C:\\", L"");
    out += "browse " + BrowseForFolder(action) + ";";
    FreeObject(action);
    out += "old " + std::to_string(g_directories.OldDialogCalls(nullptr, 0) - oldBefore) + ";";
  }
  // An inherited form loaded, its fields summarized, and a look-up outside a load.
  if (g_formLoading.InitInheritedComponent && g_formLoading.FieldAddressShort && g_formLoading.MakeFormClass) {
    static int forms = 0;
    void* formClass = FormLoadingDriver::MakeInheritedForm(g_formLoading, 40, "Exercise" + std::to_string(++forms));
    void* form = g_formLoading.Load(formClass);
    const FormLoadingDriver::FieldSummary s = FormLoadingDriver::SummarizeFields(form);
    out += "formload " + std::to_string(s.Fields) + " " + std::to_string(s.Set) + " " + std::to_string(s.Right) + " " +
           std::to_string(s.Checksum) + " ";
    out += std::to_string(static_cast<char*>(g_formLoading.FieldAddress(form, L"Button3")) - static_cast<char*>(form)) + ";";
    FreeObject(form);
  }
  return out;
}

} // namespace DesignerStandIns
