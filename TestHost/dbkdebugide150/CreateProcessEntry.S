# Boolean TDebugKernel.CreateProcess(const ProcClntOps: IDbkProcClntOps;
#   Flags: Cardinal; const FileName: string; Arguments: string;
#   const WorkingDirectory: string; Environment: PDbkEnvBlock;
#   const RemoteHost: string; RemotePath: string; Options: Cardinal)
# Host register convention: EAX = Self, EDX = ProcClntOps, ECX = Flags, the
# other seven pushed in order (FileName first, at [ebp+0x20]); the callee
# removes them. The entry begins with the host's frame set-up, byte by byte,
# pushes the seven again in the same order and lets the C++ implementation
# (same convention) do the work.
        .intel_syntax noprefix
        .text
        .globl  _DbkIdeCreateProcess
_DbkIdeCreateProcess:
        .byte   0x55                    # push ebp
        .byte   0x8B, 0xEC              # mov  ebp, esp
        .byte   0x53                    # push ebx
        .byte   0x56                    # push esi
        .byte   0x57                    # push edi
        push    dword ptr [ebp+0x20]    # FileName
        push    dword ptr [ebp+0x1C]    # Arguments
        push    dword ptr [ebp+0x18]    # WorkingDirectory
        push    dword ptr [ebp+0x14]    # Environment
        push    dword ptr [ebp+0x10]    # RemoteHost
        push    dword ptr [ebp+0x0C]    # RemotePath
        push    dword ptr [ebp+0x08]    # Options
        call    _DbkIdeCreateProcessImpl
        pop     edi
        pop     esi
        pop     ebx
        pop     ebp
        ret     0x1C
