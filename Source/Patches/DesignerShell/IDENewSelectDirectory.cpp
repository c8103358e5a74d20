#include "Patches/DesignerShell/IDENewSelectDirectory.h"

#include <cwchar>

#include "Framework/HostFinally.h"
#include "Framework/HostObjectModel.h"
#include "Framework/LibraryEntry.h"
#include "Patches/DesignerShell/DesignerShellHost.h"
#include "Patches/DesignerShell/FolderDialog.h"

namespace Quillmend {

using namespace DesignerShellHost;

TSelectDirectory OrgSelectDirectory = nullptr;
TExecuteTarget OrgBrowseExecuteTarget = nullptr;

namespace {

namespace Layout = BrowseForFolderLayout;

using TEvent = void(QM_REGISTER*)(void* data, void* sender);

void* const* g_application = nullptr;
void* const* g_screen = nullptr;
TWindowsMajorVersion g_majorVersion = nullptr;

template <class T>
T& At(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

DWORD SystemMajorVersion() { return LOBYTE(LOWORD(GetVersion())); }

// The host's Trim: characters up to the space go at both ends.
std::wstring Trim(const std::wstring& text) {
  size_t first = 0, last = text.size();
  while (first < last && text[first] <= L' ') ++first;
  while (last > first && text[last - 1] <= L' ') --last;
  return text.substr(first, last - first);
}

bool IsDesktop(const wchar_t* root) { return !root || !*root || std::wcscmp(root, L"Desktop") == 0; }

HWND WindowOf(void* control) { return control ? At<HWND>(control, WinControlLayout::Handle) : nullptr; }

// The control's window, else the main form's, else the application's.
HWND OwnerWindow(void* control) {
  if (HWND own = WindowOf(control)) return own;
  void* application = *g_application;
  if (!application) return nullptr;
  if (HWND main = WindowOf(At<void*>(application, ApplicationLayout::MainForm))) return main;
  return At<HWND>(application, ApplicationLayout::Handle);
}

bool BrowsesWithNewDialog(void* action) {
  return !(At<uint8_t>(action, Layout::ComponentState) & 1) &&
         (At<uint32_t>(action, Layout::BrowseOptions) & BrowseNewDialogStyle) &&
         IsDesktop(At<const wchar_t*>(action, Layout::RootDir)) && !At<void*>(action, Layout::RootFolder) &&
         At<int32_t>(action, Layout::SpecialFolder) == -1;
}

void CallEvent(void* action, int offset) {
  const THostMethod event = At<THostMethod>(action, offset);
  if (event.Code) reinterpret_cast<TEvent>(event.Code)(event.Data, action);
}

} // namespace

bool SelectsWithNewDialog(uint32_t selectOptions, const wchar_t* root) {
  return (selectOptions & SelectDirOption::NewUI) && !(selectOptions & SelectDirOption::ShowFiles) && IsDesktop(root);
}

uint32_t SelectDirectoryDialogOptions(uint32_t selectOptions) {
  uint32_t options = HostDialogOption::PickFolders | HostDialogOption::PathMustExist;
  if (!(selectOptions & SelectDirOption::ValidateDir)) options |= HostDialogOption::NoTestFileCreate;
  if (selectOptions & SelectDirOption::ShowShares) options |= HostDialogOption::ShareAware;
  return options;
}

std::wstring DialogTitle(const std::wstring& caption) {
  std::wstring title = Trim(caption);
  if (!title.empty() && title.back() == L':') title.pop_back();
  return Trim(title);
}

uint8_t QM_REGISTER SelectDirectoryReplacement(const wchar_t* caption, const wchar_t* root, wchar_t** directory,
                                               void* parent, uint32_t options) {
  options &= 0xFF;  // a one-byte set in a 32-bit slot
  if (!SelectsWithNewDialog(options, root)) return OrgSelectDirectory(caption, root, directory, parent, options);
  const TFolderDialogResult result = HostBoundary([&] {
    TFolderDialog dialog;
    std::wstring chosen;
    const TFolderDialogResult shown =
        dialog.Show({DialogTitle(FromHostString(caption)), FromHostString(*directory), OwnerWindow(parent),
                     SelectDirectoryDialogOptions(options)},
                    chosen);
    if (shown == TFolderDialogResult::Confirmed) AssignHostString(directory, chosen);
    return shown;
  });
  // Without the new dialog the user still gets the old one.
  if (result == TFolderDialogResult::Unavailable) return OrgSelectDirectory(caption, root, directory, parent, options);
  return result == TFolderDialogResult::Confirmed ? 1 : 0;
}

void QM_REGISTER BrowseExecuteTargetReplacement(void* action, void* target) {
  if (!BrowsesWithNewDialog(action)) return OrgBrowseExecuteTarget(action, target);
  TFolderDialog* dialog = HostBoundary([] { return new TFolderDialog; });
  if (!dialog->Available()) {
    delete dialog;
    return OrgBrowseExecuteTarget(action, target);
  }
  // The action's events are the host's code and may raise: the dialog goes in any case.
  HostTryFinally(
      [&] {
        At<uint8_t>(action, Layout::ExecuteResult) = 0;
        CallEvent(action, Layout::BeforeExecute);
        const bool confirmed = HostBoundary([&] {
          void* screen = *g_screen;
          const uint32_t hostOptions = SelectDirectoryDialogOptions(
              (At<uint32_t>(action, Layout::BrowseOptions) & BrowseShareable) ? SelectDirOption::ShowShares : 0);
          std::wstring chosen;
          const bool ok = dialog->Show({DialogTitle(FromHostString(At<const wchar_t*>(action, Layout::DialogCaption))),
                                        FromHostString(At<const wchar_t*>(action, Layout::Folder)),
                                        OwnerWindow(screen ? At<void*>(screen, ScreenLayout::ActiveForm) : nullptr),
                                        hostOptions},
                                       chosen) == TFolderDialogResult::Confirmed;
          if (ok) AssignHostString(&At<wchar_t*>(action, Layout::Folder), chosen);
          return ok;
        });
        At<uint8_t>(action, Layout::ExecuteResult) = confirmed ? 1 : 0;
        CallEvent(action, confirmed ? Layout::OnAccept : Layout::OnCancel);
      },
      [&]() noexcept { delete dialog; });
}

void SetWindowsMajorVersionSource(TWindowsMajorVersion source) { g_majorVersion = source; }

TPatchPlan NewSelectDirectoryPlan() {
  TPatchPlan plan(L"IDE.NewSelectDirectoryDialog", L"Use new SelectDirectory dialog");
  plan.TriedOnlyWhen(L"not tried: Windows before 6.0 has no folder-picking file dialog",
                     [] { return (g_majorVersion ? g_majorVersion() : SystemMajorVersion()) >= 6; });
  TSiteRef select = plan.Export(L"SelectDirectory", Vclx, Export::SelectDirectory);
  TSiteRef browseClass = plan.Export(L"TBrowseForFolder", Vclx, Export::BrowseForFolderClass);
  // The class record is filled when its package has run: before that only the running IDE can answer.
  TSiteRef built = plan.Computed(
      L"TBrowseForFolder class record",
      [browseClass](const TPlanValues& v) -> void* {
        return HostInstanceSize(v.Site(browseClass)) != 0 ? v.Site(browseClass) : nullptr;
      },
      true);
  plan.Expect(L"TBrowseForFolder: not the declared instance size (108)",
              [built](const TPlanValues& v) { return HostInstanceSize(v.Site(built)) == Layout::Size; });
  TSiteRef executeTarget = plan.Export(L"TBrowseForFolder.ExecuteTarget", Vclx, Export::BrowseForFolderExecuteTarget);
  TSiteRef application = plan.Export(L"Application", Vcl, Export::Application);
  TSiteRef screen = plan.Export(L"Screen", Vcl, Export::Screen);
  plan.RedirectOrgCall(select, &SelectDirectoryReplacement, reinterpret_cast<void**>(&OrgSelectDirectory));
  plan.VmtField(built, plan.Address(executeTarget), &BrowseExecuteTargetReplacement);
  plan.OnCommit([=](const TPlanValues& v) {
    OrgBrowseExecuteTarget = reinterpret_cast<TExecuteTarget>(v.Site(executeTarget));
    g_application = reinterpret_cast<void* const*>(v.Site(application));
    g_screen = reinterpret_cast<void* const*>(v.Site(screen));
  });
  return plan;
}

void InstallIDENewSelectDirectory() {
  TPatchPlan plan = NewSelectDirectoryPlan();
  InstallPlan(plan);
}

namespace {

void InitializeIDENewSelectDirectory() { AddWizardInitProc(&InstallIDENewSelectDirectory); }

std::vector<TPatchPlan> IDENewSelectDirectoryPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(NewSelectDirectoryPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_IDENewSelectDirectory = {"IDENewSelectDirectory", &InitializeIDENewSelectDirectory, nullptr,
                                              &IDENewSelectDirectoryPlans};

} // namespace Quillmend
