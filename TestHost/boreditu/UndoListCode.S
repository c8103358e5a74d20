// The editor kernel's undo routines, byte for byte where the pack looks for
// them (host register convention):
//   the undo routine (EAX = buffer, EDX = first, ECX = last, inclusive):
//     its start is a searched routine; within 256 bytes of it lies its
//     per-item loop (ESI = the index, EDI = the last): a word 1 and the index
//     at [esp+4] as the item record, the undo list object (buffer + 0x8600)
//     in EAX, a call of the per-item routine at +25, `inc esi` at +30 and
//     the backward `jge` at +33. After the loop the buffer is told where the
//     group ended (EDX = ESI, the index after the last one undone).
//   the range routine (EAX = undo list, EDX = first, ECX = end, exclusive):
//     its start is a searched routine; it undoes the whole range in one call.
// Each searched routine has one ALTBYTE: an equivalent encoding (0x82 is the
// 32-bit alias of the byte-immediate group 0x80; a SIB byte's scale bits
// with no index register are ignored).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .text

        .balign 16
        SEARCHED_ROUTINE undogroup, UndoGroupStart, _BorEditUndoGroup
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x57                          // push edi
        .byte 0x8B, 0xD8                    // mov ebx,eax                the buffer
        .byte 0x55                          // push ebp
        .byte 0x83, 0xC4, 0xF4              // add esp,-12
        ALTBYTE undogroup, 0x80, 0x82       // cmp byte [ebx+0x8640],0    no undo list?
        .byte 0xBB, 0x40, 0x86, 0x00, 0x00, 0x00
        .byte 0x8B, 0xF2                    // mov esi,edx                the first index
        .byte 0x0F, 0x84                    // je done
        .long .Lundo_done - . - 4
        .byte 0x8B, 0xF9                    // mov edi,ecx                the last index
        .byte 0x90, 0x90                    // nop; nop

        SEARCHED_ROUTINE undoloop, UndoGroupLoop, _BorEditUndoLoop
        .byte 0x66, 0xC7, 0x44, 0x24, 0x04, 0x01, 0x00  // mov word [esp+4],1   the item's kind
        .byte 0x3B, 0xFE                    // cmp edi,esi
        .byte 0x7C, 0x18                    // jl after                   (an empty range)
.Lundo_next:                                // +11
        .byte 0x89, 0x74, 0x24, 0x06        // mov [esp+6],esi            the item's index
        .byte 0x8D, 0x54                    // lea edx,[esp+4]            the item record
        ALTBYTE undoloop, 0x24, 0x64
        .byte 0x04
        .byte 0x8D, 0x83, 0x00, 0x86, 0x00, 0x00  // lea eax,[ebx+0x8600]   the undo list
        CALL_REL(_BorEditUndoItem)          // call UndoItem              (+25)
        .byte 0x46                          // inc esi                    (+30)
        .byte 0x3B, 0xFE                    // cmp edi,esi
        .byte 0x7D, 0xE8                    // jge next                   (+33)
.Lundo_after:                               // +35
        .byte 0x8B, 0xC3                    // mov eax,ebx
        .byte 0x8B, 0xD6                    // mov edx,esi                where the group ended
        CALL_REL(_BorEditUndoGroupDone)
.Lundo_done:
        .byte 0x83, 0xC4, 0x0C              // add esp,12
        .byte 0x5D                          // pop ebp
        .byte 0x5F                          // pop edi
        .byte 0x5E                          // pop esi
        .byte 0x5B                          // pop ebx
        .byte 0xC3                          // ret

        .balign 16
        SEARCHED_ROUTINE undorange, UndoRangeStart, _BorEditUndoRange
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x57                          // push edi
        .byte 0x55                          // push ebp
        .byte 0x83, 0xC4, 0xF0              // add esp,-16
        .byte 0x89, 0x4C                    // mov [esp+8],ecx            the end (exclusive)
        ALTBYTE undorange, 0x24, 0x64
        .byte 0x08
        .byte 0x89, 0x54, 0x24, 0x04        // mov [esp+4],edx            the first index
        .byte 0x89, 0x04, 0x24              // mov [esp],eax              the undo list
        .byte 0x8B, 0x04, 0x24              // mov eax,[esp]
        .byte 0x8B, 0x00                    // mov eax,[eax]              its buffer
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0x8B, 0x50, 0x0C              // mov edx,[eax+12]           the undo table
        .byte 0x81, 0xC2, 0x10, 0x00, 0x00, 0x00  // add edx,16             its first entry
        .byte 0x89, 0x54, 0x24, 0x0C        // mov [esp+12],edx
        mov eax, [esp]
        mov edx, [esp+4]
        mov ecx, [esp+8]
        call _BorEditUndoRangeBody
        add esp, 16
        pop ebp
        pop edi
        pop esi
        pop ebx
        ret
