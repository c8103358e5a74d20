// The host run-time's variants as the variant patch meets them: the OLE
// Automation VARIANT record, the platform's own type codes, and the host
// routines and settings the conversions use, bound from the patch's plan.
#pragma once

#include <cstdint>
#include <windows.h>

#include "Framework/HostAbi.h"

namespace Quillmend {

struct TVarData {
  uint16_t VType;
  uint16_t Reserved1, Reserved2, Reserved3;
  union {
    int16_t VSmallInt;
    int32_t VInteger;
    float VSingle;
    double VDouble;
    int64_t VCurrency;
    double VDate;
    wchar_t* VOleStr;
    int16_t VBoolean;
    int8_t VShortInt;
    uint8_t VByte;
    uint16_t VWord;
    uint32_t VLongWord;
    int64_t VInt64;
    uint64_t VUInt64;
    char* VString;      // AnsiString
    void* VAny;
    wchar_t* VUString;  // UnicodeString
    void* VPointer;     // by reference, arrays, custom types
  };
};
static_assert(sizeof(TVarData) == 16, "a variant is 16 bytes");

namespace VarType {
constexpr uint16_t Empty = 0, Null = 1, SmallInt = 2, Integer = 3, Single = 4, Double = 5, Currency = 6, Date = 7,
                   OleStr = 8, Dispatch = 9, Boolean = 11, Variant = 12, Unknown = 13, ShortInt = 16, Byte = 17,
                   Word = 18, LongWord = 19, Int64 = 20, UInt64 = 21;
constexpr uint16_t String = 0x100;   // the platform's 8-bit string
constexpr uint16_t Any = 0x101;      // converted through the change-any hook
constexpr uint16_t UString = 0x102;  // the platform's UTF-16 string
constexpr uint16_t Array = 0x2000;
constexpr uint16_t ByRef = 0x4000;
// Types owning data (strings, interfaces, arrays, custom types): such a
// variant is cleared before it takes a new value.
constexpr uint16_t OwnsDataMask = 0xBFE8;
}  // namespace VarType

// Locale and flags of the platform's OLE conversions.
constexpr LCID VariantLocale = 1024;

// A custom variant type (TCustomVariantType) is called through its virtual
// methods: CastTo(var Dest; const Source; const AVarType) and Clear(var V),
// at these offsets from the class reference.
namespace CustomVariantTypeLayout {
constexpr int CastTo = 7 * 4;
constexpr int Clear = 9 * 4;
}  // namespace CustomVariantTypeLayout

namespace VariantsExport {
constexpr const char* VarToUStr = "@Variants@@VarToUStr$qqrr20System@UnicodeStringrx14System@Variant";
constexpr const char* VarToLStr = "@Variants@@VarToLStr$qqrr27System@%AnsiStringT$us$i0$%rx14System@Variant";
constexpr const char* VarToWStr = "@Variants@@VarToWStr$qqrr17System@WideStringrx14System@Variant";
constexpr const char* VarToBool = "@Variants@@VarToBool$qqrrx14System@Variant";
constexpr const char* VarFromWStr = "@Variants@@VarFromWStr$qqrr14System@Variantx17System@WideString";
constexpr const char* OleVarFromLStr = "@Variants@@OleVarFromLStr$qqrr14System@OleVariantx27System@%AnsiStringT$us$i0$%";
constexpr const char* OleVarFromUStr = "@Variants@@OleVarFromUStr$qqrr14System@OleVariantx20System@UnicodeString";
constexpr const char* VarResultCheck = "@Variants@VarResultCheck$qqrlusus";
constexpr const char* VarCastError = "@Variants@VarCastError$qqrxusxus";
constexpr const char* FindCustomVariantType = "@Variants@FindCustomVariantType$qqrxusrp26Variants@TCustomVariantType";
constexpr const char* NullStrictConvert = "@Variants@NullStrictConvert";
constexpr const char* NullAsStringValue = "@Variants@NullAsStringValue";
constexpr const char* BooleanToStringRule = "@Variants@BooleanToStringRule";
constexpr const char* ChangeAnyProc = "@Variants@ChangeAnyProc";
constexpr const char* ClearAnyProc = "@Variants@ClearAnyProc";
constexpr const char* FloatToStr = "@Sysutils@FloatToStr$qqrg";
constexpr const char* TryStrToBool = "@Sysutils@TryStrToBool$qqrx20System@UnicodeStringro";
constexpr const char* LStrClr = "@System@@LStrClr$qqrpv";
constexpr const char* LStrAsg = "@System@@LStrAsg$qqrpvpxv";
constexpr const char* LStrFromPWCharLen = "@System@@LStrFromPWCharLen$qqrr27System@%AnsiStringT$us$i0$%pbiui";
}  // namespace VariantsExport

using TAnyProc = void(QM_REGISTER*)(TVarData* v);

// The host's routines and settings, published when the patch commits.
struct THostVariants {
  THostStrings Strings;
  void(QM_REGISTER* VarResultCheck)(HRESULT result, uint32_t source, uint32_t target) = nullptr;
  void(QM_REGISTER* VarCastError)(uint32_t source, uint32_t target) = nullptr;
  bool(QM_REGISTER* FindCustomVariantType)(uint32_t type, void** customType) = nullptr;
  // FloatToStr(Value: Extended): the Extended goes on the stack (GCC puts a
  // long double there and the result variable into EAX, as the host does).
  void(QM_REGISTER* FloatToStr)(long double value, wchar_t** result) = nullptr;
  bool(QM_REGISTER* TryStrToBool)(const wchar_t* text, uint8_t* value) = nullptr;
  void(QM_REGISTER* LStrClr)(char** variable) = nullptr;
  void(QM_REGISTER* LStrAsg)(char** dest, const char* source) = nullptr;
  void(QM_REGISTER* LStrFromPWCharLen)(char** dest, const wchar_t* source, int32_t length, uint32_t codePage) = nullptr;
  const uint8_t* NullStrictConvert = nullptr;
  wchar_t* const* NullAsStringValue = nullptr;
  const uint8_t* BooleanToStringRule = nullptr;
  TAnyProc const* ChangeAnyProc = nullptr;
  TAnyProc const* ClearAnyProc = nullptr;
};

}  // namespace Quillmend
