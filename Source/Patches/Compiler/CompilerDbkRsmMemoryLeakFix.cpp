#include "Patches/Compiler/CompilerDbkRsmMemoryLeakFix.h"

#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"

namespace Quillmend {

namespace {

using THostMerge1 = void(QM_REGISTER*)(void* recordBlock);
using THostMerge2 = void(QM_REGISTER*)();

THostMerge1 g_merge1 = nullptr;
THostMerge2 g_merge2 = nullptr;
uint32_t* g_v1 = nullptr;
uint32_t* g_v2 = nullptr;
int32_t* g_limit = nullptr;
void** g_current = nullptr;
int32_t* g_count = nullptr;

uint32_t& Field(uint8_t* p, int32_t offset) { return *reinterpret_cast<uint32_t*>(p + offset); }

} // namespace

void QM_REGISTER StoreRecord(uint8_t* element, uint8_t* record) {
  const uint32_t held = Field(element, 0x08);
  if (held && held != Field(record, 0x0C)) {
    // The host's merge path: it releases what the element held.
    *g_v1 = Field(record, 0x0C);
    *g_v2 = Field(record, 0x10);
    g_merge1(record + 0x0C);
    *g_v1 = Field(record, 0x0C);
    *g_v2 = Field(record, 0x10);
    g_merge2();
  } else {
    Field(element, 0x08) = Field(record, 0x0C);
    Field(element, 0x0C) = Field(record, 0x10);
  }
  if (*g_current == record) {
    *g_current = nullptr;
    *g_count = 0;
    *g_limit = 0x7FFFFFFF;
  }
}

// At P+5: eax the table, ecx the element's index × 4, ebx the record; the
// host skips its own stores afterwards. eax and ecx are kept, edx holds the
// record's size as after the host's stores.
extern "C" void QmRsmStoreStub() asm("QmRsmStoreStub");
asm(".text\n"
    ".balign 16\n"
    "QmRsmStoreStub:\n"
    "  pushl %eax\n"
    "  pushl %ecx\n"
    "  leal (%eax,%ecx,4), %eax\n"
    "  movl %ebx, %edx\n"
    "  call *QmStoreRecord\n"
    "  popl %ecx\n"
    "  popl %eax\n"
    "  movl 0x10(%ebx), %edx\n"
    "  ret\n");
void* g_storeRecord asm("QmStoreRecord") = reinterpret_cast<void*>(&StoreRecord);

namespace {

const wchar_t* const Dcc = L"dcc150.dll";
namespace Patterns = RsmPatterns;

TPatchPlan RsmPlan() {
  TPatchPlan plan(L"Compiler.RsmMemLeak", L"RSM memory leak fix");
  plan.LoadedModule(Dcc, &GetDccHandle);
  TSiteRef store = plan.Pattern(L"RsmStore", Dcc, Patterns::Store, 0);
  TSiteRef lookup = plan.Pattern(L"RsmLookup", Dcc, Patterns::Lookup, 0x10000);
  TCaptureRef merge1 = plan.CallTarget(store, Patterns::Merge1);
  TCaptureRef merge2 = plan.CallTarget(store, Patterns::Merge2);
  TCaptureRef v1 = plan.Operand(store, Patterns::V1);
  TCaptureRef v2 = plan.Operand(store, Patterns::V2);
  // The merge path sets each variable twice: the same ones.
  plan.ExpectEqual(v1, plan.Operand(store, Patterns::V1Again), L"RsmStore: V1 written at +0x1A and +0x33");
  plan.ExpectEqual(v2, plan.Operand(store, Patterns::V2Again), L"RsmStore: V2 written at +0x22 and +0x3C");
  TCaptureRef limit = plan.Operand(lookup, Patterns::Limit);
  TCaptureRef current = plan.Operand(lookup, Patterns::Current);
  TCaptureRef count = plan.Operand(lookup, Patterns::Count);
  plan.WriteCall(store, Patterns::StoreAt, &QmRsmStoreStub, {0xEB, 0x39});
  plan.OnCommit([=](const TPlanValues& v) {
    g_merge1 = v.Get<THostMerge1>(merge1);
    g_merge2 = v.Get<THostMerge2>(merge2);
    g_v1 = v.Get<uint32_t*>(v1);
    g_v2 = v.Get<uint32_t*>(v2);
    g_limit = v.Get<int32_t*>(limit);
    g_current = v.Get<void**>(current);
    g_count = v.Get<int32_t*>(count);
  });
  return plan;
}

void InitializeCompilerDbkRsmMemoryLeakFix() { AddWizardInitProc(&InstallCompilerDbkRsmMemoryLeakFix); }

} // namespace

std::vector<TPatchPlan> CompilerDbkRsmMemoryLeakFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(RsmPlan());
  return plans;
}

void InstallCompilerDbkRsmMemoryLeakFix() {
  TPatchPlan plan = RsmPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_CompilerDbkRsmMemoryLeakFix = {"CompilerDbkRsmMemoryLeakFix", &InitializeCompilerDbkRsmMemoryLeakFix,
                                                    nullptr, &CompilerDbkRsmMemoryLeakFixPlans};

} // namespace Quillmend
