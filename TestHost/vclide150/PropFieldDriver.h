// The IDE's property fields (vclide150.bpl, unit Idepropset: PropField.cpp),
// the components the environment options are made of; declared once for the
// stand-ins, the tests and bds.exe.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace PropFieldDriver {

namespace Export {
constexpr const char* PropFieldClass = "@Idepropset@TPropField@";
// function GetValue: Variant — EAX = Self, EDX = the result variant (16 bytes, VARIANT's layout).
constexpr const char* GetValue = "@Idepropset@TPropField@GetValue$qqrv";
constexpr const char* New = "VclIdeNewPropField";
constexpr const char* Set = "VclIdeSetPropField";
}  // namespace Export

namespace Layout {
constexpr int ValueType = 28, Value = 32, Size = 36;  // after TComponent's fields
}

using GetValueFn = void(QM_HOST_REGISTER*)(void* self, void* result);
// The stand-in's (stdcall): a property field owned by `owner`, named `name`,
// holding a variant of type `varType` (VT_BOOL, VT_I4, VT_EMPTY) and value.
using NewFn = void*(__stdcall*)(void* owner, const wchar_t* name, int32_t varType, int32_t value);
using SetFn = void(__stdcall*)(void* field, int32_t varType, int32_t value);

}  // namespace PropFieldDriver
