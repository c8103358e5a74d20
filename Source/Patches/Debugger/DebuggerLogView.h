// "Debugger.LogViewSpeed": the IDE repaints its event log view on every
// line added; this patch lets the view refresh at most every 75 ms while
// lines keep coming, and at once when the log is cleared.
//
// The debugger manager's LogStringListChanged is redirected to a capture
// routine that meets the first change notification: it puts the method
// back, and if the sender is a TStringList (the event log), takes over the
// list's OnChange with a throttling handler that remembers the handler it
// replaced. A stream of changes enables a Win32 timer on the main thread
// (75 ms; enabling it again while it runs does not restart it), whose tick
// passes the last change on. Installed at unit initialization.
//
// Once the handler sits in the list, the library is kept mapped (the list
// calls into it for the rest of the process); after the library's
// finalization the handler passes every change straight on.
#pragma once

#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The platform's TStringList: its OnChange method pointer (code at +64,
// data at +68) and its Count, the virtual method in slot 5.
namespace StringListLayout {
constexpr int OnChangeCode = 64;
constexpr int OnChangeData = 68;
constexpr int GetCount = 5 * 4;
}  // namespace StringListLayout

constexpr unsigned LogViewRefreshInterval = 75;  // ms

// procedure TDebuggerMgr.LogStringListChanged(Sender: TObject): EAX = Self, EDX = Sender.
void QM_REGISTER LogListChangedCapture(void* debuggerManager, void* sender);
// The list's OnChange while throttled: EAX = Data (unused), EDX = Sender.
void QM_REGISTER ThrottledLogListChanged(void* data, void* sender);

// The list taken over (null before the first change of a TStringList), and
// whether a refresh is pending.
void* ThrottledLogList();
bool LogViewRefreshPending();

std::vector<TPatchPlan> DebuggerLogViewPlans();
void InstallDebuggerLogView();

extern const TUnitInfo Unit_DebuggerLogView;

}  // namespace Quillmend
