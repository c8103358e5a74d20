// 8-bit strings (AnsiString) in the host's layout: the UnicodeString header
// with element size 1 and the string's code page; reference counted,
// zero-terminated, nil for ''.
#include <windows.h>

#include <cstring>
#include <type_traits>

#include "RtlInternal.h"
#include "VariantsDriver.h"

using QmHost::StrHeader;
using QmHost::StrRec;

namespace {

StrRec* AnsiHeader(const char* s) { return reinterpret_cast<StrRec*>(const_cast<char*>(s) - sizeof(StrRec)); }

void ReleaseAnsi(char* s) {
  if (!s) return;
  StrRec* h = AnsiHeader(s);
  if (h->refCount < 0) return;
  if (InterlockedDecrement(reinterpret_cast<LONG*>(&h->refCount)) == 0) RtlFreeMem(h);
}

}  // namespace

extern "C" {

char* QM_HOST_REGISTER RtlNewAnsiString(int32_t length, uint16_t codePage) QM_HOST_SYMBOL(rtl_NewAnsiString);
char* QM_HOST_REGISTER RtlNewAnsiString(int32_t length, uint16_t codePage) {
  if (length <= 0) return nullptr;
  auto* h = static_cast<StrRec*>(RtlGetMem(int(sizeof(StrRec)) + length + 1));
  h->codePage = codePage;
  h->elemSize = 1;
  h->refCount = 1;
  h->length = length;
  char* s = reinterpret_cast<char*>(h + 1);
  std::memset(s, 0, size_t(length) + 1);
  return s;
}

void QM_HOST_REGISTER RtlLStrClr(char** variable) QM_HOST_SYMBOL(rtl_LStrClr);
void QM_HOST_REGISTER RtlLStrClr(char** variable) {
  char* old = *variable;
  *variable = nullptr;
  ReleaseAnsi(old);
}

void QM_HOST_REGISTER RtlLStrAsg(char** dest, const char* source) QM_HOST_SYMBOL(rtl_LStrAsg);
void QM_HOST_REGISTER RtlLStrAsg(char** dest, const char* source) {
  char* value = const_cast<char*>(source);
  if (source) {
    StrRec* h = AnsiHeader(source);
    if (h->refCount < 0) {
      value = RtlNewAnsiString(h->length, h->codePage);
      std::memcpy(value, source, size_t(h->length));
    } else {
      InterlockedIncrement(reinterpret_cast<LONG*>(&h->refCount));
    }
  }
  char* old = *dest;
  *dest = value;
  ReleaseAnsi(old);
}

// _LStrFromPWCharLen(var Dest: AnsiString; Source: PWideChar; Length: Integer;
// CodePage: Cardinal): the text in that code page (0: the system's).
void QM_HOST_REGISTER RtlLStrFromPWCharLen(char** dest, const wchar_t* source, int32_t length, uint32_t codePage)
    QM_HOST_SYMBOL(rtl_LStrFromPWCharLen);
void QM_HOST_REGISTER RtlLStrFromPWCharLen(char** dest, const wchar_t* source, int32_t length, uint32_t codePage) {
  if (codePage == CP_ACP) codePage = GetACP();
  char* text = nullptr;
  if (length > 0) {
    const int bytes = WideCharToMultiByte(codePage, 0, source, length, nullptr, 0, nullptr, nullptr);
    text = RtlNewAnsiString(bytes, uint16_t(codePage));
    WideCharToMultiByte(codePage, 0, source, length, text, bytes, nullptr, nullptr);
  }
  char* old = *dest;
  *dest = text;
  ReleaseAnsi(old);
}

// _LStrFromPChar(var Dest: AnsiString; Source: PAnsiChar; CodePage: Word):
// a new string of the zero-terminated bytes at Source, labelled with
// CodePage; the bytes are copied as they are, not converted. Nil or ''
// gives nil; the old value is released.
void QM_HOST_REGISTER RtlLStrFromPChar(char** dest, const char* source, uint32_t codePage)
    QM_HOST_SYMBOL(rtl_LStrFromPChar);
void QM_HOST_REGISTER RtlLStrFromPChar(char** dest, const char* source, uint32_t codePage) {
  const size_t length = source ? std::strlen(source) : 0;
  char* text = RtlNewAnsiString(int32_t(length), uint16_t(codePage));
  if (text) std::memcpy(text, source, length);
  char* old = *dest;
  *dest = text;
  ReleaseAnsi(old);
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&RtlNewAnsiString), VariantsDriver::NewAnsiStringFn> &&
                  std::is_same_v<decltype(&RtlLStrClr), VariantsDriver::LStrClrFn>,
              "the 8-bit string routines have the driver's types");
