// TCustomForm.SetDesigner starts as the host's compiler starts a routine.
#include "Common/HostEntry.inc"

        .text
        .balign 16
        HOST_ENTRY _vcl_TCustomForm_SetDesigner, _vcl_SetDesignerBody
