// The editor kernel's text buffer with its undo list, as the undo routines
// meet it (the record layout is the test host's choice where the pack reads
// nothing). The buffer record is large: the undo list object and the
// "has an undo list" flag lie at 0x8600 and 0x8640, where the undo routine
// addresses them with 32-bit displacements.
#pragma once

#include <cstdint>

#include "Common/HostLayout.h"

namespace BorEdit {

namespace UndoBufferLayout {
constexpr int Magic = 0;         // 'EdBf'
constexpr int LineCount = 4;
constexpr int Text = 8;          // the lines (kernel-side storage)
constexpr int UndoTable = 12;    // TUndoTable*
constexpr int Checksum = 16;     // FNV-1a over every line, kept by the revalidation
constexpr int TotalLength = 20;  // bytes of text, kept by the revalidation
constexpr int UndoPosition = 24; // the index after the last group undone
constexpr int UndoList = 0x8600; // the undo list object (TUndoList)
constexpr int UndoEnabled = 0x8640;  // byte: the buffer keeps an undo list
constexpr int Size = 0x8644;
}  // namespace UndoBufferLayout

namespace UndoListLayout {
constexpr int Buffer = 0;       // the owning buffer
constexpr int UndoneCount = 4;  // entries undone so far
constexpr int LastUndone = 8;   // index of the entry undone last (-1: none)
constexpr int Size = 12;
}  // namespace UndoListLayout

// The undo table: a header of 16 bytes, then the entries.
struct TUndoEntry {
  int32_t Line;      // the line the edit changed
  char* OldText;     // what the line held before it (kernel memory, zero-terminated)
  int32_t Undone;    // 1 once undone
  int32_t Reserved;
};
struct TUndoTable {
  int32_t Count;
  int32_t Capacity;
  int32_t Reserved[2];
  TUndoEntry Entries[1];  // Capacity of them
};

// The per-item record the undo loop passes (packed: a word, then the index).
#pragma pack(push, 1)
struct TUndoItemRecord {
  uint16_t Kind;  // 1: undo
  int32_t Index;
};
#pragma pack(pop)

}  // namespace BorEdit

extern "C" {
// The undo routine (UndoListCode.S): EAX = buffer, EDX = first index, ECX =
// last index (inclusive); every entry undone in order, one per-item call each.
void QM_HOST_REGISTER BorEditUndoGroup(void* buffer, int32_t first, int32_t last) QM_HOST_SYMBOL(BorEditUndoGroup);
// The range routine: EAX = undo list, EDX = first index, ECX = end (exclusive).
void QM_HOST_REGISTER BorEditUndoRange(void* list, int32_t first, int32_t end) QM_HOST_SYMBOL(BorEditUndoRange);

// Called from the assembly (host register convention).
void QM_HOST_REGISTER BorEditUndoItem(void* list, const BorEdit::TUndoItemRecord* item) QM_HOST_SYMBOL(BorEditUndoItem);
void QM_HOST_REGISTER BorEditUndoRangeBody(void* list, int32_t first, int32_t end) QM_HOST_SYMBOL(BorEditUndoRangeBody);
void QM_HOST_REGISTER BorEditUndoGroupDone(void* buffer, int32_t next) QM_HOST_SYMBOL(BorEditUndoGroupDone);
}
