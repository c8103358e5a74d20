#include "Patches/Rtl/DfmOptimization.h"

#include <cmath>
#include <cstring>
#include <string>

#include "Framework/HostExcept.h"
#include "Framework/HostFinally.h"
#include "Patches/Rtl/DfmHost.h"
#include "Patches/Rtl/DfmParser.h"
#include "Patches/Rtl/RtlHostCalls.h"

namespace Quillmend {

namespace {

// Binary form value tags written by the reader itself.
enum : int32_t { vaNull = 0, vaIdent = 7, vaFalse = 8, vaTrue = 9, vaSet = 11, vaNil = 13, vaCollection = 14 };

// Flags of an object's prefix.
enum : int32_t { ffInherited = 1, ffChildPos = 2, ffInline = 4 };

bool SameAscii(const std::string& text, const char* word) {
  size_t i = 0;
  for (; i < text.size(); ++i) {
    char a = text[i], b = word[i];
    if (!b) return false;
    if (a >= 'a' && a <= 'z') a = char(a - 32);
    if (b >= 'a' && b <= 'z') b = char(b - 32);
    if (a != b) return false;
  }
  return word[i] == 0;
}

// The producer WriteBinary calls: the parser's HexToStream (EAX = parser, EDX = stream).
void QM_REGISTER HexToStreamEntry(TDfmParser* parser, void* stream) {
  HostBoundary([parser, stream] { parser->HexToStream(stream); });
}

// Reads objects from the parser and writes them. Its buffers are fields,
// freed with it by the conversion's try/finally.
class TDfmReader {
public:
  TDfmReader(TDfmParser& parser, void* writer) : P(parser), W(writer) {}
  ~TDfmReader() { DfmHost.Strings.Clear(&FHostValue); }

  void ReadObject();

private:
  int32_t ReadOrderIndex();
  void ReadProperty();
  void ReadValue();
  // A short string: [tag,] a length byte and at most 255 bytes of UTF-8, in one write.
  void WriteShort(const std::string& utf8, int32_t tag = -1);
  void WriteValue(int32_t tag) { DfmHost.WriteValue(W, tag); }
  // The token is one of the keywords that end an object's properties.
  bool EndsProperties() const {
    switch (P.FirstByteFolded()) {
      case 'E': return P.TokenIs("END");
      case 'O': return P.TokenIs("OBJECT");
      case 'I': return P.TokenIs("INHERITED") || P.TokenIs("INLINE");
      default: return false;
    }
  }

  TDfmParser& P;
  void* W;
  std::string FName, FClassName, FObjectName;  // UTF-8
  std::wstring FValue;                         // a string value
  wchar_t* FHostValue = nullptr;               // the same, handed to the writer
};

void TDfmReader::WriteShort(const std::string& utf8, int32_t tag) {
  uint8_t bytes[2 + 255];
  int32_t n = 0;
  if (tag >= 0) bytes[n++] = uint8_t(tag);
  const int32_t length = utf8.size() > 255 ? 255 : int32_t(utf8.size());
  bytes[n++] = uint8_t(length);
  // Names are short: copied here rather than by a library call.
  for (int32_t i = 0; i < length; ++i) bytes[n + i] = uint8_t(utf8[size_t(i)]);
  DfmHost.Write(W, bytes, n + length);
}

int32_t TDfmReader::ReadOrderIndex() {
  if (P.Token() != '[') return -1;
  P.AdvanceToken();
  P.RequireToken(tkInteger);
  const int32_t index = int32_t(P.TokenInt64());
  P.AdvanceToken();
  P.RequireToken(']');
  P.AdvanceToken();
  return index;
}

void TDfmReader::ReadObject() {
  int32_t flags = 0;
  if (P.TokenIs("INHERITED"))
    flags = ffInherited;
  else if (P.TokenIs("INLINE"))
    flags = ffInline;
  else
    P.RequireKeyword("OBJECT");
  P.AdvanceToken();
  P.RequireToken(tkSymbol);
  FClassName.clear();
  P.AppendTokenUtf8(FClassName);
  FObjectName.clear();
  if (P.AdvanceToken() == ':') {
    P.AdvanceToken();
    P.RequireToken(tkSymbol);
    FObjectName.swap(FClassName);
    P.AppendTokenUtf8(FClassName);
    P.AdvanceToken();
  }
  const int32_t index = ReadOrderIndex();
  if (index >= 0) flags |= ffChildPos;
  DfmHost.WritePrefix(W, flags, index);
  WriteShort(FClassName);
  WriteShort(FObjectName);
  while (!EndsProperties()) ReadProperty();
  DfmHost.WriteListEnd(W);
  while (!P.TokenIs("END")) ReadObject();
  DfmHost.WriteListEnd(W);
  P.AdvanceToken();
}

void TDfmReader::ReadProperty() {
  P.RequireToken(tkSymbol);
  FName.clear();
  P.AppendTokenUtf8(FName);
  P.AdvanceToken();
  while (P.Token() == '.') {
    P.AdvanceToken();
    P.RequireToken(tkSymbol);
    FName += '.';
    P.AppendTokenUtf8(FName);
    P.AdvanceToken();
  }
  WriteShort(FName);
  P.RequireToken('=');
  P.AdvanceToken();
  ReadValue();
}

void TDfmReader::ReadValue() {
  switch (P.Token()) {
    case tkString:
    case tkWideString:
      FValue.clear();
      P.AppendTokenWideText(FValue);
      while (P.AdvanceToken() == '+') {
        P.AdvanceToken();
        if (P.Token() != tkString && P.Token() != tkWideString) P.RequireToken(tkString);
        P.AppendTokenWideText(FValue);
      }
      FHostValue = DfmHost.Strings.New(FValue.data(), int32_t(FValue.size()));
      DfmHost.WriteString(W, FHostValue);
      DfmHost.Strings.Clear(&FHostValue);
      return;  // already on the token after the string
    case tkSymbol:
      FName.clear();
      P.AppendComponentPathUtf8(FName);
      if (FName.size() < 3 || FName.size() > 5)
        WriteShort(FName, vaIdent);
      else if (SameAscii(FName, "False"))
        WriteValue(vaFalse);
      else if (SameAscii(FName, "True"))
        WriteValue(vaTrue);
      else if (SameAscii(FName, "Null"))
        WriteValue(vaNull);
      else if (SameAscii(FName, "nil"))
        WriteValue(vaNil);
      else
        WriteShort(FName, vaIdent);
      break;
    case tkInteger:
      CallHostInt64(DfmHost.WriteInteger64, W, 0, P.TokenInt64());
      break;
    case tkFloat: {
      const long double value = P.TokenFloatValue();
      switch (P.FloatSuffix()) {
        case 'S': case 's':
          DfmHost.WriteSingle(W, float(value));
          break;
        case 'C': case 'c':
          // Currency(value / 10000): its 64-bit form is the scaled value rounded.
          CallHostInt64(DfmHost.WriteCurrency, W, 0, llrintl(value / 10000.0L * 10000.0L));
          break;
        case 'D': case 'd':
          DfmHost.WriteDate(W, double(value));
          break;
        default:
          DfmHost.WriteFloat(W, value);
          break;
      }
      break;
    }
    case '(':
      P.AdvanceToken();
      DfmHost.WriteListBegin(W);
      while (P.Token() != ')') ReadValue();
      DfmHost.WriteListEnd(W);
      break;
    case '<':
      P.AdvanceToken();
      WriteValue(vaCollection);
      while (P.Token() != '>') {
        P.RequireKeyword("item");
        P.AdvanceToken();
        const int32_t index = ReadOrderIndex();
        if (index != -1) DfmHost.WriteInteger(W, index);
        DfmHost.WriteListBegin(W);
        while (!P.TokenIs("end")) ReadProperty();
        DfmHost.WriteListEnd(W);
        P.AdvanceToken();
      }
      DfmHost.WriteListEnd(W);
      break;
    case '[':
      P.AdvanceToken();
      WriteValue(vaSet);
      if (P.Token() != ']') {
        for (;;) {
          FName.clear();
          if (P.Token() == tkString || P.Token() == tkWideString) {
            // A character element: "#" and the code of its first character;
            // an empty string has none.
            wchar_t unit;
            if (!P.FirstWideUnit(unit)) P.ReportError(msgInvalidProperty);
            FName = "#" + std::to_string(unsigned(unit));
          } else {
            if (P.Token() != tkInteger) P.RequireToken(tkSymbol);
            P.AppendTokenUtf8(FName);
          }
          WriteShort(FName);
          if (P.AdvanceToken() == ']') break;
          P.RequireToken(',');
          P.AdvanceToken();
        }
      }
      FName.clear();
      WriteShort(FName);
      break;
    case '{':
      CallHostWithMethod(DfmHost.WriteBinary, W, THostMethod{reinterpret_cast<const void*>(&HexToStreamEntry), &P});
      break;
    default:
      P.ReportError(msgInvalidProperty);
  }
  P.AdvanceToken();
}

// Everything one conversion owns, released by its try/finally.
struct TConversion {
  TDfmParser* Parser = nullptr;
  TDfmReader* Reader = nullptr;
  void* Writer = nullptr;
};

// Runs f inside a host try/except and drops what it raises: used while an
// exception is already on its way (the first one is the one the caller sees).
template <class F>
void Quietly(F&& f) noexcept {
  THostCaught caught;
  if (!HostTryExcept(f, caught)) FreeHostObject(caught.Object);
}

}  // namespace

void QM_REGISTER ObjectTextToBinaryFast(void* input, void* output) {
  HostBoundary([input, output] {
    TConversion c;
    bool finished = false;
    HostTryFinally(
        [&] {
          c.Parser = new TDfmParser(input, DfmHost.FormatSettings);
          c.Parser->Open();
          c.Writer = DfmHost.WriterCreate(DfmHost.WriterClass, 1, output, 4096);
          c.Reader = new TDfmReader(*c.Parser, c.Writer);
          DfmHost.WriteSignature(c.Writer);
          c.Reader->ReadObject();
          // The writer flushes Output as it goes, then the parser puts Input
          // back at the token after the object.
          void* writer = c.Writer;
          c.Writer = nullptr;
          FreeHostObject(writer);
          c.Parser->Close();
          finished = true;
        },
        [&]() noexcept {
          if (void* writer = c.Writer) {
            c.Writer = nullptr;
            Quietly([writer] { FreeHostObject(writer); });
          }
          if (c.Parser && !finished) Quietly([&c] { c.Parser->Close(); });
          delete c.Reader;
          delete c.Parser;
        });
  });
}

TPatchPlan DfmOptimizationPlan() {
  TPatchPlan plan(L"RTL.Classes.ObjectTextToBinary", L"ObjectTextToBinary performance optimization",
                  TInstallMoment::UnitInit);
  TSiteRef target =
      plan.Export(L"ObjectTextToBinary", RtlModule, "@Classes@ObjectTextToBinary$qqrp16Classes@TStreamt1");
  auto publishHost = AddDfmHostSites(plan);
  plan.Redirect(target, &ObjectTextToBinaryFast);
  plan.OnCommit([publishHost](const TPlanValues& v) {
    BuildDfmTables();
    publishHost(v);
  });
  return plan;
}

std::vector<TPatchPlan> DfmOptimizationPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(DfmOptimizationPlan());
  return plans;
}

void InstallDfmOptimization() {
  TPatchPlan plan = DfmOptimizationPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_DfmOptimization = {"DfmOptimization", &InstallDfmOptimization, nullptr, &DfmOptimizationPlans};

}  // namespace Quillmend
