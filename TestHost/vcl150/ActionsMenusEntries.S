// Entries of the action and menu routines patches redirect, as the host's
// compiler starts them (Common/HostEntry.inc); the bodies are C++.
#include "Common/HostEntry.inc"

        .text
        HOST_ENTRY _vcl_TCustomAction_Execute, _vcl_TCustomAction_ExecuteBody
        HOST_ENTRY _vcl_TMenu_IsShortCut, _vcl_TMenu_IsShortCutBody
