// TCustomEditControl.HideBlock as the host's compiler wrote it: it starts by
// reading the control's view field (`53 8B D8 8B 83 <offset> 85 C0`, where
// the pack reads the field's offset) and hides the view's block when there
// is a view. Its ALTBYTE (`test eax,eax` as `or eax,eax`) gives the
// "another HideBlock start" variant.

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .text

        .balign 16
        SEARCHED_ROUTINE hideblock, HideBlockStart, _coreide_HideBlock
        .byte 0x53                          // push ebx
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0x8B, 0x83, 0xE4, 0x02, 0x00, 0x00  // mov eax,[ebx+0x2E4]   the view
        ALTBYTE hideblock, 0x85, 0x09       // test eax,eax
        .byte 0xC0
        .byte 0x74, 0x05                    // jz done
        CALL_REL(_coreide_HideView)         // call HideView(view)
        .byte 0x5B                          // done: pop ebx
        .byte 0xC3                          // ret
