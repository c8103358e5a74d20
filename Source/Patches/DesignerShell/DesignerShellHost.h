// What the designer, component library and IDE shell fixes rely on in the
// IDE's modules: module and export names.
#pragma once

#include <windows.h>

namespace Quillmend {
namespace DesignerShellHost {

constexpr const wchar_t* DesignIde = L"designide150.bpl";
constexpr const wchar_t* Vcl = L"vcl150.bpl";
constexpr const wchar_t* CoreIde = L"coreide150.bpl";
constexpr const wchar_t* DelphiCoreIde = L"delphicoreide150.bpl";
constexpr const wchar_t* Rtl = L"rtl150.bpl";
constexpr const wchar_t* Vclx = L"vclx150.bpl";

namespace Export {
constexpr const char* GetRootStream = "@Componentdesigner@TComponentRoot@GetRootStream$qqrv";
constexpr const char* SwapSourceFormView = "@Delphimodule@TPascalCodeMgrModHandler@SwapSourceFormView$qqrv";
constexpr const char* LoadPackageCache = "@Pascpppakmgr@TProfileData@LoadPackageCache$qqrpx23Inifiles@TCustomIniFile";
constexpr const char* SavePackageCache = "@Pascpppakmgr@TProfileData@SavePackageCache$qqrpx23Inifiles@TCustomIniFileo";
constexpr const char* PaletteLoadData =
    "@Comppalmgr@TComponentPalettePageItemDelegate@LoadData$qqrpx23Inifiles@TCustomIniFile";
constexpr const char* PaletteSaveData =
    "@Comppalmgr@TComponentPalettePageItemDelegate@SaveData$qqrpx23Inifiles@TCustomIniFile";
constexpr const char* ListItemsDefineProperties = "@Comctrls@TListItems@DefineProperties$qqrp14Classes@TFiler";
constexpr const char* BitBtnClass = "@Buttons@TBitBtn@";
constexpr const char* FindItemParent =
    "@Componentdesigner@TComponentRoot@FindItemParent$qqrx42System@%DelphiInterface$t14Designer@IItem%";
constexpr const char* DeleteSelection = "@Componentdesigner@TComponentRoot@DeleteSelection$qqro";
constexpr const char* IsRootSelected = "@Componentdesigner@TComponentRoot@IsRootSelected$qqrv";
constexpr const char* ControlClass = "@Controls@TControl@";
constexpr const char* WinControlClass = "@Controls@TWinControl@";
constexpr const char* RecoverFormClass = "@Firecov@TRecoverFormInheritence@";
constexpr const char* RecoverFormSetup = "@Firecov@TRecoverFormInheritence@Setup$qqrx20System@UnicodeStringt1t1t1o";
constexpr const char* ReadErrorDlgClass = "@Formread@TReadErrorDlg@";
constexpr const char* ReadErrorDlgCreate = "@Formread@TReadErrorDlg@$bctr$qqrp18Classes@TComponent";
constexpr const char* FormReadError = "@Formread@FormReadError$qqrx20System@UnicodeStringt1";
constexpr const char* PanelClass = "@Extctrls@TPanel@";
constexpr const char* PanelCreate = "@Extctrls@TPanel@$bctr$qqrp18Classes@TComponent";
constexpr const char* ShowModal = "@Forms@TCustomForm@ShowModal$qqrv";
constexpr const char* Application = "@Forms@Application";
constexpr const char* Screen = "@Forms@Screen";
constexpr const char* SelectDirectory =
    "@Filectrl@SelectDirectory$qqrx20System@UnicodeStringx17System@WideStringr20System@UnicodeString53System@%Set$t25Filectrl@TSelectDirExtOpt$iuc$0$iuc$5%p20Controls@TWinControl";
constexpr const char* BrowseForFolderClass = "@Stdactns@TBrowseForFolder@";
constexpr const char* BrowseForFolderExecuteTarget = "@Stdactns@TBrowseForFolder@ExecuteTarget$qqrp14System@TObject";
constexpr const char* BProgress = "@COMINOUT@BPROGRESS$Q18COMPINTF@TPROGKINDPCII";
constexpr const char* ProgressFormShow = "@Comprgrs@TProgressForm@FormShow$qqrp14System@TObject";
constexpr const char* ProgressCancelClick = "@Comprgrs@TProgressForm@CancelButtonClick$qqrp14System@TObject";
constexpr const char* ProgressForm = "@Comprgrs@ProgressForm";
constexpr const char* CompilePreparing = "@Cominout@Preparing";
constexpr const char* ProgressMonitor = "@Cominout@ProgressMonitor";
constexpr const char* KibitzingCanceled = "@Kibitzingmonitor@TKibitzingMonitor@Canceled$qqrv";
constexpr const char* MainThreadId = "@System@MainThreadID";
constexpr const char* ProcessMessages = "@Forms@TApplication@ProcessMessages$qqrv";
constexpr const char* ProgressFormClass = "@Comprgrs@TProgressForm@";
constexpr const char* CustomFormCreateParams = "@Forms@TCustomForm@CreateParams$qqrr22Controls@TCreateParams";
constexpr const char* CustomFormWMSettingChange = "@Forms@TCustomForm@WMSettingChange$qqrr17Messages@TMessage";
constexpr const char* SetDesigner =
    "@Forms@TCustomForm@SetDesigner$qqr47System@%DelphiInterface$t19Forms@IDesignerHook%";
constexpr const char* ImageListClass = "@Imglist@TCustomImageList@";
constexpr const char* ImageListCreate = "@Imglist@TCustomImageList@$bctr$qqrp18Classes@TComponent";
constexpr const char* ImageListAdd = "@Imglist@TCustomImageList@Add$qqrp15Graphics@TBitmapt1";
constexpr const char* ImageListWriteData = "@Imglist@TCustomImageList@WriteData$qqrp15Classes@TStream";
constexpr const char* ImageListReadData = "@Imglist@TCustomImageList@ReadData$qqrp15Classes@TStream";
constexpr const char* BitmapClass = "@Graphics@TBitmap@";
constexpr const char* BitmapCreate = "@Graphics@TBitmap@$bctr$qqrv";
constexpr const char* BitmapSetSize = "@Graphics@TBitmap@SetSize$qqrii";
constexpr const char* FieldAddress = "@System@TObject@FieldAddress$qqrx20System@UnicodeString";
constexpr const char* FieldAddressShort = "@System@TObject@FieldAddress$qqrrx28System@%SmallString$iuc$255%";
constexpr const char* InitInheritedComponent =
    "@Classes@InitInheritedComponent$qqrp18Classes@TComponentp17System@TMetaClass";
} // namespace Export

// The host's application, screen, form and windowed control fields the
// shell fixes read.
namespace ApplicationLayout {
constexpr int Handle = 28, MainForm = 48;
}
namespace ScreenLayout {
constexpr int ActiveForm = 28;
}
namespace FormLayout {
constexpr int Height = 44, Handle = 56;
}
namespace WinControlLayout {
constexpr int Handle = 56;
}

// The image list's allocation step (AllocBy).
namespace ImageListLayout {
constexpr int AllocBy = 0x44;
}

// The IDE services interface {86602DE0-50BF-4AE5-BAF4-D9438BD33218};
// method 5: function GetBaseRegistryKey: string (EAX = the interface, EDX =
// the result variable).
constexpr GUID IdeServicesIid = {0x86602DE0, 0x50BF, 0x4AE5, {0xBA, 0xF4, 0xD9, 0x43, 0x8B, 0xD3, 0x32, 0x18}};
constexpr int IdeServicesBaseRegistryKey = 5;

} // namespace DesignerShellHost
} // namespace Quillmend
