// The view commands' handlers start as the host's compiler starts a method
// (Common/HostEntry.inc): a redirection with an original-call entry moves
// these bytes. The bodies are C++ (ViewCommands.cpp).
#include "Common/HostEntry.inc"

        .text
        HOST_ENTRY _coreide_ViewHelpInsightUpdate, _coreide_ViewHelpInsightUpdateBody
        HOST_ENTRY _coreide_ViewHelpInsightExecute, _coreide_ViewHelpInsightExecuteBody
