// TFileStream in the host's class layout: a TStream over a file handle
// (+4), every Write one WriteFile of the whole count, counted, so a test or a
// benchmark sees how many writes reached the file. A test host setting
// stands for a full disk: with room for N more bytes, a Write that does not
// fit writes what fits and answers that count (a short write).
#include <windows.h>

#include "Common/HostClass.h"
#include "RtlInternal.h"
#include "RtlServices.h"

using namespace QmHost;

extern "C" char rtl_TFileStream_Class[] QM_HOST_SYMBOL(rtl_TFileStream_Class);  // ConversionClasses.cpp

namespace {

constexpr int HandleOffset = 4;

volatile LONG g_writes = 0;
volatile LONG g_room = -1;  // bytes that still fit; -1: no limit

HANDLE& FileHandle(void* self) { return *reinterpret_cast<HANDLE*>(static_cast<char*>(self) + HandleOffset); }

}  // namespace

extern "C" {

int32_t QM_HOST_REGISTER RtlFileStreamRead(void* self, void* buffer, int32_t count) QM_HOST_SYMBOL(rtl_TFileStream_Read);
int32_t QM_HOST_REGISTER RtlFileStreamRead(void* self, void* buffer, int32_t count) {
  DWORD read = 0;
  if (count <= 0 || !ReadFile(FileHandle(self), buffer, DWORD(count), &read, nullptr)) return 0;
  return int32_t(read);
}

int32_t QM_HOST_REGISTER RtlFileStreamWrite(void* self, const void* buffer, int32_t count) QM_HOST_SYMBOL(rtl_TFileStream_Write);
int32_t QM_HOST_REGISTER RtlFileStreamWrite(void* self, const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  DWORD wanted = DWORD(count);
  const LONG room = g_room;
  if (room >= 0 && LONG(wanted) > room) wanted = DWORD(room);
  InterlockedIncrement(&g_writes);
  DWORD written = 0;
  if (!WriteFile(FileHandle(self), buffer, wanted, &written, nullptr)) return 0;
  if (room >= 0) InterlockedExchangeAdd(&g_room, -LONG(written));
  return int32_t(written);
}

int32_t QM_HOST_REGISTER RtlFileStreamSeek32(void* self, int32_t offset, int origin) QM_HOST_SYMBOL(rtl_TFileStream_Seek32);
int32_t QM_HOST_REGISTER RtlFileStreamSeek32(void* self, int32_t offset, int origin) {
  return int32_t(SetFilePointer(FileHandle(self), offset, nullptr, DWORD(origin & 0xFFFF)));
}

void QM_HOST_REGISTER RtlFileStreamSetSize32(void* self, int32_t size) QM_HOST_SYMBOL(rtl_TFileStream_SetSize32);
void QM_HOST_REGISTER RtlFileStreamSetSize32(void* self, int32_t size) {
  SetFilePointer(FileHandle(self), size, nullptr, FILE_BEGIN);
  SetEndOfFile(FileHandle(self));
}

void QM_HOST_REGISTER RtlFileStreamDestroy(void* self, int outermost) QM_HOST_SYMBOL(rtl_TFileStream_Destroy);
void QM_HOST_REGISTER RtlFileStreamDestroy(void* self, int outermost) {
  using THookFn = void(QM_HOST_REGISTER*)(void*);
  if (outermost & 0xFF) reinterpret_cast<THookFn>(VmtSlot(*static_cast<void**>(self), kVmtBeforeDestruction))(self);
  if (FileHandle(self) != INVALID_HANDLE_VALUE && FileHandle(self)) CloseHandle(FileHandle(self));
  FileHandle(self) = nullptr;
  if (outermost & 0xFF) reinterpret_cast<THookFn>(VmtSlot(*static_cast<void**>(self), kVmtFreeInstance))(self);
}

// Test host driver (stdcall): a file stream over a new file (nil when it
// cannot be created; freed with TObject.Free), the writes so far, the room
// left on the "disk" (-1: no limit).
void* __stdcall RtlFileStreamCreate(const wchar_t* path) {
  HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  void* stream = RtlObjectNewInstance(rtl_TFileStream_Class);
  FileHandle(stream) = file;
  return stream;
}
int __stdcall RtlFileStreamWrites() { return int(g_writes); }
void __stdcall RtlFileStreamSetRoom(int bytes) { InterlockedExchange(&g_room, bytes); }

}  // extern "C"
