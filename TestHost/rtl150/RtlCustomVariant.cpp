// Custom variant types: TCustomVariantType (a host class whose virtual
// CastTo and Clear the conversions call) and one type registered at
// start-up, varPoint (0x10F): a point {X, Y} in memory of the run-time that
// casts itself to a text "(X, Y)" and to a Boolean (not the origin) and
// frees its point when cleared (counted). The default change-any hook turns
// a varAny holding an Integer into that Integer; the clear-any hook empties it.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>

#include "Common/HostClass.h"
#include "RtlVariantsInternal.h"

using namespace QmHost;
using namespace VariantsDriver;

namespace {

constexpr int CastToSlot = 7;
constexpr int ClearSlot = 9;
constexpr int VirtualCount = 10;

using CastToFn = void(QM_HOST_REGISTER*)(void* self, TVarData* dest, const TVarData* source, uint32_t target);
using ClearFn = void(QM_HOST_REGISTER*)(void* self, TVarData* v);

struct TPoint {
  int32_t X, Y;
};

long g_pointClears = 0;

void QM_HOST_REGISTER PointCastTo(void* self, TVarData* dest, const TVarData* source, uint32_t target) {
  const TPoint* point = static_cast<const TPoint*>(source->VPointer);
  if (target == VT_BSTR) {
    wchar_t text[40];
    const int length = std::swprintf(text, 40, L"(%d, %d)", point->X, point->Y);
    dest->VType = VT_BSTR;
    dest->VOleStr = SysAllocStringLen(text, UINT(length));
  } else if (target == VT_BOOL) {
    dest->VType = VT_BOOL;
    dest->VBoolean = (point->X || point->Y) ? VARIANT_TRUE : VARIANT_FALSE;
  } else {
    RtlVarCastError(varPoint, uint16_t(target));
  }
}

void QM_HOST_REGISTER PointClear(void* self, TVarData* v) {
  RtlFreeMem(v->VPointer);
  v->VPointer = nullptr;
  v->VType = VT_EMPTY;
  ++g_pointClears;
}

void QM_HOST_REGISTER AbstractMethod() { RtlRaiseNew(rtl_Exception_Class, L"Abstract Error"); }

}  // namespace

QM_HOST_CLASS(rtl_TCustomVariantType_Class, 10);
QM_HOST_CLASS(rtl_TPointVariantType_Class, 10);

namespace {

void* g_pointType = nullptr;  // the registered instance

const bool kCustomTypesBuilt = [] {
  RtlBaseClassesBuilt();
  static void* const object = rtl_TObject_Class;
  static void* const customType = rtl_TCustomVariantType_Class;
  HostClassBuilder base(rtl_TCustomVariantType_Class_Storage, "TCustomVariantType");
  base.Parent(&object).InstanceSize(8);
  for (int slot = 0; slot < VirtualCount; ++slot) base.Virtual(slot, reinterpret_cast<const void*>(&AbstractMethod));
  base.Build();
  HostClassBuilder(rtl_TPointVariantType_Class_Storage, "TPointVariantType")
      .Parent(&customType)
      .Virtual(CastToSlot, reinterpret_cast<const void*>(&PointCastTo))
      .Virtual(ClearSlot, reinterpret_cast<const void*>(&PointClear))
      .Build();
  // The instance: class reference, then its variant type.
  static uint32_t instance[2] = {uint32_t(uintptr_t(rtl_TPointVariantType_Class)), varPoint};
  g_pointType = instance;
  return true;
}();

}  // namespace

void CustomCastTo(void* customType, TVarData* dest, const TVarData* source, uint16_t target) {
  reinterpret_cast<CastToFn>(VmtSlot(*static_cast<void**>(customType), 4 * CastToSlot))(customType, dest, source, target);
}

void CustomClear(void* customType, TVarData* v) {
  reinterpret_cast<ClearFn>(VmtSlot(*static_cast<void**>(customType), 4 * ClearSlot))(customType, v);
}

extern "C" {

bool QM_HOST_REGISTER RtlFindCustomVariantType(uint16_t type, void** customType) {
  *customType = type == varPoint ? g_pointType : nullptr;
  return *customType != nullptr;
}

void QM_HOST_REGISTER RtlDefaultChangeAny(TVarData* v) {
  const int32_t value = int32_t(uintptr_t(v->VAny));
  v->VType = VT_I4;
  v->VInteger = value;
}

void QM_HOST_REGISTER RtlDefaultClearAny(TVarData* v) { v->VType = VT_EMPTY; }

void __stdcall RtlMakePointVariant(TVarData* v, int32_t x, int32_t y) QM_HOST_SYMBOL(rtl_MakePointVariant);
void __stdcall RtlMakePointVariant(TVarData* v, int32_t x, int32_t y) {
  auto* point = static_cast<TPoint*>(RtlGetMem(sizeof(TPoint)));
  point->X = x;
  point->Y = y;
  v->VType = varPoint;
  v->VPointer = point;
}

long __stdcall RtlPointVariantClears() QM_HOST_SYMBOL(rtl_PointVariantClears);
long __stdcall RtlPointVariantClears() { return g_pointClears; }

}  // extern "C"
