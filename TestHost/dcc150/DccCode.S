// The stand-in compiler's unit bookkeeping routines, byte for byte in the
// form the real compiler library has them, so that the pack finds them by
// their byte patterns. Code that the pack searches for is written as .byte
// lines (each with its instruction as a comment); glue code around it uses
// mnemonics. Host register convention: arguments in eax, edx, ecx.
//
// Each searched routine is declared with SEARCHED_ROUTINE where its searched
// bytes begin, and has one ALTBYTE: in the routine's variant build one
// instruction takes an equivalent encoding (a "test r,r" becomes "or r,r",
// or "xor r,r" takes its other opcode), so the routine behaves exactly the
// same but its bytes no longer match. Such builds stand for a compiler build
// the pack does not know (Common/SearchedRoutines.inc).

#include "Common/SearchedRoutines.inc"

// A relative call or jump to a symbol.
#define CALL_REL(target) .byte 0xE8; .long target - . - 4
#define JMP_REL(target) .byte 0xE9; .long target - . - 4

        .intel_syntax noprefix

// ---- host variables -----------------------------------------------------------
        .data
        .balign 4
        .globl _DccUnitListHead, _DccUnitListTail, _DccRecordList, _DccRecordGroups
        .globl _DccCurrentUnit, _DccImportUnit, _DccLastCompiledUnit, _DccOptions
_DccUnitListHead:     .long 0   // first unit record
_DccUnitListTail:     .long 0   // last unit record
_DccRecordList:       .long 0   // further list 1: nodes {Next, -, Record}
_DccRecordGroups:     .long 0   // further list 2: groups {Next, Chain of nodes}
_DccCurrentUnit:      .long 0   // unit being compiled (private symbols visible)
_DccImportUnit:       .long 0   // unit searched by the imported-symbol lookup
_DccLastCompiledUnit: .long 0
// Option strings compared after a compile: last/current options, last/current
// defines, last/current platform (8-bit strings or null).
_DccOptions:          .long 0, 0, 0, 0, 0, 0

        .text

// ---- name comparison: eax = first name, edx = second; 0 when equal ignoring ASCII case
        .balign 16
        SEARCHED_ROUTINE namecompare, NameCompare, _DccNameCompare
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x57                          // push edi
        .byte 0x83, 0xC4, 0xF8              // add esp,-8
        ALTBYTE namecompare, 0x33, 0x31     // xor ecx,ecx
        .byte 0xC9
        .byte 0x89, 0xCB                    // mov ebx,ecx
        .byte 0x89, 0x54, 0x24, 0x04        // mov [esp+4],edx
        .byte 0x89, 0x04, 0x24              // mov [esp],eax
        .byte 0x8B, 0xF9                    // mov edi,ecx
        .byte 0x8B, 0x44, 0x24, 0x04        // mov eax,[esp+4]
        .byte 0x8B, 0x14, 0x24              // mov edx,[esp]
        .byte 0x8B, 0x0A                    // mov ecx,[edx]
        .byte 0x0B, 0xFB                    // or edi,ebx
        .byte 0x8B, 0xD9                    // mov ebx,ecx
        .byte 0x8B, 0x30                    // mov esi,[eax]
        .byte 0x33, 0xF1                    // xor esi,ecx
        .byte 0x81, 0xE1, 0x7F, 0x7F, 0x7F, 0x7F  // and ecx,0x7F7F7F7F
        // The first four bytes are loaded; compare byte by byte from the start.
        mov esi, [esp]
        mov edi, [esp+4]
.Lnc_loop:
        movzx eax, byte ptr [esi]
        movzx edx, byte ptr [edi]
        lea ecx, [eax-0x61]
        cmp ecx, 25
        ja .Lnc_a
        sub eax, 0x20
.Lnc_a:
        lea ecx, [edx-0x61]
        cmp ecx, 25
        ja .Lnc_b
        sub edx, 0x20
.Lnc_b:
        sub eax, edx
        jnz .Lnc_done
        cmp byte ptr [esi], 0
        je .Lnc_done
        inc esi
        inc edi
        jmp .Lnc_loop
.Lnc_done:
        add esp, 8
        pop edi
        pop esi
        pop ebx
        ret

// ---- import unlinking: eax = unit X; cuts every link to X, transitively ---------
        .balign 16
        SEARCHED_ROUTINE unlink, UnlinkImports, _DccUnlinkImports
        .byte 0x53, 0x56, 0x57, 0x55        // push ebx; push esi; push edi; push ebp
        .byte 0x8B, 0xE8                    // mov ebp,eax
        .byte 0x8B, 0x35                    // mov esi,[DccUnitListHead]
        .long _DccUnitListHead
        ALTBYTE unlink, 0x85, 0x0B          // test esi,esi
        .byte 0xF6
        .byte 0x74, 0x19                    // je list1
.Lul_units:
        .byte 0x83, 0xBE, 0x60, 0x01, 0x00, 0x00, 0x00  // cmp dword [esi+0x160],0
        .byte 0x75, 0x09                    // jne next
        .byte 0x8B, 0xD5                    // mov edx,ebp
        .byte 0x8B, 0xC6                    // mov eax,esi
        CALL_REL(HostUnlinkFromUnit)
        .byte 0x8B, 0x76, 0x04              // next: mov esi,[esi+4]
        .byte 0x85, 0xF6                    // test esi,esi
        .byte 0x75, 0xE7                    // jne units
        .byte 0x8B, 0x1D                    // list1: mov ebx,[DccRecordList]
        .long _DccRecordList
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x74, 0x16                    // je list2
        .byte 0x8B, 0x73, 0x08              // mov esi,[ebx+8]
        .byte 0x85, 0xF6                    // test esi,esi
        .byte 0x74, 0x09                    // je next node
        .byte 0x8B, 0xD5                    // mov edx,ebp
        .byte 0x8B, 0xC6                    // mov eax,esi
        CALL_REL(HostUnlinkFromUnit)
        .byte 0x8B, 0x1B                    // mov ebx,[ebx]
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x75, 0xEA                    // jne list1 loop
        .byte 0x8B, 0x3D                    // list2: mov edi,[DccRecordGroups]
        .long _DccRecordGroups
.Lul_groups:
        test edi, edi
        jz .Lul_done
        mov ebx, [edi+4]
.Lul_chain:
        test ebx, ebx
        jz .Lul_nextgroup
        mov esi, [ebx+8]
        test esi, esi
        jz .Lul_nextnode
        mov edx, ebp
        mov eax, esi
        call HostUnlinkFromUnit
.Lul_nextnode:
        mov ebx, [ebx]
        jmp .Lul_chain
.Lul_nextgroup:
        mov edi, [edi]
        jmp .Lul_groups
.Lul_done:
        mov eax, ebp
        call HostUnlinkFinished
        pop ebp
        pop edi
        pop esi
        pop ebx
        ret

// ---- reset of outdated units: eax, edx, ecx = compile mode and two flags --------
// Frees every unit whose state is below 4 or 5 (HostUnitFree returns the next unit).
        .balign 16
        .globl _DccResetUnits
_DccResetUnits:
        push esi
        .byte 0x8B, 0x35                    // mov esi,[DccUnitListHead]
        .long _DccUnitListHead
        SEARCHED_ROUTINE reset, ResetUnits, _DccResetUnitsLoop
        ALTBYTE reset, 0x85, 0x0B           // test esi,esi
        .byte 0xF6
        .byte 0x74, 0x1D                    // je done
        .byte 0x8A, 0x46, 0x12              // loop: mov al,[esi+0x12]
        .byte 0x3C, 0x04                    // cmp al,4
        .byte 0x7C, 0x04                    // jl free
        .byte 0x3C, 0x05                    // cmp al,5
        .byte 0x75, 0x09                    // jne keep
        .byte 0x8B, 0xC6                    // free: mov eax,esi
        CALL_REL(HostUnitFree)
        .byte 0xEB, 0x03                    // jmp advance
        .byte 0x8B, 0x46, 0x04              // keep: mov eax,[esi+4]
        .byte 0x8B, 0xF0                    // advance: mov esi,eax
        .byte 0x85, 0xF6                    // test esi,esi
        .byte 0x75, 0xE3                    // jne loop
        pop esi                             // done:
        ret

// ---- unit reset after a CodeInsight compile -------------------------------------
// System and SysInit are left alone; a compiled unit with a cut link drops to
// state 5; the links of every unit in state 5 or below are cut.
        .balign 16
        .globl _DccKibitzUnitReset
_DccKibitzUnitReset:
        push ebx
        push esi
        push edi
        .byte 0x8B, 0x35                    // mov esi,[DccUnitListHead]
        .long _DccUnitListHead
        SEARCHED_ROUTINE kibitzreset, KibitzCompilerImplUnitReset, _DccKibitzUnitResetLoop
        ALTBYTE kibitzreset, 0x85, 0x0B     // test esi,esi
        .byte 0xF6
        .byte 0x74, 0x5E                    // je done
        .byte 0x8B, 0x86, 0x80, 0x00, 0x00, 0x00  // unit: mov eax,[esi+0x80]
        .byte 0x83, 0xC0, 0x1E              // add eax,0x1E
        CALL_REL(HostIsCoreUnitName)
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x02                    // je imports
        .byte 0xEB, 0x43                    // jmp next
        .byte 0x8B, 0x5E, 0x74              // imports: mov ebx,[esi+0x74]
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x74, 0x23                    // je cut
        .byte 0x8B, 0x43, 0x10              // import: mov eax,[ebx+0x10]
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x09                    // je broken
        CALL_REL(HostUnitIsLive)
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x75, 0x0C                    // jne nextimport
        .byte 0x80, 0x7E, 0x12, 0x05        // broken: cmp byte [esi+0x12],5
        .byte 0x76, 0x04                    // jbe stop
        .byte 0xC6, 0x46, 0x12, 0x05        // mov byte [esi+0x12],5
        .byte 0xEB, 0x07                    // stop: jmp cut
        .byte 0x8B, 0x5B, 0x14              // nextimport: mov ebx,[ebx+0x14]
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x75, 0xDD                    // jne import
        .byte 0x80, 0x7E, 0x12, 0x05        // cut: cmp byte [esi+0x12],5
        .byte 0x77, 0x13                    // ja next
        .byte 0x8B, 0x5E, 0x74              // mov ebx,[esi+0x74]
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x74, 0x0C                    // je next
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0x89, 0x43, 0x10              // clear: mov [ebx+0x10],eax
        .byte 0x8B, 0x5B, 0x14              // mov ebx,[ebx+0x14]
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x75, 0xF6                    // jne clear
        .byte 0x8B, 0x76, 0x04              // next: mov esi,[esi+4]
        .byte 0x85, 0xF6                    // test esi,esi
        .byte 0x75, 0xA2                    // jne unit
        pop edi                             // done:
        pop esi
        pop ebx
        ret

// ---- free all units -------------------------------------------------------------
// In its second form (another compiler build) the records of the further
// lists are released by a call before the loop instead of after it.
        .balign 16
        SEARCHED_ROUTINE freeall, UnitFreeAll, _DccUnitFreeAll
        ROUTINE_FORM freeall, form2
        .byte 0x53                          // push ebx
        .byte 0xBB                          // mov ebx,offset DccUnitListHead
        .long _DccUnitListHead
        .ifc QM_VARIANT, freeall_form2
        CALL_REL(HostFreeRecordLists)
        .endif
        .byte 0xEB, 0x05                    // jmp test
        CALL_REL(HostUnitFree)              // free: call HostUnitFree
        .byte 0x8B, 0x03                    // test: mov eax,[ebx]
        ALTBYTE freeall, 0x85, 0x0B         // test eax,eax
        .byte 0xC0
        .byte 0x75, 0xF5                    // jne free
        CALL_REL(HostFreeAllDone)
        .byte 0x33, 0xD2                    // xor edx,edx
        .byte 0x89, 0x15                    // mov [DccLastCompiledUnit],edx
        .long _DccLastCompiledUnit
        pop ebx
        ret

// ---- append a unit at the tail: eax = unit --------------------------------------
        .balign 16
        SEARCHED_ROUTINE append, Append, _DccUnitAppend
        .byte 0x33, 0xD2                    // xor edx,edx
        .byte 0x89, 0x50, 0x04              // mov [eax+4],edx
        .byte 0x8B, 0x15                    // mov edx,[DccUnitListTail]
        .long _DccUnitListTail
        ALTBYTE append, 0x85, 0x0B          // test edx,edx
        .byte 0xD2
        .byte 0x74, 0x05                    // je empty
        .byte 0x89, 0x42, 0x04              // mov [edx+4],eax
        .byte 0xEB, 0x05                    // jmp tail
        .byte 0xA3                          // empty: mov [DccUnitListHead],eax
        .long _DccUnitListHead
        .byte 0xA3                          // tail: mov [DccUnitListTail],eax
        .long _DccUnitListTail
        .byte 0xC3                          // ret

// ---- remove a unit from the list: eax = unit; true if it was on the list --------
        .balign 16
        .globl _DccUnitRemove
_DccUnitRemove:
        .byte 0x8B, 0x15                    // mov edx,[DccUnitListHead]
        .long _DccUnitListHead
        SEARCHED_ROUTINE remove, Remove, _DccUnitRemoveHeadTest
        ALTBYTE remove, 0x85, 0x0B          // test edx,edx
        .byte 0xD2
        .byte 0x75, 0x03                    // jne nonempty
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0xC3                          // ret
        .byte 0x3B, 0xD0                    // nonempty: cmp edx,eax
        .byte 0x75, 0x1F                    // jne search
        .byte 0x8B, 0x4A, 0x04              // mov ecx,[edx+4]
        .byte 0x89, 0x0D                    // mov [DccUnitListHead],ecx
        .long _DccUnitListHead
        .byte 0x3B, 0x05                    // cmp eax,[DccUnitListTail]
        .long _DccUnitListTail
        .byte 0x75, 0x07                    // jne removed
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0xA3                          // mov [DccUnitListTail],eax
        .long _DccUnitListTail
        .byte 0xB8, 0x01, 0x00, 0x00, 0x00  // removed: mov eax,1
        .byte 0xC3                          // ret
        .byte 0xC3
        // search: edx = a unit before the one to remove
.Lrm_search:
        mov ecx, [edx+4]
        test ecx, ecx
        jz .Lrm_absent
        cmp ecx, eax
        je .Lrm_found
        mov edx, ecx
        jmp .Lrm_search
.Lrm_found:
        mov ecx, [eax+4]
        mov [edx+4], ecx
        cmp eax, [_DccUnitListTail]
        jne .Lrm_done
        mov [_DccUnitListTail], edx
.Lrm_done:
        mov eax, 1
        ret
.Lrm_absent:
        xor eax, eax
        ret

// ---- append a chain of units: eax = chain record {+0x0C first, +0x10 last} ------
        .balign 16
        SEARCHED_ROUTINE chainappend, ChainAppend, _DccUnitChainAppend
        .byte 0x8B, 0x50, 0x0C              // mov edx,[eax+0x0C]
        ALTBYTE chainappend, 0x85, 0x0B     // test edx,edx
        .byte 0xD2
        .byte 0x74, 0x26                    // je done
        .byte 0x8B, 0x0D                    // mov ecx,[DccUnitListTail]
        .long _DccUnitListTail
        .byte 0x85, 0xC9                    // test ecx,ecx
        .byte 0x74, 0x05                    // je empty
        .byte 0x89, 0x51, 0x04              // mov [ecx+4],edx
        .byte 0xEB, 0x09                    // jmp last
        .byte 0x8B, 0x50, 0x0C              // empty: mov edx,[eax+0x0C]
        .byte 0x89, 0x15                    // mov [DccUnitListHead],edx
        .long _DccUnitListHead
        .byte 0x8B, 0x50, 0x10              // last: mov edx,[eax+0x10]
        .byte 0x89, 0x15                    // mov [DccUnitListTail],edx
        .long _DccUnitListTail
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0x89, 0x42, 0x04              // mov [edx+4],eax
        .byte 0xC3                          // done: ret

// ---- find a loaded unit by name: eax = name; unit record or null ----------------
        .balign 16
        SEARCHED_ROUTINE find, Find, _DccUnitFind
        .byte 0x53, 0x56, 0x57              // push ebx; push esi; push edi
        .byte 0x8B, 0xF0                    // mov esi,eax
        .byte 0x8B, 0xC6                    // mov eax,esi
        CALL_REL(HostNameHashByte)
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0x8B, 0x3D                    // mov edi,[DccUnitListHead]
        .long _DccUnitListHead
        ALTBYTE find, 0x85, 0x0B            // test edi,edi
        .byte 0xFF
        .byte 0x74, 0x2B                    // je done
        .byte 0x3A, 0x5F, 0x11              // unit: cmp bl,[edi+0x11]
        .byte 0x75, 0x1F                    // jne next
        .byte 0x83, 0xBF, 0x80, 0x00, 0x00, 0x00, 0x00  // cmp dword [edi+0x80],0
        .byte 0x74, 0x16                    // je next
        .byte 0x8B, 0x87, 0x80, 0x00, 0x00, 0x00  // mov eax,[edi+0x80]
        .byte 0x8B, 0xD6                    // mov edx,esi
        .byte 0x83, 0xC0, 0x1E              // add eax,0x1E
        CALL_REL(_DccNameCompare)
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x75, 0x02                    // jne next
        .byte 0xEB, 0x07                    // jmp done
        .byte 0x8B, 0x7F, 0x04              // next: mov edi,[edi+4]
        .byte 0x85, 0xFF                    // test edi,edi
        .byte 0x75, 0xD5                    // jne unit
        .byte 0x8B, 0xC7                    // done: mov eax,edi
        .byte 0x5F, 0x5E, 0x5B              // pop edi; pop esi; pop ebx
        .byte 0xC3                          // ret

// ---- unit alias: eax = name; the name it stands for, or the name itself ---------
        .balign 16
        SEARCHED_ROUTINE alias, Alias, _DccResolveAlias
        .byte 0x53                          // push ebx
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(HostFindAlias)
        ALTBYTE alias, 0x85, 0x0B           // test eax,eax
        .byte 0xC0
        .byte 0x74, 0x0B                    // je same
        .byte 0x83, 0x78, 0x04, 0x00        // cmp dword [eax+4],0
        .byte 0x74, 0x05                    // je same
        .byte 0x8B, 0x40, 0x04              // mov eax,[eax+4]
        .byte 0x5B                          // pop ebx
        .byte 0xC3                          // ret
        .byte 0x8B, 0xC3                    // same: mov eax,ebx
        .byte 0x5B                          // pop ebx
        .byte 0xC3                          // ret

// ---- after a compile: may the loaded units stay? --------------------------------
// eax = the project changed, edx = an explicit build was asked for. Frees all
// units when the options in force differ from those of the last compile;
// returns 1 then, else 0.
        .balign 16
        .globl _DccAfterCompile
_DccAfterCompile:
        push ebx
        push edi
        mov ebx, eax
        mov edi, edx
        SEARCHED_ROUTINE nodiscard, NoUnitDiscardAfterCompile, _DccAfterCompileCheck
        ALTBYTE nodiscard, 0x84, 0x0A       // test bl,bl
        .byte 0xDB
        .byte 0x74, 0x04                    // je options
        .byte 0x85, 0xFF                    // test edi,edi
        .byte 0x75, 0x63                    // jne discard
        .byte 0x83, 0x3D                    // options: cmp dword [last options],0
        .long _DccOptions
        .byte 0x00
        .byte 0x74, 0x09                    // je defines
        .byte 0x83, 0x3D                    // cmp dword [current options],0
        .long _DccOptions + 4
        .byte 0x00
        .byte 0x74, 0x51                    // je discard
        .byte 0x83, 0x3D                    // defines: cmp dword [last defines],0
        .long _DccOptions + 8
        .byte 0x00
        .byte 0x75, 0x09                    // jne platform
        .byte 0x83, 0x3D                    // cmp dword [current defines],0
        .long _DccOptions + 12
        .byte 0x00
        .byte 0x75, 0x3F                    // jne discard
        .byte 0x83, 0x3D                    // platform: cmp dword [last platform],0
        .long _DccOptions + 16
        .byte 0x00
        .byte 0x74, 0x32                    // je keep
        .byte 0x83, 0x3D                    // cmp dword [current platform],0
        .long _DccOptions + 20
        .byte 0x00
        .byte 0x74, 0x29                    // je keep
        .byte 0xA1                          // mov eax,[last options]
        .long _DccOptions
        .byte 0x8B, 0x15                    // mov edx,[current options]
        .long _DccOptions + 4
        CALL_REL(HostOptionStringsDiffer)
        .byte 0xEB, 0x20                    // jmp decided
        .fill 23, 1, 0xCC
        .byte 0x33, 0xC0                    // keep: xor eax,eax
        .byte 0xEB, 0x05                    // jmp decided
        .byte 0xB8, 0x01, 0x00, 0x00, 0x00  // discard: mov eax,1
        movzx eax, al                       // decided: al = discard
        push eax
        test eax, eax
        jz .Lac_keep
        call _DccUnitFreeAll
.Lac_keep:
        pop eax
        pop edi
        pop ebx
        ret

// ---- symbol lookup in one scope: eax = chain heads, dl = hash byte, ecx = name --
// Public symbols (flag 0x40) match by name; the others only in the scope of
// the unit being compiled, and only with byte 3 clear.
        .balign 16
        SEARCHED_ROUTINE scope, SymLookupScope, _DccSymLookupScope
        .byte 0x53, 0x56, 0x57, 0x55        // push ebx; push esi; push edi; push ebp
        .byte 0x8B, 0xE9                    // mov ebp,ecx
        .byte 0x8B, 0xF0                    // mov esi,eax
        .byte 0x83, 0x3D                    // cmp dword [DccCurrentUnit],0
        .long _DccCurrentUnit
        .byte 0x00
        .byte 0x74, 0x0E                    // je own
        .byte 0x8B, 0x3D                    // mov edi,[DccCurrentUnit]
        .long _DccCurrentUnit
        .byte 0x81, 0xC7, 0x6C, 0x01, 0x00, 0x00  // add edi,0x16C
        .byte 0xEB, 0x02                    // jmp start
        .byte 0x8B, 0xFE                    // own: mov edi,esi
        .byte 0x33, 0xC0                    // start: xor eax,eax
        .byte 0x8A, 0xC2                    // mov al,dl
        .byte 0x8B, 0x1C, 0x86              // mov ebx,[esi+eax*4]
        ALTBYTE scope, 0x85, 0x0B           // test ebx,ebx
        .byte 0xDB
        .byte 0x74, 0x29                    // je notfound
        .byte 0x8D, 0x53, 0x1E              // symbol: lea edx,[ebx+0x1E]
        .byte 0x8B, 0xC5                    // mov eax,ebp
        CALL_REL(_DccNameCompare)
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x75, 0x14                    // jne next
        .byte 0xF6, 0x43, 0x01, 0x40        // test byte [ebx+1],0x40
        .byte 0x75, 0x0A                    // jne found
        .byte 0x3B, 0xFE                    // cmp edi,esi
        .byte 0x75, 0x0A                    // jne next
        .byte 0x80, 0x7B, 0x03, 0x00        // cmp byte [ebx+3],0
        .byte 0x75, 0x04                    // jne next
        .byte 0x8B, 0xC3                    // found: mov eax,ebx
        .byte 0xEB, 0x09                    // jmp done
        .byte 0x8B, 0x5B, 0x18              // next: mov ebx,[ebx+0x18]
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x75, 0xD7                    // jne symbol
        .byte 0x33, 0xC0                    // notfound: xor eax,eax
        .byte 0x5D, 0x5F, 0x5E, 0x5B        // done: pop ebp; pop edi; pop esi; pop ebx
        .byte 0xC3                          // ret

// ---- imported-symbol lookup: eax = symbol to resolve, edx = context symbol ------
// Searches the unit in DccImportUnit for the symbol of the same name that
// fits the symbol's kind and the context; returns it or null.
        .balign 16
        .globl _DccImportedSymbol
_DccImportedSymbol:
        push ebx
        push esi
        push edi
        push ebp
        mov esi, eax
        mov edi, edx
        lea eax, [esi+0x1E]
        call HostNameHashByte
        mov ebx, eax
        SEARCHED_ROUTINE imported, ImportedSymbol, _DccImportedSymbolSearch
        .byte 0x33, 0xD2                    // xor edx,edx
        .byte 0x8A, 0xD3                    // mov dl,bl
        .byte 0x8B, 0x0D                    // mov ecx,[DccImportUnit]
        .long _DccImportUnit
        .byte 0x8B, 0xAC, 0x91, 0x6C, 0x01, 0x00, 0x00  // mov ebp,[ecx+edx*4+0x16C]
        ALTBYTE imported, 0x85, 0x0B        // test ebp,ebp
        .byte 0xED
        .byte 0x74, 0x52                    // je notfound
        .byte 0x8D, 0x55, 0x1E              // candidate: lea edx,[ebp+0x1E]
        .byte 0x8D, 0x46, 0x1E              // lea eax,[esi+0x1E]
        CALL_REL(_DccNameCompare)
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x75, 0x3C                    // jne next
        .byte 0x8A, 0x4F, 0x03              // mov cl,[edi+3]
        .byte 0x3A, 0x4D, 0x03              // cmp cl,[ebp+3]
        .byte 0x75, 0x34                    // jne next
        .byte 0x80, 0x7D, 0x03, 0x80        // cmp byte [ebp+3],0x80
        .byte 0x7F, 0x0D                    // jg kind
        .byte 0x8B, 0xD7                    // mov edx,edi
        .byte 0x8B, 0xC5                    // mov eax,ebp
        CALL_REL(HostSymbolVisible)
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x21                    // je next
        .byte 0x8A, 0x06                    // kind: mov al,[esi]
        .byte 0x3C, 0x0A                    // cmp al,0x0A
        .byte 0x7C, 0x09                    // jl types
        .byte 0x3C, 0x0C                    // cmp al,0x0C
        .byte 0x7F, 0x05                    // jg types
        .byte 0x3B, 0x75, 0x10              // cmp esi,[ebp+0x10]
        .byte 0x75, 0x12                    // jne next
        .byte 0x80, 0x3E, 0x14              // types: cmp byte [esi],0x14
        .byte 0x75, 0x06                    // jne match
        .byte 0x80, 0x7D, 0x00, 0x19        // cmp byte [ebp],0x19
        .byte 0x74, 0x07                    // je next
        .byte 0x8B, 0xC5                    // match: mov eax,ebp
        .byte 0xE9, 0xAE, 0x00, 0x00, 0x00  // jmp leave
        .byte 0x8B, 0x6D, 0x18              // next: mov ebp,[ebp+0x18]
        .byte 0x85, 0xED                    // test ebp,ebp
        .byte 0x75, 0xAE                    // jne candidate
        .byte 0x33, 0xC0                    // notfound: xor eax,eax
        JMP_REL(.Lis_leave)
        .fill 0x10E - (. - _DccImportedSymbolSearch), 1, 0xCC
.Lis_leave:
        pop ebp
        pop edi
        pop esi
        pop ebx
        ret

// ---- "CompilerCompileCmdLine" (stdcall: command line) ---------------------------
        .balign 16
        .globl _DccCompilerCompileCmdLine
_DccCompilerCompileCmdLine:
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp   (the compiler's encoding)
        push ebx
        push esi
        push edi
        push dword ptr [ebp+8]
        call HostCompileCmdLine
        pop edi
        pop esi
        pop ebx
        pop ebp
        ret 4
