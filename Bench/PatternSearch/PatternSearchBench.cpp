// Scan speed of FindMethodPtr over an 8 MB executable region of real machine
// code (this program's own code section, repeated), with the pattern placed
// at the very end, side by side with a plain memchr scan for the pattern's
// first byte over the same memory. Prints the figures; not a test.
#include "Hooking/PatternSearch.h"

#include "Common/BenchTimer.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace Quillmend;
using Quillmend::Bench::BestSeconds;

namespace {

constexpr size_t RegionSize = 8 << 20;
constexpr int Runs = 5;

// The code section of this program: compiled x86 code as a realistic filler.
void CodeSection(const uint8_t*& code, size_t& size) {
  auto* base = reinterpret_cast<const uint8_t*>(GetModuleHandleW(nullptr));
  auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
  for (int i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section)
    if (section->Characteristics & IMAGE_SCN_CNT_CODE) {
      code = base + section->VirtualAddress;
      size = section->Misc.VirtualSize;
      return;
    }
  code = nullptr;
  size = 0;
}

// Executable memory filled with code, `tail` written at its very end.
uint8_t* MakeRegion(const uint8_t* tail, size_t tailSize) {
  auto* region = static_cast<uint8_t*>(VirtualAlloc(nullptr, RegionSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  const uint8_t* code;
  size_t codeSize;
  CodeSection(code, codeSize);
  for (size_t at = 0; at < RegionSize; at += codeSize) std::memcpy(region + at, code, std::min(codeSize, RegionSize - at));
  std::memcpy(region + RegionSize - tailSize, tail, tailSize);
  DWORD old;
  VirtualProtect(region, RegionSize, PAGE_EXECUTE_READ, &old);
  return region;
}

size_t CountByte(const uint8_t* p, size_t size, uint8_t value) {
  size_t count = 0;
  for (const uint8_t* end = p + size; (p = static_cast<const uint8_t*>(std::memchr(p, value, end - p))) != nullptr; ++p)
    ++count;
  return count;
}

bool Measure(const char* title, const char* patternText) {
  const TBytePattern pattern = ParsePattern(patternText);
  uint8_t tail[64];
  for (size_t i = 0; i < pattern.size(); ++i) tail[i] = pattern[i] < 0 ? 0x00 : static_cast<uint8_t>(pattern[i]);
  uint8_t* region = MakeRegion(tail, pattern.size());
  const uint8_t* expected = region + RegionSize - pattern.size();

  void* found = nullptr;
  const double search = BestSeconds(Runs, [&] { found = FindMethodPtr(region, pattern, 0); });
  size_t candidates = 0;
  const uint8_t first = static_cast<uint8_t>(pattern[0]);
  const double baseline = BestSeconds(Runs, [&] { candidates = CountByte(region, RegionSize, first); });
  VirtualFree(region, 0, MEM_RELEASE);

  const double megabytes = RegionSize / 1048576.0;
  std::printf("%s: \"%s\"\n", title, patternText);
  std::printf("  FindMethodPtr           %8.0f MB/s  (%s)\n", megabytes / search,
              found == expected ? "found at the end" : "WRONG RESULT");
  std::printf("  memchr first-byte scan  %8.0f MB/s  (%zu stops on 0x%02X)\n", megabytes / baseline, candidates, first);
  std::printf("  time ratio FindMethodPtr / memchr: %.2f (goal: at most 2)\n", search / baseline);
  return found == expected;
}

}  // namespace

int main() {
  std::printf("Pattern search over %zu MB of PAGE_EXECUTE_READ code, best of %d runs\n", RegionSize >> 20, Runs);
  bool ok = Measure("Function start", "55 8B EC 83 C4 F0 53 56 57 8B D9 89 55 FC B2 01 ?? ?? ?? ?? 8B F0");
  ok &= Measure("Common bytes only", "8B 45 08 89 45 FC 8B 45 0C 89 04 24 E8 ?? ?? ?? ?? 8B 45 FC");
  return ok ? 0 : 1;
}
