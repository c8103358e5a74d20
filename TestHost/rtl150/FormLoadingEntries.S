// TObject.FieldAddress (the string overload) and InitInheritedComponent
// start as the host's compiler starts a routine.
#include "Common/HostEntry.inc"

        .text
        .balign 16
        HOST_ENTRY _rtl_TObject_FieldAddress, _rtl_FieldAddressBody
        .balign 16
        HOST_ENTRY _rtl_InitInheritedComponent, _rtl_InitInheritedBody
