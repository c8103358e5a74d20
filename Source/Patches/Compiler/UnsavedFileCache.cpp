#include "Patches/Compiler/UnsavedFileCache.h"

#include <cmath>

#include "Framework/HostAbi.h"
#include "Framework/LibraryEntry.h"
#include "Hooking/TextCompare.h"
#include "Hooking/Utf8Conversion.h"
#include "Patches/Compiler/DirectoryCache.h"

namespace Quillmend {

// {55A5E848-27FB-4880-8E7C-7F05A9802482}
const GUID TUnsavedFileCache::ModuleServicesId = {0x55A5E848, 0x27FB, 0x4880,
                                                  {0x8E, 0x7C, 0x7F, 0x05, 0xA9, 0x80, 0x24, 0x82}};
// {748FB436-59B9-495D-8AC8-807CF6622967}
const GUID TUnsavedFileCache::EditorTimeId = {0x748FB436, 0x59B9, 0x495D,
                                              {0x8A, 0xC8, 0x80, 0x7C, 0xF6, 0x62, 0x29, 0x67}};

namespace {

// Method slots (byte offset / 4) of the IDE's interfaces; beyond IUnknown
// the host's register convention, results through the hidden last argument.
constexpr int ModuleCountSlot = 0x28 / 4;   // services: GetModuleCount: Integer
constexpr int ModuleSlot = 0x2C / 4;        // services: GetModule(Index): IOTAModule
constexpr int FileNameSlot = 0x18 / 4;      // module: GetFileName: string
constexpr int FileCountSlot = 0x20 / 4;     // module: GetModuleFileCount: Integer
constexpr int FileEditorSlot = 0x24 / 4;    // module: GetModuleFileEditor(Index): IOTAEditor
constexpr int EditorFileNameSlot = 0x10 / 4;// editor: GetFileName: string
constexpr int ModifiedTimeSlot = 0x14 / 4;  // editor time interface: the modification date-time (ST(0))

using TCount = int32_t(QM_REGISTER*)(void* self);
using TIndexedInterface = void(QM_REGISTER*)(void* self, int32_t index, void** result);
using TStringResult = void(QM_REGISTER*)(void* self, wchar_t** result);
using TDateTimeResult = double(QM_REGISTER*)(void* self);

// Civil date of a day count since 1970-01-01.
void CivilFromDays(int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  day = int(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  month = int(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  year = int(yearOfEra + era * 400 + (month <= 2));
}

} // namespace

uint32_t DosDateTimeOf(double dateTime) {
  // The host's own decoding: whole days, and the day's milliseconds rounded.
  const double days = std::floor(dateTime);
  int64_t milliseconds = std::llround((dateTime - days) * 86400000.0);
  int64_t dayCount = int64_t(days);
  if (milliseconds >= 86400000) {
    milliseconds -= 86400000;
    ++dayCount;
  }
  int year, month, day;
  CivilFromDays(dayCount - 25569, year, month, day);  // 1899-12-30 is day -25569 of 1970
  if (year < 1980 || year > 2107) return 0;
  const int64_t seconds = milliseconds / 1000;
  const uint32_t hour = uint32_t(seconds / 3600), minute = uint32_t(seconds / 60 % 60), second = uint32_t(seconds % 60);
  const uint32_t date = (uint32_t(year - 1980) << 9) | (uint32_t(month) << 5) | uint32_t(day);
  const uint32_t time = (hour << 11) | (minute << 5) | (second / 2);
  return (date << 16) | time;
}

void TUnsavedFileCache::Clear() {
  FDirs.Clear(16);
  FLists.clear();
  Loaded = false;
}

void TUnsavedFileCache::Add(const std::wstring& fileName, uint32_t age) {
  if (fileName.empty()) return;
  const std::string path = ToUtf8(fileName);
  const std::string dir = DirectoryPart(path.c_str());
  const std::string name = path.substr(dir.size());
  if (name.empty()) return;
  auto* files = static_cast<std::vector<TUnsavedFile>*>(FDirs.Find(dir.c_str()));
  if (!files) {
    FLists.push_back(std::make_unique<std::vector<TUnsavedFile>>());
    files = FLists.back().get();
    FDirs.Add(dir.c_str(), 0, files);
  }
  for (TUnsavedFile& file : *files)
    if (Utf8CompareText(file.Name.c_str(), name.c_str()) == 0) {
      file.Age = age;
      return;
    }
  files->push_back(TUnsavedFile{name, age});
}

void TUnsavedFileCache::Load(void* ideServices) {
  Clear();
  Loaded = true;
  THostInterface services;
  if (!ideServices || HostQueryInterface(ideServices, ModuleServicesId, services.Ref()) != S_OK) return;
  void* modules = services.Get();
  const int32_t count = HostInterfaceMethod<TCount>(modules, ModuleCountSlot)(modules);
  for (int32_t i = 0; i < count; ++i) {
    THostInterface module;
    HostInterfaceMethod<TIndexedInterface>(modules, ModuleSlot)(modules, i, module.Ref());
    if (!module) continue;
    const int32_t files = HostInterfaceMethod<TCount>(module.Get(), FileCountSlot)(module.Get());
    if (files <= 0) {
      THostStringResult name;
      HostInterfaceMethod<TStringResult>(module.Get(), FileNameSlot)(module.Get(), name.Ref());
      Add(name.Text(), AgeNotRead);
      continue;
    }
    for (int32_t f = 0; f < files; ++f) {
      THostInterface editor;
      HostInterfaceMethod<TIndexedInterface>(module.Get(), FileEditorSlot)(module.Get(), f, editor.Ref());
      if (!editor) continue;
      uint32_t age = AgeNotRead;
      THostInterface timed;
      if (HostQueryInterface(editor.Get(), EditorTimeId, timed.Ref()) == S_OK && timed)
        age = DosDateTimeOf(HostInterfaceMethod<TDateTimeResult>(timed.Get(), ModifiedTimeSlot)(timed.Get()));
      THostStringResult name;
      HostInterfaceMethod<TStringResult>(editor.Get(), EditorFileNameSlot)(editor.Get(), name.Ref());
      Add(name.Text(), age);
    }
  }
}

const std::vector<TUnsavedFile>* TUnsavedFileCache::Find(const char* dirWithDelimiter) {
  if (!Loaded) Load(BorlandIDEServices);
  return static_cast<const std::vector<TUnsavedFile>*>(FDirs.Find(dirWithDelimiter));
}

} // namespace Quillmend
