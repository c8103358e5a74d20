// The editor kernel's bracket search loop, byte for byte where the pack
// looks for it (three patterns at fixed distances: the loop's start, its
// comparison with the sought token, its nesting check). Host register
// convention: EAX = the search record (BracketSearch.h); the match or nil
// in EAX. Frame, from EBP:
//   [ebp-0x30] the sought token's length (from the token-length call)
//   [ebp-0x2C] last position        [ebp-0x28] current position
//   word [ebp-0x22] direction       byte [ebp-0x1D] nesting flag
//   [ebp-0x18] sought token         [ebp-0x14] the caret's own token
//   [ebp-0x10] nesting depth        EDI first position, BX token length
// Each pattern is a searched routine with one ALTBYTE (an equivalent
// encoding) for its variant build; the nesting check also exists in a form
// that calls a copy of the comparison (variant bracketnesting-owncompare).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4
#define JMP_REL(target) .byte 0xE9; .long target - . - 4

        .intel_syntax noprefix
        .text

        .balign 16
        .globl _BorEditFindBracket
_BorEditFindBracket:
        push ebp
        mov ebp, esp
        sub esp, 0x30
        push ebx
        push esi
        push edi
        mov esi, eax
        mov edi, [esi]                      // first position
        mov eax, [esi+0x0C]
        mov [ebp-0x22], ax                  // direction
        mov al, [esi+0x10]
        mov [ebp-0x1D], al                  // nesting flag
        lea eax, [esi+0x2C]
        mov [ebp-0x18], eax                 // sought token
        lea eax, [esi+0x38]
        mov [ebp-0x14], eax                 // own token
        mov ebx, [esi+0x14]                 // bx = token length
        xor eax, eax
        mov [ebp-0x10], eax                 // depth 0
        mov [esi+0x18], eax                 // no match yet
        mov [esi+0x1C], eax
        test bx, bx
        jle .Lno_token
        mov ecx, [esi+0x08]                 // start at the caret's token
        mov eax, [esi+0x04]                 // last position

        SEARCHED_ROUTINE bracketstart, ParanMatchingStart, _BorEditBracketStart
        .byte 0x89, 0x4D, 0xD8              // mov [ebp-0x28],ecx        position
        .byte 0x89, 0x45, 0xD4              // mov [ebp-0x2C],eax        last
        .byte 0x8D, 0x46, 0x2C              // lea eax,[esi+0x2C]        the sought token
        .byte 0x50                          // push eax
        CALL_REL(_BorEditTokenLength)       // call TokenLength          (call site 1, +10)
        ALTBYTE bracketstart, 0x59, 0x5A    // pop ecx (edx: both are dead here)
        .byte 0x89, 0x45, 0xD0              // mov [ebp-0x30],eax
.Ladvance:                                  // +19
        .byte 0x0F, 0xBF, 0x4D, 0xDE        // movsx ecx,word [ebp-0x22]
        .byte 0x01, 0x4D, 0xD8              // add [ebp-0x28],ecx
        .byte 0x8B, 0x4D, 0xD8              // mov ecx,[ebp-0x28]
        .byte 0x3B, 0x4D, 0xD4              // cmp ecx,[ebp-0x2C]
        .byte 0x77, 0x05                    // ja exit                   (past the last position)
        .byte 0x3B, 0x7D, 0xD8              // cmp edi,[ebp-0x28]
        .byte 0x76, 0x58                    // jbe compare (+127)
.Lexit:                                     // +39: no match
        .byte 0x33, 0xC0                    // xor eax,eax
.Lreturn:                                   // +41
        .byte 0x5F                          // pop edi
        .byte 0x5E                          // pop esi
        .byte 0x5B                          // pop ebx
        .byte 0x8B, 0xE5                    // mov esp,ebp
        .byte 0x5D                          // pop ebp
        .byte 0xC3                          // ret
.Lfound:                                    // +48
        .byte 0x8B, 0x45, 0xD8              // mov eax,[ebp-0x28]        the match
        .byte 0x89, 0x46, 0x18              // mov [esi+0x18],eax
        .byte 0x8B, 0x55, 0xD0              // mov edx,[ebp-0x30]
        .byte 0x89, 0x56, 0x1C              // mov [esi+0x1C],edx        its length
        .byte 0xEB, 0xEB                    // jmp return (+41)
        .fill 63, 1, 0xCC                   // +62 .. +124

        SEARCHED_ROUTINE bracketcompare, ParanMatchingCompare, _BorEditBracketCompare  // +125
        .byte 0xEB, 0xA8                    // jmp exit (+39)
        .byte 0x0F, 0xBF, 0xC3              // movsx eax,bx              (+127)
        .byte 0x50                          // push eax                  length
        .byte 0x8B, 0x55, 0xE8              // mov edx,[ebp-0x18]
        .byte 0x52                          // push edx                  sought token
        .byte 0x8B, 0x4D, 0xD8              // mov ecx,[ebp-0x28]
        .byte 0x51                          // push ecx                  position
        CALL_REL(_BorEditTokenCompare)      // call TokenCompare         (call site 2, +14)
        .byte 0x83, 0xC4, 0x0C              // add esp,12
        ALTBYTE bracketcompare, 0x85, 0x0B  // test eax,eax
        .byte 0xC0
        .byte 0x75, 0x1D                    // jne nesting (+180)
        .byte 0x83, 0x7D, 0xF0, 0x00        // cmp dword [ebp-0x10],0    (+151)
        .byte 0x75, 0x0F                    // jne closes a nested pair (+172)
        .byte 0xEB, 0x91                    // jmp found (+48)
        .fill 13, 1, 0xCC                   // +159 .. +171
        .byte 0xFF, 0x4D, 0xF0              // dec dword [ebp-0x10]      (+172)

        SEARCHED_ROUTINE bracketnesting, ParanMatchingNesting, _BorEditBracketNesting  // +175
        .byte 0xE9, 0x5F, 0xFF, 0xFF, 0xFF  // jmp advance (+19)
        .byte 0x80, 0x7D, 0xE3, 0x00        // cmp byte [ebp-0x1D],0     (+180)
        .byte 0x0F, 0x84, 0x55, 0xFF, 0xFF, 0xFF  // je advance
        .byte 0x0F, 0xBF, 0xC3              // movsx eax,bx
        .byte 0x50                          // push eax
        .byte 0x8B, 0x55, 0xEC              // mov edx,[ebp-0x14]
        .byte 0x52                          // push edx                  own token
        .byte 0x8B, 0x4D, 0xD8              // mov ecx,[ebp-0x28]
        .byte 0x51                          // push ecx
        ROUTINE_FORM bracketnesting, owncompare
        .ifc QM_VARIANT, bracketnesting_owncompare
        CALL_REL(_BorEditTokenCompareCopy)  // call its own copy         (call site 3, +27)
        .else
        CALL_REL(_BorEditTokenCompare)      // call TokenCompare         (call site 3, +27)
        .endif
        .byte 0x83, 0xC4, 0x0C              // add esp,12
        ALTBYTE bracketnesting, 0x85, 0x0B  // test eax,eax
        .byte 0xC0
        .byte 0x0F, 0x85, 0x39, 0xFF, 0xFF, 0xFF  // jne advance
        .byte 0xFF, 0x45, 0xF0              // inc dword [ebp-0x10]      a nested pair opens
        JMP_REL(.Ladvance)

.Lno_token:
        JMP_REL(_BorEditBracketCompare)     // leaves through the loop's exit
