// "IDE.ClassCompletion.ClassOperatorIn": class completion skips a
// `class operator In` (its name classifies as the reserved word "in") and
// would escape its name as "&In". At site A the classifier's call gets the
// token kind too (`89 F2` keeps it in EAX and moves the name to EDX): for an
// operator (kind 8) the reserved word "in" (138) classifies as a name (2).
// At sites B and C the reserved-word test's calls reach adapters that pass
// the method's symbol along (B: ESI, C: EBX): for an operator symbol (low 4
// bits of its first byte 8) "In" (any case) is no reserved word. B's call
// must reach the same routine as C's, else nothing is written.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The host's classifier and reserved-word test (EAX = the text; the answer in AL).
using TClassify = uint32_t(QM_REGISTER*)(const char* text);
using TIsReserved = uint32_t(QM_REGISTER*)(const char* text);
extern TClassify OrgClassify;
extern TIsReserved OrgIsReserved;

// A: EAX = the token kind (only AL is the host's), EDX = the text.
uint32_t QM_REGISTER ClassifyReplacement(uint32_t tokenKind, const char* text);
// B and C, through their adapters: EAX = the text, EDX = the symbol.
uint32_t QM_REGISTER IsReservedReplacement(const char* text, const uint8_t* symbol) asm("QmIsReservedReplacement");

TPatchPlan ClassOperatorInPlan();
void InstallClassComplOperatorOverloadFix();

extern const TUnitInfo Unit_ClassComplOperatorOverloadFix;

} // namespace Quillmend
