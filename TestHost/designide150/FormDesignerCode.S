// The designers' IDesignerHook interface: its method table of adjustment
// stubs as the host's compiler writes them (the interface sits at +0x60 of
// the designer), and IsDesignMsg starting as the host's compiler starts a
// routine.
#include "Common/HostEntry.inc"

        .intel_syntax noprefix
        .text

        .balign 16
        HOST_ENTRY _designide_IsDesignMsg, _designide_IsDesignMsgBody

        .balign 4
_designide_HookQueryInterfaceStub:
        .byte 0x83, 0x44, 0x24, 0x04, 0xA0  // add dword ptr [esp+4],-0x60
        jmp _designide_HookQueryInterface
_designide_HookRefCountStub:
        .byte 0x83, 0x44, 0x24, 0x04, 0xA0  // add dword ptr [esp+4],-0x60
        jmp _designide_HookRefCount
_designide_HookUnsupported:
        xor eax, eax
        ret
_designide_IsDesignMsgStub:
        .byte 0x83, 0xC0, 0xA0              // add eax,-0x60
        .byte 0xE9                          // jmp IsDesignMsg
        .long _designide_IsDesignMsg - . - 4

        .section .rdata, "dr"
        .balign 4
        .globl _designide_DesignerHookMethods
_designide_DesignerHookMethods:
        .long _designide_HookQueryInterfaceStub, _designide_HookRefCountStub, _designide_HookRefCountStub
        .rept 33
        .long _designide_HookUnsupported
        .endr
        .long _designide_IsDesignMsgStub
