# The host's try/finally frame (see HostFinally.h).
#
# void __cdecl QmHostTryFinally(void (*body)(void *), void *data, void (*cleanup)(void *))
#
# The registration record on the stack is extended by three fields:
#   [record+0]  previous record      [record+8]   data
#   [record+4]  handler              [record+12]  cleanup
#                                    [record+16]  1 once the cleanup has started
        .intel_syntax noprefix
        .text

        .globl  _QmHostTryFinally
        .def    _QmHostTryFinally; .scl 2; .type 32; .endef
_QmHostTryFinally:
        push    ebp
        mov     ebp, esp
        push    0
        push    dword ptr [ebp+16]
        push    dword ptr [ebp+12]
        push    offset _QmHostFinallyHandler
        push    dword ptr fs:[0]
        mov     dword ptr fs:[0], esp
        push    dword ptr [ebp+12]
        call    dword ptr [ebp+8]
        # Normal end: close the frame first, so that the cleanup runs outside it.
        lea     esp, [ebp-20]
        mov     eax, [esp]
        mov     dword ptr fs:[0], eax
        mov     dword ptr [esp+16], 1
        push    dword ptr [ebp+12]
        call    dword ptr [ebp+16]
        leave
        ret

# EXCEPTION_DISPOSITION __cdecl handler(EXCEPTION_RECORD *, void *record, CONTEXT *, void *)
# Runs the cleanup once while the system unwinds past this frame; never
# handles anything (ExceptionContinueSearch).
        .def    _QmHostFinallyHandler; .scl 3; .type 32; .endef
_QmHostFinallyHandler:
        mov     eax, [esp+4]
        test    dword ptr [eax+4], 6        # EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND
        jz      .Lsearch
        mov     ecx, [esp+8]
        cmp     dword ptr [ecx+16], 0
        jne     .Lsearch
        mov     dword ptr [ecx+16], 1
        push    dword ptr [ecx+8]
        call    dword ptr [ecx+12]
        add     esp, 4
.Lsearch:
        mov     eax, 1                      # ExceptionContinueSearch
        ret
