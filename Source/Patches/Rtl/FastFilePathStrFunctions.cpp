#include "Patches/Rtl/FastFilePathStrFunctions.h"

#include <cstring>
#include <cwchar>

#include "Framework/HostExcept.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/CodeTransaction.h"
#include "Patches/Rtl/IDEAnsiCompareFileName.h"
#include "Patches/Rtl/RtlHostCalls.h"

namespace Quillmend {

namespace {

const wchar_t* const FilePathStrFunctions = L"IDE.FilePathStrFunctions";
const wchar_t* const ExtractRelativePathName = L"IDE.ExtractRelativePath";

// The host's string routines, published when a plan of this module commits.
THostStrings g_strings;
// The host's own ExtractRelativePath, called once its redirection is removed.
using TRelativePath = void(QM_REGISTER*)(const wchar_t* base, const wchar_t* dest, wchar_t** result);
TRelativePath g_hostExtractRelativePath = nullptr;

bool IsPathDelimiter(wchar_t c) { return c == L'\\' || c == L':'; }
bool IsExtDelimiter(wchar_t c) { return c == L'.' || c == L'\\' || c == L':'; }

// *result := characters [from, from + count) of s: the input itself when
// that is all of it, nil when empty, else one new string.
void StoreRange(const wchar_t* s, int32_t length, int32_t from, int32_t count, wchar_t** result) {
  if (count <= 0)
    g_strings.StoreNew(result, nullptr);
  else if (from == 0 && count == length)
    g_strings.Assign(result, s);
  else
    g_strings.StoreNew(result, g_strings.New(s + from, count));
}

bool SameText(const wchar_t* a, int32_t lengthA, const wchar_t* b, int32_t lengthB) {
  return OrdinalCompareProc(lengthA ? a : L"", lengthA, lengthB ? b : L"", lengthB, TRUE) == CSTR_EQUAL;
}

// Where the directory part of s lies: after its drive, up to and including
// its last delimiter (C:\a\b\f.txt: "\a\b\"; C:f.txt: empty).
void DirectoryPart(const wchar_t* s, int32_t length, int32_t& from, int32_t& count) {
  from = ExtractFileDriveLength(s, length);
  count = LastPathDelimiter(s, length) - from;
  if (count < 0) count = 0;
}

// The end of the segment starting at `start` of a directory text: the next
// backslash, or the end.
int32_t SegmentEnd(const wchar_t* dir, int32_t length, int32_t start) {
  while (start < length && dir[start] != L'\\') ++start;
  return start;
}

// The relative path, without the guard. The directory copies live in the
// caller's variables so that the guard can release them after a raise.
void ComputeRelativePath(const wchar_t* base, const wchar_t* dest, wchar_t** result, wchar_t*& baseDir,
                         wchar_t*& destDir) {
  const int32_t baseLength = HostStringLength(base), destLength = HostStringLength(dest);
  const int32_t baseDrive = ExtractFileDriveLength(base, baseLength);
  const int32_t destDrive = ExtractFileDriveLength(dest, destLength);
  if (!SameText(base, baseDrive, dest, destDrive)) {
    g_strings.Assign(result, dest);
    return;
  }
  const int32_t fileStart = LastPathDelimiter(dest, destLength);
  int32_t baseFrom, baseCount, destFrom, destCount;
  DirectoryPart(base, baseLength, baseFrom, baseCount);
  DirectoryPart(dest, destLength, destFrom, destCount);
  baseDir = g_strings.New(base + baseFrom, baseCount);
  destDir = g_strings.New(dest + destFrom, destCount);

  // Segments in step while equal; a directory ends with an empty segment.
  int32_t b = 0, d = 0;
  bool baseLeft = true, destLeft = true;
  while (baseLeft && destLeft) {
    const int32_t be = SegmentEnd(baseDir, baseCount, b), de = SegmentEnd(destDir, destCount, d);
    if (!SameText(baseDir + b, be - b, destDir + d, de - d)) break;
    baseLeft = be < baseCount;
    destLeft = de < destCount;
    b = be + 1;
    d = de + 1;
  }
  // One "..\" per remaining base directory (the empty last segment is none).
  int32_t ups = 0;
  if (baseLeft)
    for (int32_t p = b; p < baseCount; ++p) ups += baseDir[p] == L'\\';
  int32_t segment = 0, restFrom = destCount;
  if (destLeft) {
    const int32_t de = SegmentEnd(destDir, destCount, d);
    segment = de - d;
    restFrom = de < destCount ? de + 1 : destCount;
  }
  const int32_t fileLength = destLength - fileStart;
  const int32_t total = 3 * ups + (segment ? segment + 1 : 0) + (destCount - restFrom) + fileLength;
  wchar_t* text = g_strings.NewUnicodeString(total);
  wchar_t* p = text;
  for (int32_t i = 0; i < ups; ++i, p += 3) std::memcpy(p, L"..\\", 3 * sizeof(wchar_t));
  if (segment) {
    std::memcpy(p, destDir + d, size_t(segment) * sizeof(wchar_t));
    p += segment;
    *p++ = L'\\';
  }
  std::memcpy(p, destDir + restFrom, size_t(destCount - restFrom) * sizeof(wchar_t));
  p += destCount - restFrom;
  std::memcpy(p, dest + fileStart, size_t(fileLength) * sizeof(wchar_t));
  g_strings.StoreNew(result, text);
}

// The guard's report: a host exception object as it is, anything else as
// the base exception with a description.
void ReportGuardedException(const THostCaught& caught, bool cppFailure) {
  if (caught.Object) {
    ReportObjectToHostHandler(caught.Object);
    FreeHostObject(caught.Object);
    return;
  }
  wchar_t text[96];
  if (cppFailure)
    std::swprintf(text, 96, L"Unexpected exception in Quillmend");
  else
    std::swprintf(text, 96, L"External exception %08lX", caught.Code);
  ReportToHostHandler(text);
}

}  // namespace

int32_t LastPathDelimiter(const wchar_t* s, int32_t length) {
  while (length > 0 && !IsPathDelimiter(s[length - 1])) --length;
  return length;
}

int32_t LastExtDelimiter(const wchar_t* s, int32_t length) {
  while (length > 0 && !IsExtDelimiter(s[length - 1])) --length;
  return length;
}

int32_t ExtractFileDriveLength(const wchar_t* s, int32_t length) {
  if (length <= 1) return 0;
  if (s[1] == L':') return 2;
  if (s[0] != L'\\' || s[1] != L'\\') return 0;
  // 1-based: count backslashes from position 3 until the second one, the
  // last character not examined.
  int32_t i = 3, backslashes = 0;
  while (i < length && backslashes < 2) {
    if (s[i - 1] == L'\\') ++backslashes;
    if (backslashes < 2) ++i;
  }
  const int32_t drive = i <= length && s[i - 1] == L'\\' ? i - 1 : i;
  // "\\" alone would count past its end.
  return drive < length ? drive : length;
}

void QM_REGISTER ExtractFilePathFast(const wchar_t* s, wchar_t** result) {
  const int32_t length = HostStringLength(s);
  StoreRange(s, length, 0, LastPathDelimiter(s, length), result);
}

void QM_REGISTER ExtractFileDirFast(const wchar_t* s, wchar_t** result) {
  const int32_t length = HostStringLength(s);
  int32_t i = LastPathDelimiter(s, length);
  if (i > 1 && s[i - 1] == L'\\' && !IsPathDelimiter(s[i - 2])) --i;
  StoreRange(s, length, 0, i, result);
}

void QM_REGISTER ExtractFileNameFast(const wchar_t* s, wchar_t** result) {
  const int32_t length = HostStringLength(s);
  const int32_t i = LastPathDelimiter(s, length);
  StoreRange(s, length, i, length - i, result);
}

void QM_REGISTER ExtractFileExtFast(const wchar_t* s, wchar_t** result) {
  const int32_t length = HostStringLength(s);
  const int32_t i = LastExtDelimiter(s, length);
  if (i == 0 || s[i - 1] != L'.')
    g_strings.StoreNew(result, nullptr);
  else
    StoreRange(s, length, i - 1, length - i + 1, result);
}

void QM_REGISTER ExtractModuleNameFast(const wchar_t* s, wchar_t** result) {
  const int32_t length = HostStringLength(s);
  int32_t i = length, dot = 0;
  for (; i > 0; --i) {
    const wchar_t c = s[i - 1];
    if (c == L'.') {
      if (!dot) dot = i;
    } else if (IsPathDelimiter(c)) {
      break;
    }
  }
  // The name is [i, length) (0-based); the remembered dot lies in it.
  const int32_t end = dot ? dot - 1 : length;
  StoreRange(s, length, i, end - i, result);
}

void QM_REGISTER ChangeFileExtFast(const wchar_t* s, const wchar_t* ext, wchar_t** result) {
  const int32_t length = HostStringLength(s), extLength = HostStringLength(ext);
  if (length == 0) {
    g_strings.Assign(result, ext);
    return;
  }
  // From the last character back to the second; the first is not examined.
  int32_t i = length;
  while (i > 1 && !IsExtDelimiter(s[i - 1])) --i;
  const int32_t kept = s[i - 1] == L'.' ? i - 1 : length;
  const int32_t total = kept + extLength;
  if (total == length && std::memcmp(s + kept, ext, size_t(extLength) * sizeof(wchar_t)) == 0) {
    g_strings.Assign(result, s);
    return;
  }
  if (total == 0) {
    g_strings.StoreNew(result, nullptr);
    return;
  }
  // In place only when the destination holds a string nobody else holds, and
  // not the extension itself (E := ChangeFileExt(S, E)): resizing it would
  // overwrite the extension before it is copied.
  wchar_t* held = *result;
  if (held != ext && g_strings.ResizeUnique(result, total)) {
    // Holding S itself, its first `kept` characters are already in place (the block may have moved).
    if (held != s) std::memcpy(*result, s, size_t(kept) * sizeof(wchar_t));
    std::memcpy(*result + kept, ext, size_t(extLength) * sizeof(wchar_t));
    return;
  }
  wchar_t* text = g_strings.NewUnicodeString(total);
  std::memcpy(text, s, size_t(kept) * sizeof(wchar_t));
  std::memcpy(text + kept, ext, size_t(extLength) * sizeof(wchar_t));
  g_strings.StoreNew(result, text);
}

// Runs inside a host try/except: any exception goes to the application's
// exception handler, the redirection is removed, and the host's own
// function answers this call and every later one.
void QM_REGISTER ExtractRelativePathFast(const wchar_t* base, const wchar_t* dest, wchar_t** result) {
  wchar_t* baseDir = nullptr;
  wchar_t* destDir = nullptr;
  bool cppFailure = false;
  THostCaught caught;
  const bool done = HostTryExcept(
      [&] {
        try {
          ComputeRelativePath(base, dest, result, baseDir, destDir);
        } catch (...) {
          cppFailure = true;
        }
      },
      caught);
  if (baseDir) g_strings.Clear(&baseDir);
  if (destDir) g_strings.Clear(&destDir);
  if (done && !cppFailure) return;
  ReportGuardedException(caught, cppFailure);
  UndoTransactionsOf(ExtractRelativePathName);
  g_hostExtractRelativePath(base, dest, result);
}

TPatchPlan FilePathStrFunctionsPlan() {
  TPatchPlan plan(FilePathStrFunctions, L"Faster string functions for FilePath operations", TInstallMoment::UnitInit);
  const THostStringSites strings = AddHostStringSites(plan);
  const struct {
    const wchar_t* Label;
    const wchar_t* Module;
    const char* Export;
    TTarget Replacement;
  } targets[] = {
      {L"ExtractModuleName", CoreIdeModule, "@Codemgr@ExtractModuleName$qqrx20System@UnicodeString",
       &ExtractModuleNameFast},
      {L"ChangeFileExt", RtlModule, "@Sysutils@ChangeFileExt$qqrx20System@UnicodeStringt1", &ChangeFileExtFast},
      {L"ExtractFilePath", RtlModule, "@Sysutils@ExtractFilePath$qqrx20System@UnicodeString", &ExtractFilePathFast},
      {L"ExtractFileDir", RtlModule, "@Sysutils@ExtractFileDir$qqrx20System@UnicodeString", &ExtractFileDirFast},
      {L"ExtractFileName", RtlModule, "@Sysutils@ExtractFileName$qqrx20System@UnicodeString", &ExtractFileNameFast},
      {L"ExtractFileExt", RtlModule, "@Sysutils@ExtractFileExt$qqrx20System@UnicodeString", &ExtractFileExtFast},
  };
  for (const auto& t : targets) plan.Redirect(plan.Export(t.Label, t.Module, t.Export), t.Replacement);
  plan.OnCommit([strings](const TPlanValues& v) { g_strings = HostStringsAt(v, strings); });
  return plan;
}

TPatchPlan ExtractRelativePathPlan() {
  TPatchPlan plan(ExtractRelativePathName, L"Faster ExtractRelativePath replacement", TInstallMoment::UnitInit);
  plan.Needs({FilePathStrFunctions});
  const THostStringSites strings = AddHostStringSites(plan);
  TSiteRef target =
      plan.Export(L"ExtractRelativePath", RtlModule, "@Sysutils@ExtractRelativePath$qqrx20System@UnicodeStringt1");
  plan.Expect(L"no ordinal file-name comparison", [](const TPlanValues&) { return OrdinalCompareProc != nullptr; });
  plan.Redirect(target, &ExtractRelativePathFast);
  plan.OnCommit([strings, target](const TPlanValues& v) {
    g_strings = HostStringsAt(v, strings);
    g_hostExtractRelativePath = reinterpret_cast<TRelativePath>(v.Site(target));
  });
  return plan;
}

std::vector<TPatchPlan> FastFilePathStrFunctionsPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(FilePathStrFunctionsPlan());
  plans.push_back(ExtractRelativePathPlan());
  return plans;
}

void InstallFastFilePathStrFunctions() {
  TPatchPlan functions = FilePathStrFunctionsPlan();
  InstallPlan(functions);
  // Registered only when the path functions are enabled (applied or failed).
  if (!IsPatchRegistered(FilePathStrFunctions)) return;
  TPatchPlan relative = ExtractRelativePathPlan();
  InstallPlan(relative);
}

const TUnitInfo Unit_FastFilePathStrFunctions = {"FastFilePathStrFunctions", &InstallFastFilePathStrFunctions,
                                                 nullptr, &FastFilePathStrFunctionsPlans};

}  // namespace Quillmend
