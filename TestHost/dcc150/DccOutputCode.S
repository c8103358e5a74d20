// The stand-in compiler's output files, byte for byte where the pack
// searches them: the run-time's text write (line feeds become CR LF in a
// 512-byte stack buffer, one write per buffer), its set-file-buffer routine,
// and the resource-list (DRC) writer opening its file. Conventions and
// variants as in DccFilesCode.S.

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4
#define JMP_REL(target) .byte 0xE9; .long target - . - 4

        .intel_syntax noprefix

        .data
        .balign 4
        .globl _DccDrcOption, _DccDrcFileName
_DccDrcOption:      .long 2             // 2: the resource list is written
_DccDrcFileName:    .skip 264           // its path (UTF-8)
.Lwrite_binary:     .asciz "wb"
.Ldrc_not_asked:    .asciz "resource list written although not asked for"

        .text

// ---- text write (cdecl: file, data, count) → input bytes written, or -1 when
// nothing could be written. A partial write answers the input bytes whose
// output was written in full.
        .balign 16
        .globl _DccWriteText
_DccWriteText:
        push ebp
        mov ebp, esp
        sub esp, 0x208                      // [ebp-0x208] 512-byte buffer, [ebp-8] written, [ebp-4] line feeds
        push ebx
        push esi
        push edi
        mov edi, [ebp+0x0C]
        SEARCHED_ROUTINE mapwrite, MapWrite, _DccWriteTextLoop
.Lwt_start:
        .byte 0x8B, 0xF7                    // mov esi,edi
        ALTBYTE mapwrite, 0x33, 0x31        // xor eax,eax
        .byte 0xC0
        .byte 0x89, 0x45, 0xFC              // mov [ebp-4],eax
        .byte 0x33, 0xD2                    // xor edx,edx
        .byte 0x89, 0x55, 0xF8              // mov [ebp-8],edx
        .byte 0xEB, 0x7D                    // jmp condition
        .byte 0x8D, 0x9D, 0xF8, 0xFD, 0xFF, 0xFF  // chunk: lea ebx,[ebp-0x208]
        .byte 0xEB, 0x17                    // jmp room
        .byte 0x8A, 0x06                    // byte: mov al,[esi]
        .byte 0x46                          // inc esi
        .byte 0x3C, 0x0A                    // cmp al,0x0A
        .byte 0x75, 0x0D                    // jne plain
        .byte 0xFF, 0x45, 0xFC              // inc dword [ebp-4]
        .byte 0xC6, 0x03, 0x0D              // mov byte [ebx],0x0D
        .byte 0x43                          // inc ebx
        .byte 0xC6, 0x03, 0x0A              // mov byte [ebx],0x0A
        .byte 0x43                          // inc ebx
        .byte 0xEB, 0x03                    // jmp room
        .byte 0x88, 0x03                    // plain: mov [ebx],al
        .byte 0x43                          // inc ebx
        .byte 0x8D, 0x95, 0xF8, 0xFD, 0xFF, 0xFF  // room: lea edx,[ebp-0x208]
        .byte 0x8B, 0xCB                    // mov ecx,ebx
        .byte 0x2B, 0xCA                    // sub ecx,edx
        .byte 0x81, 0xF9, 0xFF, 0x01, 0x00, 0x00  // cmp ecx,0x1FF
        .byte 0x7D, 0x09                    // jge write
        .byte 0x8B, 0xCE                    // mov ecx,esi
        .byte 0x2B, 0xCF                    // sub ecx,edi
        .byte 0x3B, 0x4D, 0x10              // cmp ecx,[ebp+0x10]
        .byte 0x72, 0xCE                    // jb byte
        .byte 0x8D, 0x85, 0xF8, 0xFD, 0xFF, 0xFF  // write: lea eax,[ebp-0x208]
        .byte 0x8B, 0xD3                    // mov edx,ebx
        .byte 0x2B, 0xD0                    // sub edx,eax
        .byte 0x8D, 0x8D, 0xF8, 0xFD, 0xFF, 0xFF  // lea ecx,[ebp-0x208]
        .byte 0x52                          // push edx
        .byte 0x51                          // push ecx
        .byte 0x8B, 0x45, 0x08              // mov eax,[ebp+8]
        .byte 0x50                          // push eax
        CALL_REL(_DccRawWrite)              // cdecl (file, buffer, count) → count written
        .byte 0x83, 0xC4, 0x0C              // add esp,0xC
        .byte 0x8D, 0x95, 0xF8, 0xFD, 0xFF, 0xFF  // lea edx,[ebp-0x208]
        .byte 0x2B, 0xDA                    // sub ebx,edx
        .byte 0x3B, 0xC3                    // cmp eax,ebx
        .byte 0x73, 0x16                    // jae full
        .byte 0x50                          // push eax        (partial: written now)
        .byte 0x53                          // push ebx        (buffered)
        .byte 0x56                          // push esi        (input position)
        .byte 0x57                          // push edi        (input start)
        .byte 0x55                          // push ebp        (the frame: buffer and counts)
        CALL_REL(HostPartialTextWrite)      // cdecl → input bytes written in full, or -1
        .byte 0x83, 0xC4, 0x14              // add esp,0x14
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0xEB, .Lwt_result - . - 1     // jmp result
        .org .Lwt_start + 0x88, 0x90
        .byte 0x01, 0x45, 0xF8              // full: add [ebp-8],eax
        .byte 0x8B, 0xCE                    // condition: mov ecx,esi
        .byte 0x2B, 0xCF                    // sub ecx,edi
        .byte 0x3B, 0x4D, 0x10              // cmp ecx,[ebp+0x10]
        .byte 0x0F, 0x82                    // jb chunk
        .long .Lwt_start + 0x0E - . - 4
        .byte 0x8B, 0x5D, 0x10              // mov ebx,[ebp+0x10]
        .byte 0x8D, 0x76, 0x00              // lea esi,[esi+0]
        .org .Lwt_start + 0x9E
.Lwt_result:
        .byte 0x8B, 0xC3                    // mov eax,ebx
        .byte 0x5F, 0x5E, 0x5B              // pop edi; pop esi; pop ebx
        .byte 0x8B, 0xE5                    // mov esp,ebp
        .byte 0x5D                          // pop ebp
        .byte 0xC3                          // ret

// ---- set-file-buffer (cdecl: file, buffer, mode, size) → 0, or -1 for an
// invalid file, mode or size. Mode 0 full buffering, 1 by line, 2 none; a
// null buffer with a size: the file gets a buffer of its own.
        .balign 16
        SEARCHED_ROUTINE setbuffer, SetBuffer, _DccSetBuffer
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x53, 0x56, 0x57              // push ebx; push esi; push edi
        .byte 0x8B, 0x7D, 0x14              // mov edi,[ebp+0x14]
        .byte 0x8B, 0x75, 0x10              // mov esi,[ebp+0x10]
        .byte 0x8B, 0x5D, 0x08              // mov ebx,[ebp+8]
        ALTBYTE setbuffer, 0x3A, 0x38       // cmp bl,[ebx+0x17]  (the file's token; only equality is tested)
        .byte 0x5B, 0x17
        .byte 0x75, 0x0D                    // jne fail
        .byte 0x83, 0xFE, 0x02              // cmp esi,2
        .byte 0x7F, 0x08                    // jg fail
        .byte 0x81, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F  // cmp edi,0x7FFFFFFF
        .byte 0x76, 0x05                    // jbe ok
        .byte 0x83, 0xC8, 0xFF              // fail: or eax,-1
        .byte 0xEB, .Lsb_done - . - 1       // jmp done
        push edi                            // ok:
        push esi
        push dword ptr [ebp+0x0C]
        push ebx
        call HostSetFileBuffer              // cdecl
        add esp, 16
.Lsb_done:
        pop edi
        pop esi
        pop ebx
        pop ebp
        ret

// ---- the resource list: eax = the option variable, edx = records to write ------
// Opens the file named in DccDrcFileName and writes that many 100-byte
// records through the run-time's buffered file; 0, or -1 when the file
// cannot be created.
        .balign 16
        .globl _DccWriteDrc
_DccWriteDrc:
        push ebx
        push esi
        sub esp, 8                          // [esp+4] the file
        mov esi, edx
        SEARCHED_ROUTINE drcopen, DrcOpen, _DccDrcOpen
.Ldo_start:
        .byte 0x83, 0x38, 0x02              // cmp dword [eax],2
        .byte 0x74, 0x0F                    // je open
        .byte 0x68                          // push offset message
        .long .Ldrc_not_asked
        .byte 0x6A, 0x01                    // push 1
        CALL_REL(HostDrcNote)               // cdecl (level, message)
        .byte 0x83, 0xC4, 0x08              // add esp,8
        .byte 0xBA                          // open: mov edx,offset "wb"
        .long .Lwrite_binary
        .byte 0xB8                          // mov eax,offset DccDrcFileName
        .long _DccDrcFileName
        CALL_REL(_DccOpenFile)              // eax = name, edx = mode → file or null
        .byte 0x89, 0x44                    // mov [esp+4],eax
        ALTBYTE drcopen, 0x24, 0x64         //   (SIB: base esp, no index)
        .byte 0x04
        .byte 0x83, 0x7C, 0x24, 0x04, 0x00  // cmp dword [esp+4],0
        .byte 0x75, 0x0F                    // jne write
        .byte 0x6A, 0x00                    // push 0         (no message: the level says it)
        .byte 0x6A, 0x02                    // push 2
        CALL_REL(HostDrcNote)
        .byte 0x83, 0xC4, 0x08              // add esp,8
        .byte 0xEB, .Ldo_failed - . - 1     // jmp failed
        .byte 0x90
        .org .Ldo_start + 0x3D
        mov eax, [esp+4]                    // write:
        mov edx, esi
        call HostWriteDrcRecords            // eax = file, edx = records; closes the file
        xor eax, eax
        jmp .Ldo_done
.Ldo_failed:
        or eax, -1
.Ldo_done:
        add esp, 8
        pop esi
        pop ebx
        ret
