// Host run-time access: strings, exceptions and the global exception handler,
// reached through the exports of "rtl150.bpl".
#include "Framework/HostAbi.h"

#include "Hooking/MethodTables.h"
#include "Hooking/Utf8Conversion.h"

#include <cstring>
#include <windows.h>

namespace Quillmend {
namespace {

using TNewUnicodeString = wchar_t*(QM_REGISTER*)(int32_t length);
using TUStrClr = void(QM_REGISTER*)(wchar_t** variable);
using TExceptionCreate = void*(QM_REGISTER*)(void* aClass, int32_t allocate, const wchar_t* message);
using TObjectFree = void(QM_REGISTER*)(void* object);
using TRaiseExcept = void(QM_REGISTER*)(void* object);
using THandlerCode = void(QM_REGISTER*)(void* data, void* sender);

struct TMethodPointer {
  THandlerCode Code;
  void* Data;
};

// The exports of the host run-time that Quillmend uses.
struct THostRuntime {
  TNewUnicodeString NewUnicodeString;
  TUStrClr UStrClr;
  void* ExceptionClass;  // the class reference itself is the exported data
  TExceptionCreate ExceptionCreate;
  TObjectFree ObjectFree;
  TRaiseExcept RaiseExcept;
  TMethodPointer* ApplicationHandleException;
  void** ExceptObjectForHandler;
};

bool Resolve(HMODULE module, THostRuntime& rt) {
  auto get = [module](const char* name) { return reinterpret_cast<void*>(GetProcAddress(module, name)); };
  rt.NewUnicodeString = reinterpret_cast<TNewUnicodeString>(get("@System@@NewUnicodeString$qqri"));
  rt.UStrClr = reinterpret_cast<TUStrClr>(get("@System@@UStrClr$qqrpv"));
  rt.ExceptionClass = get("@Sysutils@Exception@");
  rt.ExceptionCreate =
      reinterpret_cast<TExceptionCreate>(get("@Sysutils@Exception@$bctr$qqrx20System@UnicodeString"));
  rt.ObjectFree = reinterpret_cast<TObjectFree>(get("@System@TObject@Free$qqrv"));
  rt.RaiseExcept = reinterpret_cast<TRaiseExcept>(get("@System@@RaiseExcept$qqrv"));
  rt.ApplicationHandleException = static_cast<TMethodPointer*>(get("@Classes@ApplicationHandleException"));
  rt.ExceptObjectForHandler = static_cast<void**>(get("@System@ExceptObjectForHandler"));
  // Strings and exceptions are all or nothing; the handler is optional.
  return rt.NewUnicodeString && rt.UStrClr && rt.ExceptionClass && rt.ExceptionCreate && rt.ObjectFree &&
         rt.RaiseExcept;
}

// The host run-time's exports, or null without one. Looked up again while
// absent (cheap), kept once found: the host run-time is never unloaded
// before the modules that use it.
const THostRuntime* HostRuntime() {
  static THostRuntime runtime;
  static HMODULE resolvedFor = nullptr;
  HMODULE module = GetModuleHandleW(L"rtl150.bpl");
  if (!module) return nullptr;
  if (module != resolvedFor) {
    THostRuntime rt{};
    if (!Resolve(module, rt)) return nullptr;
    runtime = rt;
    resolvedFor = module;
  }
  return &runtime;
}

// A host exception object carrying message; the string made for the
// constructor call is released again (the object keeps its own reference).
void* CreateHostException(const THostRuntime& rt, const std::wstring& message, void* classRef = nullptr) {
  wchar_t* text = nullptr;
  if (!message.empty()) {
    text = rt.NewUnicodeString(int32_t(message.size()));
    std::memcpy(text, message.data(), message.size() * sizeof(wchar_t));
  }
  void* object = rt.ExceptionCreate(classRef ? classRef : rt.ExceptionClass, 1, text);
  rt.UStrClr(&text);
  return object;
}

}  // namespace

bool HostRuntimePresent() { return HostRuntime() != nullptr; }

int32_t HostStringLength(const wchar_t* hostString) {
  if (!hostString) return 0;
  return *reinterpret_cast<const int32_t*>(reinterpret_cast<const char*>(hostString) + HostStringLayout::Length);
}

std::wstring FromHostString(const wchar_t* hostString) {
  return std::wstring(hostString ? hostString : L"", size_t(HostStringLength(hostString)));
}

THostString::THostString(const std::wstring& text) {
  if (text.empty()) return;
  size_t bytes = text.size() * sizeof(wchar_t);
  if (const THostRuntime* rt = HostRuntime()) {
    Chars = rt->NewUnicodeString(int32_t(text.size()));
    std::memcpy(Chars, text.data(), bytes);
    return;
  }
  auto* block = static_cast<char*>(::operator new(HostStringLayout::HeaderSize + bytes + sizeof(wchar_t)));
  uint16_t codePage = 1200, elementSize = 2;
  int32_t refCount = -1, length = int32_t(text.size());
  std::memcpy(block, &codePage, 2);
  std::memcpy(block + 2, &elementSize, 2);
  std::memcpy(block + 4, &refCount, 4);
  std::memcpy(block + 8, &length, 4);
  Chars = reinterpret_cast<wchar_t*>(block + HostStringLayout::HeaderSize);
  std::memcpy(Chars, text.data(), bytes);
  Chars[text.size()] = 0;
  OwnMemory = true;
}

THostString::~THostString() {
  if (!Chars) return;
  if (OwnMemory) {
    ::operator delete(reinterpret_cast<char*>(Chars) - HostStringLayout::HeaderSize);
  } else if (const THostRuntime* rt = HostRuntime()) {
    rt->UStrClr(&Chars);
  }
}

// ---- host strings through bound routines ------------------------------------------

bool THostStrings::Bind(HMODULE runtime) {
  auto get = [runtime](const char* name) {
    return runtime ? reinterpret_cast<void*>(GetProcAddress(runtime, name)) : nullptr;
  };
  NewUnicodeString = reinterpret_cast<decltype(NewUnicodeString)>(get(HostStringExport::NewUnicodeString));
  UStrAsg = reinterpret_cast<decltype(UStrAsg)>(get(HostStringExport::UStrAsg));
  UStrClr = reinterpret_cast<decltype(UStrClr)>(get(HostStringExport::UStrClr));
  ReallocMem = reinterpret_cast<decltype(ReallocMem)>(get(HostStringExport::ReallocMem));
  return Bound();
}

wchar_t* THostStrings::New(const wchar_t* chars, int32_t length) const {
  if (length <= 0) return nullptr;
  wchar_t* s = NewUnicodeString(length);
  std::memcpy(s, chars, size_t(length) * sizeof(wchar_t));
  return s;
}

void THostStrings::StoreNew(wchar_t** result, wchar_t* fresh) const {
  wchar_t* old = *result;
  *result = fresh;
  if (old) UStrClr(&old);
}

bool THostStrings::ResizeUnique(wchar_t** variable, int32_t length) const {
  wchar_t* s = *variable;
  if (!s || HostStringRefCount(s) != 1) return false;
  if (length <= 0) {
    UStrClr(variable);
    return true;
  }
  void* block = reinterpret_cast<char*>(s) - HostStringLayout::HeaderSize;
  ReallocMem(&block, int32_t(HostStringLayout::HeaderSize + (length + 1) * sizeof(wchar_t)));
  auto* chars = reinterpret_cast<wchar_t*>(static_cast<char*>(block) + HostStringLayout::HeaderSize);
  std::memcpy(reinterpret_cast<char*>(chars) + HostStringLayout::Length, &length, sizeof length);
  chars[length] = 0;
  *variable = chars;
  return true;
}

int32_t HostStringRefCount(const wchar_t* hostString) {
  if (!hostString) return 0;
  int32_t count;
  std::memcpy(&count, reinterpret_cast<const char*>(hostString) + HostStringLayout::RefCount, sizeof count);
  return count;
}

const wchar_t* THostScratchString::Set(const THostStrings& strings, const char* ascii, int32_t length) {
  if (length <= 0) return nullptr;
  if (!FText || HostStringRefCount(FText) != 1 || length > FCapacity) {
    Release(strings);
    FCapacity = length < 32 ? 32 : length;
    FText = strings.NewUnicodeString(FCapacity);
  }
  for (int32_t i = 0; i < length; ++i) FText[i] = wchar_t(uint8_t(ascii[i]));
  FText[length] = 0;
  std::memcpy(reinterpret_cast<char*>(FText) + HostStringLayout::Length, &length, sizeof length);
  return FText;
}

void THostScratchString::Release(const THostStrings& strings) {
  if (FText) strings.UStrClr(&FText);
  FText = nullptr;
  FCapacity = 0;
}

// ---- streams --------------------------------------------------------------------------

namespace {

const void* StreamMethod(void* stream, int offset) {
  const char* classRef = *static_cast<const char* const*>(stream);
  return *reinterpret_cast<const void* const*>(classRef + offset);
}

}  // namespace

int32_t HostStreamRead(void* stream, void* buffer, int32_t count) {
  using TRead = int32_t(QM_REGISTER*)(void*, void*, int32_t);
  return reinterpret_cast<TRead>(StreamMethod(stream, HostStreamLayout::Read))(stream, buffer, count);
}

int32_t HostStreamWrite(void* stream, const void* buffer, int32_t count) {
  using TWrite = int32_t(QM_REGISTER*)(void*, const void*, int32_t);
  return reinterpret_cast<TWrite>(StreamMethod(stream, HostStreamLayout::Write))(stream, buffer, count);
}

int64_t HostStreamSeek(void* stream, int64_t offset, THostSeekOrigin origin) {
  return int64_t(CallHostInt64(StreamMethod(stream, HostStreamLayout::Seek64), stream, uint32_t(origin), offset));
}

// ---- host exceptions -------------------------------------------------------------------


THostStringResult::~THostStringResult() {
  if (!Chars) return;
  if (const THostRuntime* rt = HostRuntime()) rt->UStrClr(&Chars);
}

HRESULT HostQueryInterface(void* object, const GUID& iid, void** out) {
  using TQueryInterface = HRESULT(__stdcall*)(void* self, const GUID* iid, void** out);
  *out = nullptr;
  return object ? HostInterfaceMethod<TQueryInterface>(object, 0)(object, &iid, out) : E_POINTER;
}

ULONG HostAddRef(void* object) { return HostInterfaceMethod<ULONG(__stdcall*)(void*)>(object, 1)(object); }

ULONG HostRelease(void* object) { return HostInterfaceMethod<ULONG(__stdcall*)(void*)>(object, 2)(object); }

THostInterface& THostInterface::operator=(THostInterface&& other) noexcept {
  if (this != &other) {
    Reset();
    Object = other.Detach();
  }
  return *this;
}

void** THostInterface::Ref() {
  Reset();
  return &Object;
}

void* THostInterface::Detach() {
  void* object = Object;
  Object = nullptr;
  return object;
}

void THostInterface::Reset() {
  if (void* object = Detach()) HostRelease(object);
}

namespace {
const GUID IUnknownId = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
}  // namespace

HRESULT __stdcall HostObjectQueryInterface(THostObject* self, const GUID* iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!iid) return E_POINTER;
  bool known = IsEqualGUID(*iid, IUnknownId);
  for (int i = 0; i < self->IidCount && !known; ++i) known = IsEqualGUID(*iid, self->Iids[i]);
  if (!known) return E_NOINTERFACE;
  HostObjectAddRef(self);
  *out = self;
  return S_OK;
}

ULONG __stdcall HostObjectAddRef(THostObject* self) { return ULONG(InterlockedIncrement(&self->RefCount)); }

ULONG __stdcall HostObjectRelease(THostObject* self) {
  const LONG count = InterlockedDecrement(&self->RefCount);
  if (count == 0 && self->Destroy) self->Destroy(self);
  return ULONG(count);
}

std::wstring HostExceptionClassName(const void* exceptionObject) {
  if (!exceptionObject) return std::wstring();
  auto classRef = *static_cast<const char* const*>(exceptionObject);
  auto shortString = *reinterpret_cast<const unsigned char* const*>(classRef + HostClassLayout::ClassName);
  return std::wstring(shortString + 1, shortString + 1 + shortString[0]);
}

std::wstring HostExceptionMessage(const void* exceptionObject) {
  if (!exceptionObject) return std::wstring();
  return FromHostString(static_cast<const wchar_t* const*>(exceptionObject)[1]);
}

std::wstring WidenMessage(const char* text) { return FromUtf8(text); }

void RaiseHostException(std::wstring&& message) { RaiseHostExceptionOf(nullptr, std::move(message)); }

void RaiseHostExceptionOf(void* classRef, std::wstring&& message) {
  const THostRuntime* rt = HostRuntime();
  void* object = nullptr;
  const wchar_t* bareText = nullptr;
  {
    // The text dies with this block, before the raise skips every frame.
    std::wstring text = std::move(message);
    if (rt) {
      object = CreateHostException(*rt, text, classRef);
    } else {
      auto* copy = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (text.size() + 1) * sizeof(wchar_t)));
      if (copy) {
        std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        bareText = copy;
      }
    }
  }
  if (rt) rt->RaiseExcept(object);
  ULONG_PTR params[HostExceptionParamCount] = {};
  params[0] = reinterpret_cast<ULONG_PTR>(__builtin_return_address(0));
  params[2] = reinterpret_cast<ULONG_PTR>(bareText);
  RaiseException(HostExceptionCode, EXCEPTION_NONCONTINUABLE, HostExceptionParamCount, params);
  __builtin_unreachable();
}

bool ReportToHostHandler(const std::wstring& message) {
  const THostRuntime* rt = HostRuntime();
  if (!rt || !rt->ApplicationHandleException || !rt->ExceptObjectForHandler ||
      !rt->ApplicationHandleException->Code)
    return false;
  void* object = CreateHostException(*rt, message);
  *rt->ExceptObjectForHandler = object;
  rt->ApplicationHandleException->Code(rt->ApplicationHandleException->Data, nullptr);
  *rt->ExceptObjectForHandler = nullptr;
  rt->ObjectFree(object);
  return true;
}

bool ReportObjectToHostHandler(void* exceptionObject) {
  const THostRuntime* rt = HostRuntime();
  if (!rt || !rt->ApplicationHandleException || !rt->ExceptObjectForHandler ||
      !rt->ApplicationHandleException->Code)
    return false;
  *rt->ExceptObjectForHandler = exceptionObject;
  rt->ApplicationHandleException->Code(rt->ApplicationHandleException->Data, nullptr);
  *rt->ExceptObjectForHandler = nullptr;
  return true;
}

void FreeHostObject(void* object) {
  if (!object) return;
  if (const THostRuntime* rt = HostRuntime()) rt->ObjectFree(object);
}

void ReportError(const std::wstring& message, const std::wstring& caption) {
  if (!ReportToHostHandler(message))
    MessageBoxW(GetActiveWindow(), message.c_str(), caption.c_str(), MB_ICONERROR);
}

}  // namespace Quillmend
