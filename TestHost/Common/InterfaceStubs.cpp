#include "InterfaceStubs.h"

#include <cstring>
#include <vector>

#include "HostLayout.h"

namespace QmHost {

namespace {

// Executable memory for stubs, handed out in order; never freed.
unsigned char* StubMemory(std::size_t size) {
  static unsigned char* block = nullptr;
  static std::size_t used = 0, capacity = 0;
  if (!block || used + size > capacity) {
    capacity = 64 * 1024;
    block = static_cast<unsigned char*>(VirtualAlloc(nullptr, capacity, MEM_COMMIT | MEM_RESERVE,
                                                     PAGE_EXECUTE_READWRITE));
    used = 0;
  }
  unsigned char* at = block + used;
  used += (size + 15) & ~std::size_t(15);
  return at;
}

struct Emitter {
  std::vector<unsigned char> bytes;
  void Byte(unsigned b) { bytes.push_back(static_cast<unsigned char>(b)); }
  void Bytes(std::initializer_list<unsigned> list) {
    for (unsigned b : list) Byte(b);
  }
  void Long(std::int32_t value) {
    for (int i = 0; i < 4; ++i) Byte(static_cast<std::uint32_t>(value) >> (8 * i) & 0xFF);
  }
  // Adds `delta` to the first stack argument.
  void AdjustStack(std::int32_t delta) {
    if (delta >= -128 && delta <= 127) {
      Bytes({0x83, 0x44, 0x24, 0x04});
      Byte(static_cast<std::uint8_t>(delta));
    } else {
      Bytes({0x81, 0x44, 0x24, 0x04});
      Long(delta);
    }
  }
  void AdjustEax(std::int32_t delta) {
    if (delta >= -128 && delta <= 127) {
      Bytes({0x83, 0xC0});
      Byte(static_cast<std::uint8_t>(delta));
    } else {
      Byte(0x05);
      Long(delta);
    }
  }
  // Copies the bytes plus a jump to target into stub memory.
  const void* Finish(const void* target) {
    unsigned char* at = StubMemory(bytes.size() + 5);
    std::memcpy(at, bytes.data(), bytes.size());
    unsigned char* jump = at + bytes.size();
    jump[0] = 0xE9;
    std::int32_t rel = static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(target) -
                                                 reinterpret_cast<std::intptr_t>(jump + 5));
    std::memcpy(jump + 1, &rel, 4);
    return at;
  }
};

const void* FirstStub(std::int32_t delta, StubForm form, const void* target) {
  Emitter e;
  switch (form) {
    case StubForm::StackByte:
    case StubForm::StackLong:
      e.AdjustStack(delta);
      break;
    case StubForm::RegByte:
    case StubForm::RegLong:
      // The register form first; the reference the method reads is the stack's.
      e.AdjustEax(delta);
      e.AdjustStack(delta);
      break;
    case StubForm::Prologue:
      e.Bytes({0x55, 0x8B, 0xEC});  // push ebp; mov ebp,esp
      if (delta >= -128 && delta <= 127) {
        e.Bytes({0x83, 0x45, 0x08});  // add [ebp+8],delta
        e.Byte(static_cast<std::uint8_t>(delta));
      } else {
        e.Bytes({0x81, 0x45, 0x08});
        e.Long(delta);
      }
      e.Byte(0x5D);  // pop ebp
      break;
    case StubForm::Unknown:
      e.Bytes({0x8B, 0x44, 0x24, 0x04});  // mov eax,[esp+4]
      e.AdjustEax(delta);
      e.Bytes({0x89, 0x44, 0x24, 0x04});  // mov [esp+4],eax
      break;
  }
  return e.Finish(target);
}

} // namespace

const void* const* MakeInterfaceMethods(int offset, StubForm first, const void* const* methods, int count) {
  auto* table = reinterpret_cast<const void**>(StubMemory(sizeof(void*) * static_cast<std::size_t>(count)));
  for (int i = 0; i < count; ++i) {
    if (i == 0) {
      table[i] = FirstStub(-offset, first, methods[i]);
      continue;
    }
    Emitter e;
    if (i < 3)
      e.AdjustStack(-offset);
    else
      e.AdjustEax(-offset);
    table[i] = e.Finish(methods[i]);
  }
  return table;
}

void SetInterfaceTable(void* classRef, const InterfaceEntry* entries, int count) {
  auto* block = static_cast<unsigned char*>(StubMemory(4 + sizeof(InterfaceEntry) * static_cast<std::size_t>(count)));
  std::int32_t n = count;
  std::memcpy(block, &n, 4);
  std::memcpy(block + 4, entries, sizeof(InterfaceEntry) * static_cast<std::size_t>(count));
  *reinterpret_cast<void**>(static_cast<char*>(classRef) + kVmtIntfTable) = block;
}

} // namespace QmHost
