// The kernel's start of a debuggee: the command line is formatted with
// wsprintfA("%c%s%c %s") into the kernel's buffer of 32,767 characters (the
// quoted program name, a blank, the arguments), then the program is started
// with CreateProcessW, both reached through the kernel's import table.
//
// A relative program name is taken relative to the kernel's own folder (the
// kernel resolves it where it runs, not in the IDE's current directory), so
// a program named relative to the IDE's current directory is not found.
//
// Builds without one of the imports (QM_KERNEL_NO_WSPRINTF_IMPORT,
// QM_KERNEL_NO_CREATEPROCESS_IMPORT) reach the function by GetProcAddress
// instead: kernels whose import tables lack it.
#include <windows.h>

#include <string>
#include <type_traits>

#include "DebuggerKernelDriver.h"

namespace {

constexpr int CommandLineChars = 32767;
char g_commandLine[CommandLineChars];
int g_lastLength = 0;

#ifdef QM_KERNEL_NO_WSPRINTF_IMPORT
int Format(char* buffer, const char* format, int quote, const char* program, const char* arguments) {
  auto format_ = reinterpret_cast<int(__cdecl*)(char*, const char*, ...)>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "wsprintfA")));
  return format_(buffer, format, quote, program, quote, arguments);
}
#else
int Format(char* buffer, const char* format, int quote, const char* program, const char* arguments) {
  return wsprintfA(buffer, format, quote, program, quote, arguments);
}
#endif

#ifdef QM_KERNEL_NO_CREATEPROCESS_IMPORT
using CreateProcessFn = decltype(&CreateProcessW);
CreateProcessFn StartProcess() {
  return reinterpret_cast<CreateProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateProcessW")));
}
#else
decltype(&CreateProcessW) StartProcess() { return &CreateProcessW; }
#endif

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), int(text.size()), &out[0], size, nullptr, nullptr);
  return out;
}

std::wstring Widen(const char* text) {
  const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring out(size_t(size > 0 ? size : 1), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], size);
  out.resize(out.size() - 1);
  return out;
}

bool IsRelative(const std::wstring& name) {
  if (name.size() >= 2 && name[1] == L':') return false;
  return !(name.size() >= 1 && (name[0] == L'\\' || name[0] == L'/'));
}

std::wstring KernelFolder() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&g_commandLine), &self);
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

}  // namespace

extern "C" BOOL __stdcall DbkStartProcess(const wchar_t* program, const wchar_t* arguments, DWORD flags,
                                          PROCESS_INFORMATION* info) {
  std::wstring name = program ? program : L"";
  if (IsRelative(name)) name = KernelFolder() + name;
  const std::string ansiName = Narrow(name), ansiArguments = Narrow(arguments ? arguments : L"");
  g_lastLength = Format(g_commandLine, "%c%s%c %s", '"', ansiName.c_str(), ansiArguments.c_str());
  std::wstring commandLine = Widen(g_commandLine);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  return StartProcess()(name.c_str(), &commandLine[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                        info);
}

// What the last formatting answered (characters, without the zero).
extern "C" int __stdcall DbkLastCommandLineLength() { return g_lastLength; }

static_assert(std::is_same_v<decltype(&DbkStartProcess), DebuggerKernelDriver::StartProcessFn> &&
                  std::is_same_v<decltype(&DbkLastCommandLineLength), DebuggerKernelDriver::LastLengthFn>,
              "the start has the driver's types");
