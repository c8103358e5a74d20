// TComponentRoot.GetRootStream as the host's compiler wrote it (host
// register convention, EAX = the root → EAX = the stream): a new memory
// stream stored in the root's stream field (+0x6C), then, inside a try
// block, the root written into it by the call at +30 of the searched bytes
// (EAX = root, EDX = stream). The try block's handler lets every exception
// pass on. ALTBYTE: `xor ecx,ecx` with the other opcode.

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .text

        .balign 16
        .globl _designide_GetRootStream
_designide_GetRootStream:
        push ebp
        mov ebp, esp
        push ecx                            // [ebp-4] the root
        push ebx
        mov [ebp-4], eax
        call _designide_NewRootStream
        SEARCHED_ROUTINE rootstream, ComponentRootGetRootStream, _designide_GetRootStreamSite
        .byte 0x8B, 0xD8                    // mov ebx,eax                 the stream
        .byte 0x8B, 0x45, 0xFC              // mov eax,[ebp-4]
        .byte 0x89, 0x98                    // mov [eax+0x6C],ebx          (+7) the root's stream field
        .long 0x6C
        ALTBYTE rootstream, 0x33, 0x31      // xor ecx,ecx
        .byte 0xC9
        .byte 0x55                          // push ebp
        .byte 0x68                          // push offset the handler
        .long _designide_GetRootStreamHandler
        .byte 0x64, 0xFF, 0x31              // push dword ptr fs:[ecx]
        .byte 0x64, 0x89, 0x21              // mov fs:[ecx],esp
        .byte 0x8B, 0xD3                    // mov edx,ebx
        .byte 0x8B, 0x45, 0xFC              // mov eax,[ebp-4]
        CALL_REL(_designide_WriteRoot)      // (+30)
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0x5A                          // pop edx
        .byte 0x59                          // pop ecx
        .byte 0x59                          // pop ecx
        .byte 0x64, 0x89, 0x10              // mov fs:[eax],edx
        mov eax, ebx
        pop ebx
        pop ecx
        pop ebp
        ret

// The try block's handler (a structured-exception handler, cdecl): never
// handles, so the exception goes on to the caller's frames.
        .balign 4
_designide_GetRootStreamHandler:
        mov eax, 1                          // ExceptionContinueSearch
        ret
