# The stand-ins' try/finally (see StandInFinally.h).
#
# void __cdecl QmStandInTryFinally(void (*body)(void *), void *data, void (*cleanup)(void *))
#
# Registration record on the stack, extended:
#   [record+0]  previous record      [record+8]   data
#   [record+4]  handler              [record+12]  cleanup
#                                    [record+16]  1 once the cleanup ran
        .intel_syntax noprefix
        .text

        .globl  _QmStandInTryFinally
        .def    _QmStandInTryFinally; .scl 2; .type 32; .endef
_QmStandInTryFinally:
        push    ebp
        mov     ebp, esp
        push    0
        push    dword ptr [ebp+16]
        push    dword ptr [ebp+12]
        push    offset _QmStandInFinallyHandler
        push    dword ptr fs:[0]
        mov     dword ptr fs:[0], esp
        push    dword ptr [ebp+12]
        call    dword ptr [ebp+8]
        lea     esp, [ebp-20]
        mov     eax, [esp]
        mov     dword ptr fs:[0], eax
        mov     dword ptr [esp+16], 1
        push    dword ptr [ebp+12]
        call    dword ptr [ebp+16]
        leave
        ret

# Runs the cleanup once when the system unwinds past the frame; never handles.
        .def    _QmStandInFinallyHandler; .scl 3; .type 32; .endef
_QmStandInFinallyHandler:
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
