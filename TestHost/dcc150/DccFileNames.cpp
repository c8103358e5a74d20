// The compiler's character routines around its file-name routines
// (DccFileNames.S): the lead-byte table, the step over one character, the
// cut at a character's start, the run-time's text length and move, and a
// batch of calls for the workload, the tests and the benchmark.
//
// The compiler's texts are UTF-8: a byte from 0xC0 on begins a character of
// two (up to 0xDF), three (up to 0xEF) or four bytes, whose further bytes
// are 0x80..0xBF. The step takes at most those further bytes and stops at
// any other byte, so it never steps over an ASCII byte, even in a broken
// sequence.
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "DccFileNamesDriver.h"

using namespace DccFileNamesDriver;

namespace {

int32_t FurtherBytes(uint8_t lead) { return lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0; }

} // namespace

extern "C" {

extern uint8_t DccLeadBytes[256];  // DccFileNames.S: 1 from 0xC0 on

int32_t QM_HOST_REGISTER DccBaseNameLength(const char* text, int32_t length) QM_HOST_SYMBOL(DccBaseNameLength);
int32_t QM_HOST_REGISTER DccDirLength(const char* text, int32_t length) QM_HOST_SYMBOL(DccDirLength);
const char* QM_HOST_REGISTER DccFileExt(const char* text) QM_HOST_SYMBOL(DccFileExt);
void QM_HOST_REGISTER DccExtractDir(const char* source, char* dest) QM_HOST_SYMBOL(DccExtractDir);

const char* QM_HOST_REGISTER DccCharNext(const char* p) QM_HOST_SYMBOL(DccCharNext);
const char* QM_HOST_REGISTER DccCharNext(const char* p) {
  int32_t further = FurtherBytes(uint8_t(*p++));
  for (; further > 0 && (uint8_t(*p) & 0xC0) == 0x80; --further) ++p;
  return p;
}

// Walks the characters from the start up to `length`: the last start not
// behind it.
int32_t QM_HOST_REGISTER DccCharBoundary(const char* text, int32_t length) QM_HOST_SYMBOL(DccCharBoundary);
int32_t QM_HOST_REGISTER DccCharBoundary(const char* text, int32_t length) {
  int32_t offset = 0;
  while (offset < length) {
    const char* p = text + offset;
    const int32_t next = int32_t((DccLeadBytes[uint8_t(*p)] ? DccCharNext(p) : p + 1) - text);
    if (next > length) break;
    offset = next;
  }
  return offset;
}

size_t __cdecl DccTextLength(const char* text) { return std::strlen(text); }

void* __cdecl DccMoveText(void* dest, const void* source, size_t count) { return std::memmove(dest, source, count); }

uint32_t __stdcall DccFileNamesRun(const char* const* paths, int32_t count, int32_t calls) {
  std::vector<int32_t> lengths;
  for (int32_t i = 0; i < count; ++i) lengths.push_back(int32_t(std::strlen(paths[i])));
  std::vector<char> dir(1);
  for (int32_t length : lengths)
    if (size_t(length) + 1 > dir.size()) dir.resize(size_t(length) + 1);
  uint32_t h = 2166136261u;
  for (int32_t call = 0, i = 0; call < calls; ++call) {
    const char* path = paths[i];
    uint32_t answer = 0;
    switch (call & 3) {
      case 0: answer = uint32_t(DccBaseNameLength(path, lengths[size_t(i)])); break;
      case 1: answer = uint32_t(DccDirLength(path, lengths[size_t(i)])); break;
      case 2: answer = uint32_t(DccFileExt(path) - path); break;
      case 3:
        DccExtractDir(path, dir.data());
        answer = uint32_t(std::strlen(dir.data()));
        if (answer) answer = answer * 31 + uint8_t(dir[answer - 1]);
        break;
    }
    h = (h ^ answer) * 16777619u;
    if (++i == count) i = 0;
  }
  return h;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&DccBaseNameLength), BaseNameLengthFn>, "BaseNameLength");
static_assert(std::is_same_v<decltype(&DccDirLength), DirLengthFn>, "DirLength");
static_assert(std::is_same_v<decltype(&DccFileExt), FileExtFn>, "FileExt");
static_assert(std::is_same_v<decltype(&DccExtractDir), ExtractDirFn>, "ExtractDir");
static_assert(std::is_same_v<decltype(&DccCharNext), CharNextFn>, "CharNext");
static_assert(std::is_same_v<decltype(&DccCharBoundary), CharBoundaryFn>, "CharBoundary");
static_assert(std::is_same_v<decltype(&DccFileNamesRun), RunFn>, "Run");
