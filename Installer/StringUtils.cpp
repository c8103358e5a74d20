#include "StringUtils.h"

#include <windows.h>

#include <climits>
#include <cwchar>

namespace Quillmend {

int CompareText(const std::wstring& a, const std::wstring& b) {
  int r = CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                               static_cast<int>(b.size()), TRUE);
  return r - CSTR_EQUAL;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

bool StartsText(const std::wstring& prefix, const std::wstring& text) {
  return text.size() >= prefix.size() && SameText(prefix, text.substr(0, prefix.size()));
}

std::wstring Trim(const std::wstring& s) {
  size_t first = 0, last = s.size();
  while (first < last && s[first] <= L' ') ++first;
  while (last > first && s[last - 1] <= L' ') --last;
  return s.substr(first, last - first);
}

int StrToIntDef(const std::wstring& s, int def) {
  size_t i = 0;
  while (i < s.size() && s[i] == L' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) negative = s[i++] == L'-';
  int base = 10;
  if (i < s.size() && s[i] == L'$') {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == L'0' && (s[i + 1] == L'x' || s[i + 1] == L'X')) {
    base = 16;
    i += 2;
  }
  if (i >= s.size()) return def;
  long long value = 0;
  for (; i < s.size(); ++i) {
    wchar_t c = s[i];
    int digit;
    if (c >= L'0' && c <= L'9') digit = c - L'0';
    else if (base == 16 && c >= L'a' && c <= L'f') digit = c - L'a' + 10;
    else if (base == 16 && c >= L'A' && c <= L'F') digit = c - L'A' + 10;
    else return def;
    value = value * base + digit;
    if (value > (base == 16 ? 0xFFFFFFFFLL : static_cast<long long>(INT_MAX) + 1)) return def;
  }
  if (negative) value = -value;
  if (base == 10 && (value > INT_MAX || value < INT_MIN)) return def;
  return static_cast<int>(value);
}

std::wstring FormatText(const wchar_t* format, const std::wstring& arg) {
  std::wstring result;
  for (const wchar_t* p = format; *p; ++p) {
    if (p[0] == L'%' && p[1] == L's') {
      result += arg;
      ++p;
    } else {
      result += *p;
    }
  }
  return result;
}

} // namespace Quillmend
