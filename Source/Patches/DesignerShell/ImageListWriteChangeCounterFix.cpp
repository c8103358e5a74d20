#include "Patches/DesignerShell/ImageListWriteChangeCounterFix.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "Framework/HostExcept.h"
#include "Framework/HostFinally.h"
#include "Framework/HostObjectModel.h"
#include "Hooking/Utf8Conversion.h"
#include "Patches/DesignerShell/DesignerShellHost.h"

namespace Quillmend {

using namespace DesignerShellHost;

namespace {

constexpr uint16_t ImageListMagic = 0x4C49;  // "IL"
constexpr uint16_t ImageListVersion = 0x0101;
constexpr uint16_t BitmapFileMagic = 0x4D42;  // "BM"
constexpr uint32_t BitmapInfoHeaderSize = 40;
// The host's default image size.
constexpr int32_t DefaultImageSize = 16;

namespace Header {
constexpr int Magic = 0, Version = 2, Count = 4, Capacity = 6, Step = 8, Width = 10, Height = 12, BitmapMagic = 28,
              InfoSize = 42, BitmapWidth = 46, BitmapHeight = 50;
}

TImageListStream g_orgWriteData = nullptr;
TImageListStream g_orgReadData = nullptr;
void* g_customMemoryStreamClass = nullptr;

uint16_t Get16(const uint8_t* p) {
  uint16_t value;
  std::memcpy(&value, p, 2);
  return value;
}
int32_t Get32(const uint8_t* p) {
  int32_t value;
  std::memcpy(&value, p, 4);
  return value;
}
void Put16(uint8_t* p, uint16_t value) { std::memcpy(p, &value, 2); }

int32_t AllocByOf(const void* list) {
  return *reinterpret_cast<const int32_t*>(static_cast<const char*>(list) + ImageListLayout::AllocBy);
}

// The image list data at a memory stream's position with at least
// `minimum` bytes from there, or null.
uint8_t* HeaderAtPosition(void* stream, int64_t position, int32_t minimum) {
  const int32_t size = HostMemoryStreamSize(stream);
  auto* memory = static_cast<uint8_t*>(HostMemoryStreamMemory(stream));
  if (!memory || position < 0 || position > size || size - position < minimum) return nullptr;
  uint8_t* header = memory + position;
  return IsImageListHeader(header) ? header : nullptr;
}

bool IsMemoryStream(void* stream) {
  return stream && g_customMemoryStreamClass && HostClassInherits(HostClassOf(stream), g_customMemoryStreamClass);
}

std::wstring CaughtText(const THostCaught& caught) {
  if (caught.Object) {
    std::wstring message = HostExceptionMessage(caught.Object);
    if (!message.empty()) return message;
  }
  wchar_t text[80];
  std::swprintf(text, 80, L"TCustomImageList streaming self-test: exception 0x%08lX", caught.Code);
  return text;
}

// Frees a host object the self-test made; what its destructor raises is dropped.
void FreeQuietly(void* object) {
  if (!object) return;
  THostCaught caught;
  if (!HostTryExcept([&] { HostObjectFree(object); }, caught) && caught.Object) {
    THostCaught ignored;
    HostTryExcept([&] { HostObjectFree(caught.Object); }, ignored);
  }
}

} // namespace

bool IsImageListHeader(const uint8_t* header) {
  return Get16(header + Header::Magic) == ImageListMagic && Get16(header + Header::Version) == ImageListVersion;
}

int32_t ImageListCapacity(const uint8_t* header) {
  const int32_t width = Get16(header + Header::Width), height = Get16(header + Header::Height);
  if (width == 0 || height == 0 || Get16(header + Header::BitmapMagic) != BitmapFileMagic ||
      uint32_t(Get32(header + Header::InfoSize)) != BitmapInfoHeaderSize)
    return 0;
  // A top-down bitmap (negative height) or a negative width gives no capacity.
  const int64_t capacity = int64_t(Get32(header + Header::BitmapWidth) / width) *
                               int64_t(Get32(header + Header::BitmapHeight) / height) +
                           1;
  if (capacity <= Get16(header + Header::Count) || capacity > 0xFFFF) return 0;
  return int32_t(capacity);
}

uint16_t ImageListStep(int32_t allocBy) {
  const int32_t step = allocBy < 1 ? 1 : allocBy > 0xFFFC ? 0xFFFC : allocBy;
  return uint16_t((step + 3) & ~3);
}

bool ImageListHeadersDrift(const uint8_t* first, size_t firstSize, const uint8_t* second, size_t secondSize) {
  if (firstSize != secondSize || firstSize < size_t(Header::Step + 2)) return false;
  if (!IsImageListHeader(first) || !IsImageListHeader(second)) return false;
  return Get16(first + Header::Capacity) != Get16(second + Header::Capacity) ||
         Get16(first + Header::Step) != Get16(second + Header::Step);
}

TImageListSelfTest RunImageListSelfTest(const TImageListHost& host) {
  struct TMade {
    void* List = nullptr;
    void* Bitmap = nullptr;
    void* First = nullptr;
    void* Second = nullptr;
  } made;
  TImageListSelfTest result;
  THostCaught caught;
  const bool returned = HostTryExcept(
      [&] {
        made.List = host.Create(host.ListClass, 1, nullptr);
        made.Bitmap = host.BitmapNew(host.BitmapClass, 1);
        host.BitmapSize(made.Bitmap, DefaultImageSize, DefaultImageSize);
        host.Add(made.List, made.Bitmap, nullptr);
        made.First = HostNewObject(host.MemoryStreamClass);
        made.Second = HostNewObject(host.MemoryStreamClass);
        host.WriteData(made.List, made.First);
        HostStreamSeek(made.First, 0, THostSeekOrigin::Beginning);
        host.ReadData(made.List, made.First);
        host.WriteData(made.List, made.Second);
        HostStreamSeek(made.Second, 0, THostSeekOrigin::Beginning);
        host.ReadData(made.List, made.Second);
        HostStreamSetSize(made.First, 0);
        HostStreamSeek(made.First, 0, THostSeekOrigin::Beginning);
        host.WriteData(made.List, made.First);
        result.Drifts = ImageListHeadersDrift(
            static_cast<const uint8_t*>(HostMemoryStreamMemory(made.First)), size_t(HostMemoryStreamSize(made.First)),
            static_cast<const uint8_t*>(HostMemoryStreamMemory(made.Second)),
            size_t(HostMemoryStreamSize(made.Second)));
      },
      caught);
  if (!returned) {
    result.Raised = true;
    result.Drifts = false;
    result.Message = CaughtText(caught);
    FreeQuietly(caught.Object);
  }
  FreeQuietly(made.Second);
  FreeQuietly(made.First);
  FreeQuietly(made.Bitmap);
  FreeQuietly(made.List);
  return result;
}

void QM_REGISTER ImageListWriteData(void* list, void* stream) {
  if (!IsMemoryStream(stream)) {
    g_orgWriteData(list, stream);
    return;
  }
  const int64_t start = HostStreamSeek(stream, 0, THostSeekOrigin::Current);
  g_orgWriteData(list, stream);
  uint8_t* header = HeaderAtPosition(stream, start, ImageListHeaderMinimum);
  if (!header) return;
  if (const int32_t capacity = ImageListCapacity(header)) Put16(header + Header::Capacity, uint16_t(capacity));
  Put16(header + Header::Step, ImageListStep(AllocByOf(list)));
}

void QM_REGISTER ImageListReadData(void* list, void* stream) {
  int64_t position = 0;
  uint8_t* header = nullptr;
  int32_t capacity = 0;
  if (IsMemoryStream(stream)) {
    position = HostStreamSeek(stream, 0, THostSeekOrigin::Current);
    header = HeaderAtPosition(stream, position, ImageListHeaderMinimum);
    if (header) capacity = ImageListCapacity(header);
  }
  if (!capacity) {
    g_orgReadData(list, stream);
    return;
  }
  // The stream's bytes are the caller's: the two fields are put back after
  // the read, also when it raises (found again: the read may have moved the
  // stream's memory).
  const uint16_t oldCapacity = Get16(header + Header::Capacity), oldStep = Get16(header + Header::Step);
  Put16(header + Header::Capacity, uint16_t(capacity));
  Put16(header + Header::Step, ImageListStep(AllocByOf(list)));
  HostTryFinally([&] { g_orgReadData(list, stream); },
                 [&]() noexcept {
                   const int32_t size = HostMemoryStreamSize(stream);
                   auto* memory = static_cast<uint8_t*>(HostMemoryStreamMemory(stream));
                   if (!memory || size - position < Header::Step + 2) return;
                   Put16(memory + position + Header::Capacity, oldCapacity);
                   Put16(memory + position + Header::Step, oldStep);
                 });
}

TPatchPlan ImageListWritePlan() {
  TPatchPlan plan(L"IDE.ImageList.Write", L"Fix streaming of TImageList", TInstallMoment::UnitInit);
  TSiteRef listClass = plan.Export(L"TCustomImageList", Vcl, Export::ImageListClass);
  TSiteRef create = plan.Export(L"TCustomImageList.Create", Vcl, Export::ImageListCreate);
  TSiteRef add = plan.Export(L"TCustomImageList.Add", Vcl, Export::ImageListAdd);
  TSiteRef writeData = plan.Export(L"TCustomImageList.WriteData", Vcl, Export::ImageListWriteData);
  TSiteRef readData = plan.Export(L"TCustomImageList.ReadData", Vcl, Export::ImageListReadData);
  TSiteRef bitmapClass = plan.Export(L"TBitmap", Vcl, Export::BitmapClass);
  TSiteRef bitmapCreate = plan.Export(L"TBitmap.Create", Vcl, Export::BitmapCreate);
  TSiteRef bitmapSetSize = plan.Export(L"TBitmap.SetSize", Vcl, Export::BitmapSetSize);
  TSiteRef customMemoryStream =
      plan.Export(L"TCustomMemoryStream", Rtl, HostStreamExport::CustomMemoryStreamClass);
  TSiteRef memoryStream = plan.Export(L"TMemoryStream", Rtl, HostStreamExport::MemoryStreamClass);
  // Whether the host's streaming drifts is learnt by running it: only the
  // running IDE can answer.
  plan.Computed(
      L"TCustomImageList streaming self-test",
      [writeData](const TPlanValues& v) -> void* { return HasCustomPlanModuleResolver() ? nullptr : v.Site(writeData); },
      true);
  TCaptureRef drifts = plan.Compute([=](const TPlanValues& v) -> uintptr_t {
    TImageListHost host;
    host.ListClass = v.Site(listClass);
    host.Create = reinterpret_cast<TImageListCreate>(v.Site(create));
    host.Add = reinterpret_cast<TImageListAdd>(v.Site(add));
    host.WriteData = reinterpret_cast<TImageListStream>(v.Site(writeData));
    host.ReadData = reinterpret_cast<TImageListStream>(v.Site(readData));
    host.BitmapClass = v.Site(bitmapClass);
    host.BitmapNew = reinterpret_cast<TBitmapCreate>(v.Site(bitmapCreate));
    host.BitmapSize = reinterpret_cast<TBitmapSetSize>(v.Site(bitmapSetSize));
    host.MemoryStreamClass = v.Site(memoryStream);
    const TImageListSelfTest test = RunImageListSelfTest(host);
    // What the host raised fails the patch with its message (nothing written).
    if (test.Raised) throw std::runtime_error(ToUtf8(test.Message));
    return test.Drifts ? 1 : 0;
  });
  plan.IgnoreWhen(L"TCustomImageList streams its data unchanged",
                  [drifts](const TPlanValues& v) { return v.Value(drifts) == 0; });
  plan.RedirectOrgCall(writeData, &ImageListWriteData, reinterpret_cast<void**>(&g_orgWriteData));
  plan.RedirectOrgCall(readData, &ImageListReadData, reinterpret_cast<void**>(&g_orgReadData));
  plan.OnCommit([=](const TPlanValues& v) { g_customMemoryStreamClass = v.Site(customMemoryStream); });
  plan.OnRollback([] { g_customMemoryStreamClass = nullptr; });
  return plan;
}

void InstallImageListWriteChangeCounterFix() {
  TPatchPlan plan = ImageListWritePlan();
  InstallPlan(plan);
}

namespace {

std::vector<TPatchPlan> ImageListWriteChangeCounterFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(ImageListWritePlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_ImageListWriteChangeCounterFix = {
    "ImageListWriteChangeCounterFix", &InstallImageListWriteChangeCounterFix, nullptr,
    &ImageListWriteChangeCounterFixPlans};

} // namespace Quillmend
