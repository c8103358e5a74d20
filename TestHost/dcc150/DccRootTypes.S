// The compiler's root-type unit list R as its bytes: for a chain of unit
// nodes it makes the list of the units' names and enters each unit's types
// into the list of their root type, unless a type of that name (the host's
// name comparison) is there already. The search C: the root's list (the
// routine at C, eax = the type's symbol), then its nodes one by one, the
// comparison at C+0x1A getting the element's name in eax and the searched
// name in edx; the found path does not use esi.
// Unit node {Next 0x00, unit record 0x04 (its unit symbol at 0x80), first
// type entry 0x08}; type entry {Next, symbol}; a list {root 0x00, first
// node 0x04, last node 0x08, types found again 0x0C, nodes 0x10}; its node
// {Next, item}, the item's symbol at 0x0C; names at 0x1E.
// Variants: roottypes (xor eax,eax through its other opcode), rootsearch
// (test esi,esi as or esi,esi).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .text

// ---- R: eax = the first unit node → the list of the units' names -----------------------------
        .balign 16
        SEARCHED_ROUTINE roottypes, RootTypeUnitList, _DccRootTypeUnitList
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x57                          // push edi
        .byte 0x55                          // push ebp
        .byte 0x83, 0xC4, 0xF8              // add esp,-8
        .byte 0x89, 0x04, 0x24              // mov [esp],eax        the node
        ALTBYTE roottypes, 0x33, 0x31       // xor eax,eax
        .byte 0xC0
        .byte 0x89, 0x44, 0x24, 0x04        // mov [esp+4],eax      the result: none yet
.Lr_unit:
        .byte 0x83, 0x3C, 0x24, 0x00        // +0x10: cmp dword [esp],0
        .byte 0x0F, 0x84                    // je done
        .long .Lr_done - . - 4
        .byte 0x8B, 0x14, 0x24              // mov edx,[esp]
        .byte 0x8B, 0x4A, 0x04              // mov ecx,[edx+4]      its unit
        .byte 0x8B, 0xB1, 0x80, 0x00, 0x00, 0x00  // mov esi,[ecx+0x80]   the unit's symbol
        .byte 0x83, 0xC6, 0x1E              // add esi,0x1E         its name
        .byte 0x56                          // push esi
        CALL_REL(_DccRootStrLen)            // cdecl
        .byte 0x59                          // pop ecx
        .byte 0x8B, 0xC8                    // mov ecx,eax
        .byte 0x8D, 0x44, 0x24, 0x04        // lea eax,[esp+4]
        .byte 0x8B, 0xD6                    // mov edx,esi
        CALL_REL(_DccRootAddUnit)           // +0x38: (&result, name, length) → the result
        .byte 0x8B, 0xF8                    // mov edi,eax
        mov edi, [esp]
        mov edi, [edi+8]                    // the unit's first type entry
.Lr_type:
        test edi, edi
        jz .Lr_nextunit
        mov ebx, [edi+4]                    // the type's symbol
        mov eax, ebx
        SEARCHED_ROUTINE rootsearch, RootTypeListSearch, _DccRootTypeListSearch
        CALL_REL(_DccRootListOf)            // C: eax = symbol → its root's list
        .byte 0x8B, 0xE8                    // mov ebp,eax
        .byte 0x8B, 0x75, 0x04              // mov esi,[ebp+4]      first node
        ALTBYTE rootsearch, 0x85, 0x0B      // test esi,esi
        .byte 0xF6
        .byte 0x74, 0x1B                    // je notfound (+0x29)
        .byte 0x8D, 0x53, 0x1E              // +0x0E: lea edx,[ebx+0x1E]  the searched name
        .byte 0x8B, 0x46, 0x04              // mov eax,[esi+4]      the node's item
        .byte 0x8B, 0x40, 0x0C              // mov eax,[eax+0x0C]   its symbol
        .byte 0x83, 0xC0, 0x1E              // add eax,0x1E         its name
        CALL_REL(_DccNameCompare)           // +0x1A: 0 when equal
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x1C                    // je found (+0x3F)
        .byte 0x8B, 0x36                    // mov esi,[esi]
        .byte 0x85, 0xF6                    // test esi,esi
        .byte 0x75, 0xE5                    // +0x27: jnz +0x0E
        .byte 0x8B, 0xC5                    // +0x29 notfound: mov eax,ebp
        .byte 0x8B, 0xD3                    // mov edx,ebx
        CALL_REL(_DccRootListAppend)        // (list, symbol): a node at its end
        .byte 0xEB, 0x0E                    // jmp next
        .fill 11, 1, 0xCC
        .byte 0xFF, 0x45, 0x0C              // +0x3F found: inc dword [ebp+0x0C]
        .byte 0x8B, 0x3F                    // next: mov edi,[edi]
        jmp .Lr_type
.Lr_nextunit:
        mov eax, [esp]
        mov eax, [eax]
        mov [esp], eax
        jmp .Lr_unit
.Lr_done:
        mov eax, [esp+4]
        add esp, 8
        pop ebp
        pop edi
        pop esi
        pop ebx
        ret
