// TPascalCodeMgrModHandler.SwapSourceFormView (EAX = the handler) and the
// nested routine just before it, as the host's compiler wrote them: the
// nested routine gets the enclosing frame on the stack ([ebp+8]; the
// caller pops) and reaches the handler as the enclosing routine's first
// local ([frame-4]). Its searched bytes (100) begin where the kept file's
// work begins; a removed file's handler is freed at +89 (the call at +95),
// reached by the jump before them. ALTBYTE: `xor esi,esi` with the other
// opcode.

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .text

        .balign 16
_delphicore_SwapNested:
        push ebp
        mov ebp, esp
        push ebx
        push esi
        mov eax, [ebp+8]
        mov ebx, [eax-4]                    // the handler
        cmp byte ptr [ebx+0x1C], 0          // its file removed?
        jne .Lremove
        SEARCHED_ROUTINE fileremoval, FileRemovalSwitchTextToForm, _delphicore_FileRemovalSite
        .byte 0x8B, 0x45, 0x08              // mov eax,[ebp+8]
        .byte 0x50                          // push eax
        CALL_REL(_delphicore_SyncFileRegistration)  // (+4) the registration brought up to date
        .byte 0x59                          // pop ecx
        .byte 0x8B, 0x45, 0x08              // mov eax,[ebp+8]
        .byte 0x8B, 0x40, 0xFC              // mov eax,[eax-4]
        .byte 0x80, 0x78, 0x14, 0x00        // cmp byte ptr [eax+0x14],0   shows its form?
        .byte 0x75, 0x33                    // jne +73
        .byte 0x8B, 0x43, 0x10              // mov eax,[ebx+0x10]          the view
        .byte 0x8B, 0x10                    // mov edx,[eax]
        .byte 0xFF, 0x52, 0x1C              // call [edx+0x1C]             Refresh
        .byte 0x8B, 0x45, 0x08              // mov eax,[ebp+8]
        .byte 0x8B, 0x40, 0xFC              // mov eax,[eax-4]
        CALL_REL(_delphicore_HandlerItemCount)      // (+36)
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0x4B                          // dec ebx
        .byte 0x85, 0xDB                    // test ebx,ebx
        .byte 0x7C, 0x19                    // jl +73
        .byte 0x43                          // inc ebx
        ALTBYTE fileremoval, 0x33, 0x31     // xor esi,esi
        .byte 0xF6
        .byte 0x8B, 0x45, 0x08              // mov eax,[ebp+8]             (+51)
        .byte 0x8B, 0x40, 0xFC              // mov eax,[eax-4]
        .byte 0x8B, 0xD6                    // mov edx,esi
        CALL_REL(_delphicore_HandlerItem)   // (+59)
        CALL_REL(_delphicore_NotifyItem)    // (+64)
        .byte 0x46                          // inc esi
        .byte 0x4B                          // dec ebx
        .byte 0x75, 0xEA                    // jnz +51
        .byte 0x8B, 0x45, 0x08              // mov eax,[ebp+8]             (+73)
        .byte 0x8B, 0x40, 0xFC              // mov eax,[eax-4]
        .byte 0x8B, 0x10                    // mov edx,[eax]
        .byte 0xFF, 0x92, 0x08, 0x01, 0x00, 0x00    // call [edx+0x108]   SwitchView
        .byte 0xEB, 0x13                    // jmp +108
.Lremove:
        .byte 0x8B, 0x45, 0x08              // mov eax,[ebp+8]             (+89)
        .byte 0x8B, 0x40, 0xFC              // mov eax,[eax-4]
        CALL_REL(_delphicore_FreeHandler)   // (+95) the handler freed
        .byte 0x33, 0xC0                    // xor eax,eax                 (+100)
        .byte 0x8B, 0x55, 0x08              // mov edx,[ebp+8]
        .byte 0x89, 0x42, 0xFC              // mov [edx-4],eax             the reference cleared
        pop esi                             // (+108)
        pop ebx
        pop ebp
        ret

        .balign 16
        .globl _delphicore_SwapSourceFormView
_delphicore_SwapSourceFormView:
        push ebp
        mov ebp, esp
        push ecx
        mov [ebp-4], eax                    // the handler
        push ebp
        call _delphicore_SwapNested
        pop ecx
        mov esp, ebp
        pop ebp
        ret
