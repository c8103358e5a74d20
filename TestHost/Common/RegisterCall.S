// uint32_t __cdecl QmCallRegisterChecked(QmRegisterCall* call)
// Calls call->fn the host's register way: EAX, EDX, ECX from the block, the
// stack arguments pushed in order (stack[0] first), the callee removes them.
// EBX, ESI, EDI and EBP hold marker values during the call; afterwards the
// block receives EAX and EDX, how many bytes the callee left on (positive)
// or took off (negative) the stack beyond its arguments, and a bit per
// callee-saved register that does not hold its marker any more. The caller's
// own registers and stack are restored whatever the callee did.
//
// After a careless callee no register can be trusted to find the block: its
// address is read back from this thread's TLS slot _QmRegisterCallTls, set
// by the C++ side (RegisterCall.cpp) before the call. A gap below the saved
// registers keeps them intact when the callee takes too much off the stack.
        .intel_syntax noprefix

#define FN 0
#define ARG_EAX 4
#define ARG_EDX 8
#define ARG_ECX 12
#define STACK 16
#define STACK_COUNT 20
#define RESULT_EAX 24
#define RESULT_EDX 28
#define IMBALANCE 32
#define CLOBBERED 36
#define SAVED_ESP 40
#define GAP 64

#define MARK_EBX 0x5EB05EB0
#define MARK_ESI 0x5E515E51
#define MARK_EDI 0x5ED15ED1
#define MARK_EBP 0x5EB95EB9

        .text
        .globl  _QmCallRegisterChecked
        .def    _QmCallRegisterChecked; .scl 2; .type 32; .endef
_QmCallRegisterChecked:
        push    ebp
        mov     ebp, esp
        push    ebx
        push    esi
        push    edi
        sub     esp, GAP
        mov     eax, [ebp+8]
        mov     [eax+SAVED_ESP], esp        // the stack pointer the call must return to
        mov     ecx, [eax+STACK_COUNT]
        mov     esi, [eax+STACK]
        xor     edx, edx
.Lpush:
        cmp     edx, ecx
        jge     .Lcall
        push    dword ptr [esi+edx*4]
        inc     edx
        jmp     .Lpush
.Lcall:
        mov     ebx, MARK_EBX
        mov     esi, MARK_ESI
        mov     edi, MARK_EDI
        mov     ebp, MARK_EBP
        mov     edx, [eax+ARG_EDX]
        mov     ecx, [eax+ARG_ECX]
        push    offset .Lreturned           // return address, then the target: "ret" enters it
        push    dword ptr [eax+FN]
        mov     eax, [eax+ARG_EAX]
        ret
.Lreturned:
        push    eax                         // the stack pointer is still inside our stack
        push    edx
        mov     eax, [_QmRegisterCallTls]
        mov     ecx, fs:[0x18]              // this thread's TEB
        cmp     eax, 64
        jae     .Lexpansion
        mov     ecx, [ecx+eax*4+0xE10]      // TlsSlots[index]
        jmp     .Lblock
.Lexpansion:
        mov     ecx, [ecx+0xF94]            // TlsExpansionSlots
        mov     ecx, [ecx+eax*4-256]
.Lblock:
        pop     edx
        pop     eax
        mov     [ecx+RESULT_EAX], eax
        mov     [ecx+RESULT_EDX], edx
        mov     eax, [ecx+SAVED_ESP]
        sub     eax, esp
        mov     [ecx+IMBALANCE], eax
        xor     edx, edx
        cmp     ebx, MARK_EBX
        je      .Lkept_ebx
        or      edx, 1
.Lkept_ebx:
        cmp     esi, MARK_ESI
        je      .Lkept_esi
        or      edx, 2
.Lkept_esi:
        cmp     edi, MARK_EDI
        je      .Lkept_edi
        or      edx, 4
.Lkept_edi:
        cmp     ebp, MARK_EBP
        je      .Lkept_ebp
        or      edx, 8
.Lkept_ebp:
        mov     [ecx+CLOBBERED], edx
        mov     esp, [ecx+SAVED_ESP]
        add     esp, GAP
        mov     eax, [ecx+RESULT_EAX]
        pop     edi
        pop     esi
        pop     ebx
        pop     ebp
        ret
