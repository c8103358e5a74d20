// The host run-time's routines this subsystem calls, by export name, and
// their binding from a plan's sites: every routine a replacement calls is a
// site of its plan, so a host without one fails the patch before any byte is
// written, and the addresses are published at the commit.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

extern const wchar_t* const RtlModule;      // "rtl150.bpl"
extern const wchar_t* const CoreIdeModule;  // "coreide150.bpl"

// The four host string routines as sites of a plan.
struct THostStringSites {
  TSiteRef New, Asg, Clr, Realloc;
};
THostStringSites AddHostStringSites(TPatchPlan& plan);
THostStrings HostStringsAt(const TPlanValues& values, const THostStringSites& sites);

}  // namespace Quillmend
