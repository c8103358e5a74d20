// The string-table modules (CMakeLists.txt) as tests and benchmarks see
// them: where they are, their identifiers and texts.
#pragma once

#include <string>

namespace StringModules {

constexpr int CopyCount = 32;
constexpr unsigned Identifiers[] = {0, 1, 2, 7, 505, 520, 4000, 65535};
constexpr unsigned LongIdentifier = 4000;
constexpr int LongLength = 4500;
constexpr int BigCount = 10000;

// "strmod01.dll" .. "strmod32.dll" (n from 1).
inline std::wstring CopyName(int n) {
  return std::wstring(L"strmod") + (n < 10 ? L"0" : L"") + std::to_wstring(n) + L".dll";
}

// The text of an identifier in strmod*.dll (prefix 'A'), strmodb.dll ('B')
// and strbig.dll ("Big").
inline std::wstring Text(const std::wstring& prefix, unsigned id) {
  if (id == LongIdentifier) {
    std::wstring text;
    while (text.size() < size_t(LongLength)) text += prefix;
    return text.substr(0, size_t(LongLength));
  }
  return prefix + L" " + std::to_wstring(id);
}

}  // namespace StringModules
