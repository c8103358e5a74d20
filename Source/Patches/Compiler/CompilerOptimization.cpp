#include "Patches/Compiler/CompilerOptimization.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>
#include <windows.h>

#include "Framework/HostFinally.h"
#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"
#include "Framework/PatchRegistry.h"
#include "Framework/PatchPlan.h"
#include "Hooking/Emit.h"
#include "Hooking/PatternSearch.h"
#include "Hooking/Utf8Conversion.h"
#include "Patches/Compiler/CompilerOptimizationPatterns.h"
#include "Patches/Compiler/CompilerOutputPatches.h"
#include "Patches/Compiler/UnitNameDictionary.h"
#include "Patches/Compiler/UnitNameHash.h"
#include "Patches/Compiler/UsedByIndex.h"

namespace Quillmend {

TDccUnit** UnitListHead = nullptr;
TDccUnit** UnitListTail = nullptr;
TDccRecordNode** FurtherList1Head = nullptr;
TDccRecordGroup** FurtherList2Head = nullptr;
THostNameCompare HostNameCompare = nullptr;
THostUnitFree HostUnitFree = nullptr;
THostNameHashByte HostNameHashByte = nullptr;
THostResolveAlias HostResolveAlias = nullptr;
uint8_t InMassReset = 0;
TPreResetHandler PreResetHandler = nullptr;
TUnitReleaseHandler UnitReleaseHandler = nullptr;

namespace Patterns = CompilerOptimizationPatterns;

namespace {

constexpr int32_t SearchLimit = 0x10000;  // the pattern search reads this as 16 MB
constexpr int32_t NoLimit = 0;
const wchar_t* const Dcc = L"dcc150.dll";

// The two option string variables the after-compile decision compares.
const char** g_lastOptions = nullptr;
const char** g_currentOptions = nullptr;

// Runs freeUnits (calls of the host's unit-free routine) with InMassReset set
// to 1, the span in which this module frees units itself. The flag goes back
// to 0, and `collection` (if given) is released, also when the host routine
// raises a host exception through these frames: that unwinds by SEH and skips
// C++ destructors, so a scope guard would leave the unlinking replacement
// switched off for the rest of the session. After such a raise an unknown
// part of the units is gone, so the name dictionary rebuilds at its next use.
template <class F>
void FreeUnitsInMassReset(F&& freeUnits, std::vector<TDccUnit*>* collection = nullptr) {
  bool finished = false;
  HostTryFinally(
      [&] {
        InMassReset = 1;
        freeUnits();
        finished = true;
      },
      [&]() noexcept {
        InMassReset = 0;
        if (!finished) UnitNameDictionary.Valid = false;
        if (collection) std::vector<TDccUnit*>().swap(*collection);
      });
}

bool IsCoreUnitName(const char* name) {
  return HostNameCompare(name, "System") == 0 || HostNameCompare(name, "SysInit") == 0 ||
         HostNameCompare(name, "Variants") == 0;
}

// ---- replacements of compiler routines ---------------------------------------------

void QM_REGISTER UnlinkImportsReplacement(TDccUnit* unit) {
  if (InMassReset) return;
  HostBoundary([unit] {
    TUsedByIndexScope scope;
    // With an empty unit list the further lists are still cleared of the unit.
    UsedByIndex.Build();
    UsedByIndex.MarkUnit(unit);
    UsedByIndex.ClearSameNamedFlag();
  });
}

void QM_REGISTER ResetUnitsReplacement(uint32_t eax, uint32_t edx, uint32_t ecx) {
  HostBoundary([eax, edx, ecx] {
    if (PreResetHandler) PreResetHandler(eax, edx, ecx);
    std::vector<TDccUnit*> freed;
    {
      TUsedByIndexScope scope;
      if (UsedByIndex.Build()) {
        int32_t position = 0;
        for (TDccUnit* unit = *UnitListHead; unit; unit = unit->Next, ++position) {
          int8_t state = int8_t(unit->State);
          if (state >= 4 && state != 5) continue;
          if (freed.empty()) freed.reserve(size_t(UsedByIndex.UnitCount - position));
          freed.push_back(unit);
          UsedByIndex.MarkUnit(unit);
        }
        UsedByIndex.ClearSameNamedFlag();
      }
    }
    const bool anyFreed = !freed.empty();
    FreeUnitsInMassReset([&freed] { for (TDccUnit* unit : freed) HostUnitFree(unit); }, &freed);
    if (anyFreed) UnitNameDictionary.Reset();
  });
}

void QM_REGISTER KibitzUnitResetReplacement() {
  bool systemSeen = false, sysInitSeen = false;
  for (TDccUnit* unit = *UnitListHead; unit; unit = unit->Next) {
    if (TDccSymbol* symbol = unit->UnitSymbol) {
      if (!systemSeen && HostNameCompare(symbol->Name, "System") == 0) {
        systemSeen = true;
        continue;
      }
      if (!sysInitSeen && HostNameCompare(symbol->Name, "SysInit") == 0) {
        sysInitSeen = true;
        continue;
      }
    }
    if (unit->State > 5) {
      for (TDccImport* node = unit->Imports; node; node = node->Next) {
        if (!node->Unit) {
          unit->State = 5;
          break;
        }
      }
    }
    if (unit->State <= 5)
      for (TDccImport* node = unit->Imports; node; node = node->Next) node->Unit = nullptr;
  }
}

void QM_REGISTER UnitFreeAllReplacement() {
  HostBoundary([] {
    FreeUnitsInMassReset([] {
      while (TDccUnit* head = *UnitListHead) HostUnitFree(head);
    });
    UnitNameDictionary.Reset();
  });
}

void QM_REGISTER UnitAppendReplacement(TDccUnit* unit) {
  unit->Next = nullptr;
  if (TDccUnit* tail = *UnitListTail)
    tail->Next = unit;
  else
    *UnitListHead = unit;
  *UnitListTail = unit;
  HostBoundary([unit] { UnitNameDictionary.UnitAppended(unit); });
}

uint32_t QM_REGISTER UnitRemoveReplacement(TDccUnit* unit) {
  TDccUnit* head = *UnitListHead;
  if (!head) return 0;
  if (head == unit) {
    *UnitListHead = unit->Next;
    if (unit == *UnitListTail) *UnitListTail = nullptr;
  } else {
    TDccUnit* before = head;
    while (before->Next && before->Next != unit) before = before->Next;
    if (!before->Next) return 0;
    before->Next = unit->Next;
    if (unit == *UnitListTail) *UnitListTail = before;
  }
  HostBoundary([unit] { UnitNameDictionary.UnitRemoved(unit); });
  return 1;
}

void QM_REGISTER UnitChainAppendReplacement(TDccUnitChain* chain) {
  TDccUnit* first = chain->First;
  if (!first) return;
  TDccUnit* last = chain->Last;
  TDccUnit* tail = *UnitListTail;
  if (tail) {
    tail->Next = first;
    *UnitListTail = last;
    last->Next = nullptr;
    HostBoundary([first] {
      for (TDccUnit* unit = first; unit; unit = unit->Next) UnitNameDictionary.UnitAppended(unit);
    });
  } else {
    *UnitListHead = first;
    UnitNameDictionary.Valid = false;
    *UnitListTail = last;
    last->Next = nullptr;
  }
}

// The compiler's own way: hash byte first, then the name.
TDccUnit* FindUnitByListWalk(const char* name) {
  uint8_t hashByte = HostNameHashByte ? uint8_t(HostNameHashByte(name)) : 0;
  for (TDccUnit* unit = *UnitListHead; unit; unit = unit->Next) {
    if (HostNameHashByte && unit->NameHash != hashByte) continue;
    if (unit->UnitSymbol && HostNameCompare(unit->UnitSymbol->Name, name) == 0) return unit;
  }
  return nullptr;
}

// Called from the middle of the compiler's after-compile code: passes the
// compiler's edi as the flag and returns the answer in al; ebx, esi, edi and
// ebp are kept.
extern "C" void NoUnitDiscardStub() asm("QmNoUnitDiscardStub");
asm(".text\n"
    ".balign 16\n"
    "QmNoUnitDiscardStub:\n"
    "  movl %edi, %eax\n"
    "  jmp QmStringsDiffer\n");

// ---- installation ---------------------------------------------------------------------

const wchar_t* const UnlinkImports = L"Compiler.UnlinkImports";

template <class T>
T As(uintptr_t value) {
  return reinterpret_cast<T>(value);
}

// Bytes of a pattern text that holds no wildcard.
std::vector<uint8_t> TemplateBytes(const char* text) {
  TBytePattern pattern = ParsePattern(text);
  return std::vector<uint8_t>(pattern.begin(), pattern.end());
}

// The call at -6 of a loop's match replaces the loop's first instruction; the
// short jump that follows leaves the loop by the loop's own exit distance.
const std::vector<uint8_t> LoopExitTail = {0x90, 0x90, 0x90, 0xEB};

// Every sub-patch whose replacement compares unit names finds the compiler's
// comparison itself and publishes it (the same routine each time).
TSiteRef NameCompareSite(TPatchPlan& plan) {
  return plan.Pattern(L"NameCompare", Dcc, Patterns::NameCompare, SearchLimit);
}

void PublishNameCompare(const TPlanValues& values, TSiteRef site) {
  HostNameCompare = reinterpret_cast<THostNameCompare>(values.Site(site));
}

TPatchPlan UnlinkImportsPlan() {
  TPatchPlan plan(UnlinkImports, L"Compiler optimizations (UnlinkImports)");
  TSiteRef unlink = plan.Pattern(L"UnlinkImports", Dcc, Patterns::UnlinkImports, NoLimit);
  TSiteRef compare = NameCompareSite(plan);  // the replacement compares unit names after unlinking
  TCaptureRef head = plan.Operand(unlink, 0x08);
  TCaptureRef list1 = plan.Operand(unlink, 0x2B);
  TCaptureRef list2 = plan.Operand(unlink, 0x4B);
  plan.Redirect(unlink, &UnlinkImportsReplacement);
  plan.OnCommit([=](const TPlanValues& v) {
    UnitListHead = v.Get<TDccUnit**>(head);
    FurtherList1Head = v.Get<TDccRecordNode**>(list1);
    FurtherList2Head = v.Get<TDccRecordGroup**>(list2);
    PublishNameCompare(v, compare);
  });
  return plan;
}

TPatchPlan ResetUnitsPlan() {
  TPatchPlan plan(L"Compiler.ResetUnits", L"Compiler optimizations (UnitReset)");
  plan.Needs({UnlinkImports});  // the list head, and the marking the reset shares
  TSiteRef loop = plan.Pattern(L"ResetUnits", Dcc, Patterns::ResetUnits, SearchLimit);
  TCaptureRef unitFree = plan.CallTarget(loop, 0x11);
  plan.WriteCall(loop, -6, &ResetUnitsReplacement, LoopExitTail);
  plan.OnCommit([=](const TPlanValues& v) { HostUnitFree = v.Get<THostUnitFree>(unitFree); });
  return plan;
}

TPatchPlan KibitzUnitResetPlan() {
  TPatchPlan plan(L"Compiler.KibitzCompilerImplUnitReset", L"Compiler optimizations (KibitzCompilerImplUnitReset)");
  plan.Needs({UnlinkImports});
  TSiteRef loop = plan.Pattern(L"KibitzUnitReset", Dcc, Patterns::KibitzUnitReset, SearchLimit);
  plan.ExpectU32(loop, 0x06, DccUnitLayout::UnitSymbol);
  plan.ExpectU8(loop, 0x0C, DccSymbolLayout::Name);
  plan.WriteCall(loop, -6, &KibitzUnitResetReplacement, LoopExitTail);
  return plan;
}

TPatchPlan UnitFreeAllPlan() {
  TPatchPlan plan(L"Compiler.UnitFreeAll", L"Compiler optimizations (UnitFreeAll)");
  plan.Needs({UnlinkImports});
  // Bytes 2..5 of both forms are the unit list head's address.
  TSiteRef loop = plan.PatternWith(
      L"UnitFreeAll", Dcc, [](const TPlanValues&) { return std::vector<const char*>{Patterns::UnitFreeAll1, Patterns::UnitFreeAll2}; },
      [](const TPlanValues&, std::vector<int16_t>& pattern) {
        const uint32_t head = uint32_t(uintptr_t(UnitListHead));
        for (int i = 0; i < 4; ++i) pattern[size_t(2 + i)] = int16_t((head >> (8 * i)) & 0xFF);
      },
      SearchLimit);
  // Form 1 calls the unit-free routine at +8; form 2 first calls another
  // routine at +6, then the unit-free routine at +0xD.
  TCaptureRef unitFree = plan.Compute([=](const TPlanValues& v) {
    return reinterpret_cast<uintptr_t>(CallTargetAt(v.Site(loop), v.Form(loop) == 0 ? 0x08 : 0x0D));
  });
  TCaptureRef firstCall = plan.Compute([=](const TPlanValues& v) {
    return v.Form(loop) == 0 ? 1 : reinterpret_cast<uintptr_t>(CallTargetAt(v.Site(loop), 0x06));
  });
  plan.Expect(L"UnitFreeAll: no call to the unit-free routine",
              [=](const TPlanValues& v) { return v.Value(unitFree) != 0 && v.Value(firstCall) != 0; });
  plan.WriteCode(loop, 1, [=](const TPlanValues& v, const uint8_t* at) {
    std::vector<uint8_t> code(v.Form(loop) == 0 ? 7 : 12);
    uint8_t* p = code.data();
    // Form 2: the call at +6 moves to +1, so that the replacement's call fits before the jump.
    if (v.Form(loop) == 1) p = EmitCallRel32(p, at, v.Get<const void*>(firstCall));
    p = EmitCallRel32(p, at + (p - code.data()), reinterpret_cast<const void*>(&UnitFreeAllReplacement));
    p[0] = 0xEB;
    p[1] = 0x0B;
    return code;
  });
  plan.OnCommit([=](const TPlanValues& v) { HostUnitFree = v.Get<THostUnitFree>(unitFree); });
  return plan;
}

TPatchPlan UnitFindByAliasPlan() {
  TPatchPlan plan(L"Compiler.UnitFindByAlias", L"Compiler optimizations (UnitFindByAlias)");
  plan.Needs({UnlinkImports});
  TSiteRef append = plan.Pattern(L"UnitAppend", Dcc, Patterns::UnitAppend, SearchLimit);
  TSiteRef remove = plan.Pattern(L"UnitRemove", Dcc, Patterns::UnitRemove, SearchLimit);
  TSiteRef chain = plan.Pattern(L"UnitChainAppend", Dcc, Patterns::UnitChainAppend, SearchLimit);
  TSiteRef find = plan.Pattern(L"UnitFind", Dcc, Patterns::UnitFind, SearchLimit);
  TSiteRef alias = plan.Pattern(L"UnitAlias", Dcc, Patterns::UnitAlias, NoLimit);
  TSiteRef removeRoutine = plan.Computed(L"UnitRemove -0x06", [=](const TPlanValues& v) { return v.At(remove, -6); });
  TCaptureRef tail = plan.Operand(append, 0x07);
  TCaptureRef head = plan.Operand(remove, -4);
  TCaptureRef hashByte = plan.CallTarget(find, 0x07);
  // The five routines must work on the one list the unlinking walks.
  TCaptureRef unlinkHead = plan.Compute([](const TPlanValues&) { return reinterpret_cast<uintptr_t>(UnitListHead); });
  plan.ExpectEqual(head, unlinkHead, L"UnitRemove -0x04: the unlinking's list head");
  const struct {
    TSiteRef Site;
    int32_t Offset;
    TCaptureRef Variable;
    const wchar_t* What;
  } operands[] = {
      {append, 0x15, head, L"UnitAppend +0x15: list head"},   {append, 0x1A, tail, L"UnitAppend +0x1A: list tail"},
      {remove, 0x10, head, L"UnitRemove +0x10: list head"},   {remove, 0x16, tail, L"UnitRemove +0x16: list tail"},
      {chain, 0x09, tail, L"UnitChainAppend +0x09: list tail"}, {chain, 0x1B, head, L"UnitChainAppend +0x1B: list head"},
      {chain, 0x24, tail, L"UnitChainAppend +0x24: list tail"}, {find, 0x10, head, L"UnitFind +0x10: list head"},
  };
  for (const auto& o : operands) plan.ExpectEqual(plan.Operand(o.Site, o.Offset), o.Variable, o.What);
  plan.Redirect(append, &UnitAppendReplacement);
  plan.Redirect(removeRoutine, &UnitRemoveReplacement);
  plan.Redirect(chain, &UnitChainAppendReplacement);
  plan.Redirect(find, &UnitFindReplacement);
  plan.OnCommit([=](const TPlanValues& v) {
    UnitListTail = v.Get<TDccUnit**>(tail);
    HostNameHashByte = v.Get<THostNameHashByte>(hashByte);
    UnitNameDictionary.Reset();
    // Finding a unit by text name goes through the dictionary once it is kept in step.
    HostResolveAlias = reinterpret_cast<THostResolveAlias>(v.Site(alias));
  });
  plan.OnRollback([] { HostResolveAlias = nullptr; });
  return plan;
}

TPatchPlan NoUnitDiscardPlan() {
  TPatchPlan plan(L"Compiler.NoUnitDiscardAfterCompile", L"Compiler optimizations (NoUnitDiscardAfterCompile)");
  TSiteRef decision = plan.Pattern(L"NoUnitDiscard", Dcc, Patterns::NoUnitDiscard, SearchLimit);
  TCaptureRef lastOptions = plan.Operand(decision, 0x0A);
  TCaptureRef currentOptions = plan.Operand(decision, 0x13);
  plan.WriteCall(decision, 8, &NoUnitDiscardStub, {0xEB, 0x61});
  plan.OnCommit([=](const TPlanValues& v) {
    g_lastOptions = v.Get<const char**>(lastOptions);
    g_currentOptions = v.Get<const char**>(currentOptions);
  });
  return plan;
}

TPatchPlan SymLookupScopePlan() {
  TPatchPlan plan(L"Compiler.SymLookupScope", L"Compiler optimizations (SymLookupScope)");
  TSiteRef lookup = plan.Pattern(L"SymLookupScope", Dcc, Patterns::SymLookupScope, SearchLimit);
  plan.ExpectU32(lookup, 0x19, DccUnitLayout::SymbolChains);
  plan.ExpectU8(lookup, 0x2E, DccSymbolLayout::Name);
  TCaptureRef compare = plan.CallTarget(lookup, 0x31);
  plan.WriteCode(lookup, 0x2C, [=](const TPlanValues& v, const uint8_t* at) {
    std::vector<uint8_t> code = TemplateBytes(Patterns::SymLookupScopeRewrite);
    code[18] = uint8_t(DccSymbolLayout::Name);
    EmitCallRel32(&code[0x15], at + 0x15, v.Get<const void*>(compare));
    return code;
  });
  return plan;
}

TPatchPlan ImportedSymbolPlan() {
  TPatchPlan plan(L"Compiler.ImportedSymbol", L"Compiler optimizations (ImportedSymbol)");
  TSiteRef lookup = plan.Pattern(L"ImportedSymbol", Dcc, Patterns::ImportedSymbol, SearchLimit);
  plan.ExpectU32(lookup, 0x0D, DccUnitLayout::SymbolChains);
  plan.ExpectU8(lookup, 0x17, DccSymbolLayout::Name);
  plan.ExpectU8(lookup, 0x1A, DccSymbolLayout::Name);
  TCaptureRef compare = plan.CallTarget(lookup, 0x1B);
  TCaptureRef visible = plan.CallTarget(lookup, 0x36);
  plan.WriteCode(lookup, 0x15, [=](const TPlanValues& v, const uint8_t* at) {
    // The template is laid out from the match; bytes 0x15..0x66 are written,
    // from the first test to the loop's closing jump (its last byte is filler).
    const uint8_t* match = at - 0x15;
    std::vector<uint8_t> loop = TemplateBytes(Patterns::ImportedSymbolTemplate);
    EmitCallRel32(&loop[0x3D], match + 0x3D, v.Get<const void*>(compare));
    EmitCallRel32(&loop[0x50], match + 0x50, v.Get<const void*>(visible));
    return std::vector<uint8_t>(loop.begin() + 0x15, loop.begin() + 0x67);
  });
  return plan;
}

TPatchPlan OptimizationPlan() {
  TPatchPlan plan(L"Compiler.Optimization", L"Compiler optimizations");
  plan.LoadedModule(Dcc, &GetDccHandle);
  return plan;
}

std::vector<TPatchPlan> SubPatchPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(UnlinkImportsPlan());
  plans.push_back(ResetUnitsPlan());
  plans.push_back(KibitzUnitResetPlan());
  plans.push_back(UnitFreeAllPlan());
  plans.push_back(UnitFindByAliasPlan());
  plans.push_back(NoUnitDiscardPlan());
  plans.push_back(SymLookupScopePlan());
  plans.push_back(ImportedSymbolPlan());
  return plans;
}

void FinalizeCompilerOptimization() {
  // The framework has put every byte back before the units finalize.
  UnitNameDictionary.Reset();
  UsedByIndex.Free();
}

void InitializeCompilerOptimization() { AddWizardInitProc(&InstallCompilerOptimization); }

} // namespace

uint32_t QM_REGISTER StringsDiffer(uint32_t keepEmpty) {
  const char* last = *g_lastOptions;
  const char* current = *g_currentOptions;
  if (!keepEmpty) {
    if (last && !*last) last = nullptr;
    if (current && !*current) current = nullptr;
  }
  if (!last != !current) return 1;
  return last && current && std::strcmp(last, current) != 0 ? 1 : 0;
}

TDccUnit* QM_REGISTER UnitFindReplacement(const char* name) {
  TDccUnit* head = *UnitListHead;
  if (!head) return nullptr;
  return HostBoundary([name, head]() -> TDccUnit* {
    if ((UnitNameDictionary.Valid && head == UnitNameDictionary.ListHead) || !IsCoreUnitName(name)) {
      UnitNameDictionary.Synchronise(head);
      return UnitNameDictionary.Lookup(name);
    }
    // A core unit's name while the dictionary is stale: the list answers, no rebuild.
    return FindUnitByListWalk(name);
  });
}

void NotifyUnitReleased(void* unit) {
  UnitNameDictionary.UnitRemoved(static_cast<TDccUnit*>(unit));
  if (UnitReleaseHandler) UnitReleaseHandler(unit);
}

TDccUnit* FindUnitByTextName(const std::wstring& text) {
  if (!UnitListHead || !HostNameCompare) return nullptr;
  const std::string name = ToUtf8(text);
  if (HostResolveAlias) return UnitFindReplacement(HostResolveAlias(name.c_str()));
  return FindUnitByListWalk(name.c_str());
}


std::vector<TPatchPlan> CompilerOptimizationPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(OptimizationPlan());
  // The sub-patches are installed only once the parent is applied.
  for (TPatchPlan& plan : CompilerOutputPlans()) plans.push_back(std::move(plan.Needs({L"Compiler.Optimization"})));
  for (TPatchPlan& plan : SubPatchPlans()) plans.push_back(std::move(plan.Needs({L"Compiler.Optimization"})));
  return plans;
}

void InstallCompilerOptimization() {
  InitUnitNameHashWeights();
  TPatchPlan parent = OptimizationPlan();
  if (!InstallPlan(parent)) return;
  // The output files and the file ages of the outdated check come first.
  InstallCompilerOutputPatches();
  for (TPatchPlan& plan : SubPatchPlans()) InstallPlan(plan);
}

const TUnitInfo Unit_CompilerOptimization = {"CompilerOptimization", &InitializeCompilerOptimization,
                                             &FinalizeCompilerOptimization, &CompilerOptimizationPlans};

} // namespace Quillmend
