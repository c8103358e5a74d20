// The run-time's ini-file base class and what ini files need around it:
// TCustomIniFile (the file name, the thirteen virtual operations; the
// reading and writing of strings, sections and keys abstract, integers,
// Booleans and the existence of a value made of them the generic way),
// TStrings (TStringList's parent: BeginUpdate and EndUpdate), StrToInt,
// ExpandFileName and TObject.NewInstance by name.
#include <windows.h>

#include <cwchar>
#include <type_traits>

#include "Common/HostClass.h"
#include "IniFilesDriver.h"
#include "RtlInternal.h"
#include "RtlServices.h"
#include "StringListDriver.h"

using namespace QmHost;
using namespace QmRtl;
using namespace IniFilesDriver;

QM_HOST_CLASS(rtl_TStrings_Class, 8);
QM_HOST_CLASS(rtl_TCustomIniFile_Class, IniSlot::Count);

extern "C" {
extern char rtl_TCustomIniFile_Class[] QM_HOST_SYMBOL(rtl_TCustomIniFile_Class);
void QM_HOST_REGISTER RtlAbstractError() QM_HOST_SYMBOL(rtl_AbstractError);
void* QM_HOST_REGISTER RtlStringListCreate(void* classOrSelf, int alloc) QM_HOST_SYMBOL(rtl_TStringList_Create);
extern char rtl_TStringList_Class[] QM_HOST_SYMBOL(rtl_TStringList_Class);
}

namespace {

template <class T>
T& Field(void* self, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(self) + offset);
}

// A new string of the decimal text of value.
wchar_t* DecimalText(int32_t value) {
  wchar_t digits[16];
  const int length = std::swprintf(digits, 16, L"%d", int(value));
  wchar_t* text = RtlNewUnicodeString(length);
  for (int i = 0; i < length; ++i) text[i] = digits[i];
  return text;
}

bool SameString(const wchar_t* a, const wchar_t* b) {
  const int length = a ? StrHeader(a)->length : 0;
  if (length != (b ? StrHeader(b)->length : 0)) return false;
  for (int i = 0; i < length; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

}  // namespace

extern "C" {

// ---- TStrings --------------------------------------------------------------------

void QM_HOST_REGISTER RtlStringsBeginUpdate(void* self) QM_HOST_SYMBOL(rtl_TStrings_BeginUpdate);
void QM_HOST_REGISTER RtlStringsBeginUpdate(void* self) { ++Field<int32_t>(self, StringsLayout::UpdateCount); }

void QM_HOST_REGISTER RtlStringsEndUpdate(void* self) QM_HOST_SYMBOL(rtl_TStrings_EndUpdate);
void QM_HOST_REGISTER RtlStringsEndUpdate(void* self) { --Field<int32_t>(self, StringsLayout::UpdateCount); }

// ---- conversions -----------------------------------------------------------------

// StrToInt(const S: string): Integer — StrToInt64's reading, within 32 bits.
int32_t QM_HOST_REGISTER RtlStrToInt(const wchar_t* s) QM_HOST_SYMBOL(rtl_StrToInt);
int32_t QM_HOST_REGISTER RtlStrToInt(const wchar_t* s) {
  int64_t value = 0;
  if (!TryStrToInt64(s, value) || value < INT32_MIN || value > INT32_MAX)
    RaiseResFmt(rtl_EConvertError_Class, SInvalidInteger, {s ? s : L""});
  return int32_t(value);
}

// ExpandFileName(const FileName: string): string — GetFullPathName's answer.
void QM_HOST_REGISTER RtlExpandFileName(const wchar_t* s, wchar_t** result) QM_HOST_SYMBOL(rtl_ExpandFileName);
void QM_HOST_REGISTER RtlExpandFileName(const wchar_t* s, wchar_t** result) {
  wchar_t* full = nullptr;
  if (s) {
    wchar_t buffer[MAX_PATH * 4];
    const DWORD length = GetFullPathNameW(s, MAX_PATH * 4, buffer, nullptr);
    if (length > 0 && length < MAX_PATH * 4) {
      full = RtlNewUnicodeString(int(length));
      for (DWORD i = 0; i < length; ++i) full[i] = buffer[i];
    }
  }
  RtlUStrClr(result);
  *result = full;
}

// ---- TCustomIniFile ----------------------------------------------------------------

void* QM_HOST_REGISTER RtlIniFileCreate(void* classOrSelf, int alloc, const wchar_t* fileName)
    QM_HOST_SYMBOL(rtl_TCustomIniFile_Create);
void* QM_HOST_REGISTER RtlIniFileCreate(void* classOrSelf, int alloc, const wchar_t* fileName) {
  using NewInstanceFn = void*(QM_HOST_REGISTER*)(void* classRef);
  void* self = classOrSelf;
  if (alloc & 0xFF) self = reinterpret_cast<NewInstanceFn>(VmtSlot(classOrSelf, kVmtNewInstance))(classOrSelf);
  RtlUStrAsg(&Field<wchar_t*>(self, IniLayout::FileName), fileName);
  return self;
}

void QM_HOST_REGISTER RtlIniFileDestroy(void* self, int outermost) {
  RtlUStrClr(&Field<wchar_t*>(self, IniLayout::FileName));
  RtlObjectDestroy(self, outermost);
}

// ReadInteger: the value's text read with an empty default; empty or not a
// number gives the default.
int32_t QM_HOST_REGISTER RtlIniReadInteger(void* self, const wchar_t* section, const wchar_t* ident,
                                          int32_t defaultValue) {
  wchar_t* text = nullptr;
  Virtual<ReadStringFn>(self, IniSlot::ReadString)(self, section, ident, &text, nullptr);
  int64_t value = 0;
  const bool number = text && TryStrToInt64(text, value) && value >= INT32_MIN && value <= INT32_MAX;
  RtlUStrClr(&text);
  return number ? int32_t(value) : defaultValue;
}

void QM_HOST_REGISTER RtlIniWriteInteger(void* self, const wchar_t* section, const wchar_t* ident, int32_t value) {
  wchar_t* text = DecimalText(value);
  Virtual<WriteStringFn>(self, IniSlot::WriteString)(self, section, ident, text);
  RtlUStrClr(&text);
}

bool QM_HOST_REGISTER RtlIniReadBool(void* self, const wchar_t* section, const wchar_t* ident, bool defaultValue) {
  return Virtual<ReadIntegerFn>(self, IniSlot::ReadInteger)(self, section, ident, defaultValue ? 1 : 0) != 0;
}

void QM_HOST_REGISTER RtlIniWriteBool(void* self, const wchar_t* section, const wchar_t* ident, bool value) {
  Virtual<WriteIntegerFn>(self, IniSlot::WriteInteger)(self, section, ident, value ? 1 : 0);
}

// ValueExists: the section's keys read into a string list; one equal to
// Ident (exactly).
bool QM_HOST_REGISTER RtlIniValueExists(void* self, const wchar_t* section, const wchar_t* ident) {
  void* keys = RtlStringListCreate(rtl_TStringList_Class, 1);
  Virtual<ReadSectionFn>(self, IniSlot::ReadSection)(self, section, keys);
  const int32_t count = Field<int32_t>(keys, StringListDriver::Layout::Count);
  wchar_t** lines = Field<wchar_t**>(keys, StringListDriver::Layout::Lines);
  bool found = false;
  for (int32_t i = 0; i < count && !found; ++i) found = SameString(lines[i], ident);
  RtlObjectFree(keys);
  return found;
}

}  // extern "C"

bool RtlStringsClassBuilt() {
  static const bool built = [] {
    RtlBaseClassesBuilt();
    static void* const object = rtl_TObject_Class;
    HostClassBuilder builder(rtl_TStrings_Class_Storage, "TStrings");
    builder.Parent(&object).InstanceSize(StringsLayout::InstanceSize);
    for (int slot = 0; slot < 8; ++slot) builder.Virtual(slot, reinterpret_cast<const void*>(&RtlAbstractError));
    builder.Build();
    return true;
  }();
  return built;
}

namespace {

const bool kIniFilesBuilt = [] {
  RtlStringsClassBuilt();
  static void* const object = rtl_TObject_Class;
  HostClassBuilder builder(rtl_TCustomIniFile_Class_Storage, "TCustomIniFile");
  builder.Parent(&object).InstanceSize(IniLayout::InstanceSize);
  for (int slot = 0; slot < IniSlot::Count; ++slot) builder.Virtual(slot, reinterpret_cast<const void*>(&RtlAbstractError));
  builder.Virtual(IniSlot::ReadInteger, reinterpret_cast<const void*>(&RtlIniReadInteger))
      .Virtual(IniSlot::WriteInteger, reinterpret_cast<const void*>(&RtlIniWriteInteger))
      .Virtual(IniSlot::ReadBool, reinterpret_cast<const void*>(&RtlIniReadBool))
      .Virtual(IniSlot::WriteBool, reinterpret_cast<const void*>(&RtlIniWriteBool))
      .Virtual(IniSlot::ValueExists, reinterpret_cast<const void*>(&RtlIniValueExists))
      .Root(kVmtDestroy, reinterpret_cast<const void*>(&RtlIniFileDestroy))
      .Build();
  return true;
}();

}  // namespace

static_assert(std::is_same_v<decltype(&RtlIniReadInteger), ReadIntegerFn> &&
                  std::is_same_v<decltype(&RtlIniWriteInteger), WriteIntegerFn> &&
                  std::is_same_v<decltype(&RtlIniReadBool), ReadBoolFn> &&
                  std::is_same_v<decltype(&RtlIniValueExists), ValueExistsFn> &&
                  std::is_same_v<decltype(&RtlStringsBeginUpdate), StringsUpdateFn> &&
                  std::is_same_v<decltype(&RtlStrToInt), StrToIntFn> &&
                  std::is_same_v<decltype(&RtlExpandFileName), ExpandFileNameFn>,
              "the ini-file exports have the driver's types");
