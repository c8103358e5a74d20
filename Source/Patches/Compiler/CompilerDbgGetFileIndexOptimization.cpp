#include "Patches/Compiler/CompilerDbgGetFileIndexOptimization.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "Framework/HostFinally.h"
#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"
#include "Hooking/PointerHashTable.h"
#include "Hooking/StringHash.h"
#include "Hooking/TextCompare.h"

namespace Quillmend {

namespace {

using THostFreeTable = void(QM_REGISTER*)(TDbgFileTable* table);
using THostAddEntry = int32_t(QM_REGISTER*)(void* nameRecord, TDbgFileTable* table, int32_t index);
using THostFullName = const char*(QM_REGISTER*)(uint8_t* entry);

void* g_orgFreeTable = nullptr;
void* g_orgAddEntry = nullptr;
THostFullName g_fullName = nullptr;

// The name index of one entry array and the table it was built for.
struct TArrayIndex {
  TDbgFileTable* Table;
  TDbgFileNameIndex Names;
};

// The debugger and the IDE's main thread both ask: everything below is
// guarded by g_lock.
CRITICAL_SECTION g_lock;
bool g_lockReady = false;
TPointerHashTable* g_indexes = nullptr;  // entry array → TArrayIndex
const uint8_t* g_lastArray = nullptr;    // the last one asked for, and its index
TArrayIndex* g_lastIndex = nullptr;
int32_t g_live = 0;

void InitializeLock() {
  if (g_lockReady) return;
  InitializeCriticalSectionAndSpinCount(&g_lock, 4000);
  g_lockReady = true;
}

void Forget() {
  g_lastArray = nullptr;
  g_lastIndex = nullptr;
}

// The index of `entries` deleted (a freed or unusable array).
void Drop(const uint8_t* entries) {
  void* found = nullptr;
  if (!entries || !g_indexes || !g_indexes->TryGetValue(entries, found)) return;
  g_indexes->Remove(entries);
  delete static_cast<TArrayIndex*>(found);
  --g_live;
  Forget();
}

// The table's array moved (G made room): its index goes with it.
void Rekey(const uint8_t* before, const uint8_t* after) {
  void* found = nullptr;
  if (!before || !g_indexes || !g_indexes->TryGetValue(before, found)) return;
  g_indexes->Remove(before);
  Drop(after);  // an index left at the new address belongs to an array gone long ago
  try {
    g_indexes->AddOrSetValue(const_cast<uint8_t*>(after), found);
  } catch (...) {
    delete static_cast<TArrayIndex*>(found);
    --g_live;
  }
  Forget();
}

// The table's index, made or brought up to the table's count.
TArrayIndex* IndexFor(TDbgFileTable* table) {
  const uint8_t* entries = table->Entries;
  TArrayIndex* index = entries == g_lastArray ? g_lastIndex : nullptr;
  void* found = nullptr;
  if (!index && g_indexes && g_indexes->TryGetValue(entries, found)) index = static_cast<TArrayIndex*>(found);
  if (index && (index->Table != table || index->Names.Count() > table->Count)) {
    // Not what this index was built from: start again.
    index->Table = table;
    index->Names = TDbgFileNameIndex();
  }
  if (!index) {
    if (!g_indexes) g_indexes = new TPointerHashTable(16);
    index = new TArrayIndex{table, {}};
    try {
      g_indexes->AddOrSetValue(const_cast<uint8_t*>(entries), index);
    } catch (...) {
      delete index;
      throw;
    }
    ++g_live;
  }
  g_lastArray = entries;
  g_lastIndex = index;
  index->Names.CatchUp(entries, table->Count);
  return index;
}

// How many characters two texts share at their ends, ASCII letters upper-cased.
int32_t SharedTail(const char* a, const char* b) {
  size_t i = std::strlen(a), j = std::strlen(b);
  int32_t shared = 0;
  while (i > 0 && j > 0 && AsciiUpperCase(a[i - 1]) == AsciiUpperCase(b[j - 1])) {
    --i;
    --j;
    ++shared;
  }
  return shared;
}

// The compiler's rule over the entries with the path's file name, taken in
// array order: the path itself wins at once, else the first with the
// longest shared tail.
struct TChoice {
  const char* Path;
  int32_t Answer = 0;
  int32_t Shared = 0;

  // True when entry `position` is the path itself (the choice is made).
  bool Consider(uint8_t* entries, int32_t position) {
    const char* full = g_fullName(entries + position * DbgFileEntryLayout::Size);
    if (Utf8CompareText(full, Path) == 0) {
      Answer = DbgFileEntryAnswer(entries, position);
      return true;
    }
    const int32_t shared = SharedTail(full, Path);
    if (shared > Shared) {
      Shared = shared;
      Answer = DbgFileEntryAnswer(entries, position);
    }
    return false;
  }
};

int32_t LinearLookup(TDbgFileTable* table, const char* path, const char* name) {
  TChoice choice{path};
  for (int32_t p = 0; p < table->Count; ++p)
    if (Utf8CompareText(Utf8ExtractFileName(DbgFileEntryText(table->Entries, p)), name) == 0 &&
        choice.Consider(table->Entries, p))
      break;
  return choice.Answer;
}

// Under g_lock. The host's full-name routine may raise.
int32_t Lookup(TDbgFileTable* table, const char* path) {
  if (!table->Entries || table->Count <= 0) return 0;
  const char* name = Utf8ExtractFileName(path);
  TArrayIndex* index = nullptr;
  try {
    index = IndexFor(table);
  } catch (...) {
    // No memory for the index: this lookup walks the table as the compiler does.
    Drop(table->Entries);
    return LinearLookup(table, path, name);
  }
  TChoice choice{path};
  for (int32_t p = index->Names.First(table->Entries, name); p >= 0; p = index->Names.Next(p))
    if (choice.Consider(table->Entries, p)) break;
  return choice.Answer;
}

struct TLockedCall {
  TDbgFileTable* Table;
  const char* Path;
  void* Record;
  int32_t Index;
  int32_t Result;
};

void Unlock(void*) { LeaveCriticalSection(&g_lock); }

// F: the table's index dropped, then the host frees the table.
void QM_REGISTER FreeFileTable(TDbgFileTable* table) {
  if (table) {
    EnterCriticalSection(&g_lock);
    Drop(table->Entries);
    LeaveCriticalSection(&g_lock);
  }
  reinterpret_cast<THostFreeTable>(g_orgFreeTable)(table);
}

// G: the host adds the entry; an array it moved keeps its index. The lock
// is held throughout, so no lookup sees the array between move and re-key.
int32_t QM_REGISTER AddFileEntry(void* nameRecord, TDbgFileTable* table, int32_t index) {
  TLockedCall call{table, nullptr, nameRecord, index, 0};
  EnterCriticalSection(&g_lock);
  HostTryFinally(
      [](void* data) {
        auto* c = static_cast<TLockedCall*>(data);
        const uint8_t* before = c->Table->Entries;
        c->Result = reinterpret_cast<THostAddEntry>(g_orgAddEntry)(c->Record, c->Table, c->Index);
        if (c->Table->Entries != before) Rekey(before, c->Table->Entries);
      },
      &call, &Unlock);
  return call.Result;
}

} // namespace

const char* DbgFileEntryText(const uint8_t* entries, int32_t position) {
  const uint8_t* record =
      *reinterpret_cast<const uint8_t* const*>(entries + position * DbgFileEntryLayout::Size + DbgFileEntryLayout::NameRecord);
  return reinterpret_cast<const char*>(record + DbgFileEntryLayout::NameText);
}

int32_t DbgFileEntryAnswer(const uint8_t* entries, int32_t position) {
  const int32_t index =
      *reinterpret_cast<const int32_t*>(entries + position * DbgFileEntryLayout::Size + DbgFileEntryLayout::Index);
  return index > 0 ? index : position + 1;
}

namespace {

const char* NameAt(const uint8_t* entries, int32_t position) {
  return Utf8ExtractFileName(DbgFileEntryText(entries, position));
}

// Bucket of a hash: its bits folded, then masked.
size_t BucketOf(uint32_t hash, size_t buckets) { return (hash ^ (hash >> 15) ^ (hash >> 23)) & (buckets - 1); }

} // namespace

uint32_t NameCheck(const char* name) {
  uint32_t h = 2166136261u;
  for (const char* p = name; *p; ++p) {
    if (static_cast<uint8_t>(*p) >= 0x80) return 0;
    h = (h ^ AsciiUpperCase(*p)) * 16777619u;
  }
  return h | 1;
}

void TDbgFileNameIndex::Rehash(size_t buckets) {
  FBuckets.assign(buckets, -1);
  for (size_t g = 0; g < FGroups.size(); ++g) {
    int32_t& head = FBuckets[BucketOf(FGroups[g].Hash, buckets)];
    FGroups[g].NextInBucket = head;
    head = int32_t(g);
  }
}

int32_t TDbgFileNameIndex::FindGroup(const uint8_t* entries, const char* name, uint32_t hash, uint32_t check) const {
  if (FBuckets.empty()) return -1;
  for (int32_t g = FBuckets[BucketOf(hash, FBuckets.size())]; g >= 0; g = FGroups[size_t(g)].NextInBucket) {
    const TGroup& group = FGroups[size_t(g)];
    if (group.Hash == hash && group.Check == check && Utf8CompareText(NameAt(entries, group.First), name) == 0)
      return g;
  }
  return -1;
}

void TDbgFileNameIndex::CatchUp(const uint8_t* entries, int32_t count) {
  for (int32_t p = Count(); p < count; ++p) {
    const char* name = NameAt(entries, p);
    const uint32_t hash = Utf8HashText(name), check = NameCheck(name);
    const int32_t found = FindGroup(entries, name, hash, check);
    FNext.push_back(-1);
    if (found >= 0) {
      // Chained behind the group's last: the chain stays in array order.
      TGroup& group = FGroups[size_t(found)];
      FNext[size_t(group.Last)] = p;
      group.Last = p;
      continue;
    }
    if ((FGroups.size() + 1) * 4 > FBuckets.size() * 3) Rehash(std::max<size_t>(64, FBuckets.size() * 2));
    int32_t& head = FBuckets[BucketOf(hash, FBuckets.size())];
    FGroups.push_back(TGroup{hash, check, p, p, head});
    head = int32_t(FGroups.size() - 1);
  }
}

int32_t TDbgFileNameIndex::First(const uint8_t* entries, const char* name) const {
  const int32_t group = FindGroup(entries, name, Utf8HashText(name), NameCheck(name));
  return group >= 0 ? FGroups[size_t(group)].First : -1;
}

int32_t QM_REGISTER GetFileIndex(TDbgFileTable* table, const char* path) {
  TLockedCall call{table, path ? path : "", nullptr, 0, 0};
  EnterCriticalSection(&g_lock);
  HostTryFinally(
      [](void* data) {
        auto* c = static_cast<TLockedCall*>(data);
        // A C++ error (no memory even for the walk) reaches the host as its own exception.
        c->Result = HostBoundary([c] { return Lookup(c->Table, c->Path); });
      },
      &call, &Unlock);
  return call.Result;
}

int32_t DbgFileIndexesLive() { return g_live; }

namespace {

const wchar_t* const Dcc = L"dcc150.dll";
namespace Patterns = DbgFileIndexPatterns;

TPatchPlan FileIndexPlan() {
  TPatchPlan plan(L"Compiler.DbkGetFileIndex", L"Delphi Debugger GetFileIndex optimization");
  plan.LoadedModule(Dcc, &GetDccHandle);
  TSiteRef freeTable = plan.Pattern(L"DbgFileTableFree", Dcc, Patterns::FreeTable, Patterns::FreeTableSize);
  TSiteRef addEntry = plan.PatternFrom(L"DbgFileTableAdd", freeTable, 0, Patterns::AddEntry, Patterns::AddEntryWindow);
  TSiteRef fileIndex = plan.PatternFrom(L"DbgFileIndex", addEntry, 0, Patterns::FileIndex, Patterns::FileIndexWindow);
  TSiteRef fullNameCall =
      plan.PatternFrom(L"DbgFileIndexFullName", fileIndex, 0, Patterns::FullNameCall, Patterns::FullNameCallWindow);
  TCaptureRef fullName = plan.CallTarget(fullNameCall, Patterns::FullNameCallOffset);
  plan.RedirectOrgCall(freeTable, &FreeFileTable, &g_orgFreeTable);
  plan.RedirectOrgCall(addEntry, &AddFileEntry, &g_orgAddEntry);
  plan.Redirect(fileIndex, &GetFileIndex);
  plan.OnCommit([=](const TPlanValues& v) {
    InitializeLock();
    g_fullName = v.Get<THostFullName>(fullName);
  });
  return plan;
}

void InitializeCompilerDbgGetFileIndexOptimization() { AddWizardInitProc(&InstallCompilerDbgGetFileIndexOptimization); }

// The host code is back when this runs: no lookup comes any more.
void FinalizeCompilerDbgGetFileIndexOptimization() {
  if (g_indexes) {
    g_indexes->ForEach([](void*, void*, void* value, bool&) { delete static_cast<TArrayIndex*>(value); }, nullptr);
    delete g_indexes;
    g_indexes = nullptr;
  }
  g_live = 0;
  Forget();
}

} // namespace

std::vector<TPatchPlan> CompilerDbgGetFileIndexOptimizationPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(FileIndexPlan());
  return plans;
}

void InstallCompilerDbgGetFileIndexOptimization() {
  TPatchPlan plan = FileIndexPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_CompilerDbgGetFileIndexOptimization = {
    "CompilerDbgGetFileIndexOptimization", &InitializeCompilerDbgGetFileIndexOptimization,
    &FinalizeCompilerDbgGetFileIndexOptimization, &CompilerDbgGetFileIndexOptimizationPlans};

} // namespace Quillmend
