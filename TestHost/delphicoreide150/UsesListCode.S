// TUsesList's constructor as the IDE's Delphi package has it: its index
// object made and set up (searched within 50 bytes of the export).
// Variant usesctor: the index's duplicates flag set to 2 instead of 1 (any
// non-zero value is true).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .text

// constructor TUsesList.Create: EAX = class (DL = 1) or instance (DL = 0).
        .balign 16
        .globl _DelphiCoreUsesListCreate
_DelphiCoreUsesListCreate:
        push ebx
        push esi
        push edi
        mov ebx, edx
        mov edi, eax
        test dl, dl
        jz 1f
        call _DelphiCoreNewInstance         // eax = class -> instance
        mov edi, eax
1:
        SEARCHED_ROUTINE usesctor, UsesListCreate, _DelphiCoreUsesListIndexSetup
        .byte 0xB2, 0x01                    // mov dl,1
        .byte 0xA1                          // mov eax,[TUsesIndex]
        .long _DelphiCoreUsesIndexClassVar
        CALL_REL(_DelphiCoreUsesIndexCreate)
        .byte 0x8B, 0xF0                    // mov esi,eax
        .byte 0x89, 0x77, 0x10              // mov [edi+0x10],esi
        .byte 0x8B, 0xC6                    // mov eax,esi
        .byte 0xB2, 0x01                    // mov dl,1
        CALL_REL(_DelphiCoreUsesIndexSetSorted)
        .byte 0x8B, 0x47, 0x10              // mov eax,[edi+0x10]
        .byte 0xC6, 0x40, 0x0C              // mov byte [eax+0x0C],1  (duplicates accepted)
        ALTBYTE usesctor, 0x01, 0x02
        test bl, bl
        jz 2f
        mov eax, edi
        call _DelphiCoreAfterConstruction
2:      mov eax, edi
        pop edi
        pop esi
        pop ebx
        ret
