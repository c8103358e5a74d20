// TKibitzingMonitor: the object watching a background compile; Canceled
// tells whether the user canceled it.
//
// NOTE (temporary home): TKibitzingMonitor belongs to coreide150.bpl, which
// the stand-in IDE does not have yet; it lives here, in files of its own
// (KibitzingMonitor.*), until coreide150.bpl exists and takes these files.
#pragma once

#include "Common/HostLayout.h"

// Method Canceled (host register convention: EAX = Self, result in AL).
extern "C" bool QM_HOST_REGISTER KibitzingMonitorCanceled(void* self);
