// The stand-in's DOM node: a COM object holding its text (an OLE string).
#pragma once

#include <windows.h>

namespace XmlRtl {

struct TDomNode;
TDomNode* NewDomNode(const wchar_t* text, int length);
// The node's interface as TXMLNode holds it.
void* DomNodeInterface(TDomNode* node);

}  // namespace XmlRtl
