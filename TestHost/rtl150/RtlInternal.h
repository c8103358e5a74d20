// Declarations shared by the stand-in host run-time's source files. Exported
// entry points carry exact symbol names (QM_HOST_SYMBOL) that the .def
// fragment and the class records (HostClasses.cpp) refer to.
#pragma once

#include <windows.h>

#include "Common/HostLayout.h"

extern "C" {

// Memory (HostMemory.cpp)
void* QM_HOST_REGISTER RtlGetMem(int size) QM_HOST_SYMBOL(rtl_GetMem);
int QM_HOST_REGISTER RtlFreeMem(void* p) QM_HOST_SYMBOL(rtl_FreeMem);

// Strings (HostStrings.cpp)
wchar_t* QM_HOST_REGISTER RtlNewUnicodeString(int length) QM_HOST_SYMBOL(rtl_NewUnicodeString);
wchar_t** QM_HOST_REGISTER RtlUStrClr(wchar_t** var) QM_HOST_SYMBOL(rtl_UStrClr);
wchar_t** QM_HOST_REGISTER RtlUStrAsg(wchar_t** dest, const wchar_t* source) QM_HOST_SYMBOL(rtl_UStrAsg);
void QM_HOST_REGISTER RtlUStrAddRef(const wchar_t* s) QM_HOST_SYMBOL(rtl_UStrAddRef);

// Classes (HostClasses.cpp) and their methods (HostObjects.cpp)
extern char rtl_TObject_Class[] QM_HOST_SYMBOL(rtl_TObject_Class);
extern char rtl_Exception_Class[] QM_HOST_SYMBOL(rtl_Exception_Class);
extern char rtl_EInvalidPointer_Class[] QM_HOST_SYMBOL(rtl_EInvalidPointer_Class);

int QM_HOST_REGISTER RtlObjectEquals(void* self, void* other) QM_HOST_SYMBOL(rtl_TObject_Equals);
int QM_HOST_REGISTER RtlObjectGetHashCode(void* self) QM_HOST_SYMBOL(rtl_TObject_GetHashCode);
void QM_HOST_REGISTER RtlObjectToString(void* self, wchar_t** result) QM_HOST_SYMBOL(rtl_TObject_ToString);
int QM_HOST_REGISTER RtlObjectSafeCallException(void* self, void* exceptObject, void* exceptAddr)
    QM_HOST_SYMBOL(rtl_TObject_SafeCallException);
void QM_HOST_REGISTER RtlObjectAfterConstruction(void* self) QM_HOST_SYMBOL(rtl_TObject_AfterConstruction);
void QM_HOST_REGISTER RtlObjectBeforeDestruction(void* self) QM_HOST_SYMBOL(rtl_TObject_BeforeDestruction);
void QM_HOST_REGISTER RtlObjectDispatch(void* self, void* message) QM_HOST_SYMBOL(rtl_TObject_Dispatch);
void QM_HOST_REGISTER RtlObjectDefaultHandler(void* self, void* message) QM_HOST_SYMBOL(rtl_TObject_DefaultHandler);
void* QM_HOST_REGISTER RtlObjectNewInstance(void* classRef) QM_HOST_SYMBOL(rtl_TObject_NewInstance);
void QM_HOST_REGISTER RtlObjectFreeInstance(void* self) QM_HOST_SYMBOL(rtl_TObject_FreeInstance);
void QM_HOST_REGISTER RtlObjectDestroy(void* self, int outermost) QM_HOST_SYMBOL(rtl_TObject_Destroy);
void QM_HOST_REGISTER RtlExceptionDestroy(void* self, int outermost) QM_HOST_SYMBOL(rtl_Exception_Destroy);

void* QM_HOST_REGISTER RtlExceptionCreate(void* classOrSelf, int alloc, const wchar_t* message)
    QM_HOST_SYMBOL(rtl_Exception_Create);
void QM_HOST_REGISTER RtlObjectFree(void* self) QM_HOST_SYMBOL(rtl_TObject_Free);

// Modules (SystemModules.cpp)
HINSTANCE QM_HOST_REGISTER RtlFindResourceHInstance(HINSTANCE instance) QM_HOST_SYMBOL(rtl_FindResourceHInstance);

// Exceptions (HostExceptions.cpp)
void QM_HOST_REGISTER RtlRaiseExcept(void* object) QM_HOST_SYMBOL(rtl_RaiseExcept);

} // extern "C"

// Builds TObject, Exception and EInvalidPointer (once): a file of the
// run-time that builds classes deriving from them calls it first, since the
// order of the files' start-up code is not fixed.
bool RtlBaseClassesBuilt();
// Builds TStrings (IniFiles.cpp), TStringList's parent, once.
bool RtlStringsClassBuilt();
extern "C" char rtl_TStrings_Class[] QM_HOST_SYMBOL(rtl_TStrings_Class);

// Raises a host exception of the given class with a message (internal use).
[[noreturn]] void RtlRaiseNew(void* classRef, const wchar_t* message);
