// The run-time library's file-path functions, the general way: a scan for
// the last character of a delimiter set, then a fresh copy of the part
// wanted (even when that is the whole input); names compared through
// lower-cased copies and the user locale's comparison. Path delimiters are
// "\" and ":" only.
#include <windows.h>

#include "RtlServices.h"

using namespace QmRtl;

namespace {

const wchar_t PathDelimiters[] = L"\\:";
const wchar_t ExtDelimiters[] = L".\\:";

bool InSet(const wchar_t* set, wchar_t c) {
  for (; *set; ++set)
    if (*set == c) return true;
  return false;
}

// 1-based position of the last character of S in the set, 0 if none.
int LastDelimiter(const wchar_t* set, const wchar_t* s) {
  for (int i = Length(s); i > 0; --i)
    if (InSet(set, s[i - 1])) return i;
  return 0;
}

// S[i], 1-based; the terminating zero just past the end.
wchar_t At(const wchar_t* s, int i) { return i >= 1 && i <= Length(s) ? s[i - 1] : 0; }

// Copy(S, Index, Count): a new string (nil when empty), clamped to S.
wchar_t* Copy(const wchar_t* s, int index, int count) {
  const int length = Length(s);
  if (index < 1) index = 1;
  if (count > length - index + 1) count = length - index + 1;
  if (count <= 0) return nullptr;
  return NewString(s + index - 1, count);
}

wchar_t* Concat(const wchar_t* a, const wchar_t* b) {
  const int la = Length(a), lb = Length(b);
  wchar_t* s = RtlNewUnicodeString(la + lb);
  if (!s) return nullptr;
  CopyMemory(s, a, static_cast<SIZE_T>(la) * 2);
  CopyMemory(s + la, b, static_cast<SIZE_T>(lb) * 2);
  return s;
}

// Concatenates and releases the left operand, as "Result := Result + X" does.
void Append(wchar_t** var, const wchar_t* text, int length) {
  wchar_t* piece = NewString(text, length);
  wchar_t* joined = Concat(*var, piece);
  RtlUStrClr(&piece);
  StoreNew(var, joined);
}

void Release(wchar_t* s) { RtlUStrClr(&s); }

wchar_t* LowerCaseCopy(const wchar_t* s) {
  wchar_t* copy = Copy(s, 1, Length(s));
  if (copy) CharLowerBuffW(copy, static_cast<DWORD>(Length(copy)));
  return copy;
}

// ExtractFileDrive: "C:", "\\server\share" (without a further backslash), or empty.
wchar_t* ExtractFileDrive(const wchar_t* s) {
  const int length = Length(s);
  if (length >= 2 && At(s, 2) == L':') return Copy(s, 1, 2);
  if (length >= 2 && At(s, 1) == L'\\' && At(s, 2) == L'\\') {
    int backslashes = 0, i = 3;
    while (i < length && backslashes < 2) {
      if (At(s, i) == L'\\') ++backslashes;
      if (backslashes < 2) ++i;
    }
    if (At(s, i) == L'\\') --i;
    return Copy(s, 1, i);
  }
  return nullptr;
}

} // namespace

extern "C" {

void QM_HOST_REGISTER RtlExtractFilePath(const wchar_t* s, wchar_t** result) QM_HOST_SYMBOL(rtl_ExtractFilePath);
void QM_HOST_REGISTER RtlExtractFilePath(const wchar_t* s, wchar_t** result) {
  StoreNew(result, Copy(s, 1, LastDelimiter(PathDelimiters, s)));
}

void QM_HOST_REGISTER RtlExtractFileDir(const wchar_t* s, wchar_t** result) QM_HOST_SYMBOL(rtl_ExtractFileDir);
void QM_HOST_REGISTER RtlExtractFileDir(const wchar_t* s, wchar_t** result) {
  int i = LastDelimiter(PathDelimiters, s);
  if (i > 1 && At(s, i) == L'\\' && !InSet(PathDelimiters, At(s, i - 1))) --i;
  StoreNew(result, Copy(s, 1, i));
}

void QM_HOST_REGISTER RtlExtractFileName(const wchar_t* s, wchar_t** result) QM_HOST_SYMBOL(rtl_ExtractFileName);
void QM_HOST_REGISTER RtlExtractFileName(const wchar_t* s, wchar_t** result) {
  StoreNew(result, Copy(s, LastDelimiter(PathDelimiters, s) + 1, MAXINT));
}

void QM_HOST_REGISTER RtlExtractFileExt(const wchar_t* s, wchar_t** result) QM_HOST_SYMBOL(rtl_ExtractFileExt);
void QM_HOST_REGISTER RtlExtractFileExt(const wchar_t* s, wchar_t** result) {
  const int i = LastDelimiter(ExtDelimiters, s);
  StoreNew(result, i > 0 && At(s, i) == L'.' ? Copy(s, i, MAXINT) : nullptr);
}

void QM_HOST_REGISTER RtlChangeFileExt(const wchar_t* s, const wchar_t* ext, wchar_t** result)
    QM_HOST_SYMBOL(rtl_ChangeFileExt);
void QM_HOST_REGISTER RtlChangeFileExt(const wchar_t* s, const wchar_t* ext, wchar_t** result) {
  int i = LastDelimiter(ExtDelimiters, s);
  if (i == 0 || At(s, i) != L'.') i = MAXINT;
  wchar_t* stem = Copy(s, 1, i - 1);
  wchar_t* joined = Concat(stem, ext);
  Release(stem);
  StoreNew(result, joined);
}

int32_t QM_HOST_REGISTER RtlAnsiCompareFileName(const wchar_t* s1, const wchar_t* s2)
    QM_HOST_SYMBOL(rtl_AnsiCompareFileName);
int32_t QM_HOST_REGISTER RtlAnsiCompareFileName(const wchar_t* s1, const wchar_t* s2) {
  wchar_t* a = LowerCaseCopy(s1);
  wchar_t* b = LowerCaseCopy(s2);
  const int result = CompareStringW(LOCALE_USER_DEFAULT, 0, a ? a : L"", Length(a), b ? b : L"", Length(b)) - 2;
  Release(a);
  Release(b);
  return result;
}

uint8_t QM_HOST_REGISTER RtlSameFileName(const wchar_t* s1, const wchar_t* s2) QM_HOST_SYMBOL(rtl_SameFileName);
uint8_t QM_HOST_REGISTER RtlSameFileName(const wchar_t* s1, const wchar_t* s2) {
  return RtlAnsiCompareFileName(s1, s2) == 0;
}

// ExtractRelativePath(BaseName, DestName): the drives must be the same file
// name, else DestName. Both directories (without drive) are copied and
// walked segment by segment ("\" ends a segment; a leading "\" gives an
// empty first one, the final "\" an empty last one) while the segments are
// the same file name. Each remaining base directory gives "..\"; then the
// first differing destination segment (when not empty) with "\", the rest
// of the destination directory, and the destination's file name.
void QM_HOST_REGISTER RtlExtractRelativePath(const wchar_t* base, const wchar_t* dest, wchar_t** result)
    QM_HOST_SYMBOL(rtl_ExtractRelativePath);
void QM_HOST_REGISTER RtlExtractRelativePath(const wchar_t* base, const wchar_t* dest, wchar_t** result) {
  wchar_t* baseDrive = ExtractFileDrive(base);
  wchar_t* destDrive = ExtractFileDrive(dest);
  const bool sameDrive = RtlSameFileName(baseDrive, destDrive);
  const int baseDriveLength = Length(baseDrive), destDriveLength = Length(destDrive);
  Release(baseDrive);
  Release(destDrive);
  if (!sameDrive) {
    RtlUStrAsg(result, dest);
    return;
  }
  wchar_t* path = nullptr;
  RtlExtractFilePath(base, &path);
  wchar_t* basePath = Copy(path, baseDriveLength + 1, MAXINT);
  RtlExtractFilePath(dest, &path);
  wchar_t* destPath = Copy(path, destDriveLength + 1, MAXINT);
  Release(path);

  // Segment k of a directory: [start, end) with end at the next "\" or the end.
  const int baseLength = Length(basePath), destLength = Length(destPath);
  int b = 0, d = 0;  // starts of the current segments
  bool baseLeft = true, destLeft = true;
  auto segmentEnd = [](const wchar_t* p, int length, int start) {
    while (start < length && p[start] != L'\\') ++start;
    return start;
  };
  while (baseLeft && destLeft) {
    const int be = segmentEnd(basePath, baseLength, b), de = segmentEnd(destPath, destLength, d);
    wchar_t* x = Copy(basePath, b + 1, be - b);
    wchar_t* y = Copy(destPath, d + 1, de - d);
    const bool same = RtlSameFileName(x, y);
    Release(x);
    Release(y);
    if (!same) break;
    baseLeft = be < baseLength;
    destLeft = de < destLength;
    b = be + 1;
    d = de + 1;
  }
  wchar_t* relative = nullptr;
  if (baseLeft) {
    // Every base segment from the differing one on but the empty last one.
    for (int p = b; p < baseLength; ++p)
      if (basePath[p] == L'\\') Append(&relative, L"..\\", 3);
  }
  if (destLeft) {
    const int de = segmentEnd(destPath, destLength, d);
    if (de > d) {
      Append(&relative, destPath + d, de - d);
      Append(&relative, L"\\", 1);
    }
    if (de < destLength) Append(&relative, destPath + de + 1, destLength - de - 1);
  }
  wchar_t* name = nullptr;
  RtlExtractFileName(dest, &name);
  wchar_t* joined = Concat(relative, name);
  Release(relative);
  Release(name);
  Release(basePath);
  Release(destPath);
  StoreNew(result, joined);
}

} // extern "C"

// The definitions have the driver's types.
#include <type_traits>

#include "ConversionsDriver.h"

static_assert(std::is_same_v<decltype(&RtlExtractFilePath), QmHost::RtlConversions::StringFn>, "ExtractFilePath");
static_assert(std::is_same_v<decltype(&RtlExtractFileDir), QmHost::RtlConversions::StringFn>, "ExtractFileDir");
static_assert(std::is_same_v<decltype(&RtlExtractFileName), QmHost::RtlConversions::StringFn>, "ExtractFileName");
static_assert(std::is_same_v<decltype(&RtlExtractFileExt), QmHost::RtlConversions::StringFn>, "ExtractFileExt");
static_assert(std::is_same_v<decltype(&RtlChangeFileExt), QmHost::RtlConversions::StringPairFn>, "ChangeFileExt");
static_assert(std::is_same_v<decltype(&RtlExtractRelativePath), QmHost::RtlConversions::StringPairFn>,
              "ExtractRelativePath");
static_assert(std::is_same_v<decltype(&RtlAnsiCompareFileName), QmHost::RtlConversions::CompareFn>,
              "AnsiCompareFileName");
static_assert(std::is_same_v<decltype(&RtlSameFileName), QmHost::RtlConversions::SameFn>, "SameFileName");
