// The stand-in MSBuild project tree (coreide150.bpl, units Node and
// Msbnodes), declared once for the stand-ins, bds.exe, the tests and the
// benchmarks.
//
// TNode (24 bytes): [4] parent, [8] children (a TObjectList owning them),
// [12] name, [16] value, [20] condition; virtual method 0 ChildRemoved(Child).
// A node being freed tells its parent first (ChildRemoved: the parent's list
// extracts it), then clears and frees its own children. TItemGroup and
// TPropertyGroup (52 bytes) add [0x28] the project, [0x2C] their name index
// (a vclide150 TCustomStringHashTable, case-insensitive, 1021 buckets) and
// [0x30] their rules; their ChildRemoved also takes the child out of the
// index. TNode.Clear clears the child list (its third virtual method).
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace MsbNodesDriver {

namespace Export {
constexpr const char* NodeClass = "@Node@TNode@";
constexpr const char* ItemGroupClass = "@Msbnodes@TItemGroup@";
constexpr const char* PropertyGroupClass = "@Msbnodes@TPropertyGroup@";
constexpr const char* NodeClear = "@Node@TNode@Clear$qqrv";
constexpr const char* AddItem = "@Msbnodes@TItemGroup@AddItem$qqrx20System@UnicodeStringt1";
constexpr const char* AddProperty = "@Msbnodes@TPropertyGroup@AddProperty$qqrx20System@UnicodeStringt1t1";
// Driver (stdcall).
constexpr const char* NewNode = "MsbNewNode";
constexpr const char* NewItemGroup = "MsbNewItemGroup";
constexpr const char* NewPropertyGroup = "MsbNewPropertyGroup";
constexpr const char* AddChild = "MsbAddChild";
constexpr const char* ChildCount = "MsbChildCount";
constexpr const char* FindChild = "MsbFindChild";
constexpr const char* IndexCount = "MsbIndexCount";
constexpr const char* NodesAlive = "MsbNodesAlive";
constexpr const char* CheckAndWarnCalls = "MsbCheckAndWarnCalls";
}  // namespace Export

namespace Layout {
constexpr int Parent = 4, Children = 8, Name = 12, Value = 16, Condition = 20, NodeSize = 24;
constexpr int Project = 0x28, NameIndex = 0x2C, Rules = 0x30, GroupSize = 52;
}

using NewNodeFn = void*(__stdcall*)(const wchar_t* name);
using NewGroupFn = void*(__stdcall*)();
using AddChildFn = void*(__stdcall*)(void* node, const wchar_t* name);  // a plain node as the last child
using CountFn = std::int32_t(__stdcall*)(void* node);
using FindChildFn = void*(__stdcall*)(void* group, const wchar_t* name);  // through the name index
using CounterFn = std::int32_t(__stdcall*)();
// The host's own routines.
using AddItemFn = void*(QM_HOST_REGISTER*)(void* group, const wchar_t* include, const wchar_t* value);
using AddPropertyFn = void*(QM_HOST_REGISTER*)(void* group, const wchar_t* name, const wchar_t* value,
                                                 const wchar_t* condition);
using NodeClearFn = void(QM_HOST_REGISTER*)(void* node);

template <class T>
T Bind(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
}

}  // namespace MsbNodesDriver
