// The reserved-word test's call sites in ClassSymbolByPosition reach these:
// the text stays in EAX, the method's symbol goes to EDX (site B has it in
// ESI, site C in EBX), and the replacement returns to the call site.
        .intel_syntax noprefix
        .text

        .globl QmIsReservedAdapterB
QmIsReservedAdapterB:
        mov edx, esi
        jmp QmIsReservedReplacement

        .globl QmIsReservedAdapterC
QmIsReservedAdapterC:
        mov edx, ebx
        jmp QmIsReservedReplacement
