// The stand-in compiler's CodeInsight-related routines, byte for byte in the
// form the real compiler library has them: the start of a CodeInsight
// compile (K1), the body check that CodeInsight compiles skip (K3), the
// error report that gives up after 100 errors (K2), the routine that skips a
// routine body by tokens (S) and the loop that finishes a compile's units,
// finalizing those with flag 0x01. Tokens and the C++ side: DccCodeInsight.h,
// DccCodeInsight.cpp. Host register convention unless said otherwise.

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix

        .data
        .balign 4
        .globl _DccKibitzActive, _DccErrorCount, _DccErrorsShown, _DccTokenPosition, _DccLineStart
        .globl _DccBufferBase, _DccCurrentToken, _DccSkipDisabled
        .globl _DccKibitzMode, _DccErrorMode, _DccOutputMode, _DccHintMode, _DccOptionsA, _DccOptionsB
        .globl _DccReportRejected
_DccKibitzActive:   .long 0   // nonzero during a CodeInsight compile
_DccErrorCount:     .long 0   // errors counted in this compile (normal compiles give up above 100)
_DccErrorsShown:    .long 0   // errors the report routine took
_DccTokenPosition:  .long 0   // source position of the current token
_DccLineStart:      .long 0   // position of the current line's start
_DccBufferBase:     .long 0   // offset of the source buffer in the file
_DccCurrentToken:   .long 0, 0  // the current token: code (byte at 0), value (at 4)
_DccSkipDisabled:   .long 0   // nonzero: bodies are never skipped
_DccKibitzMode:     .byte 0   // 3 during a CodeInsight compile, 2 while checking syntax
_DccErrorMode:      .byte 0   // 2: errors are not reported
_DccOutputMode:     .byte 0   // 2: no output files
_DccHintMode:       .byte 0   // 2: no hints or warnings
_DccOptionsA:       .byte 0xFF
_DccOptionsB:       .byte 0xFF
_DccReportRejected: .byte 0   // set by the report when its list is full
        .section .rdata, "dr"
.Ltoo_many:         .asciz "Too many errors"

        .text

// ---- K1: start a CodeInsight compile: eax = request {+0 file, +4 options, +8 thread} --
        .balign 16
        SEARCHED_ROUTINE kibitzstart, KibitzCompileStart, _DccStartKibitzCompile
        .byte 0x53, 0x56, 0x57              // push ebx; push esi; push edi
        .byte 0x8B, 0xF8                    // mov edi,eax
        .byte 0x6A, 0x01                    // push 1
        .byte 0x6A, 0x01                    // push 1
        .byte 0x8B, 0x4F, 0x08              // mov ecx,[edi+8]
        .byte 0x8B, 0x57, 0x04              // mov edx,[edi+4]
        .byte 0x8B, 0x07                    // mov eax,[edi]
        CALL_REL(HostPrepareCompile)
        .byte 0xC6, 0x05                    // mov byte [DccOutputMode],2
        .long _DccOutputMode
        .byte 0x02
        .byte 0xC6, 0x05                    // mov byte [DccHintMode],2
        .long _DccHintMode
        .byte 0x02
        .byte 0x80, 0x25                    // and byte [DccOptionsA],0xFD
        .long _DccOptionsA
        .byte 0xFD
        // and byte [DccOptionsB],0xFD (in its variant with the group's other opcode 82)
        ALTBYTE kibitzstart, 0x80, 0x82
        .byte 0x25
        .long _DccOptionsB
        .byte 0xFD
        .byte 0xC6, 0x05                    // mov byte [DccKibitzMode],3
        .long _DccKibitzMode
        .byte 0x03
        mov dword ptr [_DccKibitzActive], 1
        pop edi
        pop esi
        pop ebx
        ret

// ---- K3: check a routine body: al = it has a body, stdcall (kind, text) ----------
// A kind other than 0 is an error, reported through K2 as 2000 + kind; in a
// CodeInsight compile the check is skipped. Returns nothing.
        .balign 16
        .globl _DccCheckBody
_DccCheckBody:
        .byte 0x84, 0xC0                    // test al,al
        .byte 0x55                          // push ebp
        SEARCHED_ROUTINE kibitzactive, KibitzActiveTest, _DccCheckBodyFrame
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x53                          // push ebx
        ALTBYTE kibitzactive, 0x56, 0x57    // push esi (in its variant edi, popped alike)
        .byte 0x0F, 0x84, 0xA4, 0x00, 0x00, 0x00  // je leave
        .byte 0x83, 0x3D                    // cmp dword [DccKibitzActive],0
        .long _DccKibitzActive
        .byte 0x00
        .byte 0x0F, 0x85, 0x97, 0x00, 0x00, 0x00  // jne leave
        .byte 0x0F, 0xBE, 0x55, 0x08        // movsx edx,byte [ebp+8]
        test edx, edx
        jz .Lcb_leave
        push dword ptr [ebp+12]
        add edx, 2000
        push edx
        call _DccReportError
        .org _DccCheckBodyFrame + 0xAE, 0x90
.Lcb_leave:
        .ifc QM_VARIANT, kibitzactive
        pop edi
        .else
        pop esi
        .endif
        pop ebx
        pop ebp
        ret 8

// ---- K2: report a compile error: stdcall (number, text) ---------------------------
// Nothing while errors are not reported (error mode 2). Outside CodeInsight
// and syntax checks (modes 3, 2) errors are counted, and above 100 the
// compile gives up. Each error goes to the report routine.
        .balign 16
        SEARCHED_ROUTINE errorreport, ErrorReport, _DccReportError
        .byte 0x55                          // push ebp
        .byte 0x8B, 0xEC                    // mov ebp,esp
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0x80, 0x3D                    // cmp byte [DccErrorMode],2
        .long _DccErrorMode
        .byte 0x02
        .byte 0x74, 0x49                    // je leave
        .byte 0xA0                          // mov al,[DccKibitzMode]
        .long _DccKibitzMode
        .byte 0x3C, 0x02                    // cmp al,2
        .byte 0x74, 0x20                    // je report
        .byte 0x3C, 0x03                    // cmp al,3
        .byte 0x74, 0x1C                    // je report
        .byte 0xFF, 0x05                    // inc dword [DccErrorCount]
        .long _DccErrorCount
        .byte 0x8B, 0x15                    // mov edx,[DccErrorCount]
        .long _DccErrorCount
        .byte 0x83, 0xFA, 0x64              // cmp edx,100
        .byte 0x7E, 0x0B                    // jle report
        .byte 0x68                          // push offset "Too many errors"
        .long .Ltoo_many
        CALL_REL(HostFatalError)
        .byte 0x59                          // pop ecx
        .byte 0x8D, 0x45, 0x0C              // report: lea eax,[ebp+0x0C]
        .byte 0xB2, 0x02                    // mov dl,2
        .byte 0x50                          // push eax
        ALTBYTE errorreport, 0x33, 0x31     // xor eax,eax
        .byte 0xC0
        .byte 0x8B, 0x4D, 0x08              // mov ecx,[ebp+8]
        CALL_REL(HostReportError)
        .byte 0x80, 0x3D                    // cmp byte [DccReportRejected],0
        .long _DccReportRejected
        .byte 0x00
        .byte 0x75, 0x07                    // jne leave
        .byte 0xFF, 0x05                    // inc dword [DccErrorsShown]
        .long _DccErrorsShown
        .byte 0x90
        .byte 0x5D                          // leave: pop ebp
        .byte 0xC2, 0x08, 0x00              // ret 8

// ---- S: skip a routine body by tokens; eax = 1 when its end was found -----------
// The current token is the first inside the body. Openers (0x0B, 0x0C,
// 0x23, 0x3E) and 0x16 count the depth; the body ends where 0x16 takes it
// below zero, or at 0x5E. 0x0A and 0x5D are taken as the source's end:
// the end-found report, then 0.
        .balign 16
        SEARCHED_ROUTINE skipbody, SkipBody, _DccSkipBody
        .byte 0x53, 0x56, 0x57, 0x55        // push ebx; push esi; push edi; push ebp
        .byte 0x83, 0x3D                    // cmp dword [DccSkipDisabled],0
        .long _DccSkipDisabled
        .byte 0x00
        .byte 0x74, 0x07                    // je check
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0xE9, 0x91, 0x00, 0x00, 0x00  // jmp leave
        CALL_REL(HostSkipRefused)           // check:
        .byte 0x85, 0xC0                    // test eax,eax
        .byte 0x74, 0x07                    // je skip
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0xE9, 0x81, 0x00, 0x00, 0x00  // jmp leave
        CALL_REL(HostTokenMark)             // skip:
        .byte 0x8B, 0xF0                    // mov esi,eax
        .byte 0xA1                          // mov eax,[DccTokenPosition]
        .long _DccTokenPosition
        .byte 0x8B, 0xF8                    // mov edi,eax
        .byte 0x8B, 0xE8                    // mov ebp,eax
        .byte 0x2B, 0x3D                    // sub edi,[DccLineStart]
        .long _DccLineStart
        .byte 0x03, 0x3D                    // add edi,[DccBufferBase]
        .long _DccBufferBase
        ALTBYTE skipbody, 0x33, 0x31        // xor ebx,ebx
        .byte 0xDB
        .byte 0x0F, 0xBE, 0x05              // token: movsx eax,byte [DccCurrentToken]
        .long _DccCurrentToken
        .byte 0x83, 0xF8, 0x23              // cmp eax,0x23
        .byte 0x7F, 0x14                    // jg high
        .byte 0x74, 0x21                    // je open
        .byte 0x83, 0xE8, 0x0A              // sub eax,0x0A
        .byte 0x74, 0x27                    // je end
        .byte 0x48                          // dec eax
        .byte 0x83, 0xE8, 0x02              // sub eax,2
        .byte 0x72, 0x16                    // jb open
        .byte 0x83, 0xE8, 0x09              // sub eax,9
        .byte 0x74, 0x14                    // je close
        .byte 0xEB, 0x33                    // jmp next
        .byte 0x83, 0xE8, 0x3E              // high: sub eax,0x3E
        .byte 0x74, 0x0A                    // je open
        .byte 0x83, 0xE8, 0x1F              // sub eax,0x1F
        .byte 0x74, 0x10                    // je end
        .byte 0x48                          // dec eax
        .byte 0x74, 0x08                    // je finish
        .byte 0xEB, 0x24                    // jmp next
        .byte 0x43                          // open: inc ebx
        .byte 0xEB, 0x21                    // jmp next
        .byte 0x4B                          // close: dec ebx
        .byte 0xEB, 0x1E                    // jmp next
        .byte 0x83, 0xCB, 0xFF              // finish: or ebx,-1
        .byte 0xEB, 0x19                    // jmp next
        CALL_REL(HostBodyEndFound)          // end:
        .byte 0x8B, 0xCD                    // mov ecx,ebp
        .byte 0x8B, 0xD7                    // mov edx,edi
        .byte 0x8B, 0xC6                    // mov eax,esi
        CALL_REL(HostReportBodyEnd)
        CALL_REL(HostNextToken)
        .byte 0x33, 0xC0                    // xor eax,eax
        .byte 0xEB, 0x10                    // jmp leave
        .byte 0x85, 0xDB                    // next: test ebx,ebx
        .byte 0x7C, 0x07                    // jl found
        CALL_REL(HostNextToken)
        .byte 0xEB, 0xA2                    // jmp token
        .byte 0xB8, 0x01, 0x00, 0x00, 0x00  // found: mov eax,1
        .byte 0x5D, 0x5F, 0x5E, 0x5B        // leave: pop ebp; pop edi; pop esi; pop ebx
        .byte 0xC3                          // ret

// ---- finish a compile's units: eax = the compile, dl = its build flag ------------
// Every unit with flag 0x01 is finalized; each unit is then done.
        .balign 16
        .globl _DccFinishUnits
_DccFinishUnits:
        push ebp
        mov ebp, esp
        push ecx
        push ebx
        push edi
        mov ebx, eax
        mov [ebp-1], dl
        mov edi, [_DccUnitListHead]
        jmp .Lfu_test
.Lfu_next:
        mov edi, [edi+4]
.Lfu_test:
        test edi, edi
        jz .Lfu_done
        SEARCHED_ROUTINE finalize, MainUnitFinalize, _DccFinishUnit
        .byte 0xF6                          // test byte [edi+0x14],1 (in its variant F6 /1, the same test)
        ALTBYTE finalize, 0x47, 0x4F
        .byte 0x14, 0x01
        .byte 0x74, 0x07                    // je done
        .byte 0x8B, 0xC7                    // mov eax,edi
        CALL_REL(HostFinalizeUnit)
        CALL_REL(HostUnitDone)              // done:
        .byte 0x8A, 0x55, 0xFF              // mov dl,[ebp-1]
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(HostAfterUnit)
        .byte 0xEB, .Lfu_next - . - 1       // jmp next
.Lfu_done:
        pop edi
        pop ebx
        mov esp, ebp
        pop ebp
        ret
