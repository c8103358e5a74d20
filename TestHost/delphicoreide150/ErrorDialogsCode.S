// TRecoverFormInheritence.Setup and FormReadError starting as the host's
// compiler starts a routine (ErrorDialogs.cpp has their bodies).
#include "Common/HostEntry.inc"

        .intel_syntax noprefix
        .text

        .balign 16
        HOST_ENTRY _delphicoreide_Setup, _delphicoreide_SetupBody
        .balign 16
        HOST_ENTRY _delphicoreide_FormReadError, _delphicoreide_FormReadErrorBody
