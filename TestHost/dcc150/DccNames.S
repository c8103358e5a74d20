// The compiler's name reader, the whole routine as the compiler's bytes:
// the length and the text's address from the length reader, then the text
// copied byte by byte and terminated. eax = source, edx = dest → eax = the
// address after the text.
// Variant rdname: the SIB byte of mov edx,[esp] with another scale (the
// same address: no index).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .text

        .balign 16
        SEARCHED_ROUTINE rdname, ReadName, _DccReadName
        .byte 0x53                          // push ebx
        .byte 0x51                          // push ecx (the length's room)
        .byte 0x8B, 0xDA                    // mov ebx,edx
        .byte 0x8B, 0xD4                    // mov edx,esp
        CALL_REL(_DccReadLength)            // eax = text, [esp] = length
        .byte 0x8B, 0x14                    // mov edx,[esp]
        ALTBYTE rdname, 0x24, 0x64
        .byte 0xEB, 0x06                    // jmp count
        .byte 0x8A, 0x08                    // copy: mov cl,[eax]
        .byte 0x40                          // inc eax
        .byte 0x88, 0x0B                    // mov [ebx],cl
        .byte 0x43                          // inc ebx
        .byte 0x4A                          // count: dec edx
        .byte 0x79, 0xF7                    // jns copy
        .byte 0xC6, 0x03, 0x00              // mov byte [ebx],0
        .byte 0x5A                          // pop edx
        .byte 0x5B                          // pop ebx
        .byte 0xC3                          // ret
