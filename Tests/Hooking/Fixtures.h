// Code fixtures of Fixtures.S and small helpers shared by the engine tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>
#include <windows.h>

extern "C" {
int Fixture_ReturnsOne();
int Fixture_Doubles(int x);
int Fixture_Helper();
int Fixture_CallsHelper();
int Fixture_ThunkTarget();
int Fixture_Thunk();
int Fixture_Exported();
int Fixture_StoresByte();
extern uint8_t Fixture_PushJmpStub[];
extern void* Fixture_ThunkSlot;
}

template <typename F>
void* CodeOf(F* function) {
  return reinterpret_cast<void*>(function);
}

inline std::vector<uint8_t> BytesAt(const void* p, size_t count) {
  const auto* b = static_cast<const uint8_t*>(p);
  return std::vector<uint8_t>(b, b + count);
}

// Absolute target of the 5-byte relative call or jump at p.
inline const uint8_t* Rel32Target(const void* p) {
  int32_t displacement;
  std::memcpy(&displacement, static_cast<const uint8_t*>(p) + 1, 4);
  return static_cast<const uint8_t*>(p) + 5 + displacement;
}

// A view of a section that may only be read: the system refuses to make it
// writable, which is how a protection change fails.
struct TReadOnlyCode {
  HANDLE Section = nullptr;
  uint8_t* Writable = nullptr;
  uint8_t* ReadOnly = nullptr;
  explicit TReadOnlyCode(const std::vector<uint8_t>& bytes) {
    Section = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
    Writable = static_cast<uint8_t*>(MapViewOfFile(Section, FILE_MAP_WRITE, 0, 0, 4096));
    ReadOnly = static_cast<uint8_t*>(MapViewOfFile(Section, FILE_MAP_READ, 0, 0, 4096));
    std::memcpy(Writable, bytes.data(), bytes.size());
  }
  ~TReadOnlyCode() {
    UnmapViewOfFile(ReadOnly);
    UnmapViewOfFile(Writable);
    CloseHandle(Section);
  }
};

