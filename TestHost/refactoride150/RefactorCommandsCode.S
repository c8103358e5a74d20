// TDelphiRefactorMenuItem.Update(Sender) as the host's compiler wrote it
// (EAX = the menu item, EDX = Sender): Sender cast to TCustomAction, then
// the refactoring actions' update routine called with (action, the item's
// commands object at +4, force = False) by the call at +24. Its ALTBYTE:
// `xor ecx,ecx` with the other opcode.

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .text

        .balign 16
        SEARCHED_ROUTINE refactorupdate, RefactorMenuItemUpdate, _refactor_MenuItemUpdate
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        .byte 0x8B, 0xF2                    // mov esi,edx                Sender
        .byte 0x8B, 0xD8                    // mov ebx,eax                Self
        .byte 0x8B, 0xC6                    // mov eax,esi
        .byte 0x8B, 0x15                    // mov edx,[TCustomAction]
        .long _refactor_CustomActionClass
        CALL_REL(_refactor_AsClass)         // Sender as TCustomAction
        ALTBYTE refactorupdate, 0x33, 0x31  // xor ecx,ecx                Force = False
        .byte 0xC9
        .byte 0x8B, 0x53, 0x04              // mov edx,[ebx+4]            the commands object
        CALL_REL(_refactor_UpdateAction)    // (+24)
        .byte 0x5E                          // pop esi
        .byte 0x5B                          // pop ebx
        .byte 0xC3                          // ret
