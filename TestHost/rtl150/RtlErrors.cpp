// Resource strings (LoadResString and the records of the conversion
// messages), formatted messages, host exceptions of a given class, the
// assertion failure and the abstract-method error; TObject.Create.
#include <windows.h>

#include <cwchar>

#include "RtlServices.h"

using namespace QmRtl;

namespace {

HINSTANCE OwnInstance() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&OwnInstance), &module);
  return module;
}

// The module-handle variable a resource string record points at.
HINSTANCE g_instance = OwnInstance();

// Copies at most `room` - 1 characters of text to out, zero-terminated; returns the characters copied.
int Append(wchar_t* out, int room, const wchar_t* text, int length) {
  int n = 0;
  while (n < length && n < room - 1) {
    out[n] = text[n];
    ++n;
  }
  if (room > 0) out[n] = 0;
  return n;
}

} // namespace

// A resource string record: a pointer to the module-handle variable and the
// identifier (or, above 0xFFFF, a pointer to the text itself).
struct TResStringRec {
  HINSTANCE* Module;
  UINT_PTR Identifier;
};

#define QM_RESOURCE_STRING(name) \
  extern "C" TResStringRec rtl_##name QM_HOST_SYMBOL(rtl_##name); \
  TResStringRec rtl_##name = {&g_instance, name};

QM_RESOURCE_STRING(SParseError)
QM_RESOURCE_STRING(SAnsiUTF8Expected)
QM_RESOURCE_STRING(SLineTooLong)
QM_RESOURCE_STRING(SInvalidString)
QM_RESOURCE_STRING(SIdentifierExpected)
QM_RESOURCE_STRING(SStringExpected)
QM_RESOURCE_STRING(SNumberExpected)
QM_RESOURCE_STRING(SCharExpected)
QM_RESOURCE_STRING(SSymbolExpected)
QM_RESOURCE_STRING(SInvalidProperty)
QM_RESOURCE_STRING(SInvalidBinary)
QM_RESOURCE_STRING(SInvalidInteger)
QM_RESOURCE_STRING(SInvalidFloat)
QM_RESOURCE_STRING(SAssertError)
QM_RESOURCE_STRING(SOutOfMemory)

wchar_t* QmRtl::NewString(const wchar_t* chars, int length) {
  wchar_t* s = RtlNewUnicodeString(length);
  if (s) CopyMemory(s, chars, static_cast<SIZE_T>(length) * 2);
  return s;
}

void QmRtl::StoreNew(wchar_t** dest, wchar_t* fresh) {
  wchar_t* old = *dest;
  *dest = fresh;
  if (old) {
    wchar_t* release = old;
    RtlUStrClr(&release);
  }
}

void QmRtl::FormatRes(wchar_t* out, int capacity, int id, std::initializer_list<TFmtArg> args) {
  wchar_t pattern[1024];
  int length = LoadStringW(g_instance, static_cast<UINT>(id), pattern, 1024);
  pattern[length] = 0;
  const TFmtArg* arg = args.begin();
  int n = 0;
  for (const wchar_t* p = pattern; *p && n < capacity - 1; ++p) {
    if (p[0] == L'%' && (p[1] == L's' || p[1] == L'd') && arg != args.end()) {
      wchar_t number[16];
      const wchar_t* text = arg->Text ? arg->Text : L"";
      if (arg->IsNumber) {
        std::swprintf(number, 16, L"%d", arg->Number);
        text = number;
      }
      n += Append(out + n, capacity - n, text, lstrlenW(text));
      ++arg;
      ++p;
    } else if (p[0] == L'%' && p[1] == L'%') {
      out[n++] = L'%';
      ++p;
    } else {
      out[n++] = *p;
    }
  }
  out[n] = 0;
}

void QmRtl::RaiseResFmt(void* classRef, int id, std::initializer_list<TFmtArg> args) {
  wchar_t message[2048];
  FormatRes(message, 2048, id, args);
  RtlRaiseNew(classRef, message);
}

extern "C" {

// LoadResString(ResStringRec: PResStringRec): string. EAX = record, EDX = result variable.
void QM_HOST_REGISTER RtlLoadResString(const TResStringRec* rec, wchar_t** result)
    QM_HOST_SYMBOL(rtl_LoadResString);
void QM_HOST_REGISTER RtlLoadResString(const TResStringRec* rec, wchar_t** result) {
  if (!rec) {
    StoreNew(result, nullptr);
    return;
  }
  if (rec->Identifier > 0xFFFF) {
    const wchar_t* text = reinterpret_cast<const wchar_t*>(rec->Identifier);
    StoreNew(result, NewString(text, lstrlenW(text)));
    return;
  }
  // From the module's resource instance (a language resource module may stand in).
  wchar_t buffer[4096];
  int length = LoadStringW(RtlFindResourceHInstance(*rec->Module), static_cast<UINT>(rec->Identifier), buffer, 4096);
  StoreNew(result, NewString(buffer, length));
}

// _Assert(Message, Filename, LineNumber): EAX, EDX, ECX. Raises EAssertionFailed.
void QM_HOST_REGISTER RtlAssert(const wchar_t* message, const wchar_t* fileName, int32_t line) {
  RaiseResFmt(rtl_EAssertionFailed_Class, SAssertError,
              {message ? message : L"", fileName ? fileName : L"", static_cast<int>(line)});
}

// The target of abstract virtual methods.
void QM_HOST_REGISTER RtlAbstractError() QM_HOST_SYMBOL(rtl_AbstractError);
void QM_HOST_REGISTER RtlAbstractError() { RaiseResFmt(rtl_EAbstractError_Class, SAbstractError); }

// TObject.Create: EAX = class (DL != 0) or instance (DL = 0).
void* QM_HOST_REGISTER RtlObjectCreate(void* classOrSelf, int alloc) {
  using NewInstanceFn = void*(QM_HOST_REGISTER*)(void* classRef);
  using HookFn = void(QM_HOST_REGISTER*)(void* self);
  void* self = classOrSelf;
  if (alloc & 0xFF) {
    self = reinterpret_cast<NewInstanceFn>(QmHost::VmtSlot(classOrSelf, QmHost::kVmtNewInstance))(classOrSelf);
    reinterpret_cast<HookFn>(QmHost::VmtSlot(classOrSelf, QmHost::kVmtAfterConstruction))(self);
  }
  return self;
}

} // extern "C"
