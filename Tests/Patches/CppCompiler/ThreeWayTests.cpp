// The C++ compiler patches three ways against the stand-ins, on the
// compiler's first load and after it was unloaded and loaded again: applied
// (the compiler's results unchanged), disabled (not one byte written),
// against builds whose bytes do not match (failed with a reason, nothing
// written), and restored byte for byte by the library's undo.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "CppStandIns.h"
#include "ThreeWayHarness.h"

namespace {

const wchar_t* const Intern = L"CppCompiler.Optimizations";
const wchar_t* const SymbolReader = L"Debugger.CppDebugSymbolReader";
const wchar_t* const Stricmp = L"bcc.stricmp";
const wchar_t* const Ltolower = L"bcc.ltolowerCalls";
const wchar_t* const KibitzProgress = L"bcc.DoKibitzProgress";

const std::vector<TPatchRow> PatchRows = {
    {Intern, {}}, {SymbolReader, {}}, {Stricmp, {}}, {Ltolower, {}}, {KibitzProgress, {}},
};

const std::vector<TVariantRow> VariantRows = {
    {"internfunction", {Intern}},   {"internallocation", {Intern}}, {"internglobals", {Intern}},
    {"symbollookup", {SymbolReader}}, {"contextrelease", {SymbolReader}}, {"stricmp", {Stricmp}},
    {"ltolowersite", {Ltolower}},   {"ltolower", {Ltolower}},       {"kibitznil", {KibitzProgress}},
};

// What the stand-ins compute: interned names (checksum of node serials and
// the chains' shape is the compiler's own business, so only the nodes),
// lookups in two contexts around a release, compares, suffixes, progress.
std::string Exercise() {
  const Comp32xDriver::TDriver& c = CppStandIns::Compiler();
  static const std::vector<std::string> names = CppStandIns::Identifiers(3000, 11);
  std::vector<const char*> texts;
  for (const std::string& n : names) texts.push_back(n.c_str());
  for (const std::string& n : names) texts.push_back(n.c_str());
  c.ResetNames();
  const uint32_t interned = c.InternMany(texts.data(), int32_t(texts.size()));
  Comp32xDriver::TChainStats stats;
  c.ChainStats(&stats);
  c.ResetNames();  // a patch finds the table as a fresh compiler has it

  void* context = c.NewContext(300, 5);
  c.SetCurrentContext(context);
  uint32_t lookups = 0;
  for (int round = 0; round < 3; ++round)
    for (int i = 0; i < 300; i += 7) lookups = lookups * 31 + uint32_t(c.Lookup(c.SymbolName(context, i), round));
  lookups = lookups * 31 + uint32_t(c.Lookup("absent", 0));
  c.ReleaseContext();
  void* other = c.NewContext(50, 6);
  c.SetCurrentContext(other);
  for (int i = 0; i < 50; i += 3) lookups = lookups * 31 + uint32_t(c.Lookup(c.SymbolName(other, i), 0));
  c.ReleaseContext();

  int32_t compares = 0;
  const char* pairs[][2] = {{"abc", "ABD"}, {"ABD", "abc"}, {"Abc", "aBC"}, {"x", ""}, {"\xE4", "a"}};
  for (auto& p : pairs) compares = compares * 3 + (c.Stricmp(p[0], p[1]) > 0) - (c.Stricmp(p[0], p[1]) < 0);
  const char* suffixes[] = {"u", "UL", "ull", "LLU", "lul", "x", "Lu", ""};
  const uint32_t scanned = c.ScanSuffixes(suffixes, 8);

  void* monitor = CppStandIns::NewMonitor(false);
  void* canceled = CppStandIns::NewMonitor(true);
  const int32_t progress = CppStandIns::RunKibitzProgress(monitor, 3) * 10 + CppStandIns::RunKibitzProgress(canceled, 2);

  char text[160];
  std::snprintf(text, sizeof text, "interned %08X nodes %u lookups %08X compares %d suffixes %08X progress %d",
                interned, stats.Nodes, lookups, compares, scanned, progress);
  return text;
}

const std::vector<std::wstring> AllPatches = {Intern, SymbolReader, Stricmp, Ltolower, KibitzProgress};

const TThreeWaySubsystem& FirstLoad() {
  static const TThreeWaySubsystem subsystem{
      {L"comp32x.dll", L"win32debugide150.bpl", L"coreide150.bpl", L"delphicoreide150.bpl"},
      [] { CppStandIns::Bind(); },
      [] { CppStandIns::RunCppProcs(); },
      Exercise,
      AllPatches,
  };
  return subsystem;
}

// The compiler patched, unloaded and loaded again (at the same address, so
// the snapshot still describes it), then patched again.
const TThreeWaySubsystem& AfterReload() {
  static const TThreeWaySubsystem subsystem{
      {L"comp32x.dll", L"win32debugide150.bpl", L"coreide150.bpl", L"delphicoreide150.bpl"},
      [] { CppStandIns::Bind(); },
      [] {
        HMODULE before = GetModuleHandleW(L"comp32x.dll");
        CppStandIns::RunCppProcs();
        if (CppStandIns::ReloadCompiler() != before) throw std::runtime_error("comp32x.dll came back elsewhere");
        CppStandIns::RunCppProcs();
      },
      Exercise,
      AllPatches,
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(CppFirstLoad, FirstLoad(), PatchRows, VariantRows)
QM_THREE_WAY_TESTS(CppAfterReload, AfterReload(), PatchRows, VariantRows)

}  // namespace
