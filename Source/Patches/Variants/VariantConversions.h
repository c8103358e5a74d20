// The replacements of the run-time's variant conversions: one dispatch on
// the type code, the common types answered directly, cached texts for small
// integers and Booleans (when built), the platform's conversion only for
// the rest. They raise nothing of their own: conversion errors are the
// host's (VarResultCheck, VarCastError), raised with no C++ object alive in
// these frames.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Patches/Variants/HostVariants.h"
#include "Patches/Variants/VariantTexts.h"

namespace Quillmend {

// The host routines the replacements call (set before they can run).
void SetVariantHost(const THostVariants& host);
// The cached texts; until set, integers and Booleans are formatted each time.
void SetVariantTexts(const TVariantTexts* texts);

// _VarToUStr(var S: UnicodeString; const V), _VarToLStr (AnsiString),
// _VarToWStr (WideString): EAX = result variable, EDX = V.
void QM_REGISTER VarToUStrReplacement(wchar_t** result, const TVarData* v);
void QM_REGISTER VarToLStrReplacement(char** result, const TVarData* v);
void QM_REGISTER VarToWStrReplacement(wchar_t** result, const TVarData* v);
// The Boolean conversion _VarToBool calls first: EAX = V, result in AL.
bool QM_REGISTER VarToBoolReplacement(const TVarData* v);
// _VarFromWStr, _OleVarFromLStr, _OleVarFromUStr: EAX = V, EDX = the string;
// V becomes an OLE string (what it owned released first).
void QM_REGISTER VarFromWStrReplacement(TVarData* v, const wchar_t* value);
void QM_REGISTER OleVarFromLStrReplacement(TVarData* v, const char* value);
void QM_REGISTER OleVarFromUStrReplacement(TVarData* v, const wchar_t* value);

// Releases what the variant owns and leaves it empty. An array of variants
// is cleared element by element first when the variant owns it; a
// referenced array is left to its owner.
void ClearVariant(TVarData* v);

}  // namespace Quillmend
