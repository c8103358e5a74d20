// The directory dialogs: SelectDirectory and the browse-for-folder action
// show the system's folder-picking file dialog (a fake one here, which
// records what it was told and answers what the test chose) where the
// caller asks for the new look from the desktop, and the old dialog
// (counted by the stand-in) everywhere else, patched or not.
#include <gtest/gtest.h>

#include <windows.h>
#include <shobjidl.h>

#include <string>

#include "DesignerStandIns.h"
#include "Framework/PatchPlan.h"
#include "Patches/DesignerShell/FolderDialog.h"
#include "Patches/DesignerShell/IDENewSelectDirectory.h"
#include "vcl150/WinControlDriver.h"

namespace {

using namespace Quillmend::SelectDirOption;
using SelectDirectoryDriver::BrowseNewDialogStyle;
using SelectDirectoryDriver::BrowseShareable;
namespace BrowseLayout = SelectDirectoryDriver::BrowseLayout;

const wchar_t* const NewSelectDirectory = L"IDE.NewSelectDirectoryDialog";
// What the system's dialog starts with before it is told anything.
constexpr FILEOPENDIALOGOPTIONS SystemDefaults = FOS_FILEMUSTEXIST | FOS_NOCHANGEDIR;

// ---- the fake dialog ----------------------------------------------------------

struct TFakeState {
  int Made = 0, Shown = 0, Live = 0;
  FILEOPENDIALOGOPTIONS Options = 0;
  std::wstring Title = L"<none>", Folder = L"<none>";
  HWND Owner = nullptr;
  // What the user does: a folder chosen (empty: cancelled); a virtual item
  // without a file-system path; options refused.
  std::wstring Answer = L"C:\\Chosen";
  bool VirtualItem = false, RefuseOptions = false;
} g_fake;

template <class I>
class TFakeUnknown : public I {
public:
  TFakeUnknown() { ++g_fake.Live; }
  virtual ~TFakeUnknown() { --g_fake.Live; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefs; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --FRefs;
    if (left == 0) delete this;
    return left;
  }

private:
  ULONG FRefs = 1;
};

class TFakeItem : public TFakeUnknown<IShellItem> {
public:
  HRESULT STDMETHODCALLTYPE BindToHandler(IBindCtx*, REFGUID, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetParent(IShellItem**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDisplayName(SIGDN name, LPWSTR* out) override {
    if (name != SIGDN_FILESYSPATH || g_fake.VirtualItem) return E_INVALIDARG;
    const size_t bytes = (g_fake.Answer.size() + 1) * sizeof(wchar_t);
    *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    memcpy(*out, g_fake.Answer.c_str(), bytes);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetAttributes(SFGAOF, SFGAOF*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Compare(IShellItem*, SICHINTF, int*) override { return E_NOTIMPL; }
};

class TFakeDialog : public TFakeUnknown<IFileOpenDialog> {
public:
  HRESULT STDMETHODCALLTYPE Show(HWND owner) override {
    ++g_fake.Shown;
    g_fake.Owner = owner;
    FConfirmed = !g_fake.Answer.empty();
    return FConfirmed ? S_OK : HRESULT_FROM_WIN32(ERROR_CANCELLED);
  }
  HRESULT STDMETHODCALLTYPE SetFileTypes(UINT, const COMDLG_FILTERSPEC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetFileTypeIndex(UINT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFileTypeIndex(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Advise(IFileDialogEvents*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetOptions(FILEOPENDIALOGOPTIONS options) override {
    if (g_fake.RefuseOptions) return E_INVALIDARG;
    g_fake.Options = options;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetOptions(FILEOPENDIALOGOPTIONS* options) override {
    *options = SystemDefaults;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetDefaultFolder(IShellItem*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetFolder(IShellItem* item) override {
    wchar_t* path = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) return E_INVALIDARG;
    g_fake.Folder = path;
    CoTaskMemFree(path);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetFolder(IShellItem**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCurrentSelection(IShellItem**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetFileName(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFileName(LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetTitle(LPCWSTR title) override {
    g_fake.Title = title;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetOkButtonLabel(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetFileNameLabel(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetResult(IShellItem** item) override {
    *item = FConfirmed ? new TFakeItem : nullptr;
    return FConfirmed ? S_OK : E_UNEXPECTED;
  }
  HRESULT STDMETHODCALLTYPE AddPlace(IShellItem*, FDAP) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetDefaultExtension(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Close(HRESULT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetClientGuid(REFGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ClearClientData() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetFilter(IShellItemFilter*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetResults(IShellItemArray**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSelectedItems(IShellItemArray**) override { return E_NOTIMPL; }

private:
  bool FConfirmed = false;
};

IFileOpenDialog* MakeFakeDialog() {
  ++g_fake.Made;
  return new TFakeDialog;
}
IFileOpenDialog* NoDialog() { return nullptr; }

// ---- the host -----------------------------------------------------------------

template <class T>
T& At(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

const HWND ParentWindow = reinterpret_cast<HWND>(0x5041), MainWindow = reinterpret_cast<HWND>(0x4D41),
           ApplicationWindow = reinterpret_cast<HWND>(0x4150), ActiveWindow = reinterpret_cast<HWND>(0x4143);

void* Application() {
  return *reinterpret_cast<void**>(GetProcAddress(GetModuleHandleW(L"vcl150.bpl"), "@Forms@Application"));
}

// A windowed control of vcl150 with that window.
void* NewWinControl(HWND window) {
  using TCreate = void*(QM_HOST_REGISTER*)(void* classRef, int alloc, void* owner);
  HMODULE vcl = GetModuleHandleW(L"vcl150.bpl");
  auto create = reinterpret_cast<TCreate>(
      reinterpret_cast<void*>(GetProcAddress(vcl, WinControlDriver::Export::WinControlCreate)));
  void* control =
      create(reinterpret_cast<void*>(GetProcAddress(vcl, WinControlDriver::Export::WinControlClass)), 1, nullptr);
  At<HWND>(control, WinControlDriver::WinControlLayout::Handle) = window;
  return control;
}

// The stand-ins loaded, the fake dialog in place, the subsystem installed or
// not; the old dialog confirms C:\Old; the application's window known.
void Start(bool patched, Quillmend::TFileOpenDialogFactory factory = &MakeFakeDialog) {
  DesignerStandIns::Load();
  Quillmend::SetFileOpenDialogFactory(factory);
  if (patched) {
    DesignerStandIns::Install();
    ASSERT_EQ(DesignerStandIns::Status(NewSelectDirectory), L"applied") << DesignerStandIns::Reasons();
  }
  DesignerStandIns::Directories().SetOldDialogAnswer(1, L"C:\\Old");
  At<HWND>(Application(), 28) = ApplicationWindow;
}

int OldDialogCount() { return DesignerStandIns::Directories().OldDialogCalls(nullptr, 0); }

// ---- SelectDirectory: which dialog ------------------------------------------------

struct TChoiceCase {
  const char* Name;
  int Options;
  const wchar_t* Root;
  bool NewDialog;  // when patched
};

const TChoiceCase ChoiceCases[] = {
    {"NewUIFromNoRoot", NewUI, L"", true},
    {"NewUIFromTheDesktop", NewUI, L"Desktop", true},
    {"NewUIFromADrive", NewUI, L"C:\\", false},
    {"NewUIShowingFiles", NewUI | ShowFiles, L"", false},
    {"NewUIShowingFilesFromTheDesktop", NewUI | ShowFiles, L"Desktop", false},
    {"FilesOnly", ShowFiles, L"", false},
    {"OldUI", 0, L"", false},
    {"OldUIFromTheDesktop", NewFolder | ShowEdit, L"Desktop", false},
    {"NewUIWithEveryOtherOption", NewUI | NewFolder | ShowEdit | ShowShares | ValidateDir, L"", true},
};

void PrintTo(const TChoiceCase& c, std::ostream* os) { *os << c.Name; }

class DesignerSelectDirectory : public testing::TestWithParam<std::tuple<TChoiceCase, bool>> {};

TEST_P(DesignerSelectDirectory, ShowsTheFolderDialogOnlyForTheNewLookFromTheDesktop) {
  const TChoiceCase& c = std::get<0>(GetParam());
  const bool patched = std::get<1>(GetParam());
  Start(patched);
  const bool shownNew = patched && c.NewDialog;
  EXPECT_EQ(DesignerStandIns::SelectDirectory(L"Folder:", c.Root, L"C:\\Start", c.Options),
            shownNew ? "1 C:\\Chosen" : "1 C:\\Old");
  EXPECT_EQ(g_fake.Shown, shownNew ? 1 : 0);
  EXPECT_EQ(OldDialogCount(), shownNew ? 0 : 1);
  EXPECT_EQ(g_fake.Live, 0) << "dialog objects left";
}

INSTANTIATE_TEST_SUITE_P(Cases, DesignerSelectDirectory, testing::Combine(testing::ValuesIn(ChoiceCases), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<TChoiceCase, bool>>& info) {
                           return std::string(std::get<0>(info.param).Name) +
                                  (std::get<1>(info.param) ? "_Patched" : "_Unpatched");
                         });

// ---- the folder dialog's options ----------------------------------------------------

struct TOptionCase {
  const char* Name;
  int SelectOptions;
  FILEOPENDIALOGOPTIONS Added;
};

const TOptionCase OptionCases[] = {
    {"Plain", NewUI, FOS_PICKFOLDERS | FOS_PATHMUSTEXIST | FOS_NOTESTFILECREATE},
    {"ValidateDir", NewUI | ValidateDir, FOS_PICKFOLDERS | FOS_PATHMUSTEXIST},
    {"ShowShares", NewUI | ShowShares, FOS_PICKFOLDERS | FOS_PATHMUSTEXIST | FOS_NOTESTFILECREATE | FOS_SHAREAWARE},
    {"ShowSharesValidateDir", NewUI | ShowShares | ValidateDir, FOS_PICKFOLDERS | FOS_PATHMUSTEXIST | FOS_SHAREAWARE},
    {"NewFolderShowEdit", NewUI | NewFolder | ShowEdit, FOS_PICKFOLDERS | FOS_PATHMUSTEXIST | FOS_NOTESTFILECREATE},
};

void PrintTo(const TOptionCase& c, std::ostream* os) { *os << c.Name; }

class DesignerFolderDialogOptions : public testing::TestWithParam<TOptionCase> {};

// The dialog picks folders, whatever else it is told; the system's own
// defaults stay, and nothing the host did not ask for is added.
TEST_P(DesignerFolderDialogOptions, AreTheSystemFlagsOfTheHostOptions) {
  Start(true);
  DesignerStandIns::SelectDirectory(L"Folder", L"", L"", GetParam().SelectOptions);
  ASSERT_EQ(g_fake.Shown, 1);
  EXPECT_EQ(g_fake.Options, SystemDefaults | GetParam().Added);
}

INSTANTIATE_TEST_SUITE_P(Cases, DesignerFolderDialogOptions, testing::ValuesIn(OptionCases),
                         [](const testing::TestParamInfo<TOptionCase>& info) { return std::string(info.param.Name); });

TEST(DesignerFolderDialogOptionMap, TakesTheHostSetBitByBit) {
  const struct {
    uint32_t Host;
    FILEOPENDIALOGOPTIONS System;
  } cases[] = {
      {0x108, FOS_PICKFOLDERS | FOS_PATHMUSTEXIST},
      {0x2000, FOS_NOTESTFILECREATE},
      {0x800, FOS_SHAREAWARE},
      {0x108 | 0x2000 | 0x800, FOS_PICKFOLDERS | FOS_PATHMUSTEXIST | FOS_NOTESTFILECREATE | FOS_SHAREAWARE},
      {0x1 | 0x4 | 0x40, 0},  // bits the mapping does not know
      {0, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(Quillmend::SystemDialogOptions(c.Host), c.System) << std::hex << c.Host;
}

// ---- title, folder, owner, result --------------------------------------------------

TEST(DesignerFolderDialogTitle, IsTheCaptionTrimmedWithoutItsColon) {
  const struct {
    const wchar_t* Caption;
    const wchar_t* Title;
  } cases[] = {
      {L"Select a folder:", L"Select a folder"}, {L"  Output directory :  ", L"Output directory"},
      {L"Folder::", L"Folder:"},                 {L"\tFolder\r\n", L"Folder"},
      {L":", L""},                               {L"", L""},
      {L"a:b", L"a:b"},
  };
  for (const auto& c : cases) EXPECT_EQ(Quillmend::DialogTitle(c.Caption), c.Title) << '"' << c.Caption << '"';
}

TEST(DesignerFolderDialog, IsTitledFromTheCaptionAndOpensAtTheDirectory) {
  Start(true);
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  DesignerStandIns::SelectDirectory(L" Choose the output folder: ", L"", windows, NewUI);
  EXPECT_EQ(g_fake.Title, L"Choose the output folder");
  EXPECT_EQ(CompareStringOrdinal(g_fake.Folder.c_str(), -1, windows, -1, TRUE), CSTR_EQUAL) << g_fake.Folder.size();
  // No caption: the system's title; a directory that is not there: the system's folder.
  g_fake = TFakeState();
  EXPECT_EQ(DesignerStandIns::SelectDirectory(L"", L"", L"C:\\no such folder here", NewUI), "1 C:\\Chosen");
  EXPECT_EQ(g_fake.Title, L"<none>");
  EXPECT_EQ(g_fake.Folder, L"<none>");
}

TEST(DesignerFolderDialog, BelongsToTheParentElseTheMainFormElseTheApplication) {
  Start(true);
  void* form = DesignerStandIns::NewForm();
  DesignerStandIns::FormWindows().SetMainForm(form);
  At<HWND>(form, FormWindowDriver::FormLayout::Handle) = MainWindow;
  const struct {
    const char* Name;
    HWND Parent;  // null: no parent control
    HWND Main;
    HWND Owner;
  } cases[] = {
      {"parent", ParentWindow, MainWindow, ParentWindow},
      {"parent without a window", nullptr, MainWindow, MainWindow},
      {"no parent", reinterpret_cast<HWND>(-1), MainWindow, MainWindow},
      {"no main form window", reinterpret_cast<HWND>(-1), nullptr, ApplicationWindow},
  };
  for (const auto& c : cases) {
    void* parent = c.Parent == reinterpret_cast<HWND>(-1) ? nullptr : NewWinControl(c.Parent);
    At<HWND>(form, FormWindowDriver::FormLayout::Handle) = c.Main;
    g_fake.Owner = nullptr;
    DesignerStandIns::SelectDirectory(L"Folder", L"", L"", NewUI, parent);
    EXPECT_EQ(g_fake.Owner, c.Owner) << c.Name;
    if (parent) DesignerStandIns::FreeObject(parent);
  }
}

struct TResultCase {
  const char* Name;
  const wchar_t* Answer;  // empty: cancelled
  bool VirtualItem, RefuseOptions, NoDialog;
  const char* Result;  // "<result> <directory>"
  int OldDialogs;
};

const TResultCase ResultCases[] = {
    {"Confirmed", L"C:\\Chosen", false, false, false, "1 C:\\Chosen", 0},
    {"Cancelled", L"", false, false, false, "0 C:\\Start", 0},
    // A library or network place has no directory to give back.
    {"AVirtualItem", L"C:\\Chosen", true, false, false, "0 C:\\Start", 0},
    // A dialog that cannot be told to pick folders, or none: the old dialog.
    {"OptionsRefused", L"C:\\Chosen", false, true, false, "1 C:\\Old", 1},
    {"NoDialog", L"C:\\Chosen", false, false, true, "1 C:\\Old", 1},
};

void PrintTo(const TResultCase& c, std::ostream* os) { *os << c.Name; }

class DesignerFolderDialogResult : public testing::TestWithParam<TResultCase> {};

TEST_P(DesignerFolderDialogResult, SetsTheDirectoryOnlyWhenAFolderWasChosen) {
  const TResultCase& c = GetParam();
  Start(true, c.NoDialog ? &NoDialog : &MakeFakeDialog);
  g_fake.Answer = c.Answer;
  g_fake.VirtualItem = c.VirtualItem;
  g_fake.RefuseOptions = c.RefuseOptions;
  EXPECT_EQ(DesignerStandIns::SelectDirectory(L"Folder", L"", L"C:\\Start", NewUI), c.Result);
  EXPECT_EQ(OldDialogCount(), c.OldDialogs);
  EXPECT_EQ(g_fake.Live, 0) << "dialog objects left";
}

INSTANTIATE_TEST_SUITE_P(Cases, DesignerFolderDialogResult, testing::ValuesIn(ResultCases),
                         [](const testing::TestParamInfo<TResultCase>& info) { return std::string(info.param.Name); });

// ---- the browse-for-folder action ----------------------------------------------------

struct TBrowseCase {
  const char* Name;
  uint32_t Options;
  const wchar_t* Root;
  bool RootFolder, SpecialFolder, Loading;
  bool NewDialog;  // when patched
};

const TBrowseCase BrowseCases[] = {
    {"NewStyle", BrowseNewDialogStyle, L"", false, false, false, true},
    {"NewStyleFromTheDesktop", BrowseNewDialogStyle, L"Desktop", false, false, false, true},
    {"NewStyleFromADrive", BrowseNewDialogStyle, L"C:\\", false, false, false, false},
    {"OldStyle", 0, L"", false, false, false, false},
    {"ARootFolder", BrowseNewDialogStyle, L"", true, false, false, false},
    {"ASpecialFolder", BrowseNewDialogStyle, L"", false, true, false, false},
    {"WhileLoading", BrowseNewDialogStyle, L"", false, false, true, false},
};

void PrintTo(const TBrowseCase& c, std::ostream* os) { *os << c.Name; }

class DesignerBrowseForFolder : public testing::TestWithParam<std::tuple<TBrowseCase, bool>> {};

TEST_P(DesignerBrowseForFolder, ShowsTheFolderDialogOnlyForTheNewStyleFromTheDesktop) {
  const TBrowseCase& c = std::get<0>(GetParam());
  const bool patched = std::get<1>(GetParam());
  Start(patched);
  void* action = DesignerStandIns::Directories().NewBrowseForFolder(L"Browse:", c.Options, L"C:\\Start", c.Root);
  static int idList = 0;
  if (c.RootFolder) At<void*>(action, BrowseLayout::RootFolder) = &idList;
  if (c.SpecialFolder) At<int32_t>(action, BrowseLayout::SpecialFolder) = 5;
  if (c.Loading) At<uint8_t>(action, SelectDirectoryDriver::ComponentStateOffset) |= SelectDirectoryDriver::ComponentLoading;
  const bool shownNew = patched && c.NewDialog;
  EXPECT_EQ(DesignerStandIns::BrowseForFolder(action), shownNew ? "1 ba C:\\Chosen" : "1 ba C:\\Old");
  EXPECT_EQ(g_fake.Shown, shownNew ? 1 : 0);
  EXPECT_EQ(OldDialogCount(), shownNew ? 0 : 1);
  if (shownNew) {
    EXPECT_EQ(g_fake.Title, L"Browse");
  }
  // Cancelled: the folder stays, the cancel handling runs.
  g_fake.Answer = L"";
  DesignerStandIns::Directories().SetOldDialogAnswer(0, nullptr);
  EXPECT_EQ(DesignerStandIns::BrowseForFolder(action), shownNew ? "0 bc C:\\Chosen" : "0 bc C:\\Old");
  At<void*>(action, BrowseLayout::RootFolder) = nullptr;
  DesignerStandIns::FreeObject(action);
  EXPECT_EQ(g_fake.Live, 0) << "dialog objects left";
}

INSTANTIATE_TEST_SUITE_P(Cases, DesignerBrowseForFolder, testing::Combine(testing::ValuesIn(BrowseCases), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<TBrowseCase, bool>>& info) {
                           return std::string(std::get<0>(info.param).Name) +
                                  (std::get<1>(info.param) ? "_Patched" : "_Unpatched");
                         });

TEST(DesignerBrowseForFolder, BelongsToTheActiveFormAndIsShareAwareWhenAsked) {
  Start(true);
  void* form = DesignerStandIns::NewForm();
  At<HWND>(form, FormWindowDriver::FormLayout::Handle) = ActiveWindow;
  using TSetActiveForm = void(__stdcall*)(void* form);
  reinterpret_cast<TSetActiveForm>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"vcl150.bpl"), "VclSetActiveForm")))(form);
  void* action = DesignerStandIns::Directories().NewBrowseForFolder(L"Browse", BrowseNewDialogStyle | BrowseShareable,
                                                                    L"", L"");
  DesignerStandIns::BrowseForFolder(action);
  EXPECT_EQ(g_fake.Owner, ActiveWindow);
  EXPECT_EQ(g_fake.Options,
            SystemDefaults | FOS_PICKFOLDERS | FOS_PATHMUSTEXIST | FOS_NOTESTFILECREATE | FOS_SHAREAWARE);
  DesignerStandIns::FreeObject(action);
}

// ---- the system's version ---------------------------------------------------------

DWORD g_major = 0;

TEST(DesignerNewSelectDirectory, IsTriedFromWindows6On) {
  DesignerStandIns::Load();
  Quillmend::SetWindowsMajorVersionSource([] { return g_major; });
  for (DWORD major : {4, 5, 6, 10}) {
    g_major = major;
    Quillmend::TPatchPlan plan = Quillmend::NewSelectDirectoryPlan();
    const Quillmend::TPlanVerdict verdict = Quillmend::DryRunPlan(plan, {});
    EXPECT_EQ(verdict.Applies, major >= 6) << major << ": " << std::string(verdict.Reason.begin(), verdict.Reason.end());
    EXPECT_EQ(verdict.Ignored, major < 6) << major;
  }
}

TEST(DesignerNewSelectDirectory, BeforeWindows6KeepsTheOldDialog) {
  Quillmend::SetWindowsMajorVersionSource([]() -> DWORD { return 5; });
  Start(false);
  DesignerStandIns::Install();
  EXPECT_EQ(DesignerStandIns::Status(NewSelectDirectory), L"");
  EXPECT_EQ(DesignerStandIns::SelectDirectory(L"Folder", L"", L"C:\\Start", NewUI), "1 C:\\Old");
  EXPECT_EQ(g_fake.Made, 0);
}

} // namespace
