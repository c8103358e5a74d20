// "IDE.IntfCastReduction": the component palette's searches (FindItem,
// FindItemGroup) without an interface cast per item: the object behind an
// interface is read from its adjustment stub, and which interfaces a class
// implements at which offset is asked once per class and search.
// "IDE.IntfCastReduction.MoreSpeed": a group's items read without taking the
// item list's lock.
#pragma once

#include <cstdint>
#include <vector>
#include <windows.h>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The palette's interface identifiers.
constexpr GUID PaletteServicesIid = {0x6963F71C, 0x0A3F, 0x4598, {0xB6, 0xF6, 0x95, 0x74, 0xCE, 0x0E, 0x68, 0x47}};
constexpr GUID PaletteGroupIid = {0xC7593CE8, 0x1A0B, 0x409F, {0xB2, 0x1F, 0x84, 0xD9, 0x83, 0x59, 0x3F, 0x77}};
constexpr GUID ComponentPaletteItemIid = {0x5A1A13FD, 0x48B6, 0x4A76, {0xBB, 0x3F, 0x37, 0x41, 0x02, 0x17, 0x27, 0x67}};

// Methods of the palette interfaces by index (IUnknown's are 0..2).
namespace PaletteMethod {
constexpr int BaseGroup = 4;     // palette services: the base group
constexpr int ItemName = 6;      // any palette item: its name
constexpr int IdString = 7;      // component item: its name on the tool bar; group: its name
constexpr int Visible = 8;       // component item
constexpr int Count = 15;        // group
constexpr int Item = 16;         // group: item by index
constexpr int Qualifier = 19;    // component item
}  // namespace PaletteMethod

// The object behind an interface reference, decoded from the first entry
// of its method table (the compiler's adjustment stub); an ordinary
// function there is asked through the run-time's safe cast to TObject;
// null for nil or an unknown form.
void* InterfaceToObject(void* intf);

// The plans, in installation order.
std::vector<TPatchPlan> InterfaceSpeedFixPlans();
// Installs "IDE.IntfCastReduction" and, once its routine is found,
// "IDE.IntfCastReduction.MoreSpeed".
void InstallInterfaceSpeedFix();

// What one search asked of the items' QueryInterface (for tests).
extern uint32_t PaletteSearchQueries;

extern const TUnitInfo Unit_IDEInterfaceSpeedFix;

}  // namespace Quillmend
