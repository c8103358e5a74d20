// The compiler's file-age query, redirected through one slot of ours: the
// compiler's routine calls whatever the slot holds ("Compiler.Background
// CompilerFileExists" puts ThreadAwareFileAge there; the directory cache
// later puts its cached query in front of it). The IDE's callback table is
// only read, never written.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// A file-age routine: eax = path (zero-terminated UTF-8, in a buffer of the
// caller's that a cached answer may rewrite with the name's case on disk),
// result DOS date/time of local time, 0 when the file does not exist.
using TFileAgeProc = uint32_t(QM_REGISTER*)(char* path);

// The routine the redirected query calls.
extern TFileAgeProc volatile FileAgeSlot asm("_QmFileAgeSlot");

// The IDE's callback table as the compiler holds it (stdcall slots).
struct TDccFileCallbacks {
  void* Reserved00;
  int32_t(__stdcall* CreateUnitOutput)(const char* path);  // 0x04
  int32_t(__stdcall* CreateOutput)(const char* path);      // 0x08
  void* Reserved0C[5];
  uint32_t(__stdcall* FileAge)(const char* path);          // 0x20
};

// A file the compiler holds in memory (its name at 0x0C).
struct TDccMemoryFile {
  TDccMemoryFile* Next;
  void* Data;
  uint32_t Size;
  char Name[4];
};

// The compiler's variables, captured by the plan; null until then.
extern TDccFileCallbacks** DccFileCallbacksVar;
extern TDccMemoryFile** DccMemoryFilesHead;

// On the IDE's main thread the IDE's file age; elsewhere 1 for a file the
// compiler holds in memory, 0 for a file the file system does not have, else
// the IDE's file age. Without a callback table the file system's age.
uint32_t QM_REGISTER ThreadAwareFileAge(char* path);
// The age the file system gives (last write, local time, DOS); 0 when missing.
uint32_t DiskFileAge(const char* path);

// The IDE's main thread: the one that runs the expert entry's installation.
void NoteIdeMainThread();
bool OnIdeMainThread();

TPatchPlan BackgroundCompilerFileExistsPlan();

} // namespace Quillmend
