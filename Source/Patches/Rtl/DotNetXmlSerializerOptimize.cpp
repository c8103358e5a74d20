#include "Patches/Rtl/DotNetXmlSerializerOptimize.h"

#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <memory>

#include "Hooking/CodeTransaction.h"

namespace Quillmend {

namespace {

constexpr const wchar_t* PatchName = L"Start.XmlSerializer";
constexpr DWORD CopyBlock = 65536;
constexpr size_t KeySearchBytes = 4096;
constexpr size_t LongestKey = 128;

using TCreateProcessW = decltype(&CreateProcessW);
using TGetExitCodeProcess = decltype(&GetExitCodeProcess);

TCreateProcessW g_createProcess = nullptr;          // the original entry (the hook's way past it)
TGetExitCodeProcess g_getExitCode = nullptr;        // the same, once that hook is in place
std::atomic<bool> g_intercepting{false};
std::atomic<HANDLE> g_substitute{nullptr};          // the substitute process handed out last
std::atomic<DWORD> g_substituteThread{0};           // its thread (a closed handle value may come back)
SRWLOCK g_exitHookLock = SRWLOCK_INIT;
std::wstring* g_cacheDirectory = nullptr;           // a test's choice

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring WithExtension(const std::wstring& path, const wchar_t* extension) {
  const size_t slash = path.find_last_of(L"\\/:");
  const size_t dot = path.find_last_of(L'.');
  const size_t end = dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash) ? dot : path.size();
  return path.substr(0, end) + extension;
}

std::wstring FileNameOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/:");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool ReadStart(const std::wstring& path, size_t bytes, std::string& out) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  out.assign(bytes, '\0');
  DWORD read = 0;
  const bool ok = ReadFile(file, &out[0], DWORD(bytes), &read, nullptr) != FALSE;
  out.resize(read);
  CloseHandle(file);
  return ok;
}

std::wstring LoadText(const std::wstring& path) {
  std::string bytes;
  if (!ReadStart(path, 1 << 20, bytes)) return std::wstring();
  size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  const int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data() + start, int(bytes.size() - start), nullptr, 0);
  std::wstring text(size_t(length), L'\0');
  if (length) MultiByteToWideChar(CP_UTF8, 0, bytes.data() + start, int(bytes.size() - start), &text[0], length);
  return text;
}

// The cache entry of a key: the assembly and its source.
struct TCacheEntry {
  std::wstring Assembly, Source;
};

TCacheEntry EntryOf(const std::string& key) {
  const std::wstring base = SerializerCacheDirectory() + L"\\dynxmlserializer." + std::wstring(key.begin(), key.end());
  return {base + L".dll", base + L".cs"};
}

// Stored so that a reader never pairs a new source with an old assembly:
// the old source goes first (no hit is possible without it), the assembly
// arrives under a temporary name and is renamed, then the source the same
// way. Any failure removes both.
void Store(const TCacheEntry& entry, const std::wstring& output, const std::wstring& source) {
  CreateDirectoryW(SerializerCacheDirectory().c_str(), nullptr);
  const std::wstring suffix = L".tmp" + std::to_wstring(GetCurrentProcessId());
  auto place = [&](const std::wstring& from, const std::wstring& to) {
    const std::wstring temporary = to + suffix;
    if (CopyFileChunked(from, temporary) && MoveFileExW(temporary.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
      return true;
    DeleteFileW(temporary.c_str());
    return false;
  };
  const bool oldSourceGone = DeleteFileW(entry.Source.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
  if (oldSourceGone && place(output, entry.Assembly) && place(source, entry.Source)) return;
  DeleteFileW(entry.Source.c_str());
  DeleteFileW(entry.Assembly.c_str());
}

DWORD WINAPI EndAtOnce(LPVOID) { return 0; }

// The exit-code interception, installed at the first hit and kept (other
// handles go on to the system). False when it cannot be installed: then no
// hit is taken.
bool EnsureExitCodeHook() {
  AcquireSRWLockExclusive(&g_exitHookLock);
  bool ready = g_getExitCode != nullptr;
  if (!ready) {
    void* entry = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetExitCodeProcess"));
    TCodeTransaction hook(PatchName);
    ready = entry &&
            hook.StageWinApiHook(entry, reinterpret_cast<const void*>(&GetExitCodeWithSubstitute),
                                 reinterpret_cast<void**>(&g_getExitCode), L"GetExitCodeProcess") &&
            hook.Commit();
    if (!ready) g_getExitCode = nullptr;
  }
  ReleaseSRWLockExclusive(&g_exitHookLock);
  return ready;
}

// What the interception decided about one process creation.
struct TDecision {
  bool CompilerWithOutput = false;
  bool Hit = false;
  TCacheEntry Entry;  // empty when nothing is to be stored
  std::wstring Output, Source;
};

TDecision Decide(const wchar_t* commandLine) {
  TDecision decision;
  if (!commandLine) return decision;
  const std::wstring responseFile = CompilerResponseFile(commandLine);
  if (responseFile.empty()) return decision;
  const TCompilerRun run = ParseResponseFile(LoadText(responseFile));
  decision.CompilerWithOutput = run.HasOutput;
  if (!run.HasOutput || !run.IsSerializer) return decision;
  std::string start;
  if (!ReadStart(run.Source, KeySearchBytes, start)) return decision;
  const std::string key = CacheKeyFromSource(start);
  if (key.empty()) return decision;
  decision.Entry = EntryOf(key);
  decision.Output = run.Output;
  decision.Source = run.Source;
  if (FileExists(decision.Entry.Assembly) && FilesEqual(decision.Entry.Source, run.Source) &&
      EnsureExitCodeHook())
    decision.Hit = CopyFileChunked(decision.Entry.Assembly, WithExtension(run.Output, L".dll"));
  return decision;
}

TPatchPlan SerializerPlan() {
  TPatchPlan plan(PatchName, L".NET XmlSerializer compiler output cache", TInstallMoment::UnitInit);
  TSiteRef createProcess = plan.Export(L"CreateProcessW", L"kernel32.dll", "CreateProcessW");
  plan.HookWinApi(createProcess, &CreateProcessWithSerializerCache, reinterpret_cast<void**>(&g_createProcess));
  plan.OnCommit([](const TPlanValues&) { g_intercepting = true; });
  plan.OnRollback([] { g_intercepting = false; });
  return plan;
}

void InitializeDotNetXmlSerializerOptimize() {
  TPatchPlan plan = SerializerPlan();
  InstallPlan(plan);
}

void FinalizeDotNetXmlSerializerOptimize() {
  g_intercepting = false;
  delete g_cacheDirectory;
  g_cacheDirectory = nullptr;
}

}  // namespace

std::vector<std::wstring> SplitCommandLine(const std::wstring& text) {
  std::vector<std::wstring> arguments;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    while (i < n && text[i] <= L' ') ++i;
    if (i >= n) break;
    const size_t start = i;
    if (text[i] == L'"') {
      const size_t close = text.find(L'"', i + 1);
      i = close == std::wstring::npos ? n : close + 1;
    } else {
      while (i < n && text[i] > L' ') {
        if (text[i] == L'"') {
          const size_t close = text.find(L'"', i + 1);
          i = close == std::wstring::npos ? n : close + 1;
        } else {
          ++i;
        }
      }
    }
    arguments.push_back(text.substr(start, i - start));
  }
  return arguments;
}

std::wstring Unquote(const std::wstring& argument) {
  if (argument.size() >= 2 && argument.front() == L'"' && argument.back() == L'"')
    return argument.substr(1, argument.size() - 2);
  return argument;
}

bool FilesEqual(const std::wstring& a, const std::wstring& b) {
  HANDLE first = CreateFileW(a.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (first == INVALID_HANDLE_VALUE) return false;
  HANDLE second = CreateFileW(b.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (second == INVALID_HANDLE_VALUE) {
    CloseHandle(first);
    return false;
  }
  LARGE_INTEGER sizeA{}, sizeB{};
  bool equal = GetFileSizeEx(first, &sizeA) && GetFileSizeEx(second, &sizeB) && sizeA.QuadPart == sizeB.QuadPart;
  std::unique_ptr<char[]> x(new char[CopyBlock]), y(new char[CopyBlock]);
  for (LONGLONG left = sizeA.QuadPart; equal && left > 0;) {
    DWORD readA = 0, readB = 0;
    const DWORD want = DWORD(left < CopyBlock ? left : CopyBlock);
    equal = ReadFile(first, x.get(), want, &readA, nullptr) && ReadFile(second, y.get(), want, &readB, nullptr) &&
            readA == want && readB == want && std::memcmp(x.get(), y.get(), want) == 0;
    left -= want;
  }
  CloseHandle(first);
  CloseHandle(second);
  return equal;
}

bool CopyFileChunked(const std::wstring& source, const std::wstring& target) {
  HANDLE in = CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return false;
  HANDLE out = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    CloseHandle(in);
    return false;
  }
  std::unique_ptr<char[]> block(new char[CopyBlock]);
  bool complete = true;
  for (;;) {
    DWORD read = 0, written = 0;
    if (!ReadFile(in, block.get(), CopyBlock, &read, nullptr)) {
      complete = false;
      break;
    }
    if (read == 0) break;
    if (!WriteFile(out, block.get(), read, &written, nullptr) || written != read) {
      complete = false;
      break;
    }
  }
  CloseHandle(in);
  complete = CloseHandle(out) && complete;
  if (!complete) DeleteFileW(target.c_str());
  return complete;
}

std::string CacheKeyFromSource(const std::string& sourceStart) {
  const std::string head = sourceStart.substr(0, KeySearchBytes);
  if (head.find("namespace Microsoft.Xml.Serialization.GeneratedAssembly") == std::string::npos) return "";
  const size_t write = head.find(" void Write");
  if (write == std::string::npos) return "";
  const size_t open = head.find('(', write);
  if (open == std::string::npos) return "";
  size_t first = write + std::strlen(" void"), last = open;
  while (first < last && uint8_t(head[first]) <= ' ') ++first;
  while (last > first && uint8_t(head[last - 1]) <= ' ') --last;
  const std::string name = head.substr(first, last - first);
  // The key becomes part of a file name: identifier characters and dots only.
  if (name.empty() || name.size() + 4 > LongestKey) return "";
  for (char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.'))
      return "";
  if (name.find("..") != std::string::npos) return "";
  return "8.0." + name;
}

TCompilerRun ParseResponseFile(const std::wstring& text) {
  TCompilerRun run;
  const std::vector<std::wstring> arguments = SplitCommandLine(text);
  for (const std::wstring& argument : arguments) {
    if (argument.compare(0, 5, L"/out:") == 0) {
      run.Output = Unquote(argument.substr(5));
      run.HasOutput = true;
    } else if (argument == L"/D:_DYNAMIC_XMLSERIALIZER_COMPILATION") {
      run.IsSerializer = true;
    }
  }
  if (!arguments.empty()) run.Source = Unquote(arguments.back());
  return run;
}

std::wstring CompilerResponseFile(const std::wstring& commandLine) {
  if (commandLine.find(L"\\csc.exe\"") == std::wstring::npos) return L"";
  const std::vector<std::wstring> arguments = SplitCommandLine(commandLine);
  if (arguments.size() < 2 || lstrcmpiW(FileNameOf(Unquote(arguments.front())).c_str(), L"csc.exe") != 0) return L"";
  const std::wstring& last = arguments.back();
  if (last.empty() || last[0] != L'@') return L"";
  return Unquote(last.substr(1));
}

std::wstring SerializerCacheDirectory() {
  if (g_cacheDirectory && !g_cacheDirectory->empty()) return *g_cacheDirectory;
  wchar_t folder[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder))) return L"";
  std::wstring path = folder;
  while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return path + L"\\Quillmend";
}

void SetSerializerCacheDirectory(const std::wstring& directory) {
  if (!g_cacheDirectory) g_cacheDirectory = new std::wstring;
  *g_cacheDirectory = directory;
}

bool SerializerInterceptionActive() { return g_intercepting; }

BOOL WINAPI CreateProcessWithSerializerCache(LPCWSTR application, LPWSTR commandLine,
                                             LPSECURITY_ATTRIBUTES processAttributes,
                                             LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
                                             DWORD flags, LPVOID environment, LPCWSTR currentDirectory,
                                             LPSTARTUPINFOW startupInfo, LPPROCESS_INFORMATION processInformation) {
  auto real = [&] {
    return g_createProcess(application, commandLine, processAttributes, threadAttributes, inheritHandles, flags,
                           environment, currentDirectory, startupInfo, processInformation);
  };
  if (!g_intercepting) return real();
  TDecision decision;
  try {
    decision = Decide(commandLine);
  } catch (...) {
    decision = TDecision();  // recognising failed: the compiler runs
  }
  // The first compiler run that names an output ends the interception.
  if (decision.CompilerWithOutput) g_intercepting = false;
  if (decision.Hit) {
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 4096, &EndAtOnce, nullptr, 0, &threadId);
    if (thread) {
      g_substituteThread = threadId;
      g_substitute = thread;
      processInformation->hProcess = thread;
      processInformation->hThread = nullptr;
      processInformation->dwProcessId = GetCurrentProcessId();
      processInformation->dwThreadId = threadId;
      SetLastError(0);
      return TRUE;
    }
  }
  const BOOL created = real();
  if (created && !decision.Entry.Assembly.empty()) {
    const DWORD lastError = GetLastError();
    try {
      DWORD exitCode = 1;
      WaitForSingleObject(processInformation->hProcess, INFINITE);
      // Only a compilation that succeeded is worth serving again.
      if (GetExitCodeProcess(processInformation->hProcess, &exitCode) && exitCode == 0 &&
          FileExists(WithExtension(decision.Output, L".dll")))
        Store(decision.Entry, WithExtension(decision.Output, L".dll"), decision.Source);
    } catch (...) {
    }
    SetLastError(lastError);
  }
  return created;
}

BOOL WINAPI GetExitCodeWithSubstitute(HANDLE process, LPDWORD exitCode) {
  HANDLE substitute = process;
  if (process && process == g_substitute.load() && GetThreadId(process) == g_substituteThread.load() &&
      g_substitute.compare_exchange_strong(substitute, nullptr)) {
    if (exitCode) *exitCode = 0;
    SetLastError(0);
    return TRUE;
  }
  return g_getExitCode(process, exitCode);
}

std::vector<TPatchPlan> DotNetXmlSerializerOptimizePlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(SerializerPlan());
  return plans;
}

const TUnitInfo Unit_DotNetXmlSerializerOptimize = {"DotNetXmlSerializerOptimize",
                                                    &InitializeDotNetXmlSerializerOptimize,
                                                    &FinalizeDotNetXmlSerializerOptimize,
                                                    &DotNetXmlSerializerOptimizePlans};

}  // namespace Quillmend
