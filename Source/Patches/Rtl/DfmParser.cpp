#include "Patches/Rtl/DfmParser.h"

#include <cstring>
#include <cwchar>
#include <windows.h>

namespace Quillmend {

namespace {

// The host's assertion failure for a bad UTF-8 sequence carries this file.
constexpr THostLiteral InvalidUtf8Text(L"Invalid UTF8 Character");
constexpr THostLiteral ThisFile(L"Source/Patches/Rtl/DfmParser.cpp");

bool IsDigit(uint8_t b) { return b >= '0' && b <= '9'; }
bool IsHexDigit(uint8_t b) { return IsDigit(b) || (b >= 'A' && b <= 'F') || (b >= 'a' && b <= 'f'); }
bool IsFloatChar(uint8_t b) { return b == '+' || b == '-' || b == '.' || b == 'E' || b == 'e'; }
bool IsFloatSuffix(uint8_t b) {
  return b == 'C' || b == 'D' || b == 'F' || b == 'S' || b == 'c' || b == 'd' || b == 'f' || b == 's';
}
bool ContinuesIdentifier(uint8_t k) { return k == ccIdentStart || k == ccIdentPart || k == ccDigit; }

bool AllAscii(const uint8_t* bytes, int32_t count) {
  for (int32_t i = 0; i < count; ++i)
    if (bytes[i] >= 0x80) return false;
  return true;
}

// Offset just after the last line feed before `position`; 0 if none.
int32_t LineStart(const uint8_t* buffer, int32_t position) {
  while (position > 0 && buffer[position - 1] != '\n') --position;
  return position;
}

// The host message text of a resource string.
void LoadMessage(TDfmMessage message, std::wstring& out) {
  wchar_t* text = nullptr;
  DfmHost.LoadResString(DfmHost.Messages[message], &text);
  out.assign(text ? text : L"", size_t(HostStringLength(text)));
  DfmHost.Strings.Clear(&text);
}

// The first %s or %d of `pattern` replaced by `argument` (the messages take one).
void ReplaceFirstArgument(std::wstring& pattern, const std::wstring& argument) {
  for (size_t i = 0; i + 1 < pattern.size(); ++i)
    if (pattern[i] == L'%' && (pattern[i + 1] == L's' || pattern[i + 1] == L'd')) {
      pattern.replace(i, 2, argument);
      return;
    }
}

}  // namespace

TDfmParser::TDfmParser(void* input, const uint8_t* formatSettings) : FInput(input) {
  BuildDfmTables();
  std::memcpy(FFormatSettings, formatSettings, sizeof FFormatSettings);
  const wchar_t point = L'.';
  std::memcpy(FFormatSettings + HostFormatSettingsLayout::DecimalSeparator, &point, sizeof point);
  FBuffer = new uint8_t[BufferSize]();
}

TDfmParser::~TDfmParser() {
  delete[] FBuffer;
  FNumberText.Release(DfmHost.Strings);
}

void TDfmParser::Open() {
  RefillBuffer();
  void* encoding = nullptr;
  FScan += DfmHost.GetBufferEncoding(FBuffer, FFill, &encoding);
  FEncoding = encoding;
  FUtf8 = encoding && encoding == DfmHost.EncodingUTF8();
  if (!encoding || (encoding != DfmHost.EncodingDefault() && !FUtf8)) ReportError(msgAnsiUTF8Expected);
  AdvanceToken();
}

void TDfmParser::Close() {
  if (FClosed) return;
  FClosed = true;
  HostStreamSeek(FInput, FTokenStart - FFill, THostSeekOrigin::Current);
}

void TDfmParser::RefillBuffer() {
  FOrigin += FScan;
  FTokenStart -= FScan;  // stays at its byte of the input, also when that byte leaves the buffer
  FBuffer[FTextEnd] = FSavedChar;
  const int32_t kept = FFill - FScan;
  std::memmove(FBuffer, FBuffer + FScan, size_t(kept));
  FFill = kept;
  const int32_t read = HostStreamRead(FInput, FBuffer + FFill, FLimit - FFill);
  if (read > 0) FFill += read;
  FScan = 0;
  FTextEnd = FFill;
  if (FFill == FLimit) {
    FTextEnd = LineStart(FBuffer, FFill - 1);
    if (FTextEnd == 0) {
      FSavedChar = FBuffer[0];
      ReportError(msgLineTooLong);
    }
  }
  FSavedChar = FBuffer[FTextEnd];
  FBuffer[FTextEnd] = 0;
}

void TDfmParser::SkipBlankBytes() {
  for (;;) {
    const uint8_t b = FBuffer[FScan];
    if (b == 0) {
      RefillBuffer();
      if (FBuffer[FScan] == 0) return;
      continue;
    }
    if (b > 0x20) return;
    if (b == '\n') ++FLine;
    ++FScan;
  }
}

void TDfmParser::InvalidUtf8() {
  DfmHost.Assert(InvalidUtf8Text.Get(), ThisFile.Get(), __LINE__);
  __builtin_unreachable();
}

uint8_t TDfmParser::ClassOfCodePoint(uint32_t codePoint) {
  uint8_t category;
  if (codePoint <= 0xFFFF) {
    category = DfmHost.GetUnicodeCategory(codePoint);
  } else {
    wchar_t* pair = nullptr;
    DfmHost.ConvertFromUtf32(codePoint, &pair);
    category = DfmHost.GetUnicodeCategoryAt(pair, 1);
    DfmHost.Strings.Clear(&pair);
  }
  switch (category) {
    case ucUppercaseLetter: case ucLowercaseLetter: case ucTitlecaseLetter: case ucModifierLetter:
    case ucOtherLetter: case ucLetterNumber:
      return ccIdentStart;
    case ucNonSpacingMark: case ucCombiningMark: case ucDecimalNumber: case ucConnectPunctuation: case ucFormat:
      return ccIdentPart;
    default:
      return ccOther;
  }
}

uint8_t TDfmParser::CharClassAt(int32_t& position) {
  const uint8_t lead = FBuffer[position++];
  if (lead < 0x80) return DfmCharClass[lead];
  if (!FUtf8) return ccOther;
  --position;
  const int32_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF7 ? 4 : 0;
  if (!length) InvalidUtf8();
  // Every further byte must be a continuation byte before the end of the
  // text (its mark, a 0, is none): a cut or broken sequence is invalid.
  for (int32_t k = 1; k < length; ++k)
    if (position + k >= FTextEnd || (FBuffer[position + k] & 0xC0) != 0x80) InvalidUtf8();
  const uint8_t* b = FBuffer + position;
  uint32_t codePoint;
  if (length == 2)
    codePoint = uint32_t(b[0] & 0x1F) << 6 | (b[1] & 0x3F);
  else if (length == 3)
    codePoint = uint32_t(b[0] & 0x0F) << 12 | uint32_t(b[1] & 0x3F) << 6 | (b[2] & 0x3F);
  else
    codePoint = uint32_t(b[0] & 0x07) << 18 | uint32_t(b[1] & 0x3F) << 12 | uint32_t(b[2] & 0x3F) << 6 | (b[3] & 0x3F);
  position += length;
  return ClassOfCodePoint(codePoint);
}

void TDfmParser::SkipIdentifier(int32_t& position) {
  for (;;) {
    const uint8_t b = FBuffer[position];
    if (b < 0x80) {
      const uint8_t k = DfmCharClass[b];
      if (k != ccIdentStart && k != ccDigit) return;
      ++position;
      continue;
    }
    int32_t next = position;
    if (!ContinuesIdentifier(CharClassAt(next))) return;
    position = next;
  }
}

void TDfmParser::ScanNumber(int32_t& position) {
  while (IsDigit(FBuffer[position])) ++position;
  FTokenKind = tkInteger;
  if (IsFloatChar(FBuffer[position])) {
    ++position;
    while (IsFloatChar(FBuffer[position]) || IsDigit(FBuffer[position])) ++position;
    FTokenKind = tkFloat;
  }
  if (IsFloatSuffix(FBuffer[position])) {
    FFloatSuffix = wchar_t(FBuffer[position++]);
    FTokenKind = tkFloat;
  } else {
    FFloatSuffix = 0;
  }
}

// "#" codes and quoted runs from the token start: counted and checked first,
// then decoded (narrow: into the buffer itself, from the token start on).
uint16_t TDfmParser::ScanString() {
  int32_t p = FTokenStart;
  int32_t count = 0;
  bool wide = false;
  for (;;) {
    if (FBuffer[p] == '#') {
      uint32_t value = 0;
      for (++p; IsDigit(FBuffer[p]); ++p) value = value * 10 + uint32_t(FBuffer[p] - '0');
      wide = wide || value > 127;
      ++count;
    } else if (FBuffer[p] == '\'') {
      for (++p;; ++count) {
        const uint8_t c = FBuffer[p];
        if (c == 0 || c == '\n' || c == '\r') ReportError(msgInvalidString);
        ++p;
        if (c == '\'') {
          if (FBuffer[p] != '\'') break;
          ++p;
        }
      }
    } else {
      break;
    }
  }
  const int32_t end = p;
  p = FTokenStart;
  if (wide) {
    FWideValue.clear();
    FWideValue.reserve(size_t(count));
  }
  int32_t out = FTokenStart;  // narrow: where the next decoded byte goes
  while (p < end) {
    if (FBuffer[p] == '#') {
      uint32_t value = 0;
      for (++p; IsDigit(FBuffer[p]); ++p) value = value * 10 + uint32_t(FBuffer[p] - '0');
      if (wide)
        FWideValue.push_back(wchar_t(value & 0xFFFF));
      else
        FBuffer[out++] = uint8_t(value);
      continue;
    }
    // A quoted run, its doubled quotes made single, in place: a narrow
    // token's bytes go on at `out`, a wide token's run is compacted where it is.
    ++p;
    const int32_t runStart = wide ? p : out;
    int32_t w = runStart;
    for (;;) {
      const uint8_t c = FBuffer[p++];
      if (c == '\'') {
        if (FBuffer[p] != '\'') break;
        ++p;
      }
      FBuffer[w++] = c;
    }
    if (!wide) {
      out = w;
    } else if (AllAscii(FBuffer + runStart, w - runStart)) {
      for (int32_t i = runStart; i < w; ++i) FWideValue.push_back(wchar_t(FBuffer[i]));
    } else {
      // Bytes of the input's encoding: decoded as the input's text, as the
      // host decodes them, not widened one by one.
      AppendDecoded(FBuffer + runStart, w - runStart, FWideValue);
    }
  }
  FStringEnd = out;
  FScan = end;
  return wide ? tkWideString : tkString;
}

uint16_t TDfmParser::AdvanceToken() {
  // Blanks inside the text skipped here; the text's end (a 0) refills.
  uint8_t first = FBuffer[FScan];
  while (first - 1u < 0x20u) {
    if (first == '\n') ++FLine;
    first = FBuffer[++FScan];
  }
  if (first == 0) {
    SkipBlankBytes();
    first = FBuffer[FScan];
  }
  FTokenStart = FScan;
  int32_t position = FScan;
  if (first < 0x80 && DfmCharClass[first] == ccIdentStart) {
    // An ASCII identifier by table; the rest of it the general way only at a
    // byte of 0x80 or more.
    ++position;
    uint8_t k;
    while ((k = DfmCharClass[FBuffer[position] & 0x7F]) == ccIdentStart || k == ccDigit) {
      if (FBuffer[position] >= 0x80) break;
      ++position;
    }
    if (FBuffer[position] >= 0x80) SkipIdentifier(position);
    FTokenKind = tkSymbol;
    FScan = position;
    return FTokenKind;
  }
  switch (CharClassAt(position)) {
    case ccIdentStart:
      SkipIdentifier(position);
      FTokenKind = tkSymbol;
      break;
    case ccDigit:
    case ccMinus:
      ScanNumber(position);
      break;
    case ccDollar:
      while (IsHexDigit(FBuffer[position])) ++position;
      FTokenKind = tkInteger;
      break;
    case ccHash:
    case ccQuote:
      FTokenKind = ScanString();
      return FTokenKind;
    default:
      // A character of its own (a non-ASCII one: its lead byte).
      FTokenKind = first;
      position = FTokenStart + (first != 0 ? 1 : 0);
      break;
  }
  FScan = position;
  return FTokenKind;
}

void TDfmParser::AppendDecoded(const uint8_t* bytes, int32_t count, std::wstring& out) {
  wchar_t* text = nullptr;
  DfmHost.GetString(FEncoding, bytes, count, &text);
  out.append(text ? text : L"", size_t(HostStringLength(text)));
  DfmHost.Strings.Clear(&text);
}

void TDfmParser::AppendUtf8(const uint8_t* bytes, int32_t count, std::string& out) {
  if (AllAscii(bytes, count)) {
    const size_t at = out.size();
    out.resize(at + size_t(count));
    for (int32_t i = 0; i < count; ++i) out[at + size_t(i)] = char(bytes[i]);
    return;
  }
  FDecoded.clear();
  AppendDecoded(bytes, count, FDecoded);
  const int size = WideCharToMultiByte(CP_UTF8, 0, FDecoded.data(), int(FDecoded.size()), nullptr, 0, nullptr, nullptr);
  const size_t at = out.size();
  out.resize(at + size_t(size));
  WideCharToMultiByte(CP_UTF8, 0, FDecoded.data(), int(FDecoded.size()), &out[at], size, nullptr, nullptr);
}

void TDfmParser::AppendTokenText(std::wstring& out) {
  const uint8_t* bytes = FBuffer + FTokenStart;
  const int32_t count = TokenEnd() - FTokenStart;
  if (AllAscii(bytes, count)) {
    const size_t at = out.size();
    out.resize(at + size_t(count));
    for (int32_t i = 0; i < count; ++i) out[at + size_t(i)] = wchar_t(bytes[i]);
  } else
    AppendDecoded(bytes, count, out);
}

void TDfmParser::AppendTokenUtf8(std::string& out) { AppendUtf8(FBuffer + FTokenStart, TokenEnd() - FTokenStart, out); }

void TDfmParser::AppendTokenWideText(std::wstring& out) {
  if (FTokenKind == tkWideString)
    out += FWideValue;
  else
    AppendTokenText(out);
}

bool TDfmParser::FirstWideUnit(wchar_t& unit) {
  if (FTokenKind == tkWideString) {
    if (FWideValue.empty()) return false;
    unit = FWideValue[0];
    return true;
  }
  FDecoded.clear();
  AppendTokenText(FDecoded);
  if (FDecoded.empty()) return false;
  unit = FDecoded[0];
  return true;
}

int64_t TDfmParser::TokenInt64() {
  const wchar_t* text = FNumberText.Set(DfmHost.Strings, reinterpret_cast<const char*>(FBuffer + FTokenStart),
                                        FScan - FTokenStart);
  return DfmHost.StrToInt64(text);
}

long double TDfmParser::TokenFloatValue() {
  const int32_t length = FScan - FTokenStart - (FFloatSuffix ? 1 : 0);
  const wchar_t* text = FNumberText.Set(DfmHost.Strings, reinterpret_cast<const char*>(FBuffer + FTokenStart), length);
  return DfmHost.StrToFloat(text, FFormatSettings);
}

void TDfmParser::AppendComponentPathUtf8(std::string& out) {
  RequireToken(tkSymbol);
  int32_t position = FScan;
  while (FBuffer[position] == '.') {
    int32_t next = position + 1;
    if (CharClassAt(next) != ccIdentStart) ReportError(msgIdentifierExpected);
    SkipIdentifier(next);
    position = next;
  }
  FScan = position;
  AppendTokenUtf8(out);
}

bool TDfmParser::TokenIs(const char* keyword) const {
  if (FTokenKind != tkSymbol) return false;
  // ASCII letters fold; every other byte must match exactly.
  auto fold = [](uint8_t c) { return c >= 'a' && c <= 'z' ? uint8_t(c - 32) : c; };
  const int32_t length = FScan - FTokenStart;
  const uint8_t* bytes = FBuffer + FTokenStart;
  for (int32_t i = 0; i < length; ++i)
    if (!keyword[i] || fold(bytes[i]) != fold(uint8_t(keyword[i]))) return false;
  return keyword[length] == 0;
}

void TDfmParser::RequireKeyword(const char* keyword) {
  if (TokenIs(keyword)) return;
  wchar_t text[16] = {};
  for (int i = 0; keyword[i] && i < 15; ++i) text[i] = wchar_t(keyword[i]);
  ReportErrorFmt(msgSymbolExpected, text);
}

void TDfmParser::RequireToken(uint16_t kind) {
  if (FTokenKind == kind) return;
  switch (kind) {
    case tkSymbol: ReportError(msgIdentifierExpected);
    case tkString: case tkWideString: ReportError(msgStringExpected);
    case tkInteger: case tkFloat: ReportError(msgNumberExpected);
    default: {
      const wchar_t text[2] = {wchar_t(kind), 0};
      ReportErrorFmt(msgCharExpected, text);
    }
  }
}

void TDfmParser::ReportError(TDfmMessage message) {
  LoadMessage(message, FMessage);
  ReportErrorText();
}

void TDfmParser::ReportErrorFmt(TDfmMessage message, const wchar_t* argument) {
  LoadMessage(message, FMessage);
  ReplaceFirstArgument(FMessage, argument);
  ReportErrorText();
}

void TDfmParser::ReportErrorText() {
  std::wstring text;
  LoadMessage(msgParseError, text);
  ReplaceFirstArgument(text, FMessage);
  ReplaceFirstArgument(text, std::to_wstring(FLine));
  FMessage.clear();
  // The text moves into the host's memory before the raise.
  RaiseHostExceptionOf(DfmHost.ParserErrorClass, std::move(text));
}

void TDfmParser::HexToStream(void* stream) {
  SkipBlankBytes();
  uint8_t chunk[1024];
  int32_t filled = 0;
  while (FBuffer[FScan] != '}') {
    if (filled == int32_t(sizeof chunk)) {
      HostStreamWrite(stream, chunk, filled);
      filled = 0;
    }
    int32_t pairs = 0;
    uint8_t value;
    while (filled < int32_t(sizeof chunk) && DecodeHexPair(FBuffer + FScan, value)) {
      chunk[filled++] = value;
      FScan += 2;
      ++pairs;
    }
    if (pairs == 0) ReportError(msgInvalidBinary);
    SkipBlankBytes();
  }
  if (filled) HostStreamWrite(stream, chunk, filled);
  AdvanceToken();
}

}  // namespace Quillmend
