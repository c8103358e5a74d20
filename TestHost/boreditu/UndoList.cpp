// The editor kernel's undo list: a buffer of lines, the undo entries its
// edits recorded, and the three routines the undo runs through. The per-item
// routine undoes one entry and then revalidates the whole buffer (its line
// index: every line's start offset again), which is what makes undoing a
// large group slow; the range routine undoes a half-open range of entries
// and revalidates once. Both leave the same text and undo state.
#include "UndoBuffer.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "BorEditDriver.h"

using namespace BorEdit;

namespace {

constexpr uint32_t BufferMagic = 0x66426445;  // 'EdBf'

// Kernel-side storage of a buffer: its lines and their index.
struct TBufferText {
  std::vector<char*> Lines;
  std::vector<int32_t> Lengths;
  std::vector<int32_t> Starts;  // the line index the revalidation rebuilds
  int32_t ItemCalls = 0, RangeCalls = 0, Revalidations = 0;
};

template <class T>
T& Field(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

TBufferText& TextOf(void* buffer) { return *Field<TBufferText*>(buffer, UndoBufferLayout::Text); }
TUndoTable*& TableOf(void* buffer) { return Field<TUndoTable*>(buffer, UndoBufferLayout::UndoTable); }

char* CopyText(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

uint32_t NextRandom(uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

std::string RandomLine(uint32_t& state) {
  static const char* const words[] = {"begin", "end;", "if", "then", "Result", ":=", "Inc(I);", "x", "// note", "   "};
  std::string line(NextRandom(state) % 8, ' ');
  const int count = 2 + int(NextRandom(state) % 6);
  for (int i = 0; i < count; ++i) {
    if (i) line += ' ';
    line += words[NextRandom(state) % 10];
  }
  return line;
}

// Rebuilds the buffer's line index and total length: every line visited.
void Revalidate(void* buffer) {
  TBufferText& text = TextOf(buffer);
  ++text.Revalidations;
  int32_t offset = 0;
  for (size_t i = 0; i < text.Lengths.size(); ++i) {
    text.Starts[i] = offset;
    offset += text.Lengths[i] + 2;  // CR LF
  }
  Field<int32_t>(buffer, UndoBufferLayout::TotalLength) = offset;
}

// Undoes one entry: the line gets its old text back; the entry keeps what it replaced.
void UndoEntry(void* list, int32_t index) {
  void* buffer = Field<void*>(list, UndoListLayout::Buffer);
  TUndoTable* table = TableOf(buffer);
  if (index < 0 || index >= table->Count) return;
  TUndoEntry& entry = table->Entries[index];
  TBufferText& text = TextOf(buffer);
  char* current = text.Lines[size_t(entry.Line)];
  text.Lines[size_t(entry.Line)] = entry.OldText;
  text.Lengths[size_t(entry.Line)] = int32_t(std::strlen(entry.OldText));
  entry.OldText = current;
  entry.Undone = 1;
  ++Field<int32_t>(list, UndoListLayout::UndoneCount);
  Field<int32_t>(list, UndoListLayout::LastUndone) = index;
}

}  // namespace

extern "C" {

void QM_HOST_REGISTER BorEditUndoItem(void* list, const TUndoItemRecord* item) {
  ++TextOf(Field<void*>(list, UndoListLayout::Buffer)).ItemCalls;
  if (item->Kind != 1) return;
  UndoEntry(list, item->Index);
  Revalidate(Field<void*>(list, UndoListLayout::Buffer));
}

void QM_HOST_REGISTER BorEditUndoRangeBody(void* list, int32_t first, int32_t end) {
  void* buffer = Field<void*>(list, UndoListLayout::Buffer);
  ++TextOf(buffer).RangeCalls;
  for (int32_t i = first; i < end; ++i) UndoEntry(list, i);
  Revalidate(buffer);
}

void QM_HOST_REGISTER BorEditUndoGroupDone(void* buffer, int32_t next) {
  Field<int32_t>(buffer, UndoBufferLayout::UndoPosition) = next;
}

// ---- driver (BorEditDriver.h) -------------------------------------------------

void* __stdcall BorEditNewBuffer(int32_t lines, uint32_t seed) {
  void* buffer = std::calloc(1, UndoBufferLayout::Size);
  Field<uint32_t>(buffer, UndoBufferLayout::Magic) = BufferMagic;
  auto* text = new TBufferText;
  uint32_t state = seed;
  for (int32_t i = 0; i < lines; ++i) {
    const std::string line = RandomLine(state);
    text->Lines.push_back(CopyText(line));
    text->Lengths.push_back(int32_t(line.size()));
  }
  text->Starts.assign(size_t(lines), 0);
  Field<int32_t>(buffer, UndoBufferLayout::LineCount) = lines;
  Field<TBufferText*>(buffer, UndoBufferLayout::Text) = text;
  auto* table = static_cast<TUndoTable*>(std::calloc(1, sizeof(TUndoTable) + 15 * sizeof(TUndoEntry)));
  table->Capacity = 16;
  TableOf(buffer) = table;
  void* list = static_cast<char*>(buffer) + UndoBufferLayout::UndoList;
  Field<void*>(list, UndoListLayout::Buffer) = buffer;
  Field<int32_t>(list, UndoListLayout::LastUndone) = -1;
  Field<uint8_t>(buffer, UndoBufferLayout::UndoEnabled) = 1;
  Revalidate(buffer);
  text->Revalidations = 0;
  return buffer;
}

int32_t __stdcall BorEditRecordEdits(void* buffer, int32_t count, uint32_t seed) {
  TBufferText& text = TextOf(buffer);
  TUndoTable*& table = TableOf(buffer);
  const int32_t first = table->Count;
  if (text.Lines.empty()) return first;
  uint32_t state = seed;
  for (int32_t i = 0; i < count; ++i) {
    if (table->Count == table->Capacity) {
      const int32_t capacity = table->Capacity * 2;
      table = static_cast<TUndoTable*>(
          std::realloc(table, sizeof(TUndoTable) + size_t(capacity - 1) * sizeof(TUndoEntry)));
      table->Capacity = capacity;
    }
    const size_t line = NextRandom(state) % text.Lines.size();
    const std::string edited = RandomLine(state);
    TUndoEntry& entry = table->Entries[table->Count++];
    entry = TUndoEntry{int32_t(line), text.Lines[line], 0, 0};
    text.Lines[line] = CopyText(edited);
    text.Lengths[line] = int32_t(edited.size());
  }
  return first;
}

void __stdcall BorEditUndo(void* buffer, int32_t first, int32_t last) { BorEditUndoGroup(buffer, first, last); }

void __stdcall BorEditSetUndoList(void* buffer, int32_t present) {
  Field<uint8_t>(buffer, UndoBufferLayout::UndoEnabled) = present ? 1 : 0;
}

uint32_t __stdcall BorEditBufferChecksum(void* buffer) {
  uint32_t h = 2166136261u;
  auto mix = [&h](uint32_t value) {
    for (int b = 0; b < 4; ++b) h = (h ^ ((value >> (8 * b)) & 0xFF)) * 16777619u;
  };
  const TBufferText& text = TextOf(buffer);
  for (size_t i = 0; i < text.Lines.size(); ++i) {
    for (const char* p = text.Lines[i]; *p; ++p) h = (h ^ uint8_t(*p)) * 16777619u;
    mix(uint32_t(text.Starts[i]));
  }
  const TUndoTable* table = TableOf(buffer);
  for (int32_t i = 0; i < table->Count; ++i) {
    mix(uint32_t(table->Entries[i].Undone));
    for (const char* p = table->Entries[i].OldText; *p; ++p) h = (h ^ uint8_t(*p)) * 16777619u;
  }
  void* list = static_cast<char*>(buffer) + UndoBufferLayout::UndoList;
  mix(uint32_t(Field<int32_t>(list, UndoListLayout::UndoneCount)));
  mix(uint32_t(Field<int32_t>(list, UndoListLayout::LastUndone)));
  mix(uint32_t(Field<int32_t>(buffer, UndoBufferLayout::UndoPosition)));
  mix(uint32_t(Field<int32_t>(buffer, UndoBufferLayout::TotalLength)));
  return h;
}

void __stdcall BorEditUndoCounts(void* buffer, int32_t* itemCalls, int32_t* rangeCalls, int32_t* revalidations) {
  const TBufferText& text = TextOf(buffer);
  if (itemCalls) *itemCalls = text.ItemCalls;
  if (rangeCalls) *rangeCalls = text.RangeCalls;
  if (revalidations) *revalidations = text.Revalidations;
}

const char* __stdcall BorEditLineText(void* buffer, int32_t line) {
  const TBufferText& text = TextOf(buffer);
  return line >= 0 && size_t(line) < text.Lines.size() ? text.Lines[size_t(line)] : nullptr;
}

void __stdcall BorEditFreeBuffer(void* buffer) {
  if (!buffer) return;
  TBufferText* text = &TextOf(buffer);
  for (char* line : text->Lines) std::free(line);
  TUndoTable* table = TableOf(buffer);
  for (int32_t i = 0; i < table->Count; ++i) std::free(table->Entries[i].OldText);
  std::free(table);
  delete text;
  std::free(buffer);
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&BorEditNewBuffer), BorEditDriver::UndoDriver::NewBufferFn> &&
                  std::is_same_v<decltype(&BorEditRecordEdits), BorEditDriver::UndoDriver::RecordEditsFn> &&
                  std::is_same_v<decltype(&BorEditUndo), BorEditDriver::UndoDriver::UndoFn> &&
                  std::is_same_v<decltype(&BorEditSetUndoList), BorEditDriver::UndoDriver::SetUndoListFn> &&
                  std::is_same_v<decltype(&BorEditBufferChecksum), BorEditDriver::UndoDriver::ChecksumFn> &&
                  std::is_same_v<decltype(&BorEditUndoCounts), BorEditDriver::UndoDriver::UndoCountsFn> &&
                  std::is_same_v<decltype(&BorEditLineText), BorEditDriver::UndoDriver::LineTextFn> &&
                  std::is_same_v<decltype(&BorEditFreeBuffer), BorEditDriver::UndoDriver::FreeBufferFn>,
              "exports differ from BorEditDriver.h");
