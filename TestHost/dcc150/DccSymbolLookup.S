// The stand-in compiler's symbol lookup over a scope of units, byte for
// byte in the form the compiler library has it: the outer lookup asks the
// scope owner's own symbols first (DccSymLookupScope), then each unit of the
// scope in turn through the inner loop, which walks the unit's chain for the
// name's hash byte. Searched bytes are .byte lines with their instructions;
// glue code uses mnemonics. Host register convention: eax, edx, ecx.
//
// Each searched routine is declared with SEARCHED_ROUTINE and has one ALTBYTE
// (Common/SearchedRoutines.inc).

#include "Common/SearchedRoutines.inc"


#define CALL_REL(target) .byte 0xE8; .long target - . - 4
#define JMP_REL(target) .byte 0xE9; .long target - . - 4
#define PAD_TO(base, offset) .fill (offset) - (. - base), 1, 0xCC

// Most units a scope holds.
        .set DCC_SCOPE_CAPACITY, 32

        .intel_syntax noprefix

// ---- host variables -----------------------------------------------------------
        .data
        .balign 4
        .globl _DccScopeOwner, _DccScopeUnits, _DccScopeCount
_DccScopeOwner:  .long 0                    // unit-name symbol (kind 0x16) of the unit searched first
_DccScopeCount:  .long 0
_DccScopeUnits:  .fill DCC_SCOPE_CAPACITY, 4, 0   // the scope's units, searched in order

        .text

// ---- the outer lookup: eax = hash byte, edx = name, ecx = byte set to 1 when a
// scope unit answered (or null); the symbol or null --------------------------------
        .balign 16
        SEARCHED_ROUTINE lookupa, ScopeLookup, _DccScopeLookup
.La:    .byte 0x53, 0x56, 0x57, 0x55        // push ebx; push esi; push edi; push ebp
        .byte 0x83, 0xC4, 0xE4              // add esp,-0x1C
        .byte 0x8B, 0xD8                    // mov ebx,eax             hash byte
        .byte 0x89, 0x4C, 0x24, 0x04        // mov [esp+4],ecx
        .byte 0x89, 0x14, 0x24              // mov [esp],edx           name
        .byte 0x83, 0x7C, 0x24, 0x04, 0x00  // cmp dword [esp+4],0
        .byte 0x74, 0x07                    // je owner
        .byte 0x8B, 0x44, 0x24, 0x04        // mov eax,[esp+4]
        .byte 0xC6, 0x00, 0x00              // mov byte [eax],0
        .byte 0x8B, 0x2D                    // owner: mov ebp,[DccScopeOwner]
        .long _DccScopeOwner
        ALTBYTE lookupa, 0x85, 0x0B         // test ebp,ebp
        .byte 0xED
        .byte 0x74, 0x35                    // je scope
        .byte 0x80, 0x7D, 0x00, 0x16        // cmp byte [ebp],0x16    a unit-name symbol
        .byte 0x75, 0x2F                    // jne scope
        .byte 0x8B, 0x45, 0x10              // mov eax,[ebp+0x10]     its unit
        .byte 0x05, 0x6C, 0x01, 0x00, 0x00  // add eax,0x16C          its chains
        .byte 0x8B, 0x0C, 0x24              // mov ecx,[esp]
        .byte 0x8B, 0xD3                    // mov edx,ebx
        CALL_REL(_DccSymLookupScope)        // call DccSymLookupScope
        .byte 0x8B, 0xE8                    // mov ebp,eax
        .byte 0x85, 0xED                    // test ebp,ebp
        .byte 0x74, 0x17                    // je scope               (+0x44)
        JMP_REL(.Lleave_a)                  // jmp leave              the owner declares it
        PAD_TO(.La, 0x5D)
        xor esi, esi                        // scope: every unit of the scope in order  (+0x5D)
1:      cmp esi, [_DccScopeCount]
        jge 3f
        push dword ptr [_DccScopeUnits + esi*4]
        mov eax, [esp+4]                    // the name
        mov edx, ebx
        call _DccSymLookupUnit              // takes the unit from the stack
        test eax, eax
        jnz 2f
        inc esi
        jmp 1b
2:      mov ebp, eax
        mov eax, [esp+4]
        test eax, eax
        jz .Lleave_a
        mov byte ptr [eax], 1
        jmp .Lleave_a
3:      xor ebp, ebp
.Lleave_a:
        mov eax, ebp
        add esp, 0x1C
        pop ebp
        pop edi
        pop esi
        pop ebx
        ret

// ---- the inner loop: eax = name, edx = hash byte, stack = unit; the symbol or null
// A candidate takes part when its flag 0x40 is set and its kind is not 0x19;
// one with the name is qualified (DccUnitScope, DccAcceptSymbol) and the walk
// goes on when that refuses it. Reached only through the outer lookup.
        .balign 16
        .globl _DccSymLookupUnit
_DccSymLookupUnit:
        .byte 0x53, 0x56, 0x57, 0x55        // push ebx; push esi; push edi; push ebp
        .byte 0x50                          // push eax                [esp] = name, [esp+0x18] = unit
        .byte 0x8B, 0xDA                    // mov ebx,edx             bl = hash byte
        SEARCHED_ROUTINE lookupb, SymLookupUnit, _DccSymLookupUnitLoop
.Lb:    .byte 0x33, 0xD2                    // xor edx,edx
        .byte 0x8A, 0xD3                    // mov dl,bl
        .byte 0x8B, 0x4C, 0x24, 0x18        // mov ecx,[esp+0x18]
        .byte 0x8B, 0xAC, 0x91, 0x6C, 0x01, 0x00, 0x00  // mov ebp,[ecx+edx*4+0x16C]
        ALTBYTE lookupb, 0x85, 0x0B         // test ebp,ebp
        .byte 0xED
        .byte 0x0F, 0x84, 0xA7, 0x00, 0x00, 0x00  // je missed (+0xBE)
        .byte 0xF6, 0x45, 0x01, 0x40        // candidate: test byte [ebp+1],0x40   (+0x17)
        .byte 0x0F, 0x84, 0x92, 0x00, 0x00, 0x00  // je next
        .byte 0x80, 0x7D, 0x00, 0x19        // cmp byte [ebp],0x19
        .byte 0x0F, 0x84, 0x88, 0x00, 0x00, 0x00  // je next
        .byte 0x8D, 0x55, 0x1E              // lea edx,[ebp+0x1E]
        .byte 0x8B, 0x04, 0x24              // mov eax,[esp]
        CALL_REL(_DccNameCompare)           // call DccNameCompare
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x75, 0x79                    // jne next
        .byte 0x33, 0xD2                    // match: xor edx,edx      (+0x3A)
        .byte 0x8B, 0x44, 0x24, 0x18        // mov eax,[esp+0x18]
        CALL_REL(DccUnitScope)              // call DccUnitScope
        .byte 0x8B, 0xD0                    // mov edx,eax
        .byte 0x8B, 0xCB                    // mov ecx,ebx
        .byte 0x8B, 0xC5                    // mov eax,ebp
        CALL_REL(DccAcceptSymbol)           // call DccAcceptSymbol
        .byte 0x85, 0xC0                    // test eax,eax            (+0x50)
        .byte 0x75, 0x05                    // jne leave
        JMP_REL(.Lb + 0xB3)                 // jmp next
        .byte 0x59                          // leave: pop ecx          (+0x59)
        .byte 0x5D, 0x5F, 0x5E, 0x5B        // pop ebp; pop edi; pop esi; pop ebx
        .byte 0xC2, 0x04, 0x00              // ret 4
        PAD_TO(.Lb, 0xB3)
        SEARCHED_ROUTINE lookupc, SymLookupUnitNext, _DccSymLookupUnitNext
        .byte 0x8B, 0x6D, 0x18              // next: mov ebp,[ebp+0x18]   (+0xB3)
        ALTBYTE lookupc, 0x85, 0x0B         // test ebp,ebp
        .byte 0xED
        .byte 0x0F, 0x85                    // jne candidate
        .long .Lb + 0x17 - . - 4
        .byte 0x8B, 0x44, 0x24, 0x18        // missed: mov eax,[esp+0x18]   (+0xBE)
        CALL_REL(_DccScopeFallback)         // call DccScopeFallback   (the unit's other declarations)
        .byte 0xEB, 0x90                    // jmp leave

// ---- the declarations a unit keeps outside its chains: eax = unit; the
// symbol or null. The stand-in's units keep none.
        .balign 16
_DccScopeFallback:
        xor eax, eax
        ret
