# uint32_t __cdecl QmTestCallWithRegisters(const void* fn, uint32_t* regs)
# Loads eax, ebx, ecx, edx, esi, edi, ebp from regs[0..6], calls fn, and
# stores the registers back into regs[0..6]; regs[7] receives how far esp
# moved across the call (0 for a routine that keeps the stack).
        .intel_syntax noprefix
        .text
        .globl  _QmTestCallWithRegisters
_QmTestCallWithRegisters:
        push    ebp
        push    ebx
        push    esi
        push    edi
        mov     eax, [esp+20]           # fn
        mov     edi, [esp+24]           # regs
        push    edi                     # regs, found again at [esp+4] after the call
        push    eax                     # fn
        mov     eax, [edi+0]
        mov     ebx, [edi+4]
        mov     ecx, [edi+8]
        mov     edx, [edi+12]
        mov     esi, [edi+16]
        mov     ebp, [edi+24]
        mov     edi, [edi+20]
        mov     dword ptr [_QmTestEspBefore], esp
        call    dword ptr [esp]
        mov     dword ptr [_QmTestEspAfter], esp
        xchg    edi, [esp+4]            # edi = regs; the callee's edi kept on the stack
        mov     [edi+0], eax
        mov     [edi+4], ebx
        mov     [edi+8], ecx
        mov     [edi+12], edx
        mov     [edi+16], esi
        mov     [edi+24], ebp
        mov     eax, [esp+4]
        mov     [edi+20], eax
        mov     eax, dword ptr [_QmTestEspAfter]
        sub     eax, dword ptr [_QmTestEspBefore]
        mov     [edi+28], eax
        mov     esp, dword ptr [_QmTestEspBefore]
        add     esp, 8
        pop     edi
        pop     esi
        pop     ebx
        pop     ebp
        ret

        .data
        .globl  _QmTestEspBefore
_QmTestEspBefore: .long 0
_QmTestEspAfter:  .long 0
