// The IDE's splash screen in the stand-in: shown (with -splash) once the
// component library is loaded, before the IDE packages; closed after the
// main form was first shown, when the IDE's start-up ends.
#pragma once

#include "HostApp.h"

namespace QmHost {

void ShowSplashScreen(HostApp& app);
// Keeps it up for -splashhold milliseconds (messages dispatched), journals
// `SPLASH-CLOSE labels=<n> caption=<the first label's caption>` and frees it.
void CloseSplashScreen(HostApp& app);

} // namespace QmHost
