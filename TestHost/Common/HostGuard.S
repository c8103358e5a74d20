# Structured-exception frame for QmHost::CallHostGuarded.
#
# int __cdecl QmHostGuardedCall(void (__cdecl *fn)(void *), void *arg, HostGuardState *state)
#   returns 0 when fn returned, 1 when the handler caught an exception.
#
# The registration record on the stack is extended by two fields:
#   [record+0]  previous record      [record+8]   state
#   [record+4]  handler              [record+12]  frame pointer to restore
        .intel_syntax noprefix
        .text

        .globl  _QmHostGuardedCall
        .def    _QmHostGuardedCall; .scl 2; .type 32; .endef
_QmHostGuardedCall:
        push    ebp
        mov     ebp, esp
        push    ebx
        push    esi
        push    edi
        push    ebp
        push    dword ptr [ebp+16]
        push    offset _QmHostGuardHandler
        push    dword ptr fs:[0]
        mov     dword ptr fs:[0], esp
        push    dword ptr [ebp+12]
        call    dword ptr [ebp+8]
        add     esp, 4
        xor     eax, eax
.Lleave:
        pop     dword ptr fs:[0]
        add     esp, 12
        pop     edi
        pop     esi
        pop     ebx
        pop     ebp
        ret

# EXCEPTION_DISPOSITION __cdecl handler(EXCEPTION_RECORD *, void *record, CONTEXT *, void *)
        .def    _QmHostGuardHandler; .scl 3; .type 32; .endef
_QmHostGuardHandler:
        mov     eax, [esp+4]
        test    dword ptr [eax+4], 6        # EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND
        jnz     .Lsearch
        mov     ecx, [esp+8]
        push    eax
        push    dword ptr [ecx+8]
        call    _QmHostGuardAccept          # int __cdecl (HostGuardState *, EXCEPTION_RECORD *)
        add     esp, 8
        test    eax, eax
        jz      .Lsearch
        # Caught: unwind the frames above ours, then resume in our frame.
        mov     ebx, [esp+8]                # our registration record
        mov     esi, [esp+4]                # exception record
        push    0
        push    esi
        push    offset .Lunwound
        push    ebx
        call    _RtlUnwind@16
.Lunwound:
        # RtlUnwind leaves our registration record at the head of the chain;
        # take it from there rather than trust EBX across the call.
        mov     ebx, dword ptr fs:[0]
        mov     esp, ebx
        mov     ebp, [ebx+12]
        mov     eax, 1
        jmp     .Lleave
.Lsearch:
        mov     eax, 1                      # ExceptionContinueSearch
        ret
