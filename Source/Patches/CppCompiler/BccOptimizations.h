// Small C++ tool-chain patches: "bcc.stricmp" (the compiler's stricmp, which
// calls the C library's is-lower test and to-upper conversion for every
// byte, replaced by an ASCII compare), "bcc.ltolowerCalls" (the integer
// suffix reader's call of ltolower replaced by ltolower's own table lookup,
// inline), and "bcc.DoKibitzProgress" (the background compile's progress
// procedure without its PeekMessage call).
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The package whose variable holds the progress procedure.
constexpr const wchar_t* DelphiCorePackage = L"delphicoreide150.bpl";
constexpr const char* DoKibitzProgressExport = "@Pascppcominout@DoKibitzProgress";
// TKibitzingMonitor.Canceled (host register convention: EAX = Self, result in AL).
constexpr const wchar_t* KibitzingMonitorPackage = L"coreide150.bpl";
constexpr const char* KibitzingMonitorCanceledExport = "@Kibitzingmonitor@TKibitzingMonitor@Canceled$qqrv";

// -1, 0 or 1 as the first string's byte with "a".."z" upper-cased is
// smaller, equal or larger than the second's (cdecl, as the compiler's).
int32_t __cdecl StricmpReplacement(const char* a, const char* b);

// The 15 bytes written over the ltolower call site: xor eax,eax; mov al,bl;
// mov edi,eax; movzx eax,byte [eax+table]; mov edi,edi.
std::vector<uint8_t> InlineLtolowerCode(const void* table);

TPatchPlan StricmpPlan();
TPatchPlan LtolowerCallsPlan();
TPatchPlan DoKibitzProgressPlan();
// The C++-compiler-init procedure: the two compiler patches when comp32x.dll
// is loaded; "bcc.DoKibitzProgress" once (it is not a compiler patch).
void InstallBccOptimizations();

extern const TUnitInfo Unit_BccOptimizations;

}  // namespace Quillmend
