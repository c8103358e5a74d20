// TParseThread.Parse as the host's compiler wrote it: a try/finally frame
// around Lock, the parsing flag set (`mov byte [eax+0x30],1`, where the pack
// reads the flag's offset), the parse itself and its time stored from the
// FPU; the finally part clears the flag and unlocks, also while an exception
// unwinds past the frame. The searched bytes begin at the frame's
// `push fs:[eax]`; their ALTBYTE turns the `wait` after the store into a
// `nop` (no FPU exception is pending there).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .text

        .balign 16
        .globl _coreide_TParseThread_Parse
_coreide_TParseThread_Parse:
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x51                          // push ecx
        .byte 0x89, 0x45, 0xFC              // mov [ebp-4],eax            Self
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0x55                          // push ebp
        .byte 0x68                          // push offset handler
        .long .Lparse_handler
        SEARCHED_ROUTINE parse, ParseThreadParse, _coreide_ParseThreadParseFrame
        .byte 0x64, 0xFF, 0x30              // push dword ptr fs:[eax]
        .byte 0x64, 0x89, 0x20              // mov fs:[eax],esp
        .byte 0x8B, 0x45, 0xFC              // mov eax,[ebp-4]
        CALL_REL(_coreide_TParseThread_Lock)
        .byte 0x8B, 0x45, 0xFC              // mov eax,[ebp-4]
        .byte 0xC6, 0x40, 0x30, 0x01        // mov byte [eax+0x30],1      Parsing := True
        CALL_REL(_coreide_TParseThread_DoParse)
        .byte 0x8B, 0x45, 0xFC              // mov eax,[ebp-4]
        .byte 0xDD, 0x58, 0x38              // fstp qword [eax+0x38]      the parse's time
        ALTBYTE parse, 0x9B, 0x90           // wait
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0x5A                          // pop edx
        .byte 0x59                          // pop ecx
        .byte 0x59                          // pop ecx
        .byte 0x64, 0x89, 0x10              // mov fs:[eax],edx
        .byte 0x8B, 0x45, 0xFC              // mov eax,[ebp-4]            finally:
        .byte 0xC6, 0x40, 0x30, 0x00        // mov byte [eax+0x30],0      Parsing := False
        CALL_REL(_coreide_TParseThread_Unlock)
        .byte 0x59                          // pop ecx
        .byte 0x5D                          // pop ebp
        .byte 0xC3                          // ret

// The frame's handler (cdecl: exception record, registration record, ...):
// while an exception unwinds past the frame, the finally part runs.
.Lparse_handler:
        mov eax, [esp+4]
        test dword ptr [eax+4], 6           // EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND
        jz .Lparse_search
        mov eax, [esp+8]
        mov eax, [eax+8]                    // the frame's saved ebp
        mov eax, [eax-4]                    // Self
        mov byte ptr [eax+0x30], 0
        call _coreide_TParseThread_Unlock
.Lparse_search:
        mov eax, 1                          // ExceptionContinueSearch
        ret
