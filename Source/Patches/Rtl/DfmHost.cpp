#include "Patches/Rtl/DfmHost.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include "Patches/Rtl/RtlHostCalls.h"

namespace Quillmend {

TDfmHost DfmHost;

namespace {

struct TRoutine {
  const wchar_t* Label;
  const char* Export;
  size_t Offset;  // of the field in TDfmHost
};

#define QM_ROUTINE(field, exportName) {L## #field, exportName, offsetof(TDfmHost, field)}

const TRoutine Routines[] = {
    QM_ROUTINE(WriterClass, "@Classes@TWriter@"),
    QM_ROUTINE(WriterCreate, "@Classes@TWriter@$bctr$qqrp16Classes@TStreami"),
    QM_ROUTINE(Write, "@Classes@TWriter@Write$qqrpxvi"),
    QM_ROUTINE(WriteValue, "@Classes@TWriter@WriteValue$qqr17Classes@TValueType"),
    QM_ROUTINE(WriteSignature, "@Classes@TWriter@WriteSignature$qqrv"),
    QM_ROUTINE(WritePrefix, "@Classes@TWriter@WritePrefix$qqr16Classes@TFilerFlagsi"),
    QM_ROUTINE(WriteListBegin, "@Classes@TWriter@WriteListBegin$qqrv"),
    QM_ROUTINE(WriteListEnd, "@Classes@TWriter@WriteListEnd$qqrv"),
    QM_ROUTINE(WriteInteger, "@Classes@TWriter@WriteInteger$qqri"),
    QM_ROUTINE(WriteInteger64, "@Classes@TWriter@WriteInteger$qqrj"),
    QM_ROUTINE(WriteFloat, "@Classes@TWriter@WriteFloat$qqrxg"),
    QM_ROUTINE(WriteSingle, "@Classes@TWriter@WriteSingle$qqrxf"),
    QM_ROUTINE(WriteCurrency, "@Classes@TWriter@WriteCurrency$qqrx14System@Currency"),
    QM_ROUTINE(WriteDate, "@Classes@TWriter@WriteDate$qqrx16System@TDateTime"),
    QM_ROUTINE(WriteString, "@Classes@TWriter@WriteString$qqrx20System@UnicodeString"),
    QM_ROUTINE(WriteBinary, "@Classes@TWriter@WriteBinary$qqrynpqqrp16Classes@TStream$v"),
    QM_ROUTINE(EncodingDefault, "@Sysutils@TEncoding@GetDefault$qqrv"),
    QM_ROUTINE(EncodingUTF8, "@Sysutils@TEncoding@GetUTF8$qqrv"),
    QM_ROUTINE(GetBufferEncoding, "@Sysutils@TEncoding@GetBufferEncoding$qqrpxucir18Sysutils@TEncoding"),
    QM_ROUTINE(GetString, "@Sysutils@TEncoding@GetString$qqrpxuci"),
    QM_ROUTINE(GetUnicodeCategory, "@Character@TCharacter@GetUnicodeCategory$qqrb"),
    QM_ROUTINE(GetUnicodeCategoryAt, "@Character@TCharacter@GetUnicodeCategory$qqrx20System@UnicodeStringi"),
    QM_ROUTINE(ConvertFromUtf32, "@Character@TCharacter@ConvertFromUtf32$qqrui"),
    QM_ROUTINE(StrToInt64, "@Sysutils@StrToInt64$qqrx20System@UnicodeString"),
    QM_ROUTINE(StrToFloat, "@Sysutils@StrToFloat$qqrx20System@UnicodeStringrx22Sysutils@TFormatSettings"),
    QM_ROUTINE(FormatSettings, "@Sysutils@FormatSettings"),
    QM_ROUTINE(LoadResString, "@System@LoadResString$qqrp20System@TResStringRec"),
    QM_ROUTINE(Assert, "@System@@Assert$qqrx20System@UnicodeStringt1i"),
    QM_ROUTINE(ParserErrorClass, "@Classes@EParserError@"),
};

#undef QM_ROUTINE

const TRoutine Messages[DfmMessageCount] = {
    {L"SParseError", "@Rtlconsts@_SParseError", 0},
    {L"SAnsiUTF8Expected", "@Rtlconsts@_SAnsiUTF8Expected", 0},
    {L"SLineTooLong", "@Rtlconsts@_SLineTooLong", 0},
    {L"SInvalidString", "@Rtlconsts@_SInvalidString", 0},
    {L"SIdentifierExpected", "@Rtlconsts@_SIdentifierExpected", 0},
    {L"SStringExpected", "@Rtlconsts@_SStringExpected", 0},
    {L"SNumberExpected", "@Rtlconsts@_SNumberExpected", 0},
    {L"SCharExpected", "@Rtlconsts@_SCharExpected", 0},
    {L"SSymbolExpected", "@Rtlconsts@_SSymbolExpected", 0},
    {L"SInvalidProperty", "@Rtlconsts@_SInvalidProperty", 0},
    {L"SInvalidBinary", "@Rtlconsts@_SInvalidBinary", 0},
};

}  // namespace

std::function<void(const TPlanValues&)> AddDfmHostSites(TPatchPlan& plan) {
  const THostStringSites strings = AddHostStringSites(plan);
  std::vector<std::pair<size_t, TSiteRef>> routines;
  for (const TRoutine& r : Routines) routines.emplace_back(r.Offset, plan.Export(r.Label, RtlModule, r.Export));
  std::vector<TSiteRef> messages;
  for (const TRoutine& m : Messages) messages.push_back(plan.Export(m.Label, RtlModule, m.Export));
  return [strings, routines, messages](const TPlanValues& v) {
    TDfmHost host;
    host.Strings = HostStringsAt(v, strings);
    for (const auto& [offset, site] : routines) {
      void* address = v.Site(site);
      std::memcpy(reinterpret_cast<char*>(&host) + offset, &address, sizeof address);
    }
    for (size_t i = 0; i < messages.size(); ++i) host.Messages[i] = v.Site(messages[i]);
    DfmHost = host;
  };
}

}  // namespace Quillmend
