#include "Framework/ExpectedPackages.h"

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>

namespace Quillmend {

namespace {

const wchar_t* const DefProjectFile = L"DefProject.bdsproj";
const wchar_t* const ExcludedPrefix = L"<Excluded_Packages Name=\"";  // 25 characters

int CompareText(const std::wstring& a, const std::wstring& b) {
  const int result = CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE);
  return result == CSTR_LESS_THAN ? -1 : result == CSTR_GREATER_THAN ? 1 : 0;
}
bool SameText(const std::wstring& a, const std::wstring& b) { return CompareText(a, b) == 0; }

bool StartsText(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

// The host's Trim family: blanks are every character up to ' '.
std::wstring TrimLeft(const std::wstring& s) {
  size_t start = 0;
  while (start < s.size() && s[start] <= L' ') ++start;
  return s.substr(start);
}
std::wstring Trim(const std::wstring& s) {
  std::wstring left = TrimLeft(s);
  size_t end = left.size();
  while (end > 0 && left[end - 1] <= L' ') --end;
  return left.substr(0, end);
}

// The host's AnsiDequotedStr with '"': a quoted text loses its quotes (a
// doubled quote inside stands for one); anything else stays as it is.
std::wstring Dequote(const std::wstring& s) {
  if (s.empty() || s[0] != L'"') return s;
  std::wstring out;
  for (size_t i = 1; i < s.size(); ++i) {
    if (s[i] != L'"') {
      out += s[i];
    } else if (i + 1 < s.size() && s[i + 1] == L'"') {
      out += L'"';
      ++i;
    } else {
      return out;
    }
  }
  return s;  // no closing quote
}

// Value names (or data) of one key: every value, in the order the registry lists them.
struct TRegValue {
  std::wstring Name, Data;
};
std::vector<TRegValue> ReadValues(const std::wstring& key) {
  std::vector<TRegValue> values;
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return values;
  DWORD maxName = 0, maxData = 0;
  RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                   nullptr, nullptr);
  std::vector<wchar_t> name(maxName + 2);
  std::vector<BYTE> data(maxData + 4);
  for (DWORD index = 0;; ++index) {
    DWORD nameSize = DWORD(name.size()), dataSize = DWORD(data.size()), type = 0;
    const LONG status = RegEnumValueW(handle, index, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
    if (status != ERROR_SUCCESS) break;
    TRegValue value;
    value.Name.assign(name.data(), nameSize);
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      value.Data.assign(reinterpret_cast<const wchar_t*>(data.data()), dataSize / sizeof(wchar_t));
      while (!value.Data.empty() && value.Data.back() == L'\0') value.Data.pop_back();
    }
    values.push_back(std::move(value));
  }
  RegCloseKey(handle);
  return values;
}

// The package names of a key listing packages: value names whose data (the
// description) is neither empty nor starts with "_".
std::vector<std::wstring> PackageNames(const std::wstring& key) {
  std::vector<std::wstring> names;
  for (const TRegValue& value : ReadValues(key))
    if (!value.Data.empty() && value.Data[0] != L'_') names.push_back(FileNamePart(value.Name));
  return names;
}

std::vector<std::wstring> ExpertNames(const std::wstring& key) {
  std::vector<std::wstring> names;
  for (const TRegValue& value : ReadValues(key)) {
    const std::wstring path = Trim(value.Data);
    if (!path.empty()) names.push_back(FileNamePart(path));
  }
  return names;
}

std::wstring WithDelimiter(const std::wstring& directory) {
  if (directory.empty() || directory.back() == L'\\') return directory;
  return directory + L'\\';
}

}  // namespace

std::vector<std::wstring> PersonalitiesFromParams(const std::vector<std::wstring>& params) {
  std::vector<std::wstring> personalities;
  for (const std::wstring& raw : params) {
    const std::wstring param = Dequote(raw);
    if (!StartsText(param, L"-p") && !StartsText(param, L"/p")) continue;
    const std::wstring list = Dequote(param.substr(2)) + L';';
    size_t start = 0;
    for (size_t end = list.find(L';'); end != std::wstring::npos; start = end + 1, end = list.find(L';', start)) {
      // "-pDelphi;" names one personality, not a second, empty one.
      const std::wstring part = Trim(Dequote(list.substr(start, end - start)));
      if (!part.empty()) personalities.push_back(part);
    }
  }
  if (personalities.empty()) personalities = {L"CBuilder", L"Delphi"};
  return personalities;
}

std::vector<std::wstring> ProcessParams() {
  std::vector<std::wstring> params;
  const wchar_t* p = GetCommandLineW();
  bool first = true;  // ParamStr(0), the program, is not a parameter
  while (p && *p) {
    for (;;) {
      while (*p && *p <= L' ') ++p;
      if (p[0] == L'"' && p[1] == L'"') p += 2; else break;
    }
    if (!*p) break;
    std::wstring param;
    while (*p > L' ') {
      if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') param += *p++;
        if (*p) ++p;
      } else {
        param += *p++;
      }
    }
    if (!first) params.push_back(param);
    first = false;
  }
  return params;
}

std::wstring FileNamePart(const std::wstring& path) {
  const size_t delimiter = path.find_last_of(L"\\:");
  return delimiter == std::wstring::npos ? path : path.substr(delimiter + 1);
}

std::vector<std::wstring> ExcludedPackages(const std::vector<std::wstring>& lines, const std::wstring& section) {
  std::vector<std::wstring> excluded;
  const std::wstring open = L"<" + section + L".Personality>";
  const std::wstring close = L"</" + section + L".Personality>";
  const std::wstring prefix = ExcludedPrefix;
  bool inside = false;
  for (const std::wstring& line : lines) {
    const std::wstring text = TrimLeft(line);
    if (!inside) {
      inside = SameText(Trim(text), open);
      continue;
    }
    if (SameText(Trim(text), close)) break;
    if (text.compare(0, prefix.size(), prefix) != 0) continue;
    const size_t end = text.find(L'"', prefix.size());
    const std::wstring path = text.substr(prefix.size(), end == std::wstring::npos ? std::wstring::npos : end - prefix.size());
    const std::wstring name = Trim(FileNamePart(path));
    if (!name.empty()) excluded.push_back(name);
  }
  return excluded;
}

bool ReadTextLines(const std::wstring& path, std::vector<std::wstring>& lines) {
  lines.clear();
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string bytes;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  std::wstring text;
  if (bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xFE) {
    text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
  } else {
    UINT codePage = CP_ACP;
    size_t skip = 0;
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) codePage = CP_UTF8, skip = 3;
    const int size = MultiByteToWideChar(codePage, 0, bytes.data() + skip, int(bytes.size() - skip), nullptr, 0);
    text.resize(size_t(size));
    MultiByteToWideChar(codePage, 0, bytes.data() + skip, int(bytes.size() - skip), text.data(), size);
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of(L"\r\n", start);
    if (end == std::wstring::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == L'\r' && end + 1 < text.size() && text[end + 1] == L'\n') ++end;
    start = end + 1;
  }
  return true;
}

namespace {

// ntdll's loader notifications (Windows Vista and later, Wine).
struct TUnicodeString {
  USHORT Length, MaximumLength;
  PWSTR Buffer;
};
struct TDllNotificationData {
  ULONG Flags;
  const TUnicodeString* FullDllName;
  const TUnicodeString* BaseDllName;
  PVOID DllBase;
  ULONG SizeOfImage;
};
using TDllNotification = VOID(CALLBACK*)(ULONG reason, const TDllNotificationData* data, PVOID context);
using TRegisterDllNotification = LONG(NTAPI*)(ULONG flags, TDllNotification notification, PVOID context, PVOID* cookie);
using TUnregisterDllNotification = LONG(NTAPI*)(PVOID cookie);
constexpr ULONG DllLoaded = 1, DllUnloaded = 2;

template <class Fn>
Fn NtdllExport(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

VOID CALLBACK LoaderNotification(ULONG reason, const TDllNotificationData* data, PVOID context) {
  if (!data || !data->BaseDllName || !data->BaseDllName->Buffer) return;
  const std::wstring name(data->BaseDllName->Buffer, data->BaseDllName->Length / sizeof(wchar_t));
  auto* modules = static_cast<TLoadedModules*>(context);
  if (reason == DllLoaded) modules->Loaded(name);
  if (reason == DllUnloaded) modules->Unloaded(name);
}

}  // namespace

bool TLoadedModules::TLess::operator()(const std::wstring& a, const std::wstring& b) const {
  return CompareText(a, b) < 0;
}

TLoadedModules::~TLoadedModules() { Stop(); }

void TLoadedModules::List() {
  std::map<std::wstring, int, TLess> names;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
  if (snapshot != INVALID_HANDLE_VALUE) {
    MODULEENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry))
      ++names[entry.szModule];
    CloseHandle(snapshot);
  }
  AcquireSRWLockExclusive(&FLock);
  FNames.swap(names);
  ReleaseSRWLockExclusive(&FLock);
}

void TLoadedModules::Start() {
  if (FStarted) return;
  FStarted = true;
  // Following first, then listing: a module loaded in between is counted
  // twice at worst, which only keeps it "loaded" a little longer.
  if (auto registerNotification = NtdllExport<TRegisterDllNotification>("LdrRegisterDllNotification"))
    if (registerNotification(0, &LoaderNotification, this, &FCookie) != 0) FCookie = nullptr;
  List();
}

void TLoadedModules::Stop() {
  if (FCookie)
    if (auto unregisterNotification = NtdllExport<TUnregisterDllNotification>("LdrUnregisterDllNotification"))
      unregisterNotification(FCookie);
  FCookie = nullptr;
  FStarted = false;
  AcquireSRWLockExclusive(&FLock);
  FNames.clear();
  ReleaseSRWLockExclusive(&FLock);
}

void TLoadedModules::Refresh() {
  if (!FStarted) Start();
  else if (!FCookie) List();
}

bool TLoadedModules::Contains(const std::wstring& fileName) const {
  AcquireSRWLockShared(&FLock);
  auto it = FNames.find(fileName);
  const bool found = it != FNames.end() && it->second > 0;
  ReleaseSRWLockShared(&FLock);
  return found;
}

void TLoadedModules::Loaded(const std::wstring& fileName) {
  AcquireSRWLockExclusive(&FLock);
  ++FNames[fileName];
  ReleaseSRWLockExclusive(&FLock);
}

void TLoadedModules::Unloaded(const std::wstring& fileName) {
  AcquireSRWLockExclusive(&FLock);
  auto it = FNames.find(fileName);
  if (it != FNames.end() && --it->second <= 0) FNames.erase(it);
  ReleaseSRWLockExclusive(&FLock);
}

int TExpectedPackages::Find(const std::wstring& name) const {
  if (FSorted) {
    auto it = std::lower_bound(FNames.begin(), FNames.end(), name,
                               [](const std::wstring& a, const std::wstring& b) { return CompareText(a, b) < 0; });
    return it != FNames.end() && SameText(*it, name) ? int(it - FNames.begin()) : -1;
  }
  for (size_t i = 0; i < FNames.size(); ++i)
    if (SameText(FNames[i], name)) return int(i);
  return -1;
}

bool TExpectedPackages::Add(const std::wstring& name) {
  if (name.empty() || Find(name) >= 0) return false;
  FNames.push_back(name);
  return true;
}

bool TExpectedPackages::Remove(const std::wstring& name) {
  const int index = Find(name);
  if (index < 0) return false;
  FNames.erase(FNames.begin() + index);
  return true;
}

void TExpectedPackages::Clear() {
  FNames.clear();
  FExpected = 0;
  FBuilt = false;
  FSorted = false;
}

void TExpectedPackages::Build(const TExpectedPackageSources& sources) {
  Clear();
  const std::vector<std::wstring> personalities = PersonalitiesFromParams(sources.Params);
  if (!sources.BaseKey.empty()) {
    const std::wstring base = sources.BaseKey + L"\\";
    for (const std::wstring& name : ExpertNames(base + L"Experts")) Add(name);
    bool native = false, managed = false;
    for (const std::wstring& personality : personalities) {
      for (const wchar_t* key : {L"Known Packages\\", L"Known IDE Packages\\"})
        for (const std::wstring& name : PackageNames(base + key + personality)) Add(name);
      native = native || SameText(personality, L"Delphi") || SameText(personality, L"CBuilder");
      managed = managed || SameText(personality, L"DelphiDotNet") || SameText(personality, L"CSharp") ||
                SameText(personality, L"VB");
    }
    if (managed)
      for (const std::wstring& name : PackageNames(base + L"Known Assemblies")) Add(name);
    if (native)
      for (const std::wstring& name : PackageNames(base + L"Known Packages")) Add(name);
  }

  std::vector<std::wstring> lines;
  if (!sources.DefProjectDirectory.empty() &&
      ReadTextLines(WithDelimiter(sources.DefProjectDirectory) + DefProjectFile, lines)) {
    for (const std::wstring& personality : personalities) {
      const wchar_t* section = SameText(personality, L"Delphi")     ? L"Delphi"
                               : SameText(personality, L"CBuilder") ? L"CPlusPlusBuilder"
                                                                    : nullptr;
      if (section)
        for (const std::wstring& name : ExcludedPackages(lines, section)) Remove(name);
    }
  }

  if (sources.IsLoaded)
    for (size_t i = FNames.size(); i-- > 0;)
      if (sources.IsLoaded(FNames[i])) FNames.erase(FNames.begin() + i);
  FExpected = int32_t(FNames.size());
  std::sort(FNames.begin(), FNames.end(),
            [](const std::wstring& a, const std::wstring& b) { return CompareText(a, b) < 0; });
  FSorted = true;

  // Disabled packages never load: they count as loaded already.
  if (!sources.BaseKey.empty())
    for (const std::wstring& name : PackageNames(sources.BaseKey + L"\\Disabled Packages")) Remove(name);
  FBuilt = true;
}

int32_t TExpectedPackages::PackageLoaded(const std::wstring& fileName,
                                         const std::function<bool(const std::wstring&)>& isLoaded) {
  if (FExpected <= 0 || fileName.empty()) return -1;
  if (!Remove(FileNamePart(fileName))) return -1;
  if (isLoaded)
    for (size_t i = FNames.size(); i-- > 0;)
      if (isLoaded(FNames[i])) FNames.erase(FNames.begin() + i);
  return (FExpected - int32_t(FNames.size())) * 100 / FExpected;
}

}  // namespace Quillmend
