// Class records of the run-time's streams, component writer, text encodings
// and the exceptions of its conversions, built with the stand-in kit's host
// class builder after the run-time's base classes. Virtual method slots after
// the class reference are the test host's choice (TestHost/README.md):
//   TStream: 0 GetSize, 1 SetSize(Longint), 2 SetSize(Int64), 3 Read,
//            4 Write, 5 Seek(Longint, Word), 6 Seek(Int64, TSeekOrigin);
//   TMemoryStream adds 7 Realloc; TFileStream overrides 1, 3, 4, 5; TFiler: 0 SetRoot, 1 FlushBuffer.
#include "RtlServices.h"

#include "Common/HostClass.h"

using namespace QmHost;

QM_HOST_CLASS(rtl_TStream_Class, 7);
QM_HOST_CLASS(rtl_TCustomMemoryStream_Class, 7);
QM_HOST_CLASS(rtl_TMemoryStream_Class, 8);
QM_HOST_CLASS(rtl_TFileStream_Class, 7);
QM_HOST_CLASS(rtl_TFiler_Class, 2);
QM_HOST_CLASS(rtl_TWriter_Class, 2);
QM_HOST_CLASS(rtl_TEncoding_Class, 0);
QM_HOST_CLASS(rtl_TMBCSEncoding_Class, 0);
QM_HOST_CLASS(rtl_TUTF8Encoding_Class, 0);
QM_HOST_CLASS(rtl_TUnicodeEncoding_Class, 0);
QM_HOST_CLASS(rtl_TBigEndianUnicodeEncoding_Class, 0);
QM_HOST_CLASS(rtl_EAbstractError_Class, 0);
QM_HOST_CLASS(rtl_EOutOfMemory_Class, 0);
QM_HOST_CLASS(rtl_EConvertError_Class, 0);
QM_HOST_CLASS(rtl_EAssertionFailed_Class, 0);
QM_HOST_CLASS(rtl_EParserError_Class, 0);
QM_HOST_CLASS(rtl_EArgumentOutOfRangeException_Class, 0);
QM_HOST_CLASS(rtl_EStreamError_Class, 0);
QM_HOST_CLASS(rtl_EReadError_Class, 0);
QM_HOST_CLASS(rtl_EWriteError_Class, 0);

// The methods, by their exact symbols (defined in RtlStreams.cpp, RtlWriter.cpp, RtlErrors.cpp).
#define QM_METHOD(symbol) extern "C" const char symbol[] QM_HOST_SYMBOL(symbol);
QM_METHOD(rtl_AbstractError)
QM_METHOD(rtl_TStream_GetSize)
QM_METHOD(rtl_TStream_SetSize32)
QM_METHOD(rtl_TStream_SetSize64)
QM_METHOD(rtl_TStream_Seek32)
QM_METHOD(rtl_TStream_Seek64)
QM_METHOD(rtl_TCustomMemoryStream_Read)
QM_METHOD(rtl_TCustomMemoryStream_Seek32)
QM_METHOD(rtl_TMemoryStream_SetSize32)
QM_METHOD(rtl_TMemoryStream_SetSize64)
QM_METHOD(rtl_TMemoryStream_Write)
QM_METHOD(rtl_TMemoryStream_Realloc)
QM_METHOD(rtl_TMemoryStream_Destroy)
QM_METHOD(rtl_TFileStream_Read)
QM_METHOD(rtl_TFileStream_Write)
QM_METHOD(rtl_TFileStream_Seek32)
QM_METHOD(rtl_TFileStream_SetSize32)
QM_METHOD(rtl_TFileStream_Destroy)
QM_METHOD(rtl_TFiler_SetRoot)
QM_METHOD(rtl_TFiler_Destroy)
QM_METHOD(rtl_TWriter_FlushBuffer)
QM_METHOD(rtl_TWriter_Destroy)
#undef QM_METHOD

// Variables holding the class references, as descendants name their parents.
extern "C" {
extern void* rtl_TObject_ClassVar QM_HOST_SYMBOL(rtl_TObject_ClassVar);
extern void* rtl_Exception_ClassVar QM_HOST_SYMBOL(rtl_Exception_ClassVar);
void* rtl_TStream_ClassVar = rtl_TStream_Class;
void* rtl_TCustomMemoryStream_ClassVar = rtl_TCustomMemoryStream_Class;
void* rtl_TFiler_ClassVar = rtl_TFiler_Class;
void* rtl_TEncoding_ClassVar = rtl_TEncoding_Class;
void* rtl_TMBCSEncoding_ClassVar = rtl_TMBCSEncoding_Class;
void* rtl_TUnicodeEncoding_ClassVar = rtl_TUnicodeEncoding_Class;
void* rtl_EStreamError_ClassVar = rtl_EStreamError_Class;
}

namespace {

const bool kConversionClassesBuilt = [] {
  RtlBaseClassesBuilt();
  HostClassBuilder(rtl_TStream_Class_Storage, "TStream")
      .Parent(&rtl_TObject_ClassVar)
      .Virtual(0, rtl_TStream_GetSize)
      .Virtual(1, rtl_TStream_SetSize32)
      .Virtual(2, rtl_TStream_SetSize64)
      .Virtual(3, rtl_AbstractError)
      .Virtual(4, rtl_AbstractError)
      .Virtual(5, rtl_TStream_Seek32)
      .Virtual(6, rtl_TStream_Seek64)
      .Build();
  HostClassBuilder(rtl_TCustomMemoryStream_Class_Storage, "TCustomMemoryStream")
      .Parent(&rtl_TStream_ClassVar)
      .InstanceSize(16)
      .Virtual(3, rtl_TCustomMemoryStream_Read)
      .Virtual(5, rtl_TCustomMemoryStream_Seek32)
      .Build();
  HostClassBuilder(rtl_TMemoryStream_Class_Storage, "TMemoryStream")
      .Parent(&rtl_TCustomMemoryStream_ClassVar)
      .InstanceSize(20)
      .Root(kVmtDestroy, rtl_TMemoryStream_Destroy)
      .Virtual(1, rtl_TMemoryStream_SetSize32)
      .Virtual(2, rtl_TMemoryStream_SetSize64)
      .Virtual(4, rtl_TMemoryStream_Write)
      .Virtual(7, rtl_TMemoryStream_Realloc)
      .Build();
  // A file stream: the file handle at +4 (RtlFileStream.cpp).
  HostClassBuilder(rtl_TFileStream_Class_Storage, "TFileStream")
      .Parent(&rtl_TStream_ClassVar)
      .InstanceSize(8)
      .Root(kVmtDestroy, rtl_TFileStream_Destroy)
      .Virtual(1, rtl_TFileStream_SetSize32)
      .Virtual(3, rtl_TFileStream_Read)
      .Virtual(4, rtl_TFileStream_Write)
      .Virtual(5, rtl_TFileStream_Seek32)
      .Build();
  HostClassBuilder(rtl_TFiler_Class_Storage, "TFiler")
      .Parent(&rtl_TObject_ClassVar)
      .InstanceSize(40)
      .Root(kVmtDestroy, rtl_TFiler_Destroy)
      .Virtual(0, rtl_TFiler_SetRoot)
      .Virtual(1, rtl_AbstractError)
      .Build();
  HostClassBuilder(rtl_TWriter_Class_Storage, "TWriter")
      .Parent(&rtl_TFiler_ClassVar)
      .InstanceSize(48)
      .Root(kVmtDestroy, rtl_TWriter_Destroy)
      .Virtual(1, rtl_TWriter_FlushBuffer)
      .Build();
  // Encodings: the code page at +4.
  HostClassBuilder(rtl_TEncoding_Class_Storage, "TEncoding").Parent(&rtl_TObject_ClassVar).InstanceSize(8).Build();
  HostClassBuilder(rtl_TMBCSEncoding_Class_Storage, "TMBCSEncoding").Parent(&rtl_TEncoding_ClassVar).Build();
  HostClassBuilder(rtl_TUTF8Encoding_Class_Storage, "TUTF8Encoding").Parent(&rtl_TMBCSEncoding_ClassVar).Build();
  HostClassBuilder(rtl_TUnicodeEncoding_Class_Storage, "TUnicodeEncoding").Parent(&rtl_TEncoding_ClassVar).Build();
  HostClassBuilder(rtl_TBigEndianUnicodeEncoding_Class_Storage, "TBigEndianUnicodeEncoding")
      .Parent(&rtl_TUnicodeEncoding_ClassVar)
      .Build();
  // Exceptions, in Exception's layout.
  HostClassBuilder(rtl_EAbstractError_Class_Storage, "EAbstractError").Parent(&rtl_Exception_ClassVar).Build();
  HostClassBuilder(rtl_EOutOfMemory_Class_Storage, "EOutOfMemory").Parent(&rtl_Exception_ClassVar).Build();
  HostClassBuilder(rtl_EConvertError_Class_Storage, "EConvertError").Parent(&rtl_Exception_ClassVar).Build();
  HostClassBuilder(rtl_EAssertionFailed_Class_Storage, "EAssertionFailed").Parent(&rtl_Exception_ClassVar).Build();
  HostClassBuilder(rtl_EParserError_Class_Storage, "EParserError").Parent(&rtl_Exception_ClassVar).Build();
  HostClassBuilder(rtl_EArgumentOutOfRangeException_Class_Storage, "EArgumentOutOfRangeException")
      .Parent(&rtl_Exception_ClassVar)
      .Build();
  HostClassBuilder(rtl_EStreamError_Class_Storage, "EStreamError").Parent(&rtl_Exception_ClassVar).Build();
  HostClassBuilder(rtl_EReadError_Class_Storage, "EReadError").Parent(&rtl_EStreamError_ClassVar).Build();
  HostClassBuilder(rtl_EWriteError_Class_Storage, "EWriteError").Parent(&rtl_EStreamError_ClassVar).Build();
  return true;
}();

}  // namespace
