// Virtual and dynamic method tables of host classes. A class reference points
// at the virtual method table; the header slots lie below it (see HostClassLayout).
#pragma once

#include <cstdint>

namespace Quillmend {

using TClass = void*;  // a host class reference

int32_t GetVirtualMethodCount(TClass aClass);
void* GetVirtualMethod(TClass aClass, int32_t index);
void SetVirtualMethod(TClass aClass, int32_t index, void* method);
bool ReplaceVmtField(TClass aClass, void* oldProc, void* newProc);
void* GetDynamicMethod(TClass aClass, int32_t index);
void* ReplaceDmtField(TClass aClass, int32_t index, void* newProc);

// Header slot offsets of the host's class layout, from the class reference.
namespace HostClassLayout {
constexpr int SelfPtr = -88;
constexpr int IntfTable = -84;
constexpr int AutoTable = -80;
constexpr int InitTable = -76;
constexpr int TypeInfo = -72;
constexpr int FieldTable = -68;
constexpr int MethodTable = -64;
constexpr int DynamicTable = -60;
constexpr int ClassName = -56;
constexpr int InstanceSize = -52;
constexpr int Parent = -48;
constexpr int FirstRootVirtual = -44;  // Equals ... Destroy up to -4
}  // namespace HostClassLayout

} // namespace Quillmend
