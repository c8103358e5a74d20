#include "CppStandIns.h"

#include <stdexcept>

#include "Framework/LibraryEntry.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/CodeTransaction.h"
#include "Patches/CppCompiler/BccOptimizations.h"
#include "Patches/CppCompiler/CppCompilerOptimization.h"
#include "Patches/CppCompiler/DebuggerCppSymbolOptimization.h"
#include "TestPaths.h"

namespace CppStandIns {

namespace {

Comp32xDriver::TDriver g_compiler;

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

template <class T>
T Export(const wchar_t* module, const char* name) {
  HMODULE handle = GetModuleHandleW(module);
  FARPROC p = handle ? GetProcAddress(handle, name) : nullptr;
  if (!p) throw std::runtime_error(std::string("missing export ") + name);
  return reinterpret_cast<T>(reinterpret_cast<void*>(p));
}

const Quillmend::TPatchReport* Report(const std::wstring& patch, std::vector<Quillmend::TPatchReport>& reports) {
  reports = Quillmend::PatchReports();
  for (const Quillmend::TPatchReport& r : reports)
    if (r.Name == patch) return &r;
  return nullptr;
}

}  // namespace

std::wstring ModulePath(const std::wstring& file, const std::string& variant) {
  const std::wstring build = BuildDirectory();
  if (!variant.empty()) {
    std::wstring altered = build + L"\\host-variants\\" + Widen(variant) + L"\\" + file;
    if (GetFileAttributesW(altered.c_str()) != INVALID_FILE_ATTRIBUTES) return altered;
  }
  return build + L"\\host\\" + file;
}

void Load(const std::string& variant) {
  for (const wchar_t* file : {L"comp32x.dll", L"win32debugide150.bpl", L"coreide150.bpl", L"delphicoreide150.bpl"})
    if (!LoadLibraryW(ModulePath(file, variant).c_str())) throw std::runtime_error("cannot load a stand-in");
  Bind();
}

void Bind() {
  if (!Comp32xDriver::Bind(GetModuleHandleW(L"comp32x.dll"), g_compiler))
    throw std::runtime_error("comp32x.dll lacks a driver export");
}

const Comp32xDriver::TDriver& Compiler() { return g_compiler; }

void QueueCppProcs() {
  static bool queued = false;
  if (queued) return;
  queued = true;
  // As the library's link order runs them.
  Quillmend::Unit_CppCompilerOptimization.Initialize();
  Quillmend::Unit_DebuggerCppSymbolOptimization.Initialize();
  Quillmend::Unit_BccOptimizations.Initialize();
}

void RunCppProcs() {
  QueueCppProcs();
  Quillmend::RunCppCompilerInitProcs();
}

HMODULE ReloadCompiler() {
  HMODULE compiler = GetModuleHandleW(L"comp32x.dll");
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(compiler, path, MAX_PATH);
  const auto* base = reinterpret_cast<const uint8_t*>(compiler);
  const size_t size = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew)
                          ->OptionalHeader.SizeOfImage;
  while (FreeLibrary(compiler) && GetModuleHandleW(L"comp32x.dll")) {
  }
  Quillmend::DropTransactionsIn(base, size);
  HMODULE reloaded = LoadLibraryW(path);
  if (!reloaded) throw std::runtime_error("cannot load comp32x.dll again");
  Bind();
  return reloaded;
}

std::wstring Status(const std::wstring& patch) {
  std::vector<Quillmend::TPatchReport> reports;
  const Quillmend::TPatchReport* r = Report(patch, reports);
  if (!r) return L"";
  return r->Status == Quillmend::psApplied ? L"applied" : r->Status == Quillmend::psIgnored ? L"ignored" : L"failed";
}

std::wstring Reason(const std::wstring& patch) {
  std::vector<Quillmend::TPatchReport> reports;
  const Quillmend::TPatchReport* r = Report(patch, reports);
  return r ? r->Reason : L"<not registered>";
}

void* GetDebugHook() {
  using TGetDebugHook = void*(__attribute__((regparm(3), stdcall))*)(void* self);
  return Export<TGetDebugHook>(L"win32debugide150.bpl", Quillmend::GetDebugHookExport)(nullptr);
}

uint32_t DebuggerLookups() {
  return Export<uint32_t(__stdcall*)()>(L"win32debugide150.bpl", "Win32DebugLookupCount")();
}

void RaiseInGetDebugHook() {
  Export<void(__stdcall*)(int32_t)>(L"win32debugide150.bpl", "Win32DebugRaiseInGetDebugHook")(1);
}

int32_t RunKibitzProgress(void* monitor, int32_t count) {
  return Export<int32_t(__stdcall*)(void*, int32_t)>(L"delphicoreide150.bpl", "DelphiCoreRunKibitzProgress")(monitor,
                                                                                                          count);
}

uint32_t PeekMessageCalls() {
  return Export<uint32_t(__stdcall*)()>(L"delphicoreide150.bpl", "DelphiCorePeekMessageCalls")();
}

void* NewMonitor(bool canceled) {
  return Export<void*(__stdcall*)(int32_t)>(L"coreide150.bpl", "KibitzingMonitorCreate")(canceled ? 1 : 0);
}

void** DoKibitzProgressVariable() {
  return Export<void**>(L"delphicoreide150.bpl", Quillmend::DoKibitzProgressExport);
}

std::vector<std::string> Identifiers(int count, uint32_t randomSeed) {
  static const char first[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_";
  static const char rest[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_0123456789";
  std::vector<std::string> names;
  names.reserve(size_t(count));
  uint32_t state = randomSeed;
  auto next = [&state] { return (state = state * 1103515245u + 12345u) >> 8; };
  for (int i = 0; i < count; ++i) {
    std::string name(1, first[next() % (sizeof first - 1)]);
    const size_t length = 2 + next() % 14;
    while (name.size() < length) name += rest[next() % (sizeof rest - 1)];
    names.push_back(name + std::to_string(i));
  }
  return names;
}

std::vector<uint8_t> Bytes(const void* address, size_t size) {
  const auto* p = static_cast<const uint8_t*>(address);
  return std::vector<uint8_t>(p, p + size);
}

}  // namespace CppStandIns
