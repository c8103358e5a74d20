// BPROGRESS as the host's compiler wrote it (pascal convention: [ebp+20]
// kind, [ebp+16] file name, [ebp+12] and [ebp+8] the integers; the callee
// pops 16 → EAX), and the progress form's FormShow and CancelButtonClick
// starting as the host's compiler starts a routine. ALTBYTE: the stop
// branch's call of a routine answering 1 replaced by `mov eax,1`.

#include "Common/SearchedRoutines.inc"
#include "Common/HostEntry.inc"

        .intel_syntax noprefix
        .text

        .balign 16
        .globl _coreide_BProgress
_coreide_BProgress:
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        push dword ptr [ebp+20]
        push dword ptr [ebp+16]
        push dword ptr [ebp+12]
        push dword ptr [ebp+8]
        call _coreide_BProgressUpdate@16    // the form updated; EAX != 0: the monitor is cancelled
        test eax, eax
        jnz .Lbprogress_stop
        SEARCHED_ROUTINE bprogress, CompileBProgress, _coreide_BProgressSite
        .byte 0x6A, 0x00                    // push 0
        .byte 0x68                          // push offset the cancel variable (+3)
        .long _coreide_CancelPrepare
        .byte 0xE8                          // call InterlockedExchange (+7)
        .long _coreide_InterlockedExchange - . - 4
        .byte 0xE9                          // jmp .Lbprogress_end
        .long .Lbprogress_end - . - 4
.Lbprogress_stop:
        ALTBYTE bprogress, 0xE8, 0xB8       // call the stop's answer (+17) / mov eax,1
.ifc QM_VARIANT, bprogress
        .long 1
.else
        .long _coreide_BProgressStopped - . - 4
.endif
.Lbprogress_end:
        pop esi
        pop ebx
        pop ebp
        ret 16

        .balign 4
_coreide_InterlockedExchange:
        jmp dword ptr [__imp__InterlockedExchange@8]
_coreide_BProgressStopped:
        mov eax, 1
        ret

        .balign 16
        HOST_ENTRY _coreide_ProgressFormShow, _coreide_ProgressFormShowBody
        .balign 16
        HOST_ENTRY _coreide_ProgressCancelClick, _coreide_ProgressCancelClickBody
