#include "ModuleUnloadNotice.h"

#include <cstdint>

#include "HostApp.h"

namespace QmHost {

void NotifyModuleUnload(HostApp& app, HMODULE module) {
  using NotifyFn = void(QM_HOST_REGISTER*)(uint32_t instance);
  auto notify = reinterpret_cast<NotifyFn>(
      reinterpret_cast<void*>(GetProcAddress(app.rtl.module, "@System@NotifyModuleUnload$qqrui")));
  if (!notify) return;
  HostExceptionReport report;
  if (!CallHostGuarded([&] { notify(uint32_t(reinterpret_cast<uintptr_t>(module))); }, report, &app.rtl))
    app.LogException(report);
}

} // namespace QmHost
