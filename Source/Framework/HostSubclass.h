// A subclass of a host class in the host's layout, built at run time: the
// parent's header slots and virtual methods copied as they are when it is
// built, its own name, the parent as its parent, and methods of our own in
// chosen slots. Objects of it are the parent's objects in every field;
// only the methods we put in differ. The record is never freed: objects of
// it may outlive whoever built it.
#pragma once

#include <cstdint>

namespace Quillmend {

class THostSubclass {
public:
  // Null ClassRef() when the parent's virtual methods cannot be counted.
  THostSubclass(const char* name, void* parent);
  void* ClassRef() const { return FClassRef; }
  int32_t VirtualCount() const { return FVirtualCount; }
  // Virtual method `index` (0, 1, ...); false (nothing written) beyond the parent's count.
  bool SetVirtual(int32_t index, const void* method);
  // A root virtual method by its header offset (-44 Equals .. -4 Destroy).
  bool SetRoot(int32_t offset, const void* method);
  // Room for fields of our own behind the parent's: objects are made this
  // size (never smaller than the parent's). False when nothing was built.
  bool SetInstanceSize(int32_t size);
  int32_t InstanceSize() const;

private:
  void** FClassRef = nullptr;
  int32_t FVirtualCount = 0;
};

}  // namespace Quillmend
