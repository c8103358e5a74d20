// TCompiler.CompilerCompile's entry, as the IDE package has it (a frame,
// then the work in CompilerCompile.cpp): eax = the compiler object → al.

        .intel_syntax noprefix
        .text

        .balign 16
        .globl _DelphiCoreCompilerCompile
_DelphiCoreCompilerCompile:
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x53                          // push ebx
        call _DelphiCoreCompilerCompileWork // eax = Self
        .byte 0x5B                          // pop ebx
        .byte 0x5D                          // pop ebp
        .byte 0xC3                          // ret
