// "RTL.XmlIniFile": the host's TXmlIniFile (an ini file over an XML
// element: one element per section, one per key, the key's name in its
// attribute "Name" and its value as its text) converts every key name to a
// string before comparing it, and a removed key or section leaves the
// blank text that indented it, so a document edited again and again grows.
// Installed at unit initialization: the host class's NewInstance slot
// makes objects of our subclass TXmlIniFile (same fields, the host's class
// as parent), whose thirteen ini operations walk the nodes directly and
// remove the blank text around what they remove. ValueExists counts a key
// with an empty value (an element without children) as existing.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

constexpr const char* XmlIniFileClassExport = "@Xmlinifile@TXmlIniFile@";

// The host's ini file: TCustomIniFile's fields, then (+8) the XML element
// whose element children are the sections.
namespace HostXmlIniFileLayout {
constexpr int Root = 8;
}  // namespace HostXmlIniFileLayout

// TCustomIniFile's virtual methods, in slot order (register convention,
// string results through a variable passed last).
namespace HostIniFileSlot {
constexpr int ReadString = 0, WriteString = 1, ReadInteger = 2, WriteInteger = 3, ReadBool = 4, WriteBool = 5,
              ReadSection = 6, ReadSections = 7, ReadSectionValues = 8, EraseSection = 9, DeleteKey = 10,
              UpdateFile = 11, ValueExists = 12;
}  // namespace HostIniFileSlot

// TStrings: virtual Add in slot 6, Clear in slot 7; BeginUpdate and
// EndUpdate by export name.
namespace HostStringsLayout {
constexpr int AddSlot = 6;
constexpr int ClearSlot = 7;
}  // namespace HostStringsLayout

// The XML document's interfaces (register convention after IUnknown; string
// and interface results through a variable passed last; attributes as OLE
// variants).
namespace HostXmlNodeSlot {
constexpr int GetNodeName = 3, GetNodeType = 4, GetText = 5, SetText = 6, GetChildNodes = 7, GetAttribute = 8,
              SetAttribute = 9, AddChild = 10, IsTextElement = 11;
}  // namespace HostXmlNodeSlot
namespace HostXmlNodeListSlot {
constexpr int GetCount = 3, Get = 4, Delete = 5, Clear = 6, IndexOf = 7, FindNode = 8;
}  // namespace HostXmlNodeListSlot
constexpr int HostXmlElementNode = 1;
constexpr int HostXmlTextNode = 3;

// The section's or key's element name: blanks and backslashes become "_".
std::wstring SanitizeName(const std::wstring& name);
// True when every character is at most U+0020 (the empty text too).
bool IsBlankText(const wchar_t* text, int32_t length);

// Host objects of our subclass alive now.
int32_t LiveXmlIniFiles();

TPatchPlan XmlIniFilePlan();

}  // namespace Quillmend
