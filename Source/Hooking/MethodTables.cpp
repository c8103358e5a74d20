#include "Hooking/MethodTables.h"

#include "Hooking/CodeRedirect.h"
#include "Hooking/Emit.h"
#include "Hooking/MemoryRegions.h"

#include <cstring>

namespace Quillmend {

namespace {

constexpr int SlotSize = 4;
constexpr int FirstHeaderSlot = HostClassLayout::SelfPtr / SlotSize;  // -22

uint8_t* SlotAddress(TClass aClass, int32_t index) { return static_cast<uint8_t*>(aClass) + SlotSize * index; }

void* HeaderSlot(TClass aClass, int offset) { return ReadPointer(static_cast<uint8_t*>(aClass) + offset); }

bool WritePtr(void* address, void* value) {
  uint32_t written = 0;
  return WriteCodeMemory(address, &value, sizeof value, written) && written == sizeof value;
}

// GetActualAddr reads the two bytes at p and, for an FF 25 thunk, the cell the
// thunk names; a table slot may hold data that merely looks like a thunk, so
// the cell is checked too before it is followed.
void* ResolveIfCode(void* p) {
  constexpr size_t ThunkSize = 6;  // FF 25 and a 32-bit cell address
  if (reinterpret_cast<uintptr_t>(p) <= 0x10000 || !IsReadableMemory(p, ThunkSize)) return p;
  const auto* code = static_cast<const uint8_t*>(p);
  if (code[0] == 0xFF && code[1] == 0x25 && !IsReadableMemory(ReadPointer(code + 2), sizeof(void*))) return p;
  return GetActualAddr(p);
}

// Address of the dynamic method table's code pointer for `index`, searching
// the class and then its ancestors; null when no class in the chain has it.
void** FindDynamicSlot(TClass aClass, int32_t index) {
  const auto wanted = static_cast<int16_t>(index);
  for (TClass cls = aClass; cls != nullptr;) {
    if (const auto* table = static_cast<const uint8_t*>(HeaderSlot(cls, HostClassLayout::DynamicTable))) {
      uint16_t count;
      std::memcpy(&count, table, sizeof count);
      const uint8_t* indices = table + 2;
      for (uint16_t i = 0; i < count; ++i) {
        int16_t methodIndex;
        std::memcpy(&methodIndex, indices + 2 * i, sizeof methodIndex);
        if (methodIndex == wanted)
          return reinterpret_cast<void**>(const_cast<uint8_t*>(indices + 2 * count + SlotSize * i));
      }
    }
    void* parentVariable = HeaderSlot(cls, HostClassLayout::Parent);
    cls = parentVariable != nullptr ? ReadPointer(parentVariable) : nullptr;
  }
  return nullptr;
}

}  // namespace

int32_t GetVirtualMethodCount(TClass aClass) {
  // The virtual methods end where the first table stored behind the class
  // reference begins; the class name is always there.
  const auto classRef = reinterpret_cast<uintptr_t>(aClass);
  auto end = reinterpret_cast<uintptr_t>(HeaderSlot(aClass, HostClassLayout::ClassName));
  for (int offset = HostClassLayout::IntfTable; offset <= HostClassLayout::DynamicTable; offset += SlotSize) {
    const auto table = reinterpret_cast<uintptr_t>(HeaderSlot(aClass, offset));
    if (table != 0 && table >= classRef && table < end) end = table;
  }
  return static_cast<int32_t>(static_cast<intptr_t>(end - classRef) / SlotSize);
}

void* GetVirtualMethod(TClass aClass, int32_t index) { return ReadPointer(SlotAddress(aClass, index)); }

void SetVirtualMethod(TClass aClass, int32_t index, void* method) { WritePtr(SlotAddress(aClass, index), method); }

void** FindVmtField(TClass aClass, void* oldProc) {
  oldProc = GetActualAddr(oldProc);
  // Every header slot, then the virtual methods up to the first null slot;
  // the walk also stops where readable memory ends.
  uintptr_t readableEnd = 0;
  for (int32_t index = FirstHeaderSlot;; ++index) {
    uint8_t* slot = SlotAddress(aClass, index);
    if (reinterpret_cast<uintptr_t>(slot) + SlotSize > readableEnd) {
      readableEnd = ReadableEnd(slot, 0x10000);
      if (reinterpret_cast<uintptr_t>(slot) + SlotSize > readableEnd) return nullptr;
    }
    void* value = ReadPointer(slot);
    if (index >= 0 && value == nullptr) return nullptr;
    if (value != oldProc) value = ResolveIfCode(value);
    if (value == oldProc) return reinterpret_cast<void**>(slot);
  }
}

bool ReplaceVmtField(TClass aClass, void* oldProc, void* newProc) {
  void** slot = FindVmtField(aClass, oldProc);
  return slot != nullptr && WritePtr(slot, GetActualAddr(newProc));
}

void** FindDynamicMethodSlot(TClass aClass, int32_t index) { return FindDynamicSlot(aClass, index); }

void* GetDynamicMethod(TClass aClass, int32_t index) {
  void** slot = FindDynamicSlot(aClass, index);
  return slot != nullptr ? ReadPointer(slot) : nullptr;
}

void* ReplaceDmtField(TClass aClass, int32_t index, void* newProc) {
  void** slot = FindDynamicSlot(aClass, index);
  if (slot == nullptr) return nullptr;
  void* oldProc = ReadPointer(slot);
  return WritePtr(slot, newProc) ? oldProc : nullptr;
}

} // namespace Quillmend

