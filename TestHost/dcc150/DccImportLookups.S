// The stand-in compiler's lookups of imported symbols, byte for byte in the
// form the compiler library has them: which unit declares a symbol, which
// unit made a reference, and the resolution of a use of an imported name.
// Each walks the units (or their import nodes) the slow way. Searched bytes
// are .byte lines with their instructions; glue code uses mnemonics. Host
// register convention: arguments in eax, edx, ecx.
//
// The symbols these routines take keep their chain index in byte 2: a symbol
// sits in chain [byte 2] of its unit (see DccReferences.h).
//
// Each searched routine is declared with SEARCHED_ROUTINE and has one ALTBYTE
// (Common/SearchedRoutines.inc).

#include "Common/SearchedRoutines.inc"


#define CALL_REL(target) .byte 0xE8; .long target - . - 4
#define JMP_REL(target) .byte 0xE9; .long target - . - 4
#define PAD_TO(base, offset) .fill (offset) - (. - base), 1, 0xCC

        .intel_syntax noprefix
        .text

// ---- I1: the symbol to refer to: eax = symbol ---------------------------------------
// A symbol of the unit being compiled is itself; otherwise the unit whose
// chain holds it qualifies it: DccAcceptSymbol(symbol, DccUnitScope(unit, 0),
// byte 2). A symbol no unit holds is itself.
        .balign 16
        SEARCHED_ROUTINE importi1, SymbolReference, _DccSymbolReference
        .byte 0x53                          // push ebx
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0x56                          // push esi
        ALTBYTE importi1, 0x33, 0x31        // xor eax,eax
        .byte 0xC0
        .byte 0x8A, 0x43, 0x02              // mov al,[ebx+2]
        .byte 0x8B, 0x15                    // mov edx,[DccCurrentUnit]
        .long _DccCurrentUnit
        .byte 0x8B, 0x84, 0x82, 0x6C, 0x01, 0x00, 0x00  // mov eax,[edx+eax*4+0x16C]
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x10                    // je units
        .byte 0x3B, 0xD8                    // own: cmp ebx,eax
        .byte 0x75, 0x05                    // jne ownnext
        .byte 0x8B, 0xC3                    // mov eax,ebx
        .byte 0x5E, 0x5B                    // pop esi; pop ebx
        .byte 0xC3                          // ret
        .byte 0x8B, 0x40, 0x18              // ownnext: mov eax,[eax+0x18]
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x75, 0xF0                    // jne own
        .byte 0x8B, 0x35                    // units: mov esi,[DccUnitListHead]   (+0x2A)
        .long _DccUnitListHead
        .byte 0x85, 0xF6                    // test esi,esi
        .byte 0x74, 0x3A                    // je itself
        .byte 0x33, 0xC0                    // unit: xor eax,eax       (+0x34)
        .byte 0x8A, 0x43, 0x02              // mov al,[ebx+2]
        .byte 0x8B, 0x84, 0x86, 0x6C, 0x01, 0x00, 0x00  // mov eax,[esi+eax*4+0x16C]
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x23                    // je nextunit
        .byte 0x3B, 0xD8                    // symbol: cmp ebx,eax    (+0x44)
        .byte 0x75, 0x18                    // jne nextsymbol
        .byte 0x33, 0xD2                    // xor edx,edx
        .byte 0x8B, 0xC6                    // mov eax,esi
        CALL_REL(DccUnitScope)              // call DccUnitScope
        .byte 0x8B, 0xD0                    // mov edx,eax
        .byte 0x8A, 0x4B, 0x02              // mov cl,[ebx+2]
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(DccAcceptSymbol)           // call DccAcceptSymbol
        .byte 0x5E, 0x5B                    // pop esi; pop ebx
        .byte 0xC3                          // ret
        .byte 0x8B, 0x40, 0x18              // nextsymbol: mov eax,[eax+0x18]   (+0x60)
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x75, 0xDD                    // jne symbol
        .byte 0x8B, 0x76, 0x04              // nextunit: mov esi,[esi+4]        (+0x67)
        .byte 0x85, 0xF6                    // test esi,esi
        .byte 0x75, 0xC6                    // jne unit
        .byte 0x8B, 0xC3                    // itself: mov eax,ebx              (+0x6E)
        .byte 0x5E, 0x5B                    // pop esi; pop ebx
        .byte 0xC3                          // ret

// ---- I2: the unit that made a reference: eax = reference; the unit or null -------
// Searches every unit's import nodes for the reference in their chains.
        .balign 16
        .globl _DccReferenceOwner
_DccReferenceOwner:
        push ebx
        mov ebx, eax
        SEARCHED_ROUTINE importi2, ReferenceOwner, _DccReferenceOwnerSearch
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0x8B, 0x0D                    // mov ecx,[DccUnitListHead]
        .long _DccUnitListHead
        ALTBYTE importi2, 0x85, 0x0B        // test ecx,ecx
        .byte 0xC9
        .byte 0x74, 0x2F                    // je done
        .byte 0x8B, 0x51, 0x74              // unit: mov edx,[ecx+0x74]
        .byte 0x85, 0xD2                    // test edx,edx
        .byte 0x74, 0x1D                    // je unitdone
        .byte 0x8B, 0x42, 0x0C              // node: mov eax,[edx+0x0C]   its references
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x0B                    // je nodedone
        .byte 0x3B, 0xD8                    // reference: cmp ebx,eax
        .byte 0x74, 0x07                    // je nodedone
        .byte 0x8B, 0x40, 0x14              // mov eax,[eax+0x14]
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x75, 0xF5                    // jne reference
        .byte 0x85, 0xC0                    // nodedone: test eax,eax
        .byte 0x75, 0x07                    // jne unitdone
        .byte 0x8B, 0x52, 0x14              // mov edx,[edx+0x14]
        .byte 0x85, 0xD2                    // test edx,edx
        .byte 0x75, 0xE3                    // jne node
        .byte 0x85, 0xC0                    // unitdone: test eax,eax
        .byte 0x75, 0x07                    // jne done
        .byte 0x8B, 0x49, 0x04              // mov ecx,[ecx+4]
        .byte 0x85, 0xC9                    // test ecx,ecx
        .byte 0x75, 0xD1                    // jne unit
        test eax, eax                       // done: found in unit ecx?
        jz 1f
        mov eax, ecx
1:      pop ebx
        ret

// ---- I3: the unit that declares a symbol: eax = symbol; the unit or null ----------
// A symbol with byte 3 negative stands for the one at +0x10; the symbol
// searched for must then have byte 3 clear (an internal error otherwise).
        .balign 16
        SEARCHED_ROUTINE importi3, DeclaringUnit, _DccDeclaringUnit
.Li3:   .byte 0x53                          // push ebx
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0x56                          // push esi
        .byte 0x80, 0x7B, 0x03, 0x00        // cmp byte [ebx+3],0
        .byte 0x7D, 0x03                    // jge own
        .byte 0x8B, 0x5B, 0x10              // mov ebx,[ebx+0x10]      the symbol it stands for
        .byte 0x80, 0x7B, 0x03, 0x00        // own: cmp byte [ebx+3],0
        .byte 0x74, 0x17                    // je search
        .byte 0x68                          // push offset "DeclaringUnit"
        .long .Lwhere_declaringunit
        .byte 0x68                          // push line
        .long 2003
        .byte 0x68, 0x03, 0x20, 0x00, 0x00  // push code
        CALL_REL(DccInternalError)          // call DccInternalError
        .byte 0x83, 0xC4, 0x0C              // add esp,12
        .byte 0x8B, 0x35                    // search: mov esi,[DccUnitListHead]   (+0x2A)
        .long _DccUnitListHead
        ALTBYTE importi3, 0x85, 0x0B        // test esi,esi
        .byte 0xF6
        .byte 0x74, 0x3A                    // je none
        .byte 0x33, 0xC0                    // unit: xor eax,eax       (+0x34)
        .byte 0x8A, 0x43, 0x02              // mov al,[ebx+2]
        .byte 0x8B, 0x84, 0x86, 0x6C, 0x01, 0x00, 0x00  // mov eax,[esi+eax*4+0x16C]
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x10                    // je nextunit
        .byte 0x3B, 0xD8                    // symbol: cmp ebx,eax    (+0x44)
        .byte 0x75, 0x05                    // jne nextsymbol
        .byte 0x8B, 0xC6                    // found: mov eax,esi     (+0x48)
        .byte 0x5E, 0x5B                    // pop esi; pop ebx
        .byte 0xC3                          // ret
        .byte 0x8B, 0x40, 0x18              // nextsymbol: mov eax,[eax+0x18]
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x75, 0xF0                    // jne symbol
        .byte 0x8B, 0x76, 0x04              // nextunit: mov esi,[esi+4]   (+0x54)
        .byte 0x85, 0xF6                    // test esi,esi
        .byte 0x75, 0xD9                    // jne unit
        .byte 0xEB, 0x11                    // jmp none
        PAD_TO(.Li3, 0x6E)
        .byte 0x33, 0xC0                    // none: xor eax,eax      (+0x6E)
        .byte 0x5E, 0x5B                    // pop esi; pop ebx
        .byte 0xC3                          // ret

// ---- I4..I6: resolving a use of an imported name: eax = use; a symbol or null -----
// The use (Dcc::TUse) holds a reference; the reference its symbol, the
// symbol's chain index, and the unit it was found in once that is known.
//   known unit (I4):     DccAcceptSymbol(symbol, DccUnitScope(unit, 0), index);
//   use flag 1 (I4+1E):  a symbol of the unit being compiled is the answer;
//   (I5)                 the import of the unit being compiled that provides
//                        the symbol: DccImportedThrough(symbol, node, index);
//   (I6)                 a symbol of DccImportUnit is the answer; otherwise
//                        the unit that declares it (DccGetUnitOf) qualifies it.
        .balign 16
        .globl _DccResolveUse
_DccResolveUse:
        push ebx
        push esi
        push edi
        push ebp
        mov ebp, eax                        // ebp = use
        mov eax, [ebp+0x0C]                 // eax = reference
        movzx esi, byte ptr [eax+2]         // esi = chain index
        cmp dword ptr [eax+0x28], 0
        jne 1f
        test byte ptr [ebp+1], 1
        jz .Li4 + 0x1C
        jmp .Li4 + 0x1E
1:      mov edi, [eax+0x0C]                 // edi = symbol
        SEARCHED_ROUTINE importi4, ResolveUseKnown, _DccResolveUseKnown
.Li4:   .byte 0x33, 0xD2                    // xor edx,edx
        .byte 0x8B, 0x40, 0x28              // mov eax,[eax+0x28]      the unit it was found in
        CALL_REL(DccUnitScope)              // call DccUnitScope
        .byte 0x8B, 0xC8                    // mov ecx,eax
        .byte 0x8B, 0xDE                    // mov ebx,esi
        .byte 0x8B, 0xC3                    // mov eax,ebx
        .byte 0x8B, 0xD1                    // mov edx,ecx
        .byte 0x8B, 0xCF                    // mov ecx,edi
        .byte 0x91                          // xchg eax,ecx
        CALL_REL(DccAcceptSymbol)           // call DccAcceptSymbol(symbol, scope, index)
        .byte 0xEB, 0x5E                    // jmp leave                 (+0x1A)
        .byte 0xEB, 0x43                    // jmp imports               (+0x1C)
        .byte 0x8B, 0x0D                    // mov ecx,[DccCurrentUnit]  (+0x1E)
        .long _DccCurrentUnit
        ALTBYTE importi4, 0x85, 0x0B        // test ecx,ecx
        .byte 0xC9
        .byte 0x74, 0x39                    // je imports
        .byte 0x8B, 0x94, 0xB1, 0x6C, 0x01, 0x00, 0x00  // mov edx,[ecx+esi*4+0x16C]
        .byte 0x85, 0xD2                    // test edx,edx
        .byte 0x74, 0x27                    // je notown
        .byte 0x3B, 0x50, 0x0C              // own: cmp edx,[eax+0x0C]   (+0x33)
        .byte 0x75, 0x1B                    // jne ownnext
        .byte 0x8B, 0xC2                    // mov eax,edx               declared in the unit being compiled
        .byte 0xEB, 0x3E                    // jmp leave
        PAD_TO(.Li4, 0x53)
        .byte 0x8B, 0x52, 0x18              // ownnext: mov edx,[edx+0x18]   (+0x53)
        .byte 0x85, 0xD2                    // test edx,edx
        .byte 0x75, 0xD9                    // jne own
        .byte 0xEB, 0x05                    // notown: jmp imports       (+0x5A)
        PAD_TO(.Li4, 0x61)
        .byte 0x83, 0x3D                    // imports: cmp dword [DccCurrentUnit],0   (+0x61)
        .long _DccCurrentUnit
        .byte 0x00
        .byte 0x74, 0x55                    // je importunit (I5+0x3F)
        .byte 0x8B, 0xFD                    // mov edi,ebp               edi = use
        .byte 0xEB, 0x12                    // jmp I5
        PAD_TO(.Li4, 0x7A)
        .byte 0x5D, 0x5F, 0x5E, 0x5B        // leave: pop ebp; pop edi; pop esi; pop ebx   (+0x7A)
        .byte 0xC3                          // ret
        PAD_TO(.Li4, 0x80)
        SEARCHED_ROUTINE importi5, ResolveUseImports, _DccResolveUseImports
.Li5:   .byte 0x8B, 0x47, 0x0C              // mov eax,[edi+0x0C]      the reference
        .byte 0x8B, 0x15                    // mov edx,[DccCurrentUnit]
        .long _DccCurrentUnit
        .byte 0x8B, 0x4A, 0x74              // mov ecx,[edx+0x74]      its imports
        ALTBYTE importi5, 0x85, 0x0B        // test ecx,ecx
        .byte 0xC9
        .byte 0x74, 0x2F                    // je importunit
        .byte 0x8B, 0x51, 0x10              // node: mov edx,[ecx+0x10]
        .byte 0x8B, 0x94, 0xB2, 0x6C, 0x01, 0x00, 0x00  // mov edx,[edx+esi*4+0x16C]
        .byte 0x85, 0xD2                    // test edx,edx
        .byte 0x74, 0x1A                    // je nodenext
        .byte 0x3B, 0x50, 0x0C              // symbol: cmp edx,[eax+0x0C]   (+0x1E)
        .byte 0x75, 0x0E                    // jne symbolnext
        .byte 0x8B, 0xC6                    // mov eax,esi             (+0x23)
        .byte 0x91                          // xchg eax,ecx
        .byte 0x92                          // xchg eax,edx
        CALL_REL(DccImportedThrough)        // call DccImportedThrough(symbol, node, index)
        .byte 0xE9, 0x9F, 0x00, 0x00, 0x00  // jmp leave2 (+0xD0)
        .byte 0x8B, 0x52, 0x18              // symbolnext: mov edx,[edx+0x18]   (+0x31)
        .byte 0x85, 0xD2                    // test edx,edx
        .byte 0x75, 0xE6                    // jne symbol
        .byte 0x8B, 0x49, 0x14              // nodenext: mov ecx,[ecx+0x14]     (+0x38)
        .byte 0x85, 0xC9                    // test ecx,ecx
        .byte 0x75, 0xD1                    // jne node
        .byte 0x8B, 0x45, 0x0C              // importunit: mov eax,[ebp+0x0C]   (+0x3F)
        .byte 0x8B, 0x78, 0x0C              // mov edi,[eax+0x0C]      edi = symbol
        .byte 0x83, 0x3D                    // cmp dword [DccImportUnit],0
        .long _DccImportUnit
        .byte 0x00
        .byte 0x74, 0x22                    // je declaring (I6+0x22)
        SEARCHED_ROUTINE importi6, ResolveUseImportUnit, _DccResolveUseImportUnit
.Li6:   .byte 0xA1                          // mov eax,[DccImportUnit]
        .long _DccImportUnit
        .byte 0x8B, 0x94, 0xB0, 0x6C, 0x01, 0x00, 0x00  // mov edx,[eax+esi*4+0x16C]
        ALTBYTE importi6, 0x85, 0x0B        // test edx,edx
        .byte 0xD2
        .byte 0x74, 0x12                    // je declaring
        .byte 0x3B, 0xFA                    // symbol: cmp edi,edx    (+0x10)
        .byte 0x75, 0x07                    // jne next
        .byte 0x8B, 0xC2                    // mov eax,edx
        .byte 0xE9, 0xD7, 0x00, 0x00, 0x00  // jmp leave3 (+0xF2)
        .byte 0x8B, 0x52, 0x18              // next: mov edx,[edx+0x18]
        .byte 0x85, 0xD2                    // test edx,edx
        .byte 0x75, 0xEE                    // jne symbol
        .byte 0x8B, 0xC7                    // declaring: mov eax,edi  (+0x22)
        CALL_REL(_DccGetUnitOf)             // call DccGetUnitOf
        .byte 0x8B, 0xC8                    // mov ecx,eax
        .byte 0x85, 0xC9                    // test ecx,ecx
        .byte 0x74, 0x32                    // je nounit
        .byte 0xEB, 0x07                    // jmp qualify
        PAD_TO(.Li6, 0x38)
        .byte 0x33, 0xD2                    // qualify: xor edx,edx    (+0x38)
        .byte 0x8B, 0xC1                    // mov eax,ecx
        CALL_REL(DccUnitScope)              // call DccUnitScope
        .byte 0x8B, 0xD0                    // mov edx,eax
        .byte 0x8B, 0xCE                    // mov ecx,esi
        .byte 0x8B, 0xC7                    // mov eax,edi
        CALL_REL(DccAcceptSymbol)           // call DccAcceptSymbol
        JMP_REL(.Li6 + 0xF2)                // jmp leave3
        PAD_TO(.Li6, 0x61)
        .byte 0x33, 0xC0                    // nounit: xor eax,eax     (+0x61)
        JMP_REL(.Li6 + 0xF2)                // jmp leave3
        PAD_TO(.Li5, 0xD0)
        .byte 0x5D, 0x5F, 0x5E, 0x5B        // leave2: pop ebp; pop edi; pop esi; pop ebx   (I5+0xD0)
        .byte 0xC3                          // ret
        PAD_TO(.Li6, 0xF2)
        .byte 0x5D, 0x5F, 0x5E, 0x5B        // leave3: pop ebp; pop edi; pop esi; pop ebx   (+0xF2)
        .byte 0xC3                          // ret

        .section .rdata, "dr"
.Lwhere_declaringunit: .asciz "DeclaringUnit"
