// Host-layout classes for stand-in modules, built from C++: the 22 header
// slots from -88, the virtual methods, and behind them the class name and
// the field, method, dynamic method and type-information tables, laid out
// as the host's compiler lays them out (HostLayout.h has the slot offsets).
//
//     QM_HOST_CLASS(vcl_TControl_Class, 4);   // storage; the symbol is the class reference
//     ...
//     void* control = HostClassBuilder(vcl_TControl_Class_Storage, "TControl")
//                         .Parent(&componentClassVar).InstanceSize(64)
//                         .Virtual(0, &TControl_Click).Root(kVmtDestroy, &TControl_Destroy)
//                         .Published("Click", &TControl_Click)
//                         .Dynamic(0xB00F, &TControl_CMChanged).TypeInfo("Controls")
//                         .Build();
//
// The storage is static data with an exact symbol (so a .def fragment can
// export the class reference as DATA and assembly can refer to it); the
// builder fills it once, at the module's start-up. A class inherits its
// parent's root and virtual methods unless it sets them; the parent may
// live in another module (its class reference read from that module's
// export into a variable of this one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "HostLayout.h"

namespace QmHost {

constexpr int kVmtHeaderBytes = 88;
constexpr std::uint8_t kTypeKindClass = 7;

// Room for a class record: header, `VirtualCount` virtual methods, and
// `TailBytes` behind them for the name and tables.
template <int VirtualCount, int TailBytes = 1024>
struct HostClassStorage {
  alignas(4) unsigned char bytes[kVmtHeaderBytes + 4 * VirtualCount + TailBytes];
  static constexpr int kVirtualCount = VirtualCount;
  void* ClassRef() { return bytes + kVmtHeaderBytes; }
};

// Storage `<symbol>_Storage` and the class reference `<symbol>` (its address
// + 88) as exact symbols, at namespace scope.
#define QM_HOST_CLASS(symbol, virtualCount)                                                      \
  extern "C" QmHost::HostClassStorage<virtualCount> symbol##_Storage QM_HOST_SYMBOL(symbol##_Storage); \
  QmHost::HostClassStorage<virtualCount> symbol##_Storage;                                         \
  __asm__(".globl _" #symbol "\n\t.set _" #symbol ", _" #symbol "_Storage + 88")

class HostClassBuilder {
 public:
  template <int VirtualCount, int TailBytes>
  HostClassBuilder(HostClassStorage<VirtualCount, TailBytes>& storage, const char* name)
      : bytes_(storage.bytes), virtualCount_(VirtualCount), tailBytes_(TailBytes), name_(name) {}

  // A pointer to a variable holding the parent's class reference (null for
  // a root class).
  HostClassBuilder& Parent(void* const* parentVar);
  // Default: the parent's, or 4 for a root class.
  HostClassBuilder& InstanceSize(int bytes);
  // Virtual method `index` (0, 1, ...).
  HostClassBuilder& Virtual(int index, const void* code);
  // One of the root virtual methods, by its header offset (kVmtEquals .. kVmtDestroy).
  HostClassBuilder& Root(VmtOffset offset, const void* code);
  // A published field of class type at `offset`; `classVar` holds its class.
  HostClassBuilder& Field(const char* name, std::uint32_t offset, void* const* classVar);
  // A published method, found by name through the method table.
  HostClassBuilder& Published(const char* name, const void* code);
  // A dynamic method (message handler) by its 16-bit index.
  HostClassBuilder& Dynamic(std::int16_t index, const void* code);
  // Type information of kind class, with the unit's name.
  HostClassBuilder& TypeInfo(const char* unitName);
  // A published property in the type information (after TypeInfo): its
  // type's type-information variable, getter and setter (a field: 0xFF000000
  // | offset; else code), default value.
  HostClassBuilder& Property(const char* name, void* const* typeInfoVar, std::uint32_t getter,
                             std::uint32_t setter, std::int32_t defaultValue);

  // Writes the class record; returns the class reference, or null when the
  // storage is too small (for the parent's virtual methods or the tables).
  void* Build();

 private:
  struct FieldEntry {
    const char* name;
    std::uint32_t offset;
    void* const* classVar;
  };
  struct NamedCode {
    const char* name;
    const void* code;
  };
  struct DynamicEntry {
    std::int16_t index;
    const void* code;
  };
  struct PropertyEntry {
    const char* name;
    void* const* typeInfoVar;
    std::uint32_t getter, setter;
    std::int32_t defaultValue;
  };

  unsigned char* bytes_;
  int virtualCount_;
  int tailBytes_;
  const char* name_;
  void* const* parentVar_ = nullptr;
  int instanceSize_ = -1;
  std::vector<std::pair<int, const void*>> virtuals_;  // by byte offset from the class reference
  std::vector<FieldEntry> fields_;
  std::vector<NamedCode> published_;
  std::vector<DynamicEntry> dynamics_;
  bool typeInfo_ = false;
  const char* unitName_ = nullptr;
  std::vector<PropertyEntry> properties_;
};

// Readers of built (or any host-layout) classes, walking to the parents.
// The published method of that name (ASCII case ignored), or null.
void* FindPublishedMethod(const void* classRef, const char* name);
// The offset of the published field of that name, or -1.
int FindPublishedField(const void* classRef, const char* name);
// The dynamic method of that index, or null.
void* FindDynamicMethod(const void* classRef, std::int16_t index);
// The class's parent, or null.
void* HostParentClass(const void* classRef);

} // namespace QmHost
