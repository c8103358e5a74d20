#include "AppExceptionHandler.h"

#include "HostApp.h"

namespace QmHost {

namespace {

// Stands for the application object: the handler's Data.
int g_application = 0;

void QM_HOST_REGISTER HandleException(void* self, void* sender) {
  HostApp& app = App();
  if (self != &g_application) app.Log(L"APP-HANDLER-BAD-SELF " + Hex(static_cast<unsigned>(reinterpret_cast<UINT_PTR>(self))));
  void* object = *app.rtl.exceptObjectForHandler;
  if (!object) {
    app.Log(L"EXCEPTION <none>: ");
    return;
  }
  std::wstring name = HostClassName(object);
  app.Log(L"EXCEPTION " + JournalEscape(name.empty() ? L"<bad object>" : name) + L": " +
          JournalEscape(name.empty() ? L"" : HostExceptionMessage(object)));
}

} // namespace

void InstallAppExceptionHandler() {
  HostMethod* handler = App().rtl.applicationHandleException;
  handler->code = reinterpret_cast<void*>(&HandleException);
  handler->data = &g_application;
}

} // namespace QmHost
