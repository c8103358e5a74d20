// Help Insight's documentation as the code editor module hands it out: the
// module's QueryInterface answers the documentation interface with one
// documentation object W (or fails, as set), W records each call of its
// methods 3 to 9 with its arguments and answers the HRESULT set (or raises a
// host exception), and the main-form-shown event the IDE fires once.
#include <windows.h>

#include <oleauto.h>

#include <cstring>
#include <type_traits>
#include <vector>

#include "Common/HostRtl.h"
#include "HelpInsightDocDriver.h"
#include "designide150/EventsDriver.h"

namespace D = HelpInsightDocDriver;

extern "C" {
HRESULT __stdcall CoreIdeDocModuleAnswer(void* self, const GUID* iid, void** obj);
void* QM_HOST_REGISTER CoreIdeMainFormShown() QM_HOST_SYMBOL(coreide_MainFormShown);
}

namespace {

constexpr GUID IID_Unknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

CRITICAL_SECTION* Lock() {
  static CRITICAL_SECTION* lock = [] {
    auto* cs = new CRITICAL_SECTION;
    InitializeCriticalSection(cs);
    return cs;
  }();
  return lock;
}

std::vector<D::TDocCall>& Calls() {
  static auto* calls = new std::vector<D::TDocCall>();
  return *calls;
}

volatile LONG g_answer = D::AnswerDocumentation;
volatile LONG g_result = S_OK;
volatile LONG g_raise = 0;
volatile LONG g_boolean = 1;
volatile LONG g_references = 0;
alignas(4) char g_mainFormShown[EventsDriver::EventLayout::Size] = {};

int32_t CacheDepth() {
  using TDepthFn = int32_t(__stdcall*)();
  HMODULE bridge = GetModuleHandleW(L"QuillmendClr.dll");
  auto depth = reinterpret_cast<TDepthFn>(
      reinterpret_cast<void*>(bridge ? GetProcAddress(bridge, "QuillmendClrDepth") : nullptr));
  return depth ? depth() : -1;
}

// Records the call, then answers: the HRESULT set, or a host exception.
HRESULT Answer(int32_t method, std::initializer_list<uint32_t> args) {
  D::TDocCall call{method, {}, GetCurrentThreadId(), CacheDepth()};
  int i = 0;
  for (uint32_t a : args) call.Args[i++] = a;
  EnterCriticalSection(Lock());
  Calls().push_back(call);
  LeaveCriticalSection(Lock());
  if (g_raise) {
    const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
    rtl->raiseExcept(rtl->NewException(L"Help Insight: documentation not available"));
  }
  return HRESULT(g_result);
}

uint32_t U(const void* p) { return uint32_t(reinterpret_cast<uintptr_t>(p)); }

struct TDocumentation;
HRESULT __stdcall DocQueryInterface(TDocumentation* self, const GUID* iid, void** obj);
ULONG __stdcall DocAddRef(TDocumentation*) { return ULONG(InterlockedIncrement(&g_references)); }
ULONG __stdcall DocRelease(TDocumentation*) { return ULONG(InterlockedDecrement(&g_references)); }
HRESULT __stdcall Doc3(TDocumentation*, uint32_t a) { return Answer(3, {a}); }
HRESULT __stdcall Doc4(TDocumentation*, uint32_t a, uint32_t b, uint32_t c) { return Answer(4, {a, b, c}); }
HRESULT __stdcall Doc5(TDocumentation*, uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t e) {
  return Answer(5, {a, b, c, d, e});
}
HRESULT __stdcall Doc6(TDocumentation*, uint32_t a, uint32_t b, uint32_t c, uint16_t d, uint32_t e, uint32_t f,
                       uint32_t g, uint32_t h) {
  return Answer(6, {a, b, c, d, e, f, g, h});
}
HRESULT __stdcall Doc7(TDocumentation*, uint32_t a, uint32_t b, uint32_t c, BSTR* text) {
  const HRESULT hr = Answer(7, {a, b, c, U(text)});
  if (SUCCEEDED(hr) && text) *text = SysAllocString(L"documentation 7");
  return hr;
}
HRESULT __stdcall Doc8(TDocumentation*, uint32_t a, BSTR* text) {
  const HRESULT hr = Answer(8, {a, U(text)});
  if (SUCCEEDED(hr) && text) *text = SysAllocString(L"documentation 8");
  return hr;
}
HRESULT __stdcall Doc9(TDocumentation*, uint8_t* value) {
  const HRESULT hr = Answer(9, {U(value)});
  if (SUCCEEDED(hr) && value) *value = uint8_t(g_boolean);
  return hr;
}

const void* const DocumentationMethods[] = {
    reinterpret_cast<const void*>(&DocQueryInterface), reinterpret_cast<const void*>(&DocAddRef),
    reinterpret_cast<const void*>(&DocRelease),        reinterpret_cast<const void*>(&Doc3),
    reinterpret_cast<const void*>(&Doc4),              reinterpret_cast<const void*>(&Doc5),
    reinterpret_cast<const void*>(&Doc6),              reinterpret_cast<const void*>(&Doc7),
    reinterpret_cast<const void*>(&Doc8),              reinterpret_cast<const void*>(&Doc9),
};

struct TDocumentation {
  const void* const* Methods = DocumentationMethods;
} g_documentation;

HRESULT __stdcall DocQueryInterface(TDocumentation* self, const GUID* iid, void** obj) {
  if (!obj) return E_POINTER;
  if (IsEqualGUID(*iid, IID_Unknown) || IsEqualGUID(*iid, D::IID_Documentation)) {
    DocAddRef(self);
    *obj = self;
    return S_OK;
  }
  *obj = nullptr;
  return E_NOINTERFACE;
}

struct TModule {
  uint32_t Tag = 0x4D6F6443;  // "CdoM"
};

}  // namespace

extern "C" {

HRESULT __stdcall CoreIdeDocModuleAnswer(void* self, const GUID* iid, void** obj) {
  if (!obj) return E_POINTER;
  *obj = nullptr;
  if (IsEqualGUID(*iid, IID_Unknown)) {
    *obj = self;
    return S_OK;
  }
  if (!IsEqualGUID(*iid, D::IID_Documentation)) return E_NOINTERFACE;
  switch (g_answer) {
    case D::AnswerDocumentation:
      DocAddRef(&g_documentation);
      *obj = &g_documentation;
      return S_OK;
    case D::AnswerNoInterface: return E_NOINTERFACE;
    case D::AnswerFailure: return E_FAIL;
    default: return S_OK;
  }
}

void* QM_HOST_REGISTER CoreIdeMainFormShown() { return g_mainFormShown; }

void* __stdcall HelpDocNewModule() { return new TModule(); }
void __stdcall HelpDocSetAnswer(int32_t answer) { InterlockedExchange(&g_answer, answer); }
void __stdcall HelpDocSetResult(int32_t result, int32_t raise, int32_t boolean) {
  InterlockedExchange(&g_result, result);
  InterlockedExchange(&g_raise, raise);
  InterlockedExchange(&g_boolean, boolean);
}
int32_t __stdcall HelpDocCalls(D::TDocCall* calls, int32_t room) {
  EnterCriticalSection(Lock());
  const int32_t count = int32_t(Calls().size());
  for (int32_t i = 0; i < count && i < room; ++i) calls[i] = Calls()[size_t(i)];
  LeaveCriticalSection(Lock());
  return count;
}
int32_t __stdcall HelpDocReferences() { return g_references; }
void __stdcall HelpDocFireMainFormShown() { EventsDriver::Fire(g_mainFormShown, nullptr); }

}  // extern "C"

static_assert(std::is_same_v<decltype(&CoreIdeDocModuleAnswer), D::QueryInterfaceFn> &&
                  std::is_same_v<decltype(&CoreIdeMainFormShown), D::MainFormShownFn> &&
                  std::is_same_v<decltype(&HelpDocNewModule), D::NewModuleFn> &&
                  std::is_same_v<decltype(&HelpDocSetAnswer), D::SetAnswerFn> &&
                  std::is_same_v<decltype(&HelpDocSetResult), D::SetResultFn> &&
                  std::is_same_v<decltype(&HelpDocCalls), D::CallsFn> &&
                  std::is_same_v<decltype(&HelpDocReferences), D::ReferencesFn> &&
                  std::is_same_v<decltype(&HelpDocFireMainFormShown), D::FireFn>,
              "exports differ from HelpInsightDocDriver.h");
