// The stand-in compiler's memory manager, byte for byte in the form the
// compiler library has it: memory contexts that own chains of zones, zone
// descriptors {Next, Size, Start} from a pool, free ranges merged on release,
// and the routines that answer which context or unit an address belongs to.
// Searched bytes are .byte lines (each with its instruction); glue code uses
// mnemonics. Host register convention: arguments in eax, edx, ecx.
//
// A context: +0x00 Next (on its chain), +0x08 first zone, +0x0C current zone,
// +0x10 bytes used in the current zone, +0x18 the size of its new zones (see
// DccContexts.h). Three chains of contexts: DccContexts (every unit's context
// and those of records no unit owns; what the address questions search),
// DccScratchContexts (a compile's scratch memory) and DccTableContexts (the
// compiler's own tables).
//
// Each searched routine is declared with SEARCHED_ROUTINE where its searched
// bytes begin and has one ALTBYTE (Common/SearchedRoutines.inc): in its
// variant build that byte takes an equivalent encoding, so the routine works
// the same but no longer matches.

#include "Common/SearchedRoutines.inc"


#define CALL_REL(target) .byte 0xE8; .long target - . - 4
#define JMP_REL(target) .byte 0xE9; .long target - . - 4
// Pads with int3 up to `offset` bytes after `base` (assembly fails if past it).
#define PAD_TO(base, offset) .fill (offset) - (. - base), 1, 0xCC

// Bytes of a unit record (Dcc::TUnit); DccContexts.cpp checks it.
        .set DCC_UNIT_RECORD_SIZE, 0x598

        .intel_syntax noprefix

// ---- host variables -----------------------------------------------------------
        .data
        .balign 4
        .globl _DccContexts, _DccScratchContexts, _DccTableContexts, _DccCurrentContext
        .globl _DccFreeDescriptors, _DccFreeRanges, _DccUnitsCreated, _DccUnitOfLookups
        .globl _DccCompileMode, _DccUnitOptions
_DccContexts:         .long 0   // chain 1: contexts of units and of records no unit owns
_DccScratchContexts:  .long 0   // chain 2: scratch memory of a compile
_DccTableContexts:    .long 0   // chain 3: the compiler's own tables
_DccCurrentContext:   .long 0   // context of the unit being created or compiled
_DccFreeDescriptors:  .long 0   // unused zone descriptors, linked through Next
_DccFreeRanges:       .long 0   // released memory: descriptors {Next, Size, Start}
_DccUnitsCreated:     .long 0   // units made by the second creation routine
_DccUnitOfLookups:    .long 0   // unit-of-address questions asked in CodeInsight compiles
_DccCompileMode:      .byte 0   // 2: a CodeInsight compile
_DccUnitOptions:      .byte 0   // bit 3: new units are flagged 0x4000
        .balign 4

        .text

// ---- descriptor allocator: no arguments; a descriptor (not cleared) ---------------
// M: the allocator and, right after it, the release of one descriptor (eax).
        .balign 16
        .globl _DccFreeDescriptor
        SEARCHED_ROUTINE zonem, AllocDescriptor, _DccAllocDescriptor
        .byte 0xA1                          // mov eax,[DccFreeDescriptors]
        .long _DccFreeDescriptors
        ALTBYTE zonem, 0x85, 0x0B           // test eax,eax
        .byte 0xC0
        .byte 0x75, 0x06                    // jne take
        CALL_REL(_DccRefillDescriptors)     // call refill: a fresh pool, its last descriptor
        .byte 0xC3                          // ret
        .byte 0x8B, 0x10                    // take: mov edx,[eax]
        .byte 0x89, 0x15                    // mov [DccFreeDescriptors],edx
        .long _DccFreeDescriptors
        .byte 0xC3                          // ret
_DccFreeDescriptor:
        .byte 0x8B, 0x15                    // mov edx,[DccFreeDescriptors]
        .long _DccFreeDescriptors
        .byte 0x89, 0x10                    // mov [eax],edx
        .byte 0xA3                          // mov [DccFreeDescriptors],eax
        .long _DccFreeDescriptors
        .byte 0xC3                          // ret

// ---- descriptor pool: 100 descriptors of 12 bytes in one block --------------------
// 99 go onto the free list, the last one is returned.
        .balign 16
        .globl _DccRefillDescriptors
_DccRefillDescriptors:
        push ebx
        mov ebx, offset _DccFreeDescriptors
        SEARCHED_ROUTINE zonep, DescriptorPool, _DccDescriptorPool
        .byte 0xB8, 0xB0, 0x04, 0x00, 0x00  // mov eax,1200
        CALL_REL(HostSysAlloc)              // call HostSysAlloc
        .byte 0xBA, 0x63, 0x00, 0x00, 0x00  // mov edx,99
        .byte 0xEB, 0x09                    // jmp count
        .byte 0x8B, 0x0B                    // link: mov ecx,[ebx]
        .byte 0x89, 0x08                    // mov [eax],ecx
        .byte 0x89, 0x03                    // mov [ebx],eax
        .byte 0x83, 0xC0, 0x0C              // add eax,12
        .byte 0x4A                          // count: dec edx
        ALTBYTE zonep, 0x79, 0x7D           // jns link   (or jge: edx never overflows here)
        .byte 0xF4
        .byte 0x5B                          // pop ebx
        .byte 0xC3                          // ret

// ---- new zone: eax = context, edx = bytes needed; the new zone, made current ------
        .balign 16
        SEARCHED_ROUTINE zonea, NewZone, _DccNewZone
        .byte 0x53, 0x56, 0x57              // push ebx; push esi; push edi
        .byte 0x8B, 0xFA                    // mov edi,edx
        .byte 0x8B, 0xF0                    // mov esi,eax
        .byte 0x8B, 0xD7                    // mov edx,edi
        .byte 0x8B, 0x46, 0x18              // mov eax,[esi+0x18]      the context's zone size
        CALL_REL(HostTakeZone)              // call HostTakeZone       a descriptor with memory
        .byte 0x8B, 0xD8                    // mov ebx,eax
        ALTBYTE zonea, 0x33, 0x31           // xor eax,eax
        .byte 0xC0
        .byte 0x89, 0x03                    // mov [ebx],eax           last of the chain
        mov eax, [esi+0x0C]
        test eax, eax
        jz 1f
        mov [eax], ebx                      // after the current zone
        jmp 2f
1:      mov [esi+0x08], ebx                 // or the first zone
2:      mov [esi+0x0C], ebx                 // and current
        mov dword ptr [esi+0x10], 0         // nothing used in it yet
        mov eax, ebx
        pop edi
        pop esi
        pop ebx
        ret

// ---- release one zone: eax = its descriptor --------------------------------------
// Its memory becomes a free range, merged with a free range that ends where
// it starts or starts where it ends; a merged range's descriptor is released.
        .balign 16
        SEARCHED_ROUTINE zonef, FreeZone, _DccFreeZone
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0xBE                          // mov esi,offset DccFreeRanges   (the link to look at)
        .long _DccFreeRanges
.Lfz_look:                                  // +0x09 (never a jump target inside the first 9 bytes)
        .byte 0x8B, 0x06                    // mov eax,[esi]
        ALTBYTE zonef, 0x85, 0x0B           // test eax,eax
        .byte 0xC0
        .byte 0x74, 0x46                    // je insert
        .byte 0x8B, 0x50, 0x08              // mov edx,[eax+8]
        .byte 0x03, 0x50, 0x04              // add edx,[eax+4]         end of the free range
        .byte 0x3B, 0x53, 0x08              // cmp edx,[ebx+8]
        .byte 0x75, 0x17                    // jne above
        .byte 0x8B, 0x08                    // mov ecx,[eax]           the range ends where the zone starts:
        .byte 0x89, 0x0E                    // mov [esi],ecx           out of the list,
        .byte 0x8B, 0x48, 0x04              // mov ecx,[eax+4]
        .byte 0x01, 0x4B, 0x04              // add [ebx+4],ecx         into the zone
        .byte 0x8B, 0x48, 0x08              // mov ecx,[eax+8]
        .byte 0x89, 0x4B, 0x08              // mov [ebx+8],ecx
        CALL_REL(_DccFreeDescriptor)        // call DccFreeDescriptor
        .byte 0xEB, 0xD8                    // jmp look                same link again
        .byte 0x8B, 0x53, 0x08              // above: mov edx,[ebx+8]
        .byte 0x03, 0x53, 0x04              // add edx,[ebx+4]         end of the zone
        .byte 0x3B, 0x50, 0x08              // cmp edx,[eax+8]
        .byte 0x75, 0x14                    // jne next
        .byte 0x8B, 0x08                    // mov ecx,[eax]           the range starts where the zone ends
        .byte 0x89, 0x0E                    // mov [esi],ecx
        .byte 0x8B, 0x48, 0x04              // mov ecx,[eax+4]
        .byte 0x01, 0x4B, 0x04              // add [ebx+4],ecx
        CALL_REL(_DccFreeDescriptor)        // call DccFreeDescriptor
        .byte 0xEB, 0xBC                    // jmp look
        .byte 0xCC, 0xCC, 0xCC
        .byte 0x8B, 0xF0                    // next: mov esi,eax        (Next is the range's first field)
        .byte 0xEB, 0xB5                    // jmp look
        .byte 0xCC
        .byte 0x8B, 0x15                    // insert: mov edx,[DccFreeRanges]
        .long _DccFreeRanges
        .byte 0x89, 0x13                    // mov [ebx],edx
        .byte 0x89, 0x1D                    // mov [DccFreeRanges],ebx
        .long _DccFreeRanges
        .byte 0x5E, 0x5B                    // pop esi; pop ebx
        .byte 0xC3                          // ret

// ---- release a chain of zones: eax = the first ---------------------------------
        .balign 16
        SEARCHED_ROUTINE zonec, FreeZoneChain, _DccFreeZoneChain
        .byte 0x53                          // push ebx
        ALTBYTE zonec, 0x85, 0x0B           // test eax,eax
        .byte 0xC0
        .byte 0x74, 0x0D                    // je done
        .byte 0x8B, 0x18                    // zone: mov ebx,[eax]
        CALL_REL(_DccFreeZone)              // call DccFreeZone
        .byte 0x8B, 0xC3                    // mov eax,ebx
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x75, 0xF3                    // jne zone
        .byte 0x5B                          // done: pop ebx
        .byte 0xC3                          // ret

// ---- whether a context holds an address: eax = context, edx = address; 0 or 1 -
        .balign 16
        .globl _DccContextHolds
_DccContextHolds:
        mov ecx, [eax+0x08]
1:      test ecx, ecx
        jz 2f
        mov eax, edx
        sub eax, [ecx+0x08]
        cmp eax, [ecx+0x04]
        jb 3f
        mov ecx, [ecx]
        jmp 1b
2:      xor eax, eax
        ret
3:      mov eax, 1
        ret

// ---- whether a unit belongs to a context: eax = context, edx = unit record; 0 or 1
// A unit belongs to the context its record was allocated from.
        .balign 16
        .globl _DccContextHoldsUnit
_DccContextHoldsUnit:
        jmp _DccContextHolds

// ---- G: the unit an address belongs to: eax = address; the unit or null ---------
// The address must lie in a context of DccContexts (an internal error otherwise);
// the answer is the first listed unit whose record lies in that context.
        .balign 16
        SEARCHED_ROUTINE zoneg, GetUnitOf, _DccGetUnitOf
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x8B, 0xF0                    // mov esi,eax
        .byte 0x8B, 0x1D                    // mov ebx,[DccContexts]
        .long _DccContexts
        .byte 0xEB, 0x02                    // jmp test
        .byte 0x8B, 0x1B                    // context: mov ebx,[ebx]
        ALTBYTE zoneg, 0x85, 0x0B           // test: test ebx,ebx
        .byte 0xDB
        .byte 0x74, 0x0D                    // je none
        .byte 0x8B, 0xD6                    // mov edx,esi
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_DccContextHolds)          // call DccContextHolds
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0xED                    // je context
        .byte 0x85, 0xDB                    // none: test ebx,ebx
        .byte 0x75, 0x17                    // jne units
        .byte 0x68                          // push offset "GetUnitOf"
        .long .Lwhere_getunitof
        .byte 0x68                          // push line
        .long 1001
        .byte 0x68                          // push code
        .long 0xF1001
        CALL_REL(DccInternalError)          // call DccInternalError
        .byte 0x83, 0xC4, 0x0C              // add esp,12
        .byte 0x8B, 0x35                    // units: mov esi,[DccUnitListHead]
        .long _DccUnitListHead
        .byte 0xEB, 0x03                    // jmp test unit
        .byte 0x8B, 0x76, 0x04              // unit: mov esi,[esi+4]
        .byte 0x85, 0xF6                    // test unit: test esi,esi
        .byte 0x74, 0x0D                    // je done
        .byte 0x8B, 0xD6                    // mov edx,esi
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_DccContextHoldsUnit)      // call DccContextHoldsUnit
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0xEC                    // je unit
        .byte 0x8B, 0xC6                    // done: mov eax,esi
        .byte 0x5E, 0x5B                    // pop esi; pop ebx
        .byte 0xC3                          // ret

// ---- N1: a new unit in a new context of its own; no arguments ---------------------
// The context stays the current one (the unit is being compiled). The record
// is the context's first allocation; its flags come from the compile mode
// (0x2000 in a CodeInsight compile) and the unit options (0x4000).
        .balign 16
        SEARCHED_ROUTINE zonen1, CreateUnit, _DccCreateUnit
        .byte 0x53                          // push ebx
        CALL_REL(HostNewUnitContext)        // call HostNewUnitContext
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0x89, 0x1D                    // mov [DccCurrentContext],ebx
        .long _DccCurrentContext
        .byte 0xBA                          // mov edx,DCC_UNIT_RECORD_SIZE
        .long DCC_UNIT_RECORD_SIZE
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(HostAllocate)              // call HostAllocate
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0x80, 0x3D                    // cmp byte [DccCompileMode],2
        .long _DccCompileMode
        .byte 0x02
        .byte 0x75, 0x07                    // jne normal
        .byte 0xB9, 0x01, 0x00, 0x00, 0x00  // mov ecx,1
        .byte 0xEB, 0x02                    // jmp flags
        ALTBYTE zonen1, 0x33, 0x31          // normal: xor ecx,ecx
        .byte 0xC9
        .byte 0xC1, 0xE1, 0x0D              // flags: shl ecx,13
        .byte 0xF6, 0x05                    // test byte [DccUnitOptions],8
        .long _DccUnitOptions
        .byte 0x08
        .byte 0x74, 0x06                    // je store
        .byte 0x81, 0xC9, 0x00, 0x40, 0x00, 0x00  // or ecx,0x4000
        .byte 0x66, 0x89, 0x4B, 0x14        // store: mov [ebx+0x14],cx
        .byte 0x8B, 0xC3                    // mov eax,ebx
        .byte 0x5B                          // pop ebx
        .byte 0xC3                          // ret

// ---- K: the context an address lies in: eax = address; the context or null -------
// Walks the three chains in turn.
        .balign 16
        SEARCHED_ROUTINE zonek, ContextOf, _DccContextOf
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x8B, 0xF0                    // mov esi,eax
        .byte 0x8B, 0x1D                    // mov ebx,[DccContexts]
        .long _DccContexts
        ALTBYTE zonek, 0x85, 0x0B           // test ebx,ebx
        .byte 0xDB
        .byte 0x74, 0x18                    // je scratch
        .byte 0x8B, 0xD6                    // context: mov edx,esi
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_DccContextHolds)          // call DccContextHolds
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x05                    // je next
        .byte 0x8B, 0xC3                    // mov eax,ebx
        .byte 0x5E, 0x5B                    // pop esi; pop ebx
        .byte 0xC3                          // ret
        .byte 0x8B, 0x1B                    // next: mov ebx,[ebx]
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x75, 0xE8                    // jne context
        .byte 0x8B, 0x1D                    // scratch: mov ebx,[DccScratchContexts]   (+0x26)
        .long _DccScratchContexts
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x74, 0x18                    // je tables
        .byte 0x8B, 0xD6                    // context2: mov edx,esi
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_DccContextHolds)          // call DccContextHolds
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x05                    // je next2
        .byte 0x8B, 0xC3                    // mov eax,ebx
        .byte 0x5E, 0x5B                    // pop esi; pop ebx
        .byte 0xC3                          // ret
        .byte 0x8B, 0x1B                    // next2: mov ebx,[ebx]
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x75, 0xE8                    // jne context2
        .byte 0x8B, 0x1D                    // tables: mov ebx,[DccTableContexts]   (+0x48)
        .long _DccTableContexts
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x74, 0x18                    // je none
        .byte 0x8B, 0xD6                    // context3: mov edx,esi
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_DccContextHolds)          // call DccContextHolds
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x05                    // je next3
        .byte 0x8B, 0xC3                    // mov eax,ebx
        .byte 0x5E, 0x5B                    // pop esi; pop ebx
        .byte 0xC3                          // ret
        .byte 0x8B, 0x1B                    // next3: mov ebx,[ebx]
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x75, 0xE8                    // jne context3
        .byte 0x33, 0xC0                    // none: xor eax,eax
        .byte 0x5E, 0x5B                    // pop esi; pop ebx
        .byte 0xC3                          // ret

// ---- U: the unit of an address, second form: eax = address; the unit or null -----
// The context's first allocation is its unit record: taken at once for the
// context being filled, otherwise only when that record is on the unit list.
        .balign 16
        SEARCHED_ROUTINE zoneu, UnitOfAddress, _DccUnitOfAddress
.Lu:    .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x8B, 0xF0                    // mov esi,eax
        ALTBYTE zoneu, 0x85, 0x0B           // test esi,esi
        .byte 0xF6
        .byte 0x0F, 0x84, 0x8E, 0x00, 0x00, 0x00  // je none (+0x9A)
        .byte 0x8B, 0x1D                    // mov ebx,[DccContexts]
        .long _DccContexts
        .byte 0x85, 0xDB                    // test: test ebx,ebx     (+0x12)
        .byte 0x0F, 0x84, 0x80, 0x00, 0x00, 0x00  // je none
        .byte 0x8B, 0xD6                    // mov edx,esi
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_DccContextHolds)          // call DccContextHolds
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x6D                    // je next (+0x94)
        .byte 0x8B, 0x4B, 0x08              // mov ecx,[ebx+8]         first zone
        .byte 0x3B, 0x1D                    // cmp ebx,[DccCurrentContext]
        .long _DccCurrentContext
        .byte 0x8B, 0x71, 0x08              // mov esi,[ecx+8]         its first allocation
        .byte 0x74, 0x46                    // je unit (+0x7B)
        .byte 0x80, 0x3D                    // cmp byte [DccCompileMode],2
        .long _DccCompileMode
        .byte 0x02
        .byte 0x75, 0x07                    // jne count
        .byte 0xB8, 0x01, 0x00, 0x00, 0x00  // mov eax,1
        .byte 0xEB, 0x02                    // jmp counted
        .byte 0x33, 0xC0                    // count: xor eax,eax     (+0x45)
        .byte 0x01, 0x05                    // counted: add [DccUnitOfLookups],eax  (+0x47)
        .long _DccUnitOfLookups
        .byte 0x8B, 0x15                    // mov edx,[DccUnitListHead]
        .long _DccUnitListHead
        .byte 0x85, 0xD2                    // listed: test edx,edx   (+0x53)
        .byte 0x74, 0x09                    // je unlisted
        .byte 0x3B, 0xD6                    // cmp edx,esi
        .byte 0x74, 0x20                    // je unit
        .byte 0x8B, 0x52, 0x04              // mov edx,[edx+4]
        .byte 0xEB, 0xF3                    // jmp listed
        .byte 0xEB, 0x38                    // unlisted: jmp none      (+0x60)
        .byte 0x8B, 0x1B                    // nextcontext: mov ebx,[ebx]   (+0x62)
        .byte 0xEB, 0xAC                    // jmp test
        PAD_TO(.Lu, 0x7B)
        .byte 0x8B, 0xC6                    // unit: mov eax,esi      (+0x7B)
        .byte 0x5E, 0x5B                    // pop esi; pop ebx
        .byte 0xC3                          // ret
        PAD_TO(.Lu, 0x94)
        .byte 0xEB, 0xCC                    // next: jmp nextcontext  (+0x94)
        PAD_TO(.Lu, 0x9A)
        .byte 0x33, 0xC0                    // none: xor eax,eax      (+0x9A)
        .byte 0x5E, 0x5B                    // pop esi; pop ebx
        .byte 0xC3                          // ret

// ---- W1: the unit of an entity: eax = address, dl = 1 if it is a reference -----
// A reference (Dcc::TReference) knows the unit that made it; anything else is
// searched: its context, then the first listed unit whose record lies there.
        .balign 16
        .globl _DccUnitOfEntity
_DccUnitOfEntity:
        push ebx
        push esi
        mov esi, eax
        test dl, dl
        .byte 0x74, 0x06                    // je search
        SEARCHED_ROUTINE zonew1, UnitOfEntity, _DccUnitOfEntitySearch
        .byte 0x8B, 0x46, 0x20              // mov eax,[esi+0x20]      the reference's unit
        .byte 0x5E, 0x5B                    // pop esi; pop ebx
        .byte 0xC3                          // ret
        .byte 0x8B, 0x1D                    // search: mov ebx,[DccContexts]
        .long _DccContexts
        .byte 0xEB, 0x02                    // jmp test
        .byte 0x8B, 0x1B                    // context: mov ebx,[ebx]
        ALTBYTE zonew1, 0x85, 0x0B          // test: test ebx,ebx
        .byte 0xDB
        .byte 0x74, 0x0D                    // je found
        .byte 0x8B, 0xD6                    // mov edx,esi
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_DccContextHolds)          // call DccContextHolds
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0xED                    // je context
        .byte 0x85, 0xDB                    // found: test ebx,ebx
        .byte 0x75, 0x05                    // jne units
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0x5E, 0x5B                    // done: pop esi; pop ebx    (+0x27)
        .byte 0xC3                          // ret
        mov esi, [_DccUnitListHead]         // units: the first listed unit of context ebx
1:      test esi, esi
        jz 2f
        mov edx, esi
        mov eax, ebx
        call _DccContextHoldsUnit
        test eax, eax
        jnz 2f
        mov esi, [esi+4]
        jmp 1b
2:      mov eax, esi
        pop esi
        pop ebx
        ret

// ---- W2: whether an entity belongs to the unit being compiled --------------------
// eax = address, dl = 1 if it is a reference; 0 or 1.
        .balign 16
        .globl _DccOfCurrentUnit
_DccOfCurrentUnit:
        push ebx
        push esi
        mov esi, eax
        test dl, dl
        .byte 0x74, 0x12                    // je search
        SEARCHED_ROUTINE zonew2, OfCurrentUnit, _DccOfCurrentUnitSearch
        .byte 0x8B, 0x4E, 0x20              // mov ecx,[esi+0x20]      the reference's unit
        .byte 0x3B, 0x0D                    // cmp ecx,[DccCurrentUnit]
        .long _DccCurrentUnit
        .byte 0x0F, 0x94, 0xC0              // sete al
        .byte 0x83, 0xE0, 0x01              // and eax,1
        .byte 0x5E, 0x5B                    // pop esi; pop ebx
        .byte 0xC3                          // ret
        .byte 0x8B, 0x1D                    // search: mov ebx,[DccContexts]   (+0x12)
        .long _DccContexts
        .byte 0xEB, 0x02                    // jmp test
        .byte 0x8B, 0x1B                    // context: mov ebx,[ebx]
        ALTBYTE zonew2, 0x85, 0x0B          // test: test ebx,ebx
        .byte 0xDB
        .byte 0x74, 0x0D                    // je found
        .byte 0x8B, 0xD6                    // mov edx,esi
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_DccContextHolds)          // call DccContextHolds
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0xED                    // je context
        .byte 0x85, 0xDB                    // found: test ebx,ebx   (+0x2D)
        .byte 0x75, 0x05                    // jne compare
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0x5E, 0x5B                    // pop esi; pop ebx
        .byte 0xC3                          // ret
        mov edx, [_DccCurrentUnit]          // compare: the current unit's record in that context?
        mov eax, ebx
        call _DccContextHolds
        pop esi
        pop ebx
        ret

// ---- W3: the context a symbol's target address lies in ---------------------------
// eax = symbol, edx = address; for a symbol with byte 3 clear and an address,
// the address's context (an internal error if there is none), else null.
        .balign 16
        .globl _DccTargetContext
_DccTargetContext:
        push ebx
        push esi
        push ebp
        mov esi, eax
        mov ebp, edx
        xor ebx, ebx
        SEARCHED_ROUTINE zonew3, TargetContext, _DccTargetContextSearch
        .byte 0x80, 0x7E, 0x03, 0x00        // cmp byte [esi+3],0
        .byte 0x75, 0x3A                    // jne done
        ALTBYTE zonew3, 0x85, 0x0B          // test ebp,ebp
        .byte 0xED
        .byte 0x74, 0x36                    // je done
        .byte 0x8B, 0x1D                    // mov ebx,[DccContexts]
        .long _DccContexts
        .byte 0xEB, 0x02                    // jmp test
        .byte 0x8B, 0x1B                    // context: mov ebx,[ebx]
        .byte 0x85, 0xDB                    // test: test ebx,ebx
        .byte 0x74, 0x0D                    // je found
        .byte 0x8B, 0xD5                    // mov edx,ebp
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_DccContextHolds)          // call DccContextHolds
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0xED                    // je context
        .byte 0x85, 0xDB                    // found: test ebx,ebx   (+0x25)
        .byte 0x75, 0x17                    // jne done
        .byte 0x68                          // push offset "TargetContext"
        .long .Lwhere_targetcontext
        .byte 0x68                          // push line
        .long 1003
        .byte 0x68                          // push code
        .long 0xF1003
        CALL_REL(DccInternalError)          // call DccInternalError
        .byte 0x83, 0xC4, 0x0C              // add esp,12
        .byte 0x8B, 0xC3                    // done: mov eax,ebx      (+0x40)
        .byte 0x5D, 0x5E, 0x5B              // pop ebp; pop esi; pop ebx
        .byte 0xC3                          // ret

// ---- N2: a new unit, second form: eax = flags, edx = state; the unit record -------
// The new context is current while the record is made, then the previous one
// is again.
        .balign 16
        SEARCHED_ROUTINE zonen2, CreateUnitSaved, _DccCreateUnitSaved
        .byte 0x53, 0x56, 0x57, 0x55        // push ebx; push esi; push edi; push ebp
        .byte 0x83, 0xC4, 0xF4              // add esp,-12
        .byte 0x89, 0x54                    // mov [esp+4],edx
        ALTBYTE zonen2, 0x24, 0x64          // (SIB: scale bits ignored without an index)
        .byte 0x04
        .byte 0x89, 0x04, 0x24              // mov [esp],eax
        .byte 0xBE                          // mov esi,offset DccUnitsCreated
        .long _DccUnitsCreated
        .byte 0xA1                          // mov eax,[DccCurrentContext]
        .long _DccCurrentContext
        .byte 0x89, 0x44, 0x24, 0x08        // mov [esp+8],eax        kept
        CALL_REL(HostNewUnitContext)        // call HostNewUnitContext
        .byte 0xA3                          // mov [DccCurrentContext],eax
        .long _DccCurrentContext
        .byte 0xB8                          // mov eax,DCC_UNIT_RECORD_SIZE
        .long DCC_UNIT_RECORD_SIZE
        CALL_REL(HostAllocateCurrent)       // call HostAllocateCurrent
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0x68                          // push DCC_UNIT_RECORD_SIZE
        .long DCC_UNIT_RECORD_SIZE
        .byte 0x6A, 0x00                    // push 0
        .byte 0x53                          // push ebx
        CALL_REL(DccFillBytes)              // call DccFillBytes       (cdecl)
        add esp, 12
        inc dword ptr [esi]
        mov eax, [esp]
        mov [ebx+0x14], ax                  // flags
        mov eax, [esp+4]
        mov [ebx+0x12], al                  // state
        mov eax, [esp+8]
        mov [_DccCurrentContext], eax       // the previous context again
        mov eax, ebx
        add esp, 12
        pop ebp
        pop edi
        pop esi
        pop ebx
        ret

        .section .rdata, "dr"
.Lwhere_getunitof:     .asciz "GetUnitOf"
.Lwhere_targetcontext: .asciz "TargetContext"
