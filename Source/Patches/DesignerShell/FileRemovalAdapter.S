// The adapter the nested routine's free call reaches (EAX = the handler,
// EBP = the nested routine's frame, whose [EBP+8] is the enclosing frame):
// the registration routine called again with that frame argument (cdecl),
// then the host's free routine reached with EAX as it came.
        .intel_syntax noprefix
        .text

        .globl QmFileRemovalAdapter
QmFileRemovalAdapter:
        push eax
        push dword ptr [ebp+8]
        call dword ptr [QmFileRemovalSync]
        add esp, 4
        pop eax
        jmp dword ptr [QmFileRemovalFree]
