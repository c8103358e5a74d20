// The editor kernel's interface unit (Edkrnl) as coreide150.bpl exports it:
// views over text buffers, the command evaluator and the block copy. Record
// layouts beyond what the pack reads (the buffer at +12 of a view, the flag
// word at +6 of a buffer) are the test host's choice.
#pragma once

#include <cstdint>
#include <cstring>

#include "EditorKernelDriver.h"

namespace CoreIde {

namespace EkViewLayout {
constexpr int Magic = 0;
constexpr int BlockStart = 4;  // first line of the block (0-based)
constexpr int BlockEnd = 8;    // last line of the block (inclusive)
constexpr int Buffer = 12;     // TEkBuffer*
constexpr int CaretLine = 16;
constexpr int CaretColumn = 20;
constexpr int Size = 24;
}  // namespace EkViewLayout

namespace EkBufferLayout {
constexpr int Magic = 0;
constexpr int Flags = 6;            // 32-bit, unaligned
constexpr int Lines = 12;           // kernel-side storage
constexpr int UndoRecords = 16;     // edits recorded for undo
constexpr int AutomaticEdits = 20;  // edits the kernel made on its own
constexpr int Size = 24;
}  // namespace EkBufferLayout

// The buffer's flag bits as the kernel reads them (the test host's meaning).
namespace EkFlag {
constexpr uint32_t KeepTrailingBlanks = 0x20;  // a copy keeps them
constexpr uint32_t AutoTrim = 0x40;            // trailing blanks go: after an edit, and in a copy
constexpr uint32_t NoAutoEdits = 0x200;        // the kernel edits nothing on its own
constexpr uint32_t UndoDisabled = 0x800;       // nothing is recorded for undo
}  // namespace EkFlag

inline uint32_t BufferFlags(const void* buffer) {
  uint32_t flags;
  std::memcpy(&flags, static_cast<const char*>(buffer) + EkBufferLayout::Flags, 4);
  return flags;
}
inline void SetBufferFlags(void* buffer, uint32_t flags) {
  std::memcpy(static_cast<char*>(buffer) + EkBufferLayout::Flags, &flags, 4);
}

using TEdCmd = EditorKernelDriver::TEdCmd;

}  // namespace CoreIde
