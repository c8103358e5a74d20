// The shared building blocks of the patches: pointer containers, string
// hashes and 8-bit text helpers.
#pragma once

#include "Hooking/GenericPointerSet.h"
#include "Hooking/PointerHashTable.h"
#include "Hooking/StringHash.h"
#include "Hooking/TextCompare.h"

namespace Quillmend {

// The unit's initialization: settles the module state of the helpers once.
// Idempotent; every helper also works without it.
void InitializeUtils();

} // namespace Quillmend
