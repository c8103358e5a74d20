# Code fixtures with exact bytes: call sites, hot-patchable and plain
# function starts, an import-style thunk, and a byte signature for the
# module-wide pattern search. No function takes arguments; each returns its
# result in EAX. The three Win32-style entries carry stdcall names.

        .text

# --- call sites -------------------------------------------------------------

        .globl _Fixture_ReturnsOne
_Fixture_ReturnsOne:
        .byte 0xB8, 1, 0, 0, 0                  # mov eax, 1
        ret

        .globl _Fixture_ReturnsTwo
_Fixture_ReturnsTwo:
        .byte 0xB8, 2, 0, 0, 0                  # mov eax, 2
        ret

# Sets EAX = 40 and ECX = 2; called in place of displaced instructions.
        .globl _Fixture_SetsFortyAndTwo
_Fixture_SetsFortyAndTwo:
        .byte 0xB8, 40, 0, 0, 0                 # mov eax, 40
        .byte 0xB9, 2, 0, 0, 0                  # mov ecx, 2
        ret

# call Fixture_ReturnsOne; ret
        .globl _Fixture_CallSite
_Fixture_CallSite:
        .byte 0xE8
        .long _Fixture_ReturnsOne - . - 4
        ret

# jmp Fixture_ReturnsOne
        .globl _Fixture_JumpSite
_Fixture_JumpSite:
        .byte 0xE9
        .long _Fixture_ReturnsOne - . - 4

# mov eax, 5; ret  -> returns 5
        .globl _Fixture_OpCodeSiteA
_Fixture_OpCodeSiteA:
        .byte 0xB8, 5, 0, 0, 0
        ret
        .globl _Fixture_OpCodeSiteB
_Fixture_OpCodeSiteB:
        .byte 0xB8, 5, 0, 0, 0
        ret

# xor eax, eax; mov ecx, 7; add eax, ecx; ret  -> returns 7
        .globl _Fixture_InstructionSite
_Fixture_InstructionSite:
        .byte 0x33, 0xC0
        .byte 0xB9, 7, 0, 0, 0
        .byte 0x01, 0xC8
        ret

# --- method table targets ---------------------------------------------------

        .globl _Fixture_VirtualA
_Fixture_VirtualA:
        .byte 0xB8, 0xA, 0, 0, 0
        ret
        .globl _Fixture_VirtualB
_Fixture_VirtualB:
        .byte 0xB8, 0xB, 0, 0, 0
        ret

# An import thunk: jmp dword ptr [Fixture_VirtualBCell]
        .globl _Fixture_ThunkToVirtualB
_Fixture_ThunkToVirtualB:
        .byte 0xFF, 0x25
        .long _Fixture_VirtualBCell

# --- Win32-style entries ----------------------------------------------------

# Hot-patchable: five filler bytes, then mov edi, edi; push ebp; mov ebp, esp.
        .byte 0xCC, 0xCC, 0xCC, 0xCC, 0xCC
        .globl _Fixture_HotPatchable@0
_Fixture_HotPatchable@0:
        .byte 0x8B, 0xFF
        .byte 0x55
        .byte 0x8B, 0xEC
        .byte 0xB8, 7, 0, 0, 0                  # mov eax, 7
        .byte 0x5D
        ret

# A plain start the sizer can decode: push ebp; mov ebp, esp; mov eax, 9;
# pop ebp; ret  -> returns 9
        .byte 0x90, 0x90, 0x90, 0x90, 0x90
        .globl _Fixture_PlainStart@0
_Fixture_PlainStart@0:
        .byte 0x55
        .byte 0x8B, 0xEC
        .byte 0xB8, 9, 0, 0, 0
        .byte 0x5D
        ret

# The hot-patch no-op directly behind other code: no room for a jump in
# front of it. Returns 11.
        .globl _Fixture_CodeBefore
        .globl _Fixture_NoRoomBefore@0
_Fixture_CodeBefore:
        .byte 0xB8, 3, 0, 0, 0                  # mov eax, 3 (code that must survive)
        ret
_Fixture_NoRoomBefore@0:
        .byte 0x8B, 0xFF
        .byte 0x55
        .byte 0x8B, 0xEC
        .byte 0xB8, 11, 0, 0, 0
        .byte 0x5D
        ret

# --- a signature for the module-wide search ---------------------------------

        .globl _Fixture_Signature
_Fixture_Signature:
        .byte 0xB8, 0x51, 0x4D, 0x53, 0x47      # mov eax, 'QMSG'
        .byte 0xBA, 0x9E, 0x37, 0x79, 0x1B      # mov edx, 0x1B79379E
        ret

        .data
        .globl _Fixture_VirtualBCell
_Fixture_VirtualBCell:
        .long _Fixture_VirtualB
