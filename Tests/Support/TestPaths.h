// Where a test program finds the build's outputs. Test programs run from
// <build>\bin; the deliverables lie in <build>\out, the stand-in IDE in
// <build>\host.
#pragma once

#include <string>

// The build tree.
std::wstring BuildDirectory();
// The directory of the running test program (<build>\bin).
std::wstring ProgramDirectory();
