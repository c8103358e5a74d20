// TComponentToolbarFrame.FillTabs begins with an ordinary frame, as the
// host's compiler writes it; the work is in ComponentToolbar.cpp.
        .intel_syntax noprefix
        .text
        .balign 16
        .globl _ToolbarFillTabs
_ToolbarFillTabs:
        push ebp
        mov ebp, esp
        push ebx
        push esi
        push edi
        call _ToolbarFillTabsImpl
        pop edi
        pop esi
        pop ebx
        pop ebp
        ret
