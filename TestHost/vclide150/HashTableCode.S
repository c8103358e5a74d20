// The string hash table's constructor as the IDE's package has it: the
// hash and comparison functions chosen by CaseSensitive and stored into the
// table (searched), and Notify with an ordinary frame prologue. Host
// register convention.
//
// Variant hashctor: the case-insensitive branch stores the hash function
// into the field at 0x40 instead of 0x38 (and so does the other branch,
// through a byte no pattern looks at); the table reads its hash function
// from that field, so it works the same.

#include "Common/SearchedRoutines.inc"

        .intel_syntax noprefix

        .data
        .balign 4
        .globl _VclIdeHashFieldOffset
_VclIdeHashFieldOffset:
.ifc QM_VARIANT, hashctor
        .long 0x40
.else
        .long 0x38
.endif

        .text

// constructor TCustomStringHashTable.Create(CaseSensitive: Boolean;
//   BucketCount: Cardinal; Growth: Double): EAX = class (DL = 1) or instance
//   (DL = 0), CL = CaseSensitive, [esp+4] Growth (8 bytes), [esp+12] BucketCount.
        .balign 16
        .globl _VclIdeHashTableCreate
_VclIdeHashTableCreate:
        push ebx
        push esi
        push edi
        mov ebx, ecx
        mov edi, edx
        mov esi, eax
        test dl, dl
        jz 1f
        call _VclIdeHashTableNewInstance    // eax = class -> new instance
        mov esi, eax
1:      mov eax, esi
        mov edx, [esp+24]                   // BucketCount
        call _VclIdeHashTableInit
        SEARCHED_ROUTINE hashctor, StringHashTableCreate, _VclIdeHashCtorPattern
        .byte 0x84, 0xDB                    // test bl,bl
        .byte 0x74, 0x12                    // jz the case-insensitive branch
        .byte 0xB8                          // mov eax,HashTextCS
        .long _VclIdeHashTextCS
        .byte 0x89, 0x46                    // mov [esi+0x38],eax
.ifc QM_VARIANT, hashctor
        .byte 0x40
.else
        .byte 0x38
.endif
        .byte 0xB8                          // mov eax,CompareCS
        .long _VclIdeCompareCS
        .byte 0x89, 0x46, 0x3C              // mov [esi+0x3C],eax
        .byte 0xEB, 0x10                    // jmp over the other branch
        .byte 0xB8                          // mov eax,HashTextCI
        .long _VclIdeHashTextCI
        .byte 0x89, 0x46                    // mov [esi+0x38],eax
        ALTBYTE hashctor, 0x38, 0x40
        .byte 0xB8                          // mov eax,CompareCI
        .long _VclIdeCompareCI
        .byte 0x89, 0x46, 0x3C              // mov [esi+0x3C],eax
        test edi, edi                       // allocated here: AfterConstruction
        jz 2f
        mov eax, esi
        call _VclIdeHashTableAfterConstruction
2:      mov eax, esi
        pop edi
        pop esi
        pop ebx
        ret 12

// procedure TCustomStringHashTable.Notify(Entry; Notification): EAX = table,
// EDX = entry, CL = notification.
        .balign 16
        .globl _VclIdeHashNotify
_VclIdeHashNotify:
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x57                          // push edi
        call _VclIdeHashNotifyImpl
        pop edi
        pop esi
        pop ebx
        pop ebp
        ret
