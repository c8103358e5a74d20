#include "Patches/Compiler/CompilerFileNameStrFunctions.h"

#include <cstring>

#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"

namespace Quillmend {

// The compiler's texts are UTF-8: no byte of a character of several bytes
// lies below 0x80, so the last dot or delimiter found from the end is the
// one the host's walk from the start meets last. A length of 0 or less
// finds nothing, as the host's walk does not start.
namespace {

bool IsDelimiter(char c) { return c == '\\' || c == '/' || c == ':'; }

// The length of a zero-terminated text, four bytes at a time once aligned
// (an aligned read never crosses into the next page).
int32_t TextLength(const char* text) {
  const char* p = text;
  for (; uintptr_t(p) & 3; ++p)
    if (!*p) return int32_t(p - text);
  for (;; p += 4) {
    uint32_t word;
    std::memcpy(&word, p, 4);
    if ((word - 0x01010101u) & ~word & 0x80808080u) break;
  }
  while (*p) ++p;
  return int32_t(p - text);
}

} // namespace

int32_t QM_REGISTER BaseNameLength(const char* text, int32_t length) {
  for (int32_t i = length - 1; i >= 0; --i) {
    const char c = text[i];
    if (c == '.') return i;
    if (IsDelimiter(c)) break;
  }
  return length;
}

// A single character is a directory part of its own only when it is a
// delimiter ("\" is 1, "a" is 0), as in the host.
int32_t QM_REGISTER DirectoryLength(const char* text, int32_t length) {
  for (int32_t i = length; i > 0; --i)
    if (IsDelimiter(text[i - 1])) return i;
  return 0;
}

const char* QM_REGISTER FileExtension(const char* text) {
  return text + BaseNameLength(text, TextLength(text));
}

// The host copies with the run-time's move, only a non-empty part and
// never onto itself; a part of the source in place is only terminated.
void QM_REGISTER ExtractDirectory(const char* source, char* dest) {
  const int32_t length = DirectoryLength(source, TextLength(source));
  if (length > 0 && dest != source) std::memmove(dest, source, size_t(length));
  dest[length] = 0;
}

namespace {

namespace Patterns = FileNameStrPatterns;

const wchar_t* const Dcc = L"dcc150.dll";

TPatchPlan FileNamePlan() {
  TPatchPlan plan(L"Compiler.FileNameStringFunctions", L"Optimized file name string function");
  plan.LoadedModule(Dcc, &GetDccHandle);
  TSiteRef baseName = plan.Pattern(L"BaseNameLength", Dcc, Patterns::BaseNameLength, 0x10000);
  TSiteRef dirLength = plan.PatternFrom(L"DirLength", baseName, 0, Patterns::DirLength, Patterns::Window);
  TSiteRef fileExt = plan.PatternFrom(L"FileExt", dirLength, 0, Patterns::FileExt, Patterns::Window);
  TSiteRef extractDir = plan.PatternFrom(L"ExtractDir", fileExt, 0, Patterns::ExtractDir, Patterns::Window);
  // X3 and X4 are replaced by what they compute through X1 and X2; another
  // build whose routines call something else keeps its own.
  plan.ExpectCallTo(fileExt, Patterns::FileExtBaseNameCall, baseName);
  plan.ExpectCallTo(extractDir, Patterns::ExtractDirDirLengthCall, dirLength);
  plan.Redirect(baseName, &BaseNameLength);
  plan.Redirect(dirLength, &DirectoryLength);
  plan.Redirect(fileExt, &FileExtension);
  plan.Redirect(extractDir, &ExtractDirectory);
  return plan;
}

void InitializeCompilerFileNameStrFunctions() { AddWizardInitProc(&InstallCompilerFileNameStrFunctions); }

} // namespace

std::vector<TPatchPlan> CompilerFileNameStrFunctionsPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(FileNamePlan());
  return plans;
}

void InstallCompilerFileNameStrFunctions() {
  TPatchPlan plan = FileNamePlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_CompilerFileNameStrFunctions = {"CompilerFileNameStrFunctions",
                                                     &InitializeCompilerFileNameStrFunctions, nullptr,
                                                     &CompilerFileNameStrFunctionsPlans};

} // namespace Quillmend
