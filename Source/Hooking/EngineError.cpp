#include "Hooking/EngineError.h"

#include <cstdarg>
#include <cstdio>
#include <windows.h>

namespace Quillmend {

void RaiseError(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  throw EQuillmendError(buffer);
}

void RaiseOSError(unsigned long errorCode) {
  char text[512] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, errorCode,
                           0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) text[--n] = 0;
  if (errorCode != 0)
    RaiseError("System Error.  Code: %lu.\r\n%s", errorCode, text);
  RaiseError("A call to an OS function failed");
}

void RaiseLastOSError() { RaiseOSError(GetLastError()); }

void RaiseOutOfMemory() { throw EQuillmendError("Out of memory"); }

} // namespace Quillmend
