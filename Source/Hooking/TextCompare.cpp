#include "Hooking/TextCompare.h"

#include "Hooking/EngineError.h"

#include <cstdlib>
#include <windows.h>

namespace Quillmend {

namespace {

struct TNtUnicodeString {
  USHORT Length;  // in bytes
  USHORT MaximumLength;
  const wchar_t* Buffer;
};
typedef LONG(WINAPI* TRtlCompareUnicodeString)(const TNtUnicodeString*, const TNtUnicodeString*, BOOLEAN);

// Resolved once; ntdll is mapped into every process.
TRtlCompareUnicodeString RtlCompareUnicodeStringProc() {
  static const TRtlCompareUnicodeString proc = reinterpret_cast<TRtlCompareUnicodeString>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlCompareUnicodeString")));
  return proc;
}

// RtlCompareUnicodeString takes lengths in bytes as 16-bit values.
constexpr int32_t MaxChunk = 0x7FF0;

// A UTF-8 string as UTF-16, on the stack when short, on the heap otherwise.
class TWideText {
public:
  explicit TWideText(const char* s) {
    FLength = MultiByteToWideChar(CP_UTF8, 0, s, -1, FLocal, LocalLength);
    if (FLength == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
      int needed = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
      FHeap = static_cast<wchar_t*>(std::malloc(static_cast<size_t>(needed) * sizeof(wchar_t)));
      if (!FHeap) RaiseOutOfMemory();
      FLength = MultiByteToWideChar(CP_UTF8, 0, s, -1, FHeap, needed);
    }
    if (FLength > 0) --FLength;  // without the terminator
  }
  ~TWideText() { std::free(FHeap); }
  TWideText(const TWideText&) = delete;
  TWideText& operator=(const TWideText&) = delete;
  const wchar_t* Text() const { return FHeap ? FHeap : FLocal; }
  int32_t Length() const { return FLength; }

private:
  static constexpr int LocalLength = 260;
  wchar_t FLocal[LocalLength];
  wchar_t* FHeap = nullptr;
  int32_t FLength = 0;
};

inline int32_t Sign(int32_t v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

} // namespace

void InitializeTextCompare() { RtlCompareUnicodeStringProc(); }

int32_t Utf8CompareText(const char* s1, const char* s2) {
  for (size_t i = 0;; ++i) {
    char c1 = s1[i];
    char c2 = s2[i];
    if (c1 == c2) {
      if (c1 == 0) return 0;
      continue;
    }
    // Two different non-ASCII bytes: only UTF-16 knows their case.
    if ((c1 & 0x80) && (c2 & 0x80)) return Utf8CompareTextWide(s1, s2);
    uint8_t u1 = AsciiUpperCase(c1);
    uint8_t u2 = AsciiUpperCase(c2);
    if (u1 != u2) return u1 < u2 ? -1 : 1;
  }
}

int32_t Utf8CompareTextWide(const char* s1, const char* s2) {
  TWideText w1(s1);
  TWideText w2(s2);
  return Sign(CompareUnicodeText(w1.Text(), w1.Length(), w2.Text(), true, w2.Length()));
}

int32_t CompareUnicodeText(const wchar_t* p1, int32_t len1, const wchar_t* p2, bool ignoreCase, int32_t len2) {
  TRtlCompareUnicodeString compare = RtlCompareUnicodeStringProc();
  for (;;) {
    int32_t n = len1 < len2 ? len1 : len2;
    if (n > MaxChunk) n = MaxChunk;
    if (n <= 0) return len1 - len2;
    USHORT bytes = static_cast<USHORT>(n * sizeof(wchar_t));
    TNtUnicodeString u1 = {bytes, bytes, p1};
    TNtUnicodeString u2 = {bytes, bytes, p2};
    LONG result = compare(&u1, &u2, ignoreCase ? TRUE : FALSE);
    if (result != 0) return result;
    p1 += n;
    p2 += n;
    len1 -= n;
    len2 -= n;
  }
}

const char* Utf8ExtractFileName(const char* path) {
  if (!path) return path;
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '\\' || *p == '/') name = p + 1;
  return name;
}

const char* Utf8ExtractFileExt(const char* path) {
  if (!path) return path;
  const char* ext = nullptr;
  const char* p = path;
  for (; *p; ++p) {
    if (*p == '.')
      ext = p;
    else if (*p == '\\' || *p == '/')
      ext = nullptr;
  }
  return ext ? ext : p;
}

int32_t StrLICompAscii(const char* s1, const char* s2, int32_t len) {
  for (int32_t i = 0; i < len; ++i) {
    uint8_t u1 = AsciiUpperCase(s1[i]);
    uint8_t u2 = AsciiUpperCase(s2[i]);
    if (u1 != u2) return static_cast<int32_t>(u1) - static_cast<int32_t>(u2);
    if (u1 == 0) break;
  }
  return 0;
}

bool SameTextAsciiLen(const char* s1, const char* s2, int32_t len) {
  for (int32_t i = 0; i < len; ++i) {
    char c1 = s1[i];
    if (c1 == 0 || AsciiUpperCase(c1) != AsciiUpperCase(s2[i])) return false;
  }
  return true;
}

} // namespace Quillmend
