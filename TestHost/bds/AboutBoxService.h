// The about-box service {62A2F7FD-16F1-45B9-9417-A2D293D07A22}:
//   index 5  RemovePluginInfo(Index)                      EAX=Self, EDX=Index
//   index 7  AddPluginInfo(Title, Description, Image, IsUnRegistered,
//            LicenseStatus, SKUName, ProductName) -> Integer
//            EAX=Self, EDX=Title, ECX=Description, five stack arguments
// Entries are journaled as "ABOUT-ADD <index> <title>|<description>" and
// "ABOUT-REMOVE <index>"; indices count from 1.
#pragma once

#include <string>
#include <vector>

#include "Services.h"

namespace QmHost {

struct AboutEntry {
  int index;
  std::wstring title;
  std::wstring description;
};

ServiceObject* AboutBoxService();

// Entries added and not yet removed.
const std::vector<AboutEntry>& AboutEntries();

} // namespace QmHost
