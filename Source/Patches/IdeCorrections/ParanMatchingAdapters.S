// The three call sites of the editor kernel's bracket search reach these
// adapters instead of the host's routines. Each is called the host's way (C
// convention, arguments on the stack, caller pops) from inside the host's
// loop, reads what the replacement needs from the host's frame (EBP) and
// EDI, and calls the replacement (C convention). Host frame:
//   [ebp-0x28] current position   [ebp-0x2C] last position
//   word [ebp-0x22] direction     EDI first position
// EBX, ESI, EDI and EBP are kept (the replacements are C functions).

        .intel_syntax noprefix
        .text

// Site 1: TokenLength(argument) -> ParanStartCheck(argument, &position, first, last, direction).
        .balign 16
        .globl QmParanStartAdapter
QmParanStartAdapter:
        movsx eax, word ptr [ebp-0x22]
        push eax                            // direction
        push dword ptr [ebp-0x2C]           // last
        push edi                            // first
        lea eax, [ebp-0x28]
        push eax                            // &position
        push dword ptr [esp+20]             // the host's argument
        call QmParanStartCheck
        add esp, 20
        ret

// Site 2: Compare(at, token, length) -> ParanCompareA(length, token, at, first, last, direction).
        .balign 16
        .globl QmParanCompareAAdapter
QmParanCompareAAdapter:
        movsx eax, word ptr [ebp-0x22]
        push eax                            // direction
        push dword ptr [ebp-0x2C]           // last
        push edi                            // first
        push dword ptr [esp+16]             // at
        push dword ptr [esp+24]             // token
        push dword ptr [esp+32]             // length
        call QmParanCompareA
        add esp, 24
        ret

// Site 3: Compare(at, token, length) -> ParanCompareB(length, token, at, first, last).
        .balign 16
        .globl QmParanCompareBAdapter
QmParanCompareBAdapter:
        push dword ptr [ebp-0x2C]           // last
        push edi                            // first
        push dword ptr [esp+12]             // at
        push dword ptr [esp+20]             // token
        push dword ptr [esp+28]             // length
        call QmParanCompareB
        add esp, 20
        ret
