// The processor-specific move: five variants of the system unit's Move
// (FastMoveVariants.S), one selected at unit initialization from the
// processor's features, with the large-move limit from its L2 cache. Not a
// named patch: always active. FastCodeInstall puts the selected variant in
// place of System.Move; the debugger's C run-time replacements call it.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"

extern "C" {
// Move(const Source; var Dest; Count: Integer): EAX = Source, EDX = Dest, ECX = Count.
void QM_REGISTER QmFastMoveIA32(const void* source, void* dest, int32_t count) asm("QmFastMoveIA32");
void QM_REGISTER QmFastMoveMMX(const void* source, void* dest, int32_t count) asm("QmFastMoveMMX");
void QM_REGISTER QmFastMoveSSE(const void* source, void* dest, int32_t count) asm("QmFastMoveSSE");
void QM_REGISTER QmFastMoveSSE2(const void* source, void* dest, int32_t count) asm("QmFastMoveSSE2");
void QM_REGISTER QmFastMoveSSE3(const void* source, void* dest, int32_t count) asm("QmFastMoveSSE3");
// -(half the L2 cache in bytes): a forward move of variants 2 to 4 is large
// when -Count < this. INT32_MIN: no move is large.
extern int32_t QmLargeMoveLimit asm("QmLargeMoveLimit");
}

namespace Quillmend {

using TMoveProc = void(QM_REGISTER*)(const void* source, void* dest, int32_t count);

enum TMoveVariant : uint8_t { mvIA32 = 1, mvMMX = 2, mvSSE = 3, mvSSE2 = 4, mvSSE3 = 5 };

// SSE3 → 5, else SSE2 → 4, else SSE → 3, else MMX → 2, else 1.
TMoveVariant SelectMoveVariant(uint16_t features);
TMoveProc MoveVariantProc(TMoveVariant variant);
const char* MoveVariantName(TMoveVariant variant);
// -(L2 size in KB x 512); an unknown L2 (0) gives INT32_MIN, so that no move
// is taken for a large one (-0 would make every move large).
int32_t LargeMoveLimitFor(uint16_t l2CacheKB);

// The variant selected at unit initialization (variant 1 before).
TMoveVariant FastMoveVariant();
TMoveProc FastMoveProc();

extern const TUnitInfo Unit_FastMove;

} // namespace Quillmend
