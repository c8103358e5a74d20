#include "CallCounters.h"

#include <stdexcept>
#include <windows.h>

#include "Hooking/CodeTransaction.h"

namespace SystemTest {

std::atomic<long> VirtualQueryCalls{0};
std::atomic<long> LoadStringCalls{0};

namespace {

SIZE_T(WINAPI* g_virtualQuery)(LPCVOID, PMEMORY_BASIC_INFORMATION, SIZE_T) = nullptr;
int(WINAPI* g_loadString)(HINSTANCE, UINT, LPWSTR, int) = nullptr;

SIZE_T WINAPI CountingVirtualQuery(LPCVOID address, PMEMORY_BASIC_INFORMATION info, SIZE_T size) {
  ++VirtualQueryCalls;
  return g_virtualQuery(address, info, size);
}

int WINAPI CountingLoadString(HINSTANCE instance, UINT id, LPWSTR buffer, int size) {
  ++LoadStringCalls;
  return g_loadString(instance, id, buffer, size);
}

void Hook(const wchar_t* module, const char* name, const void* replacement, void** orgCall) {
  if (*orgCall) return;
  void* entry = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(module), name));
  Quillmend::TCodeTransaction transaction(std::wstring(L"Test.Count.") + std::wstring(name, name + strlen(name)));
  if (!entry || !transaction.StageWinApiHook(entry, replacement, orgCall) || !transaction.Commit())
    throw std::runtime_error(std::string("cannot count the calls of ") + name);
}

}  // namespace

void CountVirtualQuery() {
  Hook(L"kernel32.dll", "VirtualQuery", reinterpret_cast<const void*>(&CountingVirtualQuery),
       reinterpret_cast<void**>(&g_virtualQuery));
}

void CountLoadString() {
  LoadLibraryW(L"user32.dll");
  Hook(L"user32.dll", "LoadStringW", reinterpret_cast<const void*>(&CountingLoadString),
       reinterpret_cast<void**>(&g_loadString));
}

}  // namespace SystemTest
