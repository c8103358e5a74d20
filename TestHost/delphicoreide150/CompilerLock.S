// The compiler lock's entry points as the IDE package has them: "Lock" begins
// with push ebx and the slice of 500 ms in edx, "UnLock" with a call giving
// the calling thread's id. Their variants: a slice of 501 ms (lockentry),
// the thread id fetched by an indirect call (unlockentry).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .data
        .balign 4
.Lthread_id_routine: .long HostCompilerLockThreadId
        .text

        .balign 16
        SEARCHED_ROUTINE lockentry, CompilerLock, _DelphiCoreLock
        .byte 0x53                          // push ebx
        .byte 0xBA                          // mov edx,500
        ALTBYTE lockentry, 0xF4, 0xF5
        .byte 0x01, 0x00, 0x00
        .byte 0x8B, 0xC2                    // mov eax,edx
        CALL_REL(HostCompilerLock)          // eax = slice
        .byte 0x5B                          // pop ebx
        .byte 0xC3                          // ret

        .balign 16
        SEARCHED_ROUTINE unlockentry, CompilerUnLock, _DelphiCoreUnLock
        ALTBYTE unlockentry, 0xE8, 0xFF     // call the thread-id routine
        .ifc QM_VARIANT, unlockentry
        .byte 0x15                          //   (indirect, through its variable)
        .long .Lthread_id_routine
        .else
        .long HostCompilerLockThreadId - . - 4
        .endif
        CALL_REL(HostCompilerUnLock)        // eax = thread id
        .byte 0xC3                          // ret
