// TApplication.HookMainWindow / UnhookMainWindow (EAX = Self, the method
// pointer on the stack: Code at the lower address, then Data; the callee
// removes it), handed on to C++ as three register arguments.
        .intel_syntax noprefix
        .text

        .globl _vcl_TApplication_HookMainWindow
_vcl_TApplication_HookMainWindow:
        mov edx, [esp+4]                    // Code
        mov ecx, [esp+8]                    // Data
        call _vcl_ApplicationAddHook
        ret 8

        .globl _vcl_TApplication_UnhookMainWindow
_vcl_TApplication_UnhookMainWindow:
        mov edx, [esp+4]
        mov ecx, [esp+8]
        call _vcl_ApplicationRemoveHook
        ret 8
