// The stand-in image list's streaming (vcl150.bpl, unit ImgList), declared
// once for the stand-in, bds.exe, the tests and the benchmarks.
//
// WriteData (EAX = list, EDX = stream) writes at the stream's position, in
// one WriteBuffer: a 28-byte list header {+0 'IL' 0x4C49, +2 version 0x0101,
// +4 image count, +6 the list's capacity, +8 its growth step, +10 image
// width, +12 image height (16 bits each), +14 background colour, +18 flags
// (bit 0 masked), +20 four overlay indexes of 16 bits (-1)}, then a bitmap
// file of 32-bit pixels: +28 'BM', +30 file size, +38 pixel offset 54, +42 a
// 40-byte BITMAPINFOHEADER (+46 width, +50 height, bottom-up), +82 pixels.
// The images lie four per row, as many rows as the images need (one at
// least); the top bit of a pixel's alpha byte marks it opaque.
// ReadData (EAX = list, EDX = stream) reads that back at the position:
// the list takes the size, colour, flags and images, its capacity becomes
// the stored one plus one and its step the stored one plus one rounded up
// to a multiple of 4 (**the fault**: written again, +6 and +8 drift). A
// header that is not such a list raises EReadError "Failed to read
// ImageList data from stream". Variant `imagelistinit-stablestreams`: the
// stored capacity and step kept as they are (no drift).
// The list's allocation step (AllocBy, 4 for a new list) is at +0x44, the
// growth step it streams at +0x48.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"

namespace ImageListStreamDriver {

namespace Export {
constexpr const char* WriteData = "@Imglist@TCustomImageList@WriteData$qqrp15Classes@TStream";
constexpr const char* ReadData = "@Imglist@TCustomImageList@ReadData$qqrp15Classes@TStream";
// Driver (stdcall).
constexpr const char* SetAllocBy = "VclImageListSetAllocBy";
constexpr const char* State = "VclImageListStreamState";
constexpr const char* FailWrites = "VclImageListFailWrites";
}  // namespace Export

constexpr int AllocByField = 0x44;
constexpr int GrowField = 0x48;
constexpr int HeaderSize = 82;

using StreamFn = void(QM_HOST_REGISTER*)(void* list, void* stream);
using SetAllocByFn = void(__stdcall*)(void* list, int allocBy);
// Count, capacity, growth step, and a checksum of every image's pixels.
using StateFn = void(__stdcall*)(void* list, int* count, int* capacity, int* grow, unsigned* pixels);
// The next `count` WriteData calls raise EWriteError "Failed to write
// ImageList data to stream" before writing anything.
using FailWritesFn = void(__stdcall*)(int count);

struct Driver {
  StreamFn WriteData = nullptr;
  StreamFn ReadData = nullptr;
  SetAllocByFn SetAllocBy = nullptr;
  StateFn State = nullptr;
  FailWritesFn FailWrites = nullptr;

  bool Bind(HMODULE module) {
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      return slot != nullptr;
    };
    bool ok = bind(WriteData, Export::WriteData);
    ok = bind(ReadData, Export::ReadData) && ok;
    ok = bind(SetAllocBy, Export::SetAllocBy) && ok;
    ok = bind(State, Export::State) && ok;
    return bind(FailWrites, Export::FailWrites) && ok;
  }
};

}  // namespace ImageListStreamDriver
