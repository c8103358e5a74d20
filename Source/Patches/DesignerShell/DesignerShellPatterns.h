// The code the designer, component library and IDE shell fixes look for,
// grouped by the module it lies in, with the offsets their edits and
// captures use.
#pragma once

#include <cstdint>

namespace Quillmend {
namespace DesignerShellPatterns {

// ---- vcl150.bpl ------------------------------------------------------------------
// Reading a list view's item data, within 8192 bytes of
// TListItems.DefineProperties: the call at +24 reads one byte from the
// stream (EAX = stream, EDX = buffer, ECX = 1) and raises a read error when
// the data is short.
constexpr const char* ListItemsReadByte =
    "64 FF 30 64 89 20 8B 45 F8 E8 ?? ?? ?? ?? 8D 55 E9 B9 01 00 00 00 8B C6 E8 ?? ?? ?? ??";
constexpr int32_t ListItemsWindow = 8192;
constexpr int32_t ListItemsReadCall = 24;

// ---- designide150.bpl ------------------------------------------------------------
// TComponentRoot.GetRootStream, within 1024 bytes: the new stream stored in
// the root's field (offset at +7), then, in a try block, the root written
// into it by the call at +30 (EAX = root, EDX = stream).
constexpr const char* RootStreamWrite =
    "8B D8 8B 45 FC 89 98 ?? ?? ?? ?? 33 C9 55 68 ?? ?? ?? ?? 64 FF 31 64 89 21 8B D3 8B 45 FC E8 ?? ?? ?? ?? 33 C0";
constexpr int32_t RootStreamWindow = 1024;
constexpr int32_t RootStreamField = 7;
constexpr int32_t RootStreamWriteCall = 30;

// TComponentRoot.FindItemParent, within 256 bytes: the root's candidate
// after the current item (its virtual method at +0x48), then the call at
// +15 (`mov edx,[eax]; call [edx+0x30]`, 5 bytes): the candidate's
// IsContainer (method 12 of the item interface in EAX → AL).
constexpr const char* ItemParentContainerTest =
    "8B CB 8B 55 F0 8B 45 FC 8B 38 FF 57 48 8B 03 8B 10 FF 52 30 84 C0";
constexpr int32_t ItemParentWindow = 256;
constexpr int32_t ItemParentTestCall = 15;
constexpr int32_t ItemParentTestSize = 5;
// TComponentRoot.DeleteSelection, within 768 bytes: after the deletion, the
// call at +12 selects a component (EAX = root, EDX = the component, ECX = 0).
constexpr const char* DeleteSelectionSelect =
    "E8 ?? ?? ?? ?? 8B D0 33 C9 8B 45 FC E8 ?? ?? ?? ?? 8B 45 FC E8 ?? ?? ?? ?? 33 C0 5A 59 59 64 89 10";
constexpr int32_t DeleteSelectionWindow = 768;
constexpr int32_t DeleteSelectionSelectCall = 12;
// TComponentRoot.IsRootSelected, within 128 bytes: the byte at +2 is the
// offset of the root's selection holder.
constexpr const char* RootSelectionHolder = "8B 43 ?? E8 ?? ?? ?? ?? 83 7D FC 00 0F 95 C0 8B D8 33 C0";
constexpr int32_t RootSelectionWindow = 128;
constexpr int32_t RootSelectionHolderOffset = 2;

// ---- delphicoreide150.bpl --------------------------------------------------------
// The nested routine of the Pascal module handler's view switch, searched
// from 384 bytes before SwapSourceFormView within 768 bytes: the call at +4
// brings the file's registration up to date (it takes the enclosing frame,
// [EBP+8], on the stack; the caller pops), the call at +95 frees the
// handler of a removed file.
constexpr const char* FileRemovalSwitch =
    "8B 45 08 50 E8 ?? ?? ?? ?? 59 8B 45 08 8B 40 FC 80 78 ?? 00 75 33 8B 43 ?? 8B 10 FF 52 1C 8B 45 08 8B 40 FC "
    "E8 ?? ?? ?? ?? 8B D8 4B 85 DB 7C 19 43 33 F6 8B 45 08 8B 40 FC 8B D6 E8 ?? ?? ?? ?? E8 ?? ?? ?? ?? 46 4B 75 EA "
    "8B 45 08 8B 40 FC 8B 10 FF 92 ?? ?? 00 00 EB 13 8B 45 08 8B 40 FC E8 ?? ?? ?? ??";
constexpr int32_t FileRemovalBefore = 384;
constexpr int32_t FileRemovalWindow = 768;
constexpr int32_t FileRemovalSyncCall = 4;
constexpr int32_t FileRemovalFreeCall = 95;

// ---- coreide150.bpl -------------------------------------------------------------
// Search in files, anywhere in the module: the search text made into an
// 8-bit string labelled UTF-8 (code page 65001) by the call at +11, which
// copies the bytes without converting them.
constexpr const char* SearchTextUtf8 =
    "8D 45 FC 8B 53 64 B9 E9 FD 00 00 E8 ?? ?? ?? ?? 8B 45 FC 89 45 E4 83 7D E4 00 74 0B 8B 45 E4 83 E8 04 8B 00 "
    "89 45 E4 8B 45 FC E8 ?? ?? ?? ??";
constexpr int32_t SearchTextWindow = 0x10000;  // the whole module
constexpr int32_t SearchTextCall = 11;
// The compiler's progress callback BPROGRESS, within 256 bytes: the cancel
// variable (its address at +3) taken by InterlockedExchange(var, 0), the
// call at +7 (stdcall, the callee pops).
constexpr const char* BProgressCancelExchange = "6A 00 68 ?? ?? ?? ?? E8 ?? ?? ?? ?? E9 ?? ?? 00 00 E8 ?? ?? ?? ??";
constexpr int32_t BProgressWindow = 256;
constexpr int32_t BProgressCancelVariable = 3;
constexpr int32_t BProgressExchangeCall = 7;

} // namespace DesignerShellPatterns
} // namespace Quillmend
