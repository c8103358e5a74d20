// The compiler's RSM store and lookup as their bytes.
// The store (eax = a record {flags, ..., block 0x0C, size 0x10}, edx = an
// element's index): a record with flag bit 0 goes the merge path (P+0x15:
// V1 and V2 := the record's block and size, R1 with the address of the
// record's block, V1 and V2 again, R2), any other one is stored at P+5
// into the element (16 bytes, its block at 0x08, its size at 0x0C),
// overwriting the block the element held: that block is lost. Both end in
// DccRsmStored (the lookup's cache forgotten for that record).
// The lookup Q (eax = a key → the size of element `key`): answered from
// its cache while the limit is below the entries, the cached slot's record
// is the current record and the key is the count; otherwise looked up and
// cached anew.
// Variants: rsmstore (the store's jump one byte further, over the nop
// that begins the continuation), rsmlookup (xor edx,edx through its other
// opcode).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix

        .data
        .balign 4
        .globl _DccRsmTable, _DccRsmV1, _DccRsmV2, _DccRsmIndex
        .globl _DccRsmLimit, _DccRsmEntries, _DccRsmSlot, _DccRsmRecords, _DccRsmCurrent, _DccRsmCount
_DccRsmTable:           .long 0
_DccRsmV1:              .long 0
_DccRsmV2:              .long 0
_DccRsmIndex:           .long 0
_DccRsmLimit:           .long 0x7FFFFFFF
_DccRsmEntries:         .long 1
_DccRsmSlot:            .long 0
_DccRsmRecords:         .long 0
_DccRsmCurrent:         .long 0
_DccRsmCount:           .long 0

        .text

// ---- the store: eax = record, edx = the element's index ---------------------------------------
        .balign 16
        .globl _DccRsmStore
_DccRsmStore:
        push ebx
        push esi
        mov ebx, eax
        mov [_DccRsmIndex], edx
        lea ecx, [edx*4]                    // element = table + ecx*4
        test byte ptr [ebx], 1
        jnz .Lp_merge
        SEARCHED_ROUTINE rsmstore, RsmStore, _DccRsmStoreSite
        .byte 0xA1                          // mov eax,[table]
        .long _DccRsmTable
        .byte 0x8B, 0x53, 0x0C              // +5: mov edx,[ebx+0x0C]
        .byte 0x89, 0x54, 0x88, 0x08        // mov [eax+ecx*4+8],edx
        .byte 0x8B, 0x53, 0x10              // mov edx,[ebx+0x10]
        .byte 0x89, 0x54, 0x88, 0x0C        // mov [eax+ecx*4+0x0C],edx
        .byte 0xEB                          // jmp stored (+0x45; variant: +0x46)
        ALTBYTE rsmstore, 0x30, 0x31
.Lp_merge:
        .byte 0x8B, 0x4B, 0x0C              // +0x15: mov ecx,[ebx+0x0C]
        .byte 0x89, 0x0D                    // mov [V1],ecx
        .long _DccRsmV1
        .byte 0x8B, 0x43, 0x10              // mov eax,[ebx+0x10]
        .byte 0xA3                          // mov [V2],eax
        .long _DccRsmV2
        .byte 0x8D, 0x43, 0x0C              // lea eax,[ebx+0x0C]
        CALL_REL(_DccRsmMerge1)             // +0x29: R1
        .byte 0x8B, 0x53, 0x0C              // mov edx,[ebx+0x0C]
        .byte 0x89, 0x15                    // mov [V1],edx
        .long _DccRsmV1
        .byte 0x8B, 0x4B, 0x10              // mov ecx,[ebx+0x10]
        .byte 0x89, 0x0D                    // mov [V2],ecx
        .long _DccRsmV2
        CALL_REL(_DccRsmMerge2)             // +0x40: R2
        nop                                 // +0x45 stored
        mov eax, ebx
        call _DccRsmStored
        pop esi
        pop ebx
        ret

// ---- Q: eax = a key → the size of element `key` --------------------------------------------------
        .balign 16
        .globl _DccRsmLookup
_DccRsmLookup:
        push ebx
        push esi
        push ecx                            // [esp]: the answer
        mov esi, eax
        SEARCHED_ROUTINE rsmlookup, RsmLookup, _DccRsmLookupSite
.Lq:
        ALTBYTE rsmlookup, 0x33, 0x31       // xor edx,edx
        .byte 0xD2
        .byte 0x89, 0x14, 0x24              // mov [esp],edx
        .byte 0x8B, 0x0D                    // mov ecx,[limit]
        .long _DccRsmLimit
        .byte 0x3B, 0x0D                    // cmp ecx,[entries]
        .long _DccRsmEntries
        .byte 0x0F, 0x8D, 0x87, 0x00, 0x00, 0x00  // jge slow (+0x9E)
        .byte 0xA1                          // +0x17: mov eax,[slot]
        .long _DccRsmSlot
        .byte 0x8D, 0x04, 0x40              // lea eax,[eax+eax*2]
        .byte 0x8B, 0x15                    // mov edx,[records]
        .long _DccRsmRecords
        .byte 0x8B, 0x54, 0xC2, 0x0C        // mov edx,[edx+eax*8+0x0C]   the slot's record
        .byte 0x3B, 0x15                    // +0x29: cmp edx,[current]
        .long _DccRsmCurrent
        .byte 0x75, 0x53                    // jne slow (+0x84)
        .byte 0x3B, 0x35                    // +0x31: cmp esi,[count]
        .long _DccRsmCount
        .byte 0x75, 0x11                    // jne slow (+0x4A)
        .byte 0x8B, 0x0D                    // mov ecx,[records]
        .long _DccRsmRecords
        .byte 0x8B, 0x44, 0xC1, 0x10        // mov eax,[ecx+eax*8+0x10]   the slot's answer
        .byte 0xE9, 0xCD, 0x00, 0x00, 0x00  // jmp done (+0x115)
        .fill .Lq + 0x4A - ., 1, 0xCC
        jmp .Lq_slow
        .fill .Lq + 0x84 - ., 1, 0xCC
        jmp .Lq_slow
        .fill .Lq + 0x9E - ., 1, 0xCC
.Lq_slow:
        mov eax, esi
        call _DccRsmLookupSlow              // looked up and cached
        jmp .Lq_done
        .fill .Lq + 0x115 - ., 1, 0xCC
.Lq_done:
        pop ecx
        pop esi
        pop ebx
        ret
