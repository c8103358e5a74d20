// The host run-time routines the form-text conversion calls: the component
// writer, text encodings, character categories, number conversions, the
// parser's messages, the assertion failure and the parser error's class.
// Each is a site of the conversion's plan and published at its commit.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The host's TFormatSettings as far as the conversion reads it: copied
// whole, the decimal separator changed.
namespace HostFormatSettingsLayout {
constexpr int Size = 14;
constexpr int DecimalSeparator = 4;  // Char
}  // namespace HostFormatSettingsLayout

// The host's TUnicodeCategory values that matter to identifiers.
enum THostUnicodeCategory : uint8_t {
  ucFormat = 1,             // Cf
  ucLowercaseLetter = 5,    // Ll
  ucModifierLetter = 6,     // Lm
  ucOtherLetter = 7,        // Lo
  ucTitlecaseLetter = 8,    // Lt
  ucUppercaseLetter = 9,    // Lu
  ucCombiningMark = 10,     // Mc
  ucNonSpacingMark = 12,    // Mn
  ucDecimalNumber = 13,     // Nd
  ucLetterNumber = 14,      // Nl
  ucConnectPunctuation = 16 // Pc
};

// The parser's messages, resource strings of the host run-time.
enum TDfmMessage : int {
  msgParseError,  // "%s on line %d"
  msgAnsiUTF8Expected,
  msgLineTooLong,
  msgInvalidString,
  msgIdentifierExpected,
  msgStringExpected,
  msgNumberExpected,
  msgCharExpected,    // with the expected character
  msgSymbolExpected,  // with the keyword
  msgInvalidProperty,
  msgInvalidBinary,
  DfmMessageCount
};

struct TDfmHost {
  THostStrings Strings;

  // TWriter
  void* WriterClass = nullptr;
  // constructor Create(Stream: TStream; BufSize: Integer): EAX class, DL 1, ECX stream, stack size.
  void*(QM_REGISTER* WriterCreate)(void* classRef, int32_t allocate, void* stream, int32_t bufSize) = nullptr;
  void(QM_REGISTER* Write)(void* writer, const void* buffer, int32_t count) = nullptr;
  void(QM_REGISTER* WriteValue)(void* writer, int32_t tag) = nullptr;
  void(QM_REGISTER* WriteSignature)(void* writer) = nullptr;
  void(QM_REGISTER* WritePrefix)(void* writer, int32_t flags, int32_t childPosition) = nullptr;
  void(QM_REGISTER* WriteListBegin)(void* writer) = nullptr;
  void(QM_REGISTER* WriteListEnd)(void* writer) = nullptr;
  void(QM_REGISTER* WriteInteger)(void* writer, int32_t value) = nullptr;
  const void* WriteInteger64 = nullptr;  // Int64 on the stack: CallHostInt64
  void(QM_REGISTER* WriteFloat)(void* writer, long double value) = nullptr;
  void(QM_REGISTER* WriteSingle)(void* writer, float value) = nullptr;
  const void* WriteCurrency = nullptr;   // the 64-bit currency on the stack: CallHostInt64
  void(QM_REGISTER* WriteDate)(void* writer, double value) = nullptr;
  void(QM_REGISTER* WriteString)(void* writer, const wchar_t* value) = nullptr;
  const void* WriteBinary = nullptr;     // a method pointer on the stack: CallHostWithMethod

  // TEncoding
  void*(QM_REGISTER* EncodingDefault)() = nullptr;
  void*(QM_REGISTER* EncodingUTF8)() = nullptr;
  int32_t(QM_REGISTER* GetBufferEncoding)(const uint8_t* buffer, int32_t count, void** encoding) = nullptr;
  void(QM_REGISTER* GetString)(void* encoding, const uint8_t* bytes, int32_t count, wchar_t** result) = nullptr;

  // TCharacter
  uint8_t(QM_REGISTER* GetUnicodeCategory)(uint32_t character) = nullptr;
  uint8_t(QM_REGISTER* GetUnicodeCategoryAt)(const wchar_t* s, int32_t index) = nullptr;
  void(QM_REGISTER* ConvertFromUtf32)(uint32_t codePoint, wchar_t** result) = nullptr;

  // Numbers
  int64_t(QM_REGISTER* StrToInt64)(const wchar_t* s) = nullptr;
  long double(QM_REGISTER* StrToFloat)(const wchar_t* s, const void* formatSettings) = nullptr;
  const uint8_t* FormatSettings = nullptr;

  // Messages and errors
  void(QM_REGISTER* LoadResString)(const void* record, wchar_t** result) = nullptr;
  const void* Messages[DfmMessageCount] = {};
  void(QM_REGISTER* Assert)(const wchar_t* message, const wchar_t* fileName, int32_t line) = nullptr;
  void* ParserErrorClass = nullptr;
};

// Published when "RTL.Classes.ObjectTextToBinary" commits.
extern TDfmHost DfmHost;

// Declares every routine above as a site of the plan; the returned function
// publishes them into DfmHost (call it from the plan's OnCommit).
std::function<void(const TPlanValues&)> AddDfmHostSites(TPatchPlan& plan);

}  // namespace Quillmend
