#include "Framework/HostSubclass.h"

#include <algorithm>
#include <cstring>

#include "Hooking/MethodTables.h"

namespace Quillmend {

namespace {
constexpr int32_t HeaderSlots = 22;
constexpr int32_t NameBytes = 64;
}  // namespace

THostSubclass::THostSubclass(const char* name, void* parent) {
  const int32_t count = parent ? GetVirtualMethodCount(parent) : -1;
  if (count < 0 || count > 4096) return;  // no readable class record
  // Header, virtual methods, the parent variable, then the class name.
  auto** slots = new void*[size_t(HeaderSlots + count + 1 + NameBytes / 4)]();
  void** classRef = slots + HeaderSlots;
  auto** parentSlots = static_cast<void**>(parent);
  for (int32_t i = HostClassLayout::FirstRootVirtual / 4; i < 0; ++i) classRef[i] = parentSlots[i];
  for (int32_t i = 0; i < count; ++i) classRef[i] = parentSlots[i];
  void** parentVar = classRef + count;
  *parentVar = parent;
  auto* shortName = reinterpret_cast<unsigned char*>(parentVar + 1);
  const size_t length = std::min<size_t>(std::strlen(name), NameBytes - 1);
  shortName[0] = static_cast<unsigned char>(length);
  std::memcpy(shortName + 1, name, length);
  classRef[HostClassLayout::SelfPtr / 4] = classRef;
  classRef[HostClassLayout::ClassName / 4] = shortName;
  classRef[HostClassLayout::InstanceSize / 4] = parentSlots[HostClassLayout::InstanceSize / 4];
  classRef[HostClassLayout::Parent / 4] = parentVar;
  // Interfaces, fields, published and dynamic methods and type information
  // are the parent's, found through it; the tables stay empty here.
  FClassRef = classRef;
  FVirtualCount = count;
}

bool THostSubclass::SetVirtual(int32_t index, const void* method) {
  if (!FClassRef || index < 0 || index >= FVirtualCount) return false;
  FClassRef[index] = const_cast<void*>(method);
  return true;
}

bool THostSubclass::SetRoot(int32_t offset, const void* method) {
  if (!FClassRef || offset < HostClassLayout::FirstRootVirtual || offset > -4 || offset % 4) return false;
  FClassRef[offset / 4] = const_cast<void*>(method);
  return true;
}

bool THostSubclass::SetInstanceSize(int32_t size) {
  if (!FClassRef) return false;
  const auto parentSize = reinterpret_cast<intptr_t>(
      static_cast<void**>(*static_cast<void**>(FClassRef[HostClassLayout::Parent / 4]))[HostClassLayout::InstanceSize / 4]);
  if (size < parentSize) return false;
  FClassRef[HostClassLayout::InstanceSize / 4] = reinterpret_cast<void*>(intptr_t(size));
  return true;
}

int32_t THostSubclass::InstanceSize() const {
  return FClassRef ? int32_t(reinterpret_cast<intptr_t>(FClassRef[HostClassLayout::InstanceSize / 4])) : 0;
}

}  // namespace Quillmend
