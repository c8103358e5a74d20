// The address and symbol questions of the compiler workload ("unitof" and
// "symbols" phases) and what they answered, for the driver's checksum.
#pragma once

#include <cstdint>

#include "DccRecords.h"

namespace Dcc {

// A project unit loaded again the way the workload loads it (DccDriver.cpp);
// the new record is on the list.
TUnit* LoadProjectUnit(uint32_t index);

// FNV mixing of the answers given since the project was prepared.
uint32_t QueryAnswers();
void ResetQueryAnswers();
void MixAnswer(uint32_t value);

} // namespace Dcc
