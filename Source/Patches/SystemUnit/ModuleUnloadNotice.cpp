#include "Patches/SystemUnit/ModuleUnloadNotice.h"

namespace Quillmend {

void TModuleUnloadNotice::Register(void* addModuleUnloadProc, void* removeModuleUnloadProc) {
  if (FRemove) return;
  reinterpret_cast<TModuleUnloadProcRegistration>(addModuleUnloadProc)(FProc);
  FRemove = reinterpret_cast<TModuleUnloadProcRegistration>(removeModuleUnloadProc);
}

void TModuleUnloadNotice::Unregister() {
  if (!FRemove) return;
  TModuleUnloadProcRegistration remove = FRemove;
  FRemove = nullptr;
  remove(FProc);
}

}  // namespace Quillmend
