// The stand-in XML run-time's document interfaces and its TXmlIniFile,
// declared once for the module, the tests, the benchmarks and the workloads:
// interface slots, layouts, export names and function types.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace XmlIniDriver {

namespace Export {
constexpr const char* IniFileClass = "@Xmlinifile@TXmlIniFile@";
constexpr const char* IniFileCreate = "@Xmlinifile@TXmlIniFile@$bctr$qqrx44System@%DelphiInterface$t18Xmlintf@IXMLNode%";
// Test host only (stdcall): documents made, read from and written to files.
constexpr const char* NewDocument = "XmlNewDocument";
constexpr const char* LoadDocument = "XmlLoadDocument";
constexpr const char* SaveDocument = "XmlSaveDocument";
constexpr const char* ReleaseNode = "XmlReleaseNode";
constexpr const char* LiveNodes = "XmlLiveNodes";
}  // namespace Export

// Node types.
constexpr int ElementNode = 1;
constexpr int TextNode = 3;

// IXMLNode: IUnknown (stdcall), then the host's register convention with
// the interface in EAX; string and interface results through a variable
// passed last.
namespace NodeSlot {
constexpr int GetNodeName = 3;    // (var Result: string)
constexpr int GetNodeType = 4;    // : Integer
constexpr int GetText = 5;        // (var Result: string)
constexpr int SetText = 6;        // (const Value: string)
constexpr int GetChildNodes = 7;  // (var Result: IXMLNodeList)
constexpr int GetAttribute = 8;   // (const Name: string; var Result: OleVariant) — Null when absent
constexpr int SetAttribute = 9;   // (const Name: string; const Value: OleVariant)
constexpr int AddChild = 10;      // (const TagName: string; Index: Integer; var Result: IXMLNode)
constexpr int IsTextElement = 11; // : Boolean — an element holding exactly one text node
}  // namespace NodeSlot

// IXMLNodeList, the same way.
namespace ListSlot {
constexpr int GetCount = 3;  // : Integer
constexpr int Get = 4;       // (Index: Integer; var Result: IXMLNode)
constexpr int Delete = 5;    // (Index: Integer)
constexpr int Clear = 6;
constexpr int IndexOf = 7;   // (const Node: IXMLNode): Integer
constexpr int FindNode = 8;  // (const Name: string; var Result: IXMLNode) — the first element of that name
}  // namespace ListSlot

// The host's TXmlIniFile: TCustomIniFile's fields, then its node.
namespace IniFileLayout {
constexpr int Root = 8;
constexpr int InstanceSize = 12;
}  // namespace IniFileLayout

// constructor Create(const Node: IXMLNode): EAX = class, DL = 1, ECX = node.
using IniFileCreateFn = void*(QM_HOST_REGISTER*)(void* classRef, int alloc, void* node);
using NewDocumentFn = void*(__stdcall*)(const wchar_t* rootName);         // the root element (a reference)
using LoadDocumentFn = void*(__stdcall*)(const wchar_t* path);            // null: unreadable or no XML
using SaveDocumentFn = BOOL(__stdcall*)(void* root, const wchar_t* path);  // UTF-8, with a declaration
using ReleaseNodeFn = void(__stdcall*)(void* node);
using LiveNodesFn = int(__stdcall*)();

template <class T>
T Bind(HMODULE xml, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(xml ? GetProcAddress(xml, name) : nullptr));
}

}  // namespace XmlIniDriver
