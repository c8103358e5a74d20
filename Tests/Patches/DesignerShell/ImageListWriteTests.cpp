// Image lists written, read back and written again: unpatched the data's
// capacity and step drift, patched the data is byte-stable and reads back
// the same images; streams the rewrite does not concern (not a memory
// stream, too short, no image size) are left as the host wrote them, and
// a read leaves the caller's bytes as they were. A host exception in the
// self-test fails the patch with its message, nothing written.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "DesignerStandIns.h"
#include "Framework/HostExcept.h"
#include "Patches/DesignerShell/ImageListWriteChangeCounterFix.h"
#include "TestFiles.h"
#include "rtl150/ConversionsDriver.h"
#include "vcl150/ImageListStreamDriver.h"
#include "vcl150/VclDriver.h"

namespace {

const wchar_t* const ImageListWrite = L"IDE.ImageList.Write";

ImageListStreamDriver::Driver g_streams;
VclDriver::Driver g_vcl;

void Load(const char* variant = nullptr) {
  DesignerStandIns::Load(variant);
  if (!g_streams.Bind(GetModuleHandleW(L"vcl150.bpl")) || !g_vcl.Bind(GetModuleHandleW(L"vcl150.bpl")))
    throw std::runtime_error("vcl150.bpl lacks the image list's driver");
}

void* NewList(int images, int allocBy = 4, int size = 16) {
  void* list = g_vcl.NewImageList(size, size);
  g_streams.SetAllocBy(list, allocBy);
  for (int i = 0; i < images; ++i) g_vcl.ImageListAddSample(list, unsigned(i + 1));
  return list;
}

// The stream's position moved on by `count` bytes (TStream.ReadBuffer).
void SkipBytes(void* stream, int count) {
  std::string skipped(size_t(count), '\0');
  reinterpret_cast<void(QM_REGISTER*)(void*, void*, int32_t)>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"rtl150.bpl"), "@Classes@TStream@ReadBuffer$qqrpvi")))(
      stream, &skipped[0], count);
}

// WriteData into a new memory stream holding `prefix` first; the stream's bytes from there.
std::string Write(void* list, const std::string& prefix = "") {
  void* stream = DesignerStandIns::NewMemoryStream(prefix);
  if (!prefix.empty()) SkipBytes(stream, int(prefix.size()));
  g_streams.WriteData(list, stream);
  std::string bytes = QmHost::MemoryStreamBytes(stream).substr(prefix.size());
  DesignerStandIns::FreeObject(stream);
  return bytes;
}

// ReadData from a memory stream of the bytes at `position`: what the host
// raised ("" when nothing) and the stream's bytes afterwards.
std::string Read(void* list, const std::string& bytes, std::string* after = nullptr, int position = 0) {
  void* stream = DesignerStandIns::NewMemoryStream(bytes);
  if (position) SkipBytes(stream, position);
  Quillmend::THostCaught caught;
  std::string raised;
  if (!Quillmend::HostTryExceptOnly(Quillmend::HostExceptionCode, [&] { g_streams.ReadData(list, stream); }, caught)) {
    std::wstring message = Quillmend::HostExceptionMessage(caught.Object);
    raised = std::string(message.begin(), message.end());
    DesignerStandIns::FreeObject(caught.Object);
  }
  if (after) *after = QmHost::MemoryStreamBytes(stream);
  DesignerStandIns::FreeObject(stream);
  return raised;
}

uint16_t Field16(const std::string& bytes, size_t offset) {
  uint16_t value = 0;
  std::memcpy(&value, bytes.data() + offset, 2);
  return value;
}
std::string WithField16(std::string bytes, size_t offset, uint16_t value) {
  std::memcpy(&bytes[offset], &value, 2);
  return bytes;
}

struct TListState {
  int Count = 0, Capacity = 0, Grow = 0;
  unsigned Pixels = 0;
  bool operator==(const TListState& o) const {
    return Count == o.Count && Capacity == o.Capacity && Grow == o.Grow && Pixels == o.Pixels;
  }
};
std::ostream& operator<<(std::ostream& out, const TListState& s) {
  return out << "count=" << s.Count << " capacity=" << s.Capacity << " grow=" << s.Grow << " pixels=" << s.Pixels;
}
TListState State(void* list) {
  TListState s;
  g_streams.State(list, &s.Count, &s.Capacity, &s.Grow, &s.Pixels);
  return s;
}

// ---- the fault and its repair ------------------------------------------------------

TEST(DesignerImageListWrite, UnpatchedDataDriftsWhenWrittenAgain) {
  Load();
  void* list = NewList(1);
  const std::string first = Write(list);
  ASSERT_EQ(Read(list, first), "");
  const std::string second = Write(list);
  ASSERT_EQ(first.size(), second.size());
  EXPECT_EQ(Field16(second, 6), Field16(first, 6) + 1);
  EXPECT_NE(Field16(second, 8), Field16(first, 8));
  g_vcl.Free(list);
}

struct TShape {
  int Images, AllocBy, Size;
  uint16_t Capacity, Step;  // what the data stores, patched
};

const TShape Shapes[] = {
    {1, 4, 16, 5, 4},    // one row of four, plus one
    {4, 4, 16, 5, 4},    // the row full
    {5, 4, 16, 9, 4},    // a second row
    {9, 1, 24, 13, 4},   // step 1 rounded up
    {3, 6, 16, 5, 8},    // step 6 rounded up to 8
    {2, 0, 32, 5, 4},    // no step given: 1, rounded up
    {0, 8, 16, 5, 8},    // empty: one row all the same
};

TEST(DesignerImageListWrite, PatchedDataIsByteStableAndKeepsTheImages) {
  Load();
  DesignerStandIns::Install();
  ASSERT_EQ(DesignerStandIns::Status(ImageListWrite), L"applied") << DesignerStandIns::Reasons();
  for (const TShape& shape : Shapes) {
    SCOPED_TRACE(std::to_string(shape.Images) + " images, step " + std::to_string(shape.AllocBy));
    void* list = NewList(shape.Images, shape.AllocBy, shape.Size);
    const TListState made = State(list);
    const std::string first = Write(list);
    EXPECT_EQ(Field16(first, 6), shape.Capacity);
    EXPECT_EQ(Field16(first, 8), shape.Step);
    void* copy = NewList(0, shape.AllocBy, shape.Size);
    for (int round = 0; round < 3; ++round) {
      ASSERT_EQ(Read(copy, round == 0 ? first : Write(copy)), "");
      EXPECT_EQ(Write(copy), first) << "round " << round;
    }
    EXPECT_EQ(State(copy).Count, made.Count);
    EXPECT_EQ(State(copy).Pixels, made.Pixels);
    g_vcl.Free(copy);
    g_vcl.Free(list);
  }
}

// ---- reads: the header normalised for the read only ----------------------------------------

TEST(DesignerImageListWrite, PatchedReadTakesDriftedDataAsItsNormalForm) {
  Load();
  DesignerStandIns::Install();
  ASSERT_EQ(DesignerStandIns::Status(ImageListWrite), L"applied") << DesignerStandIns::Reasons();
  void* list = NewList(3);
  const std::string normal = Write(list);
  const std::string drifted = WithField16(WithField16(normal, 6, 11), 8, 16);
  void* a = NewList(0);
  void* b = NewList(0);
  std::string after;
  ASSERT_EQ(Read(a, normal), "");
  ASSERT_EQ(Read(b, drifted, &after), "");
  EXPECT_EQ(after, drifted);  // the caller's bytes as they were
  EXPECT_EQ(State(b), State(a));
  EXPECT_EQ(Write(b), normal);
  // Data further into the stream, read from its position.
  const std::string prefix = "0123456789";
  ASSERT_EQ(Read(b, prefix + drifted, &after, int(prefix.size())), "");
  EXPECT_EQ(after, prefix + drifted);
  EXPECT_EQ(State(b), State(a));
  for (void* object : {list, a, b}) g_vcl.Free(object);
}

struct TUntouchedRead {
  const char* What;
  bool NoImageSize;    // the data of a list without an image size, else of one 16 x 16 image
  size_t Keep;         // bytes of the data kept (0: all)
  size_t Pad;          // bytes added after it
  const char* Raised;  // what the host's read raises
  int Capacity;        // the list's capacity afterwards, as the host reads it (-1: not looked at)
};

const TUntouchedRead UntouchedReads[] = {
    // 85 bytes: the host reads as it did and fails on the short pixel data.
    {"85 bytes", false, 85, 0, "Stream read error", -1},
    // No image size gives no capacity: the stored 11 is read, plus one.
    {"no image size", true, 0, 10, "", 12},
};

TEST(DesignerImageListWrite, PatchedReadLeavesOtherDataToTheHost) {
  Load();
  DesignerStandIns::Install();
  ASSERT_EQ(DesignerStandIns::Status(ImageListWrite), L"applied") << DesignerStandIns::Reasons();
  void* list = NewList(0);
  // A list without an image size stores a bitmap of no pixels.
  g_vcl.ImageListSetSize(list, 0, 0);
  const std::string empty = WithField16(Write(list), 6, 11);
  g_vcl.ImageListSetSize(list, 16, 16);
  g_vcl.ImageListAddSample(list, 7);
  const std::string data = WithField16(Write(list), 6, 11);
  for (const TUntouchedRead& c : UntouchedReads) {
    SCOPED_TRACE(c.What);
    const std::string& source = c.NoImageSize ? empty : data;
    const std::string bytes = source.substr(0, c.Keep ? c.Keep : source.size()) + std::string(c.Pad, '\0');
    std::string after;
    void* copy = NewList(0);
    EXPECT_EQ(Read(copy, bytes, &after), c.Raised);
    EXPECT_EQ(after, bytes);
    if (c.Capacity >= 0) EXPECT_EQ(State(copy).Capacity, c.Capacity);
    g_vcl.Free(copy);
  }
  g_vcl.Free(list);
}

// ---- writes the rewrite does not concern -----------------------------------------------------

TEST(DesignerImageListWrite, PatchedWriteLeavesOtherStreamsAsTheHostWroteThem) {
  Load();
  DesignerStandIns::Install();
  ASSERT_EQ(DesignerStandIns::Status(ImageListWrite), L"applied") << DesignerStandIns::Reasons();
  void* list = NewList(2, 6);
  const TListState state = State(list);
  // A file stream: the host's own capacity and step.
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  const std::wstring path = std::wstring(dir) + L"qm-imagelist-" + std::to_wstring(GetCurrentProcessId()) + L".bin";
  auto createFile = reinterpret_cast<void*(__stdcall*)(const wchar_t*)>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"rtl150.bpl"), "RtlFileStreamCreate")));
  void* file = createFile(path.c_str());
  ASSERT_NE(file, nullptr);
  g_streams.WriteData(list, file);
  DesignerStandIns::FreeObject(file);
  const std::string written = QuillmendTest::ReadFileBytes(path);
  DeleteFileW(path.c_str());
  const std::string memory = Write(list);
  ASSERT_EQ(written.size(), memory.size());
  EXPECT_EQ(Field16(written, 6), state.Capacity);
  EXPECT_EQ(Field16(written, 8), state.Grow);
  EXPECT_EQ(written.substr(10), memory.substr(10));
  EXPECT_EQ(Field16(memory, 6), 5);
  EXPECT_EQ(Field16(memory, 8), 8);
  // No image size: 82 bytes, below what the rewrite needs.
  g_vcl.ImageListSetSize(list, 0, 0);
  const std::string bare = Write(list);
  EXPECT_EQ(bare.size(), 82u);
  EXPECT_EQ(Field16(bare, 6), State(list).Capacity);
  EXPECT_EQ(Field16(bare, 8), State(list).Grow);
  g_vcl.Free(list);
}

// ---- the header rules ---------------------------------------------------------------------

std::string Header(uint16_t count, uint16_t width, uint16_t height, int32_t bitmapWidth, int32_t bitmapHeight) {
  std::string h(Quillmend::ImageListHeaderMinimum, '\0');
  auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&h[at], &v, 2); };
  auto put32 = [&](size_t at, int32_t v) { std::memcpy(&h[at], &v, 4); };
  put16(0, 0x4C49);
  put16(2, 0x0101);
  put16(4, count);
  put16(10, width);
  put16(12, height);
  put16(28, 0x4D42);
  put32(42, 40);
  put32(46, bitmapWidth);
  put32(50, bitmapHeight);
  return h;
}

struct TCapacityCase {
  const char* What;
  std::string Bytes;
  int32_t Capacity;
};

TEST(DesignerImageListWrite, CapacityFollowsTheStoredBitmap) {
  const TCapacityCase cases[] = {
      {"4 x 2 tiles", Header(1, 16, 16, 64, 32), 9},
      {"partial tiles ignored", Header(1, 16, 16, 70, 40), 9},
      {"count just below", Header(8, 16, 16, 64, 32), 9},
      {"count at the capacity", Header(9, 16, 16, 64, 32), 0},
      {"zero width", Header(0, 0, 16, 64, 32), 0},
      {"zero height", Header(0, 16, 0, 64, 32), 0},
      {"top-down bitmap", Header(1, 16, 16, 64, -32), 0},
      {"no bitmap file", WithField16(Header(1, 16, 16, 64, 32), 28, 0x4D43), 0},
      {"other info header", WithField16(Header(1, 16, 16, 64, 32), 42, 12), 0},
      {"beyond 16 bits", Header(1, 1, 1, 1000, 1000), 0},
      {"largest stored", Header(1, 1, 1, 65534, 1), 65535},
  };
  for (const TCapacityCase& c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_EQ(Quillmend::ImageListCapacity(reinterpret_cast<const uint8_t*>(c.Bytes.data())), c.Capacity);
  }
}

TEST(DesignerImageListWrite, StepIsTheAllocationStepRoundedToFour) {
  const std::pair<int32_t, uint16_t> cases[] = {{-5, 4}, {0, 4}, {1, 4}, {3, 4}, {4, 4},
                                                {5, 8}, {8, 8}, {9, 12}, {0x7FFFFFFF, 0xFFFC}};
  for (const auto& [allocBy, step] : cases) EXPECT_EQ(Quillmend::ImageListStep(allocBy), step) << allocBy;
}

TEST(DesignerImageListWrite, DriftNeedsTwoListHeadersOfOneSize) {
  const std::string a = Header(1, 16, 16, 64, 16);
  const auto drift = [](const std::string& x, const std::string& y) {
    return Quillmend::ImageListHeadersDrift(reinterpret_cast<const uint8_t*>(x.data()), x.size(),
                                            reinterpret_cast<const uint8_t*>(y.data()), y.size());
  };
  EXPECT_FALSE(drift(a, a));
  EXPECT_TRUE(drift(a, WithField16(a, 6, 6)));
  EXPECT_TRUE(drift(a, WithField16(a, 8, 8)));
  EXPECT_FALSE(drift(a, WithField16(a, 4, 2)));                     // other fields do not count
  EXPECT_FALSE(drift(a, WithField16(a, 6, 6) + "x"));               // sizes differ
  EXPECT_FALSE(drift(WithField16(a, 2, 0x0100), WithField16(WithField16(a, 2, 0x0100), 6, 6)));  // no list data
  EXPECT_FALSE(drift(std::string(a.data(), 9), std::string(WithField16(a, 6, 6).data(), 9)));   // too short
}

// ---- the self-test's host exception ----------------------------------------------------

TEST(DesignerImageListWrite, RaisingSelfTestFailsThePatchWithTheHostsMessage) {
  Load();
  g_streams.FailWrites(1);
  DesignerStandIns::Install();
  EXPECT_EQ(DesignerStandIns::Status(ImageListWrite), L"failed");
  EXPECT_NE(DesignerStandIns::Reasons().find("Failed to write ImageList data to stream"), std::string::npos)
      << DesignerStandIns::Reasons();
  // The host's streaming as it was: the data still drifts.
  void* list = NewList(1);
  const std::string first = Write(list);
  ASSERT_EQ(Read(list, first), "");
  EXPECT_NE(Write(list), first);
  g_vcl.Free(list);
}

} // namespace
