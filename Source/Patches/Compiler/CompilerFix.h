// "Compiler.Fixes" and its sub-patches for CodeInsight compiles (compiles in
// the background, on other threads than the user's build):
// - units the user edited since a thread's last compile are reset before its
//   next one (ResetEditedUnits, run first by the unit reset);
// - "Compiler.KibitzIgnoreErrors": up to 249 errors per reset unreported;
// - "Compiler.SkipBody": routine bodies skipped by a tokenizer that knows
//   nested routines, inline blocks and regions;
// - "Compiler.MainUnitFinalize": no unit finalization in CodeInsight compiles.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"
#include "Patches/Compiler/DccStructs.h"

namespace Quillmend {

// The edited units of one compiling thread.
struct TKibitzThreadInfo {
  DWORD ThreadId = 0;
  std::vector<std::wstring> ModifiedUnits;  // duplicates (ignoring case) are not added
  TDccUnit* UnitListHead = nullptr;         // the unit list head at this thread's last reset
};

// The thread records, under one lock (notifications arrive on the IDE's main
// thread, resets run on the compiling threads).
class TKibitzThreadList {
public:
  TKibitzThreadList();
  ~TKibitzThreadList();
  void Lock() { EnterCriticalSection(&FLock); }
  void Unlock() { LeaveCriticalSection(&FLock); }
  // Under the lock: the current thread's record, made if absent.
  TKibitzThreadInfo& ForCurrentThread();
  // Under the lock.
  std::vector<std::unique_ptr<TKibitzThreadInfo>>& Items() { return FItems; }
  void Clear();

private:
  CRITICAL_SECTION FLock;
  std::vector<std::unique_ptr<TKibitzThreadInfo>> FItems;
};

struct TModuleModifyNotifier;
struct TIDEServicesNotifier;

extern TKibitzThreadList* KibitzThreads;
// The live module notifiers (each with one reference of ours).
extern std::vector<TModuleModifyNotifier*>* ModuleNotifiers;
extern int32_t IgnoredErrorCount;

// Runs first in every unit reset (PreResetHandler).
void ResetEditedUnits(uint32_t eax, uint32_t edx, uint32_t ecx);
// Whether an error in the compiler's error report is reported (eax, nonzero: yes).
uint32_t SkipErrorCheck();
// What the CodeInsight-active test sees: 0 in a CodeInsight compile, else the variable.
uint32_t KibitzActiveCheck();
// The body-skipping routine: 1 when the body's end was found.
uint32_t QM_REGISTER SkipBody();
// The unit finalization the compiler calls, left out in CodeInsight compiles.
void QM_REGISTER FinalizeUnlessKibitz(uint32_t eax, uint32_t edx, uint32_t ecx);

// For tests: the IDE notifier's index and the unit name a module notifier watches.
int32_t IdeNotifierIndex();
std::wstring WatchedUnitName(const TModuleModifyNotifier* notifier);

std::vector<TPatchPlan> CompilerFixPlans();
void InstallCompilerFix();

extern const TUnitInfo Unit_CompilerFix;

} // namespace Quillmend
