// Being told by the host run-time before it unloads a module: a procedure
// registered with its AddModuleUnloadProc (found by a plan's export sites)
// and removed again with RemoveModuleUnloadProc.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"

namespace Quillmend {

// TModuleUnloadProcLW = procedure(HInstance: LongWord), host register convention.
using TModuleUnloadProc = void(QM_REGISTER*)(uint32_t instance);
using TModuleUnloadProcRegistration = void(QM_REGISTER*)(TModuleUnloadProc proc);

class TModuleUnloadNotice {
public:
  explicit TModuleUnloadNotice(TModuleUnloadProc proc) : FProc(proc) {}
  // Registers the procedure with the host (once; a second call changes nothing).
  void Register(void* addModuleUnloadProc, void* removeModuleUnloadProc);
  // Removes it again, if registered.
  void Unregister();
  bool Registered() const { return FRemove != nullptr; }

private:
  TModuleUnloadProc FProc;
  TModuleUnloadProcRegistration FRemove = nullptr;
};

}  // namespace Quillmend
