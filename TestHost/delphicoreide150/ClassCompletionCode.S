// Class completion's routines as the host's compiler wrote them (host
// register convention), each searched pattern a SEARCHED_ROUTINE:
//   ParseMethodOrAlias (EAX = class manager, EDX = class symbol, ECX =
//     access): EDI the manager, ESI the member's name, EBX its index; the
//     token kind (first call, kept as a byte at [ebp-0x0D]) and the name's
//     class (the call at +15: 2 for an identifier); anything else marks the
//     member as no method to complete ([ebp-0x1C]).
//   ClassSymbolByPosition (EAX = completer, EDX = position): the method's
//     name escaped with "&" when IsReserved says so, for its declaration
//     (site B, the symbol in ESI) and for its implementation header (site C,
//     the symbol in EBX).
//   EnsureSection (EAX = updater, EDX = class, ECX = access, stack: a line):
//     a persistent class without a published section gets an empty one
//     first while the updater keeps implicit members published (the `74`
//     at +15 of the pattern skips it otherwise); both jumps of the pattern
//     land on the section's making, 0x83 bytes after it.
// ALTBYTEs: the jumps that land one byte later or earlier (on a nop);
// `test al,al` as `or al,al`. Form completeb-ownreserved: site B calls a
// copy of IsReserved.

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .text

// ---- ParseMethodOrAlias -----------------------------------------------------------
        .balign 16
        .globl _delphicore_ParseMethodOrAlias
_delphicore_ParseMethodOrAlias:
        push ebp
        mov ebp, esp
        sub esp, 0x20
        push ebx
        push esi
        push edi
        mov edi, eax                        // the manager
        mov [ebp-8], edx                    // the class
        mov [ebp-0x0C], ecx                 // the access
        xor eax, eax
        mov [ebp-0x1C], eax                 // not rejected
        mov eax, edi
        call _delphicore_MemberName
        mov esi, eax                        // the member's name
        mov ebx, [edi+0x4C]                 // its index
        SEARCHED_ROUTINE completea, ClassCompletionA, _delphicore_ClassCompletionA
        .byte 0x8B, 0x47, 0x48              // mov eax,[edi+0x48]         the lexer
        .byte 0x8B, 0xD3                    // mov edx,ebx
        CALL_REL(_delphicore_TokenKind)     // al = the token kind
        .byte 0x88, 0x45, 0xF3              // mov [ebp-0x0D],al
        .byte 0x8B, 0xC6                    // mov eax,esi                (+13) the name
        CALL_REL(_delphicore_Classify)      // (+15) al = its class
        .byte 0x3C, 0x02                    // cmp al,2
        .byte 0x74                          // je +35 (on the nop, or past it)
        ALTBYTE completea, 0x0A, 0x0B
        .byte 0x8D, 0x55, 0xE4              // lea edx,[ebp-0x1C]
        .byte 0x8B, 0xC6                    // mov eax,esi
        CALL_REL(_delphicore_NotAName)
        nop                                 // +34
        cmp dword ptr [ebp-0x1C], 0
        jne 1f
        mov eax, edi
        mov edx, [ebp-8]
        movzx ecx, byte ptr [ebp-0x0D]
        call _delphicore_AddMethod
1:      pop edi
        pop esi
        pop ebx
        mov esp, ebp
        pop ebp
        ret

// ---- ClassSymbolByPosition ---------------------------------------------------------
        .balign 16
        .globl _delphicore_ClassSymbolByPosition
_delphicore_ClassSymbolByPosition:
        push ebp
        mov ebp, esp
        sub esp, 0x1040
        push ebx
        push esi
        push edi
        mov edi, eax                        // the completer
        call _delphicore_SymbolAt           // (completer, position)
        mov esi, eax                        // the method's symbol
        test esi, esi
        jz 2f
        lea eax, [ebp-4]
        mov [_delphicore_NameVariable], eax
        mov eax, esi
        call _delphicore_SymbolName
        mov [ebp-4], eax
        SEARCHED_ROUTINE completeb, ClassCompletionB, _delphicore_ClassCompletionB
        ROUTINE_FORM completeb, ownreserved
        .byte 0x8B, 0x45, 0xFC              // mov eax,[ebp-4]            the name
.ifc QM_VARIANT, completeb_ownreserved
        CALL_REL(_delphicore_IsReservedCopy)
.else
        CALL_REL(_delphicore_IsReserved)    // (+3) al = a reserved word?
.endif
        ALTBYTE completeb, 0x84, 0x08       // test al,al
        .byte 0xC0
        .byte 0x74, 0x10                    // je +28
        .byte 0x8D, 0x45, 0xFC              // lea eax,[ebp-4]
        .byte 0x8B, 0x4D, 0xFC              // mov ecx,[ebp-4]
        .byte 0xBA                          // mov edx,offset '&'
        .long _delphicore_Ampersand
        CALL_REL(_delphicore_StrCat3)       // name := '&' + name
        .byte 0x6A, 0x02                    // push 2
        .byte 0x8D, 0x95, 0xDC, 0xEF, 0xFF, 0xFF  // lea edx,[ebp-0x1024]
        mov eax, esi
        call _delphicore_FormatDeclaration
        mov eax, edi
        lea edx, [ebp-0x1024]
        call _delphicore_Emit
        mov ebx, esi                        // the implementation's symbol
        mov eax, ebx
        call _delphicore_SymbolName
        mov [ebp-4], eax
        SEARCHED_ROUTINE completec, ClassCompletionC, _delphicore_ClassCompletionC
        .byte 0x8B, 0x45, 0xFC              // mov eax,[ebp-4]            the name
        CALL_REL(_delphicore_IsReserved)    // (+3) al = a reserved word?
        ALTBYTE completec, 0x84, 0x08       // test al,al
        .byte 0xC0
        .byte 0x74, 0x10                    // je +28
        .byte 0x8D, 0x45, 0xFC              // lea eax,[ebp-4]
        .byte 0x8B, 0x4D, 0xFC              // mov ecx,[ebp-4]
        .byte 0xBA                          // mov edx,offset '&'
        .long _delphicore_Ampersand
        CALL_REL(_delphicore_StrCat3)       // name := '&' + name
        .byte 0x6A, 0x02                    // push 2
        .byte 0x8D, 0x95, 0xCC, 0xEF, 0xFF, 0xFF  // lea edx,[ebp-0x1034]
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_delphicore_FormatImplementation)
        mov eax, edi
        lea edx, [ebp-0x1034]
        call _delphicore_Emit
2:      mov dword ptr [_delphicore_NameVariable], 0
        pop edi
        pop esi
        pop ebx
        mov esp, ebp
        pop ebp
        ret

// ---- EnsureSection -------------------------------------------------------------------
        .balign 16
        .globl _delphicore_EnsureSection
_delphicore_EnsureSection:
        push ebp
        mov ebp, esp
        sub esp, 0x10
        push ebx
        mov [ebp-4], eax                    // the updater
        mov [ebp-8], edx                    // the class
        mov [ebp-0x10], ecx                 // the access
        mov eax, edx
        mov edx, ecx
        call _delphicore_FindSection
        test eax, eax
        jge 4f                              // there is one
        mov eax, [ebp-8]
        call _delphicore_PersistentMinimum
        mov [ebp-0x0C], eax                 // published sections a persistent class needs
        mov eax, [ebp-8]
        mov edx, 3
        call _delphicore_CountSections      // published sections it has
        SEARCHED_ROUTINE ensuresection, EnsureSectionPublished, _delphicore_EnsureSectionPublished
.Lensure:
        .byte 0x3B, 0x45, 0xF4              // cmp eax,[ebp-0x0C]
        .byte 0x7D                          // jge make (on the nop before it, or on it)
        ALTBYTE ensuresection, 0x7E, 0x7D
        .byte 0x8B, 0x45, 0xFC              // mov eax,[ebp-4]
        .byte 0x83, 0xB8, 0x34, 0x00, 0x00, 0x00, 0x00  // cmp dword [eax+0x34],0
        .byte 0x74, 0x72                    // je make                    (+15)
        .byte 0x8B, 0x45, 0xFC              // mov eax,[ebp-4]
        mov edx, [ebp-8]
        mov ecx, 3
        call _delphicore_AddSection         // an empty published section
        .org .Lensure + 0x83, 0x90
        mov eax, [ebp-4]                    // make: +0x83
        mov edx, [ebp-8]
        mov ecx, [ebp-0x10]
        call _delphicore_AddSection
4:      pop ebx
        mov esp, ebp
        pop ebp
        ret 4
