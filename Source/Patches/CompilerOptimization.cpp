#include "Patches/CompilerOptimization.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>
#include <windows.h>

#include "Framework/HostFinally.h"
#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/CodeRedirect.h"
#include "Hooking/Emit.h"
#include "Hooking/PatternSearch.h"
#include "Hooking/Utf8Conversion.h"
#include "Patches/CompilerOptimizationPatterns.h"
#include "Patches/UnitNameDictionary.h"
#include "Patches/UnitNameHash.h"
#include "Patches/UsedByIndex.h"

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

// Host bytes this module overwrote, put back at finalization.
struct TCodeWrite {
  uint8_t* Address;
  std::vector<uint8_t> Saved;
};
std::vector<TCodeWrite> g_codeWrites;

TRedirectCode g_unlinkRedirect;
TRedirectCode g_appendRedirect;
TRedirectCode g_removeRedirect;
TRedirectCode g_chainRedirect;
TRedirectCode g_findRedirect;

// The two option string variables the after-compile decision compares.
const char** g_lastOptions = nullptr;
const char** g_currentOptions = nullptr;

void* Find(HMODULE dcc, const char* pattern, int32_t limit) {
  return FindMethodPtr(dcc, ParsePattern(pattern), limit);
}

std::vector<uint8_t> PatternBytes(const char* text) {
  TBytePattern pattern = ParsePattern(text);
  return std::vector<uint8_t>(pattern.begin(), pattern.end());
}

// Aims the relative call or jump at code[at], which will run from `site`, at `target`.
void PutRel32(std::vector<uint8_t>& code, size_t at, const uint8_t* site, const void* target) {
  WriteInt32(&code[at + 1], Rel32Displacement(site, target));
}

// A call from `site` to `target` (5 bytes) followed by `tail`.
std::vector<uint8_t> CallThen(const uint8_t* site, const void* target, std::initializer_list<uint8_t> tail) {
  std::vector<uint8_t> code(kRel32InstructionSize + tail.size());
  std::copy(tail.begin(), tail.end(), EmitCallRel32(code.data(), site, target));
  return code;
}

// Writes host code and remembers what was there; false if nothing was written.
bool WriteHostCode(uint8_t* address, const std::vector<uint8_t>& code) {
  TCodeWrite record{address, std::vector<uint8_t>(address, address + code.size())};
  uint32_t written = 0;
  if (!WriteCodeMemory(address, code.data(), uint32_t(code.size()), written) || written != code.size()) {
    if (written) WriteCodeMemory(address, record.Saved.data(), written, written);
    return false;
  }
  g_codeWrites.push_back(std::move(record));
  return true;
}

bool Redirect(void* proc, void* replacement, TRedirectCode& record) {
  CodeRedirect(proc, replacement, record);
  if (record.RealProc) return true;
  record.Count = 0;
  return false;
}

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

bool CaptureHostNameCompare(HMODULE dcc) {
  if (!HostNameCompare)
    HostNameCompare = reinterpret_cast<THostNameCompare>(Find(dcc, Patterns::NameCompare, SearchLimit));
  return HostNameCompare != nullptr;
}

// The call at -6 of a loop's match replaces the loop's first instruction; the
// short jump that follows leaves the loop by the loop's own exit distance.
std::vector<uint8_t> LoopReplacementCall(uint8_t* site, const void* replacement) {
  return CallThen(site, replacement, {0x90, 0x90, 0x90, 0xEB});
}

void InstallUnlinkImports(HMODULE dcc) {
  if (!RegisterPatch(L"Compiler.UnlinkImports", L"Compiler optimizations (UnlinkImports)", false)) return;
  void* match = Find(dcc, Patterns::UnlinkImports, NoLimit);
  if (!match) return;
  UnitListHead = ReadCodeAddress<TDccUnit*>(match, 0x08);
  FurtherList1Head = ReadCodeAddress<TDccRecordNode*>(match, 0x2B);
  FurtherList2Head = ReadCodeAddress<TDccRecordGroup*>(match, 0x4B);
  // The replacement compares unit names after unlinking.
  if (!CaptureHostNameCompare(dcc)) return;
  if (!Redirect(match, reinterpret_cast<void*>(&UnlinkImportsReplacement), g_unlinkRedirect)) return;
  SetPatchApplied(L"Compiler.UnlinkImports");
}

void InstallResetUnits(HMODULE dcc) {
  if (!RegisterPatch(L"Compiler.ResetUnits", L"Compiler optimizations (UnitReset)", false)) return;
  // The reset replacement marks units and compares their names like the unlinking.
  if (!UnitListHead || !CaptureHostNameCompare(dcc)) return;
  uint8_t* match = static_cast<uint8_t*>(Find(dcc, Patterns::ResetUnits, SearchLimit));
  if (!match) return;
  void* unitFree = CallTargetAt(match, 0x11);
  if (!unitFree) return;
  HostUnitFree = reinterpret_cast<THostUnitFree>(unitFree);
  if (!WriteHostCode(match - 6, LoopReplacementCall(match - 6, reinterpret_cast<void*>(&ResetUnitsReplacement))))
    return;
  SetPatchApplied(L"Compiler.ResetUnits");
}

void InstallKibitzUnitReset(HMODULE dcc) {
  if (!RegisterPatch(L"Compiler.KibitzCompilerImplUnitReset",
                     L"Compiler optimizations (KibitzCompilerImplUnitReset)", false))
    return;
  if (!UnitListHead || !CaptureHostNameCompare(dcc)) return;
  uint8_t* match = static_cast<uint8_t*>(Find(dcc, Patterns::KibitzUnitReset, SearchLimit));
  if (!match) return;
  if (!EmbeddedU32Is(match, 0x06, DccUnitLayout::UnitSymbol) || !EmbeddedU8Is(match, 0x0C, DccSymbolLayout::Name))
    return;
  if (!WriteHostCode(match - 6,
                     LoopReplacementCall(match - 6, reinterpret_cast<void*>(&KibitzUnitResetReplacement))))
    return;
  SetPatchApplied(L"Compiler.KibitzCompilerImplUnitReset");
}

void InstallUnitFreeAll(HMODULE dcc) {
  if (!RegisterPatch(L"Compiler.UnitFreeAll", L"Compiler optimizations (UnitFreeAll)", false)) return;
  if (!UnitListHead) return;
  auto withHead = [](const char* text) {
    TBytePattern pattern = ParsePattern(text);
    uint32_t head = uint32_t(uintptr_t(UnitListHead));
    for (int i = 0; i < 4; ++i) pattern[size_t(2 + i)] = int16_t((head >> (8 * i)) & 0xFF);
    return pattern;
  };
  void* replacement = reinterpret_cast<void*>(&UnitFreeAllReplacement);
  if (uint8_t* match = static_cast<uint8_t*>(FindMethodPtr(dcc, withHead(Patterns::UnitFreeAll1), SearchLimit))) {
    void* unitFree = CallTargetAt(match, 0x08);
    if (!unitFree) return;
    HostUnitFree = reinterpret_cast<THostUnitFree>(unitFree);
    if (!WriteHostCode(match + 1, CallThen(match + 1, replacement, {0xEB, 0x0B}))) return;
  } else if (uint8_t* match2 =
                 static_cast<uint8_t*>(FindMethodPtr(dcc, withHead(Patterns::UnitFreeAll2), SearchLimit))) {
    void* unitFree = CallTargetAt(match2, 0x0D);
    void* firstCall = CallTargetAt(match2, 0x06);
    if (!unitFree || !firstCall) return;
    HostUnitFree = reinterpret_cast<THostUnitFree>(unitFree);
    // The call at +6 moves to +1, so that the replacement's call fits before the jump.
    std::vector<uint8_t> code = CallThen(match2 + 1, firstCall, {});
    std::vector<uint8_t> call = CallThen(match2 + 6, replacement, {0xEB, 0x0B});
    code.insert(code.end(), call.begin(), call.end());
    if (!WriteHostCode(match2 + 1, code)) return;
  } else {
    return;
  }
  SetPatchApplied(L"Compiler.UnitFreeAll");
}

void InstallUnitFindByAlias(HMODULE dcc) {
  if (!RegisterPatch(L"Compiler.UnitFindByAlias", L"Compiler optimizations (UnitFindByAlias)", false)) return;
  if (!UnitListHead || !CaptureHostNameCompare(dcc)) return;
  uint8_t* append = static_cast<uint8_t*>(Find(dcc, Patterns::UnitAppend, SearchLimit));
  uint8_t* remove = static_cast<uint8_t*>(Find(dcc, Patterns::UnitRemove, SearchLimit));
  uint8_t* chain = static_cast<uint8_t*>(Find(dcc, Patterns::UnitChainAppend, SearchLimit));
  uint8_t* find = static_cast<uint8_t*>(Find(dcc, Patterns::UnitFind, SearchLimit));
  uint8_t* alias = static_cast<uint8_t*>(Find(dcc, Patterns::UnitAlias, NoLimit));
  if (!append || !remove || !chain || !find || !alias) return;
  TDccUnit** tail = ReadCodeAddress<TDccUnit*>(append, 0x07);
  TDccUnit** head = ReadCodeAddress<TDccUnit*>(remove, -4);
  // The five routines must work on the one list the unlinking walks.
  uint32_t headValue = uint32_t(uintptr_t(head)), tailValue = uint32_t(uintptr_t(tail));
  if (head != UnitListHead || !EmbeddedU32Is(append, 0x15, headValue) || !EmbeddedU32Is(append, 0x1A, tailValue) ||
      !EmbeddedU32Is(remove, 0x10, headValue) || !EmbeddedU32Is(remove, 0x16, tailValue) ||
      !EmbeddedU32Is(chain, 0x09, tailValue) || !EmbeddedU32Is(chain, 0x1B, headValue) ||
      !EmbeddedU32Is(chain, 0x24, tailValue) || !EmbeddedU32Is(find, 0x10, headValue))
    return;
  void* hashByte = CallTargetAt(find, 0x07);
  if (!hashByte) return;
  UnitListTail = tail;
  HostNameHashByte = reinterpret_cast<THostNameHashByte>(hashByte);
  UnitNameDictionary.Reset();
  struct {
    void* Proc;
    void* Replacement;
    TRedirectCode* Record;
  } const redirects[] = {
      {append, reinterpret_cast<void*>(&UnitAppendReplacement), &g_appendRedirect},
      {remove - 6, reinterpret_cast<void*>(&UnitRemoveReplacement), &g_removeRedirect},
      {chain, reinterpret_cast<void*>(&UnitChainAppendReplacement), &g_chainRedirect},
      {find, reinterpret_cast<void*>(&UnitFindReplacement), &g_findRedirect},
  };
  for (size_t i = 0; i < std::size(redirects); ++i) {
    if (Redirect(redirects[i].Proc, redirects[i].Replacement, *redirects[i].Record)) continue;
    // The list operations only work together: undo the ones already redirected.
    for (size_t j = i; j-- > 0;) CodeRestore(*redirects[j].Record);
    return;
  }
  // Known only once the dictionary is kept in step: finding a unit by text
  // name goes through the dictionary then.
  HostResolveAlias = reinterpret_cast<THostResolveAlias>(static_cast<void*>(alias));
  SetPatchApplied(L"Compiler.UnitFindByAlias");
}

void InstallNoUnitDiscardAfterCompile(HMODULE dcc) {
  if (!RegisterPatch(L"Compiler.NoUnitDiscardAfterCompile", L"Compiler optimizations (NoUnitDiscardAfterCompile)",
                     false))
    return;
  uint8_t* match = static_cast<uint8_t*>(Find(dcc, Patterns::NoUnitDiscard, SearchLimit));
  if (!match) return;
  g_lastOptions = ReadCodeAddress<const char*>(match, 0x0A);
  g_currentOptions = ReadCodeAddress<const char*>(match, 0x13);
  if (!WriteHostCode(match + 8, CallThen(match + 8, reinterpret_cast<void*>(&NoUnitDiscardStub), {0xEB, 0x61})))
    return;
  SetPatchApplied(L"Compiler.NoUnitDiscardAfterCompile");
}

void InstallSymLookupScope(HMODULE dcc) {
  if (!RegisterPatch(L"Compiler.SymLookupScope", L"Compiler optimizations (SymLookupScope)", false)) return;
  uint8_t* match = static_cast<uint8_t*>(Find(dcc, Patterns::SymLookupScope, SearchLimit));
  if (!match) return;
  if (!EmbeddedU32Is(match, 0x19, DccUnitLayout::SymbolChains) || !EmbeddedU8Is(match, 0x2E, DccSymbolLayout::Name))
    return;
  void* compare = CallTargetAt(match, 0x31);
  if (!compare) return;
  std::vector<uint8_t> code = PatternBytes(Patterns::SymLookupScopeRewrite);
  code[18] = uint8_t(DccSymbolLayout::Name);
  PutRel32(code, 0x15, match + 0x2C + 0x15, compare);
  if (!WriteHostCode(match + 0x2C, code)) return;
  SetPatchApplied(L"Compiler.SymLookupScope");
}

void InstallImportedSymbol(HMODULE dcc) {
  if (!RegisterPatch(L"Compiler.ImportedSymbol", L"Compiler optimizations (ImportedSymbol)", false)) return;
  uint8_t* match = static_cast<uint8_t*>(Find(dcc, Patterns::ImportedSymbol, SearchLimit));
  if (!match) return;
  if (!EmbeddedU32Is(match, 0x0D, DccUnitLayout::SymbolChains) || !EmbeddedU8Is(match, 0x17, DccSymbolLayout::Name) ||
      !EmbeddedU8Is(match, 0x1A, DccSymbolLayout::Name))
    return;
  void* compare = CallTargetAt(match, 0x1B);
  void* visible = CallTargetAt(match, 0x36);
  if (!compare || !visible) return;
  std::vector<uint8_t> loop = PatternBytes(Patterns::ImportedSymbolTemplate);
  PutRel32(loop, 0x3D, match + 0x3D, compare);
  PutRel32(loop, 0x50, match + 0x50, visible);
  // From the first test to the loop's closing jump; the template's last byte is filler.
  std::vector<uint8_t> code(loop.begin() + 0x15, loop.begin() + 0x67);
  if (!WriteHostCode(match + 0x15, code)) return;
  SetPatchApplied(L"Compiler.ImportedSymbol");
}

void FinalizeCompilerOptimization() {
  for (auto it = g_codeWrites.rbegin(); it != g_codeWrites.rend(); ++it) {
    uint32_t written = 0;
    WriteCodeMemory(it->Address, it->Saved.data(), uint32_t(it->Saved.size()), written);
  }
  g_codeWrites.clear();
  for (TRedirectCode* record : {&g_findRedirect, &g_chainRedirect, &g_removeRedirect, &g_appendRedirect,
                                &g_unlinkRedirect})
    while (record->Count > 0) CodeRestore(*record);
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

void InstallCompilerOptimization() {
  InitUnitNameHashWeights();
  if (!RegisterPatch(L"Compiler.Optimization", L"Compiler optimizations", false)) return;
  HMODULE dcc = GetDccHandle();
  if (!dcc) return;
  // Installed first, in this order, by the compiler output and file-age work:
  //   TODO "Compiler.MapFileBuffer"
  //   TODO "Compiler.DrcFileBuffer"
  //   TODO "Compiler.BackgroundCompilerFileExists"
  //   TODO "Compiler.SourceOutdated" and its children
  InstallUnlinkImports(dcc);
  InstallResetUnits(dcc);
  InstallKibitzUnitReset(dcc);
  InstallUnitFreeAll(dcc);
  InstallUnitFindByAlias(dcc);
  InstallNoUnitDiscardAfterCompile(dcc);
  InstallSymLookupScope(dcc);
  InstallImportedSymbol(dcc);
  SetPatchApplied(L"Compiler.Optimization");
}

const TUnitInfo Unit_CompilerOptimization = {"CompilerOptimization", &InitializeCompilerOptimization,
                                             &FinalizeCompilerOptimization};

} // namespace Quillmend
