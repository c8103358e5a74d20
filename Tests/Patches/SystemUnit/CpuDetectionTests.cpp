// Processor detection: against the processor itself, read through GCC's
// <cpuid.h> and the detection rules written out again here, and against
// made-up processors fed through a CPUID table (the vendor-specific rules
// this machine cannot show).
#include <gtest/gtest.h>

#include <cpuid.h>

#include <cstring>
#include <map>

#include "Patches/SystemUnit/FastcodeCPUID.h"
#include "Patches/SystemUnit/FastMove.h"

using namespace Quillmend;

namespace {

// Bits <cpuid.h> does not name (leaf 1).
constexpr unsigned FpuBit = 1u << 0, TscBit = 1u << 4, SepBit = 1u << 11;  // EDX
constexpr unsigned MonitorBit = 1u << 3;                                   // ECX

TEST(CpuDetection, MatchesTheProcessorReadThroughCpuidH) {
  ASSERT_TRUE(CpuidAvailable());
  Unit_FastcodeCPUID.Initialize();
  const TCpuInfo& cpu = CpuInfo();

  unsigned a, b, c, d;
  const unsigned maxLeaf = __get_cpuid_max(0, nullptr);
  __cpuid(0, a, b, c, d);
  char vendor[13] = {};
  std::memcpy(vendor, &b, 4);
  std::memcpy(vendor + 4, &d, 4);
  std::memcpy(vendor + 8, &c, 4);
  const std::map<std::string, int> vendors = {{"AuthenticAMD", 1}, {"CentaurHauls", 2}, {"CyrixInstead", 3},
                                              {"GenuineIntel", 4}, {"GenuineTMx86", 5}, {"NexGenDriven", 6},
                                              {"RiseRiseRise", 7}, {"UMC UMC UMC ", 8}, {"Geode by NSC", 9},
                                              {"SiS SiS SiS ", 10}};
  const auto known = vendors.find(vendor);
  EXPECT_EQ(cpu.Vendor, known == vendors.end() ? 0 : known->second) << vendor;
  const bool intel = known != vendors.end() && known->second == 4;

  ASSERT_GE(maxLeaf, 1u);
  __cpuid(1, a, b, c, d);
  EXPECT_EQ(cpu.Signature, a);
  unsigned family = (a >> 8) & 15, model = (a >> 4) & 15;
  if (family == 15) {
    family += (a >> 20) & 255;
    model += ((a >> 16) & 15) << 4;
  }
  EXPECT_EQ(cpu.EffFamily, family);
  EXPECT_EQ(cpu.EffModel, model);

  unsigned features = 0;
  if (d & FpuBit) features |= 0x1;
  if (d & TscBit) features |= 0x2;
  if (d & bit_CMPXCHG8B) features |= 0x4;
  if ((d & SepBit) && !(intel && (a & 0xFFF3FFF) < 1587)) features |= 0x8;
  if (d & bit_CMOV) features |= 0x10;
  if (d & bit_MMX) features |= 0x20;
  if (d & bit_FXSAVE) features |= 0x40;
  if (d & bit_SSE) features |= 0x80;
  if (d & bit_SSE2) features |= 0x100;
  if (c & bit_SSE3) features |= 0x200;
  if ((c & MonitorBit) && intel) features |= 0x400;
  if (c & bit_CMPXCHG16B) features |= 0x800;
  const unsigned maxExtended = __get_cpuid_max(0x80000000, nullptr);
  if (maxExtended > 0x80000000) {
    __cpuid(0x80000001, a, b, c, d);
    if (d & bit_LM) features |= 0x1000;
    if (d & bit_MMXEXT) features |= 0x2000;
    if (d & bit_3DNOWP) features |= 0x4000;
    if (d & bit_3DNOW) features |= 0x8000;
  }
  EXPECT_EQ(cpu.Features, features);

  // Level-1 sizes from the extended leaf, except where the rules read the
  // cache descriptors instead (those vendors' sizes are in the table test).
  if (maxExtended >= 0x80000005 && !intel && cpu.Vendor != cvCyrix) {
    __cpuid(0x80000005, a, b, c, d);
    EXPECT_EQ(cpu.L1DataCacheKB, c >> 24);
    EXPECT_EQ(cpu.L1CodeCacheKB, d >> 24);
  }
  if (maxExtended >= 0x80000006 && !(cpu.Vendor == cvAMD && (cpu.Signature & 0xFFF) == 0x630) &&
      cpu.Vendor != cvCentaur) {
    __cpuid(0x80000006, a, b, c, d);
    EXPECT_EQ(cpu.L2CacheKB, c >> 16);
  }

  Unit_FastMove.Initialize();
  EXPECT_EQ(FastMoveVariant(), SelectMoveVariant(cpu.Features));
  EXPECT_EQ(QmLargeMoveLimit, LargeMoveLimitFor(cpu.L2CacheKB));
  Unit_FastMove.Finalize();
}

// ---- made-up processors -------------------------------------------------------------

std::map<uint32_t, TCpuidRegisters> g_leaves;

TCpuidRegisters FakeCpuid(uint32_t leaf) {
  const auto found = g_leaves.find(leaf);
  return found == g_leaves.end() ? TCpuidRegisters() : found->second;
}

TCpuidRegisters VendorLeaf(uint32_t maxLeaf, const char* text) {
  TCpuidRegisters r;
  r.Eax = maxLeaf;
  std::memcpy(&r.Ebx, text, 4);
  std::memcpy(&r.Edx, text + 4, 4);
  std::memcpy(&r.Ecx, text + 8, 4);
  return r;
}

struct TMadeUpCpu {
  const char* Name;
  std::map<uint32_t, TCpuidRegisters> Leaves;
  TCpuInfo Expected;
};

TCpuInfo Info(TCpuVendor vendor, uint32_t signature, uint16_t family, uint16_t model, uint16_t features, uint16_t l1d,
              uint16_t l1c, uint16_t l2) {
  TCpuInfo info;
  info.Vendor = vendor;
  info.Signature = signature;
  info.EffFamily = family;
  info.EffModel = model;
  info.Features = features;
  info.L1DataCacheKB = l1d;
  info.L1CodeCacheKB = l1c;
  info.L2CacheKB = l2;
  return info;
}

constexpr uint32_t Sep = 1u << 11, Monitor = 1u << 3, Mmx = 1u << 23;

const TMadeUpCpu MadeUp[] = {
    // An early Intel signature below 1587 reports SEP without having it; MONITOR counts for Intel.
    {"IntelEarlySep", {{0, VendorLeaf(1, "GenuineIntel")}, {1, {0x612, 0, Monitor, Sep | Mmx}}},
     Info(cvIntel, 0x612, 6, 1, 0x20 | 0x400, 0, 0, 0)},
    {"IntelSep", {{0, VendorLeaf(1, "GenuineIntel")}, {1, {0x633, 0, 0, Sep}}}, Info(cvIntel, 0x633, 6, 3, 0x8, 0, 0, 0)},
    // The extended family and model count for family 15 only.
    {"Family15Extended", {{0, VendorLeaf(1, "AuthenticAMD")}, {1, {0x00A10F11, 0, Monitor, Sep}}},
     Info(cvAMD, 0x00A10F11, 25, 17, 0x8, 0, 0, 0)},
    {"Family6ExtendedModelIgnored", {{0, VendorLeaf(1, "GenuineIntel")}, {1, {0x000506E3, 0, 0, 0}}},
     Info(cvIntel, 0x000506E3, 6, 14, 0, 0, 0, 0)},
    // Intel: level-1 sizes from the cache descriptors of leaf 2; L2 from the
    // descriptors, then from the extended leaf.
    {"IntelDescriptors",
     {{0, VendorLeaf(2, "GenuineIntel")}, {1, {0x6F6, 0, 0, 0}}, {2, {0x2C300001, 0x00000043, 0x80FFFFFF, 0}},
      {0x80000000, {0x80000008, 0, 0, 0}}, {0x80000005, {0, 0, 0x40000000, 0x40000000}},
      {0x80000006, {0, 0, 4096u << 16, 0}}},
     Info(cvIntel, 0x6F6, 6, 15, 0, 32, 32, 4096)},
    {"IntelDescriptorsOnly", {{0, VendorLeaf(2, "GenuineIntel")}, {1, {0x6F6, 0, 0, 0}}, {2, {0x0A080001, 0x7C, 0, 0}}},
     Info(cvIntel, 0x6F6, 6, 15, 0, 8, 16, 1024)},
    // This AMD model reports a wrong L2: 64 KB.
    {"AmdModel630", {{0, VendorLeaf(1, "AuthenticAMD")}, {1, {0x630, 0, 0, 0}}, {0x80000000, {0x80000006, 0, 0, 0}},
                     {0x80000005, {0, 0, 0x40000000, 0x20000000}}, {0x80000006, {0, 0, 256u << 16, 0}}},
     Info(cvAMD, 0x630, 6, 3, 0, 64, 32, 64)},
    {"AmdExtendedFeatures",
     {{0, VendorLeaf(1, "AuthenticAMD")}, {1, {0x681, 0, 0, 0}}, {0x80000000, {0x80000006, 0, 0, 0}},
      {0x80000001, {0, 0, 0, (1u << 29) | (1u << 22) | (1u << 30) | (1u << 31)}},
      {0x80000005, {0, 0, 0x40000000, 0x40000000}}, {0x80000006, {0, 0, 512u << 16, 0}}},
     Info(cvAMD, 0x681, 6, 8, 0xF000, 64, 64, 512)},
    // Centaur family 6, models 7 and 8: L2 in bits 24..31.
    {"CentaurModel7", {{0, VendorLeaf(1, "CentaurHauls")}, {1, {0x670, 0, 0, 0}}, {0x80000000, {0x80000006, 0, 0, 0}},
                       {0x80000006, {0, 0, 0x40000000, 0}}},
     Info(cvCentaur, 0x670, 6, 7, 0, 0, 0, 64)},
    {"CentaurModel9", {{0, VendorLeaf(1, "CentaurHauls")}, {1, {0x690, 0, 0, 0}}, {0x80000000, {0x80000006, 0, 0, 0}},
                       {0x80000006, {0, 0, 0x00400000, 0}}},
     Info(cvCentaur, 0x690, 6, 9, 0, 0, 0, 64)},
    // Cyrix: no level-1 sizes from the extended leaf.
    {"Cyrix", {{0, VendorLeaf(1, "CyrixInstead")}, {1, {0x520, 0, 0, 0}}, {0x80000000, {0x80000005, 0, 0, 0}},
               {0x80000005, {0, 0, 0x10000000, 0x10000000}}},
     Info(cvCyrix, 0x520, 5, 2, 0, 0, 0, 0)},
    {"SiSWithItsBlank", {{0, VendorLeaf(0, "SiS SiS SiS ")}}, Info(cvSiS, 0, 0, 0, 0, 0, 0, 0)},
    {"UnknownVendor", {{0, VendorLeaf(1, "MadeUpVendor")}, {1, {0x500, 0, 0, 1}}}, Info(cvUnknown, 0x500, 5, 0, 1, 0, 0, 0)},
};

class CpuDetectionRules : public testing::TestWithParam<TMadeUpCpu> {};

TEST_P(CpuDetectionRules, GiveTheFields) {
  g_leaves = GetParam().Leaves;
  const TCpuInfo cpu = DetectCpu(true, true, &FakeCpuid);
  const TCpuInfo& e = GetParam().Expected;
  EXPECT_EQ(cpu.Vendor, e.Vendor);
  EXPECT_EQ(cpu.Signature, e.Signature);
  EXPECT_EQ(cpu.EffFamily, e.EffFamily);
  EXPECT_EQ(cpu.EffModel, e.EffModel);
  EXPECT_EQ(cpu.Features, e.Features);
  EXPECT_EQ(cpu.L1DataCacheKB, e.L1DataCacheKB);
  EXPECT_EQ(cpu.L1CodeCacheKB, e.L1CodeCacheKB);
  EXPECT_EQ(cpu.L2CacheKB, e.L2CacheKB);
}

INSTANTIATE_TEST_SUITE_P(SystemUnit, CpuDetectionRules, testing::ValuesIn(MadeUp),
                         [](const testing::TestParamInfo<TMadeUpCpu>& info) { return std::string(info.param.Name); });

TEST(CpuDetection, WithoutTheInstructionOnlyAnFpuIsKnown) {
  EXPECT_EQ(DetectCpu(false, true, &FakeCpuid).Features, CpuFeature::FPU);
  const TCpuInfo none = DetectCpu(false, false, &FakeCpuid);
  EXPECT_EQ(none.Features, 0);
  EXPECT_EQ(none.Vendor, cvUnknown);
}

}  // namespace
