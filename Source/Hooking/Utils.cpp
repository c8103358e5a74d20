#include "Hooking/Utils.h"

namespace Quillmend {

void InitializeUtils() {
  // The hash and case tables are compile-time constants; what remains to be
  // settled at load is the comparison's ntdll entry (itself run-once).
  InitializeTextCompare();
}

} // namespace Quillmend
