// The compiler's memory pool shrink, byte for byte: it walks the pool's
// blocks from the first every time, subtracting block sizes while the
// offset left is larger than the block, frees the blocks after the one it
// stops at (the free-chain routine: eax = successor, edx = the new used
// size as the caller passed it, ecx = the caller's third argument) and makes
// that block current; with no such block, only the current pointer moves
// (to the offset left past the current block's start).
// Variant shrink: test ebx,ebx as or ebx,ebx.

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .text

// ---- ShrinkPool: eax = pool, edx = new used size, ecx = extra -------------------
        .balign 16
        SEARCHED_ROUTINE shrink, PoolShrink, _DccPoolShrink
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x57                          // push edi
        .byte 0x8B, 0xF8                    // mov edi,eax
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEA                    // mov ebp,edx
        .byte 0x8B, 0x5F, 0x08              // mov ebx,[edi+8]      first block
        .byte 0x8B, 0xF5                    // mov esi,ebp          offset left
        ALTBYTE shrink, 0x85, 0x0B          // test ebx,ebx
        .byte 0xDB
        .byte 0x74, 0x38                    // je notfound (+0x49)
        .byte 0x3B, 0x73, 0x04              // +0x11: cmp esi,[ebx+4]
        .byte 0x7F, 0x2A                    // jg next (+0x40)
        .byte 0x8B, 0x03                    // mov eax,[ebx]        its successor
        CALL_REL(_DccPoolFreeChain)         // +0x18
        .byte 0x89, 0x5F, 0x0C              // mov [edi+0x0C],ebx   current
        .byte 0x33, 0xD2                    // xor edx,edx
        .byte 0x89, 0x13                    // mov [ebx],edx        no successor
        .byte 0x2B, 0xEE                    // sub ebp,esi
        .byte 0x89, 0x6F, 0x04              // mov [edi+4],ebp      UsedBefore
        .byte 0x8B, 0x43, 0x08              // mov eax,[ebx+8]
        .byte 0x89, 0x47, 0x10              // mov [edi+0x10],eax   block start
        .byte 0x8D, 0x14, 0x30              // lea edx,[eax+esi]
        .byte 0x89, 0x57, 0x14              // mov [edi+0x14],edx   current pointer
        .byte 0x03, 0x43, 0x04              // add eax,[ebx+4]
        .byte 0x89, 0x47, 0x18              // mov [edi+0x18],eax   end
        .byte 0xEB, 0x14                    // jmp done (+0x51)
        .byte 0x90, 0x90, 0x90
        .byte 0x2B, 0x73, 0x04              // +0x40 next: sub esi,[ebx+4]
        .byte 0x8B, 0x1B                    // mov ebx,[ebx]
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x75, 0xC8                    // jnz +0x11
        .byte 0x8B, 0xC6                    // +0x49 notfound: mov eax,esi
        .byte 0x03, 0x47, 0x10              // add eax,[edi+0x10]
        .byte 0x89, 0x47, 0x14              // mov [edi+0x14],eax
        .byte 0x5D                          // +0x51 done: pop ebp
        .byte 0x5F                          // pop edi
        .byte 0x5E                          // pop esi
        .byte 0x5B                          // pop ebx
        .byte 0xC3                          // ret
