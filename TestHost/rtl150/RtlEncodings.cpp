// Text encodings: encoding objects of the host's TEncoding classes (code page
// at +4), byte-order-mark detection and decoding bytes into a host string.
// The entry points take a byte pointer and a count where the host takes a
// byte array (the test host's choice).
#include <windows.h>

#include "RtlServices.h"

using namespace QmRtl;

namespace {

struct TEncodingObject {
  void* Class;
  int32_t CodePage;
};

constexpr int32_t Utf8CodePage = 65001, Utf16CodePage = 1200, Utf16BigEndianCodePage = 1201;

// Singletons, as the host's class properties hand them out; never freed.
TEncodingObject g_utf8 = {rtl_TUTF8Encoding_Class, Utf8CodePage};
TEncodingObject g_unicode = {rtl_TUnicodeEncoding_Class, Utf16CodePage};
TEncodingObject g_bigEndianUnicode = {rtl_TBigEndianUnicodeEncoding_Class, Utf16BigEndianCodePage};
TEncodingObject g_default = {rtl_TMBCSEncoding_Class, static_cast<int32_t>(GetACP())};

const uint8_t Utf8Bom[] = {0xEF, 0xBB, 0xBF};
const uint8_t Utf16Bom[] = {0xFF, 0xFE};
const uint8_t Utf16BigEndianBom[] = {0xFE, 0xFF};

bool StartsWith(const uint8_t* buffer, int32_t count, const uint8_t* bom, int32_t length) {
  if (count < length) return false;
  for (int32_t i = 0; i < length; ++i)
    if (buffer[i] != bom[i]) return false;
  return true;
}

int32_t PreambleLength(const TEncodingObject* encoding, const uint8_t* buffer, int32_t count) {
  switch (encoding->CodePage) {
    case Utf8CodePage: return StartsWith(buffer, count, Utf8Bom, 3) ? 3 : 0;
    case Utf16CodePage: return StartsWith(buffer, count, Utf16Bom, 2) ? 2 : 0;
    case Utf16BigEndianCodePage: return StartsWith(buffer, count, Utf16BigEndianBom, 2) ? 2 : 0;
    default: return 0;
  }
}

} // namespace

extern "C" {

void* QM_HOST_REGISTER RtlEncodingDefault() { return &g_default; }
void* QM_HOST_REGISTER RtlEncodingUTF8() { return &g_utf8; }
void* QM_HOST_REGISTER RtlEncodingUnicode() QM_HOST_SYMBOL(rtl_TEncoding_GetUnicode);
void* QM_HOST_REGISTER RtlEncodingUnicode() { return &g_unicode; }

// GetBufferEncoding(Buffer, Count; var Encoding): the length of the
// byte-order mark. With Encoding nil: the encoding the mark names (UTF-8,
// UTF-16 little or big endian), or the default ANSI encoding and 0 without
// one. With an encoding given: its mark's length if the buffer starts with it.
int32_t QM_HOST_REGISTER RtlGetBufferEncoding(const uint8_t* buffer, int32_t count, void** encoding) {
  if (*encoding) return PreambleLength(static_cast<TEncodingObject*>(*encoding), buffer, count);
  for (TEncodingObject* candidate : {&g_utf8, &g_unicode, &g_bigEndianUnicode}) {
    if (int32_t length = PreambleLength(candidate, buffer, count)) {
      *encoding = candidate;
      return length;
    }
  }
  *encoding = &g_default;
  return 0;
}

// GetString(Bytes, Count): string. EAX = encoding, EDX = bytes, ECX = count,
// the result variable on the stack.
void QM_HOST_REGISTER RtlEncodingGetString(void* self, const uint8_t* bytes, int32_t count, wchar_t** result) {
  const int32_t codePage = static_cast<TEncodingObject*>(self)->CodePage;
  if (count <= 0) return StoreNew(result, nullptr);
  if (codePage == Utf16CodePage || codePage == Utf16BigEndianCodePage) {
    const int32_t length = count / 2;
    wchar_t* text = RtlNewUnicodeString(length);
    for (int32_t i = 0; i < length; ++i)
      text[i] = codePage == Utf16CodePage ? wchar_t(bytes[2 * i] | bytes[2 * i + 1] << 8)
                                          : wchar_t(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    return StoreNew(result, text);
  }
  const char* source = reinterpret_cast<const char*>(bytes);
  const int length = MultiByteToWideChar(static_cast<UINT>(codePage), 0, source, count, nullptr, 0);
  wchar_t* text = RtlNewUnicodeString(length);
  if (text) MultiByteToWideChar(static_cast<UINT>(codePage), 0, source, count, text, length);
  StoreNew(result, text);
}

} // extern "C"
