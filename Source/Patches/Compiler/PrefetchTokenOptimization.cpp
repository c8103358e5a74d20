#include "Patches/Compiler/PrefetchTokenOptimization.h"

#include <windows.h>

#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"

namespace Quillmend {

// The compiler's strlen at the two sites, continued in by the stubs below.
void* g_strLenSymbol asm("QmHostStrLenSymbol") = nullptr;
void* g_strLenMember asm("QmHostStrLenMember") = nullptr;

namespace {

struct TBlockHeader {
  TBlockHeader* Next;
  int32_t Size;
};

constexpr int32_t MinimumBlock = 2040;

TBlockHeader* g_freeList = nullptr;
size_t g_made = 0;

TBlockHeader* HeaderOf(void* buffer) { return static_cast<TBlockHeader*>(buffer) - 1; }

} // namespace

void* QM_REGISTER TokenBufAlloc(int32_t size) {
  for (TBlockHeader** link = &g_freeList; *link; link = &(*link)->Next) {
    TBlockHeader* block = *link;
    if (block->Size < size) continue;
    *link = block->Next;
    return block + 1;
  }
  const int32_t blockSize = size > MinimumBlock ? size : MinimumBlock;
  auto* block = static_cast<TBlockHeader*>(HeapAlloc(GetProcessHeap(), 0, sizeof(TBlockHeader) + size_t(blockSize)));
  if (!block) return nullptr;
  ++g_made;
  block->Next = nullptr;
  block->Size = blockSize;
  return block + 1;
}

void QM_REGISTER TokenBufFree(void* buffer) {
  // The compiler's release passes nil on; its header would lie at -8.
  if (!buffer) return;
  TBlockHeader* block = HeaderOf(buffer);
  if (block == g_freeList) return;
  block->Next = g_freeList;
  g_freeList = block;
}

size_t TokenBufFreeCount() {
  size_t count = 0;
  for (TBlockHeader* block = g_freeList; block; block = block->Next) ++count;
  return count;
}

size_t TokenBufMadeCount() { return g_made; }

// strlen (cdecl) of a record's text: a record whose first byte is 0 (esi,
// resp. edi) answers the length it keeps at 0x28.
extern "C" void QmStrLenSymbolStub() asm("QmStrLenSymbolStub");
asm(".text\n"
    ".balign 16\n"
    "QmStrLenSymbolStub:\n"
    "  cmpb $0, (%esi)\n"
    "  je 1f\n"
    "  jmp *QmHostStrLenSymbol\n"
    "1:\n"
    "  movl 0x28(%esi), %eax\n"
    "  ret\n");
extern "C" void QmStrLenMemberStub() asm("QmStrLenMemberStub");
asm(".text\n"
    ".balign 16\n"
    "QmStrLenMemberStub:\n"
    "  cmpb $0, (%edi)\n"
    "  je 1f\n"
    "  jmp *QmHostStrLenMember\n"
    "1:\n"
    "  movl 0x28(%edi), %eax\n"
    "  ret\n");

namespace {

const wchar_t* const Dcc = L"dcc150.dll";
namespace Patterns = PrefetchTokenPatterns;

TPatchPlan PrefetchPlan() {
  TPatchPlan plan(L"Compiler.PrefetchToken", L"Compiler PrefetchToken optimization");
  plan.LoadedModule(Dcc, &GetDccHandle);
  TSiteRef prefetch = plan.Pattern(L"PrefetchToken", Dcc, Patterns::Prefetch, 0);
  TSiteRef allocRoutine = plan.CallTargetOf(L"TokenBufAlloc routine", prefetch, Patterns::AllocCall);
  TSiteRef releaseRoutine = plan.CallTargetOf(L"TokenBufFree routine", prefetch, Patterns::ReleaseCall);
  // Within the routines only: the same bytes elsewhere belong to other buffers.
  TSiteRef alloc = plan.PatternFrom(L"TokenBufAlloc", allocRoutine, 0, Patterns::Alloc, Patterns::InnerWindow);
  TSiteRef release = plan.PatternFrom(L"TokenBufFree", releaseRoutine, 0, Patterns::Release, Patterns::InnerWindow);
  plan.RetargetCall(alloc, Patterns::AllocGetMem, &TokenBufAlloc);
  plan.RetargetCall(release, Patterns::ReleaseFreeMem, &TokenBufFree);
  return plan;
}

TPatchPlan StrLenPlan() {
  TPatchPlan plan(L"Compiler.StrLenCalls", L"Remove unnecessary strlen calls");
  plan.LoadedModule(Dcc, &GetDccHandle);
  TSiteRef symbol = plan.Pattern(L"StrLenSymbol", Dcc, Patterns::StrLenSymbol, 0);
  TSiteRef member = plan.Pattern(L"StrLenMember", Dcc, Patterns::StrLenMember, 0);
  TCaptureRef symbolStrLen = plan.CallTarget(symbol, Patterns::StrLenSymbolCall);
  TCaptureRef memberStrLen = plan.CallTarget(member, Patterns::StrLenMemberCall);
  plan.RetargetCall(symbol, Patterns::StrLenSymbolCall, &QmStrLenSymbolStub);
  plan.RetargetCall(member, Patterns::StrLenMemberCall, &QmStrLenMemberStub);
  plan.OnCommit([=](const TPlanValues& v) {
    g_strLenSymbol = v.Get<void*>(symbolStrLen);
    g_strLenMember = v.Get<void*>(memberStrLen);
  });
  return plan;
}

void InitializePrefetchTokenOptimization() { AddWizardInitProc(&InstallPrefetchTokenOptimization); }

} // namespace

std::vector<TPatchPlan> PrefetchTokenOptimizationPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(PrefetchPlan());
  plans.push_back(StrLenPlan());
  return plans;
}

void InstallPrefetchTokenOptimization() {
  for (TPatchPlan& plan : PrefetchTokenOptimizationPlans()) InstallPlan(plan);
}

const TUnitInfo Unit_PrefetchTokenOptimization = {"PrefetchTokenOptimization", &InitializePrefetchTokenOptimization,
                                                  nullptr, &PrefetchTokenOptimizationPlans};

} // namespace Quillmend
