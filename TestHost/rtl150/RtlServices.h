// Declarations shared by the stand-in run-time's conversion services: the
// allocation accounting, the streams, the component writer, text encodings,
// character categories, number conversions, resource strings and the form
// converter (ObjectTextToBinary). Exported entry points carry exact symbol
// names (QM_HOST_SYMBOL) that Conversions.def and ConversionClasses.cpp refer to.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <windows.h>

#include "RtlInternal.h"

extern "C" {

// Class references (ConversionClasses.cpp).
extern char rtl_TStream_Class[] QM_HOST_SYMBOL(rtl_TStream_Class);
extern char rtl_TCustomMemoryStream_Class[] QM_HOST_SYMBOL(rtl_TCustomMemoryStream_Class);
extern char rtl_TMemoryStream_Class[] QM_HOST_SYMBOL(rtl_TMemoryStream_Class);
extern char rtl_TFiler_Class[] QM_HOST_SYMBOL(rtl_TFiler_Class);
extern char rtl_TWriter_Class[] QM_HOST_SYMBOL(rtl_TWriter_Class);
extern char rtl_TEncoding_Class[] QM_HOST_SYMBOL(rtl_TEncoding_Class);
extern char rtl_TMBCSEncoding_Class[] QM_HOST_SYMBOL(rtl_TMBCSEncoding_Class);
extern char rtl_TUTF8Encoding_Class[] QM_HOST_SYMBOL(rtl_TUTF8Encoding_Class);
extern char rtl_TUnicodeEncoding_Class[] QM_HOST_SYMBOL(rtl_TUnicodeEncoding_Class);
extern char rtl_TBigEndianUnicodeEncoding_Class[] QM_HOST_SYMBOL(rtl_TBigEndianUnicodeEncoding_Class);
extern char rtl_EAbstractError_Class[] QM_HOST_SYMBOL(rtl_EAbstractError_Class);
extern char rtl_EOutOfMemory_Class[] QM_HOST_SYMBOL(rtl_EOutOfMemory_Class);
extern char rtl_EConvertError_Class[] QM_HOST_SYMBOL(rtl_EConvertError_Class);
extern char rtl_EAssertionFailed_Class[] QM_HOST_SYMBOL(rtl_EAssertionFailed_Class);
extern char rtl_EParserError_Class[] QM_HOST_SYMBOL(rtl_EParserError_Class);
extern char rtl_EStreamError_Class[] QM_HOST_SYMBOL(rtl_EStreamError_Class);
extern char rtl_EReadError_Class[] QM_HOST_SYMBOL(rtl_EReadError_Class);
extern char rtl_EWriteError_Class[] QM_HOST_SYMBOL(rtl_EWriteError_Class);
extern char rtl_EArgumentOutOfRangeException_Class[] QM_HOST_SYMBOL(rtl_EArgumentOutOfRangeException_Class);

// TObject.Create: DL != 0 makes an instance of the class in EAX.
void* QM_HOST_REGISTER RtlObjectCreate(void* classOrSelf, int alloc) QM_HOST_SYMBOL(rtl_TObject_Create);

// Memory (RtlAllocations.cpp)
void* QM_HOST_REGISTER RtlReallocMem(void** p, int size) QM_HOST_SYMBOL(rtl_ReallocMem);

// Streams (RtlStreams.cpp)
int32_t QM_HOST_REGISTER RtlStreamReadBuffer(void* self, void* buffer, int32_t count) QM_HOST_SYMBOL(rtl_TStream_ReadBuffer);
void QM_HOST_REGISTER RtlStreamWriteBuffer(void* self, const void* buffer, int32_t count) QM_HOST_SYMBOL(rtl_TStream_WriteBuffer);

// The component writer (RtlWriter.cpp)
void* QM_HOST_REGISTER RtlWriterCreate(void* classOrSelf, int alloc, void* stream, int32_t bufSize)
    QM_HOST_SYMBOL(rtl_TWriter_Create);
void QM_HOST_REGISTER RtlWriterWrite(void* self, const void* buffer, int32_t count) QM_HOST_SYMBOL(rtl_TWriter_Write);
void QM_HOST_REGISTER RtlWriterWriteValue(void* self, int value) QM_HOST_SYMBOL(rtl_TWriter_WriteValue);
void QM_HOST_REGISTER RtlWriterWriteSignature(void* self) QM_HOST_SYMBOL(rtl_TWriter_WriteSignature);
void QM_HOST_REGISTER RtlWriterWritePrefix(void* self, int flags, int32_t childPos) QM_HOST_SYMBOL(rtl_TWriter_WritePrefix);
void QM_HOST_REGISTER RtlWriterWriteListBegin(void* self) QM_HOST_SYMBOL(rtl_TWriter_WriteListBegin);
void QM_HOST_REGISTER RtlWriterWriteListEnd(void* self) QM_HOST_SYMBOL(rtl_TWriter_WriteListEnd);
void QM_HOST_REGISTER RtlWriterWriteInteger(void* self, int32_t value) QM_HOST_SYMBOL(rtl_TWriter_WriteInteger);
void QM_HOST_REGISTER RtlWriterWriteFloat(void* self, long double value) QM_HOST_SYMBOL(rtl_TWriter_WriteFloat);
void QM_HOST_REGISTER RtlWriterWriteSingle(void* self, float value) QM_HOST_SYMBOL(rtl_TWriter_WriteSingle);
void QM_HOST_REGISTER RtlWriterWriteDate(void* self, double value) QM_HOST_SYMBOL(rtl_TWriter_WriteDate);
void QM_HOST_REGISTER RtlWriterWriteString(void* self, const wchar_t* value) QM_HOST_SYMBOL(rtl_TWriter_WriteString);
void QM_HOST_REGISTER RtlWriterWriteUTF8Str(void* self, const wchar_t* value) QM_HOST_SYMBOL(rtl_TWriter_WriteUTF8Str);
void QM_HOST_REGISTER RtlWriterWriteIdent(void* self, const wchar_t* ident) QM_HOST_SYMBOL(rtl_TWriter_WriteIdent);
// Int64 and Currency travel on the stack: the unused EDX and ECX come first.
void QM_HOST_REGISTER RtlWriterWriteInteger64(void* self, int, int, int64_t value) QM_HOST_SYMBOL(rtl_TWriter_WriteInteger64);
void QM_HOST_REGISTER RtlWriterWriteCurrency(void* self, int, int, int64_t value) QM_HOST_SYMBOL(rtl_TWriter_WriteCurrency);
// The method pointer travels on the stack, code at the lower address.
void QM_HOST_REGISTER RtlWriterWriteBinary(void* self, int, int, void* code, void* data) QM_HOST_SYMBOL(rtl_TWriter_WriteBinary);

// Encodings (RtlEncodings.cpp): the code page of an encoding object is at +4.
void* QM_HOST_REGISTER RtlEncodingDefault() QM_HOST_SYMBOL(rtl_TEncoding_GetDefault);
void* QM_HOST_REGISTER RtlEncodingUTF8() QM_HOST_SYMBOL(rtl_TEncoding_GetUTF8);
int32_t QM_HOST_REGISTER RtlGetBufferEncoding(const uint8_t* buffer, int32_t count, void** encoding)
    QM_HOST_SYMBOL(rtl_TEncoding_GetBufferEncoding);
void QM_HOST_REGISTER RtlEncodingGetString(void* self, const uint8_t* bytes, int32_t count, wchar_t** result)
    QM_HOST_SYMBOL(rtl_TEncoding_GetString);

// Characters (RtlCharacter.cpp): TUnicodeCategory of a code point.
uint8_t QM_HOST_REGISTER RtlUnicodeCategoryOf(uint32_t codePoint);

// Numbers (RtlNumbers.cpp)
int64_t QM_HOST_REGISTER RtlStrToInt64(const wchar_t* s) QM_HOST_SYMBOL(rtl_StrToInt64);
long double QM_HOST_REGISTER RtlStrToFloatFS(const wchar_t* text, const void* formatSettings)
    QM_HOST_SYMBOL(rtl_StrToFloatFS);

// Conversion errors (RtlErrors.cpp)
void QM_HOST_REGISTER RtlAssert(const wchar_t* message, const wchar_t* fileName, int32_t line) QM_HOST_SYMBOL(rtl_Assert);

} // extern "C"

namespace QmRtl {

// The stand-in's TFormatSettings: only the scalar fields, in the host's order.
struct TFormatSettings {
  uint8_t CurrencyFormat;
  uint8_t NegCurrFormat;
  wchar_t ThousandSeparator;
  wchar_t DecimalSeparator;
  uint8_t CurrencyDecimals;
  wchar_t DateSeparator;
  wchar_t TimeSeparator;
  wchar_t ListSeparator;
};
static_assert(sizeof(TFormatSettings) == 14, "the stand-in's TFormatSettings is 14 bytes");

// The process's format settings (exported as data).
extern TFormatSettings FormatSettings asm("_rtl_FormatSettings");

// StrToInt64's reading without raising: false for a text it refuses.
bool TryStrToInt64(const wchar_t* s, int64_t& value);

// TStream's virtual methods, called through the object's class.
int32_t StreamRead(void* stream, void* buffer, int32_t count);
int32_t StreamWrite(void* stream, const void* buffer, int32_t count);
int64_t StreamSeek(void* stream, int64_t offset, int origin);  // origin 0 beginning, 1 current, 2 end

// Memory-stream fields.
namespace MemoryStreamLayout {
constexpr int Memory = 4, Size = 8, Position = 12, Capacity = 16;
}

// Every allocation of the host memory manager passes here first (counting,
// and the test switch that makes one raise EOutOfMemory); every release too.
void NoteAllocation();
void NoteRelease();
HANDLE Heap();

// Host strings.
wchar_t* NewString(const wchar_t* chars, int length);
inline int Length(const wchar_t* s) { return s ? QmHost::StrHeader(s)->length : 0; }
// Releases *dest and stores `fresh` (a new string of ours, reference count 1) there.
void StoreNew(wchar_t** dest, wchar_t* fresh);

// Resource strings (STRINGTABLE of rtl150.bpl, RtlResources.rc).
enum TResId : int {
  SParseError = 0xFE00,
  SAnsiUTF8Expected,
  SLineTooLong,
  SInvalidString,
  SIdentifierExpected,
  SStringExpected,
  SNumberExpected,
  SCharExpected,
  SSymbolExpected,
  SInvalidProperty,
  SInvalidBinary,
  SInvalidInteger,
  SInvalidFloat,
  SAssertError,
  SOutOfMemory,
  SAbstractError,
  SReadError,
  SWriteError,
  SInvalidUTF32Char,
};
// One argument of a formatted message: %s takes a text, %d a number.
struct TFmtArg {
  TFmtArg(const wchar_t* text) : Text(text) {}  // NOLINT: written as plain values
  TFmtArg(int number) : Number(number), IsNumber(true) {}  // NOLINT
  const wchar_t* Text = nullptr;
  int Number = 0;
  bool IsNumber = false;
};
// The resource string formatted with the arguments, in order, into `out`
// (at most `capacity` characters with the terminating zero).
void FormatRes(wchar_t* out, int capacity, int id, std::initializer_list<TFmtArg> args);
// Raises a host exception of `classRef` with that text as its message;
// nothing of C++ is left to destroy behind it.
[[noreturn]] void RaiseResFmt(void* classRef, int id, std::initializer_list<TFmtArg> args = {});

}  // namespace QmRtl
