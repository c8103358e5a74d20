// The palette services {6963F71C-0A3F-4598-B6F6-9574CE0E6847} (register
// convention beyond IUnknown): index 4 gives the component palette's base
// group, answered by the palette manager of delphicoreide150.bpl (nil
// without that package or without a palette); 3 is unsupported.
#pragma once

#include "Services.h"

namespace QmHost {

ServiceObject* PaletteServices();

} // namespace QmHost
