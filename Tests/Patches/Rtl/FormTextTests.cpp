// The form-text conversion beyond the Free Pascal subset, on the host's
// converter (before the patch) and the replacement (after), against the
// binary format table: float suffixes, Null, item indexes, character and
// number set elements, order indexes, wide and UTF-8 texts; errors with
// their message, line and where Input is left; the faults the replacement
// must not have; mutated inputs; and nothing left behind after any error.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "Common/HostClass.h"
#include "FormCorpus.h"
#include "Patches/Rtl/DfmTables.h"
#include "StandInRuntime.h"

namespace {

using namespace RtlTest;

const wchar_t* const FormText = L"RTL.Classes.ObjectTextToBinary";

// ---- bytes --------------------------------------------------------------------------

std::string Bytes(const char* hex) {
  std::string bytes;
  for (const char* p = hex; *p;) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    bytes += char(std::stoi(std::string(p, 2), nullptr, 16));
    p += 2;
  }
  return bytes;
}

template <class T>
std::string Raw(T value, size_t size = sizeof(T)) {
  return std::string(reinterpret_cast<const char*>(&value), size);
}

std::string Utf16(const std::wstring& text) { return Raw(int32_t(text.size())) + std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2); }

// "object A: T\n  P = <value>\nend\n" and its binary form around the value's bytes.
std::string WithValue(const std::string& value) { return "object A: T\n  P = " + value + "\nend\n"; }
std::string BinaryWithValue(const std::string& valueBytes) {
  return "TPF0" + Bytes("01 54 01 41 01 50") + valueBytes + Bytes("00 00");
}

struct TFormatRow {
  const char* Name;
  std::string Text;
  std::string Binary;
};

std::vector<TFormatRow> FormatRows() {
  const std::wstring acp = [] {
    wchar_t text[8];
    int n = MultiByteToWideChar(CP_ACP, 0, "M\xFC" "ller", 6, text, 8);
    return std::wstring(text, size_t(n));
  }();
  return {
      {"extended", WithValue("1.5e3"), BinaryWithValue("\x05" + Raw(1500.0L, 10))},
      {"extended suffix f", WithValue("1.5f"), BinaryWithValue("\x05" + Raw(1.5L, 10))},
      {"single", WithValue("2s"), BinaryWithValue("\x0F" + Raw(2.0f))},
      {"currency", WithValue("12345c"), BinaryWithValue("\x10" + Raw(int64_t(12345)))},
      {"date", WithValue("1.5D"), BinaryWithValue("\x11" + Raw(1.5))},
      {"negative", WithValue("-7"), BinaryWithValue(Bytes("02 F9"))},
      {"hexadecimal", WithValue("$FF"), BinaryWithValue(Bytes("03 FF 00"))},
      {"int64", WithValue("-9223372036854775808"), BinaryWithValue("\x13" + Raw(INT64_MIN))},
      {"null", WithValue("Null"), BinaryWithValue(Bytes("00"))},
      {"nil true false", "object A: T\n  P = nil\n  Q = TRUE\n  R = false\nend\n",
       "TPF0" + Bytes("01 54 01 41 01 50 0D 01 51 09 01 52 08 00 00")},
      {"character set element", WithValue("['a']"), BinaryWithValue(Bytes("0B 03 23 39 37 00"))},
      {"wide set element", WithValue("[#8364, 'b']"), BinaryWithValue(Bytes("0B 05 23 38 33 36 34 03 23 39 38 00"))},
      {"number set elements", WithValue("[1, 20]"), BinaryWithValue(Bytes("0B 01 31 02 32 30 00"))},
      {"empty set", WithValue("[]"), BinaryWithValue(Bytes("0B 00"))},
      {"wide string", WithValue("#1234'a'"), BinaryWithValue(Bytes("12 02 00 00 00 D2 04 61 00"))},
      {"narrow code", WithValue("#65"), BinaryWithValue(Bytes("06 01 41"))},
      {"one string of three", WithValue("'It''s' + #13#10 + 'x'"), BinaryWithValue(Bytes("06 07 49 74 27 73 0D 0A 78"))},
      {"code kept as 16 bits", WithValue("#65601"), BinaryWithValue(Bytes("06 01 41"))},
      {"item index", WithValue("<\n    item [3]\n      A = 1\n    end>"),
       BinaryWithValue(Bytes("0E 02 03 01 01 41 02 01 00 00"))},
      {"list", WithValue("(1 'a' b)"), BinaryWithValue(Bytes("01 02 01 06 01 61 07 01 62 00"))},
      {"binary over lines", WithValue("{\n    0A0B\n    0c}"), BinaryWithValue(Bytes("0A 03 00 00 00 0A 0B 0C"))},
      {"binary empty", WithValue("{ }"), BinaryWithValue(Bytes("0A 00 00 00 00"))},
      {"order index without a name", "object T [1]\nend\n", "TPF0" + Bytes("F2 02 01 01 54 00 00 00")},
      {"inherited with index", "inherited Form1: TForm1 [2]\nend\n",
       "TPF0" + Bytes("F3 02 02 06 54 46 6F 72 6D 31 05 46 6F 72 6D 31 00 00")},
      {"inline", "inline F: TF\nend\n", "TPF0" + Bytes("F4 02 54 46 01 46 00 00")},
      {"E and In are properties", "object A: T\n  E = 1\n  In = 2\nend\n",
       "TPF0" + Bytes("01 54 01 41 01 45 02 01 02 49 6E 02 02 00 00")},
      {"no properties, no children", "object Form1: TForm1\nend\n",
       "TPF0" + Bytes("06 54 46 6F 72 6D 31 05 46 6F 72 6D 31 00 00")},
      {"UTF-8 text decoded", "\xEF\xBB\xBF" + WithValue("'M\xC3\xBCller'#8364"),
       BinaryWithValue("\x12" + Utf16(L"M\u00FCller\u20AC"))},
      {"UTF-8 names", "\xEF\xBB\xBFobject \xC3\x84pfel: T\xC3\x9C" "ber\n  Gr\xC3\xB6\xC3\x9F" "e = 1\nend\n",
       "TPF0" + Bytes("06 54 C3 9C 62 65 72 06 C3 84 70 66 65 6C 07 47 72 C3 B6 C3 9F 65 02 01 00 00")},
      {"UTF-8 name past the BMP", "\xEF\xBB\xBFobject A\xF0\x90\x90\x80: T\nend\n",
       "TPF0" + Bytes("01 54 05 41 F0 90 90 80 00 00")},
      {"ANSI text decoded", WithValue("'M\xFCller'"), BinaryWithValue("\x12" + Utf16(acp))},
      {"long name cut at 255 bytes", "object A: T\n  " + std::string(300, 'N') + " = 1\nend\n",
       "TPF0" + Bytes("01 54 01 41 FF") + std::string(255, 'N') + Bytes("02 01 00 00")},
  };
}

class FormFormat : public testing::TestWithParam<const char*> {};

TEST(FormTextFormat, HostAndReplacementWriteTheFormatTable) {
  Load();
  const std::vector<TFormatRow> rows = FormatRows();
  for (const char* who : {"host", "replacement"}) {
    if (std::string(who) == "replacement") {
      InstallPatches();
      ASSERT_EQ(Status(FormText), L"applied");
    }
    for (const TFormatRow& row : rows) {
      SCOPED_TRACE(std::string(who) + ": " + row.Name);
      const TConversion converted = Convert(row.Text);
      ASSERT_TRUE(converted.Ok) << ToUtf8(converted.Error.ClassName + L": " + converted.Error.Message);
      EXPECT_EQ(Hex(converted.Output), Hex(row.Binary));
      EXPECT_EQ(converted.InputPosition, int32_t(row.Text.size()));
    }
  }
}

// ---- errors ---------------------------------------------------------------------------

struct TErrorRow {
  const char* Name;
  std::string Text;
  const wchar_t* ClassName;
  std::wstring Message;  // a prefix when it ends with "..."
  std::string At;        // Input is left where this text starts (empty: at the end)
  bool Host;             // the host's converter fails the same way
};

std::vector<TErrorRow> ErrorRows() {
  std::string longLine = "object A: T\n  P = '" + std::string(5000, 'x') + "'\nend\n";
  // A text whose last bytes open a UTF-8 sequence; behind the end mark the
  // buffer still holds continuation bytes of text read before.
  std::string stale = "\xEF\xBB\xBFobject A: T\n";
  while (stale.size() < 4000) stale += "  S = '" + std::string(60, '\x80') + "'\n";
  stale += "  T = \xC3\xA4";
  std::string cut = stale + "B\xE2";
  return {
      {"end of text for a value", "object A: T\n  P =\n", L"EParserError", L"Invalid property value on line 3", "", true},
      {"string broken by a line end", "object A: T\n  P = 'abc\nend\n", L"EParserError",
       L"Unterminated string on line 2", "'abc", true},
      {"string broken after a doubled quote", "object A: T\n  P = 'a''\r\nend\n", L"EParserError",
       L"Unterminated string on line 2", "'a''", true},
      {"string broken right after its quote", "object A: T\n  P = '\nend\n", L"EParserError",
       L"Unterminated string on line 2", "'\n", true},
      {"property without a name", "object A: T\n  P = 1\n  = 2\nend\n", L"EParserError",
       L"Identifier expected on line 3", "= 2", true},
      {"property without =", "object A: T\n  P 1\nend\n", L"EParserError", L"'=' expected on line 2", "1\n", true},
      {"no object keyword", "objekt A: T\nend\n", L"EParserError", L"OBJECT expected on line 1", "objekt", true},
      {"collection without item", "object A: T\n  P = <\n    x\n  >\nend\n", L"EParserError",
       L"item expected on line 3", "x\n", true},
      {"set without comma", "object A: T\n  P = [a b]\nend\n", L"EParserError", L"',' expected on line 2", "b]",
       true},
      {"string expected after +", "object A: T\n  P = 'a' + 1\nend\n", L"EParserError",
       L"String expected on line 2", "1\n", true},
      {"number expected for an index", "inherited A: T [x]\nend\n", L"EParserError", L"Number expected on line 1",
       "x]", true},
      {"no hexadecimal digits", "object A: T\n  P = {0G}\nend\n", L"EParserError", L"Invalid binary data on line 2",
       "{", true},
      {"odd digits before a line break", "object A: T\n  P = {012\n    3}\nend\n", L"EParserError",
       L"Invalid binary data on line 2", "{", true},
      {"brace closes after a pair", "object A: T\n  P = {00}1\nend\n", L"EParserError",
       L"Identifier expected on line 2", "1\n", true},
      {"empty character set element", "object A: T\n  P = ['']\nend\n", L"EParserError",
       L"Invalid property value on line 2", "'']", true},
      {"dot without identifier in a path", "object A: T\n  P = B.5\nend\n", L"EParserError",
       L"Identifier expected on line 2", "B.5", true},
      {"a minus alone", "object A: T\n  P = -\nend\n", L"EConvertError", L"'-' is not a valid integer value", "-\n",
       true},
      {"two decimal points", "object A: T\n  P = 1.2.3\nend\n", L"EConvertError",
       L"'1.2.3' is not a valid floating point value", "1.2.3", true},
      {"integer out of range", "object A: T\n  P = 99999999999999999999\nend\n", L"EConvertError",
       L"'99999999999999999999' is not a valid integer value", "9999", true},
      {"a NUL ends the text", std::string("object A: T\n  P = 1\0\nend\n", 23), L"EParserError",
       L"Identifier expected on line 2", std::string("\0", 1), true},
      {"UTF-16 text", "\xFF\xFEo\0b\0", L"EParserError", L"Form text must be ANSI or UTF-8 on line 1", "\xFF\xFE",
       true},
      {"line longer than the buffer", longLine, L"EParserError", L"Line too long on line 2", "T\n", false},
      {"invalid UTF-8 lead byte", "\xEF\xBB\xBFobject A\x80: T\nend\n", L"EAssertionFailed",
       L"Invalid UTF8 Character (Source/Patches/Rtl/DfmParser.cpp, line ...", "A\x80", false},
      {"UTF-8 sequence without continuation", "\xEF\xBB\xBFobject A\xC3Z: T\nend\n", L"EAssertionFailed",
       L"Invalid UTF8 Character (Source/Patches/Rtl/DfmParser.cpp, line ...", "A\xC3", false},
      {"UTF-8 sequence cut by the end of the text", cut, L"EAssertionFailed",
       L"Invalid UTF8 Character (Source/Patches/Rtl/DfmParser.cpp, line ...", "\xC3\xA4" "B", false},
      {"UTF-8 beyond U+10FFFF in a name", "\xEF\xBB\xBFobject A\xF7\xBF\xBF\xBF: T\nend\n",
       L"EArgumentOutOfRangeException", L"Invalid UTF-32 character value", "A\xF7", false},
  };
}

void ExpectError(const TErrorRow& row) {
  SCOPED_TRACE(row.Name);
  const long blocks = LiveBlocks();
  const TConversion converted = Convert(row.Text);
  ASSERT_FALSE(converted.Ok);
  EXPECT_EQ(converted.Error.ClassName, row.ClassName);
  const std::wstring& message = row.Message;
  if (message.size() > 3 && message.compare(message.size() - 3, 3, L"...") == 0)
    EXPECT_EQ(converted.Error.Message.substr(0, message.size() - 3), message.substr(0, message.size() - 3));
  else
    EXPECT_EQ(converted.Error.Message, message);
  const size_t at = row.At.empty() ? row.Text.size() : row.Text.find(row.At);
  EXPECT_EQ(converted.InputPosition, int32_t(at));
  // Writer, parser and every string of theirs are gone.
  EXPECT_EQ(LiveBlocks(), blocks);
}

TEST(FormTextErrors, MessageLineAndInputAtTheCurrentToken) {
  Load();
  const std::vector<TErrorRow> rows = ErrorRows();
  for (const TErrorRow& row : rows)
    if (row.Host) ExpectError(row);
  InstallPatches();
  for (const TErrorRow& row : rows) ExpectError(row);
}

TEST(FormTextErrors, ReplacementAcceptsWhatOnlyTheHostsBufferLimitsForbid) {
  // The host has no line limit: the long line converts there.
  Load();
  const TConversion host = Convert("object A: T\n  P = '" + std::string(5000, 'x') + "'\nend\n");
  EXPECT_TRUE(host.Ok);
  InstallPatches();
  // A line of 4094 bytes with its line feed fits the replacement's buffer.
  const std::string fits = "object A: T\n  P = '" + std::string(4094 - 9, 'y') + "'\nend\n";
  EXPECT_TRUE(Convert(fits).Ok);
}

// ---- tables ---------------------------------------------------------------------------

TEST(FormTextTables, ClassAndHexPairTablesHoldWhatTheyDescribe) {
  Quillmend::BuildDfmTables();
  for (int c = 0; c < 128; ++c) {
    int expected = 0;
    if (isalpha(c) || c == '_') expected = 1;
    else if (isdigit(c)) expected = 3;
    else if (c == '#') expected = 4;
    else if (c == '\'') expected = 5;
    else if (c == '$') expected = 6;
    else if (c == '-') expected = 7;
    EXPECT_EQ(Quillmend::DfmCharClass[c], expected) << c;
  }
  auto digit = [](int c) { return isdigit(c) ? c - '0' : isxdigit(c) ? (tolower(c) - 'a' + 10) : -1; };
  for (int w = 0x3030; w <= 0x6666; ++w) {
    const int first = w & 0xFF, second = w >> 8;
    const bool pair = digit(first) >= 0 && digit(second) >= 0;
    EXPECT_EQ(Quillmend::DfmHexPairs[w - 0x3030], pair ? digit(first) * 16 + digit(second) : 0) << std::hex << w;
    uint8_t value = 0;
    const uint8_t bytes[2] = {uint8_t(first), uint8_t(second)};
    EXPECT_EQ(Quillmend::DecodeHexPair(bytes, value), pair) << std::hex << w;
  }
  // Building again changes nothing.
  const uint8_t before = Quillmend::DfmHexPairs[0x100];
  Quillmend::BuildDfmTables();
  EXPECT_EQ(Quillmend::DfmHexPairs[0x100], before);
}

// ---- mutated inputs -------------------------------------------------------------------

std::vector<std::string> MutatedForms(int count) {
  std::mt19937 random(1515);
  const std::vector<TCorpusForm> corpus = ReadFormCorpus();
  const char specials[] = "'#{}[]()<>=.,+-$:\n\r\t 0aZ_";
  std::vector<std::string> forms;
  for (int i = 0; i < count; ++i) {
    std::string text = corpus[random() % corpus.size()].Text;
    if (i % 4 == 0) text = "\xEF\xBB\xBF" + text;
    const int edits = 1 + int(random() % 4);
    for (int e = 0; e < edits && !text.empty(); ++e) {
      const size_t at = random() % text.size();
      switch (random() % 6) {
        case 0: text[at] = specials[random() % (sizeof specials - 1)]; break;
        case 1: text.insert(at, 1, specials[random() % (sizeof specials - 1)]); break;
        case 2: text.erase(at, 1 + random() % 8); break;
        case 3: text[at] = char(0x80 + random() % 0x80); break;
        case 4: text.resize(at); break;
        default: text.insert(at, std::string(1 + random() % 3, char(random() % 2 ? 0xC3 : 0xE2))); break;
      }
    }
    forms.push_back(text);
  }
  return forms;
}

bool KnownError(const std::wstring& className) {
  return className == L"EParserError" || className == L"EConvertError" || className == L"EAssertionFailed" ||
         className == L"EArgumentOutOfRangeException";
}

bool AsciiForm(const std::string& text) {
  for (size_t i = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0; i < text.size(); ++i)
    if ((unsigned char)text[i] >= 0x80) return false;
  return true;
}

// Thousands of corpus forms with random edits (characters of the syntax,
// bytes of 0x80 and more, cuts), converted by the host and the replacement.
TEST(FormTextMutations, EveryMutatedFormConvertsOrRaisesAHostError) {
  Load();
  const std::vector<std::string> forms = MutatedForms(3000);
  std::vector<TConversion> host;
  for (const std::string& text : forms) host.push_back(Convert(text));
  InstallPatches();
  const long blocks = LiveBlocks();
  int converted = 0, ascii = 0;
  for (size_t i = 0; i < forms.size(); ++i) {
    SCOPED_TRACE("form " + std::to_string(i));
    const TConversion replaced = Convert(forms[i]);
    ASSERT_TRUE(replaced.Ok || KnownError(replaced.Error.ClassName))
        << ToUtf8(replaced.Error.ClassName + L": " + replaced.Error.Message);
    ASSERT_GE(replaced.InputPosition, 0);
    ASSERT_LE(replaced.InputPosition, int32_t(forms[i].size()));
    converted += replaced.Ok;
    // In ASCII both read the same text: the same bytes, error, line and
    // position. Beyond it they differ by design (the host widens the whole
    // input first: invalid UTF-8 becomes replacement characters, ANSI
    // letters make identifiers).
    if (AsciiForm(forms[i])) {
      ++ascii;
      EXPECT_TRUE(replaced == host[i]) << ToUtf8(host[i].Error.ClassName + L": " + host[i].Error.Message) << " / "
                                       << ToUtf8(replaced.Error.ClassName + L": " + replaced.Error.Message);
    }
  }
  EXPECT_EQ(LiveBlocks(), blocks);
  EXPECT_GT(converted, 100);
  EXPECT_GT(ascii, 1000);
}

// ---- streams and allocations that fail ------------------------------------------------

QmHost::HostClassStorage<8> g_failingStreamStorage;
void* g_memoryStreamClass = nullptr;
void* g_failingStreamClass = nullptr;
int g_readsLeft = 0;
int g_seeksLeft = 0;

[[noreturn]] void RaiseReadError() {
  const TRuntime& r = Runtime();
  void* classRef = reinterpret_cast<void*>(GetProcAddress(r.Rtl, "@Classes@EReadError@"));
  wchar_t* message = r.Host->NewString(L"Stream read error");
  void* object = r.Host->exceptionCreate(classRef, 1, message);
  r.Host->Release(message);  // the object holds its own reference
  r.Host->raiseExcept(object);
  __builtin_unreachable();
}

using TReadFn = int32_t(QM_HOST_REGISTER*)(void*, void*, int32_t);
using TSeekFn = int64_t(QM_HOST_REGISTER*)(void*, int, int, int64_t);

int32_t QM_HOST_REGISTER FailingRead(void* self, void* buffer, int32_t count) {
  if (g_readsLeft-- <= 0) RaiseReadError();
  return reinterpret_cast<TReadFn>(QmHost::VmtSlot(g_memoryStreamClass, 12))(self, buffer, count);
}

int64_t QM_HOST_REGISTER FailingSeek(void* self, int origin, int ecx, int64_t offset) {
  if (g_seeksLeft-- <= 0) RaiseReadError();
  return reinterpret_cast<TSeekFn>(QmHost::VmtSlot(g_memoryStreamClass, 24))(self, origin, ecx, offset);
}

// A TMemoryStream whose Read and Seek raise EReadError once their counts are used up.
void* FailingStream(const std::string& text, int reads, int seeks) {
  const TRuntime& r = Runtime();
  if (!g_failingStreamClass) {
    g_memoryStreamClass = r.Calls.memoryStreamClass;
    g_failingStreamClass = QmHost::HostClassBuilder(g_failingStreamStorage, "TFailingStream")
                               .Parent(&g_memoryStreamClass)
                               .Virtual(3, reinterpret_cast<const void*>(&FailingRead))
                               .Virtual(6, reinterpret_cast<const void*>(&FailingSeek))
                               .Build();
  }
  void* stream = r.Calls.NewMemoryStream();
  QmHost::FillMemoryStream(stream, text);
  *static_cast<void**>(stream) = g_failingStreamClass;
  g_readsLeft = reads;
  g_seeksLeft = seeks;
  return stream;
}

TEST(FormTextFailures, AStreamThatRaisesLeavesNothingBehind) {
  Load();
  InstallPatches();
  std::string text = "object A: T\n";
  while (text.size() < 20000) text += "  Caption = 'A caption of some length'\n";
  text += "end\n";
  const TRuntime& r = Runtime();
  const long blocks = LiveBlocks();
  for (int reads : {0, 1, 3}) {
    for (int seeks : {0, 10}) {
      SCOPED_TRACE(std::to_string(reads) + " reads, " + std::to_string(seeks) + " seeks");
      void* input = FailingStream(text, reads, seeks);
      void* output = r.Calls.NewMemoryStream();
      const TRaised raised = Guarded([&] { r.Calls.objectTextToBinary(input, output); });
      EXPECT_TRUE(raised.Raised);
      EXPECT_EQ(raised.ClassName, L"EReadError");
      r.Host->objectFree(input);
      r.Host->objectFree(output);
      EXPECT_EQ(LiveBlocks(), blocks);
    }
  }
}

TEST(FormTextFailures, AnAllocationThatFailsAnywhereLeavesNothingBehind) {
  Load();
  InstallPatches();
  std::string text;
  for (const TCorpusForm& form : ReadFormCorpus())
    if (form.Name == "main-form") text = form.Text;
  const long blocks = LiveBlocks();
  int failed = 0;
  for (int n = 1; n <= 40; ++n) {
    SCOPED_TRACE(n);
    const TConversion converted = Convert(text, n);
    if (!converted.Ok) {
      ++failed;
      EXPECT_EQ(converted.Error.ClassName, L"EOutOfMemory");
    }
    EXPECT_EQ(LiveBlocks(), blocks);
  }
  EXPECT_GE(failed, 5);
  EXPECT_LT(failed, 40);
}

TEST(FormTextFailures, InputStaysAtTheFirstTokenBehindTheObject) {
  Load();
  InstallPatches();
  const std::string first = "object A: T\nend\n";
  const std::string text = first + "\n  object B: T\nend\n";
  const TRuntime& r = Runtime();
  void* input = r.Calls.NewMemoryStream();
  void* output = r.Calls.NewMemoryStream();
  QmHost::FillMemoryStream(input, text);
  // Two objects in a row: the second conversion starts where the first left off.
  EXPECT_FALSE(Guarded([&] { r.Calls.objectTextToBinary(input, output); }).Raised);
  EXPECT_EQ(QmHost::MemoryStreamPosition(input), int32_t(text.find("object B")));
  EXPECT_FALSE(Guarded([&] { r.Calls.objectTextToBinary(input, output); }).Raised);
  EXPECT_EQ(QmHost::MemoryStreamPosition(input), int32_t(text.size()));
  EXPECT_EQ(Hex(QmHost::MemoryStreamBytes(output)), Hex("TPF0" + Bytes("01 54 01 41 00 00") + "TPF0" +
                                                        Bytes("01 54 01 42 00 00")));
  r.Host->objectFree(input);
  r.Host->objectFree(output);
}

}  // namespace
