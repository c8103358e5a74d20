// TCodeIDocModule.QueryInterface (stdcall Self, IID, out Obj): a frame of
// its own around the module's answer, so that its start is plain code a
// redirection with an original-call entry can move.

        .intel_syntax noprefix
        .text

        .balign 16
        .globl _coreide_DocModule_QueryInterface
_coreide_DocModule_QueryInterface:
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp (the host's encoding)
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x57                          // push edi
        .byte 0x8B, 0x45, 0x10              // mov eax,[ebp+16]   Obj
        .byte 0x50                          // push eax
        .byte 0x8B, 0x45, 0x0C              // mov eax,[ebp+12]   IID
        .byte 0x50                          // push eax
        .byte 0x8B, 0x45, 0x08              // mov eax,[ebp+8]    Self
        .byte 0x50                          // push eax
        call _CoreIdeDocModuleAnswer@12
        .byte 0x5F                          // pop edi
        .byte 0x5E                          // pop esi
        .byte 0x5B                          // pop ebx
        .byte 0x5D                          // pop ebp
        .byte 0xC2, 0x0C, 0x00              // ret 12
