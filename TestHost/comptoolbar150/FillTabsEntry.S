// TComponentToolbarFrame.FillTabs begins with an ordinary frame, as the
// host's compiler writes it; the work is in ComponentToolbar.cpp.
        .intel_syntax noprefix
        .text
        .balign 16
        .globl _ToolbarFillTabs
_ToolbarFillTabs:
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x57                          // push edi
        call _ToolbarFillTabsImpl
        pop edi
        pop esi
        pop ebx
        pop ebp
        ret
