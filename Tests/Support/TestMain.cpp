// The main of every GoogleTest program. GoogleTest under MinGW cannot catch
// structured exceptions, and Wine's own handling of an unhandled one (a
// debugger started in the background) has let a crashed test program end
// with exit code 0. So the program ends itself: an unhandled exception or
// fault of any thread prints its code and address and terminates the
// process with CrashExitCode.
//
// The filter may run on the last page of an overflowed stack: it formats
// into a static buffer and writes with WriteFile, nothing that needs more
// than a few bytes of stack or a lock a crashed thread may hold.
#include <gtest/gtest.h>
#include <windows.h>

namespace {

constexpr UINT CrashExitCode = 3;

char* PutText(char* at, const char* text) {
  while (*text) *at++ = *text++;
  return at;
}

char* PutHex(char* at, uintptr_t value) {
  at = PutText(at, "0x");
  for (int shift = 28; shift >= 0; shift -= 4) *at++ = "0123456789ABCDEF"[(value >> shift) & 0xF];
  return at;
}

LONG WINAPI EndOnUnhandledException(EXCEPTION_POINTERS* pointers) {
  static char line[160];
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  char* at = PutText(line, "\nUnhandled exception ");
  at = PutHex(at, record->ExceptionCode);
  at = PutText(at, " at address ");
  at = PutHex(at, reinterpret_cast<uintptr_t>(record->ExceptionAddress));
  if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2) {
    at = PutText(at, record->ExceptionInformation[0] == 8   ? " (execution of "
                     : record->ExceptionInformation[0] == 1 ? " (write to "
                                                            : " (read of ");
    at = PutHex(at, record->ExceptionInformation[1]);
    at = PutText(at, ")");
  }
  at = PutText(at, ": the test program ends as failed\n");
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(at - line), &written, nullptr);
  TerminateProcess(GetCurrentProcess(), CrashExitCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int main(int argc, char** argv) {
  SetUnhandledExceptionFilter(EndOnUnhandledException);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
