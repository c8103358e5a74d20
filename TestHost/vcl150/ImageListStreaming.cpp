// ImgList: TCustomImageList's WriteData and ReadData, the list's data as a
// form file stores it (ImageListStreamDriver.h). Reading a list back gives
// it one more slot than it stored and a larger growth step, so a list read
// and written again stores other values (the fault); the variant
// imagelistinit-stablestreams keeps them.
#include <cstring>

#include "Common/StandInFinally.h"
#include "ImageList.h"
#include "ImageListStreamDriver.h"
#include "VclInternal.h"

using namespace QmHost;
using namespace Vcl;

// The bodies of WriteData and ReadData, entered through their host-style
// starts (ImageListStreamingEntries.S).
extern "C" {
void QM_HOST_REGISTER vcl_ImageListWriteDataBody(void* self, void* stream) QM_HOST_SYMBOL(vcl_ImageListWriteDataBody);
void QM_HOST_REGISTER vcl_ImageListReadDataBody(void* self, void* stream) QM_HOST_SYMBOL(vcl_ImageListReadDataBody);
// 1 in the variant whose lists keep the stored capacity and step (ImgListCode.S).
extern int32_t vcl_ImageListStreamsStably QM_HOST_SYMBOL(vcl_ImageListStreamsStably);
}

namespace {

namespace D = ImageListStreamDriver;

static_assert(D::AllocByField == ImageListLayout::AllocBy && D::GrowField == ImageListLayout::Grow,
              "the driver's fields are the list's");

constexpr int Columns = 4;
constexpr uint16_t Magic = 0x4C49, Version = 0x0101;
constexpr uint32_t Opaque = 0xFF000000u;

LONG g_failingWrites = 0;

int32_t& Field32(void* list, int offset) { return Field<int32_t>(list, offset); }

void Put16(unsigned char* at, uint16_t value) { std::memcpy(at, &value, 2); }
void Put32(unsigned char* at, uint32_t value) { std::memcpy(at, &value, 4); }
uint16_t Get16(const unsigned char* at) {
  uint16_t value;
  std::memcpy(&value, at, 2);
  return value;
}
uint32_t Get32(const unsigned char* at) {
  uint32_t value;
  std::memcpy(&value, at, 4);
  return value;
}

using BufferFn = void(QM_HOST_REGISTER*)(void* stream, void* buffer, int32_t count);
BufferFn RtlBuffer(const char* name) {
  return reinterpret_cast<BufferFn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"rtl150.bpl"), name)));
}
void* RtlClass(const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"rtl150.bpl"), name));
}

int32_t Rows(int32_t count) { return count > 0 ? (count + Columns - 1) / Columns : 1; }

// Pixel (x, y) of the bitmap that holds image `index` at its tile, bottom-up.
size_t TileOffset(int32_t width, int32_t height, int32_t rows, int32_t index, int32_t x, int32_t y) {
  const int32_t row = index / Columns, column = index % Columns;
  const int32_t line = rows * height - 1 - (row * height + y);
  return size_t(line) * size_t(Columns * width) + size_t(column * width + x);
}

bool TakeFailingWrite() {
  LONG armed = g_failingWrites;
  while (armed > 0) {
    LONG seen = InterlockedCompareExchange(&g_failingWrites, armed - 1, armed);
    if (seen == armed) return true;
    armed = seen;
  }
  return false;
}

[[noreturn]] void ReadFailure() {
  RaiseError(RtlClass("@Classes@EReadError@"), L"Failed to read ImageList data from stream");
}

struct TReadState {
  void* Stream;
  unsigned char* Block;
  bool Read;
};

} // namespace

extern "C" {

void QM_HOST_REGISTER vcl_ImageListWriteDataBody(void* self, void* stream) {
  if (TakeFailingWrite())
    RaiseError(RtlClass("@Classes@EWriteError@"), L"Failed to write ImageList data to stream");
  const int32_t width = Field32(self, ImageListLayout::Width), height = Field32(self, ImageListLayout::Height);
  const int32_t count = Field32(self, ImageListLayout::Count), rows = Rows(count);
  const int32_t pixels = Columns * width * rows * height;
  const int32_t size = D::HeaderSize + 4 * pixels;
  auto* block = static_cast<unsigned char*>(Rtl().getMem(size));
  std::memset(block, 0, size_t(size));
  Put16(block + 0, Magic);
  Put16(block + 2, Version);
  Put16(block + 4, uint16_t(count));
  Put16(block + 6, uint16_t(Field32(self, ImageListLayout::Capacity)));
  Put16(block + 8, uint16_t(Field32(self, D::GrowField)));
  Put16(block + 10, uint16_t(width));
  Put16(block + 12, uint16_t(height));
  Put32(block + 14, uint32_t(Field32(self, ImageListLayout::BkColor)));
  Put16(block + 18, uint16_t(Field32(self, ImageListLayout::Masked) ? 1 : 0));
  for (int i = 0; i < 4; ++i) Put16(block + 20 + 2 * i, 0xFFFF);
  unsigned char* file = block + 28;
  Put16(file + 0, 0x4D42);
  Put32(file + 2, uint32_t(14 + 40 + 4 * pixels));
  Put32(file + 10, 54);
  BITMAPINFOHEADER info = {};
  info.biSize = sizeof info;
  info.biWidth = Columns * width;
  info.biHeight = rows * height;
  info.biPlanes = 1;
  info.biBitCount = 32;
  info.biCompression = BI_RGB;
  info.biSizeImage = DWORD(4 * pixels);
  std::memcpy(file + 14, &info, sizeof info);
  auto* target = reinterpret_cast<uint32_t*>(block + D::HeaderSize);
  const uint32_t* images = Field<uint32_t*>(self, ImageListLayout::Images);
  for (int32_t index = 0; index < count; ++index)
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x)
        target[TileOffset(width, height, rows, index, x, y)] =
            images[size_t(index) * size_t(width * height) + size_t(y * width + x)];
  // The block is released whether the write succeeds or raises.
  struct TWrite {
    void* Stream;
    unsigned char* Block;
    int32_t Size;
  } write{stream, block, size};
  StandInTryFinally([&] { RtlBuffer("@Classes@TStream@WriteBuffer$qqrpxvi")(write.Stream, write.Block, write.Size); },
                    [&] { Rtl().freeMem(write.Block); });
}

void QM_HOST_REGISTER vcl_ImageListReadDataBody(void* self, void* stream) {
  unsigned char header[D::HeaderSize];
  RtlBuffer("@Classes@TStream@ReadBuffer$qqrpvi")(stream, header, D::HeaderSize);
  BITMAPINFOHEADER info;
  std::memcpy(&info, header + 42, sizeof info);
  const int32_t width = Get16(header + 10), height = Get16(header + 12), count = Get16(header + 4);
  const int32_t rows = Rows(count);
  if (Get16(header) != Magic || Get16(header + 2) != Version || Get16(header + 28) != 0x4D42 ||
      info.biSize != sizeof info || info.biBitCount != 32 || info.biWidth != Columns * width ||
      info.biHeight != rows * height)
    ReadFailure();
  const int32_t pixels = Columns * width * rows * height;
  // The pixels' block is released when their read raises.
  TReadState state{stream, static_cast<unsigned char*>(Rtl().getMem(4 * pixels + 4)), false};
  StandInTryFinally(
      [&] {
        RtlBuffer("@Classes@TStream@ReadBuffer$qqrpvi")(state.Stream, state.Block, 4 * pixels);
        state.Read = true;
      },
      [&] {
        if (!state.Read) Rtl().freeMem(state.Block);
      });
  // Read whole: the list takes it.
  vcl_ImageListFreeImages(self);
  if (width != Field32(self, ImageListLayout::Width) || height != Field32(self, ImageListLayout::Height)) {
    Field32(self, ImageListLayout::Width) = width;
    Field32(self, ImageListLayout::Height) = height;
    vcl_ImageListReallocBitmaps(self);
  }
  const int32_t storedCapacity = Get16(header + 6), storedGrow = Get16(header + 8);
  int32_t capacity = vcl_ImageListStreamsStably ? storedCapacity : storedCapacity + 1;
  if (capacity < count) capacity = count;
  Field32(self, D::GrowField) = vcl_ImageListStreamsStably ? storedGrow : (storedGrow + 4) & ~3;
  auto* images = static_cast<uint32_t*>(Rtl().getMem(capacity * width * height * 4 + 4));
  const auto* source = reinterpret_cast<const uint32_t*>(state.Block);
  for (int32_t index = 0; index < count; ++index)
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x)
        images[size_t(index) * size_t(width * height) + size_t(y * width + x)] =
            source[TileOffset(width, height, rows, index, x, y)];
  Rtl().freeMem(state.Block);
  Field<uint32_t*>(self, ImageListLayout::Images) = images;
  Field32(self, ImageListLayout::Count) = count;
  Field32(self, ImageListLayout::Capacity) = capacity;
  Field32(self, ImageListLayout::BkColor) = int32_t(Get32(header + 14));
  Field32(self, ImageListLayout::Masked) = Get16(header + 18) & 1;
}

void __stdcall VclImageListSetAllocBy(void* list, int allocBy) { Field32(list, D::AllocByField) = allocBy; }

void __stdcall VclImageListStreamState(void* list, int* count, int* capacity, int* grow, unsigned* pixels) {
  const int32_t n = Field32(list, ImageListLayout::Count);
  const int32_t size = Field32(list, ImageListLayout::Width) * Field32(list, ImageListLayout::Height);
  if (count) *count = n;
  if (capacity) *capacity = Field32(list, ImageListLayout::Capacity);
  if (grow) *grow = Field32(list, D::GrowField);
  if (pixels) {
    uint32_t sum = 0;
    const uint32_t* images = Field<uint32_t*>(list, ImageListLayout::Images);
    for (int32_t i = 0; i < n * size; ++i) sum = sum * 31 + images[i];
    *pixels = sum;
  }
}

void __stdcall VclImageListFailWrites(int count) { InterlockedExchange(&g_failingWrites, count); }

} // extern "C"
