#include "Patches/Compiler/CompilerFileAge.h"

#include <windows.h>

#include "Hooking/TextCompare.h"
#include "Patches/Compiler/CompilerFilePatterns.h"

namespace Quillmend {

TFileAgeProc volatile FileAgeSlot = nullptr;
TDccFileCallbacks** DccFileCallbacksVar = nullptr;
TDccMemoryFile** DccMemoryFilesHead = nullptr;

namespace {

namespace Patterns = CompilerFilePatterns;

constexpr int32_t SearchLimit = 0x10000;
constexpr int MaxWidePath = 520;
DWORD g_mainThread = 0;

// The age through the IDE's table; the compiler's own query asks the file
// system when there is no table, and so does this.
uint32_t CallbackFileAge(const char* path) {
  TDccFileCallbacks* table = DccFileCallbacksVar ? *DccFileCallbacksVar : nullptr;
  if (!table || !table->FileAge) return DiskFileAge(path);
  return table->FileAge(path);
}

bool HeldInMemory(const char* path) {
  if (!DccMemoryFilesHead) return false;
  for (TDccMemoryFile* file = *DccMemoryFilesHead; file; file = file->Next)
    if (file->Name[0] == path[0] && Utf8CompareText(file->Name, path) == 0) return true;
  return false;
}

}  // namespace

// The redirected query jumps to the slot's routine with the path in eax.
extern "C" void QmFileAgeStub() asm("QmFileAgeStub");
asm(".text\n"
    ".balign 16\n"
    "QmFileAgeStub:\n"
    "  jmp *_QmFileAgeSlot\n");

void NoteIdeMainThread() { g_mainThread = GetCurrentThreadId(); }

bool OnIdeMainThread() { return !g_mainThread || GetCurrentThreadId() == g_mainThread; }

uint32_t DiskFileAge(const char* path) {
  wchar_t wide[MaxWidePath + 1];
  const int length = MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, MaxWidePath + 1);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (length <= 0 || !GetFileAttributesExW(wide, GetFileExInfoStandard, &data)) return 0;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
  FILETIME local;
  WORD date = 0, time = 0;
  if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToDosDateTime(&local, &date, &time)) return 0;
  return (uint32_t(date) << 16) | time;
}

uint32_t QM_REGISTER ThreadAwareFileAge(char* path) {
  if (!path) return 0;
  if (OnIdeMainThread()) return CallbackFileAge(path);
  if (HeldInMemory(path)) return 1;
  wchar_t wide[MaxWidePath + 1];
  const int length = MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, MaxWidePath + 1);
  if (length <= 0 || GetFileAttributesW(wide) == INVALID_FILE_ATTRIBUTES) return 0;
  return CallbackFileAge(path);
}

TPatchPlan BackgroundCompilerFileExistsPlan() {
  TPatchPlan plan(L"Compiler.BackgroundCompilerFileExists", L"Compiler optimizations (Restore FileExists)");
  TSiteRef age = plan.Pattern(L"FileAge", L"dcc150.dll", Patterns::FileAge, SearchLimit);
  TSiteRef memory = plan.Pattern(L"MemoryFiles", L"dcc150.dll", Patterns::MemoryFiles, SearchLimit);
  TCaptureRef callbacks = plan.Operand(age, 0x07);
  TCaptureRef head = plan.Operand(memory, 0x0F);
  plan.ExpectEqual(head, plan.Operand(memory, 0x17), L"MemoryFiles +0x17: the list's head");
  plan.Redirect(age, &QmFileAgeStub);
  plan.OnCommit([=](const TPlanValues& v) {
    DccFileCallbacksVar = v.Get<TDccFileCallbacks**>(callbacks);
    DccMemoryFilesHead = v.Get<TDccMemoryFile**>(head);
    FileAgeSlot = &ThreadAwareFileAge;
  });
  plan.OnRollback([] { FileAgeSlot = nullptr; });
  return plan;
}

} // namespace Quillmend
