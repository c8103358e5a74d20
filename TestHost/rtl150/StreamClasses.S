# Class records of the stand-in run-time's streams, component writer, text
# encodings and the exceptions they raise, in the host's class layout
# (StandInClass.inc). Virtual method slots after the class reference are the
# test host's choice (TestHost/README.md, "Streams and the component writer").
#include "StandInClass.inc"

# ---- streams: 0 GetSize, 1 SetSize(Longint), 2 SetSize(Int64), 3 Read,
#      4 Write, 5 Seek(Longint, Word), 6 Seek(Int64, TSeekOrigin); TMemoryStream: 7 Realloc
        STANDIN_CLASS rtl_TStream_Class, TStream, 4, rtl_TObject_Class, _rtl_TObject_Destroy
        .long   _rtl_TStream_GetSize
        .long   _rtl_TStream_SetSize32
        .long   _rtl_TStream_SetSize64
        .long   _rtl_AbstractError
        .long   _rtl_AbstractError
        .long   _rtl_TStream_Seek32
        .long   _rtl_TStream_Seek64

        STANDIN_CLASS rtl_TCustomMemoryStream_Class, TCustomMemoryStream, 16, rtl_TStream_Class, _rtl_TObject_Destroy
        .long   _rtl_TStream_GetSize
        .long   _rtl_TStream_SetSize32
        .long   _rtl_TStream_SetSize64
        .long   _rtl_TCustomMemoryStream_Read
        .long   _rtl_AbstractError
        .long   _rtl_TCustomMemoryStream_Seek32
        .long   _rtl_TStream_Seek64

        STANDIN_CLASS rtl_TMemoryStream_Class, TMemoryStream, 20, rtl_TCustomMemoryStream_Class, _rtl_TMemoryStream_Destroy
        .long   _rtl_TStream_GetSize
        .long   _rtl_TMemoryStream_SetSize32
        .long   _rtl_TMemoryStream_SetSize64
        .long   _rtl_TCustomMemoryStream_Read
        .long   _rtl_TMemoryStream_Write
        .long   _rtl_TCustomMemoryStream_Seek32
        .long   _rtl_TStream_Seek64
        .long   _rtl_TMemoryStream_Realloc

# ---- the component writer: 0 SetRoot, 1 FlushBuffer
        STANDIN_CLASS rtl_TFiler_Class, TFiler, 40, rtl_TObject_Class, _rtl_TFiler_Destroy
        .long   _rtl_TFiler_SetRoot
        .long   _rtl_AbstractError

        STANDIN_CLASS rtl_TWriter_Class, TWriter, 48, rtl_TFiler_Class, _rtl_TWriter_Destroy
        .long   _rtl_TFiler_SetRoot
        .long   _rtl_TWriter_FlushBuffer

# ---- text encodings: a code page at +4, no virtual methods of their own
        STANDIN_CLASS rtl_TEncoding_Class, TEncoding, 8, rtl_TObject_Class, _rtl_TObject_Destroy
        STANDIN_CLASS rtl_TMBCSEncoding_Class, TMBCSEncoding, 8, rtl_TEncoding_Class, _rtl_TObject_Destroy
        STANDIN_CLASS rtl_TUTF8Encoding_Class, "TUTF8Encoding", 8, rtl_TMBCSEncoding_Class, _rtl_TObject_Destroy
        STANDIN_CLASS rtl_TUnicodeEncoding_Class, TUnicodeEncoding, 8, rtl_TEncoding_Class, _rtl_TObject_Destroy
        STANDIN_CLASS rtl_TBigEndianUnicodeEncoding_Class, TBigEndianUnicodeEncoding, 8, rtl_TUnicodeEncoding_Class, _rtl_TObject_Destroy

# ---- exceptions (Exception's layout: [4] message, [8] help context)
        STANDIN_CLASS rtl_EAbstractError_Class, EAbstractError, 12, rtl_Exception_Class, _rtl_Exception_Destroy
        STANDIN_CLASS rtl_EOutOfMemory_Class, EOutOfMemory, 12, rtl_Exception_Class, _rtl_Exception_Destroy
        STANDIN_CLASS rtl_EConvertError_Class, EConvertError, 12, rtl_Exception_Class, _rtl_Exception_Destroy
        STANDIN_CLASS rtl_EAssertionFailed_Class, EAssertionFailed, 12, rtl_Exception_Class, _rtl_Exception_Destroy
        STANDIN_CLASS rtl_EParserError_Class, EParserError, 12, rtl_Exception_Class, _rtl_Exception_Destroy
        STANDIN_CLASS rtl_EStreamError_Class, EStreamError, 12, rtl_Exception_Class, _rtl_Exception_Destroy
        STANDIN_CLASS rtl_EReadError_Class, EReadError, 12, rtl_EStreamError_Class, _rtl_Exception_Destroy
        STANDIN_CLASS rtl_EWriteError_Class, EWriteError, 12, rtl_EStreamError_Class, _rtl_Exception_Destroy
        STANDIN_CLASS rtl_EArgumentOutOfRangeException_Class, EArgumentOutOfRangeException, 12, rtl_Exception_Class, _rtl_Exception_Destroy
