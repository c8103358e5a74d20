# Target functions laid out as exact bytes in the executable's code section,
# so tests redirect, call and restore real code. All use the C calling
# convention (cdecl) and return their result in EAX.
    .macro FIXTURE name
    .globl _\name
    .p2align 4, 0xCC
_\name:
    .endm

    .text

# int Fixture_ReturnsOne(void): mov eax, 1; ret; then two int3 so that all
# eight bytes a redirection saves are known.
    FIXTURE Fixture_ReturnsOne
    .byte 0xB8, 0x01, 0x00, 0x00, 0x00
    .byte 0xC3
    .byte 0xCC, 0xCC

# int Fixture_Doubles(int x): a stack-frame start of 6 bytes (push ebp; mov
# ebp, esp; add esp, -16), then return x + x.
    FIXTURE Fixture_Doubles
    .byte 0x55
    .byte 0x8B, 0xEC
    .byte 0x83, 0xC4, 0xF0
    .byte 0x8B, 0x45, 0x08          # mov eax, [ebp+8]
    .byte 0x03, 0xC0                # add eax, eax
    .byte 0x8B, 0xE5                # mov esp, ebp
    .byte 0x5D                      # pop ebp
    .byte 0xC3

# int Fixture_Helper(void): returns 7.
    FIXTURE Fixture_Helper
    .byte 0xB8, 0x07, 0x00, 0x00, 0x00
    .byte 0xC3

# int Fixture_CallsHelper(void): starts with a relative call; returns
# Fixture_Helper() + 1 = 8.
    FIXTURE Fixture_CallsHelper
    .byte 0xE8
    .long _Fixture_Helper - . - 4
    .byte 0x83, 0xC0, 0x01          # add eax, 1
    .byte 0xC3

# int Fixture_ThunkTarget(void): returns 3; reached through an import-style
# thunk, jmp [Fixture_ThunkSlot].
    FIXTURE Fixture_ThunkTarget
    .byte 0xB8, 0x03, 0x00, 0x00, 0x00
    .byte 0xC3

    FIXTURE Fixture_Thunk
    .byte 0xFF, 0x25
    .long _Fixture_ThunkSlot

# int Fixture_Exported(void): returns 4; exported by the test program so that
# it can be looked up by name.
    FIXTURE Fixture_Exported
    .byte 0xB8, 0x04, 0x00, 0x00, 0x00
    .byte 0xC3

# int Fixture_StoresByte(void): push eax; mov [esp], al; pop eax; returns 5.
# The byte store is an instruction the decoder refuses, so this start cannot
# be moved into a trampoline.
    FIXTURE Fixture_StoresByte
    .byte 0x50
    .byte 0x88, 0x04, 0x24
    .byte 0x58
    .byte 0xB8, 0x05, 0x00, 0x00, 0x00
    .byte 0xC3

# A "push imm32; jmp rel32" stub in front of Fixture_ReturnsOne, the form
# that only older, non-NT systems put in front of exports.
    FIXTURE Fixture_PushJmpStub
    .byte 0x68
    .long _Fixture_ReturnsOne
    .byte 0xE9
    .long _Fixture_ReturnsOne - . - 4

    .data
    .globl _Fixture_ThunkSlot
    .p2align 2
_Fixture_ThunkSlot:
    .long _Fixture_ThunkTarget

    .section .drectve
    .ascii " -export:Fixture_Exported"
