// The linker's map lines as its bytes: the formatted write W (cdecl: file,
// format, arguments; the printer is given the buffered file's text write as
// its output routine) and, inside DccMapLine, M: unless the map's flags & 3
// (DccMapFlags, 0: every entry on a line of its own) a line break written
// with W, then the entry's fields (" %5ld %04X:%08lX": line number, segment,
// offset) with W, then the entry counter + 1. DccMapLine (stdcall offset, segment index, line, file) sets
// the registers and frame M reads: ebx the file, esi the line, [ebp-1] the
// segment index, [ebp+8] the offset.
// Variants: mapw (the printer's unused flag pushed as 1), mapline (the
// segment index read with movzx instead of movsx: it is 0..7), and builds whose
// map has other texts: mapline-fields (the fields "  %5ld %04X:%08lX"),
// mapline-newline (the break "\r\n").

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix

        .section .rdata, "dr"
        .globl _DccMapBreakText, _DccMapFieldsText
_DccMapBreakText:       .asciz "\n"
_DccMapFieldsText:      .asciz " %5ld %04X:%08lX"
.Lother_fields:         .asciz "  %5ld %04X:%08lX"
.Lother_break:          .asciz "\r\n"

        .data
        .balign 4
        .globl _DccMapLineEntries, _DccMapSegments, _DccMapFlags
_DccMapFlags:           .long 0
_DccMapLineEntries:     .long 0
_DccMapSegments:        .long 1, 2, 3, 4, 5, 0x10, 0x11, 0xFFFF

        .text

// ---- W: cdecl (file, format, ...) ------------------------------------------------------
        .balign 16
        SEARCHED_ROUTINE mapw, MapPrintf, _DccMapPrintf
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x8D, 0x45, 0x10              // lea eax,[ebp+0x10]  the arguments
        .byte 0x50                          // push eax
        .byte 0x6A, 0x00                    // push 0
        .byte 0x6A                          // push 0 (a flag the printer does not use)
        ALTBYTE mapw, 0x00, 0x01
        .byte 0x8B, 0x55, 0x0C              // mov edx,[ebp+0x0C]  format
        .byte 0x52                          // push edx
        .byte 0x8B, 0x4D, 0x08              // mov ecx,[ebp+8]     file
        .byte 0x51                          // push ecx
        .byte 0x68                          // push DccWriteText   output routine
        .long _DccWriteText
        CALL_REL(_DccMapPrinter)
        .byte 0x83, 0xC4, 0x18              // add esp,0x18
        .byte 0x5D                          // pop ebp
        .byte 0xC3                          // ret

// ---- one entry of a line-number section (stdcall offset, segment, line, file) ----------
        .balign 16
        .globl _DccMapLine
_DccMapLine:
        push ebp
        mov ebp, esp
        push ecx                            // [ebp-4]: [ebp-1] the segment index
        push ebx
        push esi
        mov eax, [ebp+0x0C]
        mov [ebp-1], al
        mov esi, [ebp+0x10]
        mov ebx, [ebp+0x14]
        SEARCHED_ROUTINE mapline, MapLine, _DccMapLineEntry
        .byte 0xF6, 0x05                    // test byte [flags],3
        .long _DccMapFlags
        .byte 0x03
        .byte 0x75                          // jnz fields
        .byte .Lml_fields - . - 1
        .byte 0x68                          // push "\n"
        ROUTINE_FORM mapline, newline
        .ifc QM_VARIANT, mapline_newline
        .long .Lother_break
        .else
        .long _DccMapBreakText
        .endif
        .byte 0x53                          // push ebx
        CALL_REL(_DccMapPrintf)             // +0x0F
        .byte 0x83, 0xC4, 0x08              // add esp,8
.Lml_fields:
        .byte 0x8B, 0x45, 0x08              // mov eax,[ebp+8]     offset
        .byte 0x50                          // push eax
        .byte 0x0F                          // movsx ecx,byte [ebp-1]
        ALTBYTE mapline, 0xBE, 0xB6         //   (variant: movzx: the index is 0..7)
        .byte 0x4D, 0xFF
        .byte 0x8B, 0x0C, 0x8D              // mov ecx,[ecx*4+segments]
        .long _DccMapSegments
        .byte 0x51                          // push ecx
        .byte 0x56                          // push esi            line
        .byte 0x68                          // push " %5ld %04X:%08lX"
        ROUTINE_FORM mapline, fields
        .ifc QM_VARIANT, mapline_fields
        .long .Lother_fields
        .else
        .long _DccMapFieldsText
        .endif
        .byte 0x53                          // push ebx
        CALL_REL(_DccMapPrintf)             // +0x2E
        .byte 0x83, 0xC4, 0x14              // add esp,0x14
        .byte 0xFF, 0x05                    // inc dword [entries]
        .long _DccMapLineEntries
        pop esi
        pop ebx
        pop ecx
        pop ebp
        ret 16
