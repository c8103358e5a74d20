// The editor kernel interface with the pack: EkEval makes no automatic edit
// while undo is disabled and leaves the buffer's flags as they were in all
// 16 combinations of the four bits (also when the command raises), passing
// the kernel's 16-bit result on; a copied block keeps its trailing blanks
// and no garbage after them, a memory stream keeps the bytes it held beyond
// the write, a stream that is no memory stream is left as the kernel leaves
// it, and TextBlockSize equals the bytes written.
#include <gtest/gtest.h>

#include <cstdlib>

#include "Common/HostGuard.h"
#include "Common/HostRtl.h"
#include "EditorStandIns.h"
#include "rtl150/ConversionsDriver.h"

namespace {

using EditorKernelDriver::TEdCmd;

constexpr uint32_t KeepBlanks = 0x20, AutoTrim = 0x40, NoAutoEdits = 0x200, UndoDisabled = 0x800;

struct TEval {
  uint16_t Result;
  std::string Line;
  int UndoRecords, AutomaticEdits;
  uint32_t FlagsAfter;
  std::wstring Raised;
};

TEval Eval(uint32_t flags, uint16_t kind) {
  const EditorKernelDriver::Driver& k = EditorStandIns::Kernel();
  void* view = k.NewView("begin\n  Inc(I);   \nend;");
  k.SetFlags(view, flags);
  k.SetCaret(view, 1, 2);
  const TEdCmd command{kind, 0, "X"};
  TEval e{};
  QmHost::HostExceptionReport report;
  QmHost::CallHostGuarded([&] { e.Result = k.EkEval(view, &command, 5); }, report, QmHost::LoadedHostRtl());
  e.Raised = report.Text();
  e.Line = k.LineText(view, 1);
  k.Counts(view, &e.UndoRecords, &e.AutomaticEdits);
  e.FlagsAfter = k.Flags(view);
  k.FreeView(view);
  return e;
}

TEST(EditorParserDisableUndoProtect, NoAutomaticEditWithUndoDisabledFlagsKept) {
  EditorStandIns::Load();
  // The fault: with undo disabled the kernel trims the line on its own, unrecorded.
  const TEval host = Eval(UndoDisabled | AutoTrim, 1);
  EXPECT_EQ(host.Line, "  XInc(I);");
  EXPECT_EQ(host.AutomaticEdits, 1);
  EXPECT_EQ(host.UndoRecords, 0);
  std::vector<TEval> before;
  for (uint32_t bits = 0; bits < 16; ++bits) {
    const uint32_t flags = (bits & 1 ? UndoDisabled : 0) | (bits & 2 ? NoAutoEdits : 0) | (bits & 4 ? AutoTrim : 0) |
                           (bits & 8 ? KeepBlanks : 0) | 0x10000;
    before.push_back(Eval(flags, 1));
  }
  EditorStandIns::Install();
  ASSERT_EQ(EditorStandIns::Status(L"IDE.Editor.DisableUndoProtect"), L"applied") << EditorStandIns::Reasons();
  for (uint32_t bits = 0; bits < 16; ++bits) {
    const uint32_t flags = (bits & 1 ? UndoDisabled : 0) | (bits & 2 ? NoAutoEdits : 0) | (bits & 4 ? AutoTrim : 0) |
                           (bits & 8 ? KeepBlanks : 0) | 0x10000;
    SCOPED_TRACE(flags);
    const TEval e = Eval(flags, 1);
    EXPECT_EQ(e.FlagsAfter, flags);
    EXPECT_EQ(e.Result, 0x0501);
    if (flags & UndoDisabled) {
      EXPECT_EQ(e.AutomaticEdits, 0);
      EXPECT_EQ(e.Line, "  XInc(I);   ");
    } else {
      EXPECT_EQ(e.Line, before[bits].Line);  // as the kernel does
      EXPECT_EQ(e.AutomaticEdits, before[bits].AutomaticEdits);
      EXPECT_EQ(e.UndoRecords, before[bits].UndoRecords);
    }
    const TEval raised = Eval(flags, 2);
    EXPECT_EQ(raised.Raised, L"Exception: Editor command failed");
    EXPECT_EQ(raised.FlagsAfter, flags);
  }
}

struct TCopy {
  std::string Bytes;  // the stream's bytes up to its size
  int Size, Position, BlockSize;
};

TCopy Copy(const char* text, int first, int last, bool lineBreak, const std::string& prefill = "", int at = 0) {
  const EditorKernelDriver::Driver& k = EditorStandIns::Kernel();
  QmHost::RtlConversions rtl;
  rtl.Resolve(GetModuleHandleW(L"rtl150.bpl"), GetModuleHandleW(L"coreide150.bpl"));
  void* view = k.NewView(text);
  k.SetBlock(view, first, last);
  void* stream = rtl.NewMemoryStream();
  if (!prefill.empty()) QmHost::FillMemoryStream(stream, prefill);
  using TSeek = int32_t(QM_HOST_REGISTER*)(void*, int32_t, int);
  reinterpret_cast<TSeek>(QmHost::VmtSlot(*static_cast<void**>(stream), QmHost::StreamSlot::Seek32))(stream, at, 0);
  k.WriteBlockToStream(view, stream, lineBreak ? 1 : 0);
  TCopy copy{QmHost::MemoryStreamBytes(stream), 0, QmHost::MemoryStreamPosition(stream), k.TextBlockSize(view, lineBreak)};
  copy.Size = int(copy.Bytes.size());
  QmHost::LoadedHostRtl()->objectFree(stream);
  k.FreeView(view);
  return copy;
}

const char* const Block = "first  \nsecond\t\nthird   ";

TEST(EditorParserCopyTrim, TrailingBlanksCopiedWithoutGarbage) {
  EditorStandIns::Load();
  const TCopy host = Copy(Block, 0, 2, false);
  EXPECT_EQ(host.Position, 20);  // the blanks trimmed...
  EXPECT_EQ(host.Size, 28);      // ...but room left for them and a line break
  EditorStandIns::Install();
  for (bool lineBreak : {false, true}) {
    const std::string text = std::string("first  \r\nsecond\t\r\nthird   ") + (lineBreak ? "\r\n" : "");
    const TCopy copy = Copy(Block, 0, 2, lineBreak);
    EXPECT_EQ(copy.Bytes, text);
    EXPECT_EQ(copy.Position, copy.Size);
    EXPECT_EQ(copy.BlockSize, copy.Size);
  }
}

TEST(EditorParserCopyTrim, AStreamPositionedMidWayKeepsItsLaterBytes) {
  EditorStandIns::Load();
  EditorStandIns::Install();
  const std::string before(60, 'x');
  const TCopy copy = Copy(Block, 1, 1, false, before, 10);
  EXPECT_EQ(copy.Size, 60);
  EXPECT_EQ(copy.Bytes, std::string(10, 'x') + "second\t" + std::string(43, 'x'));
  // Near its end: it grows to the written text, no further.
  const TCopy grown = Copy(Block, 0, 0, false, before, 55);
  EXPECT_EQ(grown.Bytes, std::string(55, 'x') + "first  ");
}

TEST(EditorParserCopyTrim, AStreamThatIsNoMemoryStreamIsLeftAsTheKernelLeavesIt) {
  EditorStandIns::Load();
  const EditorKernelDriver::Driver& k = EditorStandIns::Kernel();
  auto copyToCounter = [&k](int state[3]) {
    void* view = k.NewView(Block);
    void* stream = k.NewCountingStream();
    k.WriteBlockToStream(view, stream, 0);
    k.CountingStreamState(stream, &state[0], &state[1], &state[2]);
    std::free(stream);
    k.FreeView(view);
  };
  int host[3], patched[3];
  copyToCounter(host);
  EditorStandIns::Install();
  copyToCounter(patched);
  EXPECT_EQ(patched[0], host[0]);   // the size the kernel made: not cut
  EXPECT_EQ(patched[1], 26);        // the blanks written
  EXPECT_EQ(patched[0], 28);
}

} // namespace
