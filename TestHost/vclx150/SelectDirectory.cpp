// SelectDirectory and TBrowseForFolder as the host has them
// (SelectDirectoryDriver.h): both run the old folder browser, which the
// stand-in replaces by a count, a description of the call and the answer a
// test chose, so no dialog ever waits for a user.
#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <type_traits>

#include "Common/HostClass.h"
#include "Common/HostRtl.h"
#include "SelectDirectoryDriver.h"
#include "vcl150/WinControlDriver.h"

using namespace QmHost;
using namespace SelectDirectoryDriver;

QM_HOST_CLASS(vclx_TBrowseForFolder_Class, ExecuteTargetSlot + 1);

namespace {

using CreateFn = void*(QM_HOST_REGISTER*)(void* classRef, int alloc, void* owner);
using DestroyFn = void(QM_HOST_REGISTER*)(void* self, int outermost);
using EventFn = void(QM_HOST_REGISTER*)(void* data, void* sender);
using SelectDirectoryFn = std::uint8_t(QM_HOST_REGISTER*)(const wchar_t* caption, const wchar_t* root,
                                                          wchar_t** directory, void* parent, std::uint32_t options);
using ExecuteTargetFn = void(QM_HOST_REGISTER*)(void* action, void* target);

constexpr int ComponentCreateSlot = 6;

std::mutex g_lock;
int g_calls = 0;
std::wstring g_lastCall;
bool g_confirm = false;
std::wstring g_answer;

void* g_actionClassVar = nullptr;
void* g_browseClass = nullptr;

template <class T>
T& At(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

std::wstring Text(const wchar_t* s) { return s ? std::wstring(s) : std::wstring(); }

std::wstring Hex(std::uint32_t value) {
  wchar_t text[16];
  wsprintfW(text, L"%X", value);
  return text;
}

// The old dialog: counted and described; the test's answer.
bool OldDialog(const std::wstring& line, std::wstring& folder) {
  std::lock_guard<std::mutex> hold(g_lock);
  ++g_calls;
  g_lastCall = line;
  if (g_confirm) folder = g_answer;
  return g_confirm;
}

void SetText(wchar_t*& var, const std::wstring& text) {
  const HostRtl* rtl = LoadedHostRtl();
  rtl->Release(var);
  var = rtl->NewString(text);
}

void CallEvent(void* action, int offset) {
  const HostMethod event = At<HostMethod>(action, offset);
  if (event.code) reinterpret_cast<EventFn>(event.code)(event.data, action);
}

void QM_HOST_REGISTER BrowseDestroy(void* self, int outermost) {
  const HostRtl* rtl = LoadedHostRtl();
  rtl->Release(At<wchar_t*>(self, BrowseLayout::DialogCaption));
  rtl->Release(At<wchar_t*>(self, BrowseLayout::Folder));
  rtl->Release(At<wchar_t*>(self, BrowseLayout::RootDir));
  reinterpret_cast<DestroyFn>(VmtSlot(HostParentClass(*static_cast<void**>(self)), kVmtDestroy))(self, outermost);
}

}  // namespace

extern "C" {

std::uint8_t QM_HOST_REGISTER vclx_SelectDirectoryBody(const wchar_t* caption, const wchar_t* root,
                                                       wchar_t** directory, void* parent, std::uint32_t options)
    QM_HOST_SYMBOL(vclx_SelectDirectoryBody);
std::uint8_t QM_HOST_REGISTER vclx_SelectDirectoryBody(const wchar_t* caption, const wchar_t* root,
                                                       wchar_t** directory, void* parent, std::uint32_t options) {
  const HWND owner = parent ? At<HWND>(parent, WinControlDriver::WinControlLayout::Handle) : nullptr;
  std::wstring folder;
  const bool confirmed = OldDialog(Text(caption) + L"|" + Text(root) + L"|" + Text(*directory) + L"|" +
                                       Hex(options & 0xFF) + L"|" + Hex(std::uint32_t(reinterpret_cast<uintptr_t>(owner))),
                                   folder);
  if (confirmed) SetText(*directory, folder);
  return confirmed ? 1 : 0;
}

void QM_HOST_REGISTER vclx_ExecuteTargetBody(void* action, void*) QM_HOST_SYMBOL(vclx_ExecuteTargetBody);
void QM_HOST_REGISTER vclx_ExecuteTargetBody(void* action, void*) {
  At<std::uint8_t>(action, BrowseLayout::ExecuteResult) = 0;
  CallEvent(action, BrowseLayout::BeforeExecute);
  std::wstring folder;
  const bool confirmed =
      OldDialog(L"browse:" + Text(At<wchar_t*>(action, BrowseLayout::DialogCaption)) + L"|" +
                    Text(At<wchar_t*>(action, BrowseLayout::RootDir)) + L"|" +
                    Text(At<wchar_t*>(action, BrowseLayout::Folder)) + L"|" +
                    Hex(At<std::uint32_t>(action, BrowseLayout::BrowseOptions)) + L"|0",
                folder);
  At<std::uint8_t>(action, BrowseLayout::ExecuteResult) = confirmed ? 1 : 0;
  if (confirmed) SetText(At<wchar_t*>(action, BrowseLayout::Folder), folder);
  CallEvent(action, confirmed ? BrowseLayout::OnAccept : BrowseLayout::OnCancel);
}

// The entries (SelectDirectoryCode.S).
std::uint8_t QM_HOST_REGISTER vclx_SelectDirectory(const wchar_t*, const wchar_t*, wchar_t**, void*, std::uint32_t)
    QM_HOST_SYMBOL(vclx_SelectDirectory);
void QM_HOST_REGISTER vclx_ExecuteTarget(void*, void*) QM_HOST_SYMBOL(vclx_ExecuteTarget);

}  // extern "C"

namespace {

// Built once vcl150's TCustomAction is there.
bool BuildBrowseForFolder() {
  static std::once_flag once;
  std::call_once(once, [] {
    HMODULE vcl = GetModuleHandleW(L"vcl150.bpl");
    g_actionClassVar = vcl ? reinterpret_cast<void*>(GetProcAddress(vcl, "@Actnlist@TCustomAction@")) : nullptr;
    if (!g_actionClassVar) return;
    g_browseClass = HostClassBuilder(vclx_TBrowseForFolder_Class_Storage, "TBrowseForFolder")
                        .Parent(&g_actionClassVar)
                        .InstanceSize(BrowseLayout::Size)
                        .Virtual(ExecuteTargetSlot, reinterpret_cast<const void*>(&vclx_ExecuteTarget))
                        .Root(kVmtDestroy, reinterpret_cast<const void*>(&BrowseDestroy))
                        .TypeInfo("StdActns")
                        .Build();
  });
  return g_browseClass != nullptr;
}
// At the package's start, when vcl150 is loaded before it (as the IDE loads them).
[[maybe_unused]] const bool g_builtAtStart = GetModuleHandleW(L"vcl150.bpl") && BuildBrowseForFolder();

// Events of the driver's runs: letters appended to the buffer in Data.
struct TEventLog {
  char* Text;
  int32_t Size;
};
void Append(void* data, char letter) {
  auto* log = static_cast<TEventLog*>(data);
  const size_t used = strlen(log->Text);
  if (int32_t(used) + 1 < log->Size) log->Text[used] = letter, log->Text[used + 1] = 0;
}
void QM_HOST_REGISTER Before(void* data, void*) { Append(data, 'b'); }
void QM_HOST_REGISTER Accepted(void* data, void*) { Append(data, 'a'); }
void QM_HOST_REGISTER Cancelled(void* data, void*) { Append(data, 'c'); }

void CopyOut(const std::wstring& text, wchar_t* out, int32_t size) {
  if (!out || size <= 0) return;
  const size_t n = text.size() < size_t(size - 1) ? text.size() : size_t(size - 1);
  text.copy(out, n);
  out[n] = 0;
}

}  // namespace

extern "C" {

void __stdcall VclxSetOldDialogAnswer(int32_t confirmed, const wchar_t* folder) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_confirm = confirmed != 0;
  g_answer = Text(folder);
}

int32_t __stdcall VclxOldDialogCalls(wchar_t* line, int32_t size) {
  std::lock_guard<std::mutex> hold(g_lock);
  CopyOut(g_lastCall, line, size);
  return g_calls;
}

int32_t __stdcall VclxCallSelectDirectory(const wchar_t* caption, const wchar_t* root, wchar_t* directory,
                                          int32_t size, int32_t options, void* parent) {
  const HostRtl* rtl = LoadedHostRtl();
  wchar_t* hostCaption = rtl->NewString(Text(caption));
  BSTR hostRoot = root && *root ? SysAllocString(root) : nullptr;
  wchar_t* hostDirectory = rtl->NewString(Text(directory));
  auto select = reinterpret_cast<SelectDirectoryFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"vclx150.bpl"), Export::SelectDirectory)));
  const std::uint8_t result = select(hostCaption, hostRoot, &hostDirectory, parent, std::uint32_t(options & 0xFF));
  CopyOut(Text(hostDirectory), directory, size);
  rtl->Release(hostCaption);
  rtl->Release(hostDirectory);
  SysFreeString(hostRoot);
  return result;
}

void* __stdcall VclxNewBrowseForFolder(const wchar_t* caption, uint32_t options, const wchar_t* folder,
                                       const wchar_t* root) {
  if (!BuildBrowseForFolder()) return nullptr;
  auto create = reinterpret_cast<CreateFn>(VmtSlot(g_browseClass, 4 * ComponentCreateSlot));
  void* action = create(g_browseClass, 1, nullptr);
  SetText(At<wchar_t*>(action, BrowseLayout::DialogCaption), Text(caption));
  At<std::uint32_t>(action, BrowseLayout::BrowseOptions) = options;
  SetText(At<wchar_t*>(action, BrowseLayout::Folder), Text(folder));
  SetText(At<wchar_t*>(action, BrowseLayout::RootDir), Text(root));
  At<std::int32_t>(action, BrowseLayout::SpecialFolder) = -1;
  return action;
}

int32_t __stdcall VclxExecuteAction(void* action, char* events, int32_t eventsSize, wchar_t* folder,
                                    int32_t folderSize) {
  if (events && eventsSize > 0) events[0] = 0;
  TEventLog log = {events, eventsSize};
  At<HostMethod>(action, BrowseLayout::BeforeExecute) = {reinterpret_cast<void*>(&Before), &log};
  At<HostMethod>(action, BrowseLayout::OnAccept) = {reinterpret_cast<void*>(&Accepted), &log};
  At<HostMethod>(action, BrowseLayout::OnCancel) = {reinterpret_cast<void*>(&Cancelled), &log};
  reinterpret_cast<ExecuteTargetFn>(VmtSlot(*static_cast<void**>(action), 4 * ExecuteTargetSlot))(action, nullptr);
  for (int offset : {BrowseLayout::BeforeExecute, BrowseLayout::OnAccept, BrowseLayout::OnCancel})
    At<HostMethod>(action, offset) = {nullptr, nullptr};
  CopyOut(Text(At<wchar_t*>(action, BrowseLayout::Folder)), folder, folderSize);
  return At<std::uint8_t>(action, BrowseLayout::ExecuteResult);
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&VclxSetOldDialogAnswer), SetOldDialogAnswerFn>, "SetOldDialogAnswer");
static_assert(std::is_same_v<decltype(&VclxOldDialogCalls), OldDialogCallsFn>, "OldDialogCalls");
static_assert(std::is_same_v<decltype(&VclxCallSelectDirectory), CallSelectDirectoryFn>, "CallSelectDirectory");
static_assert(std::is_same_v<decltype(&VclxNewBrowseForFolder), NewBrowseForFolderFn>, "NewBrowseForFolder");
static_assert(std::is_same_v<decltype(&VclxExecuteAction), ExecuteActionFn>, "ExecuteAction");
