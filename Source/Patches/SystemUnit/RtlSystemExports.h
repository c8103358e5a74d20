// Export names of the host run-time's system unit (rtl150.bpl) that the
// system-unit patches redirect or call.
#pragma once

namespace Quillmend {

constexpr const wchar_t* RtlModule = L"rtl150.bpl";

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
constexpr const char* NewUnicodeString = "@System@@NewUnicodeString$qqri";
constexpr const char* UStrAsg = "@System@@UStrAsg$qqrr20System@UnicodeStringx20System@UnicodeString";
constexpr const char* UStrClr = "@System@@UStrClr$qqrpv";
}  // namespace RtlSystemExport

}  // namespace Quillmend
