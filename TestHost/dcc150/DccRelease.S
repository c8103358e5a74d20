// The compiler's release of unused memory as its bytes: for every chunk
// of the compiler's memory (VirtualAlloc'ed, the list DccMemChunks) and
// every free block (the list DccMemFreeBlocks; both {Next, size, start}),
// a chunk that lies wholly inside a free block is given back to the system
// (DccMemReleaseChunk: VirtualFree, the chunk unlinked, the free block cut
// around it). Nothing when the memory is not set up (DccMemReady 0) or no
// block is free. The compiler never calls it during a run.
// Variant: release (test esi,esi as or esi,esi).

#include "Common/SearchedRoutines.inc"

        .intel_syntax noprefix

        .data
        .balign 4
        .globl _DccMemReady, _DccMemChunks, _DccMemFreeBlocks
_DccMemReady:           .long 0
_DccMemChunks:          .long 0
_DccMemFreeBlocks:      .long 0

        .text

        .balign 16
        SEARCHED_ROUTINE release, ReleaseUnused, _DccReleaseUnusedMemory
.Lu:
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x57                          // push edi
        .byte 0x55                          // push ebp
        .byte 0x51                          // push ecx             [esp]: the chunk list's head
        .byte 0x83, 0x3D                    // cmp dword [ready],0
        .long _DccMemReady
        .byte 0x00
        .byte 0x0F, 0x84, 0xD4, 0x00, 0x00, 0x00  // je out (+0xE6)
        .byte 0xC7, 0x04, 0x24              // mov dword [esp],offset chunks
        .long _DccMemChunks
        .byte 0x8B, 0x35                    // +0x19: mov esi,[chunks]
        .long _DccMemChunks
.Lu_chunk:
        ALTBYTE release, 0x85, 0x0B         // +0x1F: test esi,esi
        .byte 0xF6
        .byte 0x0F, 0x84, 0xBF, 0x00, 0x00, 0x00  // je out (+0xE6)
        .byte 0x8B, 0x7E, 0x08              // mov edi,[esi+8]      the chunk's start
        .byte 0x8B, 0x1D                    // mov ebx,[free blocks]
        .long _DccMemFreeBlocks
        .byte 0x03, 0x7E, 0x04              // add edi,[esi+4]      its end
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0xB8                          // mov eax,offset free blocks
        .long _DccMemFreeBlocks
        .byte 0x0F, 0x84, 0x95, 0x00, 0x00, 0x00  // je none free (+0xD5)
.Lu_block:
        .byte 0x8B, 0x4E, 0x08              // +0x40: mov ecx,[esi+8]
        .byte 0x8B, 0x53, 0x08              // mov edx,[ebx+8]      the block's start
        .byte 0x3B, 0xCA                    // cmp ecx,edx
        .byte 0x72, 0x7F                    // jb next block (+0xC9)
        .byte 0x8B, 0xEA                    // mov ebp,edx
        .byte 0x03, 0x6B, 0x04              // add ebp,[ebx+4]      its end
        .byte 0x3B, 0xFD                    // cmp edi,ebp
        .byte 0x77, 0x76                    // ja next block (+0xC9)
        .byte 0x3B, 0xCA                    // cmp ecx,edx
        .byte 0x75, 0x1E                    // jne inside (+0x75)
        // +0x57: the chunk begins the free block
        mov eax, esi
        mov edx, ebx
        call _DccMemReleaseChunk            // → the next chunk
        mov esi, eax
        jmp .Lu_chunk
        .fill .Lu + 0x75 - ., 1, 0xCC
        // +0x75: the chunk lies inside the free block
        mov eax, esi
        mov edx, ebx
        call _DccMemReleaseChunk
        mov esi, eax
        jmp .Lu_chunk
        .fill .Lu + 0xC9 - ., 1, 0xCC
        // +0xC9: the next free block, else the next chunk
        mov ebx, [ebx]
        test ebx, ebx
        jnz .Lu_block
        mov esi, [esi]
        jmp .Lu_chunk
        .fill .Lu + 0xD5 - ., 1, 0xCC
        // +0xD5: no block is free
        jmp .Lu_out
        .fill .Lu + 0xE6 - ., 1, 0xCC
.Lu_out:
        pop ecx
        pop ebp
        pop edi
        pop esi
        pop ebx
        ret
