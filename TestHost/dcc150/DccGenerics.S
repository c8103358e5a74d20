// The stand-in compiler's generics routines, byte for byte in the form the
// real compiler library has them: the search loops over a unit's two
// instantiation lists (P over the list at 0x140, R over the one at 0x144),
// the purge of temporary instantiations (Q), and the linker's generics
// matching: its bump allocator (A), the allocation of the 256-bucket match
// table (T), the bucket selection by the symbol's byte 2 (H) and the two
// passes over all buckets (L1, L2). Records and the C++ side: DccGenerics.h,
// DccGenerics.cpp. Host register convention.

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix

        .data
        .balign 4
        .globl _DccGenericOwner, _DccGenericsLocked, _DccLinkerCurrent, _DccLinkerLimit, _DccLinkerMatchTable
_DccGenericOwner:      .long 0   // the unit whose instantiations are searched
_DccLinkerCurrent:     .long 0   // the linker's allocator: next free byte counts down from here
_DccLinkerLimit:       .long 0   // ... to here
_DccLinkerMatchTable:  .long 0   // the generics match table: bucket heads of match entries
_DccGenericsLocked:    .byte 0   // nonzero: instantiations are not purged
        .section .rdata, "dr"
.Lalign_text:          .asciz "(Size and 3) = 0"
.Lalign_file:          .asciz "Linker.pas"

        .text

// ---- find or add an instantiation of the list at 0x140: eax = key, edx = value --
// The first node whose record has the key and that the match routine accepts
// for the value; else a new node appended at the list's end. Returns the node.
        .balign 16
        .globl _DccFindInstance1
_DccFindInstance1:
        push ebp
        mov ebp, esp
        sub esp, 8
        mov [ebp-8], edx
        push ebx
        push esi
        push edi
        mov edi, eax
        SEARCHED_ROUTINE geninst1, GenericsInstance1, _DccInstance1Loop
        .byte 0x8B, 0x35                    // mov esi,[DccGenericOwner]
        .long _DccGenericOwner
        .byte 0x81, 0xC6, 0x40, 0x01, 0x00, 0x00  // add esi,0x140
        .byte 0xEB, 0x20                    // jmp test
        .byte 0x8B, 0x53, 0x04              // node: mov edx,[ebx+4]
        .byte 0x8B, 0x42, 0x18              // mov eax,[edx+0x18]
        .byte 0x3B, 0xF8                    // cmp edi,eax
        .byte 0x75, 0x14                    // jne next
        .byte 0x8B, 0x4D, 0xF8              // mov ecx,[ebp-8]
        .byte 0x51                          // push ecx
        .byte 0x8B, 0xCF                    // mov ecx,edi
        .byte 0x8B, 0x52, 0x1C              // mov edx,[edx+0x1C]
        CALL_REL(HostMatchInstance1)
        ALTBYTE geninst1, 0x85, 0x0B        // test eax,eax
        .byte 0xC0
        .byte 0x74, 0x02                    // je next
        .byte 0xEB, 0x08                    // jmp done
        .byte 0x8B, 0xF3                    // next: mov esi,ebx
        .byte 0x8B, 0x1E                    // test: mov ebx,[esi]
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x75, 0xDA                    // jne node
        // done: ebx = the node found, or nil with esi the list's last link
        test ebx, ebx
        jnz .Li1_found
        mov ecx, [ebp-8]
        mov edx, edi
        mov eax, esi
        call HostNewInstance1
        mov ebx, eax
.Li1_found:
        mov eax, ebx
        pop edi
        pop esi
        pop ebx
        mov esp, ebp
        pop ebp
        ret

// ---- find or add an instantiation of the list at 0x144 --------------------------
// eax = key record, edx = context, ecx = match data. A node matches when its
// context and key record are these and the match routine accepts it.
        .balign 16
        .globl _DccFindInstance2
_DccFindInstance2:
        push ebx
        push esi
        push edi
        push ebp
        mov edi, eax
        mov ebp, ecx
        push edx
        SEARCHED_ROUTINE geninst2, GenericsInstance2, _DccInstance2Loop
        .byte 0x8B, 0x35                    // mov esi,[DccGenericOwner]
        .long _DccGenericOwner
        .byte 0x81, 0xC6, 0x44, 0x01, 0x00, 0x00  // add esi,0x144
        .byte 0xEB, 0x29                    // jmp test
        .byte 0x8B, 0x43, 0x08              // node: mov eax,[ebx+8]
        .byte 0x3B, 0x04, 0x24              // cmp eax,[esp]
        .byte 0x75, 0x1F                    // jne next
        .byte 0x3B, 0x7B, 0x0C              // cmp edi,[ebx+0x0C]
        .byte 0x75, 0x1A                    // jne next
        .byte 0x8B, 0x57, 0x0C              // mov edx,[edi+0x0C]
        .byte 0x52                          // push edx
        .byte 0x8B, 0xD5                    // mov edx,ebp
        .byte 0x8B, 0x4B, 0x0C              // mov ecx,[ebx+0x0C]
        .byte 0x8B, 0x43, 0x10              // mov eax,[ebx+0x10]
        .byte 0x8B, 0x49, 0x0C              // mov ecx,[ecx+0x0C]
        CALL_REL(HostMatchInstance2)
        ALTBYTE geninst2, 0x85, 0x0B        // test eax,eax
        .byte 0xC0
        .byte 0x74, 0x02                    // je next
        .byte 0xEB, 0x08                    // jmp done
        .byte 0x8B, 0xF3                    // next: mov esi,ebx
        .byte 0x8B, 0x1E                    // test: mov ebx,[esi]
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x75, 0xD1                    // jne node
        test ebx, ebx
        jnz .Li2_found
        mov ecx, [esp]
        mov edx, edi
        mov eax, esi
        push ebp
        call HostNewInstance2
        mov ebx, eax
.Li2_found:
        mov eax, ebx
        pop edx
        pop ebp
        pop edi
        pop esi
        pop ebx
        ret

// ---- purge a unit's temporary instantiations: eax = unit -------------------------
// Only when not locked and when the unit's generics state (record at 0x78)
// is none (0), interface changed (6) or reset (9).
        .balign 16
        SEARCHED_ROUTINE genpurge, GenericsPurge, _DccPurgeInstances
        .byte 0x53, 0x56, 0x57              // push ebx; push esi; push edi
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0x80, 0x3D                    // cmp byte [DccGenericsLocked],0
        .long _DccGenericsLocked
        .byte 0x00
        .byte 0x0F, 0x85                    // jne leave
        .long .Lgp_leave - . - 4
        ALTBYTE genpurge, 0x33, 0x31        // xor esi,esi
        .byte 0xF6
        .byte 0x8B, 0x43, 0x78              // mov eax,[ebx+0x78]
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, .Lgp_leave - . - 1      // je leave
        .byte 0x8A, 0x10                    // mov dl,[eax]
        .byte 0x84, 0xD2                    // test dl,dl
        .byte 0x74, 0x0A                    // je purge
        .byte 0x80, 0xFA, 0x06              // cmp dl,6
        .byte 0x74, 0x05                    // je purge
        .byte 0x80, 0xFA, 0x09              // cmp dl,9
        .byte 0x75, .Lgp_leave - . - 1      // jne leave
        mov eax, ebx                        // purge:
        call HostPurgeInstances
.Lgp_leave:
        pop edi
        pop esi
        pop ebx
        ret

// ---- the linker's allocator: eax = size (a multiple of 4) → memory ---------------
// Counts down from the current pointer; below the limit the slow path takes
// a new block.
        .balign 16
        SEARCHED_ROUTINE linkalloc, LinkerAlloc, _DccLinkerAlloc
        .byte 0x53                          // push ebx
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0xF6, 0xC3, 0x03              // test bl,3
        .byte 0x74, 0x17                    // je aligned
        .byte 0x68                          // push line
        .long 1207
        .byte 0x68                          // push file
        .long .Lalign_file
        .byte 0x68                          // push text
        .long .Lalign_text
        CALL_REL(HostLinkerAssert)
        .byte 0x83, 0xC4, 0x0C              // add esp,12
        .byte 0xA1                          // aligned: mov eax,[DccLinkerCurrent]
        .long _DccLinkerCurrent
        .byte 0x2B, 0xC3                    // sub eax,ebx
        .byte 0x3B, 0x05                    // cmp eax,[DccLinkerLimit]
        .long _DccLinkerLimit
        .byte 0x72, 0x09                    // jb slow
        .byte 0xA3                          // mov [DccLinkerCurrent],eax
        .long _DccLinkerCurrent
        .byte 0x5B, 0xC3                    // pop ebx; ret
        ALTBYTE linkalloc, 0x5B, 0x90       // (never reached: pop ebx; ret)
        .byte 0xC3
        .byte 0x8B, 0xC3                    // slow: mov eax,ebx
        CALL_REL(HostLinkerAllocSlow)
        .byte 0x5B, 0xC3                    // pop ebx; ret

// ---- a new, zero-filled generics match table of 256 buckets ----------------------
        .balign 16
        SEARCHED_ROUTINE linktable, LinkerMatchTable, _DccLinkerNewMatchTable
        // mov eax,0x400 (in its variant 0x404: room for one more bucket, never used)
        .byte 0xB8
        ALTBYTE linktable, 0x00, 0x04
        .byte 0x04, 0x00, 0x00
        CALL_REL(HostLinkerZeroAlloc)
        .byte 0xA3                          // mov [DccLinkerMatchTable],eax
        .long _DccLinkerMatchTable
        .byte 0xC3                          // ret

// ---- match a generic symbol: eax = symbol → its match entry ----------------------
// The bucket is chosen by the symbol's byte 2; the entry with the symbol's
// key and name, or a new one appended to the bucket.
        .balign 16
        SEARCHED_ROUTINE linkbucket, LinkerBucket, _DccLinkerMatch
        .byte 0x53, 0x56, 0x57, 0x55        // push ebx; push esi; push edi; push ebp
        .byte 0x8B, 0xF8                    // mov edi,eax
        .byte 0x8B, 0xC7                    // mov eax,edi
        CALL_REL(HostGenericKey)
        .byte 0x0F, 0xB6, 0x77, 0x02        // movzx esi,byte [edi+2]
        .byte 0xC1                          // shl esi,2 (in its variant as C1 F6 02, the same shift)
        ALTBYTE linkbucket, 0xE6, 0xF6
        .byte 0x02
        .byte 0x8B, 0xE8                    // mov ebp,eax
        .byte 0x03, 0x35                    // add esi,[DccLinkerMatchTable]
        .long _DccLinkerMatchTable
        .byte 0xEB, 0x1A                    // jmp test
.Llm_entry:
        .byte 0x3B, 0x6B, 0x04              // entry: cmp ebp,[ebx+4]
        .byte 0x75, .Llm_next - . - 1       // jne next
        .byte 0x8B, 0x53, 0x08              // mov edx,[ebx+8]
        .byte 0x8D, 0x52, 0x1E              // lea edx,[edx+0x1E]
        .byte 0x8D, 0x47, 0x1E              // lea eax,[edi+0x1E]
        CALL_REL(_DccNameCompare)
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, .Llm_found - . - 1      // je found
.Llm_next:
        .byte 0x8B, 0xF3                    // next: mov esi,ebx
        .byte 0x90
        .byte 0x8B, 0x1E                    // test: mov ebx,[esi]
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x75, .Llm_entry - . - 1      // jne entry
        mov eax, 16                         // a new entry at the bucket's end
        call _DccLinkerAlloc
        mov dword ptr [eax], 0
        mov [eax+4], ebp
        mov [eax+8], edi
        mov dword ptr [eax+12], 0
        mov [esi], eax
        mov ebx, eax
.Llm_found:
        mov eax, ebx
        pop ebp
        pop edi
        pop esi
        pop ebx
        ret

// ---- first pass over all buckets: each entry takes its symbol's address ----------
        .balign 16
        .globl _DccLinkerResolve1
_DccLinkerResolve1:
        push edi
        xor edx, edx
        .byte 0xA1                          // bucket: mov eax,[DccLinkerMatchTable]
        .long _DccLinkerMatchTable
        .byte 0x8B, 0x04, 0x90              // mov eax,[eax+edx*4]
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x15                    // je nextbucket
        .byte 0x8B, 0x48, 0x08              // entry: mov ecx,[eax+8]
        .byte 0x85, 0xC9                    // test ecx,ecx
        .byte 0x74, 0x08                    // je nextentry
        .byte 0x8B, 0xC0                    // mov eax,eax
        SEARCHED_ROUTINE linkpass1, LinkerPass1, _DccLinkerPass1
        .byte 0x8B, 0x79, 0x04              // mov edi,[ecx+4]
        .byte 0x89, 0x78, 0x0C              // mov [eax+0x0C],edi
        .byte 0x8B, 0x00                    // nextentry: mov eax,[eax]
        ALTBYTE linkpass1, 0x85, 0x0B       // test eax,eax
        .byte 0xC0
        .byte 0x75, 0xEB                    // jne entry
        .byte 0x42                          // nextbucket: inc edx
        .byte 0x81, 0xFA, 0x00, 0x01, 0x00, 0x00  // cmp edx,0x100
        .byte 0x7C, 0xD6                    // jl bucket
        pop edi
        ret

// ---- second pass: each entry takes its key's address -----------------------------
        .balign 16
        .globl _DccLinkerResolve2
_DccLinkerResolve2:
        xor edx, edx
        .byte 0xA1                          // bucket: mov eax,[DccLinkerMatchTable]
        .long _DccLinkerMatchTable
        .byte 0x8B, 0x04, 0x90              // mov eax,[eax+edx*4]
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x15                    // je nextbucket
        .byte 0x8B, 0x48, 0x04              // entry: mov ecx,[eax+4]
        .byte 0x85, 0xC9                    // test ecx,ecx
        .byte 0x74, 0x08                    // je nextentry
        .byte 0x8B, 0xC0                    // mov eax,eax
        SEARCHED_ROUTINE linkpass2, LinkerPass2, _DccLinkerPass2
        .byte 0x8B, 0x49, 0x04              // mov ecx,[ecx+4]
        .byte 0x89, 0x48, 0x0C              // mov [eax+0x0C],ecx
        .byte 0x8B, 0x00                    // nextentry: mov eax,[eax]
        ALTBYTE linkpass2, 0x85, 0x0B       // test eax,eax
        .byte 0xC0
        .byte 0x75, 0xEB                    // jne entry
        .byte 0x42                          // nextbucket: inc edx
        .byte 0x81, 0xFA, 0x00, 0x01, 0x00, 0x00  // cmp edx,0x100
        .byte 0x7C, 0xD6                    // jl bucket
        ret
