// Start-code sizing: a golden table of accepted forms, a table of refusals
// with their exact messages, and binutils' disassembler as an independent
// oracle for the length of every accepted form.
#include "Hooking/EngineError.h"
#include "Hooking/StartCodeSize.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

using namespace Quillmend;

namespace {

struct TCode {
  uint8_t Bytes[16] = {};
  TCode(std::initializer_list<uint8_t> bytes) {
    int i = 0;
    for (uint8_t b : bytes) Bytes[i++] = b;
  }
};

std::string SizingError(const TCode& code, int32_t minSize) {
  try {
    GetStartCodeSize(code.Bytes, minSize, nullptr);
  } catch (const EQuillmendError& e) {
    return e.what();
  }
  return "(accepted)";
}

std::string Hex(const TCode& code) {
  char text[64];
  snprintf(text, sizeof text, "%02X %02X %02X %02X", code.Bytes[0], code.Bytes[1], code.Bytes[2], code.Bytes[3]);
  return text;
}

struct TGoldenLength {
  TCode Code;
  int32_t Length;
};

// One line per decoder row: the first instruction's bytes and its length.
const TGoldenLength kGoldenLengths[] = {
    {{0x03, 0xFF}, 2},                                // add edi, edi
    {{0x31, 0xC0}, 2},                                // xor eax, eax
    {{0x33, 0xDB}, 2},                                // xor ebx, ebx
    {{0x3B, 0x05, 0x78, 0x56, 0x34, 0x12}, 6},        // cmp eax, [disp32]
    {{0x53}, 1},                                      // push ebx
    {{0x5D}, 1},                                      // pop ebp
    {{0x68, 0x78, 0x56, 0x34, 0x12}, 5},              // push imm32
    {{0x6A, 0x10}, 2},                                // push imm8
    {{0x80, 0x7B, 0x10, 0x00}, 4},                    // cmp byte [ebx+8], imm8
    {{0x80, 0x3D, 0x78, 0x56, 0x34, 0x12, 0x00}, 7},  // cmp byte [disp32], imm8
    {{0x81, 0xC4, 0x00, 0xF0, 0xFF, 0xFF}, 6},        // add esp, imm32
    {{0x83, 0xC4, 0xF0}, 3},                          // add esp, imm8
    {{0x83, 0xE4, 0xF0}, 3},                          // and esp, imm8
    {{0x83, 0x7D, 0x08, 0x00}, 4},                    // cmp dword [ebp+8], imm8
    {{0x83, 0x3D, 0x78, 0x56, 0x34, 0x12, 0x00}, 7},  // cmp dword [disp32], imm8
    {{0x85, 0xC9}, 2},                                // test ecx, ecx
    {{0x87, 0xCA}, 2},                                // xchg edx, ecx
    {{0x89, 0xD6}, 2},                                // mov esi, edx
    {{0x89, 0x0C, 0x24}, 3},                          // mov [esp], ecx
    {{0x8B, 0xEC}, 2},                                // mov ebp, esp
    {{0x8B, 0x45, 0x08}, 3},                          // mov eax, [ebp+8]
    {{0x8B, 0x80, 0x78, 0x56, 0x34, 0x12}, 6},        // mov eax, [eax+disp32]
    {{0x8D, 0x7D, 0xF0}, 3},                          // lea edi, [ebp-16]
    {{0x8D, 0x4C, 0x24, 0x04}, 4},                    // lea ecx, [esp+4]
    {{0x8D, 0x88, 0x78, 0x56, 0x34, 0x12}, 6},        // lea ecx, [eax+disp32]
    {{0x91}, 1},                                      // xchg ecx, eax
    {{0xA1, 0x78, 0x56, 0x34, 0x12}, 5},              // mov eax, [disp32]
    {{0xB1, 0x01}, 2},                                // mov cl, imm8
    {{0xBE, 0x78, 0x56, 0x34, 0x12}, 5},              // mov esi, imm32
    {{0xC2, 0x08, 0x00}, 3},                          // ret 8
    {{0xC3}, 1},                                      // ret
    {{0xC6, 0x06, 0x01}, 3},                          // mov byte [esi], imm8
    {{0xC6, 0x04, 0x24, 0x01}, 4},                    // mov byte [esp], imm8
    {{0xC6, 0x80, 0x78, 0x56, 0x34, 0x12, 0x01}, 7},  // mov byte [eax+disp32], imm8
    {{0xE8, 0x00, 0x00, 0x00, 0x00}, 5},              // call rel32
    {{0xE9, 0x00, 0x00, 0x00, 0x00}, 5},              // jmp rel32
    {{0xFF, 0x51, 0x08}, 3},                          // call [ecx+8]
    {{0xFF, 0x25, 0x78, 0x56, 0x34, 0x12}, 6},        // jmp [disp32]
    {{0xFF, 0x93, 0x78, 0x56, 0x34, 0x12}, 6},        // call [ebx+disp32]
};

struct TRefusal {
  TCode Code;
  const char* Message;
};

const char* const kBreakpoint = "Breakpoint found. Remove the breakpoint before hooking the function";

// Starts sized for a 5-byte jump that must be refused, with the exact message.
const TRefusal kRefusals[] = {
    {{0x0F, 0x1F, 0x44, 0x00}, "Cannot handle opcode f 1f 44 0"},           // two-byte opcode
    {{0x66, 0x8B, 0xC0, 0x90}, "Cannot handle opcode 66 8b c0 90"},         // operand-size prefix
    {{0x64, 0xA1, 0x00, 0x00}, "Cannot handle opcode 64 a1 0 0"},           // fs: override
    {{0x2E, 0x8B, 0xC0, 0x90}, "Cannot handle opcode 2e 8b c0 90"},         // cs: override
    {{0x3E, 0x8B, 0xC0, 0x90}, "Cannot handle opcode 3e 8b c0 90"},         // ds: override
    {{0xF3, 0xC3, 0x90, 0x90}, "Cannot handle opcode f3 c3 90 90"},         // rep prefix
    {{0xF0, 0xFF, 0x00, 0x90}, "Cannot handle opcode f0 ff 0 90"},          // lock prefix
    {{0x54, 0x8B, 0xEC, 0x90}, "Cannot handle opcode 54 8b ec 90"},         // push esp
    {{0x88, 0x04, 0x24, 0x90}, "Cannot handle opcode 88 4 24 90"},          // mov [esp], al
    {{0x88, 0x0C, 0x24, 0x90}, "Cannot handle opcode 88 c 24 90"},          // mov [esp], cl
    {{0x88, 0x45, 0xFF, 0x90}, "Cannot handle opcode 88 45 ff 90"},         // mov [ebp-1], al
    {{0x8B, 0x41, 0x04, 0x90}, "Cannot handle opcode 8b 41 4 90"},          // b1 outside the row's set
    {{0x89, 0x04, 0x25, 0x78}, "Cannot handle opcode 89 4 25 78"},          // b2 must be 0x24
    {{0xC6, 0x04, 0x25, 0x78}, "Cannot handle opcode c6 4 25 78"},          // b2 must be 0x24
    {{0xEB, 0x03, 0x90, 0x90}, "Cannot handle opcode eb 3 90 90"},          // short jump
    {{0x55, 0x0F, 0xB6, 0xC0, 0x90}, "Cannot handle opcode f b6 c0 90"},    // the bytes at the position
    {{0xCC, 0x8B, 0xEC, 0x90}, kBreakpoint},
    {{0x55, 0xCC, 0xEC, 0x90}, kBreakpoint},
    {{0xC3}, "Function is too small"},
    {{0x33, 0xC0, 0xC3, 0x90, 0x90}, "Function is too small"},
    {{0xC2, 0x04, 0x00, 0x90, 0x90}, "Function is too small"},
};

} // namespace

TEST(StartCodeSize, GoldenLengthOfEveryDecoderRow) {
  for (const TGoldenLength& c : kGoldenLengths)
    EXPECT_EQ(GetStartCodeSize(c.Code.Bytes, 1, nullptr), c.Length) << Hex(c.Code);
}

TEST(StartCodeSize, RefusalsCarryTheExactMessage) {
  for (const TRefusal& r : kRefusals) EXPECT_EQ(SizingError(r.Code, 5), r.Message) << Hex(r.Code);
}

TEST(StartCodeSize, CountsWholeInstructionsUntilTheMinimumIsCovered) {
  const TCode frame{0x55, 0x8B, 0xEC, 0x83, 0xC4, 0xF0, 0x53};
  EXPECT_EQ(GetStartCodeSize(frame.Bytes, 5, nullptr), 6);  // 1 + 2 + 3
  EXPECT_EQ(GetStartCodeSize(frame.Bytes, 3, nullptr), 3);
  EXPECT_EQ(GetStartCodeSize(frame.Bytes, 4, nullptr), 6);

  // Wine's GetExitCodeProcess aligns its stack first: lea ecx,[esp+4] / and esp,-16 / push [ecx-4].
  const TCode alignedStart{0x8D, 0x4C, 0x24, 0x04, 0x83, 0xE4, 0xF0, 0xFF, 0x71, 0xFC};
  EXPECT_EQ(GetStartCodeSize(alignedStart.Bytes, 5, nullptr), 7);

  const TCode longLast{0x55, 0x80, 0x3D, 0x78, 0x56, 0x34, 0x12, 0x00};
  EXPECT_EQ(GetStartCodeSize(longLast.Bytes, 5, nullptr), 8);  // last instruction counted whole

  // A return that completes the minimum is fine; only code needed after it is not.
  const TCode exact{0x55, 0x8B, 0xEC, 0x5D, 0xC3};
  EXPECT_EQ(GetStartCodeSize(exact.Bytes, 5, nullptr), 5);

  const TCode breakpoint{0xCC};  // a minimum of zero or less reads nothing
  EXPECT_EQ(GetStartCodeSize(breakpoint.Bytes, 0, nullptr), 0);
  EXPECT_EQ(GetStartCodeSize(breakpoint.Bytes, -3, nullptr), 0);
}

TEST(StartCodeSize, OffsetTableGetsTheDisplacementOfARelativeCallOrJump) {
  const TCode callAfterPush{0x55, 0xE8, 0x10, 0x00, 0x00, 0x00};
  TOffsetTable table;
  EXPECT_EQ(GetStartCodeSize(callAfterPush.Bytes, 5, &table), 6);
  ASSERT_EQ(table.Offsets.size(), 1u);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(table.Offsets[0]), callAfterPush.Bytes + 2);

  const TCode noRelative{0xFF, 0x25, 0x78, 0x56, 0x34, 0x12};
  table.Offsets.clear();
  GetStartCodeSize(noRelative.Bytes, 5, &table);
  EXPECT_TRUE(table.Offsets.empty());
}

// Lengths found by binutils' disassembler for every accepted form (every
// opcode and every listed second byte of every row).
extern "C" {
#define QM_DECODER_SAMPLE(label, length) extern const uint8_t label[];
#include "DecoderSampleLengths.h"
#undef QM_DECODER_SAMPLE
}

TEST(StartCodeSize, AgreesWithTheBinutilsDisassembler) {
  struct TSample {
    const char* Label;
    const uint8_t* Code;
    int32_t Length;
  };
  const TSample samples[] = {
#define QM_DECODER_SAMPLE(label, length) {#label, label, length},
#include "DecoderSampleLengths.h"
#undef QM_DECODER_SAMPLE
  };
  EXPECT_GE(sizeof samples / sizeof samples[0], 90u);  // the generator found every sample
  for (const TSample& s : samples) EXPECT_EQ(GetStartCodeSize(s.Code, 1, nullptr), s.Length) << s.Label;
}
