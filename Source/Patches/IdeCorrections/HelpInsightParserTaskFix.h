// "IDE.HelpInsight.WaitFor": the Help Insight parser thread waits for work
// once, for the time it was given. The host's wait loops while messages
// arrive and computes each further wait from the previous one, so a busy
// message queue keeps the thread waiting far beyond its timeout.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The thread object's event (its WaitFor is the third virtual method).
namespace ParseThreadLayout {
constexpr int Event = 0x18;
constexpr int EventWaitForSlot = 2;
}  // namespace ParseThreadLayout

// function WaitForWork(Self; Timeout): Boolean — one wait on the thread's
// event; true exactly when it was signalled (host register convention).
bool QM_REGISTER WaitForWork(void* self, uint32_t timeout);

std::vector<TPatchPlan> HelpInsightParserTaskFixPlans();
void InstallHelpInsightParserTaskFix();

extern const TUnitInfo Unit_HelpInsightParserTaskFix;

}  // namespace Quillmend
