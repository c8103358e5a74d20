// The adapter the undo loop's per-item call reaches: it hands the loop's
// registers to UndoOnce and returns with ESI = EDI, so that after the loop's
// `inc esi` the registers are those the full loop leaves (ESI = last + 1).
        .intel_syntax noprefix
        .text

        .globl QmUndoOnceAdapter
QmUndoOnceAdapter:
        push edi                            // last
        push esi                            // first
        push edx                            // the item record
        push eax                            // the undo list
        call QmUndoOnce
        add esp, 16
        mov esi, edi
        ret
