// The stand-in compiler's file routines, byte for byte where the pack
// searches them: the file-age query, the list of files held in memory, the
// search of a file along the search lists, the lists' AddDir and ClearDirs,
// the two output-file creations, and the outdated check of a compiled unit.
// Searched bytes are .byte lines (each with its instruction); glue around
// them uses mnemonics or fixed-size encodings where an offset must hold.
// Host register convention: eax, edx, ecx, then the stack (callee pops).
//
// Each searched routine has one ALTBYTE: an equivalent encoding (test r,r
// as or r,r; xor r,r through its other opcode; a SIB byte with another
// scale for a base-only address; a frame four bytes larger) used in its
// variant build (Common/SearchedRoutines.inc).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4
#define JMP_REL(target) .byte 0xE9; .long target - . - 4

        .intel_syntax noprefix

// ---- host variables -------------------------------------------------------------
        .data
        .balign 4
        .globl _DccFileCallbacks, _DccSearchLists, _DccMemoryFiles, _DccUnitFileState
        .globl _DccCheckRuns
_DccFileCallbacks:  .long 0            // the IDE's callback table, or null
_DccSearchLists:    .long 0, 0, 0, 0, 0, 0, 0, 0   // heads of the 8 search lists
_DccMemoryFiles:    .long 0            // head of the list of files held in memory
// Executions of the outdated check's bodies: S1 (files of the unit), S2
// (source time), S3 (compiled unit's time), S4 (source time, other build).
_DccCheckRuns:      .long 0, 0, 0, 0
        .globl _DccCompState, _DccCompStateChanges
_DccCompState:      .long 0            // the compiler's state as the IDE last set it
_DccCompStateChanges: .long 0
        .bss
        .balign 16
// The record of the compiled unit's lookup: path buffer at 0x438, time at 0x640.
_DccUnitFileState:  .skip 0x700

        .text

// ---- file age: eax = path (UTF-8) → DOS date/time, 0 when missing --------------
// Through the IDE's callback table (slot 0x20, stdcall FileAge(path)) when
// there is one, else from the file system.
        .balign 16
        SEARCHED_ROUTINE fileage, FileAge, _DccFileAge
.Lfa_start:
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x83, 0xC4, 0xD0              // add esp,-0x30
        .byte 0x8B, 0x15                    // mov edx,[DccFileCallbacks]
        .long _DccFileCallbacks
        ALTBYTE fileage, 0x85, 0x0B         // test edx,edx
        .byte 0xD2
        .byte 0x74, 0x08                    // je disk
        .byte 0x50                          // push eax
        .byte 0xFF, 0x52, 0x20              // call [edx+0x20]
        .byte 0xEB, 0x55                    // jmp done
        .byte 0x8B, 0xC0                    // mov eax,eax
        CALL_REL(HostDiskFileAge)           // disk: eax = path → age
        JMP_REL(.Lfa_done)
        .org .Lfa_start + 0x6A, 0xCC
.Lfa_done:
        .byte 0x83, 0xC4, 0x30              // add esp,0x30
        .byte 0x5E                          // pop esi
        .byte 0x5B                          // pop ebx
        .byte 0xC3                          // ret

// ---- a file held in memory: eax = name, edx = data, ecx = size → node ----------
// Node: Next (0), Data (4), Size (8), name from 0x0C (then the data).
        .balign 16
        .globl _DccAddMemoryFile
_DccAddMemoryFile:
        push ebx
        push esi
        push edi
        push ebp
        mov ebp, ecx
        push edx                            // the data
        mov edx, ebp
        call HostNewMemoryFile              // eax = name, edx = size → node, its data room at 4
        mov ebx, eax
        mov edi, [ebx+4]
        pop esi
        push esi
        push edi
        mov ecx, ebp
        shr ecx, 2
        rep movsd
        mov ecx, ebp
        SEARCHED_ROUTINE memfiles, MemoryFiles, _DccMemoryFileLink
        .byte 0x83, 0xE1, 0x03              // and ecx,3
        .byte 0xF3, 0xA4                    // rep movsb
        .byte 0x5F                          // pop edi
        ALTBYTE memfiles, 0x5E, 0x59        // pop esi (pop ecx: esi is restored below, ecx reloaded)
        .byte 0x89, 0x7B, 0x04              // mov [ebx+4],edi
        .byte 0x89, 0x6B, 0x08              // mov [ebx+8],ebp
        .byte 0x8B, 0x0D                    // mov ecx,[DccMemoryFiles]
        .long _DccMemoryFiles
        .byte 0x89, 0x0B                    // mov [ebx],ecx
        .byte 0x89, 0x1D                    // mov [DccMemoryFiles],ebx
        .long _DccMemoryFiles
        .byte 0x5D, 0x5F, 0x5E, 0x5B        // pop ebp; pop edi; pop esi; pop ebx
        .byte 0xC3                          // ret

// ---- file search: eax = directory (may be null), dl = list kind, ecx = name;
// stack: a reserved argument, then the 261-byte result buffer (may be null).
// Returns the age of the file found (its path in the buffer), 0 when none
// is found (the name in the buffer).
        .balign 16
        SEARCHED_ROUTINE filesearch, FileSearch, _DccFileSearch
.Lfs_start:
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x81, 0xC4                    // add esp,-0x11C
        ALTBYTE filesearch, 0xE4, 0xE0      //   (the other build's frame is 4 bytes larger)
        .byte 0xFE, 0xFF, 0xFF
        .byte 0x53, 0x56, 0x57              // push ebx; push esi; push edi
        .byte 0x89, 0x4D, 0xF4              // mov [ebp-0xC],ecx
        .byte 0x88, 0x55, 0xFB              // mov [ebp-5],dl
        .byte 0x89, 0x45, 0xFC              // mov [ebp-4],eax
        .byte 0x83, 0x7D, 0xFC, 0x00        // cmp dword [ebp-4],0
        .byte 0x8B, 0x75, 0x0C              // mov esi,[ebp+0xC]
        .byte 0x74, 0x0C                    // je nodir
        .byte 0x8B, 0x45, 0xFC              // mov eax,[ebp-4]
        .byte 0x50                          // push eax
        CALL_REL(HostStrLen)                // cdecl
        .byte 0x59                          // pop ecx
        .byte 0xEB, 0x02                    // jmp length
        .byte 0x33, 0xC0                    // nodir: xor eax,eax
        push dword ptr [ebp+8]              // length: the result buffer
        push eax
        push dword ptr [ebp-0xC]
        movzx ecx, byte ptr [ebp-5]
        push ecx
        push dword ptr [ebp-4]
        call HostSearchFile                 // cdecl (dir, kind, name, dir length, buffer)
        add esp, 20
        pop edi
        pop esi
        pop ebx
        mov esp, ebp
        pop ebp
        ret 8

// ---- AddDir: al = list kind, edx = directory ------------------------------------
        .balign 16
        SEARCHED_ROUTINE adddir, AddDir, _DccAddDir
        .byte 0x53                          // push ebx
        .byte 0x81, 0xC4, 0xF4, 0xFD, 0xFF, 0xFF  // add esp,-0x20C
        .byte 0x88, 0x04                    // mov [esp],al
        ALTBYTE adddir, 0x24, 0x64          //   (SIB: base esp, no index)
        .byte 0x8D, 0x44, 0x24, 0x04        // lea eax,[esp+4]
        .byte 0x8B, 0xC8                    // mov ecx,eax
        .byte 0x8B, 0xC2                    // mov eax,edx
        .byte 0x8B, 0xD1                    // mov edx,ecx
        CALL_REL(HostCopyDirectory)         // eax = directory, edx = buffer
        movzx eax, byte ptr [esp]
        lea edx, [esp+4]
        call HostAppendSearchDir            // eax = kind, edx = directory
        add esp, 0x20C
        pop ebx
        ret

// ---- ClearDirs: empties the 8 search lists ---------------------------------------
        .balign 16
        SEARCHED_ROUTINE cleardirs, ClearDirs, _DccClearDirs
        .byte 0x53, 0x56, 0x57, 0x55, 0x51  // push ebx; push esi; push edi; push ebp; push ecx
        .byte 0x8B, 0xFC                    // mov edi,esp      (the kind lives in the pushed slot)
        .byte 0xBD                          // mov ebp,offset DccSearchLists
        .long _DccSearchLists
        .byte 0xC6, 0x07, 0x00              // mov byte [edi],0
.Lcd_kind:
        .byte 0x80, 0x3F, 0x08              // cmp byte [edi],8
        .byte 0x7D, .Lcd_done - . - 1       // jge done
        .byte 0x0F, 0xBE, 0x07              // movsx eax,byte [edi]
        .byte 0x8B, 0x74, 0x85, 0x00        // mov esi,[ebp+eax*4]
        ALTBYTE cleardirs, 0x85, 0x0B       // test esi,esi
        .byte 0xF6
        .byte 0x74, .Lcd_next - . - 1       // je next
        .byte 0x8B, 0xDE                    // mov ebx,esi
.Lcd_node:
        .byte 0x8B, 0x33                    // mov esi,[ebx]
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(HostFreeSearchDir)
        .byte 0x8B, 0xDE                    // mov ebx,esi
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x75, .Lcd_node - . - 1       // jne node
        .byte 0x0F, 0xBE, 0x07              // movsx eax,byte [edi]
        .byte 0xC7, 0x44, 0x85, 0x00        // mov dword [ebp+eax*4],0
        .long 0
.Lcd_next:
        .byte 0xFE, 0x07                    // inc byte [edi]
        .byte 0xEB, .Lcd_kind - . - 1       // jmp kind
.Lcd_done:
        .byte 0x59, 0x5D, 0x5F, 0x5E, 0x5B  // pop ecx; pop ebp; pop edi; pop esi; pop ebx
        .byte 0xC3                          // ret

// ---- output files: eax = path → file handle, -1 when it cannot be created ------
// Through the IDE's callback table (slot 0x04 for a compiled unit, 0x08 for
// a text or resource output), else created here.
        .balign 16
        SEARCHED_ROUTINE open1, Open1, _DccOpen1
        .byte 0x53, 0x56, 0x57              // push ebx; push esi; push edi
        .byte 0x8B, 0xF0                    // mov esi,eax
        .byte 0xA1                          // mov eax,[DccFileCallbacks]
        .long _DccFileCallbacks
        ALTBYTE open1, 0x85, 0x0B           // test eax,eax
        .byte 0xC0
        .byte 0x74, .Lo1_own - . - 1        // je own
        .byte 0x56                          // push esi
        .byte 0xFF, 0x50, 0x04              // call [eax+4]
        .byte 0xEB, .Lo1_done - . - 1       // jmp done
.Lo1_own:
        .byte 0x8B, 0xC6                    // mov eax,esi
        .byte 0x33, 0xD2                    // xor edx,edx
        CALL_REL(HostCreateOutput)
.Lo1_done:
        .byte 0x5F, 0x5E, 0x5B, 0xC3        // pop edi; pop esi; pop ebx; ret

        SEARCHED_ROUTINE open2, Open2, _DccOpen2
        .byte 0x53, 0x56                    // push ebx; push esi
        .byte 0x81, 0xC4, 0xFC, 0xFE, 0xFF, 0xFF  // add esp,-0x104
        .byte 0x8B, 0xF0                    // mov esi,eax
        .byte 0xA1                          // mov eax,[DccFileCallbacks]
        .long _DccFileCallbacks
        ALTBYTE open2, 0x85, 0x0B           // test eax,eax
        .byte 0xC0
        .byte 0x74, .Lo2_own - . - 1        // je own
        .byte 0x56                          // push esi
        .byte 0xFF, 0x50, 0x08              // call [eax+8]
        .byte 0xEB, .Lo2_done - . - 1       // jmp done
.Lo2_own:
        .byte 0x8B, 0xC6                    // mov eax,esi
        .byte 0xBA, 0x01, 0x00, 0x00, 0x00  // mov edx,1
        CALL_REL(HostCreateOutput)
.Lo2_done:
        .byte 0x81, 0xC4, 0x04, 0x01, 0x00, 0x00  // add esp,0x104
        .byte 0x5E, 0x5B, 0xC3              // pop esi; pop ebx; ret

// ---- SetCompState (stdcall, the new state): the IDE tells the compiler that
// its state changed (options, saved files).
        .balign 16
        .globl _SetCompState@4
_SetCompState@4:
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x8B, 0x45, 0x08              // mov eax,[ebp+8]
        mov [_DccCompState], eax
        inc dword ptr [_DccCompStateChanges]
        pop ebp
        ret 4

// ---- the age of a file for the outdated check: eax = path, edx = 261-byte
// buffer → age (the path copied into the buffer, then aged there).
        .balign 16
        .globl _DccCheckAge
_DccCheckAge:
        jmp HostCheckAge

// ---- outdated check: eax = unit record → 1 when the unit must be compiled ------
// Unit record: 0x1C the compiled unit's time, 0x24 the files of the unit
// (nodes {Next, ..., 0x0A: checked, 0x0B: path}), 0x80 the unit symbol,
// 0x84 the compiled-unit candidates, 0x88 the source candidates (nodes
// {Next, 4: path}). The first existing candidate gives each time; each file
// of the unit (its own source is checked here too) must be older than the
// compiled unit.
//
// Each loop body that the pack rewrites follows a branch that is always
// taken, so it runs only when its loop jumps into it; _DccCheckRuns counts
// the runs of each body.
        .balign 16
        .globl _DccUnitOutdated
_DccUnitOutdated:
        push ebp
        mov ebp, esp
        sub esp, 0x430
        push ebx
        push esi
        push edi
        mov [ebp-0x10], eax                 // the unit
        xor eax, eax
        mov [ebp-0x0C], eax                 // source time, not known yet
        mov ebx, offset _DccUnitFileState
        mov dword ptr [ebx+0x640], 0
        mov eax, [ebp-0x10]
        mov eax, [eax+0x84]
        mov [ebp-0x14], eax                 // first compiled-unit candidate
        JMP_REL(.Ls3_start)

// The compiled unit's time: the record in ebx, the candidate's path in esi.
        .balign 4
        SEARCHED_ROUTINE outdated3, Outdated3, _DccOutdated3
.Ls3_start:
        ALTBYTE outdated3, 0x33, 0x31       // xor esi,esi
        .byte 0xF6
        .byte 0x85, 0xF6                    // test esi,esi
        .byte 0x0F, 0x84                    // je control (far)
        .long .Ls3_control - . - 4
        .byte 0x8D, 0x93, 0x38, 0x04, 0x00, 0x00  // body: lea edx,[ebx+0x438]
        .byte 0x8B, 0xC6                    // mov eax,esi
        CALL_REL(_DccCheckAge)
        .byte 0x83, 0xBB, 0x40, 0x06, 0x00, 0x00, 0x00  // cmp dword [ebx+0x640],0
        .byte 0x75, 0x29                    // jne next
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x25                    // je next
        .byte 0x89, 0x83, 0x40, 0x06, 0x00, 0x00  // mov [ebx+0x640],eax
        .byte 0xEB, .Ls3_next - . - 1     // jmp next
        .org .Ls3_start + 0x49, 0xCC
.Ls3_next:
        .byte 0xFF, 0x05                    // next: inc dword [DccCheckRuns+8]
        .long _DccCheckRuns + 8
        .byte 0x8B, 0x45, 0xEC              // mov eax,[ebp-0x14]
        .byte 0x8B, 0x00                    // mov eax,[eax]
        .byte 0x89, 0x45, 0xEC              // mov [ebp-0x14],eax
        JMP_REL(.Ls3_control)

// The source time ([ebp-0x0C]; the other build keeps it in esi), the
// candidate's path in ebx.
        .balign 4
.Lsource_phase:
        mov eax, [ebp-0x10]
        mov eax, [eax+0x88]
        mov [ebp-0x14], eax                 // first source candidate
        .set .Lqm_source_in_esi, 0
        .ifc QM_VARIANT, outdated2_s4
        .set .Lqm_source_in_esi, 1
        .endif
        .ifc QM_VARIANT, outdated4
        .set .Lqm_source_in_esi, 1
        .endif
        .if .Lqm_source_in_esi
        xor esi, esi
        SEARCHED_ROUTINE outdated4, Outdated4, _DccOutdated4
.Ls4_start:
        ALTBYTE outdated4, 0x33, 0x31       // xor ebx,ebx
        .byte 0xDB
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x74, 0x6D                    // je control
        .byte 0x8D, 0x95, 0xDC, 0xFB, 0xFF, 0xFF  // body: lea edx,[ebp-0x424]
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_DccCheckAge)
        .byte 0x85, 0xF6                    // test esi,esi
        .byte 0x75, 0x16                    // jne next
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x12                    // je next
        .byte 0x8B, 0xF0                    // mov esi,eax
        .byte 0xEB, .Ls4_next - . - 1     // jmp next
        .org .Ls4_start + 0x2D, 0xCC
.Ls4_next:
        .byte 0xFF, 0x05                    // next: inc dword [DccCheckRuns+12]
        .long _DccCheckRuns + 12
        .byte 0x8B, 0x45, 0xEC              // mov eax,[ebp-0x14]
        .byte 0x8B, 0x00                    // mov eax,[eax]
        .byte 0x89, 0x45, 0xEC              // mov [ebp-0x14],eax
        .byte 0xEB, .Ls4_control - . - 1   // jmp control
        .org .Ls4_start + 0x73, 0xCC
.Ls4_control:
        .byte 0x8B, 0x45, 0xEC              // mov eax,[ebp-0x14]
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, .Ls4_done - . - 1       // je done
        .byte 0x8D, 0x58, 0x04              // lea ebx,[eax+4]
        JMP_REL(.Ls4_start + 6)
.Ls4_done:
        .byte 0x89, 0x75, 0xF4              // mov [ebp-0x0C],esi
        JMP_REL(.Lcompare_phase)
        .else
        SEARCHED_ROUTINE outdated2, Outdated2, _DccOutdated2
        ROUTINE_FORM outdated2, s4
.Ls2_start:
        ALTBYTE outdated2, 0x33, 0x31       // xor ebx,ebx
        .byte 0xDB
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x74, 0x64                    // je control
        .byte 0x8D, 0x95, 0xE4, 0xFC, 0xFF, 0xFF  // body: lea edx,[ebp-0x31C]
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_DccCheckAge)
        .byte 0x83, 0x7D, 0xF4, 0x00        // cmp dword [ebp-0x0C],0
        .byte 0x75, 0x16                    // jne next
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x12                    // je next
        .byte 0x89, 0x45, 0xF4              // mov [ebp-0x0C],eax
        .byte 0xEB, .Ls2_next - . - 1     // jmp next
        .org .Ls2_start + 0x2F, 0xCC
.Ls2_next:
        .byte 0xFF, 0x05                    // next: inc dword [DccCheckRuns+4]
        .long _DccCheckRuns + 4
        .byte 0x8B, 0x45, 0xEC              // mov eax,[ebp-0x14]
        .byte 0x8B, 0x00                    // mov eax,[eax]
        .byte 0x89, 0x45, 0xEC              // mov [ebp-0x14],eax
        .byte 0xEB, .Ls2_control - . - 1   // jmp control
        .org .Ls2_start + 0x6A, 0xCC
.Ls2_control:
        .byte 0x8B, 0x45, 0xEC              // mov eax,[ebp-0x14]
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, .Ls2_done - . - 1       // je done
        .byte 0x8D, 0x58, 0x04              // lea ebx,[eax+4]
        JMP_REL(.Ls2_start + 6)
.Ls2_done:
        JMP_REL(.Lcompare_phase)
        .endif

// The files of the unit, each against the compiled unit's time: the list
// walk jumps into the body for every file marked checked (the unit in esi,
// the node kept in edi).
        .balign 4
.Lcompare_phase:
        mov esi, [ebp-0x10]
        mov eax, [esi+0x1C]
        test eax, eax
        jz .Loutdated                       // no compiled unit
        cmp [ebp-0x0C], eax
        jae .Loutdated                      // the source is not older
        xor ebx, ebx
        mov eax, [esi+0x24]
        test eax, eax
        jz .Lup_to_date
        JMP_REL(.Ls1_walk)
        .balign 4
.Ls1_walk:
        .byte 0x8B, 0xF8                    // walk: mov edi,eax
        .byte 0x38, 0x58, 0x0A              // cmp [eax+0x0A],bl
        .byte 0x75, 0x0A                    // jne body
        SEARCHED_ROUTINE outdated1, Outdated1, _DccOutdated1
.Ls1_start:
        .byte 0x8B, 0x00                    // mov eax,[eax]
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x75, 0xF3                    // jne walk
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x45                    // je after (carry clear: the list is done)
        ALTBYTE outdated1, 0x33, 0x31       // body: xor ebx,ebx
        .byte 0xDB
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x75, 0x11                    // jne compare
        .byte 0x54                          // push esp
        .byte 0x6A, 0x00                    // push 0
        .byte 0x8D, 0x48, 0x0B              // lea ecx,[eax+0x0B]
        .byte 0xB2, 0x03                    // mov dl,3
        .byte 0x33, 0xC0                    // xor eax,eax
        CALL_REL(DccFindFileAge)
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0x3B, 0x5E, 0x1C              // compare: cmp ebx,[esi+0x1C]
        .byte 0x72, 0x29                    // jb after (carry set: older, go on)
        .byte 0xFF, 0x05                    // inc dword [DccCheckRuns]
        .long _DccCheckRuns
        JMP_REL(.Loutdated)
        .org .Ls1_start + 0x4F, 0xCC
        .byte 0x72, 0x02                    // after: jb next
        .byte 0xEB, .Lup_to_date - . - 1    // jmp up to date
        .byte 0xFF, 0x05                    // next: inc dword [DccCheckRuns]
        .long _DccCheckRuns
        .byte 0x8B, 0xC7                    // mov eax,edi
        .byte 0x33, 0xDB                    // xor ebx,ebx
        JMP_REL(.Ls1_start)
.Lup_to_date:
        xor eax, eax
        jmp .Lcheck_done
.Loutdated:
        mov eax, 1
.Lcheck_done:
        pop edi
        pop esi
        pop ebx
        mov esp, ebp
        pop ebp
        ret

// The compiled unit's candidates are walked here, far from their body.
        .org .Ls3_start + 0x24A, 0xCC
.Ls3_control:
        .byte 0x8B, 0x45, 0xEC              // mov eax,[ebp-0x14]
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, .Ls3_done - . - 1       // je done
        .byte 0x8D, 0x70, 0x04              // lea esi,[eax+4]
        JMP_REL(.Ls3_start + 0x0A)
.Ls3_done:
        .byte 0x8B, 0x83, 0x40, 0x06, 0x00, 0x00  // mov eax,[ebx+0x640]
        .byte 0x8B, 0x4D, 0xF0              // mov ecx,[ebp-0x10]
        .byte 0x89, 0x41, 0x1C              // mov [ecx+0x1C],eax
        JMP_REL(.Lsource_phase)
