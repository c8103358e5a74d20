#include "HostRtl.h"

namespace QmHost {

namespace {

template <class T>
bool Bind(HMODULE rtl, const char* name, T& target, const char** missing) {
  target = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(rtl, name)));
  if (!target && missing && !*missing) *missing = name;
  return target != nullptr;
}

} // namespace

bool HostRtl::Resolve(HMODULE rtl, const char** missing) {
  if (missing) *missing = nullptr;
  module = rtl;
  bool ok = rtl != nullptr;
  if (!ok) return false;
  ok &= Bind(rtl, RtlExport::GetMem, getMem, missing);
  ok &= Bind(rtl, RtlExport::FreeMem, freeMem, missing);
  ok &= Bind(rtl, RtlExport::NewUnicodeString, newUnicodeString, missing);
  ok &= Bind(rtl, RtlExport::UStrClr, ustrClr, missing);
  ok &= Bind(rtl, RtlExport::UStrAsg, ustrAsg, missing);
  ok &= Bind(rtl, RtlExport::UStrAddRef, ustrAddRef, missing);
  ok &= Bind(rtl, RtlExport::ExceptionClass, exceptionClass, missing);
  ok &= Bind(rtl, RtlExport::ExceptionCreate, exceptionCreate, missing);
  ok &= Bind(rtl, RtlExport::ObjectFree, objectFree, missing);
  ok &= Bind(rtl, RtlExport::RaiseExcept, raiseExcept, missing);
  ok &= Bind(rtl, RtlExport::ApplicationHandleException, applicationHandleException, missing);
  ok &= Bind(rtl, RtlExport::ExceptObjectForHandler, exceptObjectForHandler, missing);
  return ok;
}

wchar_t* HostRtl::NewString(std::wstring_view text) const {
  if (text.empty()) return nullptr;
  wchar_t* s = newUnicodeString(static_cast<int>(text.size()));
  text.copy(s, text.size());
  return s;
}

void HostRtl::Release(wchar_t*& var) const { ustrClr(&var); }

void* HostRtl::NewException(std::wstring_view message) const {
  wchar_t* text = NewString(message);
  void* object = exceptionCreate(exceptionClass, 1, text);
  Release(text);
  return object;
}

const HostRtl* LoadedHostRtl() {
  static HostRtl rtl;
  static bool resolved = false;
  if (!resolved) {
    HMODULE module = GetModuleHandleW(L"rtl150.bpl");
    if (!module || !rtl.Resolve(module)) return nullptr;
    resolved = true;
  }
  return &rtl;
}

bool IsReadable(const void* p, size_t size) {
  if (!p) return false;
  const char* at = static_cast<const char*>(p);
  const char* end = at + size;
  if (end < at) return false;
  while (at < end) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(at, &info, sizeof info) != sizeof info) return false;
    if (info.State != MEM_COMMIT) return false;
    if (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)) return false;
    const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                           PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    if (!(info.Protect & readable)) return false;
    at = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
  }
  return true;
}

bool ReadHostString(const wchar_t* s, std::wstring& out) {
  out.clear();
  if (!s) return true;
  if (!IsReadable(StrHeader(s), sizeof(StrRec))) return false;
  const StrRec* h = StrHeader(s);
  if (h->codePage != kUnicodeCodePage || h->elemSize != 2) return false;
  if (h->length <= 0 || h->length > (1 << 26)) return false;
  if (h->refCount == 0 || h->refCount < -1) return false;
  if (!IsReadable(s, (static_cast<size_t>(h->length) + 1) * sizeof(wchar_t))) return false;
  if (s[h->length] != L'\0') return false;
  out.assign(s, static_cast<size_t>(h->length));
  return true;
}

std::wstring HostStringText(const wchar_t* s) {
  std::wstring text;
  if (!ReadHostString(s, text)) return L"<bad string>";
  return text;
}

std::wstring HostClassName(const void* object) {
  if (!IsReadable(object, sizeof(void*))) return {};
  const char* classRef = *static_cast<const char* const*>(object);
  if (!IsReadable(classRef + kVmtSelfPtr, -kVmtSelfPtr)) return {};
  if (VmtSlot(classRef, kVmtSelfPtr) != classRef) return {};
  const unsigned char* name = static_cast<const unsigned char*>(VmtSlot(classRef, kVmtClassName));
  if (!IsReadable(name, 1) || !IsReadable(name, 1u + name[0])) return {};
  std::wstring out;
  for (unsigned i = 1; i <= name[0]; ++i) out += static_cast<wchar_t>(name[i]);
  return out;
}

std::wstring HostExceptionMessage(const void* object) {
  if (!IsReadable(object, kExceptionMessageOffset + sizeof(void*))) return L"<bad object>";
  const wchar_t* message =
      *reinterpret_cast<const wchar_t* const*>(static_cast<const char*>(object) + kExceptionMessageOffset);
  return HostStringText(message);
}

} // namespace QmHost
