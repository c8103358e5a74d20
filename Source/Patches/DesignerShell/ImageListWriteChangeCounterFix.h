// "IDE.ImageList.Write": an image list read from a form and written again
// stores another capacity (+6) and growth step (+8) in its data header than
// it read, so every save of a form changes its image lists' data. When a
// self-test shows the host's streaming does that, WriteData stores values
// that follow from the data itself (the capacity its bitmap holds, the
// list's allocation step rounded to 4) and ReadData reads them the same way;
// a host that streams stably leaves the patch ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// An image list's data header: 'IL', version 0x0101, count (+4), capacity
// (+6), step (+8), image width (+10) and height (+12), then a bitmap file
// ('BM' at +28) whose info header (size 40 at +42) gives the bitmap's width
// (+46) and height (+50). The patch rewrites a header only in a memory
// stream holding at least this many bytes from it.
constexpr int32_t ImageListHeaderMinimum = 86;

// Magic and version of an image list's data.
bool IsImageListHeader(const uint8_t* header);
// The capacity the header's bitmap holds plus one, or 0 when the header
// gives none (no image size, no plain bitmap, not above the count, or not
// representable in 16 bits).
int32_t ImageListCapacity(const uint8_t* header);
// The step stored for a list allocating `allocBy` images at a time.
uint16_t ImageListStep(int32_t allocBy);
// Two headers of equal size, both image list data, differing in capacity or step.
bool ImageListHeadersDrift(const uint8_t* first, size_t firstSize, const uint8_t* second, size_t secondSize);

// What the self-test calls in the host: the image list's constructor, Add,
// WriteData and ReadData, the bitmap's constructor and SetSize, the memory
// stream class.
using TImageListCreate = void*(QM_REGISTER*)(void* classRef, int32_t alloc, void* owner);
using TImageListAdd = int32_t(QM_REGISTER*)(void* list, void* image, void* mask);
using TImageListStream = void(QM_REGISTER*)(void* list, void* stream);
using TBitmapCreate = void*(QM_REGISTER*)(void* classRef, int32_t alloc);
using TBitmapSetSize = void(QM_REGISTER*)(void* bitmap, int32_t width, int32_t height);
struct TImageListHost {
  void* ListClass = nullptr;
  TImageListCreate Create = nullptr;
  TImageListAdd Add = nullptr;
  TImageListStream WriteData = nullptr;
  TImageListStream ReadData = nullptr;
  void* BitmapClass = nullptr;
  TBitmapCreate BitmapNew = nullptr;
  TBitmapSetSize BitmapSize = nullptr;
  void* MemoryStreamClass = nullptr;
};
struct TImageListSelfTest {
  bool Raised = false;   // the host raised; Message says what
  bool Drifts = false;   // written again, the list stores other values
  std::wstring Message;
};
// A default-size list with one image written, read back, written to a second
// stream, read back, and written to the first again; host exceptions are
// caught (everything made is freed).
TImageListSelfTest RunImageListSelfTest(const TImageListHost& host);

// The replacements (EAX = list, EDX = stream).
void QM_REGISTER ImageListWriteData(void* list, void* stream);
void QM_REGISTER ImageListReadData(void* list, void* stream);

TPatchPlan ImageListWritePlan();
void InstallImageListWriteChangeCounterFix();

extern const TUnitInfo Unit_ImageListWriteChangeCounterFix;

} // namespace Quillmend
