// TDebuggerExpressionInspector's two constructors and SetupDBKInspector, in
// the host's register convention. Each registers the inspector with the
// debugged process's notifier list the way the host's code does, in the
// same 28 bytes (searched): the list asked from the evaluator at +0x10
// (its interface method at +0x60, the result into a local), then the
// list's fourth method (+0x0C) called with the list in EAX and the
// inspector's process-notifier interface (the object + 0x68; nil for a nil
// object) in EDX; the index it answers is kept at +0x6C.
//
// Each routine's ALTBYTE turns "test edx,edx" into "or edx,edx" (the same
// flags for the jump that follows), so its variant build works the same
// but no longer matches (Common/SearchedRoutines.inc).

#include "Common/SearchedRoutines.inc"

        .intel_syntax noprefix
        .text

// The 28 searched bytes, around the routine's own ALTBYTE line (test edx,edx
// / or edx,edx, then 0xD2); the local list slot is [ebp-4], the inspector in ebx.
.macro ADD_TO_NOTIFIERS_HEAD
        .byte 0x8D, 0x55, 0xFC              // lea  edx,[ebp-4]
        .byte 0x8B, 0x43, 0x10              // mov  eax,[ebx+0x10]
        .byte 0x8B, 0x08                    // mov  ecx,[eax]
        .byte 0xFF, 0x51, 0x60              // call [ecx+0x60]
        .byte 0x8B, 0x45, 0xFC              // mov  eax,[ebp-4]
        .byte 0x8B, 0xD3                    // mov  edx,ebx
.endm
.macro ADD_TO_NOTIFIERS_TAIL
        .byte 0xD2
        .byte 0x74, 0x03                    // je   +3
        .byte 0x83, 0xEA, 0x98              // sub  edx,-0x68
        .byte 0x8B, 0x08                    // mov  ecx,[eax]
        .byte 0xFF, 0x51, 0x0C              // call [ecx+0x0C]
.endm

// After the search: the index kept, the local list reference released.
.macro KEEP_INDEX_AND_RELEASE
        mov     [ebx+0x6C], eax
        lea     eax, [ebp-4]
        call    _DbgProReleaseLocal         // register: EAX = &local
.endm

// constructor Create(const Inspect: IDbkInspect; MemberType; Index: Integer;
//   const Thread: IOTAThread; var EvalResult; B1, B2, B3: Boolean)
// EAX = class, DL = allocate, ECX = Inspect, seven more on the stack.
        .balign 16
        .globl  _DbgProInspectorCreate
_DbgProInspectorCreate:
        .byte   0x55                        // push ebp
        .byte   0x8B, 0xEC                  // mov  ebp,esp
        .byte   0x51                        // push ecx  (the local slot)
        .byte   0x53                        // push ebx
        mov     eax, ecx
        call    _DbgProNewInspector         // register: EAX = Inspect -> object
        mov     ebx, eax
        mov     dword ptr [ebp-4], 0
        SEARCHED_ROUTINE inspectorcreate, InspectorCreate, _DbgProInspectorCreateSite
        ADD_TO_NOTIFIERS_HEAD
        ALTBYTE inspectorcreate, 0x85, 0x09              // test edx,edx  (variant: or edx,edx)
        ADD_TO_NOTIFIERS_TAIL
        KEEP_INDEX_AND_RELEASE
        mov     eax, ebx
        pop     ebx
        pop     ecx
        pop     ebp
        ret     0x1C

// constructor Create(const Inspect: IDbkInspect; const Thread: IOTAThread;
//   B1, B2, B3: Boolean): EAX = class, DL = allocate, ECX = Inspect, four
// more on the stack.
        .balign 16
        .globl  _DbgProInspectorCreateForThread
_DbgProInspectorCreateForThread:
        .byte   0x55                        // push ebp
        .byte   0x8B, 0xEC                  // mov  ebp,esp
        .byte   0x51                        // push ecx
        .byte   0x53                        // push ebx
        mov     eax, ecx
        call    _DbgProNewInspector
        mov     ebx, eax
        mov     dword ptr [ebp-4], 0
        SEARCHED_ROUTINE inspectorcreatethread, InspectorCreateForThread, _DbgProInspectorCreateForThreadSite
        ADD_TO_NOTIFIERS_HEAD
        ALTBYTE inspectorcreatethread, 0x85, 0x09              // test edx,edx  (variant: or edx,edx)
        ADD_TO_NOTIFIERS_TAIL
        KEEP_INDEX_AND_RELEASE
        mov     eax, ebx
        pop     ebx
        pop     ecx
        pop     ebp
        ret     0x10

// procedure SetupDBKInspector(Expression, TypeName: string; Index: Integer):
// EAX = Self, EDX, ECX, one more on the stack. The inspector leaves the
// list (if it is in it) and registers again.
        .balign 16
        .globl  _DbgProSetupInspector
_DbgProSetupInspector:
        .byte   0x55                        // push ebp
        .byte   0x8B, 0xEC                  // mov  ebp,esp
        .byte   0x51                        // push ecx
        .byte   0x53                        // push ebx
        mov     ebx, eax
        call    _DbgProLeaveNotifiers       // register: EAX = Self
        mov     dword ptr [ebp-4], 0
        SEARCHED_ROUTINE setupinspector, SetupInspector, _DbgProSetupInspectorSite
        ADD_TO_NOTIFIERS_HEAD
        ALTBYTE setupinspector, 0x85, 0x09              // test edx,edx  (variant: or edx,edx)
        ADD_TO_NOTIFIERS_TAIL
        KEEP_INDEX_AND_RELEASE
        pop     ebx
        pop     ecx
        pop     ebp
        ret     4
