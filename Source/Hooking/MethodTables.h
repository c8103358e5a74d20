// Virtual and dynamic method tables of host classes. A class reference points
// at the virtual method table; the header slots lie below it (see HostClassLayout).
#pragma once

#include <cstdint>

namespace Quillmend {

using TClass = void*;  // a host class reference

// Number of virtual methods: from the class reference up to the first table
// stored behind it (the class name at the latest). Writes nothing.
int32_t GetVirtualMethodCount(TClass aClass);
// Slot `index` of the virtual method table (negative: header slots). Writes nothing.
void* GetVirtualMethod(TClass aClass, int32_t index);
// Writes slot `index` (read-only pages are made writable for the write); a
// refused write is silently lost.
void SetVirtualMethod(TClass aClass, int32_t index, void* method);
// The header or virtual slot holding `oldProc` (import thunks followed on
// both sides), searched up to the first null virtual slot or the end of
// readable memory; null when none. Writes nothing.
void** FindVmtField(TClass aClass, void* oldProc);
// Writes `newProc` into the slot FindVmtField finds; false when there is
// none or the write is refused.
bool ReplaceVmtField(TClass aClass, void* oldProc, void* newProc);
// The dynamic method table entry for `index` in the class or, failing that,
// its nearest ancestor that has one; null when none. Writes nothing.
void** FindDynamicMethodSlot(TClass aClass, int32_t index);
// The method FindDynamicMethodSlot's entry holds; null when none.
void* GetDynamicMethod(TClass aClass, int32_t index);
// Writes `newProc` into that entry and returns the old method; null (nothing
// written) when there is no entry or the write is refused.
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
