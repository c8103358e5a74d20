// Classes.ObjectTextToBinary of the stand-in run-time: the form text read
// whole from Input, widened at once (UTF-8 after its byte-order mark, else
// the ANSI code page), tokenised character by character with a new host
// string for every token, and written through TWriter. Errors are
// EParserError "<message> on line <n>"; number errors are those of
// StrToInt64 and StrToFloat. Afterwards, and after an error, Input is left at
// the first byte of the current token. Everything the converter holds lives
// in one record that a try/finally releases, so a host exception from any
// depth (its own, a conversion's, the streams') leaks nothing.
#include <windows.h>

#include <cmath>
#include <cstring>

#include "Common/HostGuard.h"
#include "Common/HostRtl.h"
#include "Common/StandInFinally.h"
#include "RtlServices.h"

using namespace QmRtl;

namespace {

enum : uint16_t { toEOF = 0, toSymbol = 1, toString = 2, toInteger = 3, toFloat = 4, toWString = 5 };

// TUnicodeCategory values that make identifiers.
enum : uint8_t { ucCf = 1, ucLl = 5, ucLm = 6, ucLo = 7, ucLt = 8, ucLu = 9, ucMc = 10, ucMn = 12, ucNd = 13,
                 ucNl = 14, ucPc = 16 };

struct TConverter {
  void* Input = nullptr;
  void* Writer = nullptr;
  uint8_t* Bytes = nullptr;  // the input from its position to its end
  int32_t ByteCount = 0;
  int32_t BomLength = 0;
  void* Encoding = nullptr;
  wchar_t* Text = nullptr;  // all of it, widened
  int32_t Length = 0;
  int32_t Pos = 0;
  int32_t TokenStart = -1;  // -1 before the first token: Input goes back to where it was
  int32_t Line = 1;
  uint16_t Token = toEOF;
  wchar_t FloatType = 0;
  wchar_t* TokenText = nullptr;  // the token's source text
  wchar_t* Value = nullptr;      // string tokens: the decoded value
  wchar_t* Scratch = nullptr;    // a value being built
  wchar_t* ClassName = nullptr;  // the header being read
  wchar_t* ObjectName = nullptr;
  TFormatSettings Settings{};
};

wchar_t CharAt(const TConverter& c, int32_t i) { return i < c.Length ? c.Text[i] : 0; }

[[noreturn]] void Error(TConverter& c, int id, std::initializer_list<TFmtArg> args = {}) {
  wchar_t message[1024];
  FormatRes(message, 1024, id, args);
  RaiseResFmt(rtl_EParserError_Class, SParseError, {message, c.Line});
}

// ---- characters ---------------------------------------------------------------------

// The code point at i and its length in units (a surrogate pair is one).
uint32_t CodePointAt(const TConverter& c, int32_t i, int32_t& units) {
  uint32_t u = CharAt(c, i);
  units = 1;
  if (u >= 0xD800 && u <= 0xDBFF && i + 1 < c.Length) {
    uint32_t low = c.Text[i + 1];
    if (low >= 0xDC00 && low <= 0xDFFF) {
      units = 2;
      return 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
    }
  }
  return u;
}

bool IsAsciiLetter(uint32_t u) { return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_'; }
bool IsDigit(uint32_t u) { return u >= '0' && u <= '9'; }

bool StartsIdentifier(uint32_t u) {
  if (u < 0x80) return IsAsciiLetter(u);
  const uint8_t k = RtlUnicodeCategoryOf(u);
  return k == ucLu || k == ucLl || k == ucLt || k == ucLm || k == ucLo || k == ucNl;
}

bool ContinuesIdentifier(uint32_t u) {
  if (u < 0x80) return IsAsciiLetter(u) || IsDigit(u);
  const uint8_t k = RtlUnicodeCategoryOf(u);
  return StartsIdentifier(u) || k == ucMn || k == ucMc || k == ucNd || k == ucPc || k == ucCf;
}

int HexValue(wchar_t u) {
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  return -1;
}

// ---- tokens ---------------------------------------------------------------------------

void SetString(wchar_t** var, const wchar_t* chars, int32_t length) { StoreNew(var, NewString(chars, length)); }

void SkipBlanks(TConverter& c) {
  while (c.Pos < c.Length) {
    const wchar_t u = c.Text[c.Pos];
    if (u == 0 || u > 0x20) return;
    if (u == '\n') ++c.Line;
    ++c.Pos;
  }
}

// A "#" code or a quoted run, repeated; the value goes to c.Value.
uint16_t ReadStringToken(TConverter& c) {
  StoreNew(&c.Value, nullptr);
  bool wide = false;
  wchar_t run[256];
  int32_t n = 0;
  auto put = [&](wchar_t u) {
    if (n == 256) {
      wchar_t* joined = RtlNewUnicodeString(Length(c.Value) + n);
      std::memcpy(joined, c.Value, static_cast<size_t>(Length(c.Value)) * 2);
      std::memcpy(joined + Length(c.Value), run, static_cast<size_t>(n) * 2);
      StoreNew(&c.Value, joined);
      n = 0;
    }
    run[n++] = u;
  };
  for (;;) {
    const wchar_t u = CharAt(c, c.Pos);
    if (u == '#') {
      ++c.Pos;
      uint32_t value = 0;
      while (IsDigit(CharAt(c, c.Pos))) value = value * 10 + (c.Text[c.Pos++] - '0');
      if (value > 127) wide = true;
      put(static_cast<wchar_t>(value & 0xFFFF));
    } else if (u == '\'') {
      ++c.Pos;
      for (;;) {
        const wchar_t q = CharAt(c, c.Pos);
        if (q == 0 || q == '\n' || q == '\r') Error(c, SInvalidString);
        ++c.Pos;
        if (q == '\'') {
          if (CharAt(c, c.Pos) != '\'') break;
          ++c.Pos;
        }
        put(q);
      }
    } else {
      break;
    }
  }
  wchar_t* joined = RtlNewUnicodeString(Length(c.Value) + n);
  if (joined) {
    std::memcpy(joined, c.Value, static_cast<size_t>(Length(c.Value)) * 2);
    std::memcpy(joined + Length(c.Value), run, static_cast<size_t>(n) * 2);
  }
  StoreNew(&c.Value, joined);
  return wide ? toWString : toString;
}

uint16_t NextToken(TConverter& c) {
  SkipBlanks(c);
  c.TokenStart = c.Pos;
  int32_t units = 1;
  const uint32_t u = CodePointAt(c, c.Pos, units);
  if (c.Pos >= c.Length || u == 0) {
    c.Token = toEOF;
  } else if (StartsIdentifier(u)) {
    c.Pos += units;
    for (;;) {
      const uint32_t v = CodePointAt(c, c.Pos, units);
      if (c.Pos >= c.Length || !ContinuesIdentifier(v)) break;
      c.Pos += units;
    }
    c.Token = toSymbol;
  } else if (u == '#' || u == '\'') {
    c.Token = ReadStringToken(c);
  } else if (u == '$') {
    ++c.Pos;
    while (HexValue(CharAt(c, c.Pos)) >= 0) ++c.Pos;
    c.Token = toInteger;
  } else if (u == '-' || IsDigit(u)) {
    ++c.Pos;
    while (IsDigit(CharAt(c, c.Pos))) ++c.Pos;
    c.Token = toInteger;
    c.FloatType = 0;
    auto floatChar = [](wchar_t w) { return w == '+' || w == '-' || w == '.' || w == 'E' || w == 'e'; };
    if (floatChar(CharAt(c, c.Pos))) {
      ++c.Pos;
      while (floatChar(CharAt(c, c.Pos)) || IsDigit(CharAt(c, c.Pos))) ++c.Pos;
      c.Token = toFloat;
    }
    const wchar_t suffix = CharAt(c, c.Pos);
    if (suffix == 'C' || suffix == 'D' || suffix == 'F' || suffix == 'S' || suffix == 'c' || suffix == 'd' ||
        suffix == 'f' || suffix == 's') {
      c.FloatType = suffix;
      c.Token = toFloat;
      ++c.Pos;
    }
  } else {
    c.Token = static_cast<uint16_t>(u > 0xFFFF ? c.Text[c.Pos] : u);
    ++c.Pos;
  }
  SetString(&c.TokenText, c.Text + c.TokenStart, c.Pos - c.TokenStart);
  return c.Token;
}

bool TokenIs(const TConverter& c, const char* keyword) {
  if (c.Token != toSymbol) return false;
  const int32_t length = Length(c.TokenText);
  if (length != static_cast<int32_t>(std::strlen(keyword))) return false;
  for (int32_t i = 0; i < length; ++i) {
    wchar_t a = c.TokenText[i], b = static_cast<wchar_t>(keyword[i]);
    if (a >= 'a' && a <= 'z') a = static_cast<wchar_t>(a - 32);
    if (b >= 'a' && b <= 'z') b = static_cast<wchar_t>(b - 32);
    if (a != b) return false;
  }
  return true;
}

void RequireKeyword(TConverter& c, const char* keyword) {
  if (TokenIs(c, keyword)) return;
  wchar_t text[16];
  int i = 0;
  for (; keyword[i]; ++i) text[i] = static_cast<wchar_t>(keyword[i]);
  text[i] = 0;
  Error(c, SSymbolExpected, {text});
}

void RequireToken(TConverter& c, uint16_t token) {
  if (c.Token == token) return;
  switch (token) {
    case toSymbol: Error(c, SIdentifierExpected);
    case toString: case toWString: Error(c, SStringExpected);
    case toInteger: case toFloat: Error(c, SNumberExpected);
    default: {
      const wchar_t text[2] = {static_cast<wchar_t>(token), 0};
      Error(c, SCharExpected, {text});
    }
  }
}

// A dotted component name without blanks: the symbol, then ".ident" while a
// dot follows directly; the dot must start an identifier.
void ComponentPath(TConverter& c) {
  RequireToken(c, toSymbol);
  int32_t units = 1;
  while (CharAt(c, c.Pos) == '.') {
    if (!StartsIdentifier(CodePointAt(c, c.Pos + 1, units)) || c.Pos + 1 >= c.Length) Error(c, SIdentifierExpected);
    c.Pos += 1 + units;
    while (c.Pos < c.Length && ContinuesIdentifier(CodePointAt(c, c.Pos, units))) c.Pos += units;
  }
  SetString(&c.Scratch, c.Text + c.TokenStart, c.Pos - c.TokenStart);
}

// ---- values ----------------------------------------------------------------------------

// Currency(value / 10000): the 64-bit currency is the scaled value rounded to nearest.
int64_t CurrencyOf(long double value) { return llrintl(value / 10000.0L * 10000.0L); }

void ReadProperties(TConverter& c, const char* until);
void ReadValue(TConverter& c);

// "{" hexadecimal pairs "}": pairs taken while both characters are
// hexadecimal digits, blanks and line breaks allowed between runs.
void QM_HOST_REGISTER HexToBinary(TConverter* c, void* stream) {
  SkipBlanks(*c);
  uint8_t chunk[1024];
  while (CharAt(*c, c->Pos) != '}') {
    int32_t count = 0;
    while (count < static_cast<int32_t>(sizeof chunk)) {
      const int high = HexValue(CharAt(*c, c->Pos)), low = HexValue(CharAt(*c, c->Pos + 1));
      if (high < 0 || low < 0) break;
      chunk[count++] = static_cast<uint8_t>(high << 4 | low);
      c->Pos += 2;
    }
    if (count == 0) Error(*c, SInvalidBinary);
    RtlStreamWriteBuffer(stream, chunk, count);
    if (count < static_cast<int32_t>(sizeof chunk)) SkipBlanks(*c);
  }
  NextToken(*c);
}

// "[n]" after a header or "item": the order index, or -1 without one.
int32_t ReadOrderIndex(TConverter& c) {
  if (c.Token != '[') return -1;
  NextToken(c);
  RequireToken(c, toInteger);
  const int32_t index = static_cast<int32_t>(RtlStrToInt64(c.TokenText));
  NextToken(c);
  RequireToken(c, ']');
  NextToken(c);
  return index;
}

void WriteShortString(TConverter& c, const wchar_t* text) { RtlWriterWriteUTF8Str(c.Writer, text); }

void ReadValue(TConverter& c) {
  switch (c.Token) {
    case toString:
    case toWString:
      RtlUStrAsg(&c.Scratch, c.Value);
      while (NextToken(c) == '+') {
        NextToken(c);
        if (c.Token != toString && c.Token != toWString) RequireToken(c, toString);
        wchar_t* joined = RtlNewUnicodeString(Length(c.Scratch) + Length(c.Value));
        if (joined) {
          std::memcpy(joined, c.Scratch, static_cast<size_t>(Length(c.Scratch)) * 2);
          std::memcpy(joined + Length(c.Scratch), c.Value, static_cast<size_t>(Length(c.Value)) * 2);
        }
        StoreNew(&c.Scratch, joined);
      }
      RtlWriterWriteString(c.Writer, c.Scratch);
      return;
    case toSymbol:
      ComponentPath(c);
      RtlWriterWriteIdent(c.Writer, c.Scratch);
      break;
    case toInteger:
      RtlWriterWriteInteger64(c.Writer, 0, 0, RtlStrToInt64(c.TokenText));
      break;
    case toFloat: {
      const int32_t length = Length(c.TokenText) - (c.FloatType ? 1 : 0);
      SetString(&c.Scratch, c.TokenText, length);
      const long double value = RtlStrToFloatFS(c.Scratch, &c.Settings);
      switch (c.FloatType) {
        case 'S': case 's': RtlWriterWriteSingle(c.Writer, static_cast<float>(value)); break;
        case 'C': case 'c': RtlWriterWriteCurrency(c.Writer, 0, 0, CurrencyOf(value)); break;
        case 'D': case 'd': RtlWriterWriteDate(c.Writer, static_cast<double>(value)); break;
        default: RtlWriterWriteFloat(c.Writer, value); break;
      }
      break;
    }
    case '(':
      NextToken(c);
      RtlWriterWriteListBegin(c.Writer);
      while (c.Token != ')') ReadValue(c);
      RtlWriterWriteListEnd(c.Writer);
      break;
    case '<':
      NextToken(c);
      RtlWriterWriteValue(c.Writer, 14);
      while (c.Token != '>') {
        RequireKeyword(c, "item");
        NextToken(c);
        const int32_t index = ReadOrderIndex(c);
        if (index != -1) RtlWriterWriteInteger(c.Writer, index);
        RtlWriterWriteListBegin(c.Writer);
        ReadProperties(c, "end");
        RtlWriterWriteListEnd(c.Writer);
        NextToken(c);
      }
      RtlWriterWriteListEnd(c.Writer);
      break;
    case '[':
      NextToken(c);
      RtlWriterWriteValue(c.Writer, 11);
      if (c.Token != ']') {
        for (;;) {
          if (c.Token == toString || c.Token == toWString) {
            // A character element: "#" and the code of its first character.
            if (Length(c.Value) == 0) Error(c, SInvalidProperty);
            wchar_t text[16];
            wsprintfW(text, L"#%u", static_cast<unsigned>(c.Value[0]));
            SetString(&c.Scratch, text, lstrlenW(text));
          } else if (c.Token == toInteger) {
            RtlUStrAsg(&c.Scratch, c.TokenText);
          } else {
            RequireToken(c, toSymbol);
            RtlUStrAsg(&c.Scratch, c.TokenText);
          }
          WriteShortString(c, c.Scratch);
          if (NextToken(c) == ']') break;
          RequireToken(c, ',');
          NextToken(c);
        }
      }
      WriteShortString(c, nullptr);
      break;
    case '{': {
      using TStreamProc = void(QM_HOST_REGISTER*)(TConverter*, void*);
      TStreamProc producer = HexToBinary;
      RtlWriterWriteBinary(c.Writer, 0, 0, reinterpret_cast<void*>(producer), &c);
      break;  // HexToBinary made "}" the current token
    }
    default:
      Error(c, SInvalidProperty);
  }
  NextToken(c);
}

// name ("." name)* "=" value
void ReadProperty(TConverter& c) {
  RequireToken(c, toSymbol);
  RtlUStrAsg(&c.Scratch, c.TokenText);
  NextToken(c);
  while (c.Token == '.') {
    NextToken(c);
    RequireToken(c, toSymbol);
    wchar_t* joined = RtlNewUnicodeString(Length(c.Scratch) + 1 + Length(c.TokenText));
    std::memcpy(joined, c.Scratch, static_cast<size_t>(Length(c.Scratch)) * 2);
    joined[Length(c.Scratch)] = '.';
    std::memcpy(joined + Length(c.Scratch) + 1, c.TokenText, static_cast<size_t>(Length(c.TokenText)) * 2);
    StoreNew(&c.Scratch, joined);
    NextToken(c);
  }
  WriteShortString(c, c.Scratch);
  RequireToken(c, '=');
  NextToken(c);
  ReadValue(c);
}

bool EndsProperties(const TConverter& c, const char* until) {
  if (until) return TokenIs(c, until);
  return TokenIs(c, "END") || TokenIs(c, "OBJECT") || TokenIs(c, "INHERITED") || TokenIs(c, "INLINE");
}

// Properties up to the keyword `until` (collection items), or up to the
// keyword that ends an object's properties (null).
void ReadProperties(TConverter& c, const char* until) {
  while (!EndsProperties(c, until)) ReadProperty(c);
}

void ReadObject(TConverter& c) {
  int flags = 0;
  if (TokenIs(c, "INHERITED"))
    flags = 1;
  else if (TokenIs(c, "INLINE"))
    flags = 4;
  else
    RequireKeyword(c, "OBJECT");
  NextToken(c);
  RequireToken(c, toSymbol);
  RtlUStrAsg(&c.ClassName, c.TokenText);
  RtlUStrClr(&c.ObjectName);
  if (NextToken(c) == ':') {
    NextToken(c);
    RequireToken(c, toSymbol);
    RtlUStrAsg(&c.ObjectName, c.ClassName);
    RtlUStrAsg(&c.ClassName, c.TokenText);
    NextToken(c);
  }
  const int32_t index = ReadOrderIndex(c);
  if (index >= 0) flags |= 2;
  RtlWriterWritePrefix(c.Writer, flags, index);
  WriteShortString(c, c.ClassName);
  WriteShortString(c, c.ObjectName);
  ReadProperties(c, nullptr);
  RtlWriterWriteListEnd(c.Writer);
  while (!TokenIs(c, "END")) ReadObject(c);
  RtlWriterWriteListEnd(c.Writer);
  NextToken(c);
}

// ---- the conversion --------------------------------------------------------------------

void ReadInput(TConverter& c) {
  int32_t capacity = 0x10000;
  c.Bytes = static_cast<uint8_t*>(RtlGetMem(capacity));
  for (;;) {
    if (c.ByteCount == capacity) {
      capacity *= 2;
      void* p = c.Bytes;
      RtlReallocMem(&p, capacity);
      c.Bytes = static_cast<uint8_t*>(p);
    }
    const int32_t n = StreamRead(c.Input, c.Bytes + c.ByteCount, capacity - c.ByteCount);
    if (n <= 0) break;
    c.ByteCount += n;
  }
}

void Convert(TConverter& c) {
  ReadInput(c);
  c.BomLength = RtlGetBufferEncoding(c.Bytes, c.ByteCount, &c.Encoding);
  if (c.Encoding != RtlEncodingDefault() && c.Encoding != RtlEncodingUTF8()) Error(c, SAnsiUTF8Expected);
  RtlEncodingGetString(c.Encoding, c.Bytes + c.BomLength, c.ByteCount - c.BomLength, &c.Text);
  c.Length = Length(c.Text);
  NextToken(c);
  RtlWriterWriteSignature(c.Writer);
  ReadObject(c);
}

// Bytes of the input before the current token.
int32_t TokenByteOffset(const TConverter& c) {
  if (c.TokenStart < 0) return 0;
  const int32_t codePage = *reinterpret_cast<const int32_t*>(static_cast<const char*>(c.Encoding) + 4);
  const int bytes = c.TokenStart == 0 ? 0
      : WideCharToMultiByte(static_cast<UINT>(codePage), 0, c.Text, c.TokenStart, nullptr, 0, nullptr, nullptr);
  return c.BomLength + bytes;
}

// Runs f; a host exception it raises is caught and dropped (used while an
// exception is already on its way: the first one is the one reported).
template <class F>
void Quietly(F&& f) {
  QmHost::HostExceptionReport report;
  QmHost::CallHostGuarded(f, report, QmHost::LoadedHostRtl());
}

void Release(TConverter& c) {
  for (wchar_t** s : {&c.Text, &c.TokenText, &c.Value, &c.Scratch, &c.ClassName, &c.ObjectName}) RtlUStrClr(s);
  void* bytes = c.Bytes;
  c.Bytes = nullptr;
  RtlFreeMem(bytes);
}

} // namespace

extern "C" {

// ObjectTextToBinary(Input, Output: TStream): EAX = Input, EDX = Output.
void QM_HOST_REGISTER RtlObjectTextToBinary(void* input, void* output) QM_HOST_SYMBOL(rtl_ObjectTextToBinary);
void QM_HOST_REGISTER RtlObjectTextToBinary(void* input, void* output) {
  TConverter c;
  c.Input = input;
  c.Settings = FormatSettings;
  c.Settings.DecimalSeparator = L'.';
  bool finished = false;
  QmHost::StandInTryFinally(
      [&] {
        c.Writer = RtlWriterCreate(rtl_TWriter_Class, 1, output, 4096);
        Convert(c);
        void* writer = c.Writer;
        c.Writer = nullptr;
        RtlObjectFree(writer);
        StreamSeek(c.Input, TokenByteOffset(c) - c.ByteCount, 1);
        finished = true;
      },
      [&] {
        if (!finished) {
          if (void* writer = c.Writer) {
            c.Writer = nullptr;
            Quietly([writer] { RtlObjectFree(writer); });
          }
          if (c.Bytes) Quietly([&c] { StreamSeek(c.Input, TokenByteOffset(c) - c.ByteCount, 1); });
        }
        Release(c);
      });
}

} // extern "C"
