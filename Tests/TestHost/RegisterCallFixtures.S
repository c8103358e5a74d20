// Routines for the checked register-convention call: one that keeps the
// convention, and ones that break it one way each.
        .intel_syntax noprefix
        .text

// eax + 2*edx + 3*ecx + 5*first + 7*second (first pushed first); edx = 0x12345678.
        .globl _RcWeighted
_RcWeighted:
        lea     eax, [eax+edx*2]
        lea     ecx, [ecx+ecx*2]
        add     eax, ecx
        mov     ecx, [esp+8]
        lea     ecx, [ecx+ecx*4]
        add     eax, ecx
        mov     ecx, [esp+4]
        imul    ecx, ecx, 7
        add     eax, ecx
        mov     edx, 0x12345678
        ret     8

// Uses every callee-saved register and restores them.
        .globl _RcRestores
_RcRestores:
        push    ebx
        push    esi
        push    edi
        push    ebp
        xor     ebx, ebx
        xor     esi, esi
        xor     edi, edi
        xor     ebp, ebp
        pop     ebp
        pop     edi
        pop     esi
        pop     ebx
        ret     8

        .globl _RcClobbersEbx
_RcClobbersEbx:
        xor     ebx, ebx
        ret     8

        .globl _RcClobbersEsiEbp
_RcClobbersEsiEbp:
        xor     esi, esi
        mov     ebp, esp
        ret     8

        .globl _RcClobbersEdi
_RcClobbersEdi:
        mov     edi, eax
        ret     8

// Leaves its two stack arguments behind (a caller-pops routine).
        .globl _RcLeavesArguments
_RcLeavesArguments:
        ret

// Takes one word too many off the stack.
        .globl _RcTakesTooMuch
_RcTakesTooMuch:
        ret     12
