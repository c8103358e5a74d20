// The linker's printer behind W (DccMapLines.S): the C run-time's format
// rules, the text handed to the output routine W names (the buffered file's
// text write), W's calls counted; and a line-number section written entry by entry.
#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <type_traits>

#include "DccFilesDriver.h"
#include "DccMapLinesDriver.h"

using namespace DccMapLinesDriver;

extern "C" {

uint32_t DccMapPrintfCalls = 0;

int32_t __cdecl DccMapPrintf(void* file, const char* format, ...) QM_HOST_SYMBOL(DccMapPrintf);
void __stdcall DccMapLine(uint32_t offset, int32_t segment, int32_t line, void* file) QM_HOST_SYMBOL(DccMapLine);
extern uint32_t DccMapLineEntries QM_HOST_SYMBOL(DccMapLineEntries);

using TOutput = uint32_t(__cdecl*)(void* file, const void* data, uint32_t count);

int32_t __cdecl DccMapPrinter(TOutput output, void* file, const char* format, int32_t, int32_t, va_list arguments)
    QM_HOST_SYMBOL(DccMapPrinter);
int32_t __cdecl DccMapPrinter(TOutput output, void* file, const char* format, int32_t, int32_t, va_list arguments) {
  ++DccMapPrintfCalls;
  char text[1024];
  const int length = std::vsnprintf(text, sizeof text, format, arguments);
  if (length <= 0) return 0;
  return int32_t(output(file, text, uint32_t(length < int(sizeof text) ? length : int(sizeof text) - 1)));
}

void __stdcall DccWriteLineNumbers(void* file, int32_t count, uint32_t seed) {
  DccMapLineEntries = 0;
  for (int32_t i = 0; i < count; ++i) {
    seed = seed * 1103515245u + 12345u;
    DccMapLine(seed & 0x3FFFFF, int32_t((seed >> 24) & 7), i + 1 + int32_t(seed >> 29) * 1000, file);
  }
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&DccMapLine), LineFn>, "Line");
static_assert(std::is_same_v<decltype(&DccWriteLineNumbers), WriteLinesFn>, "WriteLines");
