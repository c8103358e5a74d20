// The stand-in dbkdebugproide150.bpl's driver interface, declared once for
// bds.exe, the tests and the benchmarks.
#pragma once

#include <windows.h>

namespace DbkDebugProIdeDriver {

namespace Export {
constexpr const char* InspectorCreate =
    "@Dbkinspector@TDebuggerExpressionInspector@$bctr$qqrx43System@%DelphiInterface$t15Dbk@IDbkInspect%39Debugapi@"
    "TExpressionInspectorMemberTypeix47System@%DelphiInterface$t19Toolsapi@IOTAThread%r27Toolsapi@"
    "TOTAEvaluateResultooo";
constexpr const char* InspectorCreateForThread =
    "@Dbkinspector@TDebuggerExpressionInspector@$bctr$qqrx43System@%DelphiInterface$t15Dbk@IDbkInspect%x47System@%"
    "DelphiInterface$t19Toolsapi@IOTAThread%ooo";
constexpr const char* SetupInspector =
    "@Dbkinspector@TDebuggerExpressionInspector@SetupDBKInspector$qqr20System@UnicodeStringt1i";
constexpr const char* OpenWatch = "DbgProOpenWatch";
constexpr const char* CloseWatch = "DbgProCloseWatch";
constexpr const char* LiveInspectors = "DbgProLiveInspectors";
constexpr const char* ListedNotifiers = "DbgProListedNotifiers";
constexpr const char* FireProcessNotification = "DbgProFireProcessNotification";
constexpr const char* InspectorNotifications = "DbgProInspectorNotifications";
constexpr const char* PatternSite = "DbgProPatternSite";
}  // namespace Export

// Site names of the searched bytes (InspectorCode.S).
namespace Site {
constexpr const char* InspectorCreate = "InspectorCreate";
constexpr const char* InspectorCreateForThread = "InspectorCreateForThread";
constexpr const char* SetupInspector = "SetupInspector";
}  // namespace Site

// How a Watch list opens its inspector.
enum TOpenWatchForm : int { owCreate = 0, owCreateForThread = 1, owCreateAndSetup = 2 };

// Opens: an inspector made through the exports (called the host's way),
// its process-notifier interface returned with one reference for the
// caller (nil if a call broke the convention). Close releases it.
using OpenWatchFn = void*(__stdcall*)(int form);
using CloseWatchFn = void(__stdcall*)(void* inspector);
using CountFn = int(__stdcall*)();
// The process's notifier list tells every listed notifier (kind 0..3:
// thread created, thread destroyed, module created, module destroyed);
// answers how many it told.
using FireFn = int(__stdcall*)(int kind);
// Notifications an inspector received.
using InspectorCountFn = int(__stdcall*)(void* inspector);
using PatternSiteFn = void*(__stdcall*)(const char* site);

struct Driver {
  OpenWatchFn openWatch = nullptr;
  CloseWatchFn closeWatch = nullptr;
  CountFn liveInspectors = nullptr, listedNotifiers = nullptr;
  FireFn fire = nullptr;
  InspectorCountFn inspectorNotifications = nullptr;
  PatternSiteFn patternSite = nullptr;

  bool Bind(HMODULE module) {
    auto get = [module](const char* name) { return reinterpret_cast<void*>(GetProcAddress(module, name)); };
    openWatch = reinterpret_cast<OpenWatchFn>(get(Export::OpenWatch));
    closeWatch = reinterpret_cast<CloseWatchFn>(get(Export::CloseWatch));
    liveInspectors = reinterpret_cast<CountFn>(get(Export::LiveInspectors));
    listedNotifiers = reinterpret_cast<CountFn>(get(Export::ListedNotifiers));
    fire = reinterpret_cast<FireFn>(get(Export::FireProcessNotification));
    inspectorNotifications = reinterpret_cast<InspectorCountFn>(get(Export::InspectorNotifications));
    patternSite = reinterpret_cast<PatternSiteFn>(get(Export::PatternSite));
    return openWatch && closeWatch && liveInspectors && listedNotifiers && fire && inspectorNotifications &&
           patternSite;
  }
};

}  // namespace DbkDebugProIdeDriver
