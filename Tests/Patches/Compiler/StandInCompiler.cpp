#include "StandInCompiler.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "Framework/IDEHooks.h"
#include "Framework/PatchRegistry.h"
#include "TestPaths.h"

namespace StandIn {
namespace {

HMODULE g_dcc = nullptr;
TDriver g_driver;
TVariables g_variables;

template <class T>
void BindVariable(T*& slot, const char* name) {
  slot = reinterpret_cast<T*>(GetProcAddress(g_dcc, name));
  if (!slot) throw std::runtime_error(std::string("dcc150.dll lacks ") + name);
}

void CodeSection(uint8_t*& start, uint32_t& size) {
  auto* base = reinterpret_cast<uint8_t*>(g_dcc);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (section->Characteristics & IMAGE_SCN_MEM_EXECUTE) {
      start = base + section->VirtualAddress;
      size = section->Misc.VirtualSize;
      return;
    }
  }
  throw std::runtime_error("dcc150.dll has no code section");
}

} // namespace

std::wstring ModulePath(const char* variant) {
  std::wstring path = BuildDirectory();
  if (variant) {
    path += L"\\host-variants\\";
    for (const char* p = variant; *p; ++p) path += wchar_t(*p);
  } else {
    path += L"\\host";
  }
  return path + L"\\dcc150.dll";
}

HMODULE Load(const char* variant) {
  g_dcc = LoadLibraryW(ModulePath(variant).c_str());
  if (!g_dcc) throw std::runtime_error("cannot load the stand-in dcc150.dll");
  return BindLoaded();
}

HMODULE BindLoaded() {
  g_dcc = GetModuleHandleW(L"dcc150.dll");
  if (!g_dcc) throw std::runtime_error("no dcc150.dll loaded");
  const char* missing = nullptr;
  if (!g_driver.Bind(g_dcc, &missing)) throw std::runtime_error(std::string("dcc150.dll lacks ") + missing);
  BindVariable(g_variables.UnitListHead, "DccUnitListHead");
  BindVariable(g_variables.CurrentUnit, "DccCurrentUnit");
  BindVariable(g_variables.Contexts, "DccContexts");
  BindVariable(g_variables.ScratchContexts, "DccScratchContexts");
  BindVariable(g_variables.TableContexts, "DccTableContexts");
  BindVariable(g_variables.FreeDescriptors, "DccFreeDescriptors");
  BindVariable(g_variables.FreeRanges, "DccFreeRanges");
  BindVariable(g_variables.ScopeOwner, "DccScopeOwner");
  BindVariable(g_variables.ScopeUnits, "DccScopeUnits");
  BindVariable(g_variables.ScopeCount, "DccScopeCount");
  // The pack reaches the compiler by module name; this is the one loaded now.
  if (Quillmend::GetDccHandle() != g_dcc) throw std::runtime_error("GetDccHandle found another dcc150.dll");
  return g_dcc;
}

const TDriver& Driver() { return g_driver; }
const TVariables& Variables() { return g_variables; }

void AlterOperand(const char* site, int32_t offset, uint32_t value) {
  // Runs right after loading, before the driver is bound.
  TDriver::PatternSiteFn patternSite = nullptr;
  DccDriver::BindExport(GetModuleHandleW(L"dcc150.dll"), patternSite, DccDriver::Export::PatternSite);
  uint8_t* at = static_cast<uint8_t*>(patternSite(site)) + offset;
  DWORD old;
  VirtualProtect(at, 4, PAGE_EXECUTE_READWRITE, &old);
  std::memcpy(at, &value, 4);
  VirtualProtect(at, 4, old, &old);
}

uint32_t ExportAddress(const char* name) {
  return uint32_t(reinterpret_cast<uintptr_t>(GetProcAddress(GetModuleHandleW(L"dcc150.dll"), name)));
}

std::vector<uint8_t> CodeBytes() {
  uint8_t* start;
  uint32_t size;
  CodeSection(start, size);
  return std::vector<uint8_t>(start, start + size);
}

std::vector<uint8_t> SiteBytes(const char* routine, int before, int count) {
  auto* site = static_cast<uint8_t*>(g_driver.PatternSite(routine));
  if (!site) throw std::runtime_error(std::string("no site ") + routine);
  return std::vector<uint8_t>(site - before, site - before + count);
}

void Install(const std::wstring& disabledPatches) {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", disabledPatches.c_str());
  Quillmend::InstallCompilerOptimization();
}

std::wstring PatchStatus(const std::wstring& name) {
  if (!Quillmend::IsPatchRegistered(name)) return L"";
  std::wstring text;
  Quillmend::GetPatchStatusText(false, text);
  std::wstring tag = L" [" + name + L"]";
  size_t at = text.find(tag + L"\r\n");
  if (at == std::wstring::npos && text.size() >= tag.size() && text.compare(text.size() - tag.size(), tag.size(), tag) == 0)
    at = text.size() - tag.size();
  if (at == std::wstring::npos) return L"?";
  size_t lineStart = text.rfind(L"\n", at);
  lineStart = lineStart == std::wstring::npos ? 0 : lineStart + 1;
  std::wstring status = text.substr(lineStart, text.find(L':', lineStart) - lineStart);
  while (!status.empty() && status.back() == L' ') status.pop_back();
  return status;
}

TWorkloadResult RunWorkload(int units, int imports, uint32_t randomSeed) {
  TWorkloadResult r{};
  r.UnitsLoaded = g_driver.LoadProject(units, imports, randomSeed);
  r.Loaded = g_driver.Checksum();
  g_driver.MarkOutdated(10, randomSeed + 1);
  g_driver.Reset();
  r.UnitsAfterReset = g_driver.UnitCount();
  r.Reset = g_driver.Checksum();
  g_driver.Recompile();
  r.Recompiled = g_driver.Checksum();
  g_driver.FreeAll();
  r.Freed = g_driver.Checksum();
  return r;
}

std::string RunQuestionWorkload(int units, int imports, uint32_t randomSeed, TQuestionCounts counts) {
  std::string text;
  auto note = [&text](const char* phase) {
    char line[48];
    std::snprintf(line, sizeof line, "%s %08X\n", phase, unsigned(g_driver.Checksum()));
    text += line;
  };
  g_driver.PrepareProject(units, imports, randomSeed);
  g_driver.LoadPrepared();
  note("load");
  g_driver.MarkOutdated(10, randomSeed + 1);
  g_driver.Reset();
  note("reset");
  g_driver.Recompile();
  note("recompile");
  g_driver.FreeAll();
  g_driver.LoadPrepared();
  g_driver.PrepareUnitOf(counts.UnitOf, randomSeed + 3);
  g_driver.RunUnitOf(nullptr, nullptr);
  note("unitof");
  g_driver.FreeAll();
  g_driver.LoadPrepared();
  g_driver.PrepareSymbols(counts.Symbols, randomSeed + 4);
  g_driver.RunSymbolLookups(0, counts.Symbols / 2);
  g_driver.ReloadLargeScopeUnits();
  g_driver.RunSymbolLookups(counts.Symbols / 2, counts.Symbols - counts.Symbols / 2);
  note("symbols");
  g_driver.FreeAll();
  note("freeall");
  return text;
}

} // namespace StandIn
