# void* TNativeProcess.GetDebugHook (host register convention: EAX = Self,
# result in EAX). The entry begins with the host's usual frame set-up
# (55 8B EC 53 56 57), byte by byte, then asks the C++ implementation.
        .intel_syntax noprefix
        .text
        .globl  _Win32DebugGetDebugHook
_Win32DebugGetDebugHook:
        .byte   0x55                    # push ebp
        .byte   0x8B, 0xEC              # mov  ebp, esp
        .byte   0x53                    # push ebx
        .byte   0x56                    # push esi
        .byte   0x57                    # push edi
        push    eax
        call    _Win32DebugFindDebugHook    # void* __cdecl (void* self)
        add     esp, 4
        pop     edi
        pop     esi
        pop     ebx
        pop     ebp
        ret
