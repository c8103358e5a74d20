#include "Patches/SystemUnit/FastMove.h"

#include <climits>

#include "Patches/SystemUnit/FastcodeCPUID.h"

int32_t QmLargeMoveLimit = INT32_MIN;

namespace Quillmend {

namespace {

TMoveVariant g_variant = mvIA32;

void InitializeFastMove() {
  g_variant = SelectMoveVariant(CpuInfo().Features);
  QmLargeMoveLimit = LargeMoveLimitFor(CpuInfo().L2CacheKB);
}

void FinalizeFastMove() {
  g_variant = mvIA32;
  QmLargeMoveLimit = INT32_MIN;
}

}  // namespace

TMoveVariant SelectMoveVariant(uint16_t features) {
  if (features & CpuFeature::SSE3) return mvSSE3;
  if (features & CpuFeature::SSE2) return mvSSE2;
  if (features & CpuFeature::SSE) return mvSSE;
  if (features & CpuFeature::MMX) return mvMMX;
  return mvIA32;
}

TMoveProc MoveVariantProc(TMoveVariant variant) {
  switch (variant) {
    case mvMMX: return &QmFastMoveMMX;
    case mvSSE: return &QmFastMoveSSE;
    case mvSSE2: return &QmFastMoveSSE2;
    case mvSSE3: return &QmFastMoveSSE3;
    default: return &QmFastMoveIA32;
  }
}

const char* MoveVariantName(TMoveVariant variant) {
  switch (variant) {
    case mvMMX: return "MMX";
    case mvSSE: return "SSE";
    case mvSSE2: return "SSE2";
    case mvSSE3: return "SSE3";
    default: return "IA32";
  }
}

int32_t LargeMoveLimitFor(uint16_t l2CacheKB) {
  if (l2CacheKB == 0) return INT32_MIN;
  return -int32_t(uint32_t(l2CacheKB) * 512);
}

TMoveVariant FastMoveVariant() { return g_variant; }

TMoveProc FastMoveProc() { return MoveVariantProc(g_variant); }

const TUnitInfo Unit_FastMove = {"FastMove", &InitializeFastMove, &FinalizeFastMove};

} // namespace Quillmend
