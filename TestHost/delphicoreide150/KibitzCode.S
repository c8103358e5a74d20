// Code insight's entries as the IDE package has them: the kibitz manager's
// InvokeCodeCompletion (its frame, then the block that resets the unit
// cache, skipped by the timer's completion; the cache is cleared through
// its virtual method 2 at +0x33 of the searched bytes, which begin with the
// last byte of the flag's comparison) and "SetKibitzedSinceCompiled"
// (stdcall, one argument, an entry with a frame).
//
// Variant invokecompletion: InProgress set to 2 instead of 1 (a true byte
// either way).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix

        .data
        .balign 4
        .globl _DelphiCoreCodeInsightOptions
_DelphiCoreCodeInsightOptions: .long 0x0000000F   // the code-insight options (all on)

        .text

// ---- InvokeCodeCompletion: eax = Self, dl = invoke type, ecx = text ----------------
        .balign 16
        .globl _DelphiCoreInvokeCodeCompletion
_DelphiCoreInvokeCodeCompletion:
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x81, 0xC4, 0x00, 0xFF, 0xFF, 0xFF   // add esp,-0x100
        .byte 0x53                          // push ebx
        .byte 0x89, 0x85                    // mov [ebp-0x0C],eax
        .long -0x0C
        .byte 0x89, 0x95                    // mov [ebp-0x10],edx
        .long -0x10
        .byte 0x89, 0x8D                    // mov [ebp-0x14],ecx
        .long -0x14
        .byte 0x80, 0xFA, 0x02              // cmp dl,2 (the timer's completion)
        .byte 0x0F, 0x95, 0x85              // setne byte [ebp-0x15]
        .long -0x15
        .byte 0x80, 0xBD                    // cmp byte [ebp-0x15],1
        .long -0x15
        SEARCHED_ROUTINE invokecompletion, InvokeCodeCompletion, _DelphiCoreInvokeCompletionReset
        .byte 0x01
        .byte 0x75, 0x3D                    // jnz +0x3D (past the reset)
        .byte 0x8B, 0x15                    // mov edx,[options]
        .long _DelphiCoreCodeInsightOptions
        .byte 0x8B, 0x85                    // mov eax,[ebp-0x0C]
        .long -0x0C
        CALL_REL(_HostCompletionPrepare)    // eax = Self, edx = options
        .byte 0x8B, 0x85                    // mov eax,[ebp-0x0C]
        .long -0x0C
        .byte 0xC6, 0x40, 0x10              // mov byte [eax+0x10],1 (InProgress)
        ALTBYTE invokecompletion, 0x01, 0x02
        .byte 0xC6, 0x85                    // mov byte [ebp-0x15],0
        .long -0x15
        .byte 0x00
        .byte 0x8B, 0x85                    // mov eax,[ebp-0x0C]
        .long -0x0C
        .byte 0x8B, 0x80                    // mov eax,[eax+0x14] (the unit cache)
        .long 0x14
        .byte 0x8B, 0x10                    // mov edx,[eax]
        .byte 0xFF, 0x52, 0x08              // call [edx+8] (Clear)
        CALL_REL(_HostCompletionStarted)
        .byte 0x8B, 0x45, 0xF4              // mov eax,[ebp-0x0C]
        .byte 0x33, 0xD2                    // xor edx,edx
        // +0x40: the completion itself
        .byte 0x8B, 0x45, 0xF4              // mov eax,[ebp-0x0C]
        .byte 0x8B, 0x55, 0xEC              // mov edx,[ebp-0x14]
        CALL_REL(_HostCompletionRun)        // eax = Self, edx = text → the list's length
        .byte 0x5B                          // pop ebx
        .byte 0x8B, 0xE5                    // mov esp,ebp
        .byte 0x5D                          // pop ebp
        .byte 0xC3                          // ret

// ---- "SetKibitzedSinceCompiled" (stdcall, one argument) --------------------------------
        .balign 16
        .globl _DelphiCoreSetKibitzedSinceCompiled
_DelphiCoreSetKibitzedSinceCompiled:
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x8B, 0x45, 0x08              // mov eax,[ebp+8]
        CALL_REL(_HostSetKibitzed)          // eax = value
        .byte 0x5D                          // pop ebp
        .byte 0xC2, 0x04, 0x00              // ret 4
