// The designer, component library and IDE shell fixes' stand-ins in the
// test process: rtl150.bpl, vcl150.bpl, boreditu.dll, coreide150.bpl,
// delphicoreide150.bpl and designide150.bpl (or a variant's copies), their
// drivers, and the installation of the subsystem's patches as the library
// does it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "coreide150/CompileProgressDriver.h"
#include "coreide150/MainFormDriver.h"
#include "coreide150/SearchInFilesDriver.h"
#include "delphicoreide150/DelphiModuleDriver.h"
#include "delphicoreide150/ErrorDialogsDriver.h"
#include "delphicoreide150/PackageCacheDriver.h"
#include "designide150/ComponentDesignerDriver.h"
#include "designide150/FormDesignerDriver.h"
#include "designide150/ItemParentDriver.h"
#include "rtl150/FormLoadingDriver.h"
#include "vcl150/BitBtnDriver.h"
#include "vcl150/FormWindowDriver.h"
#include "vcl150/ListItemsDriver.h"
#include "vcl150/MessagePumpDriver.h"
#include "vcl150/ModalDriver.h"
#include "vclx150/SelectDirectoryDriver.h"

namespace DesignerStandIns {

// The modules in loading order.
const std::vector<std::wstring>& ModuleFiles();
// Loads them from <build>/host (a variant's copy where it has one) and binds the drivers.
void Load(const char* variant = nullptr);
// Binds the drivers to the modules already loaded.
void BindLoaded();

const ComponentDesignerDriver::Driver& Designer();
const SearchInFilesDriver::Driver& Search();
const DelphiModuleDriver::Driver& Module();
// A view switch of a handler of `file`: "registered=<0|1> freed=<0|1> refreshed=<n> notified=<n> switched=<n>"
// (the counts this switch added).
std::string SwitchView(const char* file, bool removed, bool showsForm, int items);
// A search in files for an 8-bit text over the files given: "<files found> <text looked for, UTF-8>".
std::string SearchFor(const char* ansiText, const std::vector<std::wstring>& files);

// The IDE's services as the library meets them: {86602DE0-...} answering
// the base registry key of this test process (TestBaseKey); null: none.
void UseIdeServices(bool present);
std::wstring TestBaseKey();  // "\Software\QuillmendTests\DesignerShell\<process id>"
// Writes "QuillmendDisablePackageCache" under TestBaseKey() + "\Globals"
// (type REG_NONE: the value deleted).
void SetPackageCacheValue(DWORD type, const void* data, DWORD size);
// The four cache routines called once each: "reads=<n> writes=<n>".
std::string UseCaches();

// A new host memory stream holding the bytes, positioned at 0.
void* NewMemoryStream(const std::string& bytes);
void FreeObject(void* object);
// List view items read from item data through DefineProperties:
// "count=<n> sum=<s> updating=<u>", or "<class>: <message> updating=<u>"
// when the read raised.
std::string ReadListItems(const std::string& data);
// The same items written back through DefineProperties.
std::string ReadAndWriteListItems(const std::string& data);

// A bit button's properties as a form file stores them ("Name=value\n" each),
// with its DoubleBuffered and ParentDoubleBuffered set (-1: as made).
std::string StoredButtonProperties(int doubleBuffered = -1, int parentDoubleBuffered = -1);
// Renames a published property of TBitBtn in its type information (same length).
void RenameButtonProperty(const char* name, const char* newName);

const FormDesignerDriver::Driver& FormDesigners();
const ItemParentDriver::Driver& ItemParents();

const ErrorDialogsDriver::Driver& ErrorDialogs();
// What vcl150's ShowModal hands a shown form to, and the result it returns.
void SetModalProbe(ModalDriver::ProbeFn probe, int result);
// TReadErrorDlg's class record made 4 bytes larger (a build of another layout).
void GrowReadErrorDialog();

const CompileProgressDriver::Driver& Progress();
const MessagePumpDriver::Driver& Pump();

const FormWindowDriver::Driver& FormWindows();
// A new TCustomForm of vcl150 (no window).
void* NewForm();
// A new form of a TCustomForm descendant with no message handler of its own (a TReadErrorDlg).
void* NewFormWithoutHandlers();
// TCustomForm's WM_SETTINGCHANGE entry renumbered in its dynamic method
// table (a build whose forms have no such handler).
void DropFormSettingHandler();
const MainFormDriver::Driver& MainForms();
// The application's main form (null: none).
void* MainForm();
// TCustomForm.SetDesigner of vcl150.bpl (EAX = form, EDX = designer hook or nil).
void SetDesigner(void* form, void* designerHook);
// A message through the designer's IDesignerHook method 36: the guideline
// hides it caused ("a,b,c,d;" each) and whether the designer's own routine saw it ("seen").
std::string SendDesignMessage(void* designer, uint32_t message, int32_t wParam);

const SelectDirectoryDriver::Driver& Directories();
// SelectDirectory with a new caption, root and directory of those texts:
// "<result> <directory after the call>".
std::string SelectDirectory(const wchar_t* caption, const wchar_t* root, const wchar_t* directory, int options,
                            void* parent = nullptr);
// The action's ExecuteTarget through its class: "<result> <events b, a, c> <folder after the call>".
std::string BrowseForFolder(void* action);
// The old dialogs shown so far and the last one's line: "<count> <line>".
std::string OldDialogs();
// TBrowseForFolder's class record made 4 bytes larger (a build of another layout).
void GrowBrowseForFolder();

// rtl150's field look-ups and form loading (entries null in a build lacking them).
const FormLoadingDriver::Driver& FormLoading();

// Installs every patch of the subsystem as the library does: the unit
// initializations, then the wizard-init procedures. Unless a test chose
// otherwise, the IDE's services are there and the package cache is
// switched off ("1").
void Install(const std::wstring& disabledPatches = L"");
// "applied", "failed", "ignored", or "" when the patch is not registered.
std::wstring Status(const std::wstring& patch);
// Every failed patch's reason (for a failing assertion's message).
std::string Reasons();

// Where a stand-in module's searched routine `site` begins (its site table
// export, e.g. "DesignIdePatternSites"); null when it has none of that name.
unsigned char* PatternSite(const wchar_t* module, const char* sitesExport, const char* site);
// Writes `size` bytes over a stand-in's code (an alteration no pattern sees).
void OverwriteCode(void* at, const void* bytes, size_t size);

// What the stand-ins compute where the patches change nothing.
std::string Exercise();

} // namespace DesignerStandIns
