// Tabs: the entry of the tab set scroller's Paint (host register convention,
// EAX = self), its start written as the host's compiler writes it; the
// painting itself is Scroller.cpp's.

        .intel_syntax noprefix
        .text

        .balign 16
        .globl _vcl_TScroller_Paint
_vcl_TScroller_Paint:
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x53                          // push ebx
        .byte 0x8B, 0xD8                    // mov ebx,eax
        call _vcl_TScroller_PaintBody
        pop ebx
        pop ebp
        ret
