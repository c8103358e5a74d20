// The designer root's FindItemParent, DeleteSelection and IsRootSelected as
// the host's compiler wrote them (host register convention; layouts in
// ItemParentDriver.h).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .text

// FindItemParent (EAX = root, EDX = item, ECX = the result variable): from
// the item, the root's next candidate (its virtual method at +0x48) until
// one answers IsContainer (method 12 of the item, the call at +15 of the
// searched bytes). The current item is kept twice ([ebp-0x10] and
// [ebp-0x14]). ALTBYTE: the current item read from its other copy.
        .balign 16
        .globl _designide_FindItemParent
_designide_FindItemParent:
        push ebp
        mov ebp, esp
        sub esp, 20                         // [ebp-4] root, [ebp-8] result variable,
        push ebx                            // [ebp-0xC] candidate, [ebp-0x10], [ebp-0x14] current
        push edi
        mov [ebp-4], eax
        mov [ebp-8], ecx
        mov [ebp-0x10], edx
        mov [ebp-0x14], edx
        lea ebx, [ebp-0xC]
        mov dword ptr [ebx], 0
.Lfind_next:
        SEARCHED_ROUTINE finditemparent, ComponentRootFindItemParent, _designide_FindItemParentSite
        .byte 0x8B, 0xCB                    // mov ecx,ebx                 the candidate's variable
        .byte 0x8B, 0x55                    // mov edx,[ebp-0x10]          the current item
        ALTBYTE finditemparent, 0xF0, 0xEC
        .byte 0x8B, 0x45, 0xFC              // mov eax,[ebp-4]             the root
        .byte 0x8B, 0x38                    // mov edi,[eax]
        .byte 0xFF, 0x57, 0x48              // call [edi+0x48]             NextCandidate
        .byte 0x8B, 0x03                    // mov eax,[ebx]
        .byte 0x8B, 0x10                    // mov edx,[eax]               (+15)
        .byte 0xFF, 0x52, 0x30              // call [edx+0x30]             IsContainer
        .byte 0x84, 0xC0                    // test al,al
        jnz .Lfind_found
        mov eax, [ebx]
        mov [ebp-0x10], eax
        mov [ebp-0x14], eax
        jmp .Lfind_next
.Lfind_found:
        mov eax, [ebp-8]
        mov edx, [ebx]
        mov [eax], edx
        pop edi
        pop ebx
        mov esp, ebp
        pop ebp
        ret

// DeleteSelection (EAX = root, DL = flag): the selection deleted, then in a
// try block (its handler lets every exception pass) the designer's current
// container selected by the call at +12 of the searched bytes (EAX = root,
// EDX = the component, ECX = 0) and the designer told. ALTBYTE: `xor
// ecx,ecx` with the other opcode.
        .balign 16
        .globl _designide_DeleteSelection
_designide_DeleteSelection:
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x51                          // push ecx                    [ebp-4] the root
        .byte 0x53                          // push ebx
        mov [ebp-4], eax
        call _designide_DeleteSelected
        xor eax, eax
        push ebp
        push offset _designide_DeleteSelectionHandler
        push dword ptr fs:[eax]
        mov fs:[eax], esp
        mov eax, [ebp-4]
        SEARCHED_ROUTINE deleteselection, ComponentRootDeleteSelection, _designide_DeleteSelectionSite
        CALL_REL(_designide_CurrentContainer)
        .byte 0x8B, 0xD0                    // mov edx,eax
        ALTBYTE deleteselection, 0x33, 0x31 // xor ecx,ecx
        .byte 0xC9
        .byte 0x8B, 0x45, 0xFC              // mov eax,[ebp-4]
        CALL_REL(_designide_SelectComponent) // (+12)
        .byte 0x8B, 0x45, 0xFC              // mov eax,[ebp-4]
        CALL_REL(_designide_DesignerModified)
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0x5A                          // pop edx
        .byte 0x59                          // pop ecx
        .byte 0x59                          // pop ecx
        .byte 0x64, 0x89, 0x10              // mov fs:[eax],edx
        pop ebx
        pop ecx
        pop ebp
        ret

        .balign 4
_designide_DeleteSelectionHandler:
        mov eax, 1                          // ExceptionContinueSearch
        ret

// IsRootSelected (EAX = root → AL): the holder (its offset at +2 of the
// searched bytes) asked for the selected root item. ALTBYTE: `xor eax,eax`
// with the other opcode.
        .balign 16
        .globl _designide_IsRootSelected
_designide_IsRootSelected:
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x51                          // push ecx                    [ebp-4] the root's item or nil
        .byte 0x53                          // push ebx
        mov ebx, eax
        mov dword ptr [ebp-4], 0
        lea edx, [ebp-4]
        SEARCHED_ROUTINE isrootselected, ComponentRootIsRootSelected, _designide_IsRootSelectedSite
        .byte 0x8B, 0x43, 0x2C              // mov eax,[ebx+0x2C]          the selection holder
        CALL_REL(_designide_SelectedRootItem)
        .byte 0x83, 0x7D, 0xFC, 0x00        // cmp dword ptr [ebp-4],0
        .byte 0x0F, 0x95, 0xC0              // setne al
        .byte 0x8B, 0xD8                    // mov ebx,eax
        ALTBYTE isrootselected, 0x33, 0x31  // xor eax,eax
        .byte 0xC0
        mov eax, ebx
        pop ebx
        pop ecx
        pop ebp
        ret
