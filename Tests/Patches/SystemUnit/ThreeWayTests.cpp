// The system-unit patches three ways against the stand-in run-time:
// applied alone (Move, LoadResString, ClassNameIs and FindHInstance give
// what they gave), disabled (not one byte of it written), and against
// builds lacking a routine a patch replaces (that patch failed, nothing of
// it written); restored byte for byte each time. System.Move's redirection
// (no named patch) is installed in every case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StandInSystem.h"
#include "ThreeWayHarness.h"

namespace {

const wchar_t* const SystemOptimization = L"RTL.SystemOptimization";
const wchar_t* const FindHInstancePatch = L"RTL.FindHInstance";

const std::vector<TPatchRow> PatchRows = {{SystemOptimization, {}}, {FindHInstancePatch, {}}};

const std::vector<TVariantRow> VariantRows = {
    {"noloadresstring", {SystemOptimization}},
    {"noclassnameis", {SystemOptimization}},
    {"nofindhinstance", {FindHInstancePatch}},
};

std::string Fingerprint() {
  using namespace SystemTest;
  std::string out;
  char buffer[200];
  for (int i = 0; i < 200; ++i) buffer[i] = char(i * 7);
  RuntimeExport<SystemUnitDriver::MoveFn>(SystemUnitDriver::Export::Move)(buffer, buffer + 3, 150);
  out.append(buffer, sizeof buffer);
  if (auto load = RuntimeExport<SystemUnitDriver::LoadResStringFn>(SystemUnitDriver::Export::LoadResString)) {
    HINSTANCE module = Runtime();
    for (UINT_PTR id : {0, 1, 2, 505, 520}) {
      SystemUnitDriver::TResStringRec rec{&module, id};
      wchar_t* text = nullptr;
      load(&rec, &text);
      const std::wstring loaded = Text(text);
      out += std::string(loaded.begin(), loaded.end()) + "|";
      Release(text);
    }
  }
  if (auto is = RuntimeExport<SystemUnitDriver::ClassNameIsFn>(SystemUnitDriver::Export::ClassNameIs)) {
    for (const wchar_t* name : {L"tobject", L"TObj", L"TOBJECT"}) {
      wchar_t* text = NewString(name);
      out += is(RuntimeExport<const void*>("@System@TObject@"), text) ? "1" : "0";
      Release(text);
    }
  }
  if (auto find = RuntimeExport<SystemUnitDriver::FindHInstanceFn>(SystemUnitDriver::Export::FindHInstance)) {
    for (int round = 0; round < 2; ++round)
      out += std::to_string(find(reinterpret_cast<const void*>(&Fingerprint)) == GetModuleHandleW(nullptr)) +
             std::to_string(find(reinterpret_cast<const char*>(Runtime()) + 0x1000) == Runtime());
  }
  return out;
}

const TThreeWaySubsystem& SystemUnit() {
  static const TThreeWaySubsystem subsystem{
      {L"rtl150.bpl"},
      [] { SystemTest::Runtime(); },
      [] { SystemTest::RunInstallation(); },
      [] { return Fingerprint(); },
      {SystemOptimization, FindHInstancePatch},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(SystemUnit, SystemUnit(), PatchRows, VariantRows)

TEST(SystemUnitPatches, AMissingRoutineIsNamedInTheReason) {
  SystemTest::LoadRuntime("nofindhinstance");
  SystemTest::InstallPatches();
  EXPECT_EQ(SystemTest::Reason(FindHInstancePatch), L"FindHInstance: export not found in rtl150.bpl");
  EXPECT_EQ(SystemTest::Status(SystemOptimization), L"applied");
}

}  // namespace
