// The compiler's code-insight compile as the IDE reaches it: the export
// "CompilerGetUnitCmdLine" (an entry with a frame, then the C++ work), and
// the routine that counts the code-insight compiles that really run: it
// returns the counter's value and increments it, in place, followed by a
// routine that only returns. Before it lies a routine of the same shape that
// reads one variable and counts another (the line counter), which is not
// the counter.
//
// Variants: kibitzcounter (padding after the counter's ret instead of the
// routine that only returns: the counter works the same) and
// kibitzcounter-twovars (a build whose counter routine reads one variable
// and counts another too).

#include "Common/SearchedRoutines.inc"

#define JMP_REL(target) .byte 0xE9; .long target - . - 4

        .intel_syntax noprefix

        .data
        .balign 4
        .globl _DccKibitzCompiles, _DccKibitzShadow, _DccLinesRead, _DccLinesTotal
_DccLinesRead:           .long 0
_DccLinesTotal:          .long 0
_DccKibitzCompiles: .long 0
_DccKibitzShadow:   .long 0

        .text

// ---- lines: the lines read so far, and one more counted -----------------------
        .balign 16
        .globl _DccLinesBefore
_DccLinesBefore:
        .byte 0xA1                          // mov eax,[DccLinesRead]
        .long _DccLinesRead
        .byte 0xFF, 0x05                    // inc dword [DccLinesTotal]
        .long _DccLinesTotal
        .byte 0xC3                          // ret
        .globl _DccLinesNoOp
_DccLinesNoOp:
        .byte 0xC3                          // ret

// ---- the code-insight compile counter ----------------------------------------------
        .balign 16
        SEARCHED_ROUTINE kibitzcounter, CodeInsightCounter, _DccKibitzCounter
        .byte 0xA1                          // mov eax,[DccKibitzCompiles]
        .long _DccKibitzCompiles
        .byte 0xFF, 0x05                    // inc dword [DccKibitzCompiles]
        ROUTINE_FORM kibitzcounter, twovars
        .ifc QM_VARIANT, kibitzcounter_twovars
        .long _DccKibitzShadow
        .else
        .long _DccKibitzCompiles
        .endif
        .byte 0xC3                          // ret
        .globl _DccKibitzNoOp
_DccKibitzNoOp:                        // a routine that only returns
        ALTBYTE kibitzcounter, 0xC3, 0xCC   //   (variant: padding instead)

// ---- "CompilerGetUnitCmdLine" (stdcall, two arguments) -------------------------------
        .balign 16
        .globl _DccCompilerGetUnitCmdLine
_DccCompilerGetUnitCmdLine:
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x83, 0xC4, 0xF8              // add esp,-8
        .byte 0x8B, 0xE5                    // mov esp,ebp
        .byte 0x5D                          // pop ebp
        JMP_REL(_DccGetUnitCmdLineWork)     // the stack as the caller left it
