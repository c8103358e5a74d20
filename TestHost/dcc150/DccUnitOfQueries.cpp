// The "unitof" phase of the compiler workload: questions which unit or
// context an address belongs to, asked through every caller the compiler
// has for them (the unit of an address in both forms, the context of an
// address, the inline searches, the imported-symbol lookups), about symbols,
// import nodes, references, uses and records; three in ten fall in the zone
// of the question before. The answers' identities (creation numbers, never
// addresses) go into the checksum.
#include "DccContexts.h"
#include "DccDriver.h"
#include "DccQueries.h"
#include "DccReferences.h"

#include <cstring>
#include <type_traits>
#include <vector>

using namespace Dcc;

#define DCC_EXPORT extern "C"

namespace {

constexpr uint32_t Missing = 0xFFFFFFFFu;

enum TQueryKind : uint8_t {
  qkGetUnitOf,      // G
  qkUnitOfAddress,  // U
  qkContextOf,      // K
  qkUnitOfEntity,   // W1
  qkOfCurrentUnit,  // W2
  qkTargetContext,  // W3
  qkSymbolReference,  // I1
  qkReferenceOwner,   // I2
  qkDeclaringUnit,    // I3
  qkResolveKnown,     // I4 (the unit is known)
  qkResolveImports,   // I5 (through an import of the unit being compiled)
  qkResolveElsewhere, // I6 (the import unit, or the declaring unit)
  qkKinds
};

struct TQuery {
  TQueryKind Kind;
  uint8_t IsReference;
  const void* Subject;     // address, symbol, reference or use
  const void* Address;     // the target address (W3)
  TUnit* CurrentUnit;
  TUnit* ImportUnit;
};

struct TRandom {
  uint32_t State;
  uint32_t Next() {
    State = State * 1664525u + 1013904223u;
    return State >> 8;
  }
  uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }
};

// What a unit (or record) holds that questions can be about.
struct THolder {
  TUnit* Unit;
  bool Listed;
  TExports Made;
};

std::vector<THolder> g_holders;
std::vector<TQuery> g_queries;
uint32_t g_answers = 2166136261u;

uint32_t Ident(const TUnit* unit) { return unit ? unit->Serial : Missing; }
uint32_t Ident(const TSymbol* symbol) { return symbol ? symbol->Index : Missing; }
uint32_t Ident(const TContext* context) { return context ? context->Serial ^ (context->Kind << 28) : Missing; }

// An address inside one of the holder's records.
const void* SomeAddress(TRandom& random, const THolder& h) {
  const TUnit* unit = h.Unit;
  const void* any = unit;
  switch (random.Below(6)) {
    case 0: return reinterpret_cast<const uint8_t*>(unit) + random.Below(sizeof(TUnit));
    case 1: {
      int n = 0;
      for (const TImport* node = unit->Imports; node; node = node->Next) ++n;
      const TImport* node = unit->Imports;
      for (uint32_t k = random.Below(uint32_t(n)); node && k; --k) node = node->Next;
      if (node) return reinterpret_cast<const uint8_t*>(node) + random.Below(sizeof(TImport));
      return any;
    }
    case 2:
      if (unit->UnitSymbol) return reinterpret_cast<const uint8_t*>(unit->UnitSymbol) + random.Below(0x1E);
      return any;
    case 3: return h.Made.Symbols[random.Below(ExportsPerUnit)];
    case 4:
      if (h.Made.ReferenceCount) return h.Made.References[random.Below(uint32_t(h.Made.ReferenceCount))];
      return any;
    default:
      if (h.Made.ReferenceCount) return h.Made.Uses[random.Below(uint32_t(h.Made.ReferenceCount))];
      return any;
  }
}

// Where the question before pointed, when that was in a context of the list
// (the contexts the compiler's unit-of questions search).
struct TPrevious {
  const void* Address = nullptr;
  TContext* Context = nullptr;
};

// An address in the zone of the question before.
const void* SameZone(TRandom& random, const TPrevious& previous) {
  TZone* zone = ZoneHolding(previous.Context, previous.Address);
  return zone ? zone->Start + random.Below(zone->Size) : previous.Address;
}

// An address of the compiler's own tables: no unit's.
const void* TableAddress(TRandom& random) {
  TContext* tables = TableContext();
  if (!tables->FirstZone) return nullptr;
  return tables->FirstZone->Start + random.Below(tables->FirstZone->Size);
}

const THolder& AnyHolder(TRandom& random) { return g_holders[random.Below(uint32_t(g_holders.size()))]; }

const THolder& AnyUnit(TRandom& random) {
  for (;;) {
    const THolder& h = AnyHolder(random);
    if (h.Listed) return h;
  }
}

TQuery Question(TRandom& random, TQueryKind kind, TPrevious& previous) {
  TQuery q = {};
  q.Kind = kind;
  const bool sameZone = previous.Context && random.Below(10) < 3;
  const THolder& h = AnyHolder(random);
  TContext* context = h.Unit->Context;
  switch (kind) {
    case qkGetUnitOf:
    case qkUnitOfAddress:
    case qkContextOf:
    case qkUnitOfEntity:
    case qkOfCurrentUnit: {
      q.CurrentUnit = AnyUnit(random).Unit;
      uint32_t pick = random.Below(100);
      if (kind != qkGetUnitOf && pick < 8) {
        q.Subject = TableAddress(random);  // the compiler's tables belong to no unit
        context = nullptr;
      } else if (kind == qkUnitOfAddress && pick < 11) {
        q.Subject = nullptr;
        context = nullptr;
      } else if (kind == qkContextOf && pick < 14) {
        q.Subject = &g_answers;  // in no context at all
        context = nullptr;
      } else if ((kind == qkUnitOfEntity || kind == qkOfCurrentUnit) && pick < 40 && h.Made.ReferenceCount) {
        q.Subject = h.Made.References[random.Below(uint32_t(h.Made.ReferenceCount))];
        q.IsReference = 1;
      } else if (sameZone) {
        q.Subject = SameZone(random, previous);
        context = previous.Context;
      } else {
        q.Subject = SomeAddress(random, h);
      }
      break;
    }
    case qkTargetContext:
      q.Subject = h.Made.Symbols[random.Below(ExportsPerUnit)];
      if (random.Below(16) == 0) {
        q.Address = nullptr;
        context = nullptr;
      } else if (sameZone) {
        q.Address = SameZone(random, previous);
        context = previous.Context;
      } else {
        q.Address = SomeAddress(random, h);
      }
      break;
    case qkSymbolReference:
    case qkDeclaringUnit:
      q.Subject = h.Made.Symbols[random.Below(ExportsPerUnit)];
      q.CurrentUnit = random.Below(4) == 0 && h.Listed ? h.Unit : AnyUnit(random).Unit;
      break;
    default: {
      if (!h.Made.ReferenceCount) return Question(random, qkGetUnitOf, previous);
      uint32_t r = random.Below(uint32_t(h.Made.ReferenceCount));
      TUse* use = h.Made.Uses[r];
      q.Subject = use;
      q.CurrentUnit = AnyUnit(random).Unit;
      q.ImportUnit = random.Below(3) == 0 ? nullptr : AnyUnit(random).Unit;
      if (kind == qkResolveKnown && !use->Reference->Found) kind = qkResolveImports;
      if (kind == qkResolveImports && h.Listed) q.CurrentUnit = h.Unit;
      if (kind == qkResolveElsewhere && random.Below(2)) {
        q.ImportUnit = nullptr;
        for (const THolder& other : g_holders)
          if (other.Listed && other.Unit == use->Reference->Node->Unit) q.ImportUnit = other.Unit;
      }
      q.Kind = kind;
      break;
    }
  }
  previous.Address = q.Address ? q.Address : q.Subject;
  previous.Context = previous.Address ? context : nullptr;
  return q;
}

uint32_t Ask(const TQuery& q) {
  DccCurrentUnit = reinterpret_cast<TUnit*>(q.CurrentUnit);
  DccImportUnit = reinterpret_cast<TUnit*>(q.ImportUnit);
  switch (q.Kind) {
    case qkGetUnitOf: return Ident(DccGetUnitOf(q.Subject));
    case qkUnitOfAddress: return Ident(DccUnitOfAddress(q.Subject));
    case qkContextOf: return Ident(DccContextOf(q.Subject));
    case qkUnitOfEntity: return Ident(DccUnitOfEntity(q.Subject, q.IsReference));
    case qkOfCurrentUnit: return uint32_t(DccOfCurrentUnit(q.Subject, q.IsReference));
    case qkTargetContext:
      return Ident(DccTargetContext(static_cast<const TSymbol*>(q.Subject), q.Address));
    case qkSymbolReference: return Ident(DccSymbolReference(static_cast<TSymbol*>(const_cast<void*>(q.Subject))));
    case qkReferenceOwner:
      return Ident(DccReferenceOwner(static_cast<TReference*>(const_cast<void*>(q.Subject))));
    case qkDeclaringUnit: return Ident(DccDeclaringUnit(static_cast<TSymbol*>(const_cast<void*>(q.Subject))));
    default: return Ident(DccResolveUse(static_cast<TUse*>(const_cast<void*>(q.Subject))));
  }
}

} // namespace

namespace Dcc {

uint32_t QueryAnswers() { return g_answers; }
void ResetQueryAnswers() { g_answers = 2166136261u; }
void MixAnswer(uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    g_answers ^= (value >> (8 * i)) & 0xFF;
    g_answers *= 16777619u;
  }
}

} // namespace Dcc

// Gives every listed unit and every record of the further lists its exports,
// references and uses, and chooses `count` questions (the reference-owner
// question needs a reference; the others come in equal shares). Returns the
// number of questions.
DCC_EXPORT int __stdcall DccPrepareUnitOf(int count, uint32_t randomSeed) {
  g_holders.clear();
  g_queries.clear();
  for (TUnit* unit = DccUnitListHead; unit; unit = unit->Next) g_holders.push_back({unit, true, {}});
  for (TRecordNode* node = DccRecordList; node; node = node->Next) g_holders.push_back({node->Record, false, {}});
  for (TRecordGroup* group = DccRecordGroups; group; group = group->Next)
    for (TRecordNode* node = group->Chain; node; node = node->Next) g_holders.push_back({node->Record, false, {}});
  if (g_holders.empty()) return 0;
  for (THolder& h : g_holders) GiveExports(h.Unit, h.Made);
  TRandom random{randomSeed};
  TPrevious previous;
  g_queries.reserve(size_t(count));
  for (int i = 0; i < count; ++i) {
    TQueryKind kind = TQueryKind(random.Below(qkKinds));
    if (kind == qkReferenceOwner) {
      // A reference of a unit: for one of a record, whose references no
      // unit's imports hold, the compiler searches every unit's imports.
      const THolder& h = AnyUnit(random);
      if (!h.Made.ReferenceCount) {
        --i;
        continue;
      }
      TQuery q = {};
      q.Kind = kind;
      q.Subject = h.Made.References[random.Below(uint32_t(h.Made.ReferenceCount))];
      q.CurrentUnit = random.Below(2) ? AnyUnit(random).Unit : nullptr;
      previous.Address = q.Subject;
      previous.Context = h.Unit->Context;
      g_queries.push_back(q);
      continue;
    }
    g_queries.push_back(Question(random, kind, previous));
  }
  DccCurrentUnit = nullptr;
  DccImportUnit = nullptr;
  return int(g_queries.size());
}

// Asks the prepared questions in order; every answer goes into the checksum
// (and, when given, into answers[i], with the question's kind in kinds[i]).
// Returns how many answers named a unit, context, symbol or yes.
DCC_EXPORT int __stdcall DccRunUnitOf(uint32_t* answers, uint8_t* kinds) {
  int named = 0;
  for (size_t i = 0; i < g_queries.size(); ++i) {
    const TQuery& q = g_queries[i];
    uint32_t answer = Ask(q);
    named += answer != Missing && answer != 0;
    MixAnswer(answer);
    if (answers) answers[i] = answer;
    if (kinds) kinds[i] = q.Kind;
  }
  DccCurrentUnit = nullptr;
  DccImportUnit = nullptr;
  return named;
}

// One question, for tests: kind as above, the rest as TQuery.
DCC_EXPORT uint32_t __stdcall DccAskUnitOf(int kind, const void* subject, const void* address, int isReference) {
  TQuery q = {};
  q.Kind = TQueryKind(kind);
  q.Subject = subject;
  q.Address = address;
  q.IsReference = uint8_t(isReference);
  q.CurrentUnit = DccCurrentUnit;
  q.ImportUnit = DccImportUnit;
  TUnit* current = DccCurrentUnit;
  TUnit* import = DccImportUnit;
  uint32_t answer = Ask(q);
  DccCurrentUnit = current;
  DccImportUnit = import;
  return answer;
}

// The definitions agree with the driver header.
using Declared = DccDriver::Driver<TUnit, TContext, TSymbol>;
static_assert(std::is_same_v<decltype(&DccPrepareUnitOf), Declared::PrepareUnitOfFn> &&
                  std::is_same_v<decltype(&DccRunUnitOf), Declared::RunUnitOfFn> &&
                  std::is_same_v<decltype(&DccAskUnitOf), Declared::AskUnitOfFn>,
              "unit-of-address exports differ from DccDriver.h");
