// Variants._VarToBool(const V: TVarData): Boolean, EAX = V: its first
// instruction is the relative call of the Boolean conversion (the routine
// the pack redirects), then it returns that conversion's answer.
//
// Its variant build (vartobool) jumps to the conversion instead of calling
// it and returning: the same answer, but the routine no longer starts with
// a call (Common/SearchedRoutines.inc).

#include "Common/SearchedRoutines.inc"

        .text
        .balign 16
        SEARCHED_ROUTINE vartobool, VarToBool, _rtl_VarToBool
        ALTBYTE vartobool, 0xE8, 0xE9       // call (jmp) rel32
        .long   _rtl_VarToBoolWorker - . - 4
        ret
