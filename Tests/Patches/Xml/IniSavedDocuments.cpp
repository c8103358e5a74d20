// Writes the documents the Python check (ini_model.py check) reads: every
// golden script's document saved after the script, and a document after 1,
// 10 and 100 edit cycles, first with the host's TXmlIniFile, then with the
// patch applied. Argument: the output directory.
#include <windows.h>

#include <cstdio>
#include <string>

#include "Framework/PatchRegistry.h"
#include "Patches/Xml/XMLIniFilePerformance.h"
#include "TestPaths.h"
#include "xmlrtl150/XmlIniScript.h"

namespace {

struct TIniStep {
  char Op;
  const wchar_t* Section;
  const wchar_t* Key;
  const wchar_t* Value;
  const wchar_t* Expected;
};
struct TIniScript {
  const TIniStep* Steps;
  size_t Count;
};
#include "IniScriptCases.inc"

XmlIniScript::THost g_host;

bool Save(void* root, const std::wstring& path) { return g_host.SaveDocument(root, path.c_str()) != FALSE; }

bool WriteAll(const std::wstring& directory, const wchar_t* kind) {
  bool ok = true;
  for (size_t n = 0; n < sizeof IniScripts / sizeof *IniScripts; ++n) {
    void* root = g_host.NewDocument(L"ini");
    void* ini = g_host.NewIni(root);
    for (size_t i = 0; i < IniScripts[n].Count; ++i) {
      const TIniStep& s = IniScripts[n].Steps[i];
      g_host.Step(ini, wchar_t(s.Op), s.Section, s.Key, s.Value);
    }
    g_host.FreeIni(ini);
    ok &= Save(root, directory + L"\\script" + std::to_wstring(n) + L"-" + kind + L".xml");
    g_host.ReleaseNode(root);
  }
  void* root = g_host.NewDocument(L"ini");
  void* ini = g_host.NewIni(root);
  g_host.Step(ini, L'W', L"Keep", L"k", L"1");
  g_host.Step(ini, L'W', L"Edit", L"stay", L"1");
  for (int cycle = 1; cycle <= 100; ++cycle) {
    g_host.Step(ini, L'W', L"Edit", L"key", L"value");
    g_host.Step(ini, L'D', L"Edit", L"key", L"");
    g_host.Step(ini, L'W', L"Gone", L"k", L"v");
    g_host.Step(ini, L'E', L"Gone", L"", L"");
    if (cycle == 1 || cycle == 10 || cycle == 100)
      ok &= Save(root, directory + L"\\cycles" + std::to_wstring(cycle) + L"-" + kind + L".xml");
  }
  g_host.FreeIni(ini);
  g_host.ReleaseNode(root);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string narrow = argv[1];
  const std::wstring directory(narrow.begin(), narrow.end());
  const std::wstring host = BuildDirectory() + L"\\host\\";
  if (!LoadLibraryW((host + L"rtl150.bpl").c_str()) || !LoadLibraryW((host + L"xmlrtl150.bpl").c_str()) || !g_host.Bind()) {
    std::printf("cannot load the stand-in packages\n");
    return 1;
  }
  if (!WriteAll(directory, L"unpatched")) return 1;
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  Quillmend::Unit_XMLIniFilePerformance.Initialize();
  if (!Quillmend::IsPatchApplied(L"RTL.XmlIniFile")) {
    std::printf("RTL.XmlIniFile not applied\n");
    return 1;
  }
  if (!WriteAll(directory, L"patched")) return 1;
  std::printf("documents written\n");
  return 0;
}
