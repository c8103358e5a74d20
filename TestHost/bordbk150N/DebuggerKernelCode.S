// The stand-in debugger kernel's own copies of C run-time routines, byte for
// byte as the pack expects them, after the export SENTHOOKPROC in the same
// code section: memcpy, the case-insensitive string compare, memchr,
// memmove, memset (cdecl: arguments on the stack, the caller removes them).
// The searched bytes are .byte lines with their instructions as comments.
// memcpy, memchr and memmove are whole routines in the searched bytes; the
// compare and memset go on past them as working routines whose jumps land
// where the searched bytes say (memset's at +108 and +116). Each routine is
// at least as long as the pack's scan skips after finding it (36, 71, 30,
// 74, 138 bytes), and memcpy comes before memmove and memset, which the
// scan looks for only once memcpy is found.
//
// Each routine has one ALTBYTE: in its variant build one instruction takes
// another form with the same effect ("pop ebp" becomes "leave" where esp
// equals ebp, a slot reserved by "push ecx" by "push eax", a SIB byte with
// base and index swapped), so the routine works the same but one compared
// byte differs (Common/SearchedRoutines.inc).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .text

// ---- SENTHOOKPROC(Code, wParam, lParam): stdcall, returns 0 -------------------
        .balign 16
        .globl _dbk_SentHookProc
_dbk_SentHookProc:
        push    ebp
        mov     ebp, esp
        xor     eax, eax
        pop     ebp
        ret     12

// ---- void* memcpy(void* dst, const void* src, size_t n) ----------------------------
        .balign 16
        SEARCHED_ROUTINE memcpy, Memcpy, _dbk_memcpy
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x56                          // push esi
        .byte 0x57                          // push edi
        .byte 0x8B, 0x7D, 0x08              // mov edi,[ebp+8]      dst
        .byte 0x8B, 0xC7                    // mov eax,edi          result
        .byte 0x8B, 0x75, 0x0C              // mov esi,[ebp+0Ch]    src
        .byte 0x8B, 0x4D, 0x10              // mov ecx,[ebp+10h]    n
        .byte 0x8B, 0xD1                    // mov edx,ecx
        .byte 0xD1, 0xE9                    // shr ecx,1
        .byte 0xD1, 0xE9                    // shr ecx,1
        .byte 0xFC                          // cld
        .byte 0xF3, 0xA5                    // rep movsd
        .byte 0x8B, 0xCA                    // mov ecx,edx
        .byte 0x83, 0xE1, 0x03              // and ecx,3
        .byte 0xF3, 0xA4                    // rep movsb
        .byte 0x5F                          // pop edi
        .byte 0x5E                          // pop esi
        ALTBYTE memcpy, 0x5D, 0xC9          // pop ebp (leave)
        .byte 0xC3                          // ret

// ---- int stricmp(const char* a, const char* b): C-locale toupper of each byte
// loaded sign-extended; the difference of the first pair that differs, or 0
        .balign 16
        SEARCHED_ROUTINE stricmp, StrICmp, _dbk_stricmp
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        ALTBYTE stricmp, 0x51, 0x50         // push ecx (push eax): a local slot, never read
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x57                          // push edi
        .byte 0xEB, 0x06                    // jmp +6: the loop's test
        .byte 0xFF, 0x45, 0x08              // inc dword [ebp+8]    a++
        .byte 0xFF, 0x45, 0x0C              // inc dword [ebp+0Ch]  b++
        .byte 0x8B, 0x45, 0x08              // mov eax,[ebp+8]
        .byte 0x0F, 0xBE, 0x30              // movsx esi,byte [eax]
        .byte 0x56                          // push esi
        CALL_REL(_dbk_toupper)              // call toupper
        pop     ecx
        mov     edi, eax                    // edi = toupper(*a)
        mov     eax, [ebp+0x0C]
        movsx   ebx, byte ptr [eax]
        push    ebx
        call    _dbk_toupper
        pop     ecx                         // eax = toupper(*b)
        cmp     edi, eax
        jne     2f
        test    esi, esi
        jz      1f                          // the end of both
        jmp     _dbk_stricmp + 9            // a++, b++ and the next pair
1:      xor     eax, eax
        jmp     3f
2:      sub     edi, eax
        mov     eax, edi
3:      pop     edi
        pop     esi
        pop     ebx
        pop     ecx
        pop     ebp
        ret
        .fill   _dbk_stricmp + 71 - ., 1, 0xCC

// ---- void* memchr(const void* s, int c, size_t n) -----------------------------------
        .balign 16
        SEARCHED_ROUTINE memchr, Memchr, _dbk_memchr
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x57                          // push edi
        .byte 0x8B, 0x7D, 0x08              // mov edi,[ebp+8]      s
        .byte 0x8B, 0x4D, 0x10              // mov ecx,[ebp+10h]    n
        .byte 0xE3, 0x0E                    // jecxz +0Eh: not found
        .byte 0x8A, 0x45, 0x0C              // mov al,[ebp+0Ch]     c
        .byte 0xFC                          // cld
        .byte 0xF2, 0xAE                    // repne scasb
        .byte 0x75, 0x06                    // jne +6: not found
        .byte 0x8D, 0x47, 0xFF              // lea eax,[edi-1]
        .byte 0x5F                          // pop edi
        ALTBYTE memchr, 0x5D, 0xC9          // pop ebp (leave)
        .byte 0xC3                          // ret
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0xEB, 0xF9                    // jmp -7: pop edi

// ---- void* memmove(void* dst, const void* src, size_t n) ----------------------------
        .balign 16
        SEARCHED_ROUTINE memmove, Memmove, _dbk_memmove
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x56                          // push esi
        .byte 0x57                          // push edi
        .byte 0x8B, 0x7D, 0x08              // mov edi,[ebp+8]      dst
        .byte 0x8B, 0x75, 0x0C              // mov esi,[ebp+0Ch]    src
        .byte 0x8B, 0x4D, 0x10              // mov ecx,[ebp+10h]    n
        .byte 0x8B, 0xD1                    // mov edx,ecx
        .byte 0x3B, 0xFE                    // cmp edi,esi
        .byte 0x72, 0x21                    // jb +21h: forward
        .byte 0x74, 0x2D                    // je +2Dh: done
        .byte 0xFD                          // std: backward
        .byte 0x8D, 0x74, 0x0E, 0xFF        // lea esi,[esi+ecx-1]
        .byte 0x8D, 0x7C, 0x0F, 0xFF        // lea edi,[edi+ecx-1]
        .byte 0x83, 0xE1, 0x03              // and ecx,3
        .byte 0xF3, 0xA4                    // rep movsb
        .byte 0x8B, 0xCA                    // mov ecx,edx
        .byte 0xD1, 0xE9                    // shr ecx,1
        .byte 0xD1, 0xE9                    // shr ecx,1
        .byte 0x83, 0xEE, 0x03              // sub esi,3
        .byte 0x83, 0xEF, 0x03              // sub edi,3
        .byte 0xF3, 0xA5                    // rep movsd
        .byte 0xFC                          // cld
        .byte 0xEB, 0x0E                    // jmp +0Eh: done
        .byte 0xFC                          // cld                  forward
        .byte 0xD1, 0xE9                    // shr ecx,1
        .byte 0xD1, 0xE9                    // shr ecx,1
        .byte 0xF3, 0xA5                    // rep movsd
        .byte 0x8B, 0xCA                    // mov ecx,edx
        .byte 0x83, 0xE1, 0x03              // and ecx,3
        .byte 0xF3, 0xA4                    // rep movsb
        .byte 0x8B, 0x45, 0x08              // mov eax,[ebp+8]      done: dst
        .byte 0x5F                          // pop edi
        .byte 0x5E                          // pop esi
        ALTBYTE memmove, 0x5D, 0xC9         // pop ebp (leave)
        .byte 0xC3                          // ret

// ---- void* memset(void* dst, int c, size_t n) ---------------------------------------
        .balign 16
        SEARCHED_ROUTINE memset, Memset, _dbk_memset
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x57                          // push edi
        .byte 0x8A, 0x45, 0x0C              // mov al,[ebp+0Ch]     c
        .byte 0x8B, 0x55, 0x10              // mov edx,[ebp+10h]    n
        .byte 0x8B, 0x7D, 0x08              // mov edi,[ebp+8]      dst
        .byte 0x8A, 0xE0                    // mov ah,al
        .byte 0xF7, 0xC2, 0xFC, 0xFF, 0xFF, 0xFF  // test edx,0FFFFFFFCh
        .byte 0x74, 0x5D                    // je +5Dh: fewer than 4 bytes (+116)
        .byte 0x66, 0x89, 0x07              // mov [edi],ax
        .byte 0x8D, 0x4C                    // lea ecx,[edi+edx-4]  the last dword
        ALTBYTE memset, 0x17, 0x3A          //   (lea ecx,[edx+edi-4])
        .byte 0xFC
        .byte 0x66, 0x89, 0x47, 0x02        // mov [edi+2],ax
        .byte 0x8B, 0x07                    // mov eax,[edi]        the value four times
        .byte 0xC1, 0xEA, 0x03              // shr edx,3            8-byte steps
        .byte 0x74, 0x43                    // je +43h: 4 to 7 bytes (+108)
        .byte 0x89, 0x07                    // mov [edi],eax
        .byte 0x89, 0x47                    // mov [edi+4],eax
        .byte 0x04
        add     edi, 8
        dec     edx
        jnz     _dbk_memset + 41
        mov     [ecx-4], eax                // the last 8 bytes
        mov     [ecx], eax
        jmp     2f
        .fill   _dbk_memset + 108 - ., 1, 0x90
        mov     [ecx], eax                  // +108: the last dword (the first is written)
        jmp     2f
        .fill   _dbk_memset + 116 - ., 1, 0x90
        test    edx, edx                    // +116: byte by byte
        jz      2f
1:      mov     [edi], al
        inc     edi
        dec     edx
        jnz     1b
2:      mov     eax, [ebp+8]
        pop     edi
        pop     ebp
        ret
        .fill   _dbk_memset + 138 - ., 1, 0xCC

// ---- int toupper(int c): C locale ---------------------------------------------------
        .balign 16
_dbk_toupper:
        mov     eax, [esp+4]
        lea     edx, [eax-0x61]
        cmp     edx, 25
        ja      1f
        sub     eax, 0x20
1:      ret
