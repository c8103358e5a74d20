// Search in files (SearchInFilesDriver.h): the search objects, the decoding
// of the search string by its code-page label, the files and the count.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "Common/HostLayout.h"
#include "SearchInFilesDriver.h"

using namespace SearchInFilesDriver;

namespace {

std::mutex g_lock;
std::vector<std::wstring> g_files;

char*& TextField(void* search, int offset) { return *reinterpret_cast<char**>(static_cast<char*>(search) + offset); }
wchar_t*& NeedleField(void* search) {
  return *reinterpret_cast<wchar_t**>(static_cast<char*>(search) + SearchLayout::Needle);
}

} // namespace

extern "C" {

// The run-time's routines the searched code calls (bound at its first run).
void* coreide_LStrFromPCharImport QM_HOST_SYMBOL(coreide_LStrFromPCharImport) = nullptr;
void* coreide_LStrClrImport QM_HOST_SYMBOL(coreide_LStrClrImport) = nullptr;

void __cdecl coreide_BindSearchImports() QM_HOST_SYMBOL(coreide_BindSearchImports);
void __cdecl coreide_BindSearchImports() {
  HMODULE rtl = GetModuleHandleW(L"rtl150.bpl");
  coreide_LStrFromPCharImport =
      reinterpret_cast<void*>(GetProcAddress(rtl, "@System@@LStrFromPChar$qqrr27System@%AnsiStringT$us$i0$%pcus"));
  coreide_LStrClrImport = reinterpret_cast<void*>(GetProcAddress(rtl, "@System@@LStrClr$qqrpv"));
}

// EAX = the search, EDX = an 8-bit string (its code page in its header):
// the string decoded by that code page becomes the search's needle; the
// files containing it are counted.
std::int32_t QM_HOST_REGISTER coreide_SearchFiles(void* search, const char* text) QM_HOST_SYMBOL(coreide_SearchFiles);
std::int32_t QM_HOST_REGISTER coreide_SearchFiles(void* search, const char* text) {
  std::wstring needle;
  if (text) {
    const auto* header = reinterpret_cast<const QmHost::StrRec*>(text - sizeof(QmHost::StrRec));
    const int length = MultiByteToWideChar(header->codePage, 0, text, header->length, nullptr, 0);
    needle.resize(size_t(length));
    MultiByteToWideChar(header->codePage, 0, text, header->length, &needle[0], length);
  }
  std::free(NeedleField(search));
  NeedleField(search) = static_cast<wchar_t*>(std::calloc(needle.size() + 1, sizeof(wchar_t)));
  std::memcpy(NeedleField(search), needle.c_str(), needle.size() * sizeof(wchar_t));
  if (needle.empty()) return 0;
  std::lock_guard<std::mutex> hold(g_lock);
  std::int32_t found = 0;
  for (const std::wstring& file : g_files) found += file.find(needle) != std::wstring::npos;
  return found;
}

void* __stdcall CoreSearchNew(const char* ansiText) {
  void* search = std::calloc(1, SearchLayout::Size);
  char* text = static_cast<char*>(std::malloc(std::strlen(ansiText) + 1));
  std::strcpy(text, ansiText);
  TextField(search, SearchLayout::TypedText) = text;
  TextField(search, SearchLayout::Text) = text;
  return search;
}

void __stdcall CoreSearchFree(void* search) {
  if (!search) return;
  std::free(TextField(search, SearchLayout::Text));
  std::free(NeedleField(search));
  std::free(search);
}

int __stdcall CoreSearchNeedle(const void* search, wchar_t* out, int size) {
  const wchar_t* needle = NeedleField(const_cast<void*>(search));
  const int length = needle ? int(std::wcslen(needle)) : 0;
  if (size > 0) {
    const int copied = length < size ? length : size - 1;
    if (copied) std::memcpy(out, needle, size_t(copied) * sizeof(wchar_t));
    out[copied] = 0;
  }
  return length;
}

void __stdcall CoreSearchAddFile(const wchar_t* text) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_files.emplace_back(text);
}

void __stdcall CoreSearchClearFiles() {
  std::lock_guard<std::mutex> hold(g_lock);
  g_files.clear();
}

} // extern "C"

static_assert(std::is_same_v<decltype(&CoreSearchNew), NewFn>, "New");
static_assert(std::is_same_v<decltype(&CoreSearchFree), FreeFn>, "Free");
static_assert(std::is_same_v<decltype(&CoreSearchNeedle), NeedleFn>, "Needle");
static_assert(std::is_same_v<decltype(&CoreSearchAddFile), AddFileFn>, "AddFile");
static_assert(std::is_same_v<decltype(&CoreSearchClearFiles), ClearFilesFn>, "ClearFiles");
