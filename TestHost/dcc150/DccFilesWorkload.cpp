// The compiler's file workload: a project tree on disk compiled by the IDE
// pass after pass — cold after SetCompState, warm, after touching 5% of the
// sources and includes (the IDE saved them: SetCompState), warm again. Some
// sources are open in editors, some of them modified, one exists only in an
// editor. Per pass the time, the process's file queries and FindNextFileW
// calls (bds.exe's own hooks on kernel32) and the pass's checksums.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "IdeServices/ModuleServices.h"
#include "bds/FileQueryCounters.h"
#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "dcc150/DccFilesDriver.h"

namespace QmHost {

namespace {

constexpr uint32_t TreeSeed = 2021;
constexpr int TouchPercent = 5;

bool ParseCount(const std::wstring& text, long minimum, long& value) {
  wchar_t* end = nullptr;
  value = std::wcstol(text.c_str(), &end, 10);
  return !text.empty() && *end == L'\0' && value >= minimum && value <= 1000000;
}

double NowMs() {
  static const double perMs = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(f.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) / perMs;
}

// A fixed date-time later than every file of the tree (a buffer modified in the editor).
double EditedTime() {
  SYSTEMTIME t = {2021, 3, 0, 14, 10, 20, 30, 0};
  FILETIME f;
  SystemTimeToFileTime(&t, &f);
  return DateTimeOfLocalFileTime(f);
}

// Opens editors: every 50th unit's source (its buffer as saved, every
// second of them modified), the unit only an editor holds, a module without
// files and an editor without a modification time.
int OpenEditors(const DccFilesDriver::Driver& driver, const std::wstring& root, int units) {
  CloseAllModules();
  wchar_t path[MAX_PATH * 2];
  for (int u = 7, n = 0; u < units; u += 50, ++n) {
    if (!driver.SourcePath(u, path, int32_t(std::size(path)))) continue;
    WIN32_FILE_ATTRIBUTE_DATA data;
    FILETIME local;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data) || !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local))
      continue;
    SetEditorModified(OpenModule(path), n % 2 ? EditedTime() : DateTimeOfLocalFileTime(local));
  }
  if (driver.SourcePath(-1, path, int32_t(std::size(path)))) SetEditorModified(OpenModule(path), EditedTime());
  OpenModule(root + L"\\Proj.groupproj", false);
  OpenModule(root + L"\\Proj.dpr");
  return OpenModuleCount();
}

int RunDccFiles(HostApp& app, const std::vector<std::wstring>& args) {
  long dirs = 0, files = 0, units = 0, passes = 0;
  if (args.size() != 4 || !ParseCount(args[0], 1, dirs) || !ParseCount(args[1], 1, files) ||
      !ParseCount(args[2], 1, units) || !ParseCount(args[3], 1, passes)) {
    app.Log(L"WORKLOAD-ERROR dccfiles: expected <dirs> <files> <units> <passes>");
    return 2;
  }
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  if (!dcc) dcc = LoadLibraryW((app.hostDir + L"dcc150.dll").c_str());
  DccFilesDriver::Driver driver;
  if (!dcc || !driver.Bind(dcc) || !driver.SetCompState) {
    app.Log(L"WORKLOAD-ERROR dccfiles: dcc150.dll or its exports are missing");
    return 2;
  }
  wchar_t current[MAX_PATH];
  const std::wstring root = std::wstring(current, GetCurrentDirectoryW(MAX_PATH, current)) + L"\\DccFilesProject";
  const int made = driver.MakeTree(root.c_str(), int32_t(dirs), int32_t(files), int32_t(units), TreeSeed);
  if (made < 0) {
    app.Log(L"WORKLOAD-ERROR dccfiles: cannot make the project tree");
    return 2;
  }
  const int editors = OpenEditors(driver, root, int(units));
  app.Log(L"DCCFILES-WORKLOAD dirs=" + std::to_wstring(dirs) + L" files=" + std::to_wstring(made) + L" units=" +
          std::to_wstring(units) + L" editors=" + std::to_wstring(editors));
  StartCountingFileQueries();
  for (int pass = 1; pass <= passes; ++pass) {
    if (pass == 3) driver.Touch(TouchPercent, TreeSeed + 3);
    if (pass == 1 || pass == 3) driver.SetCompState(pass);
    const FileQueryCounts before = FileQueries();
    const double start = NowMs();
    DccFilesDriver::TPassResult r{};
    driver.RunPass(pass, &r);
    const double ms = NowMs() - start;
    const FileQueryCounts after = FileQueries();
    wchar_t line[512];
    std::swprintf(line, 512,
                  L"DCCFILES-PASS %d ms=%.3f queries=%u findnext=%u searches=%u found=%u answers=%X recompiled=%u "
                  L"set=%X bytes=%u written=%X checkages=%u writes=%u",
                  pass, ms, after.Queries - before.Queries, after.FindNext - before.FindNext, r.Searches, r.Found,
                  r.Answers, r.Recompiled, r.RecompiledSet, r.BytesWritten, r.Written, r.CheckAgeCalls, r.WriteCalls);
    app.Log(line);
  }
  SetCurrentDirectoryW(current);
  return 0;
}

const WorkloadRegistration kDccFiles{
    L"dccfiles", RunDccFiles,
    L"dccfiles <dirs> <files> <units> <passes>  compiles a project tree on disk pass after pass, counting file queries"};

} // namespace

} // namespace QmHost
