// The form-text parser of the conversion (TParser): it scans the input's
// bytes (ANSI or UTF-8) in a 4096-byte buffer that always ends at a line
// start, classifies characters by table, decodes strings in place and
// converts only what the writer needs to UTF-16.
//
// Its errors are host exceptions raised where they are found (EParserError
// "<message> on line <n>", the host's conversion and assertion errors), so
// it keeps everything it owns in its own fields: whoever holds the parser
// frees it in a host try/finally.
#pragma once

#include <cstdint>
#include <string>

#include "Framework/HostAbi.h"
#include "Patches/Rtl/DfmHost.h"
#include "Patches/Rtl/DfmTables.h"

namespace Quillmend {

// Token kinds; any other value is the character itself ("=", "(", ...).
enum TDfmToken : uint16_t {
  tkEnd = 0,
  tkSymbol = 1,
  tkString = 2,      // no "#" code above 127; quoted bytes as they stand in the input
  tkInteger = 3,
  tkFloat = 4,
  tkWideString = 5,  // some "#" code of 128 or more
};

class TDfmParser {
public:
  static constexpr int32_t BufferSize = 4096;
  static constexpr int32_t BufferLimit = BufferSize - 1;  // one byte for the end-of-text mark

  // Creation without reading: Open reads, detects the encoding and takes the
  // first token (it may raise; the parser is then freed by its holder).
  TDfmParser(void* input, const uint8_t* formatSettings);
  ~TDfmParser();
  TDfmParser(const TDfmParser&) = delete;
  TDfmParser& operator=(const TDfmParser&) = delete;

  void Open();
  // Leaves Input at the first byte of the current token (may raise: the
  // stream's Seek); done once.
  void Close();

  void RefillBuffer();
  void SkipBlankBytes();
  // The class of the character at `position`, which moves past it.
  uint8_t CharClassAt(int32_t& position);
  uint16_t AdvanceToken();

  uint16_t Token() const { return FTokenKind; }
  wchar_t FloatSuffix() const { return FFloatSuffix; }
  int32_t Line() const { return FLine; }

  // Token values. Texts are appended to the caller's buffer (the reader
  // keeps its buffers in its own fields, freed with it).
  // TokenText as UTF-16 / as UTF-8: kind 2 its decoded bytes, any other kind
  // its source bytes; ASCII widened one to one, anything else decoded with
  // the input's encoding.
  void AppendTokenText(std::wstring& out);
  void AppendTokenUtf8(std::string& out);
  // TokenWideText: kind 2 its text, kind 5 its value.
  void AppendTokenWideText(std::wstring& out);
  // The first UTF-16 unit of the string token's value; false for an empty one.
  bool FirstWideUnit(wchar_t& unit);
  int64_t TokenInt64();
  long double TokenFloatValue();
  // The dotted component name starting at the current symbol (no blanks
  // around its dots), as UTF-8; the scan position moves past it.
  void AppendComponentPathUtf8(std::string& out);
  bool TokenIs(const char* keyword) const;
  // The first byte of a symbol token, ASCII letters upper-cased (0 for any other kind).
  uint8_t FirstByteFolded() const {
    if (FTokenKind != tkSymbol) return 0;
    const uint8_t b = FBuffer[FTokenStart];
    return b >= 'a' && b <= 'z' ? uint8_t(b - 32) : b;
  }
  void RequireKeyword(const char* keyword);
  void RequireToken(uint16_t kind);

  // Errors: EParserError with the host's message (formatted with the
  // argument) and the line, "<message> on line <n>". The texts are built in
  // the parser's own field, so nothing is left behind in the frames the
  // raise skips.
  [[noreturn]] void ReportError(TDfmMessage message);
  [[noreturn]] void ReportErrorFmt(TDfmMessage message, const wchar_t* argument);
  [[noreturn]] void ReportErrorText();  // the message in FMessage

  // Producer of "{...}" data for the writer's WriteBinary.
  void HexToStream(void* stream);

private:
  // The bytes [from, from + count) of the buffer as UTF-16, appended.
  void AppendDecoded(const uint8_t* bytes, int32_t count, std::wstring& out);
  void AppendUtf8(const uint8_t* bytes, int32_t count, std::string& out);
  // Where the current token's text lies: kind 2 its decoded bytes.
  int32_t TokenEnd() const { return FTokenKind == tkString ? FStringEnd : FScan; }
  uint8_t ClassOfCodePoint(uint32_t codePoint);
  [[noreturn]] void InvalidUtf8();
  uint16_t ScanString();
  void ScanNumber(int32_t& position);
  void SkipIdentifier(int32_t& position);

  // In the order of the parser's record.
  void* FInput;
  int32_t FOrigin = 0;
  uint8_t* FBuffer = nullptr;
  int32_t FFill = 0;
  int32_t FLimit = BufferLimit;
  int32_t FScan = 0;
  int32_t FTextEnd = 0;
  int32_t FTokenStart = 0;
  int32_t FStringEnd = 0;
  int32_t FLine = 1;
  uint8_t FSavedChar = 0;
  uint16_t FTokenKind = tkEnd;
  wchar_t FFloatSuffix = 0;
  std::wstring FWideValue;
  void* FErrorHandler = nullptr;  // never set: errors always raise
  void* FEncoding = nullptr;
  bool FUtf8 = false;
  uint8_t FFormatSettings[HostFormatSettingsLayout::Size];
  THostScratchString FNumberText;  // the text handed to StrToInt64 / StrToFloat
  std::wstring FDecoded;           // a non-ASCII text on its way to UTF-8
  std::wstring FMessage;           // the error being reported
  bool FClosed = false;
};

}  // namespace Quillmend
