// The stand-in XML run-time's document: element and text nodes reached
// through IXMLNode and IXMLNodeList (XmlIniDriver.h has their slots), with
// the document's automatic indentation, and the document read from and
// written as XML text.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace XmlRtl {

struct TXmlNode {
  const void* const* Methods;      // IXMLNode (the node's interface pointer is the node)
  const void* const* ListMethods;  // IXMLNodeList of its children (the list's interface pointer is &ListMethods)
  LONG References;
  int Type;
  int Depth;          // the root's is 0
  bool AutoIndent;    // elements added at the end get blank text around them
  std::wstring Name;  // an element's name
  std::wstring Text;  // a text node's text
  std::vector<std::pair<std::wstring, std::wstring>> Attributes;
  std::vector<TXmlNode*> Children;  // each holds a reference
};

TXmlNode* NewElement(const std::wstring& name, int depth, bool autoIndent);  // one reference
TXmlNode* NewTextNode(const std::wstring& text);
void AddRefNode(TXmlNode* node);
void ReleaseNode(TXmlNode* node);
int LiveNodeCount();

// The document as UTF-8 XML text (declaration, then the root), and back:
// every text node kept, blank ones included; null for text that is no
// well-formed document of this reading.
std::string WriteDocument(const TXmlNode* root);
TXmlNode* ReadDocument(const std::string& utf8);

}  // namespace XmlRtl
