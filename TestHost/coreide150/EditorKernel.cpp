// The editor kernel's interface unit (Edkrnl): the command evaluator and the
// block copy, done the kernel's way.
//
// EkEval executes a command and then, while the buffer's flags allow
// automatic edits (AutoTrim set, NoAutoEdits clear), trims the trailing
// blanks of the edited line on its own, recording that edit for undo only
// when undo is enabled: with undo disabled the automatic edit cannot be
// taken back. WriteBlockToStream first makes the stream large enough for
// the block with its trailing blanks and a final line break (as
// TextBlockSize counts it with one), then writes the block's lines, trimmed
// while AutoTrim is set and KeepTrailingBlanks clear, the final line break
// only when asked: the bytes between the written text and the size are
// garbage.
#include "EditorKernel.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <vector>

#include "Common/HostClass.h"
#include "Common/HostRtl.h"
#include "EditorKernelDriver.h"

using namespace CoreIde;

namespace {

constexpr uint32_t ViewMagic = 0x77566B45;    // 'EkVw'
constexpr uint32_t BufferMagic = 0x66426B45;  // 'EkBf'

template <class T>
T& Field(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

void* BufferOf(void* view) { return Field<void*>(view, EkViewLayout::Buffer); }
std::vector<std::string>& LinesOf(void* buffer) { return *Field<std::vector<std::string>*>(buffer, EkBufferLayout::Lines); }

std::string Trimmed(const std::string& line) {
  size_t end = line.size();
  while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
  return line.substr(0, end);
}

// ---- streams, through their virtual methods (rtl150's TStream slots) ----------
namespace StreamSlot {
constexpr int GetSize = 0, SetSize32 = 4, Read = 12, Write = 16, Seek32 = 20;
}
template <class Fn>
Fn StreamMethod(void* stream, int slot) {
  return reinterpret_cast<Fn>(QmHost::VmtSlot(*static_cast<void**>(stream), slot));
}
int32_t StreamPosition(void* stream) {
  return StreamMethod<int32_t(QM_HOST_REGISTER*)(void*, int32_t, int32_t)>(stream, StreamSlot::Seek32)(stream, 0, 1);
}
int64_t StreamSize(void* stream) { return StreamMethod<int64_t(QM_HOST_REGISTER*)(void*)>(stream, StreamSlot::GetSize)(stream); }
void StreamSetSize(void* stream, int32_t size) {
  StreamMethod<void(QM_HOST_REGISTER*)(void*, int32_t)>(stream, StreamSlot::SetSize32)(stream, size);
}
void StreamWrite(void* stream, const void* bytes, int32_t count) {
  if (count > 0) StreamMethod<int32_t(QM_HOST_REGISTER*)(void*, const void*, int32_t)>(stream, StreamSlot::Write)(stream, bytes, count);
}

int32_t BlockSize(void* view, bool lineBreakAfterLast) {
  const std::vector<std::string>& lines = LinesOf(BufferOf(view));
  const int32_t first = Field<int32_t>(view, EkViewLayout::BlockStart);
  const int32_t last = Field<int32_t>(view, EkViewLayout::BlockEnd);
  int32_t size = 0;
  for (int32_t i = first; i <= last && i < int32_t(lines.size()); ++i) {
    size += int32_t(lines[size_t(i)].size());
    if (i < last || lineBreakAfterLast) size += 2;
  }
  return size;
}

// ---- a stream that holds no memory: TCountingStream (rtl150's TStream) -------
namespace CountingLayout {
constexpr int Size = 4, Position = 8, Written = 12, InstanceSize = 16;
}

int32_t QM_HOST_REGISTER CountingRead(void*, void*, int32_t) { return 0; }
int32_t QM_HOST_REGISTER CountingWrite(void* self, const void*, int32_t count) {
  int32_t& position = Field<int32_t>(self, CountingLayout::Position);
  position += count;
  Field<int32_t>(self, CountingLayout::Written) += count;
  if (position > Field<int32_t>(self, CountingLayout::Size)) Field<int32_t>(self, CountingLayout::Size) = position;
  return count;
}
int32_t QM_HOST_REGISTER CountingSeek(void* self, int32_t offset, int32_t origin) {
  int32_t& position = Field<int32_t>(self, CountingLayout::Position);
  const int32_t base = origin == 0 ? 0 : origin == 1 ? position : Field<int32_t>(self, CountingLayout::Size);
  position = base + offset;
  return position;
}
void QM_HOST_REGISTER CountingSetSize(void* self, int32_t size) { Field<int32_t>(self, CountingLayout::Size) = size; }

}  // namespace

QM_HOST_CLASS(coreide_TCountingStream_Class, 7);

namespace {

void* g_streamClassVar = nullptr;  // rtl150's TStream
void* g_countingClass = nullptr;

void* CountingStreamClass() {
  if (g_countingClass) return g_countingClass;
  HMODULE rtl = GetModuleHandleW(L"rtl150.bpl");
  g_streamClassVar = rtl ? reinterpret_cast<void*>(GetProcAddress(rtl, "@Classes@TStream@")) : nullptr;
  if (!g_streamClassVar) return nullptr;
  g_countingClass = QmHost::HostClassBuilder(coreide_TCountingStream_Class_Storage, "TCountingStream")
                        .Parent(&g_streamClassVar)
                        .InstanceSize(CountingLayout::InstanceSize)
                        .Virtual(1, reinterpret_cast<void*>(&CountingSetSize))
                        .Virtual(3, reinterpret_cast<void*>(&CountingRead))
                        .Virtual(4, reinterpret_cast<void*>(&CountingWrite))
                        .Virtual(5, reinterpret_cast<void*>(&CountingSeek))
                        .Build();
  return g_countingClass;
}

[[noreturn]] void RaiseCommandFailed() {
  const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
  rtl->raiseExcept(rtl->NewException(L"Editor command failed"));
  std::abort();
}

}  // namespace

extern "C" {

uint16_t QM_HOST_REGISTER EkEval(void* view, const void* commandRecord, int32_t undoGroup) QM_HOST_SYMBOL(coreide_EkEvalBody);
uint16_t QM_HOST_REGISTER EkEval(void* view, const void* commandRecord, int32_t undoGroup) {
  const auto* command = static_cast<const TEdCmd*>(commandRecord);
  if (command->Kind == 2) RaiseCommandFailed();
  void* buffer = BufferOf(view);
  const uint32_t flags = BufferFlags(buffer);
  const bool recorded = !(flags & EkFlag::UndoDisabled);
  if (command->Kind == 1) {
    std::vector<std::string>& lines = LinesOf(buffer);
    const size_t line = size_t(Field<int32_t>(view, EkViewLayout::CaretLine));
    if (line < lines.size()) {
      std::string& text = lines[line];
      const size_t column = std::min(size_t(Field<int32_t>(view, EkViewLayout::CaretColumn)), text.size());
      const std::string inserted = command->Text ? command->Text : "";
      text.insert(column, inserted);
      Field<int32_t>(view, EkViewLayout::CaretColumn) = int32_t(column + inserted.size());
      if (recorded) ++Field<int32_t>(buffer, EkBufferLayout::UndoRecords);
      // The kernel's own edit after a command.
      if ((flags & EkFlag::AutoTrim) && !(flags & EkFlag::NoAutoEdits) && Trimmed(text) != text) {
        text = Trimmed(text);
        ++Field<int32_t>(buffer, EkBufferLayout::AutomaticEdits);
        if (recorded) ++Field<int32_t>(buffer, EkBufferLayout::UndoRecords);
      }
    }
  }
  return uint16_t(((undoGroup & 0xFF) << 8) | (command->Kind & 0xFF));
}

void QM_HOST_REGISTER WriteBlockToStream(void* view, void* stream, uint32_t lineBreakAfterLast)
    QM_HOST_SYMBOL(coreide_WriteBlockToStreamBody);
void QM_HOST_REGISTER WriteBlockToStream(void* view, void* stream, uint32_t lineBreakAfterLast) {
  const bool breakAfterLast = (lineBreakAfterLast & 0xFF) != 0;
  // Room for the block with its trailing blanks and a final line break, whether or not one is written.
  const int32_t needed = StreamPosition(stream) + BlockSize(view, true);
  if (StreamSize(stream) < needed) StreamSetSize(stream, needed);
  const uint32_t flags = BufferFlags(BufferOf(view));
  const bool trim = (flags & EkFlag::AutoTrim) && !(flags & EkFlag::KeepTrailingBlanks);
  const std::vector<std::string>& lines = LinesOf(BufferOf(view));
  const int32_t first = Field<int32_t>(view, EkViewLayout::BlockStart);
  const int32_t last = Field<int32_t>(view, EkViewLayout::BlockEnd);
  for (int32_t i = first; i <= last && i < int32_t(lines.size()); ++i) {
    const std::string text = trim ? Trimmed(lines[size_t(i)]) : lines[size_t(i)];
    StreamWrite(stream, text.data(), int32_t(text.size()));
    if (i < last || breakAfterLast) StreamWrite(stream, "\r\n", 2);
  }
}

int32_t QM_HOST_REGISTER TextBlockSize(void* view, uint32_t lineBreakAfterLast) QM_HOST_SYMBOL(coreide_TextBlockSizeBody);
int32_t QM_HOST_REGISTER TextBlockSize(void* view, uint32_t lineBreakAfterLast) {
  return BlockSize(view, (lineBreakAfterLast & 0xFF) != 0);
}

// ---- driver (EditorKernelDriver.h) ----------------------------------------------

void* __stdcall EkNewView(const char* text) {
  void* buffer = std::calloc(1, EkBufferLayout::Size);
  Field<uint32_t>(buffer, EkBufferLayout::Magic) = BufferMagic;
  auto* lines = new std::vector<std::string>;
  std::string all = text ? text : "";
  size_t start = 0;
  for (;;) {
    const size_t end = all.find('\n', start);
    lines->push_back(all.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  Field<std::vector<std::string>*>(buffer, EkBufferLayout::Lines) = lines;
  SetBufferFlags(buffer, EkFlag::AutoTrim);
  void* view = std::calloc(1, EkViewLayout::Size);
  Field<uint32_t>(view, EkViewLayout::Magic) = ViewMagic;
  Field<void*>(view, EkViewLayout::Buffer) = buffer;
  Field<int32_t>(view, EkViewLayout::BlockEnd) = int32_t(lines->size()) - 1;
  return view;
}

void __stdcall EkSetBlock(void* view, int first, int last) {
  Field<int32_t>(view, EkViewLayout::BlockStart) = first;
  Field<int32_t>(view, EkViewLayout::BlockEnd) = last;
}

void __stdcall EkSetCaret(void* view, int line, int column) {
  Field<int32_t>(view, EkViewLayout::CaretLine) = line;
  Field<int32_t>(view, EkViewLayout::CaretColumn) = column;
}

uint32_t __stdcall EkFlags(void* view) { return BufferFlags(BufferOf(view)); }
void __stdcall EkSetFlags(void* view, uint32_t flags) { SetBufferFlags(BufferOf(view), flags); }

const char* __stdcall EkLineText(void* view, int line) {
  const std::vector<std::string>& lines = LinesOf(BufferOf(view));
  return line >= 0 && size_t(line) < lines.size() ? lines[size_t(line)].c_str() : nullptr;
}

void __stdcall EkCounts(void* view, int* undoRecords, int* automaticEdits) {
  void* buffer = BufferOf(view);
  if (undoRecords) *undoRecords = Field<int32_t>(buffer, EkBufferLayout::UndoRecords);
  if (automaticEdits) *automaticEdits = Field<int32_t>(buffer, EkBufferLayout::AutomaticEdits);
}

void __stdcall EkFreeView(void* view) {
  if (!view) return;
  void* buffer = BufferOf(view);
  delete &LinesOf(buffer);
  std::free(buffer);
  std::free(view);
}

void* __stdcall EkNewCountingStream() {
  void* classRef = CountingStreamClass();
  if (!classRef) return nullptr;
  void* stream = std::calloc(1, CountingLayout::InstanceSize);
  Field<void*>(stream, 0) = classRef;
  return stream;
}

void __stdcall EkCountingStreamState(void* stream, int* size, int* position, int* written) {
  if (size) *size = Field<int32_t>(stream, CountingLayout::Size);
  if (position) *position = Field<int32_t>(stream, CountingLayout::Position);
  if (written) *written = Field<int32_t>(stream, CountingLayout::Written);
}

}  // extern "C"

namespace D = EditorKernelDriver;
static_assert(std::is_same_v<decltype(&EkEval), D::Driver::EkEvalFn> &&
                  std::is_same_v<decltype(&WriteBlockToStream), D::Driver::WriteBlockFn> &&
                  std::is_same_v<decltype(&TextBlockSize), D::Driver::TextBlockSizeFn> &&
                  std::is_same_v<decltype(&EkNewView), D::Driver::NewViewFn> &&
                  std::is_same_v<decltype(&EkSetBlock), D::Driver::SetBlockFn> &&
                  std::is_same_v<decltype(&EkSetCaret), D::Driver::SetCaretFn> &&
                  std::is_same_v<decltype(&EkFlags), D::Driver::FlagsFn> &&
                  std::is_same_v<decltype(&EkSetFlags), D::Driver::SetFlagsFn> &&
                  std::is_same_v<decltype(&EkLineText), D::Driver::LineTextFn> &&
                  std::is_same_v<decltype(&EkCounts), D::Driver::CountsFn> &&
                  std::is_same_v<decltype(&EkFreeView), D::Driver::FreeViewFn> &&
                  std::is_same_v<decltype(&EkNewCountingStream), D::Driver::NewCountingStreamFn> &&
                  std::is_same_v<decltype(&EkCountingStreamState), D::Driver::CountingStreamStateFn>,
              "exports differ from EditorKernelDriver.h");
