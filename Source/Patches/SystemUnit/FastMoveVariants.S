# The processor-specific moves: five variants of System.Move(const Source;
# var Dest; Count: Integer), host register convention (EAX = Source,
# EDX = Dest, ECX = Count), overlapping ranges allowed. Selected and
# installed by FastMove.cpp and FastCodeInstall.cpp.
#
# Larger moves keep the first and the last 8 (16) bytes of the source in
# registers, copy the middle in 8 (16) byte blocks aligned to the
# destination, and store the kept ends last: every byte of the source is
# read before anything could overwrite it, in both directions, and no byte
# outside either range is touched.
#
#   1 IA32  x87 integer loads and stores of 8 bytes
#   2 MMX   MMX registers, 32 bytes a step; beyond the large-move limit the
#           middle goes by fast strings (rep movsl)
#   3 SSE   16-byte registers, 64 bytes a step; beyond the limit
#   4 SSE2  non-temporal stores with prefetching (movntps / movntdq)
#   5 SSE3  unaligned loads by lddqu, no limit
#
# QmLargeMoveLimit (FastMove.cpp) holds -(half the L2 cache in bytes): a
# forward move is large when -Count < QmLargeMoveLimit.

        .text

# ---- per-size code for 1..36 bytes ------------------------------------------
# Forward: ascending dwords, then a word, then a byte; for Source > Dest.
# Backward: the same pieces descending; for Source < Dest. Each piece is
# read before it is written. ECX is free once the table has been indexed.

.macro QM_SMALL_FORWARD n
        .balign 4
QmMoveFwd\n:
        .set    qmo, 0
        .rept   \n / 4
        movl    qmo(%eax), %ecx
        movl    %ecx, qmo(%edx)
        .set    qmo, qmo + 4
        .endr
        .if     (\n % 4) >= 2
        movw    qmo(%eax), %cx
        movw    %cx, qmo(%edx)
        .set    qmo, qmo + 2
        .endif
        .if     \n % 2
        movb    qmo(%eax), %cl
        movb    %cl, qmo(%edx)
        .endif
        ret
.endm

.macro QM_SMALL_BACKWARD n
        .balign 4
QmMoveBwd\n:
        .set    qmo, \n
        .if     \n % 2
        .set    qmo, qmo - 1
        movb    qmo(%eax), %cl
        movb    %cl, qmo(%edx)
        .endif
        .if     (\n % 4) >= 2
        .set    qmo, qmo - 2
        movw    qmo(%eax), %cx
        movw    %cx, qmo(%edx)
        .endif
        .rept   \n / 4
        .set    qmo, qmo - 4
        movl    qmo(%eax), %ecx
        movl    %ecx, qmo(%edx)
        .endr
        ret
.endm

        .balign 16
QmMoveNothing:
        ret
        .irp    n, 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31,32,33,34,35,36
        QM_SMALL_FORWARD \n
        .endr
        .irp    n, 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31,32,33,34,35,36
        QM_SMALL_BACKWARD \n
        .endr

        .section .rdata, "dr"
        .balign 4
QmMoveFwdTable:
        .long   QmMoveNothing
        .irp    n, 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31,32,33,34,35,36
        .long   QmMoveFwd\n
        .endr
QmMoveBwdTable:
        .long   QmMoveNothing
        .irp    n, 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31,32,33,34,35,36
        .long   QmMoveBwd\n
        .endr
        .text

# The part every variant shares: counts up to 36 through the per-size code,
# nothing for Count <= 0 or Source = Dest, and the direction of a larger
# move. Source, Dest and Count arrive in EAX, EDX, ECX (the host's register
# convention). A larger move goes forward (label 3) when Source > Dest or
# when the ranges are apart, Dest - Source >= Count taken unsigned: the
# subtraction cannot wrap, whereas Source <= Dest - Count wraps for a Dest
# below Count (a move low in memory) and would copy an overlap forward.
# Otherwise it goes backward (label 4).
.macro QM_MOVE_DISPATCH
        cmpl    $36, %ecx
        jg      1f
        testl   %ecx, %ecx
        jle     9f
        cmpl    %edx, %eax
        je      9f
        ja      2f
        jmp     *QmMoveBwdTable(,%ecx,4)
2:      jmp     *QmMoveFwdTable(,%ecx,4)
9:      ret
1:      cmpl    %edx, %eax
        je      9b
        ja      3f
        pushl   %ebx
        movl    %edx, %ebx
        subl    %eax, %ebx
        cmpl    %ecx, %ebx
        popl    %ebx
        jb      4f
.endm

# ---- variant 1: IA32 ----------------------------------------------------------------
        .globl  QmFastMoveIA32
        .balign 16
QmFastMoveIA32:
        QM_MOVE_DISPATCH
3:      pushl   %ebx
        fildll  (%eax)
        fildll  -8(%eax,%ecx)
        leal    -8(%edx,%ecx), %ebx       # where the last 8 bytes go
        pushl   %edx
        subl    %edx, %eax                # Source - Dest
        addl    $8, %edx
        andl    $-8, %edx                 # first aligned block after Dest
5:      fildll  (%edx,%eax)
        fistpll (%edx)
        addl    $8, %edx
        cmpl    %ebx, %edx
        jb      5b
        fistpll (%ebx)
        popl    %edx
        fistpll (%edx)
        popl    %ebx
        ret
4:      pushl   %ebx
        fildll  (%eax)
        fildll  -8(%eax,%ecx)
        leal    -8(%edx,%ecx), %ebx
        subl    %edx, %eax
        movl    %ebx, %ecx
        andl    $-8, %ecx                 # last aligned block not past the end
6:      fildll  (%ecx,%eax)
        fistpll (%ecx)
        subl    $8, %ecx
        cmpl    %edx, %ecx
        ja      6b
        fistpll (%ebx)
        fistpll (%edx)
        popl    %ebx
        ret

# ---- variant 2: MMX -----------------------------------------------------------------
        .globl  QmFastMoveMMX
        .balign 16
QmFastMoveMMX:
        QM_MOVE_DISPATCH
3:      pushl   %ebx
        movl    %ecx, %ebx
        negl    %ebx
        cmpl    QmLargeMoveLimit, %ebx
        jl      7f
        movq    (%eax), %mm0
        movq    -8(%eax,%ecx), %mm1
        leal    -8(%edx,%ecx), %ebx
        pushl   %edx
        subl    %edx, %eax
        addl    $8, %edx
        andl    $-8, %edx
        movl    %ebx, %ecx
        subl    %edx, %ecx
        shrl    $5, %ecx
        jz      6f
5:      movq    (%edx,%eax), %mm2
        movq    8(%edx,%eax), %mm3
        movq    16(%edx,%eax), %mm4
        movq    24(%edx,%eax), %mm5
        movq    %mm2, (%edx)
        movq    %mm3, 8(%edx)
        movq    %mm4, 16(%edx)
        movq    %mm5, 24(%edx)
        addl    $32, %edx
        decl    %ecx
        jnz     5b
6:      cmpl    %ebx, %edx
        jae     8f
        movq    (%edx,%eax), %mm2
        movq    %mm2, (%edx)
        addl    $8, %edx
        jmp     6b
8:      movq    %mm1, (%ebx)
        popl    %edx
        movq    %mm0, (%edx)
        emms
        popl    %ebx
        ret
7:      movq    (%eax), %mm0
        movq    -8(%eax,%ecx), %mm1
        leal    -8(%edx,%ecx), %ebx
        pushl   %edx
        pushl   %esi
        pushl   %edi
        subl    %edx, %eax
        addl    $8, %edx
        andl    $-8, %edx
        leal    (%edx,%eax), %esi
        movl    %edx, %edi
        movl    %ebx, %ecx
        subl    %edx, %ecx
        addl    $3, %ecx
        shrl    $2, %ecx                  # dwords up to the last 8 bytes (at most 3 into them)
        cld
        rep movsl
        popl    %edi
        popl    %esi
        movq    %mm1, (%ebx)
        popl    %edx
        movq    %mm0, (%edx)
        emms
        popl    %ebx
        ret
4:      pushl   %ebx
        pushl   %esi
        movq    (%eax), %mm0
        movq    -8(%eax,%ecx), %mm1
        leal    -8(%edx,%ecx), %ebx
        subl    %edx, %eax
        movl    %ebx, %ecx
        andl    $-8, %ecx
        leal    24(%edx), %esi
5:      cmpl    %esi, %ecx
        jbe     6f
        movq    (%ecx,%eax), %mm2
        movq    -8(%ecx,%eax), %mm3
        movq    -16(%ecx,%eax), %mm4
        movq    -24(%ecx,%eax), %mm5
        movq    %mm2, (%ecx)
        movq    %mm3, -8(%ecx)
        movq    %mm4, -16(%ecx)
        movq    %mm5, -24(%ecx)
        subl    $32, %ecx
        jmp     5b
6:      cmpl    %edx, %ecx
        jbe     8f
        movq    (%ecx,%eax), %mm2
        movq    %mm2, (%ecx)
        subl    $8, %ecx
        jmp     6b
8:      movq    %mm1, (%ebx)
        movq    %mm0, (%edx)
        emms
        popl    %esi
        popl    %ebx
        ret

# ---- variants 3 to 5: 16-byte registers ----------------------------------------------
.macro QM_MOVE_XMM name, load, store, ntstore, limit
        .globl  \name
        .balign 16
\name:
        QM_MOVE_DISPATCH
3:      pushl   %ebx
        .if     \limit
        movl    %ecx, %ebx
        negl    %ebx
        cmpl    QmLargeMoveLimit, %ebx
        jl      7f
        .endif
        \load   (%eax), %xmm0
        \load   -16(%eax,%ecx), %xmm1
        leal    -16(%edx,%ecx), %ebx
        pushl   %edx
        subl    %edx, %eax
        addl    $16, %edx
        andl    $-16, %edx
        movl    %ebx, %ecx
        subl    %edx, %ecx
        shrl    $6, %ecx
        jz      6f
5:      \load   (%edx,%eax), %xmm2
        \load   16(%edx,%eax), %xmm3
        \load   32(%edx,%eax), %xmm4
        \load   48(%edx,%eax), %xmm5
        \store  %xmm2, (%edx)
        \store  %xmm3, 16(%edx)
        \store  %xmm4, 32(%edx)
        \store  %xmm5, 48(%edx)
        addl    $64, %edx
        decl    %ecx
        jnz     5b
6:      cmpl    %ebx, %edx
        jae     8f
        \load   (%edx,%eax), %xmm2
        \store  %xmm2, (%edx)
        addl    $16, %edx
        jmp     6b
8:      movups  %xmm1, (%ebx)
        popl    %edx
        movups  %xmm0, (%edx)
        popl    %ebx
        ret
        .if     \limit
7:      \load   (%eax), %xmm0
        \load   -16(%eax,%ecx), %xmm1
        leal    -16(%edx,%ecx), %ebx
        pushl   %edx
        subl    %edx, %eax
        addl    $16, %edx
        andl    $-16, %edx
        movl    %ebx, %ecx
        subl    %edx, %ecx
        shrl    $6, %ecx
        jz      72f
71:     prefetchnta 512(%edx,%eax)
        \load   (%edx,%eax), %xmm2
        \load   16(%edx,%eax), %xmm3
        \load   32(%edx,%eax), %xmm4
        \load   48(%edx,%eax), %xmm5
        \ntstore %xmm2, (%edx)
        \ntstore %xmm3, 16(%edx)
        \ntstore %xmm4, 32(%edx)
        \ntstore %xmm5, 48(%edx)
        addl    $64, %edx
        decl    %ecx
        jnz     71b
        sfence
72:     jmp     6b
        .endif
4:      pushl   %ebx
        pushl   %esi
        \load   (%eax), %xmm0
        \load   -16(%eax,%ecx), %xmm1
        leal    -16(%edx,%ecx), %ebx
        subl    %edx, %eax
        movl    %ebx, %ecx
        andl    $-16, %ecx
        leal    48(%edx), %esi
5:      cmpl    %esi, %ecx
        jbe     6f
        \load   (%ecx,%eax), %xmm2
        \load   -16(%ecx,%eax), %xmm3
        \load   -32(%ecx,%eax), %xmm4
        \load   -48(%ecx,%eax), %xmm5
        \store  %xmm2, (%ecx)
        \store  %xmm3, -16(%ecx)
        \store  %xmm4, -32(%ecx)
        \store  %xmm5, -48(%ecx)
        subl    $64, %ecx
        jmp     5b
6:      cmpl    %edx, %ecx
        jbe     8f
        \load   (%ecx,%eax), %xmm2
        \store  %xmm2, (%ecx)
        subl    $16, %ecx
        jmp     6b
8:      movups  %xmm1, (%ebx)
        movups  %xmm0, (%edx)
        popl    %esi
        popl    %ebx
        ret
.endm

        QM_MOVE_XMM QmFastMoveSSE, movups, movaps, movntps, 1
        QM_MOVE_XMM QmFastMoveSSE2, movdqu, movdqa, movntdq, 1
        QM_MOVE_XMM QmFastMoveSSE3, lddqu, movdqa, movntdq, 0
