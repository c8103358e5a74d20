// Around the warnings (DccWarnings.S): the compiler's LoadResString over
// its string table, what a shown warning writes, the message list's lines,
// and what the driver reads.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <vector>

#include "DccWarningsDriver.h"

using namespace DccWarningsDriver;

namespace {

TCounters g_counters = {};
std::vector<int32_t> g_lines;
size_t g_line = 0;
bool g_lineOpen = false;
char* g_list = nullptr;
int32_t g_listSize = 0, g_listUsed = 0;

uint32_t Mix(uint32_t h, uint32_t v) { return (h ^ v) * 16777619u; }

uint32_t MixText(uint32_t h, const char* text, size_t length) {
  for (size_t i = 0; i < length; ++i) h = Mix(h, uint8_t(text[i]));
  return h;
}

HMODULE Self() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&Self), &self);
  return self;
}

void Append(const char* text, int32_t length) {
  if (length > g_listSize - g_listUsed) length = g_listSize - g_listUsed;
  std::memcpy(g_list + g_listUsed, text, size_t(length));
  g_listUsed += length;
}

// Symbol records for W46: a few names, some made up by the compiler.
struct TRecord {
  uint8_t Bytes[NameOffset + 32];
};
std::vector<TRecord> MakeRecords() {
  std::vector<TRecord> records;
  for (const char* name : {"TForm1", "@Closure$1", "Button1Click", "$Frame0", "L\xC3\xA4nge", "9Lives", ""}) {
    TRecord record = {};
    std::strcpy(reinterpret_cast<char*>(record.Bytes + NameOffset), name);
    records.push_back(record);
  }
  return records;
}

}  // namespace

extern "C" {

int32_t QM_HOST_REGISTER DccWarn46(const void* record) QM_HOST_SYMBOL(DccWarn46);
int32_t QM_HOST_REGISTER DccWarn47(const void* id) QM_HOST_SYMBOL(DccWarn47);
uint32_t QM_HOST_REGISTER DccMessageList() QM_HOST_SYMBOL(DccMessageList);

// The compiler's LoadResString: the text into the caller's 256 bytes.
const char* QM_HOST_REGISTER DccLoadResString(uint32_t id, char* buffer) QM_HOST_SYMBOL(DccLoadResString);
const char* QM_HOST_REGISTER DccLoadResString(uint32_t id, char* buffer) {
  ++g_counters.Loads;
  if (LoadStringA(Self(), id, buffer, 256) <= 0) buffer[0] = '\0';
  return buffer;
}

// A shown warning: "W10<nn> " and its text with its arguments.
void __cdecl DccEmitWarning(int32_t number, const char* const* arguments) QM_HOST_SYMBOL(DccEmitWarning);
void __cdecl DccEmitWarning(int32_t number, const char* const* arguments) {
  char text[512];
  int length;
  if (number == 46)
    length = std::snprintf(text, sizeof text, "W10%d '%s' in %s (%s)", number, arguments[0], arguments[1], arguments[2]);
  else
    length = std::snprintf(text, sizeof text, "W10%d %s", number, arguments[0]);
  if (length > int(sizeof text) - 1) length = int(sizeof text) - 1;
  ++g_counters.Shown;
  g_counters.Checksum = MixText(Mix(g_counters.Checksum, uint32_t(number)), text, size_t(length));
}

char* QM_HOST_REGISTER DccListOpen(int32_t size) QM_HOST_SYMBOL(DccListOpen);
char* QM_HOST_REGISTER DccListOpen(int32_t size) {
  g_list = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size_t(size)));
  g_listSize = size;
  g_listUsed = 0;
  g_line = 0;
  g_lineOpen = false;
  return g_list;
}

uint32_t __cdecl DccMessageLength(const char* text) QM_HOST_SYMBOL(DccMessageLength);
uint32_t __cdecl DccMessageLength(const char* text) { return uint32_t(std::strlen(text)); }

int32_t QM_HOST_REGISTER DccListAppend(const char* text, int32_t length) QM_HOST_SYMBOL(DccListAppend);
int32_t QM_HOST_REGISTER DccListAppend(const char* text, int32_t length) {
  Append(text, length);
  return g_listUsed;
}

// The current line written (its own text), the next one taken.
int32_t QM_HOST_REGISTER DccListNext() QM_HOST_SYMBOL(DccListNext);
int32_t QM_HOST_REGISTER DccListNext() {
  if (g_lineOpen) {
    char text[32];
    const int length = std::snprintf(text, sizeof text, "line %u kind %d\n", unsigned(g_line), g_lines[g_line]);
    Append(text, length);
    ++g_line;
  }
  g_lineOpen = g_line < g_lines.size();
  return g_lineOpen ? 1 : 0;
}

int32_t QM_HOST_REGISTER DccListIsWarning() QM_HOST_SYMBOL(DccListIsWarning);
int32_t QM_HOST_REGISTER DccListIsWarning() { return g_lineOpen && g_lines[g_line] != 0 ? 1 : 0; }

uint32_t QM_HOST_REGISTER DccListClose() QM_HOST_SYMBOL(DccListClose);
uint32_t QM_HOST_REGISTER DccListClose() {
  const uint32_t h = MixText(2166136261u, g_list, size_t(g_listUsed));
  HeapFree(GetProcessHeap(), 0, g_list);
  g_list = nullptr;
  return h;
}

void __stdcall DccListLines(const int32_t* kinds, int32_t count) {
  g_lines.assign(kinds, kinds + (count > 0 ? count : 0));
}

void __stdcall DccWarnBatch(int32_t count) {
  static const std::vector<TRecord> records = MakeRecords();
  for (int32_t i = 0; i < count; ++i) {
    if (i % 2 == 0)
      DccWarn46(records[size_t(i / 2) % records.size()].Bytes);
    else
      DccWarn47(reinterpret_cast<const void*>(uintptr_t(FirstWarnText + uint32_t(i / 2) % (LastWarnText - FirstWarnText + 1))));
  }
}

void __stdcall DccWarnCounters(TCounters* counters) { *counters = g_counters; }

void __stdcall DccWarnReset() { g_counters = TCounters{}; }

}  // extern "C"

static_assert(std::is_same_v<decltype(&DccWarn46), WarnFn>, "Warn46");
static_assert(std::is_same_v<decltype(&DccWarn47), WarnFn>, "Warn47");
static_assert(std::is_same_v<decltype(&DccLoadResString), LoadResStringFn>, "LoadResString");
static_assert(std::is_same_v<decltype(&DccMessageList), MessageListFn>, "MessageList");
static_assert(std::is_same_v<decltype(&DccWarnBatch), BatchFn>, "Batch");
static_assert(std::is_same_v<decltype(&DccListLines), ListLinesFn>, "ListLines");
static_assert(std::is_same_v<decltype(&DccWarnCounters), CountersFn>, "Counters");
static_assert(std::is_same_v<decltype(&DccWarnReset), ResetFn>, "Reset");
