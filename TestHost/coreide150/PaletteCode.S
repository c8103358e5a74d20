// TBasePaletteGroup.Clear as the IDE's core package has it (searched from
// its export's first byte): the item list cleared, then the palette told.
// Variant paletteclear: "test eax,eax" written "or eax,eax".

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix

        .data
        .balign 4
        .globl _CoreIdeIntfListClearPtr
_CoreIdeIntfListClearPtr: .long 0       // the run-time's TInterfaceList.Clear

        .text

// procedure TBasePaletteGroup.Clear: EAX = group.
        .balign 16
        SEARCHED_ROUTINE paletteclear, TBasePaletteGroupClear, _CoreIdePaletteGroupClear
        .byte 0x53                          // push ebx
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0x8B, 0x43, 0x20              // mov eax,[ebx+0x20]  (the item list)
        ALTBYTE paletteclear, 0x85, 0x09    // test eax,eax
        .byte 0xC0
        .byte 0x74, 0x0D                    // jz done
        CALL_REL(_CoreIdeCallIntfListClear) // TInterfaceList.Clear
        .byte 0x8B, 0x43, 0x20              // mov eax,[ebx+0x20]
        CALL_REL(_CoreIdePaletteListCleared)
        .byte 0x5B                          // done: pop ebx
        .byte 0xC3                          // ret

_CoreIdeCallIntfListClear:
        jmp dword ptr [_CoreIdeIntfListClearPtr]
