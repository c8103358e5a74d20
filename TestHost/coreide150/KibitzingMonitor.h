// TKibitzingMonitor (unit Kibitzingmonitor): the object watching a
// background (kibitz) compile or a code-insight request; Canceled tells
// whether the user canceled it. Start(Kind) opens a monitored section
// (sections nest; the outermost makes the current monitor) and Finished
// closes it. The class variable FUserCanCancelKibitzing (a Boolean) says
// whether the user may cancel one. Layout and the form of the calls are the
// test host's choice: a monitor is {class reference, FCanceled byte};
// Canceled is a method (EAX = Self, result in AL); Start and Finished are
// static class procedures (EAX = Kind; none).
#pragma once

#include <cstdint>

#include "Common/HostLayout.h"

extern "C" {
bool QM_HOST_REGISTER KibitzingMonitorCanceled(void* self) QM_HOST_SYMBOL(coreide_KibitzingMonitorCanceled);
void QM_HOST_REGISTER KibitzingMonitorStart(int32_t kind) QM_HOST_SYMBOL(coreide_KibitzingMonitorStart);
void QM_HOST_REGISTER KibitzingMonitorFinished() QM_HOST_SYMBOL(coreide_KibitzingMonitorFinished);
extern uint8_t coreide_FUserCanCancelKibitzing QM_HOST_SYMBOL(coreide_FUserCanCancelKibitzing);
}
