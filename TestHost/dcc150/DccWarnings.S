// The compiler's warnings as its bytes: the warning filter (cdecl: the
// warning's number as a byte, then its arguments; → 1 when shown), the two
// warnings that load a resource string before asking it, W46 and W47, and
// the message list L, which loads the same header text for every warning
// line it writes.
// The filter shows a warning when bit 0x40 of the warnings' flag byte is
// set, the 32-bit switch is 0 and the warning's byte in the table of
// enabled warnings is nonzero.
// W46 (eax = a symbol record): its name at 0x1E, or, for a name beginning
// below 'A' (one the compiler made up), the resource text 4046; warning 46
// with that text, the unit and the file. W47 (eax = a resource id): that
// text; warning 47 with it. The resource routine (eax = id, edx = a buffer
// of 256 bytes → eax = the text) is the compiler's LoadResString.
// Variants: warnfilter, warn46 (xor through its other opcode), warn47
// (mov eax,eax for mov eax,ebx: both hold the id there), messagelist (pop
// edx for pop ecx: edx is loaded right after).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix

        .data
        .globl _DccWarnFlags, _DccWarnSwitch, _DccWarnTable
_DccWarnFlags:          .byte 0x40
        .balign 4
_DccWarnSwitch:         .long 0
_DccWarnTable:          .fill 256, 1, 1

        .section .rdata, "dr"
_DccWarnUnitText:       .asciz "Unit1"
_DccWarnFileText:       .asciz "Unit1.pas"

        .text

// ---- the warning filter (cdecl) ---------------------------------------------------------------
        .balign 16
        SEARCHED_ROUTINE warnfilter, WarningFilter, _DccWarning
        ALTBYTE warnfilter, 0x33, 0x31      // xor eax,eax
        .byte 0xC0
        .byte 0x55                          // push ebp
        .byte 0xF6, 0x05                    // test byte [flags],0x40
        .long _DccWarnFlags
        .byte 0x40
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x0F, 0x84                    // je out
        .long .Lwf_out - . - 4
        .byte 0x83, 0x3D                    // +0x14: cmp dword [switch],0
        .long _DccWarnSwitch
        .byte 0x00
        .byte 0x0F, 0x85                    // jne out
        .long .Lwf_out - . - 4
        .byte 0x0F, 0xBE, 0x55, 0x08        // movsx edx,byte [ebp+8]   the number
        .byte 0x8D, 0x5D, 0x0C              // lea ebx,[ebp+0x0C]       its arguments
        .byte 0x80, 0xBA                    // +0x28: cmp byte [edx+table],0
        .long _DccWarnTable
        .byte 0x00
        .byte 0x0F, 0x84                    // je out
        .long .Lwf_out - . - 4
        push ebx
        push edx
        call _DccEmitWarning                // cdecl (number, arguments)
        add esp, 8
        mov eax, 1
.Lwf_out:
        pop esi
        pop ebx
        pop ebp
        ret

// ---- W46: eax = a symbol record ---------------------------------------------------------------
        .balign 16
        SEARCHED_ROUTINE warn46, Warn46, _DccWarn46
        .byte 0x81, 0xC4, 0x00, 0xFF, 0xFF, 0xFF  // add esp,-256
        .byte 0x83, 0xC0, 0x1E              // add eax,0x1E         its name
        ALTBYTE warn46, 0x33, 0x31          // xor edx,edx
        .byte 0xD2
        .byte 0x8A, 0x10                    // mov dl,[eax]
        .byte 0x83, 0xFA, 0x41              // cmp edx,'A'
        .byte 0x7D, 0x0C                    // jge named (+0x1E)
        .byte 0x8B, 0xD4                    // mov edx,esp
        .byte 0xB8                          // mov eax,4046
        .long 4046
        CALL_REL(_DccLoadResString)         // +0x19
        .byte 0x68                          // named: push unit
        .long _DccWarnUnitText
        .byte 0x68                          // push file
        .long _DccWarnFileText
        .byte 0x50                          // push eax             the text
        .byte 0x6A, 0x2E                    // push 46
        CALL_REL(_DccWarning)               // +0x2B
        .byte 0x83, 0xC4, 0x10              // add esp,16
        .byte 0x81, 0xC4, 0x00, 0x01, 0x00, 0x00  // add esp,256
        .byte 0xC3                          // ret

// ---- W47: eax = a resource id -----------------------------------------------------------------
        .balign 16
        SEARCHED_ROUTINE warn47, Warn47, _DccWarn47
        .byte 0x53                          // push ebx
        .byte 0x81, 0xC4, 0x00, 0xFF, 0xFF, 0xFF  // add esp,-256
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0x8B, 0xD4                    // mov edx,esp
        .byte 0x8B                          // mov eax,ebx (variant: mov eax,eax)
        ALTBYTE warn47, 0xC3, 0xC0
        CALL_REL(_DccLoadResString)         // +0x0D
        .byte 0x50                          // push eax
        .byte 0x6A, 0x2F                    // push 47
        CALL_REL(_DccWarning)               // +0x15
        .byte 0x83, 0xC4, 0x08              // add esp,8
        .byte 0x81, 0xC4, 0x00, 0x01, 0x00, 0x00  // add esp,256
        .byte 0x5B                          // pop ebx
        .byte 0xC3                          // ret

// ---- the message list: the lines DccListLines names, each warning line after the header 4000 ----
        .balign 16
        .globl _DccMessageList
_DccMessageList:                            // → eax = the list's checksum
        push ebx
        push esi
        push edi
        sub esp, 0x104
        SEARCHED_ROUTINE messagelist, MessageList, _DccMessageListLoad
        .byte 0xB8, 0x00, 0x00, 0x01, 0x00  // mov eax,0x10000
        CALL_REL(_DccListOpen)              // → the list's buffer
        .byte 0x8B, 0xF0                    // mov esi,eax
        .byte 0xEB, 0x22                    // jmp next (+0x30)
.Lml_header:
        .byte 0x8D, 0x54, 0x24, 0x04        // +0x0E: lea edx,[esp+4]
        .byte 0xB8                          // mov eax,4000
        .long 4000
        CALL_REL(_DccLoadResString)         // +0x17
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0x53                          // push ebx
        CALL_REL(_DccMessageLength)         // cdecl strlen
        ALTBYTE messagelist, 0x59, 0x5A     // pop ecx
        .byte 0x8B, 0xD0                    // mov edx,eax
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_DccListAppend)            // eax = text, edx = length
        .byte 0x8B, 0xF0                    // mov esi,eax
.Lml_next:
        CALL_REL(_DccListNext)              // +0x30: the line before written, → 1 while lines remain
        .byte 0x8B, 0xF0                    // mov esi,eax
        CALL_REL(_DccListIsWarning)         // → nonzero for a warning line
        test esi, esi
        jz .Lml_done
        test eax, eax
        jnz .Lml_header
        jmp .Lml_next
.Lml_done:
        call _DccListClose                  // → the checksum
        add esp, 0x104
        pop edi
        pop esi
        pop ebx
        ret
