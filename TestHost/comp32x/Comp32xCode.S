// The stand-in C++ compiler's identifier and debug-symbol bookkeeping, byte
// for byte where the pack searches it: the intern function, the debug-symbol
// lookup, the context release, stricmp, the integer-suffix reader with its
// ltolower call site, and ltolower. Searched bytes are .byte lines with their
// instruction as a comment; glue around them uses mnemonics. Every routine
// here is cdecl. What the routines leave to C++ (Comp32xHost.cpp): the
// allocator, the chain search and the node's name, the symbol walk, freeing a
// context, and the counted C-library helpers.
#include "Common/SearchedRoutines.inc"

        .intel_syntax noprefix
        .text

// ---- Node* __cdecl Comp32xInternName(const char* name) ------------------------
// Counts the name (0xFF escapes the byte after it), hashes it by the byte sum
// (a weak hash: chains grow long), stores hash and length into the compiler's
// variables, searches bucket (hash & 0x7FFF) and otherwise makes and appends
// a node. Locals: [ebp-4] escapes, [ebp-8] length, [ebp-12] hash.
        .balign 16
SEARCHED_ROUTINE internfunction, InternFunction, _Comp32xInternName
        .byte 0x55                              # push ebp
        .byte 0x8B, 0xEC                        # mov  ebp, esp
        .byte 0x83, 0xC4, 0xF0                  # add  esp, -16
        ALTBYTE internfunction, 0x33, 0x31      # xor  eax, eax
        .byte 0xC0
        .byte 0x33, 0xD2                        # xor  edx, edx
        .byte 0x53, 0x56, 0x57                  # push ebx; push esi; push edi
        .byte 0x8B, 0x75, 0x08                  # mov  esi, [ebp+8]
        .byte 0x89, 0x45, 0xFC                  # mov  [ebp-4], eax
        .byte 0x8B, 0xC6                        # mov  eax, esi
        .byte 0x89, 0x55, 0xF4                  # mov  [ebp-12], edx
        .byte 0xEB, 0x1A                        # jmp  .Lcount_test
.Lcount_body:
        .byte 0x81, 0xE2, 0xFF, 0x00, 0x00, 0x00  # and  edx, 0xFF
        .byte 0x81, 0xFA, 0xFF, 0x00, 0x00, 0x00  # cmp  edx, 0xFF
        .byte 0x75, 0x07                        # jne  .Lcount_add
        .byte 0x40                              # inc  eax
        .byte 0xFF, 0x45, 0xFC                  # inc  dword [ebp-4]
        .byte 0x0F, 0xB6, 0x10                  # movzx edx, byte [eax]
.Lcount_add:
        .byte 0x01, 0x55, 0xF4                  # add  [ebp-12], edx
        .byte 0xFF, 0xC0                        # inc  eax
.Lcount_test:
        .byte 0x0F, 0xB6, 0x10                  # movzx edx, byte [eax]
        .byte 0x85, 0xD2                        # test edx, edx
        .byte 0x75                              # jnz  .Lcount_body
        .byte .Lcount_body - . - 1
        .byte 0x2B, 0xC6                        # sub  eax, esi
        .byte 0x2B, 0x45, 0xFC                  # sub  eax, [ebp-4]
        .byte 0x89, 0x45, 0xF8                  # mov  [ebp-8], eax
SEARCHED_ROUTINE internglobals, InternGlobals, _Comp32xInternGlobalsSite
        .byte 0x8B, 0x45, 0xF4                  # mov  eax, [ebp-12]
        .byte 0x8B, 0x7D, 0xF4                  # mov  edi, [ebp-12]
        .byte 0x8B, 0x4D, 0xF8                  # mov  ecx, [ebp-8]
        .byte 0x81, 0xE7, 0xFF, 0x7F, 0x00, 0x00  # and  edi, 0x7FFF
        .byte 0xA3                              # mov  [Comp32xNameHash], eax
        .long _Comp32xNameHash
        .byte 0x89, 0x0D                        # mov  [Comp32xNameLength], ecx
        .long _Comp32xNameLength
        .byte 0xC1, 0xE7, 0x02                  # shl  edi, 2
        .byte 0x8A, 0x06                        # mov  al, [esi]
        .byte 0x88, 0x45, 0xF3                  # mov  [ebp-13], al
        .byte 0x81, 0xC7                        # add  edi, Comp32xNameTable
        .long _Comp32xNameTable
        .byte 0xEB                              # jmp  .Lsearch (the variant lands on the nop before it)
        ALTBYTE internglobals, 0x47, 0x46
.Lafter_globals:
SEARCHED_ROUTINE internallocation, InternAllocation, _Comp32xInternAllocationSite
        .byte 0x68, 0xFA, 0x00, 0x00, 0x00      # push 250
        .byte 0x8B, 0x45, 0xF8                  # mov  eax, [ebp-8]
        .byte 0x83, 0xC0, 0x13                  # add  eax, 19
        .byte 0x50                              # push eax
        .byte 0xE8                              # call Comp32xAllocate
        .long _Comp32xAllocate - . - 4
        .byte 0x8B, 0xD8                        # mov  ebx, eax
        ALTBYTE internallocation, 0x33, 0x31    # xor  eax, eax
        .byte 0xC0
        .byte 0x33, 0xD2                        # xor  edx, edx
        .byte 0x83, 0xC4, 0x08                  # add  esp, 8
        .byte 0x89, 0x03                        # mov  [ebx], eax
        .byte 0x89, 0x53, 0x04                  # mov  [ebx+4], edx
        .byte 0xC7, 0x43, 0x0C, 0xFF, 0xFF, 0xFF, 0xFF  # mov dword [ebx+12], -1
        .byte 0xC6, 0x43, 0x10, 0x00            # mov  byte [ebx+16], 0
        .byte 0x57                              # push edi (bucket)
        .byte 0x56                              # push esi (name)
        .byte 0x53                              # push ebx (node)
        .byte 0xE8                              # call Comp32xStoreName
        .long _Comp32xStoreName - . - 4
        .byte 0x83, 0xC4, 0x0C                  # add  esp, 12
        .byte 0x8B, 0xC3                        # mov  eax, ebx
        .byte 0xEB                              # jmp  .Lintern_return
        .byte .Lintern_return - . - 1
        .fill 0x46 - (. - .Lafter_globals), 1, 0xCC
        .byte 0x90                              # nop
.Lsearch:
        .if (.Lsearch - .Lafter_globals) - 0x47
        .error "the globals' jump must reach the chain search 0x47 bytes on"
        .endif
        .byte 0xFF, 0x75, 0xF8                  # push dword [ebp-8] (length)
        .byte 0x56                              # push esi (name)
        .byte 0x57                              # push edi (bucket)
        .byte 0xE8                              # call Comp32xChainFind
        .long _Comp32xChainFind - . - 4
        .byte 0x83, 0xC4, 0x0C                  # add  esp, 12
        .byte 0x85, 0xC0                        # test eax, eax
        .byte 0x74                              # jz   .Lafter_globals (allocate)
        .byte .Lafter_globals - . - 1
.Lintern_return:
        pop     edi
        pop     esi
        pop     ebx
        mov     esp, ebp
        pop     ebp
        ret

// ---- int __cdecl Comp32xSymbolLookup(NameRecord* name, int flag) --------------
// 0 without a current context or while its fields at 300 and 192 are 0;
// otherwise the value of the context's symbol of that name and flags (the
// list walked by name), 0 if it has none.
        .balign 16
SEARCHED_ROUTINE symbollookup, SymbolLookup, _Comp32xSymbolLookup
        .byte 0x55                              # push ebp
        .byte 0x8B, 0xEC                        # mov  ebp, esp
        .byte 0x83, 0xC4, 0xF4                  # add  esp, -12
        .byte 0x53, 0x56, 0x57                  # push ebx; push esi; push edi
        .byte 0x8B, 0x7D, 0x08                  # mov  edi, [ebp+8]
        .byte 0x57                              # push edi
        .byte 0xE8                              # call Comp32xNameText
        .long _Comp32xNameText - . - 4
        .byte 0x59                              # pop  ecx
        .byte 0x89, 0x45, 0xF8                  # mov  [ebp-8], eax
        .byte 0xA1                              # mov  eax, [Comp32xLookupLimit]
        .long _Comp32xLookupLimit
        .byte 0x89, 0x45, 0xF4                  # mov  [ebp-12], eax
        .byte 0xA1                              # mov  eax, [Comp32xCurrentContext]
        .long _Comp32xCurrentContext
        ALTBYTE symbollookup, 0x85, 0x09        # test eax, eax
        .byte 0xC0
        .byte 0x74, 0x12                        # jz   .Llookup_none
        .byte 0x83, 0xB8, 0x2C, 0x01, 0x00, 0x00, 0x00  # cmp dword [eax+300], 0
        .byte 0x74, 0x09                        # jz   .Llookup_none
        .byte 0x83, 0xB8, 0xC0, 0x00, 0x00, 0x00, 0x00  # cmp dword [eax+192], 0
        .byte 0x75, 0x04                        # jnz  .Llookup_walk
.Llookup_none:
        .byte 0x33, 0xC0                        # xor  eax, eax
        .byte 0xEB                              # jmp  .Llookup_return
        .byte .Llookup_return - . - 1
.Llookup_walk:
        push    dword ptr [ebp-12]
        push    dword ptr [ebp+12]
        push    dword ptr [ebp-8]
        push    eax
        call    _Comp32xWalkSymbols
        add     esp, 16
.Llookup_return:
        pop     edi
        pop     esi
        pop     ebx
        mov     esp, ebp
        pop     ebp
        ret

// ---- void __cdecl Comp32xReleaseContext(void) --------------------------------
// Releases the current context: its buffer at 0xB8, the count of live
// contexts in the compiler's state record (field 0x100), the context itself.
        .balign 16
SEARCHED_ROUTINE contextrelease, ContextRelease, _Comp32xReleaseContext
        .byte 0x53                              # push ebx
        .byte 0xA1                              # mov  eax, [Comp32xCurrentContext]
        .long _Comp32xCurrentContext
        ALTBYTE contextrelease, 0x85, 0x09      # test eax, eax
        .byte 0xC0
        .byte 0x0F, 0x84                        # jz   .Lrelease_end (+0xD0)
        .long 0xC2
        .byte 0x8B, 0x90, 0xB8, 0x00, 0x00, 0x00  # mov  edx, [eax+0xB8]
        .byte 0x85, 0xD2                        # test edx, edx
        .byte 0x74, 0x07                        # jz   +7
        .byte 0x52                              # push edx
        .byte 0xE8                              # call Comp32xFree
        .long _Comp32xFree - . - 4
        .byte 0x59                              # pop  ecx
        .byte 0x8B, 0x0D                        # mov  ecx, [Comp32xState]
        .long _Comp32xState
        .byte 0x8B, 0x81, 0x00, 0x01, 0x00, 0x00  # mov  eax, [ecx+0x100]
        .byte 0x48                              # dec  eax
        .byte 0x89, 0x81, 0x00, 0x01, 0x00, 0x00  # mov  [ecx+0x100], eax
        .byte 0xFF, 0x35                        # push dword [Comp32xCurrentContext]
        .long _Comp32xCurrentContext
        .byte 0xE8                              # call Comp32xFreeContext
        .long _Comp32xFreeContext - . - 4
        .byte 0x59                              # pop  ecx
        .byte 0x33, 0xC0                        # xor  eax, eax
        .byte 0xA3                              # mov  [Comp32xCurrentContext], eax
        .long _Comp32xCurrentContext
        .byte 0xE9                              # jmp  .Lrelease_end
        .long .Lrelease_end - . - 4
        .fill 0xD0 - (. - _Comp32xReleaseContext), 1, 0xCC
.Lrelease_end:
        .if (.Lrelease_end - _Comp32xReleaseContext) - 0xD0
        .error "the release's jz must land 0xC2 past +14"
        .endif
        .byte 0x5B                              # pop  ebx
        .byte 0xC3                              # ret

// ---- int __cdecl Comp32xStricmp(const char* a, const char* b) -----------------
// Both sides' bytes below 0x80 go through the is-lower test and the to-upper
// conversion; the result is the difference of the first unequal pair.
        .balign 16
SEARCHED_ROUTINE stricmp, Stricmp, _Comp32xStricmp
        .byte 0x55                              # push ebp
        .byte 0x8B, 0xEC                        # mov  ebp, esp
        .byte 0x51                              # push ecx
        .byte 0x53, 0x56, 0x57                  # push ebx; push esi; push edi
        .byte 0x8B, 0x7D, 0x08                  # mov  edi, [ebp+8]
.Lstricmp_next:
        ALTBYTE stricmp, 0x33, 0x31             # xor  ebx, ebx
        .byte 0xDB
        .byte 0x8A, 0x1F                        # mov  bl, [edi]
        .byte 0x47                              # inc  edi
        .byte 0x81, 0xFB, 0x80, 0x00, 0x00, 0x00  # cmp  ebx, 0x80
        .byte 0x73, 0x1E                        # jae  .Lstricmp_first
        .byte 0x81, 0xFB, 0x80, 0x00, 0x00, 0x00  # cmp  ebx, 0x80
        .byte 0x73, 0x16                        # jae  .Lstricmp_first
        .byte 0x53                              # push ebx
        .byte 0xE8                              # call Comp32xIsLower
        .long _Comp32xIsLower - . - 4
        .byte 0x59                              # pop  ecx
        .byte 0x85, 0xC0                        # test eax, eax
        .byte 0x74, 0x0B                        # jz   .Lstricmp_first
        .byte 0x8B, 0xF3                        # mov  esi, ebx
        .byte 0x56                              # push esi
        .byte 0xE8                              # call Comp32xToUpper
        .long _Comp32xToUpper - . - 4
        .byte 0x59                              # pop  ecx
        .byte 0x8B, 0xD8                        # mov  ebx, eax
.Lstricmp_first:
        mov     [ebp-4], ebx
        mov     esi, [ebp+12]
        xor     ebx, ebx
        mov     bl, [esi]
        inc     dword ptr [ebp+12]
        cmp     ebx, 0x80
        jae     .Lstricmp_second
        push    ebx
        call    _Comp32xIsLower
        pop     ecx
        test    eax, eax
        jz      .Lstricmp_second
        push    ebx
        call    _Comp32xToUpper
        pop     ecx
        mov     ebx, eax
.Lstricmp_second:
        mov     eax, [ebp-4]
        sub     eax, ebx
        jnz     .Lstricmp_return
        cmp     dword ptr [ebp-4], 0
        jnz     .Lstricmp_next
.Lstricmp_return:
        pop     edi
        pop     esi
        pop     ebx
        pop     ecx
        pop     ebp
        ret

// ---- int __cdecl Comp32xScanIntSuffix(const char* text) ------------------------
// Reads an integer literal's suffix letters (u, l, ll in either case, each
// through ltolower): (characters read << 8) | (count of l << 1) | unsigned,
// or -1 for a second u or a third l.
        .balign 16
        .globl _Comp32xScanIntSuffix
_Comp32xScanIntSuffix:
        push    ebp
        mov     ebp, esp
        sub     esp, 8
        push    ebx
        push    esi
        push    edi
        mov     esi, [ebp+8]
        xor     eax, eax
        mov     [ebp-4], eax
        mov     [ebp-8], eax
.Lsuffix_next:
        movzx   ebx, byte ptr [esi]
        test    ebx, ebx
        jz      .Lsuffix_done
SEARCHED_ROUTINE ltolowersite, LtolowerCallSite, _Comp32xLtolowerCallSite
        .byte 0x8B, 0xFB                        # mov  edi, ebx
        .byte 0x81, 0xE7, 0xFF, 0x00, 0x00, 0x00  # and  edi, 0xFF
        .byte 0x57                              # push edi
        .byte 0xE8                              # call Comp32xLtolower
        .long _Comp32xLtolower - . - 4
        ALTBYTE ltolowersite, 0x59, 0x5A        # pop  ecx (the variant: pop edx; neither is live)
        .byte 0x8B, 0xD8                        # mov  ebx, eax
        .byte 0x83, 0xFB, 0x6C                  # cmp  ebx, 'l'
        jne     .Lsuffix_not_l
        inc     dword ptr [ebp-4]
        cmp     dword ptr [ebp-4], 2
        jg      .Lsuffix_bad
        inc     esi
        jmp     .Lsuffix_next
.Lsuffix_not_l:
        cmp     ebx, 'u'
        jne     .Lsuffix_done
        cmp     dword ptr [ebp-8], 0
        jne     .Lsuffix_bad
        inc     dword ptr [ebp-8]
        inc     esi
        jmp     .Lsuffix_next
.Lsuffix_done:
        mov     eax, [ebp-4]
        add     eax, eax
        add     eax, [ebp-8]
        mov     edx, esi
        sub     edx, [ebp+8]
        shl     edx, 8
        or      eax, edx
        jmp     .Lsuffix_return
.Lsuffix_bad:
        or      eax, -1
.Lsuffix_return:
        pop     edi
        pop     esi
        pop     ebx
        mov     esp, ebp
        pop     ebp
        ret

// ---- int __cdecl Comp32xLtolower(int c) --------------------------------------
// -1 stays -1; otherwise c & 0xFF lowered through the locale's table while
// the locale record's field at 8 is non-zero, else by arithmetic (the same
// mapping). Only the arithmetic branch counts its calls: the table branch's
// bytes are all searched.
        .balign 16
SEARCHED_ROUTINE ltolower, Ltolower, _Comp32xLtolower
        .byte 0x55                              # push ebp
        .byte 0x8B, 0xEC                        # mov  ebp, esp
        ALTBYTE ltolower, 0x33, 0x31            # xor  edx, edx
        .byte 0xD2
        .byte 0x51                              # push ecx
        .byte 0x89, 0x55, 0xFC                  # mov  [ebp-4], edx
        .byte 0xA1                              # mov  eax, [Comp32xLocale]
        .long _Comp32xLocale
        .byte 0x83, 0x7D, 0x08, 0xFF            # cmp  dword [ebp+8], -1
        .byte 0x75, 0x06                        # jne  +6
        .byte 0x83, 0xC8, 0xFF                  # or   eax, -1
        .byte 0x59                              # pop  ecx
        .byte 0x5D                              # pop  ebp
        .byte 0xC3                              # ret
        .byte 0x83, 0x78, 0x08, 0x00            # cmp  dword [eax+8], 0
        .byte 0x74, 0x14                        # jz   .Lltolower_arithmetic
        .byte 0x8B, 0x55, 0x08                  # mov  edx, [ebp+8]
        .byte 0x81, 0xE2, 0xFF, 0x00, 0x00, 0x00  # and  edx, 0xFF
        .byte 0x33, 0xC0                        # xor  eax, eax
        .byte 0x8A, 0x82                        # mov  al, [edx+Comp32xLowerTable]
        .long _Comp32xLowerTable
        .byte 0x59                              # pop  ecx
        .byte 0x5D                              # pop  ebp
        .byte 0xC3                              # ret
.Lltolower_arithmetic:
        .if (.Lltolower_arithmetic - _Comp32xLtolower) - 52
        .error "ltolower's jz must land 0x14 past +32"
        .endif
        inc     dword ptr [_Comp32xLtolowerCalls]
        mov     eax, [ebp+8]
        and     eax, 0xFF
        cmp     eax, 'A'
        jb      .Lltolower_done
        cmp     eax, 'Z'
        ja      .Lltolower_done
        add     eax, 32
.Lltolower_done:
        pop     ecx
        pop     ebp
        ret
