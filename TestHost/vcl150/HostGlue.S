// Helpers the library's assembly calls the way the host's compiler calls
// its run-time helpers: an import thunk for TObject.Free and the steps of
// constructors and destructors (host register convention).

        .intel_syntax noprefix
        .text

// TObject.Free of rtl150.bpl, through the variable bound at start-up.
        .balign 4
        .globl _vcl_ObjectFree
_vcl_ObjectFree:
        jmp dword ptr [_vcl_RtlObjectFree]

// EAX = self, DL = outermost: BeforeDestruction for the outermost call.
// EAX and EDX are kept.
        .balign 4
        .globl _vcl_BeforeDestruction
_vcl_BeforeDestruction:
        test dl, dl
        jz 1f
        push eax
        push edx
        mov ecx, [eax]
        call dword ptr [ecx-24]
        pop edx
        pop eax
1:      ret

// EAX = class: a new instance through the class's NewInstance. ECX and EDX
// are kept.
        .balign 4
        .globl _vcl_ClassCreate
_vcl_ClassCreate:
        push ecx
        push edx
        call dword ptr [eax-12]
        pop edx
        pop ecx
        ret

// EAX = self: AfterConstruction; EAX is kept.
        .balign 4
        .globl _vcl_AfterConstruction
_vcl_AfterConstruction:
        push eax
        mov ecx, [eax]
        call dword ptr [ecx-28]
        pop eax
        ret

// EAX = self: FreeInstance.
        .balign 4
        .globl _vcl_ClassDestroy
_vcl_ClassDestroy:
        mov ecx, [eax]
        jmp dword ptr [ecx-8]
