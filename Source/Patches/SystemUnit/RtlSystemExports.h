// Export names of the host run-time's system unit (rtl150.bpl) that the
// system-unit patches redirect or call.
#pragma once

#include "Framework/HostAbi.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

constexpr const wchar_t* RtlPackage = L"rtl150.bpl";

namespace RtlSystemExport {
constexpr const char* Move = "@System@Move$qqrpxvpvi";
constexpr const char* LoadResString = "@System@LoadResString$qqrp20System@TResStringRec";
constexpr const char* FindResourceHInstance = "@System@FindResourceHInstance$qqrui";
constexpr const char* FindHInstance = "@System@FindHInstance$qqrpv";
constexpr const char* MainThreadID = "@System@MainThreadID";
constexpr const char* AddModuleUnloadProc = "@System@AddModuleUnloadProc$qqrpqqrui$v";
constexpr const char* RemoveModuleUnloadProc = "@System@RemoveModuleUnloadProc$qqrpqqrui$v";
constexpr const char* ClassNameIs = "@System@TObject@ClassNameIs$qqrx20System@UnicodeString";
constexpr const char* UTF8CompareLocale = "@System@UTF8CompareLocale";
}  // namespace RtlSystemExport

// The host string routines a replacement calls, as sites of its plan (a
// host without one fails the patch before any byte is written).
struct TStringSites {
  TSiteRef New, Asg, Clr;
};
TStringSites AddStringSites(TPatchPlan& plan);
// The routines found there (ReallocMem left unbound).
THostStrings StringsAt(const TPlanValues& values, const TStringSites& sites);

}  // namespace Quillmend
