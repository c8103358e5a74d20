// TDebugKernel.ntfyProcObjectDeleted's entry (a frame, then the work in
// DebugKernel.cpp): eax = Self, edx = the object the debuggee deleted.

        .intel_syntax noprefix
        .text

        .balign 16
        .globl _DbkIdeProcObjectDeleted
_DbkIdeProcObjectDeleted:
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x53                          // push ebx
        call _DbkIdeProcObjectDeletedWork
        .byte 0x5B                          // pop ebx
        .byte 0x5D                          // pop ebp
        .byte 0xC3                          // ret
