// Every pattern the C++ compiler patches search matches the stand-in once,
// where its routine's bytes begin; each variant build no longer matches its
// own pattern (and still matches every other one).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "CppStandIns.h"
#include "Hooking/PatternSearch.h"
#include "Patches/CppCompiler/CppCompilerPatterns.h"

namespace {

namespace Patterns = Quillmend::CppCompilerPatterns;

struct TPatternRow {
  const char* Site;     // the stand-in's site name
  const char* Variant;  // the build whose bytes do not match
  const char* Pattern;
};

const TPatternRow Rows[] = {
    {"InternFunction", "internfunction", Patterns::InternFunction},
    {"InternAllocation", "internallocation", Patterns::InternAllocation},
    {"InternGlobals", "internglobals", Patterns::InternGlobals},
    {"SymbolLookup", "symbollookup", Patterns::SymbolLookup},
    {"ContextRelease", "contextrelease", Patterns::ContextRelease},
    {"Stricmp", "stricmp", Patterns::Stricmp},
    {"LtolowerCallSite", "ltolowersite", Patterns::LtolowerCallSite},
    {"Ltolower", "ltolower", Patterns::Ltolower},
};

std::vector<const uint8_t*> Matches(const uint8_t* begin, size_t size, const char* text) {
  const Quillmend::TBytePattern pattern = Quillmend::ParsePattern(text);
  std::vector<const uint8_t*> found;
  for (size_t i = 0; i + pattern.size() <= size; ++i) {
    size_t k = 0;
    while (k < pattern.size() && (pattern[k] < 0 || begin[i + k] == uint8_t(pattern[k]))) ++k;
    if (k == pattern.size()) found.push_back(begin + i);
  }
  return found;
}

std::vector<uint8_t> FileBytes(const std::wstring& path) {
  std::ifstream file(std::string(path.begin(), path.end()), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

TEST(CppCompilerPatterns, EachMatchesOnceAtItsRoutineAndNotInItsVariant) {
  CppStandIns::Load();
  HMODULE compiler = GetModuleHandleW(L"comp32x.dll");
  const auto* base = reinterpret_cast<const uint8_t*>(compiler);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  for (const TPatternRow& row : Rows) {
    SCOPED_TRACE(row.Site);
    const std::vector<const uint8_t*> found = Matches(base, nt->OptionalHeader.SizeOfImage, row.Pattern);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0], CppStandIns::Compiler().PatternSite(row.Site));
    const std::vector<uint8_t> variant = FileBytes(CppStandIns::ModulePath(L"comp32x.dll", row.Variant));
    ASSERT_FALSE(variant.empty());
    for (const TPatternRow& other : Rows)
      EXPECT_EQ(Matches(variant.data(), variant.size(), other.Pattern).size(), &other == &row ? 0u : 1u)
          << other.Site << " in the " << row.Variant << " build";
  }
  // The call site's call reaches ltolower itself.
  const uint8_t* call = static_cast<const uint8_t*>(CppStandIns::Compiler().PatternSite("LtolowerCallSite")) +
                        Patterns::LtolowerCall;
  int32_t displacement;
  std::memcpy(&displacement, call + 1, 4);
  EXPECT_EQ(call + 5 + displacement, CppStandIns::Compiler().PatternSite("Ltolower"));
}

}  // namespace
