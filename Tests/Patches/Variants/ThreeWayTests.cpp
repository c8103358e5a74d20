// The variant patch three ways against the stand-in run-time: applied (the
// conversions give what they gave), disabled (not one byte written), and
// against builds whose _VarToBool does not start with its call or that lack
// _VarToUStr (failed, nothing written); restored byte for byte each time.
#include <gtest/gtest.h>

#include "StandInVariants.h"
#include "ThreeWayHarness.h"

namespace {

const wchar_t* const Variants = L"RTL.VariantsConvOptimization";

const std::vector<TPatchRow> PatchRows = {{Variants, {}}};
const std::vector<TVariantRow> VariantRows = {{"vartobool", {Variants}}, {"novartoustr", {Variants}}};

std::string Fingerprint() {
  using namespace VariantTest;
  std::string out;
  std::vector<TVariantCase> cases = TextCases();
  for (size_t i = 0; i < cases.size(); i += 3) {
    if (Runtime().VarToUStr) out += ToUStr(cases[i]) + "|";
    out += ToLStr(cases[i]) + "|" + ToWStr(cases[i]) + "|" + ToBool(cases[i]) + "\n";
  }
  return out;
}

const TThreeWaySubsystem& VariantsSubsystem() {
  static const TThreeWaySubsystem subsystem{
      {L"rtl150.bpl"},
      [] { VariantTest::Runtime(); },
      [] { VariantTest::RunInstallation(); },
      [] { return Fingerprint(); },
      {Variants},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(Variants, VariantsSubsystem(), PatchRows, VariantRows)

}  // namespace
