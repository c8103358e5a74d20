// The resource-string cache behind "RTL.SystemOptimization": per module, the
// texts LoadResString loaded, so that each identifier is loaded from the
// module's resources once. 256 buckets of module records chosen by bits 16
// to 23 of the module handle; a record holds the module's resource instance
// and 512 slots (identifier, overflow node, text), slot = (identifier +
// identifier / 64) mod 512, further identifiers of a slot in overflow nodes
// right behind it. One critical section (spin count 4000) guards it all;
// the texts are host strings, one reference of each held by the cache.
#pragma once

#include <cstdint>
#include <windows.h>

#include "Framework/HostAbi.h"

namespace Quillmend {

// PResStringRec: the module-handle variable and the identifier (above
// 0xFFFF: a pointer to the text itself).
struct TResStringRec {
  HINSTANCE* Module;
  uintptr_t Identifier;
};

using TFindResourceHInstance = HINSTANCE(QM_REGISTER*)(HINSTANCE instance);

class TResourceStringCache {
public:
  static constexpr int BucketCount = 256;
  static constexpr int SlotCount = 512;
  static constexpr int BufferLength = 4096;  // characters LoadStringW may give

  // The slot of an identifier.
  static int SlotOf(uint32_t identifier) { return int((identifier + identifier / 64) % SlotCount); }

  // Creates the lock (once) and binds the host's string routines and its
  // FindResourceHInstance.
  void Start(const THostStrings& strings, TFindResourceHInstance findResourceHInstance);
  // Releases every text and record; the lock goes too.
  void Stop();
  bool Started() const { return FStarted; }

  // LoadResString(rec) into *result (the old value released): nil rec gives
  // '', a pointer identifier its text, otherwise the cached text (shared),
  // loaded with LoadStringW from the module's resource instance at the first
  // request. A host exception from the host's routines passes, the lock left.
  void Load(const TResStringRec* rec, wchar_t** result);

  // Forgets the module: its record leaves its bucket, its texts are released.
  void ModuleUnloaded(HMODULE module);

  // Identifiers cached for a module, overflow nodes included (tests).
  int CachedCount(HMODULE module);

private:
  struct TSlot {
    uint32_t Identifier;  // EmptyIdentifier in an empty slot
    TSlot* Next;          // overflow nodes of this slot
    wchar_t* Text;        // nil for ''
  };
  struct TModuleRecord {
    HMODULE Module;
    HINSTANCE ResourceInstance;
    TModuleRecord* Next;
    TSlot Slots[SlotCount];
  };
  // No resource identifier has this value: an empty slot matches no request
  // (identifier 0 included).
  static constexpr uint32_t EmptyIdentifier = 0xFFFFFFFFu;

  static void LoadLocked(void* call);
  // The cached text, with a reference taken for the caller; false when absent.
  bool FindLocked(HMODULE module, uint32_t identifier, wchar_t*& text);
  TModuleRecord*& Bucket(HMODULE module) { return FBuckets[(uintptr_t(module) >> 16) & 0xFF]; }
  void Release(TModuleRecord* record);

  TModuleRecord* FBuckets[BucketCount] = {};
  CRITICAL_SECTION FLock;
  bool FStarted = false;
  THostStrings FStrings;
  TFindResourceHInstance FFindResourceHInstance = nullptr;
};

}  // namespace Quillmend
