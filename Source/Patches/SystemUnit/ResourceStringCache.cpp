#include "Patches/SystemUnit/ResourceStringCache.h"

#include "Framework/HostFinally.h"

namespace Quillmend {

namespace {

void* Allocate(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }
void Free(void* block) { HeapFree(GetProcessHeap(), 0, block); }

}  // namespace

void TResourceStringCache::Start(const THostStrings& strings, TFindResourceHInstance findResourceHInstance) {
  FStrings = strings;
  FFindResourceHInstance = findResourceHInstance;
  if (FStarted) return;
  InitializeCriticalSectionAndSpinCount(&FLock, 4000);
  FStarted = true;
}

void TResourceStringCache::Stop() {
  if (!FStarted) return;
  for (TModuleRecord*& bucket : FBuckets) {
    while (TModuleRecord* record = bucket) {
      bucket = record->Next;
      Release(record);
    }
  }
  DeleteCriticalSection(&FLock);
  FStarted = false;
}

void TResourceStringCache::Release(TModuleRecord* record) {
  for (TSlot& slot : record->Slots) {
    if (slot.Identifier != EmptyIdentifier && slot.Text) FStrings.Clear(&slot.Text);
    while (TSlot* node = slot.Next) {
      slot.Next = node->Next;
      if (node->Text) FStrings.Clear(&node->Text);
      Free(node);
    }
  }
  Free(record);
}

namespace {

struct TLoadCall {
  TResourceStringCache* Cache;
  HMODULE Module;
  uint32_t Identifier;
  wchar_t** Result;
};

}  // namespace

void TResourceStringCache::Load(const TResStringRec* rec, wchar_t** result) {
  if (!rec) {
    FStrings.StoreNew(result, nullptr);
    return;
  }
  if (rec->Identifier > 0xFFFF) {
    const auto* text = reinterpret_cast<const wchar_t*>(rec->Identifier);
    FStrings.StoreNew(result, FStrings.New(text, lstrlenW(text)));
    return;
  }
  // A text in the cache: its reference taken under the lock, stored outside
  // it. Otherwise loaded under the lock, which a host exception leaves too.
  HMODULE module = *rec->Module;
  wchar_t* text = nullptr;
  EnterCriticalSection(&FLock);
  const bool found = FindLocked(module, uint32_t(rec->Identifier), text);
  LeaveCriticalSection(&FLock);
  if (found) {
    FStrings.StoreNew(result, text);
    return;
  }
  TLoadCall call{this, module, uint32_t(rec->Identifier), result};
  EnterCriticalSection(&FLock);
  HostTryFinally(&LoadLocked, &call, [](void* data) { LeaveCriticalSection(&static_cast<TLoadCall*>(data)->Cache->FLock); });
}

bool TResourceStringCache::FindLocked(HMODULE module, uint32_t identifier, wchar_t*& text) {
  TModuleRecord* record = Bucket(module);
  while (record && record->Module != module) record = record->Next;
  if (!record) return false;
  for (TSlot* s = &record->Slots[SlotOf(identifier)]; s; s = s->Next)
    if (s->Identifier == identifier) {
      text = s->Text;
      HostStringAddRef(text);
      return true;
    }
  return false;
}

void TResourceStringCache::LoadLocked(void* data) {
  TLoadCall& call = *static_cast<TLoadCall*>(data);
  TResourceStringCache& cache = *call.Cache;
  TModuleRecord*& bucket = cache.Bucket(call.Module);
  TModuleRecord* record = bucket;
  while (record && record->Module != call.Module) record = record->Next;
  if (!record) {
    const HINSTANCE resources = cache.FFindResourceHInstance(call.Module);
    record = static_cast<TModuleRecord*>(Allocate(sizeof(TModuleRecord)));
    if (!record) {
      // No memory for a record: loaded as the host would, not cached.
      wchar_t buffer[BufferLength];
      const int length = LoadStringW(resources, call.Identifier, buffer, BufferLength);
      cache.FStrings.StoreNew(call.Result, cache.FStrings.New(buffer, length));
      return;
    }
    record->Module = call.Module;
    record->ResourceInstance = resources;
    for (TSlot& slot : record->Slots) slot = {EmptyIdentifier, nullptr, nullptr};
    record->Next = bucket;
    bucket = record;
  }
  TSlot* slot = &record->Slots[SlotOf(call.Identifier)];
  for (TSlot* s = slot; s; s = s->Next)
    if (s->Identifier == call.Identifier) {
      cache.FStrings.Assign(call.Result, s->Text);
      return;
    }
  wchar_t buffer[BufferLength];
  const int length = LoadStringW(record->ResourceInstance, call.Identifier, buffer, BufferLength);
  wchar_t* text = cache.FStrings.New(buffer, length);
  TSlot* target = slot;
  if (slot->Identifier != EmptyIdentifier) {
    target = static_cast<TSlot*>(Allocate(sizeof(TSlot)));
    if (!target) {
      cache.FStrings.StoreNew(call.Result, text);
      return;
    }
    target->Next = slot->Next;
    slot->Next = target;
  }
  target->Text = text;
  target->Identifier = call.Identifier;
  cache.FStrings.Assign(call.Result, text);
}

void TResourceStringCache::ModuleUnloaded(HMODULE module) {
  if (!FStarted) return;
  TModuleRecord* found = nullptr;
  EnterCriticalSection(&FLock);
  for (TModuleRecord** link = &Bucket(module); *link; link = &(*link)->Next)
    if ((*link)->Module == module) {
      found = *link;
      *link = found->Next;
      break;
    }
  LeaveCriticalSection(&FLock);
  // The texts are released outside the lock: whoever holds one keeps it.
  if (found) Release(found);
}

int TResourceStringCache::CachedCount(HMODULE module) {
  int count = 0;
  EnterCriticalSection(&FLock);
  for (TModuleRecord* record = Bucket(module); record; record = record->Next) {
    if (record->Module != module) continue;
    for (const TSlot& slot : record->Slots)
      for (const TSlot* s = &slot; s; s = s->Next)
        if (s->Identifier != EmptyIdentifier) ++count;
  }
  LeaveCriticalSection(&FLock);
  return count;
}

}  // namespace Quillmend
