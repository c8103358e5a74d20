// TStream, TCustomMemoryStream and TMemoryStream in the host's class layout
// (class records in ConversionClasses.cpp). Every call goes through the object's
// class, so streams derived elsewhere in the same layout work everywhere a
// stream is taken.
//
// Register convention as the host has it: an Int64 argument always travels
// on the stack and takes no register, so the Int64 overloads receive EAX and
// EDX and then the 8 bytes on the stack; here they are declared with an
// unused ECX parameter in front of the value, which makes GCC's regparm
// convention read them from the same place.
#include <windows.h>

#include <cstring>

#include "RtlServices.h"

using namespace QmRtl;
namespace Layout = QmRtl::MemoryStreamLayout;

namespace {

// Slots of the stream's own virtual methods.
enum : int { SlotGetSize = 0, SlotSetSize32 = 4, SlotSetSize64 = 8, SlotRead = 12, SlotWrite = 16, SlotSeek32 = 20,
             SlotSeek64 = 24, SlotRealloc = 28 };

template <class T>
T& Field(void* self, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(self) + offset);
}

template <class F>
F Virtual(void* self, int slot) {
  return reinterpret_cast<F>(QmHost::VmtSlot(*static_cast<void**>(self), slot));
}

using TReadFn = int32_t(QM_HOST_REGISTER*)(void* self, void* buffer, int32_t count);
using TWriteFn = int32_t(QM_HOST_REGISTER*)(void* self, const void* buffer, int32_t count);
using TSeek32Fn = int32_t(QM_HOST_REGISTER*)(void* self, int32_t offset, int origin);
using TSeek64Fn = int64_t(QM_HOST_REGISTER*)(void* self, int origin, int unusedEcx, int64_t offset);
using TSetSize32Fn = void(QM_HOST_REGISTER*)(void* self, int32_t size);
using TReallocFn = void*(QM_HOST_REGISTER*)(void* self, int32_t* capacity);

constexpr int32_t MemoryDelta = 0x2000;  // capacities grow in 8 KB steps

void SetCapacity(void* self, int32_t capacity) {
  Field<void*>(self, Layout::Memory) = Virtual<TReallocFn>(self, SlotRealloc)(self, &capacity);
  Field<int32_t>(self, Layout::Capacity) = capacity;
}

} // namespace

int32_t QmRtl::StreamRead(void* stream, void* buffer, int32_t count) {
  return Virtual<TReadFn>(stream, SlotRead)(stream, buffer, count);
}

int32_t QmRtl::StreamWrite(void* stream, const void* buffer, int32_t count) {
  return Virtual<TWriteFn>(stream, SlotWrite)(stream, buffer, count);
}

int64_t QmRtl::StreamSeek(void* stream, int64_t offset, int origin) {
  return Virtual<TSeek64Fn>(stream, SlotSeek64)(stream, origin, 0, offset);
}

extern "C" {

// ---- TStream --------------------------------------------------------------------

// function GetSize: Int64 (through Seek)
int64_t QM_HOST_REGISTER RtlStreamGetSize(void* self) QM_HOST_SYMBOL(rtl_TStream_GetSize);
int64_t QM_HOST_REGISTER RtlStreamGetSize(void* self) {
  int64_t position = StreamSeek(self, 0, 1);
  int64_t size = StreamSeek(self, 0, 2);
  StreamSeek(self, position, 0);
  return size;
}

// procedure SetSize(NewSize: Longint) -> the Int64 overload; and back, for
// streams that override only the 32-bit one.
void QM_HOST_REGISTER RtlStreamSetSize64(void* self, int unusedEdx, int unusedEcx, int64_t size)
    QM_HOST_SYMBOL(rtl_TStream_SetSize64);
void QM_HOST_REGISTER RtlStreamSetSize32(void* self, int32_t size) QM_HOST_SYMBOL(rtl_TStream_SetSize32);
void QM_HOST_REGISTER RtlStreamSetSize32(void* self, int32_t size) {
  using TSetSize64Fn = void(QM_HOST_REGISTER*)(void*, int, int, int64_t);
  Virtual<TSetSize64Fn>(self, SlotSetSize64)(self, 0, 0, size);
}
void QM_HOST_REGISTER RtlStreamSetSize64(void* self, int, int, int64_t size) {
  Virtual<TSetSize32Fn>(self, SlotSetSize32)(self, static_cast<int32_t>(size));
}

// Seek(Offset: Longint; Origin: Word): Longint -> the Int64 overload, and the
// Int64 overload -> the 32-bit one (a stream overrides one of them).
int32_t QM_HOST_REGISTER RtlStreamSeek32(void* self, int32_t offset, int origin) QM_HOST_SYMBOL(rtl_TStream_Seek32);
int32_t QM_HOST_REGISTER RtlStreamSeek32(void* self, int32_t offset, int origin) {
  return static_cast<int32_t>(StreamSeek(self, offset, origin & 0xFFFF));
}
int64_t QM_HOST_REGISTER RtlStreamSeek64(void* self, int origin, int, int64_t offset) QM_HOST_SYMBOL(rtl_TStream_Seek64);
int64_t QM_HOST_REGISTER RtlStreamSeek64(void* self, int origin, int, int64_t offset) {
  return Virtual<TSeek32Fn>(self, SlotSeek32)(self, static_cast<int32_t>(offset), origin & 0xFF);
}

// function GetPosition: Int64; procedure SetPosition(const Pos: Int64)
int64_t QM_HOST_REGISTER RtlStreamGetPosition(void* self) QM_HOST_SYMBOL(rtl_TStream_GetPosition);
int64_t QM_HOST_REGISTER RtlStreamGetPosition(void* self) { return StreamSeek(self, 0, 1); }
void QM_HOST_REGISTER RtlStreamSetPosition(void* self, int, int, int64_t position) QM_HOST_SYMBOL(rtl_TStream_SetPosition);
void QM_HOST_REGISTER RtlStreamSetPosition(void* self, int, int, int64_t position) { StreamSeek(self, position, 0); }

// ReadBuffer / WriteBuffer: the whole count or EReadError / EWriteError.
int32_t QM_HOST_REGISTER RtlStreamReadBuffer(void* self, void* buffer, int32_t count) {
  if (count != 0 && StreamRead(self, buffer, count) != count) RaiseResFmt(rtl_EReadError_Class, SReadError);
  return count;
}
void QM_HOST_REGISTER RtlStreamWriteBuffer(void* self, const void* buffer, int32_t count) {
  if (count != 0 && StreamWrite(self, buffer, count) != count) RaiseResFmt(rtl_EWriteError_Class, SWriteError);
}

// ---- TCustomMemoryStream -------------------------------------------------------

int32_t QM_HOST_REGISTER RtlMemoryStreamRead(void* self, void* buffer, int32_t count)
    QM_HOST_SYMBOL(rtl_TCustomMemoryStream_Read);
int32_t QM_HOST_REGISTER RtlMemoryStreamRead(void* self, void* buffer, int32_t count) {
  int32_t position = Field<int32_t>(self, Layout::Position);
  int32_t size = Field<int32_t>(self, Layout::Size);
  if (position < 0 || count <= 0) return 0;
  int32_t available = size - position;
  if (available <= 0) return 0;
  if (count > available) count = available;
  std::memcpy(buffer, Field<char*>(self, Layout::Memory) + position, static_cast<size_t>(count));
  Field<int32_t>(self, Layout::Position) = position + count;
  return count;
}

int32_t QM_HOST_REGISTER RtlMemoryStreamSeek32(void* self, int32_t offset, int origin)
    QM_HOST_SYMBOL(rtl_TCustomMemoryStream_Seek32);
int32_t QM_HOST_REGISTER RtlMemoryStreamSeek32(void* self, int32_t offset, int origin) {
  int32_t& position = Field<int32_t>(self, Layout::Position);
  switch (origin & 0xFFFF) {
    case 0: position = offset; break;
    case 1: position += offset; break;
    case 2: position = Field<int32_t>(self, Layout::Size) + offset; break;
  }
  return position;
}

// ---- TMemoryStream --------------------------------------------------------------

// Realloc(var NewCapacity): rounds up to the growth step and resizes the block.
void* QM_HOST_REGISTER RtlMemoryStreamRealloc(void* self, int32_t* capacity) QM_HOST_SYMBOL(rtl_TMemoryStream_Realloc);
void* QM_HOST_REGISTER RtlMemoryStreamRealloc(void* self, int32_t* capacity) {
  if (*capacity > 0 && *capacity != Field<int32_t>(self, Layout::Size))
    *capacity = (*capacity + (MemoryDelta - 1)) & ~(MemoryDelta - 1);
  void* memory = Field<void*>(self, Layout::Memory);
  if (*capacity != Field<int32_t>(self, Layout::Capacity)) RtlReallocMem(&memory, *capacity);
  return memory;
}

void QM_HOST_REGISTER RtlMemoryStreamSetSize32(void* self, int32_t size) QM_HOST_SYMBOL(rtl_TMemoryStream_SetSize32);
void QM_HOST_REGISTER RtlMemoryStreamSetSize32(void* self, int32_t size) {
  int32_t oldPosition = Field<int32_t>(self, Layout::Position);
  SetCapacity(self, size);
  Field<int32_t>(self, Layout::Size) = size;
  if (oldPosition > size) RtlMemoryStreamSeek32(self, 0, 2);
}
void QM_HOST_REGISTER RtlMemoryStreamSetSize64(void* self, int, int, int64_t size) QM_HOST_SYMBOL(rtl_TMemoryStream_SetSize64);
void QM_HOST_REGISTER RtlMemoryStreamSetSize64(void* self, int, int, int64_t size) {
  RtlMemoryStreamSetSize32(self, static_cast<int32_t>(size));
}

int32_t QM_HOST_REGISTER RtlMemoryStreamWrite(void* self, const void* buffer, int32_t count)
    QM_HOST_SYMBOL(rtl_TMemoryStream_Write);
int32_t QM_HOST_REGISTER RtlMemoryStreamWrite(void* self, const void* buffer, int32_t count) {
  int32_t position = Field<int32_t>(self, Layout::Position);
  if (position < 0 || count <= 0) return 0;
  int32_t end = position + count;
  if (end > Field<int32_t>(self, Layout::Size)) {
    if (end > Field<int32_t>(self, Layout::Capacity)) SetCapacity(self, end);
    Field<int32_t>(self, Layout::Size) = end;
  }
  std::memcpy(Field<char*>(self, Layout::Memory) + position, buffer, static_cast<size_t>(count));
  Field<int32_t>(self, Layout::Position) = end;
  return count;
}

// procedure Clear: no memory, size and position 0.
void QM_HOST_REGISTER RtlMemoryStreamClear(void* self) QM_HOST_SYMBOL(rtl_TMemoryStream_Clear);
void QM_HOST_REGISTER RtlMemoryStreamClear(void* self) {
  SetCapacity(self, 0);
  Field<int32_t>(self, Layout::Size) = 0;
  Field<int32_t>(self, Layout::Position) = 0;
}

void QM_HOST_REGISTER RtlMemoryStreamDestroy(void* self, int outermost) QM_HOST_SYMBOL(rtl_TMemoryStream_Destroy);
void QM_HOST_REGISTER RtlMemoryStreamDestroy(void* self, int outermost) {
  using THookFn = void(QM_HOST_REGISTER*)(void*);
  if (outermost & 0xFF) reinterpret_cast<THookFn>(QmHost::VmtSlot(*static_cast<void**>(self), QmHost::kVmtBeforeDestruction))(self);
  RtlMemoryStreamClear(self);
  if (outermost & 0xFF) reinterpret_cast<THookFn>(QmHost::VmtSlot(*static_cast<void**>(self), QmHost::kVmtFreeInstance))(self);
}

} // extern "C"
