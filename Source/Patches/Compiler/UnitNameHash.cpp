#include "Patches/Compiler/UnitNameHash.h"

#include <string>
#include <windows.h>

namespace Quillmend {
namespace {

uint16_t g_weights[256];

constexpr int MaxWideName = 768;

inline uint32_t RotateLeft6(uint32_t value) { return (value << 6) | (value >> 26); }

// Continues a hash over the rest of a name that holds a non-ASCII byte.
uint32_t HashWideRemainder(uint32_t hash, const char* rest) {
  int length = MultiByteToWideChar(CP_UTF8, 0, rest, -1, nullptr, 0);
  if (length <= 1) return hash;
  std::wstring wide(size_t(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, rest, -1, &wide[0], length);
  int count = length - 1;
  if (count > MaxWideName) count = MaxWideName;
  wchar_t lower[MaxWideName];
  int mapped = LCMapStringW(0x7F, LCMAP_LOWERCASE, wide.c_str(), count, lower, MaxWideName);
  if (mapped <= 0) return hash;
  for (int i = 0; i < mapped; ++i) {
    hash += lower[i];
    if ((i & 3) == 3) hash = RotateLeft6(hash);
  }
  return hash;
}

} // namespace

void InitUnitNameHashWeights() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  uint32_t randomSeed = uint32_t(now.QuadPart) ^ uint32_t(now.QuadPart >> 32) ^ GetTickCount();
  auto next = [&randomSeed] {
    randomSeed = randomSeed * 1103515245u + 12345u;
    return uint16_t(1 + (randomSeed >> 8) % 65535);
  };
  for (uint16_t& weight : g_weights) weight = 0;
  for (int c = '0'; c <= '9'; ++c) g_weights[c] = next();
  for (int c = 'A'; c <= 'Z'; ++c) g_weights[c] = g_weights[c + 0x20] = next();
  g_weights['_'] = next();
}

uint32_t UnitNameHash(const char* name) {
  // Four bytes per round, then the rotation; a byte that ends the name or is
  // not ASCII leaves the fast path (one test per byte: c - 1 wraps for 0).
  const unsigned char* p = reinterpret_cast<const unsigned char*>(name);
  uint32_t hash = 0;
  uint32_t blockHash = 0;  // the hash at the start of the current 8-byte block
  for (int i = 0;; i += 4) {
    if ((i & 7) == 0) blockHash = hash;
    for (int k = 0; k < 4; ++k) {
      unsigned c = p[i + k];
      if (unsigned(c - 1) >= 0x7F) {
        if (c == 0) return hash;
        return HashWideRemainder(blockHash, name + (i & ~7));
      }
      hash += g_weights[c];
    }
    hash = RotateLeft6(hash);
  }
}

} // namespace Quillmend
