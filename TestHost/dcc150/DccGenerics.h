// The stand-in compiler's generic instantiations and the linker's generics
// matching: the records the routines of DccGenerics.S work on, laid out at
// the offsets the real compiler uses, and what those routines call.
//
// A unit record owns two instantiation lists: at 0x140 nodes {Next, Record}
// whose record holds the generic type's key at 0x18 and the instantiation's
// arguments at 0x1C; at 0x144 nodes {Next, Flags, Context 0x08, KeyRecord
// 0x0C, Signature 0x10}. Its generics state record (kind byte: 0 none,
// 6 interface changed, 9 reset, others current) lies at 0x78.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Common/HostLayout.h"
#include "DccRecords.h"

namespace Dcc {

constexpr uint32_t UnitInstances1 = 0x140;
constexpr uint32_t UnitInstances2 = 0x144;
constexpr uint32_t UnitGenericsState = 0x78;
// Fields of the unit record's padding the generics use.
static_assert(UnitInstances1 >= offsetof(TUnit, Pad84) && UnitInstances2 + 4 <= offsetof(TUnit, Busy) &&
                  UnitGenericsState >= offsetof(TUnit, Pad78) && UnitGenericsState + 4 <= offsetof(TUnit, UnitSymbol),
              "generics fields lie in the unit record's free room");

struct TInstanceRecord {
  uint32_t Flags;        // 0x00: bit 0 temporary (purged)
  uint32_t Serial;       // 0x04
  uint8_t Pad08[0x10];
  uint32_t Key;          // 0x18: the generic type
  uint32_t Value;        // 0x1C: the type arguments
};
static_assert(offsetof(TInstanceRecord, Key) == 0x18 && offsetof(TInstanceRecord, Value) == 0x1C, "instance record");

struct TInstanceNode1 {
  TInstanceNode1* Next;
  TInstanceRecord* Record;
};

// The generic type an instantiation of the second list is made of.
struct TGenericKey {
  uint32_t Serial;       // 0x00
  uint8_t Pad04[0x08];
  uint32_t Signature;    // 0x0C: changes when the generic type is redeclared
};
static_assert(offsetof(TGenericKey, Signature) == 0x0C, "generic key record");

struct TInstanceNode2 {
  TInstanceNode2* Next;  // 0x00
  uint32_t Flags;        // 0x04: bit 0 temporary (purged)
  uint32_t Context;      // 0x08
  TGenericKey* KeyRecord;  // 0x0C
  uint32_t Signature;    // 0x10: the key's signature when instantiated
  uint32_t Serial;       // 0x14
};
static_assert(offsetof(TInstanceNode2, KeyRecord) == 0x0C && offsetof(TInstanceNode2, Signature) == 0x10,
              "instance node 2");

// Values and contexts with this bit make temporary instantiations.
constexpr uint32_t TemporaryBit = 0x80000000u;

// The linker's generic symbols (symbol record layout) and match entries.
struct TLinkType {
  uint32_t Serial;
  uint32_t Address;      // 0x04
};
struct TLinkSymbol {
  uint8_t Kind, Flags, Byte2, Byte3;  // byte 2: the one-byte name hash
  uint32_t Address;      // 0x04
  uint8_t Pad08[0x08];
  TLinkType* Key;        // 0x10: the generic type it instantiates
  uint32_t Serial;       // 0x14
  uint8_t Pad18[0x06];
  char Name[2];          // 0x1E
};
static_assert(offsetof(TLinkSymbol, Key) == 0x10 && offsetof(TLinkSymbol, Name) == 0x1E, "link symbol");
struct TMatchEntry {
  TMatchEntry* Next;     // 0x00
  TLinkType* Key;        // 0x04
  TLinkSymbol* Symbol;   // 0x08
  uint32_t Resolved;     // 0x0C
};

} // namespace Dcc

extern "C" {
extern Dcc::TUnit* DccGenericOwner asm("_DccGenericOwner");
extern uint8_t DccGenericsLocked asm("_DccGenericsLocked");
extern uint8_t* DccLinkerCurrent asm("_DccLinkerCurrent");
extern uint8_t* DccLinkerLimit asm("_DccLinkerLimit");
extern Dcc::TMatchEntry** DccLinkerMatchTable asm("_DccLinkerMatchTable");

Dcc::TInstanceNode1* QM_HOST_REGISTER DccFindInstance1(uint32_t key, uint32_t value) asm("_DccFindInstance1");
Dcc::TInstanceNode2* QM_HOST_REGISTER DccFindInstance2(Dcc::TGenericKey* key, uint32_t context, uint32_t matchData)
    asm("_DccFindInstance2");
void QM_HOST_REGISTER DccPurgeInstances(Dcc::TUnit* unit) asm("_DccPurgeInstances");
void* QM_HOST_REGISTER DccLinkerAlloc(uint32_t size) asm("_DccLinkerAlloc");
void QM_HOST_REGISTER DccLinkerNewMatchTable() asm("_DccLinkerNewMatchTable");
Dcc::TMatchEntry* QM_HOST_REGISTER DccLinkerMatch(Dcc::TLinkSymbol* symbol) asm("_DccLinkerMatch");
void QM_HOST_REGISTER DccLinkerResolve1() asm("_DccLinkerResolve1");
void QM_HOST_REGISTER DccLinkerResolve2() asm("_DccLinkerResolve2");

int QM_HOST_REGISTER HostMatchInstance1(uint32_t recordKey, uint32_t recordValue, uint32_t key, uint32_t value)
    asm("HostMatchInstance1");
Dcc::TInstanceNode1* QM_HOST_REGISTER HostNewInstance1(Dcc::TInstanceNode1** cell, uint32_t key, uint32_t value)
    asm("HostNewInstance1");
int QM_HOST_REGISTER HostMatchInstance2(uint32_t signature, uint32_t matchData, uint32_t keySignature,
                                        uint32_t keySignatureAgain) asm("HostMatchInstance2");
Dcc::TInstanceNode2* QM_HOST_REGISTER HostNewInstance2(Dcc::TInstanceNode2** cell, Dcc::TGenericKey* key,
                                                       uint32_t context, uint32_t matchData) asm("HostNewInstance2");
void QM_HOST_REGISTER HostPurgeInstances(Dcc::TUnit* unit) asm("HostPurgeInstances");
void __cdecl HostLinkerAssert(const char* text, const char* file, int line) asm("HostLinkerAssert");
void* QM_HOST_REGISTER HostLinkerAllocSlow(uint32_t size) asm("HostLinkerAllocSlow");
void* QM_HOST_REGISTER HostLinkerZeroAlloc(uint32_t size) asm("HostLinkerZeroAlloc");
uint32_t QM_HOST_REGISTER HostGenericKey(Dcc::TLinkSymbol* symbol) asm("HostGenericKey");
}
