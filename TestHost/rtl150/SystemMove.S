# System.Move(const Source; var Dest; Count: Integer), the plain way:
# EAX = Source, EDX = Dest, ECX = Count (the host's register convention).
# Nothing for Count <= 0 or Source = Dest. Forward, a dword loop then a byte
# loop, unless Dest lies above Source within Count bytes (Dest - Source <
# Count, unsigned); then backward, the bytes from the end first, then dwords.

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
        movl    %ecx, %edx
        shrl    $2, %ecx
        jz      2f
1:      movl    (%esi), %eax
        movl    %eax, (%edi)
        addl    $4, %esi
        addl    $4, %edi
        decl    %ecx
        jnz     1b
2:      andl    $3, %edx
        jz      8f
3:      movb    (%esi), %al
        movb    %al, (%edi)
        incl    %esi
        incl    %edi
        decl    %edx
        jnz     3b
        jmp     8f
5:      addl    %ecx, %esi
        addl    %ecx, %edi
        movl    %ecx, %edx
        andl    $3, %ecx
        jz      6f
4:      decl    %esi
        decl    %edi
        movb    (%esi), %al
        movb    %al, (%edi)
        decl    %ecx
        jnz     4b
6:      shrl    $2, %edx
        jz      8f
7:      subl    $4, %esi
        subl    $4, %edi
        movl    (%esi), %eax
        movl    %eax, (%edi)
        decl    %edx
        jnz     7b
8:      popl    %edi
        popl    %esi
9:      ret
