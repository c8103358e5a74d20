// "RTL.XMLDocOptimization": TXMLNode's node value read and written without
// the variant detours of the host's XML document unit. Reading hands the DOM
// node's text over as an OLE string variant (Null for an empty text);
// writing takes "true"/"false" for a Boolean when UseXSDBooleanStrings is
// on, an OLE string's own text, and VarToStr of anything else. Installed at
// unit initialization.
#pragma once

#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// A TXMLNode holds its DOM node at +0x0C; the DOM node's methods are
// safecall (stdcall returning an HRESULT): get_nodeValue in slot 4,
// set_nodeValue in slot 5.
namespace XmlNodeLayout {
constexpr int DOMNode = 0x0C;
constexpr int GetNodeValueSlot = 4;
constexpr int SetNodeValueSlot = 5;
}  // namespace XmlNodeLayout

// function TXMLNode.GetNodeValue: OleVariant — EAX = Self, EDX = result variant.
void QM_REGISTER GetNodeValueReplacement(void* node, void* result);
// procedure TXMLNode.SetNodeValue(const Value: OleVariant) — EAX = Self, EDX = Value.
void QM_REGISTER SetNodeValueReplacement(void* node, const void* value);

std::vector<TPatchPlan> XmlDocOptimizationPlans();
void InstallXmlDocOptimization();

extern const TUnitInfo Unit_XmlDocOptimization;

}  // namespace Quillmend
