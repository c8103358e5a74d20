# System.Move(const Source; var Dest; Count: Integer), the plain way:
# EAX = Source, EDX = Dest, ECX = Count (the host's register convention).
# Nothing for Count <= 0 or Source = Dest. Forward, a dword string move then
# a byte string move, unless Dest lies above Source within Count bytes
# (Dest - Source < Count, unsigned); then backward, the bytes from the end
# first, then dwords.

        .text
        .globl  _rtl_Move
        .balign 16
_rtl_Move:
        testl   %ecx, %ecx
        jle     9f
        cmpl    %edx, %eax
        je      9f
        pushl   %esi
        pushl   %edi
        movl    %eax, %esi
        movl    %edx, %edi
        movl    %edi, %eax
        subl    %esi, %eax
        cmpl    %ecx, %eax
        jb      5f
        movl    %ecx, %edx              # forward: dwords, then the bytes left
        shrl    $2, %ecx
        cld
        rep movsl
        movl    %edx, %ecx
        andl    $3, %ecx
        rep movsb
        jmp     8f
5:      leal    -1(%esi,%ecx), %esi     # backward: the bytes at the end, then dwords
        leal    -1(%edi,%ecx), %edi
        movl    %ecx, %edx
        andl    $3, %ecx
        std
        rep movsb
        movl    %edx, %ecx
        shrl    $2, %ecx
        subl    $3, %esi
        subl    $3, %edi
        rep movsl
        cld
8:      popl    %edi
        popl    %esi
9:      ret
