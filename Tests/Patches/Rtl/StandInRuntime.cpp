#include "StandInRuntime.h"

#include <stdexcept>

#include "Common/HostGuard.h"
#include "Framework/PatchRegistry.h"
#include "Patches/Rtl/DfmOptimization.h"
#include "Patches/Rtl/FastFilePathStrFunctions.h"
#include "Patches/Rtl/IDEAnsiCompareFileName.h"
#include "TestPaths.h"

namespace RtlTest {

namespace {

TRuntime g_runtime;
std::vector<std::wstring> g_handled;

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

HMODULE LoadModule(const std::wstring& file, const std::string& variant) {
  std::wstring path = BuildDirectory() + L"\\host\\" + file;
  if (!variant.empty()) {
    std::wstring altered = BuildDirectory() + L"\\host-variants\\" + std::wstring(variant.begin(), variant.end()) +
                           L"\\" + file;
    if (FileExists(altered)) path = altered;
  }
  HMODULE module = LoadLibraryW(path.c_str());
  if (!module) throw std::runtime_error("cannot load a stand-in module");
  return module;
}

void QM_HOST_REGISTER RecordingHandler(void* data, void* sender) {
  void** current = static_cast<void**>(
      reinterpret_cast<void*>(GetProcAddress(g_runtime.Rtl, QmHost::RtlExport::ExceptObjectForHandler)));
  void* object = current ? *current : nullptr;
  g_handled.push_back(object ? QmHost::HostClassName(object) + L": " + QmHost::HostExceptionMessage(object)
                             : L"<none>");
}

}  // namespace

const TRuntime& Load(const std::string& variant) {
  if (!g_runtime.Rtl) {
    LoadModule(L"rtl150.bpl", variant);
    LoadModule(L"coreide150.bpl", variant);
  }
  return Bind();
}

const TRuntime& Bind() {
  if (!g_runtime.Rtl) {
    g_runtime.Rtl = GetModuleHandleW(L"rtl150.bpl");
    g_runtime.CoreIde = GetModuleHandleW(L"coreide150.bpl");
    if (!g_runtime.Rtl) throw std::runtime_error("rtl150.bpl is not loaded");
    g_runtime.Calls.Resolve(g_runtime.Rtl, g_runtime.CoreIde);
    g_runtime.Host = QmHost::LoadedHostRtl();
    if (!g_runtime.Host) throw std::runtime_error("rtl150.bpl lacks its basic exports");
  }
  return g_runtime;
}

const TRuntime& Runtime() { return Bind(); }

void InstallPatches(const std::wstring& disabled) {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", disabled.c_str());
  RunUnitInitializations();
}

void RunUnitInitializations() {
  Quillmend::InstallIDEAnsiCompareFileName();
  Quillmend::InstallFastFilePathStrFunctions();
  Quillmend::InstallDfmOptimization();
}

std::wstring Status(const std::wstring& patch) {
  for (const Quillmend::TPatchReport& r : Quillmend::PatchReports())
    if (r.Name == patch)
      return r.Status == Quillmend::psApplied ? L"applied" : r.Status == Quillmend::psIgnored ? L"ignored" : L"failed";
  return L"";
}

std::wstring Reason(const std::wstring& patch) {
  for (const Quillmend::TPatchReport& r : Quillmend::PatchReports())
    if (r.Name == patch) return r.Reason;
  return L"";
}

THostText::THostText(const std::wstring& text) : FText(Runtime().Host->NewString(text)) {}
THostText::~THostText() { Runtime().Host->Release(FText); }

std::wstring Text(const wchar_t* hostString) {
  if (!hostString) return std::wstring();
  return std::wstring(hostString, size_t(QmHost::StrHeader(hostString)->length));
}

int32_t RefCount(const wchar_t* hostString) { return hostString ? QmHost::StrHeader(hostString)->refCount : 0; }

TRaised Guarded(const std::function<void()>& f) {
  QmHost::HostExceptionReport report;
  TRaised raised;
  if (!QmHost::CallHostGuarded(f, report, Runtime().Host)) {
    raised.Raised = true;
    raised.ClassName = report.className;
    raised.Message = report.message;
  }
  return raised;
}

long Allocations() { return Runtime().Calls.allocationCount(); }
long LiveBlocks() { return Runtime().Calls.liveBlockCount(); }

void RecordHandledExceptions() {
  const QmHost::HostRtl* host = Runtime().Host;
  host->applicationHandleException->code = reinterpret_cast<void*>(&RecordingHandler);
  host->applicationHandleException->data = nullptr;
}

const std::vector<std::wstring>& HandledExceptions() { return g_handled; }

TConversion Convert(const std::string& text, long failAllocation) {
  const QmHost::RtlConversions& calls = Runtime().Calls;
  void* input = calls.NewMemoryStream();
  void* output = calls.NewMemoryStream();
  QmHost::FillMemoryStream(input, text);
  TConversion result;
  result.Error = Guarded([&] {
    calls.failAllocation(failAllocation);
    calls.objectTextToBinary(input, output);
  });
  calls.failAllocation(0);
  result.Ok = !result.Error.Raised;
  result.Output = QmHost::MemoryStreamBytes(output);
  result.InputPosition = QmHost::MemoryStreamPosition(input);
  Runtime().Host->objectFree(input);
  Runtime().Host->objectFree(output);
  return result;
}

std::wstring FromUtf8(const std::string& text) {
  std::wstring out(text.size(), L'\0');
  out.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), &out[0], int(out.size()))));
  return out;
}

std::string ToUtf8(const std::wstring& text) {
  std::string out(text.size() * 3, '\0');
  out.resize(size_t(WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &out[0], int(out.size()), nullptr,
                                        nullptr)));
  return out;
}

}  // namespace RtlTest

namespace RtlTest {

std::wstring Call(QmHost::RtlConversions::StringFn f, const std::wstring& s) {
  THostText text(s), result(L"");
  f(text.Get(), result.Var());
  return Text(result.Get());
}

std::wstring Call(QmHost::RtlConversions::StringPairFn f, const std::wstring& a, const std::wstring& b) {
  THostText first(a), second(b), result(L"");
  f(first.Get(), second.Get(), result.Var());
  return Text(result.Get());
}

}  // namespace RtlTest
