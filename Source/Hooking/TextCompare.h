// Comparison and file-name helpers for the compiler's zero-terminated 8-bit
// (UTF-8) strings, and chunked UTF-16 comparison through ntdll.
#pragma once

#include <cstdint>

namespace Quillmend {

// The 8-bit case mapping of the comparisons: 'a'..'z' to 'A'..'Z', every
// other byte (non-ASCII ones included) to itself.
struct TAsciiUpperCaseTable {
  uint8_t Entry[256] = {};
  constexpr TAsciiUpperCaseTable() {
    for (int c = 0; c < 256; ++c) Entry[c] = static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
};
inline constexpr TAsciiUpperCaseTable AsciiUpperCaseTable{};
inline uint8_t AsciiUpperCase(char c) { return AsciiUpperCaseTable.Entry[static_cast<uint8_t>(c)]; }

// Case-insensitive order of two UTF-8 strings: -1, 0 or 1. ASCII letters are
// compared upper-cased byte by byte; where both strings differ in a non-ASCII
// byte the whole strings are compared through UTF-16 instead. A string that
// ends first is the smaller.
int32_t Utf8CompareText(const char* s1, const char* s2);
// Both strings converted to UTF-16 and compared ignoring case: -1, 0 or 1.
int32_t Utf8CompareTextWide(const char* s1, const char* s2);
// RtlCompareUnicodeString over texts of any length (it takes at most 0xFFFF
// bytes at once): the first non-zero chunk result, else Len1 - Len2.
int32_t CompareUnicodeText(const wchar_t* p1, int32_t len1, const wchar_t* p2, bool ignoreCase, int32_t len2);

// Resolves the ntdll entry behind CompareUnicodeText. Run by the unit's
// initialization; otherwise the first comparison does it.
void InitializeTextCompare();

// Just behind the last '/' or '\', or the path itself; null stays null.
const char* Utf8ExtractFileName(const char* path);
inline char* Utf8ExtractFileName(char* path) { return const_cast<char*>(Utf8ExtractFileName(static_cast<const char*>(path))); }
// The last '.' behind the last '/' or '\', else the terminating zero; null stays null.
const char* Utf8ExtractFileExt(const char* path);
inline char* Utf8ExtractFileExt(char* path) { return const_cast<char*>(Utf8ExtractFileExt(static_cast<const char*>(path))); }

// At most Len bytes compared with 'a'..'z' upper-cased: the difference of the
// first differing pair (as unsigned bytes), or 0.
int32_t StrLICompAscii(const char* s1, const char* s2, int32_t len);
// True if the first Len bytes match ignoring ASCII case and S1 has no zero among them.
bool SameTextAsciiLen(const char* s1, const char* s2, int32_t len);

} // namespace Quillmend
