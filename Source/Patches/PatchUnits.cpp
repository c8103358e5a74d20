// Link order of the shipped patch modules: their unit initializations run in
// this order when Quillmend.dll loads, their finalizations in reverse.
#include "Framework/Units.h"

namespace Quillmend {

const TUnitInfo* const PatchUnits[] = {nullptr};
const size_t PatchUnitCount = 0;

} // namespace Quillmend
