# Calls into host routines whose arguments do not all fit GCC's regparm
# convention (see HostAbi.h, CallHostRegister).
#
# uint64 __cdecl QmHostCallRegister(const void *fn, uint32 eax, uint32 edx, uint32 ecx,
#                                   const void *stack, uint32 stackBytes)
#
# Copies stackBytes bytes from `stack` onto the stack (the first byte at the
# lowest address, where the host's caller leaves its first stack word),
# loads EAX, EDX, ECX and calls fn. The callee removes its stack arguments;
# the stack pointer is restored from the frame either way. Returns EDX:EAX.
        .intel_syntax noprefix
        .text

        .globl  _QmHostCallRegister
        .def    _QmHostCallRegister; .scl 2; .type 32; .endef
_QmHostCallRegister:
        push    ebp
        mov     ebp, esp
        push    ebx
        push    esi
        push    edi
        mov     ecx, [ebp+28]
        sub     esp, ecx
        mov     esi, [ebp+24]
        mov     edi, esp
        cld
        rep     movsb
        mov     eax, [ebp+12]
        mov     edx, [ebp+16]
        mov     ecx, [ebp+20]
        call    dword ptr [ebp+8]
        lea     esp, [ebp-12]
        pop     edi
        pop     esi
        pop     ebx
        pop     ebp
        ret

# uint64 __cdecl QmHostCallInt64(const void *fn, uint32 eax, uint32 edx, uint32 low, uint32 high)
#
# The same for the commonest case, one Int64 on the stack after EAX and EDX.
        .globl  _QmHostCallInt64
        .def    _QmHostCallInt64; .scl 2; .type 32; .endef
_QmHostCallInt64:
        push    ebp
        mov     ebp, esp
        push    ebx
        push    esi
        push    edi
        push    dword ptr [ebp+24]
        push    dword ptr [ebp+20]
        mov     eax, [ebp+12]
        mov     edx, [ebp+16]
        call    dword ptr [ebp+8]
        lea     esp, [ebp-12]
        pop     edi
        pop     esi
        pop     ebx
        pop     ebp
        ret
