#include "Fixtures.h"

#include "Hooking/ImportHooking.h"

#include <gtest/gtest.h>

namespace {

int writeCount = 0;
// Read before the slot is rewritten: afterwards the slot leads to the spy.
decltype(&WriteProcessMemory) realWriteProcessMemory = nullptr;

BOOL WINAPI CountingWriteProcessMemory(HANDLE process, LPVOID address, LPCVOID buffer, SIZE_T size, SIZE_T* written) {
  ++writeCount;
  return realWriteProcessMemory(process, address, buffer, size, written);
}

void* Original() { return reinterpret_cast<void*>(realWriteProcessMemory); }

}  // namespace

TWriteSpy::TWriteSpy() {
  writeCount = 0;
  realWriteProcessMemory = &WriteProcessMemory;
  EXPECT_TRUE(Quillmend::ReplaceDllImport(GetModuleHandleW(nullptr), L"kernel32.dll", Original(),
                                          reinterpret_cast<void*>(&CountingWriteProcessMemory)));
}

TWriteSpy::~TWriteSpy() {
  Quillmend::ReplaceDllImport(GetModuleHandleW(nullptr), L"kernel32.dll",
                              reinterpret_cast<void*>(&CountingWriteProcessMemory), Original());
}

int TWriteSpy::Writes() const { return writeCount; }
