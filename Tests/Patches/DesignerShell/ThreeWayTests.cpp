// The designer, component library and IDE shell fixes three ways against
// their stand-ins: each applied alone (the stand-ins' results where nothing
// is faulty unchanged), disabled (nothing of it written), against builds the
// pack does not know (that patch failed with a reason, nothing of it
// written), the code restored byte for byte afterwards in every case.
#include <gtest/gtest.h>

#include <cstring>

#include "DesignerStandIns.h"
#include "Framework/HostAbi.h"
#include "Framework/PatchPlan.h"
#include "Patches/DesignerShell/BProgressResponsiveness.h"
#include "Patches/DesignerShell/ComponentDesignerFix.h"
#include "Patches/DesignerShell/DisablePackageCache.h"
#include "Patches/DesignerShell/FieldAddressDFMLoadingOpt.h"
#include "Patches/DesignerShell/ListViewStreamingFix.h"
#include "Patches/DesignerShell/PageControlTabSheetCompDropFix.h"
#include "Patches/DesignerShell/FileRemovalWhenSwitchTextToFormFix.h"
#include "Patches/DesignerShell/IDENewSelectDirectory.h"
#include "Patches/DesignerShell/ImageListWriteChangeCounterFix.h"
#include "Patches/DesignerShell/SearchUmlautInFilesFix.h"
#include "ThreeWayHarness.h"
#include "designide150/ComponentDesignerDriver.h"
#include "vcl150/ImageListStreamDriver.h"

namespace {

const wchar_t* const RootStream = L"VCL.ComponentDesignerRootStream";
const wchar_t* const SearchUmlaut = L"IDE.SearchUmlautInFiles";
const wchar_t* const FileRemoval = L"IDE.FileRemovalSwitchTextToFormFix";
const wchar_t* const PackageCache = L"IDE.DisablePackageCache";
const wchar_t* const ListViewStreaming = L"VCL.ListViewStreaming";
const wchar_t* const BitBtnDefaults = L"VCL.TBitBtnDoubleBufferDefault";
const wchar_t* const GuidelinesHide = L"IDE.VCLDesigner.GuidelinesHide";
const wchar_t* const FindItemParent = L"IDE.Designer.FindItemParent";
const wchar_t* const SmallErrorDlgs = L"IDE.Designer.SmallErrorDlgs";
const wchar_t* const BProgress = L"IDE.Compile.BProgress";
const wchar_t* const PopupMode = L"IDE.CompileProgess.PopupMode";
const wchar_t* const WindowRestore = L"IDE.WindowRestoreFix";
const wchar_t* const NewSelectDirectory = L"IDE.NewSelectDirectoryDialog";
const wchar_t* const ImageListWrite = L"IDE.ImageList.Write";
const wchar_t* const FieldAddress = L"RTL.FieldAddress";

const std::vector<TPatchRow> PatchRows = {
    {RootStream, {}},
    {SearchUmlaut, {}},
    {FileRemoval, {}},
    {PackageCache, {}},
    {ListViewStreaming, {}},
    {BitBtnDefaults, {}},
    {GuidelinesHide, {}},
    {FindItemParent, {}},
    {SmallErrorDlgs, {}},
    {BProgress, {}},
    {PopupMode, {}},
    {WindowRestore, {}},
    {NewSelectDirectory, {}},
    {ImageListWrite, {}},
    {FieldAddress, {}},
};

// A button whose type information lacks its second property.
void RenameParentDoubleBuffered() { DesignerStandIns::RenameButtonProperty("ParentDoubleBuffered", "ParentDoubleBufferex"); }

// A progress form class that overrides CreateParams itself (calling the
// inherited one): TCustomForm's is in no slot of it.
void QM_REGISTER OwnCreateParams(void* form, void* params) {
  reinterpret_cast<void(QM_REGISTER*)(void*, void*)>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"vcl150.bpl"), FormWindowDriver::Export::CreateParams)))(form, params);
}
void RemoveProgressCreateParams() {
  auto* classRef = reinterpret_cast<void**>(
      GetProcAddress(GetModuleHandleW(L"coreide150.bpl"), CompileProgressDriver::Export::ProgressFormClass));
  void* own = reinterpret_cast<void*>(&OwnCreateParams);
  DWORD old = 0;
  VirtualProtect(&classRef[FormWindowDriver::CreateParamsSlot], 4, PAGE_READWRITE, &old);
  classRef[FormWindowDriver::CreateParamsSlot] = own;
}

// A main form whose class and ancestors have no WM_SETTINGCHANGE handler.
void PlainMainForm() {
  DesignerStandIns::BindLoaded();
  DesignerStandIns::DropFormSettingHandler();
  DesignerStandIns::FormWindows().SetMainForm(DesignerStandIns::NewFormWithoutHandlers());
}

// The image list's first write raises: its self-test fails with the host's message.
void FailImageListWrite() {
  ImageListStreamDriver::Driver streams;
  streams.Bind(GetModuleHandleW(L"vcl150.bpl"));
  streams.FailWrites(1);
}

// The user left the package cache on: the patch does not apply, by design.
void PackageCacheLeftOn() { DesignerStandIns::SetPackageCacheValue(REG_SZ, L"0", 4); }

// The root's stream field offset in GetRootStream's code, made implausible.
void MisalignRootStreamField() {
  unsigned char* site =
      DesignerStandIns::PatternSite(L"designide150.bpl", "DesignIdePatternSites", "ComponentRootGetRootStream");
  const uint32_t odd = 0x6E;
  DesignerStandIns::OverwriteCode(site + 7, &odd, 4);
}

const std::vector<TVariantRow> VariantRows = {
    {"rootstream", {RootStream}},
    {"nogetrootstream", {RootStream}},
    {"rootstream-field", {RootStream}, &MisalignRootStreamField},
    {"umlaut", {SearchUmlaut}},
    {"fileremoval", {FileRemoval}},
    {"noswapsourceformview", {FileRemoval}},
    {"nopalettesavedata", {PackageCache}},
    {"listview", {ListViewStreaming}},
    {"nosetdesigner", {GuidelinesHide}},
    {"bitbtn-one-property", {BitBtnDefaults}, &RenameParentDoubleBuffered},
    {"finditemparent", {FindItemParent}},
    {"deleteselection", {FindItemParent}},
    {"isrootselected", {FindItemParent}},
    {"bprogress", {BProgress}},
    {"progressform-createparams", {PopupMode}, &RemoveProgressCreateParams},
    {"mainform-without-handler", {WindowRestore}, &PlainMainForm},
    {"readerror-size", {SmallErrorDlgs}, &DesignerStandIns::GrowReadErrorDialog},
    {"packagecache-on", {}, &PackageCacheLeftOn, {}, {PackageCache}},
    {"noselectdirectory", {NewSelectDirectory}},
    {"noexecutetarget", {NewSelectDirectory}},
    {"browseforfolder-size", {NewSelectDirectory}, &DesignerStandIns::GrowBrowseForFolder},
    {"novclx", {NewSelectDirectory}, nullptr, {}, {}, {L"vclx150.bpl"}},
    {"noimagelistwritedata", {ImageListWrite}},
    {"imagelist-selftest-raises", {ImageListWrite}, &FailImageListWrite},
    // A component library whose image lists stream stably: nothing to repair.
    {"imagelistinit-stablestreams", {}, nullptr, {}, {ImageListWrite}},
    {"noinitinheritedcomponent", {FieldAddress}},
    {"nofieldaddressshort", {FieldAddress}},
};

// The harness has set "Quillmend.DisabledPatches" already.
void InstallAsTheLibrary() {
  wchar_t disabled[512] = {};
  GetEnvironmentVariableW(L"Quillmend.DisabledPatches", disabled, 512);
  DesignerStandIns::Install(disabled);
}

const TThreeWaySubsystem& DesignerShell() {
  static const TThreeWaySubsystem subsystem{
      DesignerStandIns::ModuleFiles(),
      [] { DesignerStandIns::BindLoaded(); },
      [] { InstallAsTheLibrary(); },
      [] { return DesignerStandIns::Exercise(); },
      {RootStream, SearchUmlaut, FileRemoval, PackageCache, ListViewStreaming, BitBtnDefaults, GuidelinesHide,
       FindItemParent, SmallErrorDlgs, BProgress, PopupMode, WindowRestore, NewSelectDirectory, ImageListWrite, FieldAddress},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(DesignerShell, DesignerShell(), PatchRows, VariantRows)

const TReasonRow ReasonCases[] = {
    {"rootstream", RootStream, L"GetRootStream: pattern not found"},
    {"nogetrootstream", RootStream, L"TComponentRoot.GetRootStream: export not found"},
    {"umlaut", SearchUmlaut, L"SearchInFilesText: pattern not found"},
    {"fileremoval", FileRemoval, L"FileRemovalSwitchTextToForm: pattern not found"},
    {"listview", ListViewStreaming, L"ListItemsReadItemData: pattern not found"},
    {"nopalettesavedata", PackageCache, L"TComponentPalettePageItemDelegate.SaveData: export not found"},
    {"finditemparent", FindItemParent, L"FindItemParent: pattern not found"},
    {"deleteselection", FindItemParent, L"DeleteSelection: pattern not found"},
    {"isrootselected", FindItemParent, L"IsRootSelected: pattern not found"},
    {"bprogress", BProgress, L"BProgressCancel: pattern not found"},
    {"noselectdirectory", NewSelectDirectory, L"SelectDirectory: export not found"},
    {"noexecutetarget", NewSelectDirectory, L"TBrowseForFolder.ExecuteTarget: export not found"},
    {"noimagelistwritedata", ImageListWrite, L"TCustomImageList.WriteData: export not found"},
    {"noinitinheritedcomponent", FieldAddress, L"InitInheritedComponent: export not found"},
    {"nofieldaddressshort", FieldAddress, L"TObject.FieldAddress(ShortString): export not found"},
};

// The package cache's plan is tried only with its setting on.
void LoadWithPackageCacheOn(const char* variant) {
  DesignerStandIns::Load(variant);
  DesignerStandIns::SetPackageCacheValue(REG_SZ, L"1", 4);
}

std::vector<Quillmend::TPatchPlan> ReasonPlans() {
  std::vector<Quillmend::TPatchPlan> plans;
  plans.push_back(Quillmend::ComponentDesignerRootStreamPlan());
  plans.push_back(Quillmend::SearchUmlautInFilesPlan());
  plans.push_back(Quillmend::FileRemovalSwitchTextToFormPlan());
  plans.push_back(Quillmend::DisablePackageCachePlan());
  plans.push_back(Quillmend::ListViewStreamingPlan());
  plans.push_back(Quillmend::FindItemParentPlan());
  plans.push_back(Quillmend::CompileBProgressPlan());
  plans.push_back(Quillmend::NewSelectDirectoryPlan());
  plans.push_back(Quillmend::ImageListWritePlan());
  plans.push_back(Quillmend::FieldAddressPlan());
  return plans;
}

QM_FAILURE_REASON_TESTS(DesignerShell, LoadWithPackageCacheOn, ReasonPlans, ReasonCases);

} // namespace
