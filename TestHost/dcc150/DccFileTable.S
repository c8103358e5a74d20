// The debugger's file table as the compiler's bytes: F frees a table, G
// adds an entry, I looks a path up (its index, 0 for none).
// Table {count 0x00, capacity 0x04, entries 0x08, directory 0x0C}; entry
// (24 bytes) {0x00, name record 0x04 (its text 11 bytes in), full name
// 0x08 (made when first asked, freed by F), directory 0x0C, index 0x10
// (0 or less: the entry's 1-based position), 0x14}.
// I walks every entry: one whose name part equals the path's (the
// compiler's file-name comparison) is a candidate; the first candidate
// whose full name (the routine called at N+2) equals the path wins at
// once; otherwise the first candidate sharing the longest tail with the
// path (ASCII letters upper-cased) wins; no candidate with a tail: 0.
// Variants: filetablefree, filetableadd, fileindex, fileindexname (each
// one instruction re-encoded).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .text

// ---- F: eax = the table ----------------------------------------------------------------------
        .balign 16
        SEARCHED_ROUTINE filetablefree, FileTableFree, _DccFileTableFree
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x8B, 0xF0                    // mov esi,eax
        ALTBYTE filetablefree, 0x33, 0x31   // xor ebx,ebx
        .byte 0xDB
        .byte 0xEB, 0x14                    // jmp +0x1C
        .byte 0x8D, 0x04, 0x5B              // +0x08: lea eax,[ebx+ebx*2]
        .byte 0x8B, 0x56, 0x08              // mov edx,[esi+8]      the entries
        .byte 0x8B, 0x44, 0xC2, 0x08        // mov eax,[edx+eax*8+8] the entry's full name
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x05                    // je +0x1B
        CALL_REL(_DccFileFreeText)          // +0x16
        .byte 0x43                          // +0x1B: inc ebx
        .byte 0x3B, 0x1E                    // +0x1C: cmp ebx,[esi]
        .byte 0x7C, 0xE8                    // jl +0x08
        .byte 0x33, 0xD2                    // xor edx,edx
        .byte 0x89, 0x16                    // mov [esi],edx        no entries
        .byte 0x89, 0x56, 0x04              // mov [esi+4],edx      no room
        mov eax, [esi+8]
        call _DccFileFreeArray
        xor edx, edx
        mov [esi+8], edx
        pop esi
        pop ebx
        ret

// ---- G: eax = a name record, edx = the table, ecx = the entry's index → its position ----------
        .balign 16
        SEARCHED_ROUTINE filetableadd, FileTableAdd, _DccFileTableAdd
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x57                          // push edi
        .byte 0x51                          // push ecx             [esp]: the record
        .byte 0x8B, 0xF2                    // mov esi,edx
        .byte 0x89, 0x04, 0x24              // mov [esp],eax
        .byte 0x8B, 0x3E                    // mov edi,[esi]        the count
        .byte 0x8B, 0x04                    // mov eax,[esp]
        ALTBYTE filetableadd, 0x24, 0x64    // (its SIB byte: no index, any scale)
        mov ebx, ecx
        cmp edi, [esi+4]
        jl 1f
        mov eax, esi
        call _DccFileTableGrow              // a larger array: the entries move
1:      lea eax, [edi+edi*2]
        shl eax, 3
        add eax, [esi+8]
        mov edx, [esp]
        mov [eax+4], edx
        xor edx, edx
        mov [eax], edx
        mov [eax+8], edx
        mov [eax+0x14], edx
        mov edx, [esi+0x0C]
        mov [eax+0x0C], edx
        mov [eax+0x10], ebx
        inc edi
        mov [esi], edi
        mov eax, edi
        pop ecx
        pop edi
        pop esi
        pop ebx
        ret

// ---- I: eax = the table, edx = the path → the index of its entry, 0 for none ------------------
// [esp] the best index so far, [esp+4] its tail's length, [esp+8] the
// path's name part (upper-cased), [esp+0x10C] the path upper-cased.
        .balign 16
        SEARCHED_ROUTINE fileindex, FileIndex, _DccFileIndex
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x57                          // push edi
        .byte 0x55                          // push ebp
        .byte 0x81, 0xC4, 0xE8, 0xFB, 0xFF, 0xFF  // add esp,-0x418
        .byte 0x8B, 0xEA                    // mov ebp,edx          the path
        .byte 0x8B, 0xF8                    // mov edi,eax          the table
        .byte 0x8B, 0xC5                    // mov eax,ebp
        .byte 0x8D, 0x54, 0x24, 0x08        // lea edx,[esp+8]
        CALL_REL(_DccFilePathName)          // +0x14: its name part
        .byte 0x8D, 0x94, 0x24, 0x0C, 0x01, 0x00, 0x00  // lea edx,[esp+0x10C]
        .byte 0x8B, 0xC5                    // mov eax,ebp
        CALL_REL(_DccFileUpperPath)         // +0x22: the path upper-cased
        .byte 0x8D, 0x94, 0x24, 0x0C, 0x01, 0x00, 0x00  // lea edx,[esp+0x10C]
        .byte 0x8D, 0x44, 0x24, 0x08        // lea eax,[esp+8]
        CALL_REL(_DccFileUpperName)         // +0x32: the name part from its tail
        ALTBYTE fileindex, 0x33, 0x31       // +0x37: xor ecx,ecx
        .byte 0xC9
        .byte 0x89, 0x0C, 0x24              // mov [esp],ecx        none yet
        .byte 0x89, 0x4C, 0x24, 0x04        // mov [esp+4],ecx
        xor esi, esi                        // the position
.Li_entry:
        cmp esi, [edi]
        jge .Li_done
        lea ebx, [esi+esi*2]
        shl ebx, 3
        add ebx, [edi+8]                    // the entry
        mov eax, [ebx+4]
        add eax, 11                         // its name record's text
        call _DccFileNamePart
        lea edx, [esp+8]
        call _DccFileCompare
        test eax, eax
        jnz .Li_next                        // another file name
        SEARCHED_ROUTINE fileindexname, FileIndexFullName, _DccFileIndexFullName
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_DccFileFullName)          // +2: the entry's full name
        .byte 0x8B, 0xD5                    // mov edx,ebp
        CALL_REL(_DccFileCompare)           // +9
        ALTBYTE fileindexname, 0x85, 0x09   // test eax,eax
        .byte 0xC0
        .byte 0x75                          // jnz: not the path itself
        .byte .Li_tail - . - 1
        mov eax, [ebx+0x10]                 // the path itself: its index
        test eax, eax
        jg .Li_return
        lea eax, [esi+1]
        jmp .Li_return
.Li_tail:
        mov eax, ebx
        call _DccFileFullName
        lea edx, [esp+0x10C]
        call _DccFileTailLength
        cmp eax, [esp+4]
        jle .Li_next                        // an earlier one shares as much
        mov [esp+4], eax
        mov eax, [ebx+0x10]
        test eax, eax
        jg 1f
        lea eax, [esi+1]
1:      mov [esp], eax
.Li_next:
        inc esi
        jmp .Li_entry
.Li_done:
        mov eax, [esp]
.Li_return:
        add esp, 0x418
        pop ebp
        pop edi
        pop esi
        pop ebx
        ret
