// "Compiler.Unit.RdName" against the stand-in compiler's name reader: three
// ways, its pattern once at its site, and ReadName against the host's
// routine for every length from 0 to 300 in both record forms: the same
// text and terminator, nothing written past it, the same end address.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>
#include <windows.h>

#include "Hooking/PatternSearch.h"
#include "Patches/Compiler/OptimizedUnitRead.h"
#include "DccStandIn.h"
#include "TestPaths.h"
#include "ThreeWayHarness.h"
#include "dcc150/DccNamesDriver.h"

namespace {

const wchar_t* const RdName = L"Compiler.Unit.RdName";

// A record of `length` characters; the long form has 255 and a 32-bit length.
std::vector<uint8_t> Record(uint32_t length, bool longForm) {
  std::vector<uint8_t> record;
  if (longForm) {
    record.push_back(255);
    record.insert(record.end(), reinterpret_cast<uint8_t*>(&length), reinterpret_cast<uint8_t*>(&length) + 4);
  } else {
    record.push_back(uint8_t(length));
  }
  for (uint32_t i = 0; i < length; ++i) record.push_back(uint8_t(i % 3 == 2 ? 0xC3 : 'a' + i % 26));
  record.push_back(0x5A);  // the next record's first byte
  return record;
}

// What the reader did with one record: the end's offset and the buffer.
std::string ReadOne(uint32_t length, bool longForm) {
  const std::vector<uint8_t> record = Record(length, longForm);
  std::vector<char> dest(length + 16, char(0xCC));
  const uint8_t* end = DccExport<DccNamesDriver::ReadNameFn>(DccNamesDriver::Export::ReadName)(record.data(), dest.data());
  return std::to_string(end - record.data()) + ":" + std::string(dest.begin(), dest.end());
}

std::string Exercise() {
  std::vector<uint8_t> data;
  for (uint32_t length : {0u, 1u, 7u, 8u, 16u, 254u, 255u, 300u}) {
    const std::vector<uint8_t> record = Record(length, length >= 255 || length == 7);
    data.insert(data.end(), record.begin(), record.end() - 1);
  }
  return std::to_string(DccExport<DccNamesDriver::ReadNamesFn>(DccNamesDriver::Export::ReadNames)(data.data(), 8, 301));
}

const std::vector<TPatchRow> PatchRows = {{RdName, {}}};
const std::vector<TVariantRow> VariantRows = {{"rdname", {RdName}}};

const TThreeWaySubsystem& Names() {
  static const TThreeWaySubsystem subsystem{
      {L"dcc150.dll"}, nullptr, [] { Quillmend::InstallOptimizedUnitRead(); }, &Exercise, {RdName},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(ReadName, Names(), PatchRows, VariantRows)

class ReadNameBehaviour : public TDccPatchBehaviour {};

} // namespace

TEST_F(ReadNameBehaviour, ThePatternIsTheWholeRoutineFoundOnce) {
  const Quillmend::TBytePattern pattern = Quillmend::ParsePattern(Quillmend::UnitReadPatterns::ReadName);
  auto* found = static_cast<uint8_t*>(Quillmend::FindMethodPtr(GetModuleHandleW(L"dcc150.dll"), pattern, 0));
  EXPECT_EQ(found, DccSite("ReadName"));
  EXPECT_EQ(found, DccExport<uint8_t*>(DccNamesDriver::Export::ReadName));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(Quillmend::FindMethodPtr(found + 1, pattern, 0), nullptr);
  EXPECT_EQ(found[pattern.size() - 1], 0xC3);
}

// Every length from 0 to 300, short form below 255 and long form always:
// the host's answers first, then the replacement's, which must also be
// right by themselves (text, zero, nothing after it, the end address).
TEST_F(ReadNameBehaviour, EveryLengthAndFormAsTheHostsRoutine) {
  std::vector<std::string> host;
  for (uint32_t length = 0; length <= 300; ++length)
    for (bool longForm : {false, true})
      if (longForm || length < 255) host.push_back(ReadOne(length, longForm));
  Quillmend::InstallOptimizedUnitRead();
  ASSERT_EQ(Quillmend::PatchReports().size(), 1u);
  ASSERT_EQ(Quillmend::PatchReports()[0].Status, Quillmend::psApplied);
  size_t i = 0;
  for (uint32_t length = 0; length <= 300; ++length) {
    for (bool longForm : {false, true}) {
      if (!longForm && length >= 255) continue;
      SCOPED_TRACE(testing::Message() << length << (longForm ? " long" : " short"));
      const std::string read = ReadOne(length, longForm);
      EXPECT_EQ(read, host[i++]);
      const std::vector<uint8_t> record = Record(length, longForm);
      const size_t header = longForm ? 5 : 1;
      const std::string expected = std::to_string(header + length) + ":" +
                                   std::string(record.begin() + long(header), record.end() - 1) + '\0' +
                                   std::string(15, char(0xCC));
      EXPECT_EQ(read, expected);
    }
  }
}
