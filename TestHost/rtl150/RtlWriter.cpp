// TFiler and TWriter: the component writer that turns values into the host's
// binary form format, buffered and flushed to a stream (class records in
// ConversionClasses.cpp). The string encoding of WriteString is the test host's:
// tag 6 for ASCII up to 255 characters, 12 for longer ASCII, 18 (UTF-16)
// for anything else.
#include <windows.h>

#include <cstring>

#include "Common/StandInFinally.h"
#include "RtlServices.h"

using namespace QmRtl;

namespace {

// TFiler's fields, TWriter adds two of its own.
namespace FilerLayout {
constexpr int Stream = 4, Buffer = 8, BufSize = 12, BufPos = 16, BufEnd = 20, Root = 24, LookupRoot = 28,
              Ancestor = 32, IgnoreChildren = 36, RootAncestor = 40, PropPath = 44;
}

// The binary form's value tags.
enum : uint8_t { vaNull = 0, vaList = 1, vaInt8 = 2, vaInt16 = 3, vaInt32 = 4, vaExtended = 5, vaString = 6,
                 vaIdent = 7, vaFalse = 8, vaTrue = 9, vaBinary = 10, vaLString = 12, vaNil = 13, vaSingle = 15,
                 vaCurrency = 16, vaDate = 17, vaWString = 18, vaInt64 = 19 };

template <class T>
T& Field(void* self, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(self) + offset);
}

void Flush(void* self) {
  RtlStreamWriteBuffer(Field<void*>(self, FilerLayout::Stream), Field<void*>(self, FilerLayout::Buffer),
                       Field<int32_t>(self, FilerLayout::BufPos));
  Field<int32_t>(self, FilerLayout::BufPos) = 0;
}

void WriteU8(void* self, uint8_t value) { RtlWriterWrite(self, &value, 1); }

template <class T>
void WriteTagged(void* self, uint8_t tag, T value) {
  uint8_t bytes[1 + sizeof(T)];
  bytes[0] = tag;
  std::memcpy(bytes + 1, &value, sizeof(T));
  RtlWriterWrite(self, bytes, sizeof bytes);
}

bool SameAscii(const wchar_t* a, const wchar_t* b) {
  if (Length(a) != lstrlenW(b)) return false;
  for (int i = 0; b[i]; ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'a' && x <= L'z') x = wchar_t(x - 32);
    if (y >= L'a' && y <= L'z') y = wchar_t(y - 32);
    if (x != y) return false;
  }
  return true;
}

} // namespace

extern "C" {

// constructor Create(Stream: TStream; BufSize: Integer): EAX = class, DL = 1,
// ECX = Stream, BufSize on the stack.
// As a host constructor does, a new instance is destroyed again when the
// constructor raises.
void* QM_HOST_REGISTER RtlWriterCreate(void* classOrSelf, int alloc, void* stream, int32_t bufSize) {
  const bool allocate = alloc & 0xFF;
  void* self = RtlObjectCreate(classOrSelf, allocate ? 1 : 0);
  bool built = false;
  QmHost::StandInTryFinally(
      [&] {
        Field<void*>(self, FilerLayout::Stream) = stream;
        Field<void*>(self, FilerLayout::Buffer) = RtlGetMem(bufSize);
        Field<int32_t>(self, FilerLayout::BufSize) = bufSize;
        built = true;
      },
      [&] {
        if (!built && allocate) RtlObjectFree(self);
      });
  return self;
}

void QM_HOST_REGISTER RtlFilerSetRoot(void* self, void* root) QM_HOST_SYMBOL(rtl_TFiler_SetRoot);
void QM_HOST_REGISTER RtlFilerSetRoot(void* self, void* root) { Field<void*>(self, FilerLayout::Root) = root; }

void QM_HOST_REGISTER RtlFilerDestroy(void* self, int outermost) QM_HOST_SYMBOL(rtl_TFiler_Destroy);
void QM_HOST_REGISTER RtlFilerDestroy(void* self, int outermost) {
  using THookFn = void(QM_HOST_REGISTER*)(void*);
  if (outermost & 0xFF) reinterpret_cast<THookFn>(QmHost::VmtSlot(*static_cast<void**>(self), QmHost::kVmtBeforeDestruction))(self);
  void* buffer = Field<void*>(self, FilerLayout::Buffer);
  Field<void*>(self, FilerLayout::Buffer) = nullptr;
  RtlFreeMem(buffer);
  if (outermost & 0xFF) reinterpret_cast<THookFn>(QmHost::VmtSlot(*static_cast<void**>(self), QmHost::kVmtFreeInstance))(self);
}

void QM_HOST_REGISTER RtlWriterFlushBuffer(void* self) QM_HOST_SYMBOL(rtl_TWriter_FlushBuffer);
void QM_HOST_REGISTER RtlWriterFlushBuffer(void* self) { Flush(self); }

// destructor Destroy: flushes what is buffered, then the filer frees the buffer
// (also when the flush raises).
void QM_HOST_REGISTER RtlWriterDestroy(void* self, int outermost) QM_HOST_SYMBOL(rtl_TWriter_Destroy);
void QM_HOST_REGISTER RtlWriterDestroy(void* self, int outermost) {
  QmHost::StandInTryFinally([self] { if (Field<void*>(self, FilerLayout::Buffer)) Flush(self); },
                            [self, outermost] { RtlFilerDestroy(self, outermost); });
}

void QM_HOST_REGISTER RtlWriterWrite(void* self, const void* buffer, int32_t count) {
  const char* source = static_cast<const char*>(buffer);
  while (count > 0) {
    int32_t& position = Field<int32_t>(self, FilerLayout::BufPos);
    int32_t room = Field<int32_t>(self, FilerLayout::BufSize) - position;
    if (room == 0) {
      Flush(self);
      continue;
    }
    int32_t n = count < room ? count : room;
    char* target = Field<char*>(self, FilerLayout::Buffer) + position;
    // Most writes are a few bytes (a tag, a short name): copied here, as the
    // host's Move does, without a library call.
    if (n <= 16) {
      for (int32_t i = 0; i < n; ++i) target[i] = source[i];
    } else {
      std::memcpy(target, source, static_cast<size_t>(n));
    }
    position += n;
    source += n;
    count -= n;
  }
}

void QM_HOST_REGISTER RtlWriterWriteValue(void* self, int value) { WriteU8(self, static_cast<uint8_t>(value)); }

void QM_HOST_REGISTER RtlWriterWriteSignature(void* self) { RtlWriterWrite(self, "TPF0", 4); }

// WritePrefix(Flags: TFilerFlags; AChildPos: Integer): EAX, DL = flags
// (bit 0 inherited, bit 1 child position, bit 2 inline), ECX = position.
void QM_HOST_REGISTER RtlWriterWritePrefix(void* self, int flags, int32_t childPos) {
  flags &= 0x07;
  if (!flags) return;
  WriteU8(self, static_cast<uint8_t>(0xF0 | flags));
  if (flags & 0x02) RtlWriterWriteInteger(self, childPos);
}

void QM_HOST_REGISTER RtlWriterWriteListBegin(void* self) { WriteU8(self, vaList); }
void QM_HOST_REGISTER RtlWriterWriteListEnd(void* self) { WriteU8(self, vaNull); }

void QM_HOST_REGISTER RtlWriterWriteInteger(void* self, int32_t value) {
  if (value >= -128 && value <= 127)
    WriteTagged(self, vaInt8, static_cast<int8_t>(value));
  else if (value >= -32768 && value <= 32767)
    WriteTagged(self, vaInt16, static_cast<int16_t>(value));
  else
    WriteTagged(self, vaInt32, value);
}

// WriteInteger(Value: Int64): the value on the stack.
void QM_HOST_REGISTER RtlWriterWriteInteger64(void* self, int, int, int64_t value) {
  if (value >= INT32_MIN && value <= INT32_MAX)
    RtlWriterWriteInteger(self, static_cast<int32_t>(value));
  else
    WriteTagged(self, vaInt64, value);
}

// Floating-point values travel on the stack (GCC passes them the same way).
void QM_HOST_REGISTER RtlWriterWriteFloat(void* self, long double value) {
  uint8_t bytes[11];
  bytes[0] = vaExtended;
  std::memcpy(bytes + 1, &value, 10);
  RtlWriterWrite(self, bytes, 11);
}
void QM_HOST_REGISTER RtlWriterWriteSingle(void* self, float value) { WriteTagged(self, vaSingle, value); }
void QM_HOST_REGISTER RtlWriterWriteDate(void* self, double value) { WriteTagged(self, vaDate, value); }

// WriteCurrency(const Value: Currency): the 64-bit currency (value x 10,000) on the stack.
void QM_HOST_REGISTER RtlWriterWriteCurrency(void* self, int, int, int64_t value) {
  WriteTagged(self, vaCurrency, value);
}

void QM_HOST_REGISTER RtlWriterWriteString(void* self, const wchar_t* value) {
  const int length = Length(value);
  bool ascii = true;
  for (int i = 0; i < length && ascii; ++i) ascii = value[i] < 0x80;
  if (ascii) {
    // One byte per character; the buffer is filled in pieces for long texts.
    if (length <= 255) {
      uint8_t head[2] = {vaString, static_cast<uint8_t>(length)};
      RtlWriterWrite(self, head, 2);
    } else {
      WriteTagged(self, vaLString, static_cast<int32_t>(length));
    }
    char chunk[256];
    for (int i = 0; i < length;) {
      int n = 0;
      while (n < 256 && i < length) chunk[n++] = static_cast<char>(value[i++]);
      RtlWriterWrite(self, chunk, n);
    }
    return;
  }
  WriteTagged(self, vaWString, static_cast<int32_t>(length));
  RtlWriterWrite(self, value, length * 2);
}

// WriteUTF8Str(const Value: string): a length byte and at most 255 bytes of UTF-8.
void QM_HOST_REGISTER RtlWriterWriteUTF8Str(void* self, const wchar_t* value) {
  char bytes[256];
  int n = 0;
  if (const int length = Length(value)) {
    char stackText[1024];
    char* text = stackText;
    int size = WideCharToMultiByte(CP_UTF8, 0, value, length, nullptr, 0, nullptr, nullptr);
    if (size > static_cast<int>(sizeof stackText)) text = static_cast<char*>(RtlGetMem(size));
    WideCharToMultiByte(CP_UTF8, 0, value, length, text, size, nullptr, nullptr);
    n = size > 255 ? 255 : size;
    std::memcpy(bytes + 1, text, static_cast<size_t>(n));
    if (text != stackText) RtlFreeMem(text);
  }
  bytes[0] = static_cast<char>(n);
  RtlWriterWrite(self, bytes, n + 1);
}

// WriteIdent(const Ident: string): False, True, Null and nil by their tags
// (ASCII case ignored), anything else as tag 7 and the UTF-8 text.
void QM_HOST_REGISTER RtlWriterWriteIdent(void* self, const wchar_t* ident) {
  if (SameAscii(ident, L"False")) return WriteU8(self, vaFalse);
  if (SameAscii(ident, L"True")) return WriteU8(self, vaTrue);
  if (SameAscii(ident, L"Null")) return WriteU8(self, vaNull);
  if (SameAscii(ident, L"nil")) return WriteU8(self, vaNil);
  WriteU8(self, vaIdent);
  RtlWriterWriteUTF8Str(self, ident);
}

// WriteBinary(WriteData: TStreamProc): the method pointer on the stack, code
// at the lower address. WriteData fills a memory stream; its size and bytes
// follow tag 10. The memory stream is freed also when WriteData raises.
void QM_HOST_REGISTER RtlWriterWriteBinary(void* self, int, int, void* code, void* data) {
  using TStreamProc = void(QM_HOST_REGISTER*)(void* data, void* stream);
  void* stream = RtlObjectCreate(rtl_TMemoryStream_Class, 1);
  QmHost::StandInTryFinally(
      [&] {
        reinterpret_cast<TStreamProc>(code)(data, stream);
        const int32_t size = *reinterpret_cast<int32_t*>(static_cast<char*>(stream) + MemoryStreamLayout::Size);
        WriteTagged(self, vaBinary, size);
        RtlWriterWrite(self, *reinterpret_cast<void**>(static_cast<char*>(stream) + MemoryStreamLayout::Memory), size);
      },
      [&] { RtlObjectFree(stream); });
}

} // extern "C"
