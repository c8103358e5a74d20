#include "Patches/IdeCollections/IDECollectionOptimization.h"

#include <cstring>

#include "Framework/HostFinally.h"
#include "Hooking/StringHash.h"
#include "Patches/IdeCollections/IdeCollectionsPatterns.h"
#include "Patches/IdeCollections/IdeModules.h"

namespace Quillmend {

namespace L = HostStringHashTableLayout;

namespace {

using THashFunction = uint32_t(QM_REGISTER*)(const wchar_t* key);
using TNotify = void(QM_REGISTER*)(void* table, void* entry, uint32_t notification);
using TGetMem = void*(QM_REGISTER*)(int32_t size);
using TFreeMem = int32_t(QM_REGISTER*)(void* p);

// Published at commit: the host's two hash functions, its memory routines.
THashFunction g_hostHash = nullptr;
THashFunction g_hostHashI = nullptr;
TGetMem g_getMem = nullptr;
TFreeMem g_freeMem = nullptr;
void* g_notifyOrg = nullptr;  // the host's Notify as it was

template <class T>
T& Field(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

// Every entry moved to the bucket of its key's hash under the table's
// (new) hash function; the bucket count stays. The old bucket array is
// freed also when a host exception passes.
void Rehash(void* table) {
  const uint32_t count = Field<uint32_t>(table, L::BucketCount);
  if (count == 0) return;
  auto hash = Field<THashFunction>(table, L::HashFunction);
  auto** fresh = static_cast<void**>(g_getMem(int32_t(count * sizeof(void*))));
  std::memset(fresh, 0, count * sizeof(void*));
  void** old = Field<void**>(table, L::Buckets);
  struct TState {
    void** Old;
    void** Fresh;
    void* Table;
    uint32_t Count;
    THashFunction Hash;
  } state{old, fresh, table, count, hash};
  HostTryFinally(
      [](void* data) {
        auto* s = static_cast<TState*>(data);
        for (uint32_t b = 0; b < s->Count; ++b) {
          void* entry = s->Old[b];
          while (entry) {
            void* next = Field<void*>(entry, L::EntryNext);
            uint32_t h = s->Hash(Field<const wchar_t*>(entry, L::EntryKey));
            Field<uint32_t>(entry, L::EntryHash) = h;
            Field<void*>(entry, L::EntryNext) = s->Fresh[h % s->Count];
            s->Fresh[h % s->Count] = entry;
            entry = next;
          }
          s->Old[b] = nullptr;
        }
        Field<void**>(s->Table, L::Buckets) = s->Fresh;
      },
      &state,
      [](void* data) {
        auto* s = static_cast<TState*>(data);
        // A raise half-way: entries still in old buckets go to the new array
        // with their stored hash, so none is lost.
        if (Field<void**>(s->Table, L::Buckets) != s->Fresh) {
          for (uint32_t b = 0; b < s->Count; ++b)
            while (void* entry = s->Old[b]) {
              s->Old[b] = Field<void*>(entry, L::EntryNext);
              uint32_t h = Field<uint32_t>(entry, L::EntryHash);
              Field<void*>(entry, L::EntryNext) = s->Fresh[h % s->Count];
              s->Fresh[h % s->Count] = entry;
            }
          Field<void**>(s->Table, L::Buckets) = s->Fresh;
        }
        g_freeMem(s->Old);
      });
}

// A table still hashing with the host's function gets ours and is rehashed
// on its first "added" notification; then the host's Notify runs.
void QM_REGISTER NotifyHook(void* table, void* entry, uint32_t notification) {
  if ((notification & 0xFF) == 0) {
    THashFunction& hash = Field<THashFunction>(table, L::HashFunction);
    if (hash == g_hostHashI) {
      hash = &HostHashTextI;
      Rehash(table);
    } else if (hash == g_hostHash) {
      hash = &HostHashText;
      Rehash(table);
    }
  }
  reinterpret_cast<TNotify>(g_notifyOrg)(table, entry, notification);
}

TPatchPlan StrHashPlan() {
  namespace E = IdeExports;
  TPatchPlan plan(L"IDE.Collections.StrHash", L"Better string hash function", TInstallMoment::UnitInit);
  TSiteRef create = plan.Export(L"TCustomStringHashTable.Create", E::VclIde, "@Collections@TCustomStringHashTable@$bctr$qqrouid");
  TSiteRef choice =
      plan.PatternFrom(L"TCustomStringHashTable.Create", create, 0, IdeCollectionsPatterns::StringHashTableCreate, 50);
  plan.ExpectU8(choice, 29, uint8_t(L::HashFunction));
  TSiteRef notify = plan.Export(L"TCustomStringHashTable.Notify", E::VclIde,
                                "@Collections@TCustomStringHashTable@Notify$qqrp43Collections@TCustomHashTable@"
                                "TBaseHashEntry51Collections@TCustomHashTable@THashTableNotification");
  TSiteRef getMem = plan.Export(L"GetMem", E::Rtl, E::GetMem);
  TSiteRef freeMem = plan.Export(L"FreeMem", E::Rtl, E::FreeMem);
  TCaptureRef hostHash = plan.Operand(choice, 5);
  TCaptureRef hostHashI = plan.Operand(choice, 23);
  plan.RedirectOrgCall(notify, &NotifyHook, &g_notifyOrg);
  plan.WritePointer(choice, 5, &HostHashText);
  plan.WritePointer(choice, 23, &HostHashTextI);
  plan.OnCommit([=](const TPlanValues& v) {
    g_hostHash = v.Get<THashFunction>(hostHash);
    g_hostHashI = v.Get<THashFunction>(hostHashI);
    g_getMem = reinterpret_cast<TGetMem>(v.Site(getMem));
    g_freeMem = reinterpret_cast<TFreeMem>(v.Site(freeMem));
  });
  return plan;
}

}  // namespace

uint32_t QM_REGISTER HostHashText(const wchar_t* key) { return UnicodeHashText(key); }
uint32_t QM_REGISTER HostHashTextI(const wchar_t* key) { return UnicodeHashTextI(key); }

std::vector<TPatchPlan> CollectionOptimizationPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(StrHashPlan());
  return plans;
}

void InstallCollectionOptimization() {
  TPatchPlan plan = StrHashPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_IDECollectionOptimization = {"IDECollectionOptimization", &InstallCollectionOptimization, nullptr,
                                                  &CollectionOptimizationPlans};

}  // namespace Quillmend
