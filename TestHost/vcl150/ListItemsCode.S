// TListItems.DefineProperties (EAX = items, EDX = filer) and ReadItemData
// after it (EAX = items, EDX = stream), as the host's compiler wrote them:
// ReadItemData begins the update, reads the item count byte into [ebp-0x17]
// through the run-time's ReadBuffer (the call at +24 of the searched
// bytes) inside a try block whose handler ends the update when an exception
// unwinds past it, reads the items, ends the update. ALTBYTE: the count
// byte at [ebp-0x16] instead (read from there too).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .text

        .balign 16
        .globl _vcl_ListItemsDefineProperties
_vcl_ListItemsDefineProperties:
        mov ecx, [edx+4]                    // the filer's stream
        cmp byte ptr [edx+8], 0             // a reader?
        mov edx, ecx
        jne _vcl_ListItemsReadItemData
        jmp _vcl_ListItemsWriteItemData

        .balign 16
_vcl_ListItemsReadItemData:
        push ebp
        mov ebp, esp
        sub esp, 0x18
        push esi
        mov esi, edx                        // the stream
        mov [ebp-8], eax                    // the items
        xor eax, eax
        push ebp
        push offset _vcl_ListItemsReadHandler
        SEARCHED_ROUTINE listview, ListItemsReadItemData, _vcl_ListItemsReadSite
        .byte 0x64, 0xFF, 0x30              // push dword ptr fs:[eax]
        .byte 0x64, 0x89, 0x20              // mov fs:[eax],esp
        .byte 0x8B, 0x45, 0xF8              // mov eax,[ebp-8]
        CALL_REL(_vcl_ListItemsBeginUpdate) // (+9)
        .byte 0x8D, 0x55                    // lea edx,[ebp-0x17]           the count byte
        ALTBYTE listview, 0xE9, 0xEA
        .byte 0xB9, 0x01, 0x00, 0x00, 0x00  // mov ecx,1
        .byte 0x8B, 0xC6                    // mov eax,esi
        CALL_REL(_vcl_StreamReadBuffer)     // (+24)
.ifc QM_VARIANT, listview
        movzx ecx, byte ptr [ebp-0x16]
.else
        movzx ecx, byte ptr [ebp-0x17]
.endif
        mov edx, esi
        mov eax, [ebp-8]
        call _vcl_ListItemsReadItems
        xor eax, eax
        pop edx
        pop ecx
        pop ecx
        mov fs:[eax], edx
        mov eax, [ebp-8]
        call _vcl_ListItemsEndUpdate
        pop esi
        mov esp, ebp
        pop ebp
        ret

// The try block's handler (cdecl: record, frame {previous, handler, EBP}):
// while an exception unwinds past it, the update ends; it never handles.
        .balign 4
_vcl_ListItemsReadHandler:
        mov eax, [esp+4]
        test dword ptr [eax+4], 6           // EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND
        jz 1f
        mov eax, [esp+8]
        mov eax, [eax+8]                    // the routine's EBP
        mov eax, [eax-8]                    // the items
        call _vcl_ListItemsEndUpdate
1:      mov eax, 1                          // ExceptionContinueSearch
        ret

// TStream.ReadBuffer of the run-time, as a package reaches its import.
_vcl_StreamReadBuffer:
        jmp dword ptr [_vcl_RtlReadBuffer]
