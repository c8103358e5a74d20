// TObject.ClassNameIs the plain way: the class's short-string name (UTF-8)
// made a new string, then compared with CompareStringW in the run-time's
// UTF-8 comparison locale, ignoring case. And a class whose name is not
// ASCII, "TŁódźReader", for comparisons beyond ASCII.
#include <windows.h>

#include <type_traits>

#include "Common/HostClass.h"
#include "RtlInternal.h"
#include "SystemUnitDriver.h"

using namespace QmHost;

extern "C" uint32_t rtl_UTF8CompareLocale QM_HOST_SYMBOL(rtl_UTF8CompareLocale);

QM_HOST_CLASS(rtl_NonAsciiClass, 0);

namespace {

const bool kNonAsciiClassBuilt = [] {
  RtlBaseClassesBuilt();
  static void* const parent = rtl_TObject_Class;
  HostClassBuilder(rtl_NonAsciiClass_Storage, "T\xC5\x81\xC3\xB3" "d\xC5\xBA" "Reader").Parent(&parent).Build();
  return true;
}();

}  // namespace

extern "C" {

bool QM_HOST_REGISTER RtlClassNameIs(const void* classRef, const wchar_t* name) QM_HOST_SYMBOL(rtl_TObject_ClassNameIs);
bool QM_HOST_REGISTER RtlClassNameIs(const void* classRef, const wchar_t* name) {
  const auto* shortName = static_cast<const unsigned char*>(VmtSlot(classRef, kVmtClassName));
  const char* utf8 = reinterpret_cast<const char*>(shortName + 1);
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, shortName[0], nullptr, 0);
  wchar_t* text = RtlNewUnicodeString(length);
  MultiByteToWideChar(CP_UTF8, 0, utf8, shortName[0], text, length);
  const int nameLength = name ? StrHeader(name)->length : 0;
  const bool same = CompareStringW(rtl_UTF8CompareLocale, NORM_IGNORECASE, text ? text : L"", length,
                                   name ? name : L"", nameLength) == CSTR_EQUAL;
  RtlUStrClr(&text);
  return same;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&RtlClassNameIs), SystemUnitDriver::ClassNameIsFn>,
              "ClassNameIs has the driver's type");
