#include "Patches/Compiler/CompilerShrinkUnitMemory.h"

#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"

namespace Quillmend {

THostFreeChain HostFreeChain = nullptr;

// The host compares the offsets signed; so do we. The current block is
// taken only when the size lies strictly inside it: at either edge the walk
// would stop at another block (the end of the one before, or a block whose
// size the offset equals), and the result must be the walk's.
void QM_REGISTER ShrinkPool(TDccPool* pool, int32_t newUsed, int32_t extra) {
  TDccPoolBlock* block = pool->Current;
  int32_t offset = newUsed;
  if (block && pool->UsedBefore < newUsed && newUsed < pool->UsedBefore + block->Size) {
    offset = newUsed - pool->UsedBefore;
  } else {
    for (block = pool->First; block && offset > block->Size; block = block->Next) offset -= block->Size;
  }
  if (!block) {
    pool->Pointer = pool->CurrentStart + offset;
    return;
  }
  HostFreeChain(block->Next, newUsed, extra);
  pool->Current = block;
  block->Next = nullptr;
  pool->UsedBefore = newUsed - offset;
  pool->CurrentStart = block->Start;
  pool->Pointer = block->Start + offset;
  pool->End = block->Start + block->Size;
}

namespace {

TPatchPlan ShrinkPlan() {
  TPatchPlan plan(L"Compiler.Memory.Shrink", L"Optimized memory shrink function");
  plan.LoadedModule(L"dcc150.dll", &GetDccHandle);
  TSiteRef shrink = plan.Pattern(L"PoolShrink", L"dcc150.dll", CompilerShrinkPatterns::Shrink, 0x1000000);
  TCaptureRef freeChain = plan.CallTarget(shrink, CompilerShrinkPatterns::FreeChainCall);
  plan.Redirect(shrink, &ShrinkPool);
  plan.OnCommit([=](const TPlanValues& v) { HostFreeChain = v.Get<THostFreeChain>(freeChain); });
  return plan;
}

void InitializeCompilerShrinkUnitMemory() { AddWizardInitProc(&InstallCompilerShrinkUnitMemory); }

} // namespace

std::vector<TPatchPlan> CompilerShrinkUnitMemoryPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(ShrinkPlan());
  return plans;
}

void InstallCompilerShrinkUnitMemory() {
  TPatchPlan plan = ShrinkPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_CompilerShrinkUnitMemory = {"CompilerShrinkUnitMemory", &InitializeCompilerShrinkUnitMemory,
                                                 nullptr, &CompilerShrinkUnitMemoryPlans};

} // namespace Quillmend
