# uint32_t __cdecl QmCallStdcallChecked(void *fn, const uint32_t *args, int count, int *imbalance)
# Pushes args[count-1] .. args[0] (standard call), calls fn and stores in
# *imbalance how many bytes the callee left on (positive) or took off
# (negative) the stack beyond its arguments; then restores the stack.
        .intel_syntax noprefix
        .text
        .globl  _QmCallStdcallChecked
        .def    _QmCallStdcallChecked; .scl 2; .type 32; .endef
_QmCallStdcallChecked:
        push    ebp
        mov     ebp, esp
        push    ebx
        push    esi
        push    edi
        sub     esp, 4
        mov     [ebp-16], esp               # stack pointer the call must return to
        mov     ecx, [ebp+16]
        mov     esi, [ebp+12]
.Lpush:
        test    ecx, ecx
        jz      .Lcall
        dec     ecx
        push    dword ptr [esi+ecx*4]
        jmp     .Lpush
.Lcall:
        call    dword ptr [ebp+8]
        mov     ecx, [ebp-16]
        sub     ecx, esp
        mov     edx, [ebp+20]
        test    edx, edx
        jz      .Lrestore
        mov     [edx], ecx
.Lrestore:
        mov     esp, [ebp-16]
        add     esp, 4
        pop     edi
        pop     esi
        pop     ebx
        pop     ebp
        ret
