// The compiler's token prefetch T and its symbol-text lengths, as its bytes.
// T: a prefetched token is answered at once; otherwise a token buffer from
// the allocation routine (+0x0B), filled and scanned, handed on and given
// back to the release routine (+0x27), the token kept as prefetched. The
// allocation routine asks the memory manager for 16 + 2 × (length + 1)
// bytes; the release routine ignores nil, keeps a buffer still referenced
// (its first field nonzero, then one reference less) and frees the others.
// The two length routines (esi, resp. edi, the record): a record whose
// first byte is nonzero is first checked by the compiler (refused: -1);
// then the text at 0x30 measured with strlen.
// After them, far from both, the identifier buffers' allocation and release
// with the same bytes as the token buffers' (another kind of buffer).
// Variants: prefetch (test eax,eax as or eax,eax), tokenalloc (add edi,edi
// through its other opcode), tokenfree (test ecx,ecx as or ecx,ecx),
// strlen1 and strlen2 (xor ebx,ebx and cmp through their other opcodes).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix

        .data
        .balign 4
        .globl _DccPrefetched, _DccTokenLength
_DccPrefetched:         .long 0
_DccTokenLength:        .long 1019

        .text

// ---- T: → the next token, prefetched ----------------------------------------------------
        .balign 16
        SEARCHED_ROUTINE prefetch, PrefetchToken, _DccPrefetchToken
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0xA1                          // mov eax,[prefetched]
        .long _DccPrefetched
        ALTBYTE prefetch, 0x85, 0x0B        // test eax,eax
        .byte 0xC0
        .byte 0x75, 0x29                    // jnz done
        CALL_REL(_DccTokenBufAlloc)         // +0x0B
        .byte 0x8B, 0xD8                    // mov ebx,eax
        CALL_REL(_DccTokenFill)             // eax = buffer
        CALL_REL(_DccTokenScan)             // → eax = the token
        .byte 0x8B, 0xF0                    // mov esi,eax
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_DccTokenDone)
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_DccTokenBufRelease)       // +0x27
        .byte 0x89, 0x35                    // mov [prefetched],esi
        .long _DccPrefetched
        .byte 0x8B, 0xC6                    // mov eax,esi
        .byte 0x5E                          // done: pop esi
        .byte 0x5B                          // pop ebx
        .byte 0xC3                          // ret

// ---- the token buffer's allocation: → a buffer for DccTokenLength characters ------------
        .balign 16
        .globl _DccTokenBufAlloc
_DccTokenBufAlloc:
        .byte 0x55                          // push ebp
        .byte 0x57                          // push edi
        .byte 0x8B, 0x2D                    // mov ebp,[DccTokenLength]
        .long _DccTokenLength
        .byte 0xB8, 0x10, 0x00, 0x00, 0x00  // mov eax,16
        SEARCHED_ROUTINE tokenalloc, TokenBufAlloc, _DccTokenBufAllocCall
        .byte 0x8D, 0x7D, 0x01              // lea edi,[ebp+1]
        ALTBYTE tokenalloc, 0x03, 0x01      // add edi,edi (variant: through its other opcode)
        .byte 0xFF
        .byte 0x03, 0xC7                    // add eax,edi
        CALL_REL(_DccGetMem)                // eax = size → block
        .byte 0x5F                          // pop edi
        .byte 0x5D                          // pop ebp
        .byte 0xC3                          // ret

// ---- the token buffer's release: eax = buffer or nil ---------------------------------------
        .balign 16
        .globl _DccTokenBufRelease
_DccTokenBufRelease:
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x0F                    // jz out
        SEARCHED_ROUTINE tokenfree, TokenBufFree, _DccTokenBufReleaseFree
        .byte 0x8B, 0x08                    // mov ecx,[eax]   references
        ALTBYTE tokenfree, 0x85, 0x0B       // test ecx,ecx
        .byte 0xC9
        .byte 0x75, 0x06                    // jnz keep
        CALL_REL(_DccFreeMem)               // eax = block
        .byte 0xC3                          // ret
        .byte 0xFF, 0x08                    // keep: dec dword [eax]
        .byte 0xC3                          // ret
        .byte 0xC3                          // out: ret

// ---- a symbol's text length, the record in esi ---------------------------------------------
        .balign 16
        .globl _DccSymbolTextLength
_DccSymbolTextLength:                       // eax = record
        push ebx
        push esi
        mov esi, eax
        SEARCHED_ROUTINE strlen1, StrLenSymbol, _DccStrLenSite1
        ALTBYTE strlen1, 0x33, 0x31         // xor ebx,ebx
        .byte 0xDB
        .byte 0x80, 0x3E, 0x00              // cmp byte [esi],0
        .byte 0x74, 0x17                    // je text
        .byte 0xBA, 0xC1, 0x02, 0x00, 0x00  // mov edx,0x2C1
        .byte 0xB8, 0x10, 0x00, 0x00, 0x00  // mov eax,0x10
        CALL_REL(_DccCheckRecord)           // eax, edx → 0: refused
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x0F, 0x84                    // je refused
        .long .Ls1_refused - . - 4
        .byte 0x8D, 0x4E, 0x30              // text: lea ecx,[esi+0x30]
        .byte 0x51                          // push ecx
        CALL_REL(_DccStrLen)                // +0x22
        .byte 0x59                          // pop ecx
        add eax, ebx
        pop esi
        pop ebx
        ret
.Ls1_refused:
        mov eax, -1
        pop esi
        pop ebx
        ret

// ---- a member's text length, the record in edi ----------------------------------------------
        .balign 16
        .globl _DccMemberTextLength
_DccMemberTextLength:                       // eax = record
        push edi
        sub esp, 12
        mov edi, eax
        SEARCHED_ROUTINE strlen2, StrLenMember, _DccStrLenSite2
        ALTBYTE strlen2, 0x80, 0x82         // cmp byte [edi],0
        .byte 0x3F, 0x00
        .byte 0x74, 0x17                    // je text
        .byte 0xBA, 0x0B, 0x20, 0x00, 0x00  // mov edx,0x200B
        .byte 0xB8, 0x10, 0x00, 0x00, 0x00  // mov eax,0x10
        CALL_REL(_DccCheckRecord)
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x0F, 0x84                    // je refused
        .long .Ls2_refused - . - 4
        .byte 0x8A, 0x57, 0x0C              // text: mov dl,[edi+0x0C]
        .byte 0x88, 0x54, 0x24, 0x08        // mov [esp+8],dl
        .byte 0x8D, 0x4F, 0x30              // lea ecx,[edi+0x30]
        .byte 0x51                          // push ecx
        CALL_REL(_DccStrLen)                // +0x27
        .byte 0x59                          // pop ecx
        add esp, 12
        pop edi
        ret
.Ls2_refused:
        mov eax, -1
        add esp, 12
        pop edi
        ret

// ---- the identifier buffers: the same bytes, another kind of buffer ---------------------------
        .balign 16
        .fill 256, 1, 0xCC
        .globl _DccIdentBufAlloc
_DccIdentBufAlloc:                          // eax = length → a buffer
        .byte 0x55                          // push ebp
        .byte 0x57                          // push edi
        .byte 0x8B, 0xE8                    // mov ebp,eax
        .byte 0xB8, 0x08, 0x00, 0x00, 0x00  // mov eax,8
        .byte 0x8D, 0x7D, 0x01              // lea edi,[ebp+1]
        .byte 0x03, 0xFF                    // add edi,edi
        .byte 0x03, 0xC7                    // add eax,edi
        CALL_REL(_DccGetMem)
        .byte 0x5F                          // pop edi
        .byte 0x5D                          // pop ebp
        .byte 0xC3                          // ret
        .balign 16
        .globl _DccIdentBufRelease
_DccIdentBufRelease:                        // eax = buffer
        .byte 0x8B, 0x08                    // mov ecx,[eax]
        .byte 0x85, 0xC9                    // test ecx,ecx
        .byte 0x75, 0x06                    // jnz keep
        CALL_REL(_DccFreeMem)
        .byte 0xC3                          // ret
        .byte 0xFF, 0x08                    // keep: dec dword [eax]
        .byte 0xC3                          // ret
