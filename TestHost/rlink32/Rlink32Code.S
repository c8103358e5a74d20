// The resource linker's table, as its bytes. A (eax = the caller's size
// variable): allocates the table, 0xFF00 bytes first, 0x400 less after each
// failure down to 0x400, stores the size it got as 16 bits and answers the
// table; with none, error 7566 and the size 0. The link routine keeps the
// size variable (32 bits of room) on its stack, reads it back as 16 bits
// (B) and keeps size / 18 as the table's entries (16 bits).
// Variants: resalloc (test eax,eax as or eax,eax), resentries (xor through its
// other opcode).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix

        .data
        .balign 4
        .globl _RlMaxEntries
_RlMaxEntries:          .long 0

        .text

// ---- A: eax = &size → the table, or 0 -----------------------------------------------------
        .balign 16
        SEARCHED_ROUTINE resalloc, ResTableAlloc, _RlAllocTable
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x8B, 0xF0                    // mov esi,eax
        .byte 0xBB, 0x00, 0xFF, 0x00, 0x00  // mov ebx,0xFF00
        .byte 0x53                          // +0x09: push ebx
        CALL_REL(_RlMalloc)                 // cdecl
        .byte 0x59                          // pop ecx
        ALTBYTE resalloc, 0x85, 0x0B           // test eax,eax
        .byte 0xC0
        .byte 0x74, 0x06                    // je smaller
        .byte 0x66, 0x89, 0x1E              // +0x14: mov [esi],bx
        .byte 0x5E                          // pop esi
        .byte 0x5B                          // pop ebx
        .byte 0xC3                          // ret
        .byte 0x81, 0xEB, 0x00, 0x04, 0x00, 0x00  // smaller: sub ebx,0x400
        .byte 0x81, 0xFB, 0x00, 0x04, 0x00, 0x00  // cmp ebx,0x400
        .byte 0x7D, 0xE1                    // jge +0x09
        .byte 0xB8, 0x8E, 0x1D, 0x00, 0x00  // mov eax,7566
        CALL_REL(_RlError)                  // eax = the error
        .byte 0x66, 0xC7, 0x06, 0x00, 0x00  // +0x32: mov word [esi],0
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0x5E                          // pop esi
        .byte 0x5B                          // pop ebx
        .byte 0xC3                          // ret

// ---- the link routine: eax = the parsed resources → 0, or the error ------------------------
        .balign 16
        .globl _RlLinkResources
_RlLinkResources:
        push ebx
        push esi
        push 0                              // the size variable
        mov esi, eax
        mov eax, esp
        call _RlAllocTable
        test eax, eax
        jz 1f
        mov ebx, eax
        SEARCHED_ROUTINE resentries, ResTableEntries, _RlTableEntries
        .byte 0x0F, 0xB7, 0x04, 0x24        // movzx eax,word [esp]
        .byte 0xB9, 0x12, 0x00, 0x00, 0x00  // mov ecx,18
        ALTBYTE resentries, 0x33, 0x31         // xor edx,edx
        .byte 0xD2
        .byte 0xF7, 0xF1                    // div ecx
        .byte 0x8B, 0xC8                    // mov ecx,eax
        .byte 0x66, 0x89, 0x0D              // mov [max entries],cx
        .long _RlMaxEntries
        mov edx, ebx
        mov eax, esi
        call _RlFillTable                   // (resources, table) → 0 or the error
        jmp 2f
1:      mov eax, 7566
2:      pop ecx
        pop esi
        pop ebx
        ret
