# The host's try/except frame (see HostExcept.h).
#
# int __cdecl QmHostTryExcept(void (*body)(void *), void *data, THostCaught *caught)
# int __cdecl QmHostTryExceptCode(void (*body)(void *), void *data, THostCaught *caught, unsigned long code)
#   0 when body returned, 1 when an exception was caught.
#
# The registration record on the stack is extended by three fields:
#   [record+0]  previous record      [record+8]   caught
#   [record+4]  handler              [record+12]  frame pointer to restore
#                                    [record+16]  the only code caught (0: any)
        .intel_syntax noprefix
        .text

        .globl  _QmHostTryExcept
        .def    _QmHostTryExcept; .scl 2; .type 32; .endef
_QmHostTryExcept:
        push    ebp
        mov     ebp, esp
        push    ebx
        push    esi
        push    edi
        push    0
        jmp     .Lframe

        .globl  _QmHostTryExceptCode
        .def    _QmHostTryExceptCode; .scl 2; .type 32; .endef
_QmHostTryExceptCode:
        push    ebp
        mov     ebp, esp
        push    ebx
        push    esi
        push    edi
        push    dword ptr [ebp+20]
.Lframe:
        push    ebp
        push    dword ptr [ebp+16]
        push    offset _QmHostExceptHandler
        push    dword ptr fs:[0]
        mov     dword ptr fs:[0], esp
        push    dword ptr [ebp+12]
        call    dword ptr [ebp+8]
        add     esp, 4
        xor     eax, eax
.Lleave:
        pop     dword ptr fs:[0]
        add     esp, 16
        pop     edi
        pop     esi
        pop     ebx
        pop     ebp
        ret

# EXCEPTION_DISPOSITION __cdecl handler(EXCEPTION_RECORD *, void *record, CONTEXT *, void *)
# Catches host exceptions (code 0x0EEDFADE) and error-severity exceptions in
# the search pass (only those of the frame's code when it names one): records code, object and address, unwinds the frames
# above (their finally handlers run), and resumes in the frame, returning 1.
        .def    _QmHostExceptHandler; .scl 3; .type 32; .endef
_QmHostExceptHandler:
        mov     eax, [esp+4]
        test    dword ptr [eax+4], 6        # EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND
        jnz     .Lsearch
        mov     ecx, [eax]
        cmp     ecx, 0x0EEDFADE
        je      .Lcatch
        and     ecx, 0xC0000000
        cmp     ecx, 0xC0000000
        jne     .Lsearch
.Lcatch:
        mov     edx, [esp+8]
        mov     edx, [edx+16]               # the only code caught, or 0
        test    edx, edx
        jz      .Lcaught_code
        cmp     [eax], edx
        jne     .Lsearch
.Lcaught_code:
        # Caught: from here on the handler never returns, so any register may change.
        mov     edx, [esp+8]
        mov     edx, [edx+8]                # THostCaught *
        mov     ecx, [eax]
        mov     [edx], ecx                  # Code
        mov     dword ptr [edx+4], 0        # Object
        mov     esi, [eax+12]
        mov     [edx+8], esi                # Address: where it happened
        cmp     ecx, 0x0EEDFADE
        jne     .Lcaught
        cmp     dword ptr [eax+16], 2       # NumberParameters
        jb      .Lcaught
        mov     esi, [eax+20]
        mov     [edx+8], esi                # Address: the raise address
        mov     esi, [eax+24]
        mov     [edx+4], esi                # Object
.Lcaught:
        mov     ebx, [esp+8]                # our registration record
        mov     esi, [esp+4]                # exception record
        push    0
        push    esi
        push    offset .Lunwound
        push    ebx
        call    _RtlUnwind@16
.Lunwound:
        # RtlUnwind leaves our registration record at the head of the chain.
        mov     ebx, dword ptr fs:[0]
        mov     esp, ebx
        mov     ebp, [ebx+12]
        mov     eax, 1
        jmp     .Lleave
.Lsearch:
        mov     eax, 1                      # ExceptionContinueSearch
        ret
