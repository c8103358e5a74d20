// The run-time's components (unit Classes) and its safe library loader
// (unit SysUtils), declared once for vcl150.bpl, the IDE packages, bds.exe
// and the tests: export names, layouts and virtual method slots (slot n at
// class reference + 4n).
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace ComponentsDriver {

namespace Export {
constexpr const char* PersistentClass = "@Classes@TPersistent@";
constexpr const char* PersistentAssign = "@Classes@TPersistent@Assign$qqrp19Classes@TPersistent";
constexpr const char* ComponentClass = "@Classes@TComponent@";
// constructor Create(AOwner): EAX class (DL != 0) or instance, ECX owner.
constexpr const char* ComponentCreate = "@Classes@TComponent@$bctr$qqrp18Classes@TComponent";
constexpr const char* ComponentDestroy = "@Classes@TComponent@$bdtr$qqrv";
// EAX self, EDX name → EAX the owned component of that name or nil.
constexpr const char* FindComponent = "@Classes@TComponent@FindComponent$qqrx20System@UnicodeString";
// EAX self, EDX name (through the virtual SetName).
constexpr const char* SetName = "@Classes@TComponent@SetName$qqrx20System@UnicodeString";
// EAX file name, EDX error mode → EAX module handle (0 when it cannot be loaded).
constexpr const char* SafeLoadLibrary = "@Sysutils@SafeLoadLibrary$qqrx20System@UnicodeStringui";
// Driver (stdcall): how often SafeLoadLibrary ran; the error mode of the last call.
constexpr const char* SafeLoadLibraryCalls = "RtlSafeLoadLibraryCalls";
} // namespace Export

namespace PersistentSlot {
constexpr int AssignTo = 0, DefineProperties = 1, Assign = 2, Count = 3;
}
namespace ComponentSlot {
constexpr int Loaded = 3, Notification = 4, SetName = 5, Create = 6, Count = 7;
}
namespace ComponentLayout {
constexpr int Owner = 4, Name = 8, Components = 12, ComponentCount = 16, ComponentCapacity = 20,
              ComponentState = 24, Size = 28;
}

using ComponentCreateFn = void*(QM_HOST_REGISTER*)(void* classOrSelf, int alloc, void* owner);
using FindComponentFn = void*(QM_HOST_REGISTER*)(void* self, const wchar_t* name);
using SetNameFn = void(QM_HOST_REGISTER*)(void* self, const wchar_t* name);
using SafeLoadLibraryFn = HMODULE(QM_HOST_REGISTER*)(const wchar_t* fileName, uint32_t errorMode);
using SafeLoadLibraryCallsFn = int32_t(__stdcall*)(uint32_t* lastErrorMode);

} // namespace ComponentsDriver
