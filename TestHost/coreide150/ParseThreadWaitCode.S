// The parser thread's wait for work, as the host's compiler wrote it, and
// the thread's constructor right behind it (the pack finds the wait within
// the 512 bytes before the constructor's export).
//
// function WaitForWork(Self; Timeout): Boolean — EAX = Self, EDX = Timeout.
// It takes the tick count, waits on the event at Self+0x18 (its third
// virtual method, WaitFor: 0 signalled, 1 timeout, 4 a message is pending)
// and, while a message is pending, lets the application process messages
// and waits again. The time of that next wait is computed from the tick of
// the previous wait, not from the first one (and the clock restarts), so a
// message queue that keeps receiving messages keeps the thread waiting far
// beyond Timeout. The result: signalled or not.
//
// The searched bytes are the routine's first 58; their ALTBYTE re-encodes
// `xor edx,edx` (33 D2 as 31 D2).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .text

        .balign 16
        SEARCHED_ROUTINE parsewait, ParseThreadWaitForWork, _coreide_TParseThread_WaitForWork
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x57                          // push edi
        .byte 0x83, 0xC4, 0xF0              // add esp,-16
        .byte 0x8B, 0xF2                    // mov esi,edx                Timeout
        .byte 0x8B, 0xF8                    // mov edi,eax                Self
        CALL_REL(_coreide_GetTickCount)     // call GetTickCount
        ALTBYTE parsewait, 0x33, 0x31       // xor edx,edx
        .byte 0xD2
        .byte 0x89, 0x04, 0x24              // mov [esp],eax              start (Int64)
        .byte 0x89, 0x54, 0x24, 0x04        // mov [esp+4],edx
        .byte 0x8B, 0x47, 0x18              // mov eax,[edi+0x18]         the event
        .byte 0x8B, 0xD6                    // mov edx,esi
        .byte 0x8B, 0x08                    // mov ecx,[eax]
        .byte 0xFF, 0x51, 0x08              // call [ecx+8]               WaitFor(Timeout)
        .byte 0x8B, 0xD8                    // mov ebx,eax
.Lcheck:                                    // +0x24
        .byte 0x80, 0xFB, 0x04              // cmp bl,4                   a message?
        .byte 0x75, 0x73                    // jne .Lexit (+0x9C)
        .byte 0xA1                          // mov eax,[Application import]
        .long _coreide_ApplicationImport
        .byte 0x8B, 0x00                    // mov eax,[eax]
        CALL_REL(_coreide_ProcessMessages)  // Application.ProcessMessages
        CALL_REL(_coreide_GetTickCount)     // call GetTickCount          (+0x35; 58 bytes end here)
        .byte 0x8B, 0xD0                    // mov edx,eax
        .byte 0x2B, 0x04, 0x24              // sub eax,[esp]              since the previous wait
        .byte 0x89, 0x14, 0x24              // mov [esp],edx              the clock restarts
        .byte 0x3B, 0xC6                    // cmp eax,esi
        .byte 0x73, 0x56                    // jae .Lexit                 (BL = 4: not signalled)
        .byte 0x8B, 0xD6                    // mov edx,esi
        .byte 0x2B, 0xD0                    // sub edx,eax                Timeout - that time
        .byte 0x8B, 0x47, 0x18              // mov eax,[edi+0x18]
        .byte 0x8B, 0x08                    // mov ecx,[eax]
        .byte 0xFF, 0x51, 0x08              // call [ecx+8]               WaitFor
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0xEB, 0xCE                    // jmp .Lcheck
        .skip 0x9C - (. - _coreide_TParseThread_WaitForWork), 0xCC
.Lexit:                                     // +0x9C
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0x84, 0xDB                    // test bl,bl
        .byte 0x0F, 0x94, 0xC0              // sete al                    signalled
        .byte 0x83, 0xC4, 0x10              // add esp,16
        .byte 0x5F                          // pop edi
        .byte 0x5E                          // pop esi
        .byte 0x5B                          // pop ebx
        .byte 0xC3                          // ret

// constructor TParseThread.Create: EAX = class (DL != 0) or self.
        .balign 16
        .globl _coreide_TParseThread_Create
_coreide_TParseThread_Create:
        jmp _CoreIdeParseThreadCreate

// The kernel's GetTickCount through the import slot, as the host calls it.
        .balign 4
_coreide_GetTickCount:
        jmp dword ptr [__imp__GetTickCount@0]

        .section .rdata, "dr"
        .balign 4
// The import slot of Forms.Application: it holds the variable's address.
_coreide_ApplicationImport:
        .long _coreide_Application
