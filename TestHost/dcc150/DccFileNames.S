// The compiler's file-name routines as its bytes; each walks the text from
// its start, a character at a time (the lead-byte table says which bytes
// begin a character of several bytes; the character routine steps over it).
// X1 DccBaseNameLength (eax = text, edx = length → the length of the name
// without its extension: the last '.' behind the last '\', '/' or ':', else
// the length). X2 DccDirLength (eax = text, edx = length → the length of
// the directory part: just behind the last '\', '/' or ':', else 0). X3
// DccFileExt (eax = a zero-terminated text → its extension: text + X1). X4
// DccExtractDir (eax = source, edx = dest: the directory part of source,
// X2 cut at a character's start, copied to dest unless it is source, and
// terminated there).
// Variants: basename and dirlength (xor through its other opcode), fileext
// (pop edx for pop ecx: edx is loaded next), extractdir (test esi,esi as
// or esi,esi).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix

        .data
        .globl _DccLeadBytes
_DccLeadBytes:          .fill 0xC0, 1, 0    // bytes that begin a character of several bytes
                        .fill 0x40, 1, 1

        .text

// ---- X1: eax = text, edx = length → the name's length without extension --------
        .balign 16
        SEARCHED_ROUTINE basename, BaseNameLength, _DccBaseNameLength
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x57                          // push edi
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xE8                    // mov ebp,eax          text
        .byte 0x8B, 0xDD                    // mov ebx,ebp          p
        .byte 0x8D, 0x34, 0x1A              // lea esi,[edx+ebx]    end
        .byte 0x8B, 0xFE                    // mov edi,esi          answer: the end
        .byte 0x3B, 0xF3                    // cmp esi,ebx
        .byte 0x76, 0x3B                    // jbe done (+0x4C)
        .byte 0x8A, 0x03                    // +0x11 loop: mov al,[ebx]
        .byte 0x3C, 0x2E                    // cmp al,'.'
        .byte 0x75, 0x04                    // jne +0x1B
        .byte 0x8B, 0xFB                    // mov edi,ebx          the dot
        .byte 0xEB, 0x12                    // jmp next (+0x2D)
        .byte 0x3C, 0x3A                    // +0x1B: cmp al,':'
        .byte 0x75, 0x04                    // jne +0x23
        .byte 0x8B, 0xFE                    // mov edi,esi
        .byte 0xEB, 0x0A                    // jmp next
        .byte 0x3C, 0x5C                    // +0x23: cmp al,'\'
        .byte 0x74, 0x04                    // je +0x2B
        .byte 0x3C, 0x2F                    // cmp al,'/'
        .byte 0x75, 0x02                    // jne next
        .byte 0x8B, 0xFE                    // +0x2B: mov edi,esi   a delimiter: no extension so far
        ALTBYTE basename, 0x33, 0x31        // +0x2D next: xor eax,eax
        .byte 0xC0
        .byte 0x8A, 0x03                    // mov al,[ebx]
        .byte 0x80, 0xB8                    // cmp byte [eax+DccLeadBytes],0
        .long _DccLeadBytes
        .byte 0x00
        .byte 0x74, 0x09                    // je single (+0x43)
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_DccCharNext)              // +0x3C
        .byte 0xEB, 0x03                    // jmp +0x46
        .byte 0x8D, 0x43, 0x01              // +0x43 single: lea eax,[ebx+1]
        .byte 0x8B, 0xD8                    // +0x46: mov ebx,eax
        .byte 0x3B, 0xF3                    // cmp esi,ebx
        .byte 0x77, 0xC5                    // ja loop
        .byte 0x8B, 0xC7                    // +0x4C done: mov eax,edi
        .byte 0x2B, 0xC5                    // sub eax,ebp
        .byte 0x5D                          // pop ebp
        .byte 0x5F                          // pop edi
        .byte 0x5E                          // pop esi
        .byte 0x5B                          // pop ebx
        .byte 0xC3                          // ret

// ---- X2: eax = text, edx = length → the directory part's length ----------------
        .balign 16
        SEARCHED_ROUTINE dirlength, DirLength, _DccDirLength
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x57                          // push edi
        .byte 0x55                          // push ebp
        .byte 0x51                          // push ecx             room for the text
        .byte 0x89, 0x04, 0x24              // mov [esp],eax
        .byte 0x8B, 0x34, 0x24              // mov esi,[esp]        p
        .byte 0x8B, 0x2C, 0x24              // mov ebp,[esp]
        .byte 0x03, 0xEA                    // add ebp,edx          end
        .byte 0x8B, 0x3C, 0x24              // mov edi,[esp]        answer: the start
        .byte 0x3B, 0xEE                    // cmp ebp,esi
        .byte 0x76, 0x36                    // jbe done (+0x4D)
        .byte 0x8A, 0x1E                    // +0x17 loop: mov bl,[esi]
        ALTBYTE dirlength, 0x33, 0x31       // xor eax,eax
        .byte 0xC0
        .byte 0x8A, 0x06                    // mov al,[esi]
        .byte 0x80, 0xB8                    // cmp byte [eax+DccLeadBytes],0
        .long _DccLeadBytes
        .byte 0x00
        .byte 0x74, 0x09                    // je single (+0x2F)
        .byte 0x8B, 0xC6                    // mov eax,esi
        CALL_REL(_DccCharNext)              // +0x28
        .byte 0xEB, 0x03                    // jmp +0x32
        .byte 0x8D, 0x46, 0x01              // +0x2F single: lea eax,[esi+1]
        .byte 0x8B, 0xF0                    // +0x32: mov esi,eax   the next character
        .byte 0x80, 0xFB, 0x5C              // cmp bl,'\'
        .byte 0x74, 0x05                    // je +0x3E
        .byte 0x80, 0xFB, 0x2F              // cmp bl,'/'
        .byte 0x75, 0x04                    // jne +0x42
        .byte 0x8B, 0xFE                    // +0x3E: mov edi,esi   just behind the delimiter
        .byte 0xEB, 0x07                    // jmp +0x49
        .byte 0x80, 0xFB, 0x3A              // +0x42: cmp bl,':'
        .byte 0x75, 0x02                    // jne +0x49
        .byte 0x8B, 0xFE                    // mov edi,esi
        .byte 0x3B, 0xEE                    // +0x49: cmp ebp,esi
        .byte 0x77, 0xCA                    // ja loop
        .byte 0x8B, 0xC7                    // +0x4D done: mov eax,edi
        .byte 0x2B, 0x04, 0x24              // sub eax,[esp]
        .byte 0x5A                          // pop edx
        .byte 0x5D                          // pop ebp
        .byte 0x5F                          // pop edi
        .byte 0x5E                          // pop esi
        .byte 0x5B                          // pop ebx
        .byte 0xC3                          // ret

// ---- X3: eax = text → its extension ('.' on, or the terminating zero) ------------
        .balign 16
        SEARCHED_ROUTINE fileext, FileExt, _DccFileExt
        .byte 0x53                          // push ebx
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0x53                          // push ebx
        CALL_REL(_DccTextLength)            // +4 (cdecl)
        ALTBYTE fileext, 0x59, 0x5A         // pop ecx
        .byte 0x8B, 0xD0                    // mov edx,eax
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_DccBaseNameLength)        // +0x0E
        .byte 0x03, 0xC3                    // add eax,ebx
        .byte 0x5B                          // pop ebx
        .byte 0xC3                          // ret

// ---- X4: eax = source, edx = dest: the directory part copied and terminated ------
        .balign 16
        SEARCHED_ROUTINE extractdir, ExtractDir, _DccExtractDir
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x57                          // push edi
        .byte 0x8B, 0xFA                    // mov edi,edx          dest
        .byte 0x8B, 0xD8                    // mov ebx,eax          source
        .byte 0x53                          // push ebx
        CALL_REL(_DccTextLength)            // +8 (cdecl)
        .byte 0x59                          // pop ecx
        .byte 0x8B, 0xD0                    // mov edx,eax
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_DccDirLength)             // +0x12
        .byte 0x8B, 0xD0                    // mov edx,eax
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_DccCharBoundary)          // +0x1B
        .byte 0x8B, 0xF0                    // mov esi,eax          bytes to copy
        ALTBYTE extractdir, 0x85, 0x0B      // test esi,esi
        .byte 0xF6
        .byte 0x7E, 0x0F                    // jle terminate (+0x35)
        .byte 0x3B, 0xDF                    // cmp ebx,edi
        .byte 0x74, 0x0B                    // je terminate
        .byte 0x56                          // push esi
        .byte 0x53                          // push ebx
        .byte 0x57                          // push edi
        CALL_REL(_DccMoveText)              // +0x2D (cdecl: dest, source, count)
        .byte 0x83, 0xC4, 0x0C              // add esp,12
        .byte 0xC6, 0x04, 0x37, 0x00        // +0x35 terminate: mov byte [edi+esi],0
        .byte 0x5F                          // pop edi
        .byte 0x5E                          // pop esi
        .byte 0x5B                          // pop ebx
        .byte 0xC3                          // ret
