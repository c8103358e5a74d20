// The stand-in XML run-time xmlrtl150.bpl's driver interface, declared once
// for the tests and the benchmarks: export names and types; the module
// checks its definitions against them.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace XmlDriver {

namespace Export {
constexpr const char* GetNodeValue = "@Xmldoc@TXMLNode@GetNodeValue$qqrv";
constexpr const char* SetNodeValue = "@Xmldoc@TXMLNode@SetNodeValue$qqrrx14System@Variant";
constexpr const char* UseXSDBooleanStrings = "@Xmldoc@UseXSDBooleanStrings";
constexpr const char* XMLNodeClass = "@Xmldoc@TXMLNode@";
// Test host only: a node over a DOM node holding a text, its text, its end.
constexpr const char* NewNode = "XmlNewNode";
constexpr const char* NodeText = "XmlNodeText";
constexpr const char* FreeNode = "XmlFreeNode";
}  // namespace Export

// A TXMLNode: class reference, then (+0x0C) its DOM node, an interface whose
// methods are safecall (stdcall with an HRESULT): get_nodeValue in slot 4,
// set_nodeValue in slot 5.
namespace NodeLayout {
constexpr int DOMNode = 0x0C;
constexpr int InstanceSize = 0x10;
}  // namespace NodeLayout

// function GetNodeValue: OleVariant — EAX = Self, EDX = result variant.
using GetNodeValueFn = void(QM_HOST_REGISTER*)(void* node, void* result);
// procedure SetNodeValue(const Value: OleVariant) — EAX = Self, EDX = Value.
using SetNodeValueFn = void(QM_HOST_REGISTER*)(void* node, const void* value);
using NewNodeFn = void*(__stdcall*)(const wchar_t* text);
using NodeTextFn = int(__stdcall*)(void* node, wchar_t* buffer, int size);  // length of the whole text
using FreeNodeFn = void(__stdcall*)(void* node);

template <class T>
T Bind(HMODULE xml, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(xml ? GetProcAddress(xml, name) : nullptr));
}

}  // namespace XmlDriver
