# Called from the C++ compiler's context release in place of the 6-byte
# "mov edx,[eax+0xB8]", with the released context in EAX: tells the symbol
# cache, keeps every register but EDX, and ends with the replaced load.
        .intel_syntax noprefix
        .text
        .globl  _QmCppSymbolCacheInvalidation
        .def    _QmCppSymbolCacheInvalidation; .scl 2; .type 32; .endef
_QmCppSymbolCacheInvalidation:
        push    eax
        push    ecx
        push    eax
        call    _QmCppSymbolContextReleased     # void __cdecl (const void* context)
        add     esp, 4
        pop     ecx
        pop     eax
        mov     edx, [eax+0xB8]
        ret
