// Writes the bytes of every site the package, generics and CodeInsight
// patches rewrite, as installed in this process, to <dir>/<site>+<offset>.bin
// (one file per rewritten stretch, with the instructions after it), for
// binutils to disassemble (CheckCompilerCachesSites.cmake compares the listing
// with CompilerCachesSites.txt). Exit code 1 when a patch did not apply.
#include <windows.h>

#include <cstdio>
#include <string>

#include "Framework/LibraryEntry.h"
#include "Framework/PatchRegistry.h"
#include "IdeServices/ServicesRoot.h"
#include "Patches/Compiler/CompilerFix.h"
#include "Patches/Compiler/CompilerGenInstantiateOpt.h"
#include "Patches/Compiler/CompilerLinkerGenericsMatchOptimization.h"
#include "Patches/Compiler/CompilerOptimization.h"
#include "Patches/Compiler/CompilerPackageLookupOptimization.h"
#include "TestPaths.h"

namespace {

struct TStretch {
  const char* Site;
  int Offset, Length;
};

// Each rewritten stretch and the instruction that follows it.
const TStretch Stretches[] = {
    {"PackageFind", 0, 8},           {"PackageOfUnit", 0, 8},        {"PackageRemove", 0, 13},
    {"PackageReleaseAll", 0, 12},     {"PackageFindOrLoad", 0, 7},    {"PackageFindOrLoad", 0x29, 7},
    {"PackageDuplicateCheck", 0, 5}, {"GenericsPurge", 0, 5},        {"GenericsInstance1", 6, 8},
    {"GenericsInstance2", 6, 8},     {"LinkerAlloc", 0, 5},          {"LinkerMatchTable", 0, 10},
    {"LinkerBucket", 8, 12},         {"LinkerPass1", 0x0C, 9},       {"LinkerPass2", 0x0C, 9},
    {"ErrorReport", 5, 9},           {"KibitzActiveTest", 0x0A, 13}, {"SkipBody", 0, 5},
    {"MainUnitFinalize", 8, 5},
};

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::wstring host = BuildDirectory() + L"\\host\\";
  HMODULE rtl = LoadLibraryW((host + L"rtl150.bpl").c_str());
  HMODULE dcc = LoadLibraryW((host + L"dcc150.dll").c_str());
  if (!rtl || !dcc) return 2;
  Quillmend::BorlandIDEServices = QmHost::ServicesRoot();
  Quillmend::InstallCompilerOptimization();
  Quillmend::InstallPackageLookup();
  Quillmend::InstallGenInstantiate();
  Quillmend::InstallLinkerGenericsMatch();
  Quillmend::InstallCompilerFix();
  int failed = 0;
  // A group whose children are listed on their own is ignored by design.
  for (const Quillmend::TPatchReport& report : Quillmend::PatchReports())
    if (report.Status == Quillmend::psFailed) {
      std::printf("%ls not applied: %ls\n", report.Name.c_str(), report.Reason.c_str());
      ++failed;
    }
  auto site = reinterpret_cast<uint8_t*(__stdcall*)(const char*)>(reinterpret_cast<void*>(GetProcAddress(dcc, "DccPatternSite")));
  for (const TStretch& s : Stretches) {
    const uint8_t* at = site(s.Site);
    if (!at) return 2;
    char path[512];
    std::snprintf(path, sizeof path, "%s\\%s+%X.bin", argv[1], s.Site, unsigned(s.Offset));
    FILE* file = std::fopen(path, "wb");
    if (!file) return 2;
    std::fwrite(at + s.Offset, 1, size_t(s.Length), file);
    std::fclose(file);
  }
  return failed ? 1 : 0;
}
