// Tabs: the entry of the tab set scroller's Paint (host register convention,
// EAX = self); the painting itself is Scroller.cpp's.

        .intel_syntax noprefix
        .text

        .balign 16
        .globl _vcl_TScroller_Paint
_vcl_TScroller_Paint:
        push ebp
        mov ebp, esp
        push ebx
        mov ebx, eax
        call _vcl_TScroller_PaintBody
        pop ebx
        pop ebp
        ret
