# int __stdcall CppLoadCompiler(int Action, BOOL Flag)
# The entry starts with the host's usual frame set-up (55 8B EC 53 56 57),
# spelled out byte by byte so that its encoding is exactly this.
        .intel_syntax noprefix
        .text
        .globl  _CppLoadCompiler@8
        .def    _CppLoadCompiler@8; .scl 2; .type 32; .endef
_CppLoadCompiler@8:
        .byte   0x55                    # push ebp
        .byte   0x8B, 0xEC              # mov  ebp, esp
        .byte   0x53                    # push ebx
        .byte   0x56                    # push esi
        .byte   0x57                    # push edi
        push    dword ptr [ebp+12]
        push    dword ptr [ebp+8]
        call    _BccLoadCompiler        # int __cdecl (int Action, BOOL Flag)
        add     esp, 8
        pop     edi
        pop     esi
        pop     ebx
        pop     ebp
        ret     8
