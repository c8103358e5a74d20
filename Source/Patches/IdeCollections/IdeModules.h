// The IDE's modules and exports the collection patches use.
#pragma once

#include "Framework/HostObjectModel.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// A class record whose fields a plan reads (its instance size): the class
// export itself once the record holds them. A module's image that has not
// run may not have its records filled yet (records the module builds at
// start-up): then only the running IDE can answer.
inline TSiteRef FilledClassRecord(TPatchPlan& plan, const wchar_t* label, TSiteRef classRef) {
  return plan.Computed(
      label,
      [classRef](const TPlanValues& v) -> void* {
        return HostInstanceSize(v.Site(classRef)) != 0 ? v.Site(classRef) : nullptr;
      },
      true);
}

}  // namespace Quillmend

namespace Quillmend::IdeExports {

constexpr const wchar_t* Rtl = L"rtl150.bpl";
constexpr const wchar_t* CoreIde = L"coreide150.bpl";
constexpr const wchar_t* DelphiCoreIde = L"delphicoreide150.bpl";
constexpr const wchar_t* VclIde = L"vclide150.bpl";
constexpr const wchar_t* CompToolbar = L"comptoolbar150.bpl";
constexpr const wchar_t* DesignIde = L"designide150.bpl";

// The run-time's (rtl150.bpl).
constexpr const char* TObjectClass = "@System@TObject@";
constexpr const char* TListClass = "@Classes@TList@";
constexpr const char* TListClear = "@Classes@TList@Clear$qqrv";
constexpr const char* EListErrorClass = "@Classes@EListError@";
constexpr const char* SListIndexError = "@Rtlconsts@_SListIndexError";
constexpr const char* InterfaceListGet = "@Classes@TInterfaceList@Get$qqri";
constexpr const char* InterfaceListLock = "@Classes@TInterfaceList@Lock$qqrv";
constexpr const char* InterfaceListUnlock = "@Classes@TInterfaceList@Unlock$qqrv";
constexpr const char* SafeIntfAsClass =
    "@System@@SafeIntfAsClass$qqrx45System@%DelphiInterface$t17System@IInterface%p17System@TMetaClass";
constexpr const char* SameText = "@Sysutils@SameText$qqrx20System@UnicodeStringt1";
constexpr const char* AnsiSameText = "@Sysutils@AnsiSameText$qqrx20System@UnicodeStringt1";
constexpr const char* SameFileName = "@Sysutils@SameFileName$qqrx20System@UnicodeStringt1";
constexpr const char* AnsiCompareFileName = "@Sysutils@AnsiCompareFileName$qqrx20System@UnicodeStringt1";
constexpr const char* ExpandUNCFileName = "@Sysutils@ExpandUNCFileName$qqrx20System@UnicodeString";
constexpr const char* GetMem = "@System@@GetMem$qqri";
constexpr const char* FreeMem = "@System@@FreeMem$qqrpv";

}  // namespace Quillmend::IdeExports
