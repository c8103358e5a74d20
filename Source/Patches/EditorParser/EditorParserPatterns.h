// The code the editor, parser and code-completion fixes look for, grouped by
// the module it lies in, with the offsets their edits and captures use.
#pragma once

#include <cstdint>

namespace Quillmend {
namespace EditorParserPatterns {

// ---- boreditu.dll: the undo (searched within the module's first 0x20000 bytes) ----
constexpr int32_t UndoSearchLimit = 0x20000;
// (a) The range routine's start (undo list, first, end exclusive).
constexpr const char* UndoRange =
    "53 56 57 55 83 C4 F0 89 4C 24 08 89 54 24 04 89 04 24 8B 04 24 8B 00 8B D8 8B 50 0C 81 C2 ?? ?? ?? ?? 89 54 24 0C";
// (b) The undo routine's start.
constexpr const char* UndoGroup = "53 56 57 8B D8 55 83 C4 F4 80 BB ?? 86 00 00 00 8B F2 0F 84 ?? 00 00 00";
// (c) Its per-item loop, within 256 bytes of (b): ESI the index, EDI the last.
constexpr const char* UndoLoop =
    "66 C7 44 24 04 01 00 3B FE 7C 18 89 74 24 06 8D 54 24 04 8D 83 ?? ?? 00 00 E8 ?? ?? ?? ?? 46 3B FE 7D E8";
constexpr int32_t UndoLoopWindow = 256;
constexpr int32_t UndoItemCall = 25;  // call of the per-item routine (EAX object, EDX item record)
constexpr int32_t UndoLoopJump = 33;  // the backward jge

// ---- coreide150.bpl ---------------------------------------------------------------
// TParseThread.Parse, within 256 bytes of its start: the parsing flag's offset at +19.
constexpr const char* ParseFlag =
    "64 FF 30 64 89 20 8B 45 FC E8 ?? ?? ?? ?? 8B 45 FC C6 40 ?? 01 E8 ?? ?? ?? ?? 8B 45 FC DD 58 ?? 9B";
constexpr int32_t ParseFlagWindow = 256;
constexpr int32_t ParseFlagOffset = 19;
// TCustomEditControl.HideBlock's start: push ebx; mov ebx,eax; mov eax,[ebx+<view field>]; test eax,eax.
constexpr const char* HideBlockStart = "53 8B D8 8B 83";
constexpr int32_t HideBlockViewField = 5;
constexpr const char* HideBlockTest = "85 C0";
constexpr int32_t HideBlockTestAt = 9;

// ---- refactoride150.bpl --------------------------------------------------------------
// TDelphiRefactorMenuItem.Update's first 32 bytes; the call at +24 reaches the update routine.
constexpr const char* RefactorMenuItemUpdate =
    "53 56 8B F2 8B D8 8B C6 8B 15 ?? ?? ?? ?? E8 ?? ?? ?? ?? 33 C9 8B 53 04 E8 ?? ?? ?? ?? 5E 5B C3";
constexpr int32_t RefactorUpdateCall = 24;

// ---- delphicoreide150.bpl ---------------------------------------------------------------
// EnsureSection, within 1280 bytes: the `74` at +15 lets an empty published section be made.
constexpr const char* EnsureSectionPublished = "3B 45 F4 7D 7E 8B 45 FC 83 B8 ?? ?? ?? ?? 00 74 72 8B 45 FC";
constexpr int32_t EnsureSectionWindow = 1280;
constexpr int32_t EnsureSectionJump = 15;
// A: in ParseMethodOrAlias, within 4096 bytes; the token kind stays in EAX once
// `89 F2` replaces `mov eax,esi` at +13; the classifier's call at +15.
constexpr const char* ClassCompletionA =
    "8B 47 48 8B D3 E8 ?? ?? ?? ?? 88 45 F3 8B C6 E8 ?? ?? ?? ?? 3C 02 74 0A 8D 55 E4 8B C6 E8 ?? ?? ?? ??";
constexpr int32_t ClassCompletionAWindow = 4096;
constexpr int32_t ClassCompletionAMove = 13;
constexpr int32_t ClassCompletionAClassify = 15;
// B: in ClassSymbolByPosition, within 0x10000 (the whole module); C from B, within 8192 bytes.
constexpr const char* ClassCompletionB =
    "8B 45 FC E8 ?? ?? ?? ?? 84 C0 74 10 8D 45 FC 8B 4D FC BA ?? ?? ?? ?? E8 ?? ?? ?? ?? 6A 02 8D 95 DC EF FF FF";
constexpr int32_t ClassCompletionBWindow = 0x10000;
constexpr const char* ClassCompletionC =
    "8B 45 FC E8 ?? ?? ?? ?? 84 C0 74 10 8D 45 FC 8B 4D FC BA ?? ?? ?? ?? E8 ?? ?? ?? ?? 6A 02 8D 95 CC EF FF FF 8B C3 E8 "
    "?? ?? ?? ??";
constexpr int32_t ClassCompletionCWindow = 8192;
constexpr int32_t ClassCompletionReservedCall = 3;  // at B and at C

} // namespace EditorParserPatterns
} // namespace Quillmend
