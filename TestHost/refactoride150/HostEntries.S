// Entries of the routines patches redirect, as the host's compiler starts
// them (Common/HostEntry.inc); the bodies are C++.
#include "Common/HostEntry.inc"

        .text
        HOST_ENTRY _refactor_UpdateAction, _refactor_UpdateActionBody
        HOST_ENTRY _refactor_ImportNamespaceExecute, _refactor_ImportNamespaceExecuteBody
