// TFileSearch.Execute as the host's compiler wrote it (host register
// convention, EAX = the search → EAX = files found): the search text
// (+0x64) made into an 8-bit string labelled UTF-8 by the run-time's
// LStrFromPChar (the call at +11 of the searched bytes), its length read
// from its header, then the files searched for it (EAX = search, EDX = the
// string) and the string released. ALTBYTE: the search text read from
// +0x60, which holds the same pointer.

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .text

        .balign 16
        .globl _coreide_SearchExecute
_coreide_SearchExecute:
        push ebp
        mov ebp, esp
        sub esp, 0x20
        push ebx
        mov ebx, eax
        call _coreide_BindSearchImports
        xor eax, eax
        mov [ebp-4], eax
        SEARCHED_ROUTINE umlaut, SearchInFilesText, _coreide_SearchInFilesTextSite
        .byte 0x8D, 0x45, 0xFC              // lea eax,[ebp-4]
        .byte 0x8B, 0x53                    // mov edx,[ebx+0x64]          the search text
        ALTBYTE umlaut, 0x64, 0x60
        .byte 0xB9, 0xE9, 0xFD, 0x00, 0x00  // mov ecx,65001
        CALL_REL(_coreide_LStrFromPChar)    // (+11)
        .byte 0x8B, 0x45, 0xFC              // mov eax,[ebp-4]
        .byte 0x89, 0x45, 0xE4              // mov [ebp-0x1C],eax
        .byte 0x83, 0x7D, 0xE4, 0x00        // cmp dword ptr [ebp-0x1C],0
        .byte 0x74, 0x0B                    // je +11
        .byte 0x8B, 0x45, 0xE4              // mov eax,[ebp-0x1C]
        .byte 0x83, 0xE8, 0x04              // sub eax,4
        .byte 0x8B, 0x00                    // mov eax,[eax]               its length
        .byte 0x89, 0x45, 0xE4              // mov [ebp-0x1C],eax
        .byte 0x8B, 0x45, 0xFC              // mov eax,[ebp-4]
        CALL_REL(_coreide_SearchTextMade)   // (+42)
        mov edx, [ebp-4]
        mov eax, ebx
        call _coreide_SearchFiles
        push eax
        lea eax, [ebp-4]
        call _coreide_LStrClr
        pop eax
        pop ebx
        mov esp, ebp
        pop ebp
        ret

// The string made (EAX): nothing more to do with it here.
_coreide_SearchTextMade:
        ret

// The run-time's routines, reached as a package reaches its imports.
_coreide_LStrFromPChar:
        jmp dword ptr [_coreide_LStrFromPCharImport]
_coreide_LStrClr:
        jmp dword ptr [_coreide_LStrClrImport]
