#include "Patches/SystemUnit/FastcodeCPUID.h"

#include <cstring>

namespace Quillmend {

namespace {

TCpuInfo g_cpu;

const char* const VendorTexts[] = {
    "AuthenticAMD", "CentaurHauls", "CyrixInstead", "GenuineIntel", "GenuineTMx86",
    "NexGenDriven", "RiseRiseRise", "UMC UMC UMC ", "Geode by NSC", "SiS SiS SiS ",
};

TCpuVendor VendorOf(const TCpuidRegisters& leaf0) {
  char text[12];
  std::memcpy(text, &leaf0.Ebx, 4);
  std::memcpy(text + 4, &leaf0.Edx, 4);
  std::memcpy(text + 8, &leaf0.Ecx, 4);
  for (size_t i = 0; i < sizeof VendorTexts / sizeof VendorTexts[0]; ++i)
    if (std::memcmp(text, VendorTexts[i], 12) == 0) return TCpuVendor(i + 1);
  return cvUnknown;
}

bool Bit(uint32_t value, int bit) { return (value >> bit) & 1; }

// Cache descriptors of CPUID leaf 2 that name a level-1 or level-2 cache.
struct TCacheDescriptor {
  uint8_t Code;
  uint8_t Level;  // 1 data, 2 code (instructions), 3 second level
  uint16_t SizeKB;
};

const TCacheDescriptor CacheDescriptors[] = {
    {0x06, 2, 8},    {0x08, 2, 16},   {0x09, 2, 32},   {0x0A, 1, 8},    {0x0C, 1, 16},   {0x0D, 1, 16},
    {0x0E, 1, 24},   {0x2C, 1, 32},   {0x30, 2, 32},   {0x39, 3, 128},  {0x3A, 3, 192},  {0x3B, 3, 128},
    {0x3C, 3, 256},  {0x3D, 3, 384},  {0x3E, 3, 512},  {0x41, 3, 128},  {0x42, 3, 256},  {0x43, 3, 512},
    {0x44, 3, 1024}, {0x45, 3, 2048}, {0x48, 3, 3072}, {0x4E, 3, 6144}, {0x60, 1, 16},   {0x66, 1, 8},
    {0x67, 1, 16},   {0x68, 1, 32},   {0x78, 3, 1024}, {0x79, 3, 128},  {0x7A, 3, 256},  {0x7B, 3, 512},
    {0x7C, 3, 1024}, {0x7D, 3, 2048}, {0x7F, 3, 512},  {0x80, 3, 512},  {0x82, 3, 256},  {0x83, 3, 512},
    {0x84, 3, 1024}, {0x85, 3, 2048}, {0x86, 3, 512},  {0x87, 3, 1024},
};

void ApplyDescriptor(uint8_t code, TCpuInfo& info) {
  for (const TCacheDescriptor& d : CacheDescriptors) {
    if (d.Code != code) continue;
    if (d.Level == 1) info.L1DataCacheKB = d.SizeKB;
    if (d.Level == 2) info.L1CodeCacheKB = d.SizeKB;
    if (d.Level == 3) info.L2CacheKB = d.SizeKB;
  }
}

// Leaf 2: descriptor bytes in all four registers (AL is the call count, not
// a descriptor); a register with bit 31 set holds none.
void ReadCacheDescriptors(TCpuidReader cpuid, TCpuInfo& info) {
  TCpuidRegisters first = cpuid(2);
  const int calls = first.Eax & 0xFF;
  for (int call = 0; call < calls && call < 16; ++call) {
    TCpuidRegisters r = call == 0 ? first : cpuid(2);
    const uint32_t words[4] = {r.Eax & 0xFFFFFF00u, r.Ebx, r.Ecx, r.Edx};
    for (uint32_t word : words) {
      if (Bit(word, 31)) continue;
      for (int byte = 0; byte < 4; ++byte) ApplyDescriptor(uint8_t(word >> (8 * byte)), info);
    }
  }
}

}  // namespace

TCpuInfo DetectCpu(bool hasCpuid, bool hasFpu, TCpuidReader cpuid) {
  TCpuInfo info;
  if (!hasCpuid) {
    if (hasFpu) info.Features = CpuFeature::FPU;
    return info;
  }
  const TCpuidRegisters leaf0 = cpuid(0);
  info.Vendor = VendorOf(leaf0);
  if (leaf0.Eax >= 1) {
    const TCpuidRegisters leaf1 = cpuid(1);
    info.Signature = leaf1.Eax;
    info.EffFamily = (leaf1.Eax >> 8) & 0xF;
    info.EffModel = (leaf1.Eax >> 4) & 0xF;
    if (info.EffFamily == 15) {
      info.EffFamily += (leaf1.Eax >> 20) & 0xFF;
      info.EffModel += ((leaf1.Eax >> 16) & 0xF) << 4;
    }
    const uint32_t d = leaf1.Edx, c = leaf1.Ecx;
    uint16_t f = 0;
    if (Bit(d, 0)) f |= CpuFeature::FPU;
    if (Bit(d, 4)) f |= CpuFeature::TSC;
    if (Bit(d, 8)) f |= CpuFeature::CMPXCHG8B;
    // Early Intel processors report SEP without having it.
    if (Bit(d, 11) && !(info.Vendor == cvIntel && (leaf1.Eax & 0xFFF3FFF) < 1587)) f |= CpuFeature::SEP;
    if (Bit(d, 15)) f |= CpuFeature::CMOV;
    if (Bit(d, 23)) f |= CpuFeature::MMX;
    if (Bit(d, 24)) f |= CpuFeature::FXSR;
    if (Bit(d, 25)) f |= CpuFeature::SSE;
    if (Bit(d, 26)) f |= CpuFeature::SSE2;
    if (Bit(c, 0)) f |= CpuFeature::SSE3;
    if (Bit(c, 3) && info.Vendor == cvIntel) f |= CpuFeature::MONITOR;
    if (Bit(c, 13)) f |= CpuFeature::CMPXCHG16B;
    info.Features = f;
  }
  if (leaf0.Eax > 1) ReadCacheDescriptors(cpuid, info);
  const uint32_t maxExtended = cpuid(0x80000000).Eax;
  if (maxExtended > 0x80000000u) {
    const uint32_t d = cpuid(0x80000001).Edx;
    if (Bit(d, 29)) info.Features |= CpuFeature::LongMode;
    if (Bit(d, 22)) info.Features |= CpuFeature::AmdMmxExtensions;
    if (Bit(d, 30)) info.Features |= CpuFeature::Extended3DNow;
    if (Bit(d, 31)) info.Features |= CpuFeature::ThreeDNow;
  }
  if (maxExtended >= 0x80000005u && info.Vendor != cvCyrix && info.Vendor != cvIntel) {
    const TCpuidRegisters l1 = cpuid(0x80000005);
    info.L1DataCacheKB = uint16_t(l1.Ecx >> 24);
    info.L1CodeCacheKB = uint16_t(l1.Edx >> 24);
  }
  if (maxExtended >= 0x80000006u) {
    const uint32_t ecx = cpuid(0x80000006).Ecx;
    if (info.Vendor == cvAMD && (info.Signature & 0xFFF) == 0x630)
      info.L2CacheKB = 64;  // this model reports its L2 wrongly
    else if (info.Vendor == cvCentaur && info.EffFamily == 6 && (info.EffModel == 7 || info.EffModel == 8))
      info.L2CacheKB = uint16_t(ecx >> 24);
    else
      info.L2CacheKB = uint16_t(ecx >> 16);
  }
  return info;
}

TCpuidRegisters ExecuteCpuid(uint32_t leaf) {
  TCpuidRegisters r;
  asm volatile("cpuid" : "=a"(r.Eax), "=b"(r.Ebx), "=c"(r.Ecx), "=d"(r.Edx) : "a"(leaf), "c"(0));
  return r;
}

bool CpuidAvailable() {
  // The instruction exists when the ID flag (bit 21) of EFLAGS can be toggled.
  uint32_t before, after;
  asm volatile(
      "pushfl\n\t"
      "popl %0\n\t"
      "movl %0, %1\n\t"
      "xorl $0x200000, %1\n\t"
      "pushl %1\n\t"
      "popfl\n\t"
      "pushfl\n\t"
      "popl %1\n\t"
      "pushl %0\n\t"
      "popfl"
      : "=&r"(before), "=&r"(after)
      :
      : "cc");
  return ((before ^ after) & 0x200000) != 0;
}

bool FpuAvailable() {
  // After FNINIT a present FPU reports a status word of zero. FNINIT also
  // resets the control word, which the host set up: it is put back.
  uint16_t control = 0, status = 0x5A5A;
  asm volatile("fnstcw %0\n\tfninit\n\tfnstsw %1" : "=m"(control), "=m"(status));
  if (status != 0) return false;
  asm volatile("fldcw %0" : : "m"(control));
  return true;
}

const TCpuInfo& CpuInfo() { return g_cpu; }

namespace {

// The detection raises nothing: CPUID runs only where the ID flag says it exists.
void InitializeFastcodeCPUID() {
  const bool hasCpuid = CpuidAvailable();
  g_cpu = DetectCpu(hasCpuid, hasCpuid || FpuAvailable(), &ExecuteCpuid);
}

void FinalizeFastcodeCPUID() { g_cpu = TCpuInfo(); }

}  // namespace

const TUnitInfo Unit_FastcodeCPUID = {"FastcodeCPUID", &InitializeFastcodeCPUID, &FinalizeFastcodeCPUID};

} // namespace Quillmend
