// Processor detection, once at unit initialization: vendor, signature,
// family and model, features and cache sizes, as the fast move's selection
// (FastMove) reads them. Not a named patch: always active, nothing written.
#pragma once

#include <cstdint>

#include "Framework/LibraryUnitTable.h"

namespace Quillmend {

// Vendor index of the 12-byte vendor text of CPUID leaf 0 (EBX EDX ECX).
enum TCpuVendor : uint8_t {
  cvUnknown = 0,
  cvAMD = 1,        // "AuthenticAMD"
  cvCentaur = 2,    // "CentaurHauls"
  cvCyrix = 3,      // "CyrixInstead"
  cvIntel = 4,      // "GenuineIntel"
  cvTransmeta = 5,  // "GenuineTMx86"
  cvNexGen = 6,     // "NexGenDriven"
  cvRise = 7,       // "RiseRiseRise"
  cvUMC = 8,        // "UMC UMC UMC "
  cvNSC = 9,        // "Geode by NSC"
  cvSiS = 10,       // "SiS SiS SiS "
};

// The 16-bit feature set.
namespace CpuFeature {
constexpr uint16_t FPU = 0x1;
constexpr uint16_t TSC = 0x2;
constexpr uint16_t CMPXCHG8B = 0x4;
constexpr uint16_t SEP = 0x8;
constexpr uint16_t CMOV = 0x10;
constexpr uint16_t MMX = 0x20;
constexpr uint16_t FXSR = 0x40;
constexpr uint16_t SSE = 0x80;
constexpr uint16_t SSE2 = 0x100;
constexpr uint16_t SSE3 = 0x200;
constexpr uint16_t MONITOR = 0x400;
constexpr uint16_t CMPXCHG16B = 0x800;
constexpr uint16_t LongMode = 0x1000;
constexpr uint16_t AmdMmxExtensions = 0x2000;
constexpr uint16_t Extended3DNow = 0x4000;
constexpr uint16_t ThreeDNow = 0x8000;
}  // namespace CpuFeature

struct TCpuInfo {
  TCpuVendor Vendor = cvUnknown;
  uint32_t Signature = 0;     // CPUID 1 EAX
  uint16_t EffFamily = 0;     // family, plus the extended family when it is 15
  uint16_t EffModel = 0;      // model, plus the extended model (x16) when the family is 15
  uint16_t Features = 0;      // CpuFeature bits
  uint16_t L1DataCacheKB = 0;
  uint16_t L1CodeCacheKB = 0;
  uint16_t L2CacheKB = 0;     // 0: unknown
};

// Answers of the CPUID instruction: {EAX, EBX, ECX, EDX} of leaf `leaf`
// (sub-leaf 0). Tests feed the detection made-up processors through it.
struct TCpuidRegisters {
  uint32_t Eax = 0, Ebx = 0, Ecx = 0, Edx = 0;
};
using TCpuidReader = TCpuidRegisters (*)(uint32_t leaf);

// The detection rules applied to a CPUID source: all fields zero first;
// `hasCpuid` false gives FPU alone when `hasFpu`, else nothing.
TCpuInfo DetectCpu(bool hasCpuid, bool hasFpu, TCpuidReader cpuid);

// The processor this library runs on, filled at unit initialization (all
// zero before).
const TCpuInfo& CpuInfo();

// The instruction itself, and the checks whether it and an FPU exist.
TCpuidRegisters ExecuteCpuid(uint32_t leaf);
bool CpuidAvailable();
bool FpuAvailable();

extern const TUnitInfo Unit_FastcodeCPUID;

} // namespace Quillmend
