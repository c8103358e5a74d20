# Class records of the stand-in host run-time in the host's class layout:
# eleven header slots (-88 .. -48) and the eleven root virtual methods
# (-44 .. -4) in front of each class reference.
        .data
        .p2align 2

.macro HOST_CLASS label, nameLabel, size, parentVar, destroy
        .long   _\label                      # -88 self pointer
        .long   0                            # -84 interface table
        .long   0                            # -80 automation table
        .long   0                            # -76 initialization table
        .long   0                            # -72 type information
        .long   0                            # -68 field table
        .long   0                            # -64 method table
        .long   0                            # -60 dynamic method table
        .long   \nameLabel                   # -56 class name
        .long   \size                        # -52 instance size
        .long   \parentVar                   # -48 parent class variable
        .long   _rtl_TObject_Equals          # -44
        .long   _rtl_TObject_GetHashCode     # -40
        .long   _rtl_TObject_ToString        # -36
        .long   _rtl_TObject_SafeCallException # -32
        .long   _rtl_TObject_AfterConstruction # -28
        .long   _rtl_TObject_BeforeDestruction # -24
        .long   _rtl_TObject_Dispatch        # -20
        .long   _rtl_TObject_DefaultHandler  # -16
        .long   _rtl_TObject_NewInstance     # -12
        .long   _rtl_TObject_FreeInstance    # -8
        .long   \destroy                     # -4
        .globl  _\label
_\label:
.endm

        HOST_CLASS rtl_TObject_Class, .LTObjectName, 4, 0, _rtl_TObject_Destroy
        HOST_CLASS rtl_Exception_Class, .LExceptionName, 12, _rtl_TObject_ClassVar, _rtl_Exception_Destroy
        HOST_CLASS rtl_EInvalidPointer_Class, .LEInvalidPointerName, 12, _rtl_Exception_ClassVar, _rtl_Exception_Destroy

# Parent links point at variables holding the parent's class reference.
        .globl  _rtl_TObject_ClassVar
_rtl_TObject_ClassVar:
        .long   _rtl_TObject_Class
        .globl  _rtl_Exception_ClassVar
_rtl_Exception_ClassVar:
        .long   _rtl_Exception_Class

# Class names are short strings: a length byte, then the characters.
        .section .rdata,"dr"
.LTObjectName:
        .byte   7
        .ascii  "TObject"
.LExceptionName:
        .byte   9
        .ascii  "Exception"
.LEInvalidPointerName:
        .byte   15
        .ascii  "EInvalidPointer"
