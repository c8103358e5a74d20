#include "Patches/Compiler/CompilerLinkerGenericsMatchOptimization.h"

#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"
#include "Hooking/StringHash.h"
#include "Patches/Compiler/GenericsPatterns.h"

namespace Quillmend {

namespace {

namespace Patterns = GenericsPatterns;

const wchar_t* const Dcc = L"dcc150.dll";
constexpr int32_t Window16MB = 0x1000000;
constexpr uint32_t HostTableBytes = 0x400;
constexpr uint32_t HostBuckets = 0x100;
constexpr uint32_t SymbolName = 0x1E;

using TSlowAlloc = void* QM_REGISTER (*)(uint32_t size);

uint8_t** g_current = nullptr;
uint8_t** g_limit = nullptr;
TSlowAlloc g_slow = nullptr;

std::vector<uint8_t> Le32(uint32_t value) {
  return {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
}

} // namespace

// The key routine the bucket selection called before; the stub ends in it.
extern "C" void* LinkerKeyRoutine asm("QmLinkerKeyRoutine");
void* LinkerKeyRoutine = nullptr;

uint32_t GenericsBucketIndex(const char* name) {
  const uint32_t h = Utf8HashText(name);
  return ((h & 0x1FFFF) + (h >> 12)) & 0x1FFFF;
}

extern "C" uint32_t QM_REGISTER SymbolBucketIndex(const uint8_t* symbol) asm("QmSymbolBucketIndex");
uint32_t QM_REGISTER SymbolBucketIndex(const uint8_t* symbol) {
  return GenericsBucketIndex(reinterpret_cast<const char*>(symbol + SymbolName));
}

void* QM_REGISTER FastAlloc(uint32_t size) {
  uint8_t* current = *g_current;
  if (size > uintptr_t(current) || current - size < *g_limit) return g_slow(size);
  *g_current = current - size;
  return current - size;
}

namespace {

// Called from the bucket selection with eax = the symbol: esi := its bucket
// (the compiler scales and adds the table itself), then the key routine it
// called before, with eax unchanged, returning to the compiler.
extern "C" void BucketIndexStub() asm("QmBucketIndexStub");
asm(".text\n"
    ".balign 16\n"
    "QmBucketIndexStub:\n"
    "  pushl %eax\n"
    "  call QmSymbolBucketIndex\n"
    "  movl %eax, %esi\n"
    "  popl %eax\n"
    "  jmp *QmLinkerKeyRoutine\n");

TPatchPlan LinkerGenericsMatchPlan() {
  TPatchPlan plan(L"Compiler.Linker.GenericsMatch", L"Optimizes the linker's generics match function");
  plan.LoadedModule(Dcc, &GetDccHandle);
  TSiteRef alloc = plan.Pattern(L"LinkerAlloc", Dcc, Patterns::LinkerAlloc, Window16MB);
  TSiteRef table = plan.Pattern(L"LinkerMatchTable", Dcc, Patterns::LinkerMatchTable, Window16MB);
  TSiteRef bucket = plan.PatternFrom(L"LinkerBucket", table, 0, Patterns::LinkerBucket, 0x1000);
  TSiteRef pass1 = plan.PatternFrom(L"LinkerPass1", bucket, 0, Patterns::LinkerPass1, 0x10000);
  TSiteRef pass2 = plan.PatternFrom(L"LinkerPass2", pass1, 1, Patterns::LinkerPass2, 0x1000);
  TCaptureRef current = plan.Operand(alloc, 0x20);
  TCaptureRef limit = plan.Operand(alloc, 0x28);
  TCaptureRef slow = plan.CallTarget(alloc, 0x39);
  TCaptureRef key = plan.CallTarget(bucket, 0x08);
  plan.Redirect(alloc, &FastAlloc);
  plan.WriteBytes(table, 0x01, Le32(GenericsMatchBuckets * 4));
  plan.WriteBytes(pass1, 0x0F, Le32(GenericsMatchBuckets));
  plan.WriteBytes(pass2, 0x0F, Le32(GenericsMatchBuckets));
  plan.RetargetCall(bucket, 0x08, &BucketIndexStub);
  plan.WriteBytes(bucket, 0x0D, "90 90 90 90");
  plan.OnCommit([=](const TPlanValues& v) {
    g_current = v.Get<uint8_t**>(current);
    g_limit = v.Get<uint8_t**>(limit);
    g_slow = v.Get<TSlowAlloc>(slow);
    LinkerKeyRoutine = v.Get<void*>(key);
  });
  return plan;
}

void InitializeLinkerGenericsMatch() { AddWizardInitProc(&InstallLinkerGenericsMatch); }

} // namespace

std::vector<TPatchPlan> LinkerGenericsMatchPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(LinkerGenericsMatchPlan());
  return plans;
}

void InstallLinkerGenericsMatch() {
  TPatchPlan plan = LinkerGenericsMatchPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_CompilerLinkerGenericsMatchOptimization = {
    "CompilerLinkerGenericsMatchOptimization", &InitializeLinkerGenericsMatch, nullptr, &LinkerGenericsMatchPlans};

} // namespace Quillmend
