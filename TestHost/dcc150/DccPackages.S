// The stand-in compiler's package routines, byte for byte in the form the
// real compiler library has them: find a package by name (B), remove one
// (P), release all (Q), find or load one (R), the package containing a unit
// (S) and the duplicate-unit check (T, with its error report E). They work on
// the loaded packages' list (DccPackages.h: package records {Next 0x00,
// Units 0x0C, Flags 0x10, Name 0x22A}, contained-unit nodes {Next 0x00,
// Flags 0x3C, Name 0x45}). Laid out in the order the pack searches them, each
// within its window of the one before. C++ (DccPackages.cpp) loads, frees and
// walks the slow way. Host register convention.

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4
#define JMP_REL(target) .byte 0xE9; .long target - . - 4

        .intel_syntax noprefix

        .data
        .balign 4
        .globl _DccPackageListHead, _DccPackageCount, _DccPackageListStamp, _DccUnitProbeStamp
        .globl _DccLastProbeMiss, _DccSysInitName, _DccSysInitHash
_DccPackageListHead:  .long 0   // first package record
_DccPackageCount:     .long 0   // packages on the list
_DccPackageListStamp: .long 0   // raised by every load and removal (and by a package starting to unload)
_DccUnitProbeStamp:   .long 0   // the list stamp at the last full walk of the package-of-unit routine
_DccLastProbeMiss:    .long 0   // the head package whose quick probe last missed
_DccSysInitName:      .long .Lsysinit
_DccSysInitHash:      .byte 0   // HostNameHashByte("SysInit"), set at load
        .section .rdata, "dr"
.Lsysinit:            .asciz "SysInit"
.Lassert_text:        .asciz "PackageListHead <> nil"
.Lassert_file:        .asciz "PkgList.pas"

        .text

// ---- B: find a loaded package by name: eax = name (a leading '.' is skipped) ---
        .balign 16
        SEARCHED_ROUTINE pkgfind, PackageFind, _DccFindPackage
        .byte 0x53, 0x56                    // push ebx; push esi
        ALTBYTE pkgfind, 0x85, 0x09         // test eax,eax
        .byte 0xC0
        .byte 0x75, 0x05                    // jne named
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0x5E, 0x5B                    // pop esi; pop ebx
        .byte 0xC3                          // ret
        .byte 0x8B, 0xF0                    // named: mov esi,eax
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0x8A, 0x06                    // mov al,[esi]
        .byte 0x83, 0xF8, 0x2E              // cmp eax,'.'
        .byte 0x75, 0x01                    // jne walk
        .byte 0x46                          // inc esi
        .byte 0x8B, 0x1D                    // walk: mov ebx,[DccPackageListHead]
        .long _DccPackageListHead
        .byte 0xEB, 0x02                    // jmp test
        .byte 0x8B, 0x1B                    // next: mov ebx,[ebx]
        .byte 0x85, 0xDB                    // test: test ebx,ebx
        .byte 0x74, 0x11                    // je done
        .byte 0x8D, 0x83, 0x2A, 0x02, 0x00, 0x00  // lea eax,[ebx+0x22A]
        .byte 0x8B, 0xD6                    // mov edx,esi
        CALL_REL(_DccNameCompare)
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x75, 0xE9                    // jne next
        .byte 0x8B, 0xC3                    // done: mov eax,ebx
        .byte 0x5E, 0x5B                    // pop esi; pop ebx
        .byte 0xC3                          // ret

// ---- P: remove a package from the list: eax = package, edx = keep the record ---
// The record (and its unit nodes) is released unless edx is nonzero.
        .balign 16
        SEARCHED_ROUTINE pkgremove, PackageRemove, _DccRemovePackage
        .byte 0x53, 0x56                    // push ebx; push esi
        .byte 0x8B, 0xDA                    // mov ebx,edx
        .byte 0x8B, 0xF0                    // mov esi,eax
        .byte 0x83, 0x3D                    // cmp dword [DccPackageListHead],0
        .long _DccPackageListHead
        .byte 0x00
        .byte 0x75, 0x17                    // jne listed
        .byte 0x68                          // push line
        .long 412
        .byte 0x68                          // push file
        .long .Lassert_file
        .byte 0x68                          // push text
        .long .Lassert_text
        CALL_REL(HostPackageAssert)
        .byte 0x83, 0xC4, 0x0C              // add esp,12
        .byte 0xA1                          // listed: mov eax,[DccPackageListHead]
        .long _DccPackageListHead
        .byte 0xBA                          // mov edx,offset DccPackageListHead
        .long _DccPackageListHead
        .byte 0x3B, 0xF0                    // cmp esi,eax
        .byte 0x74, 0x08                    // je found
        .byte 0x8B, 0xD0                    // walk: mov edx,eax
        .byte 0x8B, 0x00                    // mov eax,[eax]
        ALTBYTE pkgremove, 0x3B, 0x39       // cmp esi,eax
        .byte 0xF0
        .byte 0x75, 0xF8                    // jne walk
        .byte 0x8B, 0x00                    // found: mov eax,[eax]
        .byte 0x89, 0x02                    // mov [edx],eax
        dec dword ptr [_DccPackageCount]
        inc dword ptr [_DccPackageListStamp]
        test ebx, ebx
        jnz .Lpr_kept
        mov eax, esi
        call HostFreePackage
.Lpr_kept:
        pop esi
        pop ebx
        ret

// ---- Q: release every package -------------------------------------------------
        .balign 16
        SEARCHED_ROUTINE pkgreleaseall, PackageReleaseAll, _DccReleasePackages
        .byte 0x53, 0x56                    // push ebx; push esi
        .byte 0xBE                          // mov esi,offset DccPackageCount
        .long _DccPackageCount
        .byte 0xBB                          // mov ebx,offset DccPackageListHead
        .long _DccPackageListHead
        .byte 0xEB, 0x07                    // jmp test
        ALTBYTE pkgreleaseall, 0x33, 0x31   // remove: xor edx,edx
        .byte 0xD2
        CALL_REL(_DccRemovePackage)
        .byte 0x8B, 0x03                    // test: mov eax,[ebx]
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x75, 0xF3                    // jne remove
        mov dword ptr [esi], 0
        pop esi
        pop ebx
        ret

// ---- R: find a package by name or load it: eax = name; the package or nil ------
// A package not on the list is loaded and appended at the list's end.
        .balign 16
        SEARCHED_ROUTINE pkgload, PackageFindOrLoad, _DccFindOrLoadPackage
        .byte 0x53, 0x56, 0x57              // push ebx; push esi; push edi
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x75, 0x07                    // jne named
        .byte 0x33, 0xC0                    // xor eax,eax
        JMP_REL(.Lfl_exit)
        .byte 0x8B, 0xF0                    // named: mov esi,eax
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0x8A, 0x06                    // mov al,[esi]
        .byte 0x83, 0xF8, 0x2E              // cmp eax,'.'
        .byte 0x75, 0x01                    // jne walk
        .byte 0x46                          // inc esi
        .byte 0xBB                          // walk: mov ebx,offset DccPackageListHead
        .long _DccPackageListHead
        .byte 0xEB, 0x02                    // jmp test
        .byte 0x8B, 0x1B                    // next: mov ebx,[ebx]
        .byte 0x8B, 0x03                    // test: mov eax,[ebx]
        ALTBYTE pkgload, 0x85, 0x0B         // test eax,eax
        .byte 0xC0
        .byte 0x74, 0x10                    // je end
        .byte 0x05, 0x2A, 0x02, 0x00, 0x00  // add eax,0x22A
        .byte 0x8B, 0xD6                    // mov edx,esi
        CALL_REL(_DccNameCompare)
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x75, 0xE8                    // jne next
        // end: ebx is the link that holds the package found, or the list's last link.
        mov eax, [ebx]
        test eax, eax
        jnz .Lfl_exit
        mov eax, esi
        call HostLoadPackage
        test eax, eax
        jz .Lfl_exit
        mov [ebx], eax
        inc dword ptr [_DccPackageCount]
        inc dword ptr [_DccPackageListStamp]
.Lfl_exit:
        pop edi
        pop esi
        pop ebx
        ret

// ---- T: check a package's units against every other package: eax = package -----
// Reports each unit that another package contains too (E), unless both unit
// nodes carry flag 0x20; returns whether anything was reported.
        .balign 16
        SEARCHED_ROUTINE pkgdupcheck, PackageDuplicateCheck, _DccCheckPackageUnits
        .byte 0x53, 0x56, 0x57, 0x55, 0x51  // push ebx; push esi; push edi; push ebp; push ecx
        .byte 0x8B, 0xE8                    // mov ebp,eax
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0x89, 0x04, 0x24              // mov [esp],eax
        .byte 0x8B, 0x3D                    // mov edi,[DccPackageListHead]
        .long _DccPackageListHead
        .byte 0x85, 0xFF                    // test edi,edi
        .byte 0x74, 0x6C                    // je done
        .byte 0x3B, 0xEF                    // package: cmp ebp,edi
        .byte 0x74, 0x62                    // je nextpackage
        .byte 0x8B, 0x75, 0x0C              // mov esi,[ebp+0x0C]
        ALTBYTE pkgdupcheck, 0x85, 0x0B     // test esi,esi
        .byte 0xF6
        .byte 0x74, 0x5B                    // je nextpackage
        .byte 0x8B, 0x5F, 0x0C              // unit: mov ebx,[edi+0x0C]
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x74, 0x4E                    // je nextunit
        .byte 0x8D, 0x46, 0x45              // other: lea eax,[esi+0x45]
        .byte 0x8D, 0x53, 0x45              // lea edx,[ebx+0x45]
        CALL_REL(_DccNameCompare)
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x75, 0x32                    // jne nextother
        .byte 0xF6, 0x46, 0x3C, 0x20        // test byte [esi+0x3C],0x20
        .byte 0x74, 0x06                    // je report
        .byte 0xF6, 0x43, 0x3C, 0x20        // test byte [ebx+0x3C],0x20
        .byte 0x75, 0x26                    // jne nextother
        SEARCHED_ROUTINE pkgerror, PackageDuplicateError, _DccPackageDuplicateReport
        .byte 0x8D, 0x4E, 0x45              // report: lea ecx,[esi+0x45]
        .byte 0x8D, 0x85, 0x2A, 0x02, 0x00, 0x00  // lea eax,[ebp+0x22A]
        .byte 0x51                          // push ecx
        .byte 0x8D, 0x8F, 0x2A, 0x02, 0x00, 0x00  // lea ecx,[edi+0x22A]
        .byte 0x51                          // push ecx
        .byte 0x50                          // push eax
        .byte 0x68                          // push 2201
        .long 2201
        CALL_REL(HostPackageError)
        // add esp,16 (in its variant with a 32-bit immediate: 81 C4 10 00 00 00)
        ALTBYTE pkgerror, 0x83, 0x81
        .byte 0xC4, 0x10
        .ifc QM_VARIANT, pkgerror
        .byte 0x00, 0x00, 0x00
        .endif
        .byte 0xC6, 0x04, 0x24, 0x01        // mov byte [esp],1
        .org _DccCheckPackageUnits + 0x69, 0x90
        .byte 0x8B, 0x1B                    // nextother: mov ebx,[ebx]
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x75, 0xB9                    // jne other
        .org _DccCheckPackageUnits + 0x76, 0x90
        .byte 0x8B, 0x36                    // nextunit: mov esi,[esi]
        .byte 0x85, 0xF6                    // test esi,esi
        .byte 0x75, 0xA5                    // jne unit
        .byte 0x8B, 0x3F                    // nextpackage: mov edi,[edi]
        .byte 0x85, 0xFF                    // test edi,edi
        .byte 0x75, 0x94                    // jne package
        .byte 0x58                          // done: pop eax
        .byte 0x5D, 0x5F, 0x5E, 0x5B        // pop ebp; pop edi; pop esi; pop ebx
        .byte 0xC3                          // ret

// ---- S: the package that contains a unit: eax = unit name; package or nil -------
// Never a package that is unloading (flag 4), never for "SysInit". While the
// list is unchanged since the last full walk, the head package is probed
// first unless it is loading (flag 2) or its last probe missed; the probe and
// the walk give the same answer.
        .balign 16
        SEARCHED_ROUTINE pkgofunit, PackageOfUnit, _DccPackageOfUnit
        .byte 0x53, 0x56, 0x57, 0x55        // push ebx; push esi; push edi; push ebp
        .byte 0x8B, 0xF8                    // mov edi,eax
        .byte 0x8B, 0xC7                    // mov eax,edi
        CALL_REL(HostNameHashByte)
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0x83, 0x3D                    // cmp dword [DccPackageListHead],0
        .long _DccPackageListHead
        .byte 0x00
        .byte 0x74, 0x22                    // je none
        .byte 0x3A, 0x1D                    // cmp bl,[DccSysInitHash]
        .long _DccSysInitHash
        .byte 0x75, 0x21                    // jne search
        .byte 0x8B, 0x15                    // mov edx,[DccSysInitName]
        .long _DccSysInitName
        .byte 0x8B, 0xC7                    // mov eax,edi
        CALL_REL(_DccNameCompare)
        ALTBYTE pkgofunit, 0x85, 0x0B       // test eax,eax
        .byte 0xC0
        .byte 0x75, 0x10                    // jne search
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0xE9, 0xA2, 0x00, 0x00, 0x00  // jmp exit
        .byte 0xEB, 0x07                    // jmp search
        .byte 0x33, 0xC0                    // none: xor eax,eax
        .byte 0xE9, 0x99, 0x00, 0x00, 0x00  // jmp exit
        .byte 0x8B, 0x35                    // search: mov esi,[DccPackageListHead]
        .long _DccPackageListHead
        .byte 0x85, 0xF6                    // test esi,esi
        .byte 0x74, 0x40                    // je walk
        .byte 0x3B, 0x35                    // cmp esi,[DccLastProbeMiss]
        .long _DccLastProbeMiss
        .byte 0x74, 0x38                    // je walk
        .byte 0xA1                          // mov eax,[DccPackageListStamp]
        .long _DccPackageListStamp
        .byte 0x3B, 0x05                    // cmp eax,[DccUnitProbeStamp]
        .long _DccUnitProbeStamp
        .byte 0x75, 0x2B                    // jne walk
        .byte 0xF6, 0x46, 0x10, 0x02        // test byte [esi+0x10],2
        .byte 0x75, 0x25                    // jne walk
        mov edx, esi                        // probe: the head package first
        mov eax, edi
        call HostProbeHeadPackage
        test eax, eax
        jnz .Lpu_exit
        .org _DccPackageOfUnit + 0x8B, 0x90
        mov eax, edi                        // walk: every package, in list order
        call HostUnitPackageWalk
        .org _DccPackageOfUnit + 0xDA, 0x90
.Lpu_exit:
        .byte 0x5D, 0x5F, 0x5E, 0x5B        // exit: pop ebp; pop edi; pop esi; pop ebx
        .byte 0xC3                          // ret
