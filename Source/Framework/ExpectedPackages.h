// The design-time packages the IDE is expected to load after the expert
// entry, for the splash screen's progress: gathered from the IDE's registry
// (experts, the known packages of the active personalities), less those the
// default project excludes and those already loaded; disabled packages count
// as loaded from the start. Each package load then takes its name off the
// list, and the share taken off is the progress.
#pragma once

#include <cstdint>
#include <windows.h>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace Quillmend {

// Everything the list is built from, so that it can be built from fixtures.
struct TExpectedPackageSources {
  std::vector<std::wstring> Params;  // command-line parameters 1 .. count, as ParamStr gives them
  std::wstring BaseKey;              // the IDE's registry key below HKEY_CURRENT_USER ("" leaves the registry out)
  std::wstring DefProjectDirectory;  // where "DefProject.bdsproj" lies ("" when unknown)
  std::function<bool(const std::wstring& fileName)> IsLoaded;  // a module of that name is in the process
};

// Personalities named by "-p"/"/p" parameters (ignoring case; ";" separates
// several, quotes and blanks around each are dropped, empty parts skipped);
// "CBuilder" and "Delphi" when none is named.
std::vector<std::wstring> PersonalitiesFromParams(const std::vector<std::wstring>& params);

// The process's command-line parameters 1 .. count, split and unquoted the
// way the host's ParamStr does it.
std::vector<std::wstring> ProcessParams();

// Text after the last '\' or ':' (the host's ExtractFileName).
std::wstring FileNamePart(const std::wstring& path);

// The file names packages excluded for one section ("Delphi",
// "CPlusPlusBuilder") in the lines of a default project file. Lines are
// compared after trimming leading blanks (project files indent them).
std::vector<std::wstring> ExcludedPackages(const std::vector<std::wstring>& lines, const std::wstring& section);

// The lines of a text file (UTF-16 or UTF-8 by its byte-order mark, else the
// system's ANSI code page); false when it cannot be read.
bool ReadTextLines(const std::wstring& path, std::vector<std::wstring>& lines);

// The file names of the modules loaded in the process. Asking the loader by
// name searches the disk under Wine, and listing its modules costs a server
// call per module there: after one listing the set follows the loader's
// load and unload notifications (where the system offers them; otherwise
// every Refresh lists the modules again).
class TLoadedModules {
public:
  TLoadedModules() = default;
  ~TLoadedModules();
  TLoadedModules(const TLoadedModules&) = delete;
  TLoadedModules& operator=(const TLoadedModules&) = delete;

  // Lists the modules and, from then on, follows the loader (idempotent).
  void Start();
  // Stops following the loader; the set empties.
  void Stop();
  // Brings the set up to date (nothing to do while following the loader).
  void Refresh();
  bool Contains(const std::wstring& fileName) const;  // ignoring case
  bool Following() const { return FCookie != nullptr; }

  void Loaded(const std::wstring& fileName);    // a notification
  void Unloaded(const std::wstring& fileName);  // a notification

private:
  void List();
  struct TLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const;
  };
  std::map<std::wstring, int, TLess> FNames;  // name → modules of that name
  mutable SRWLOCK FLock = SRWLOCK_INIT;
  void* FCookie = nullptr;
  bool FStarted = false;
};

class TExpectedPackages {
public:
  // Builds the list (a list built before is replaced).
  void Build(const TExpectedPackageSources& sources);
  bool Built() const { return FBuilt; }
  int32_t Expected() const { return FExpected; }
  const std::vector<std::wstring>& Remaining() const { return FNames; }

  // A package was loaded: when its file-name part is listed, its entry and
  // every other entry whose module is loaded by now go, and the progress
  // (0 .. 100) is answered; -1 when it was not listed or nothing is expected.
  int32_t PackageLoaded(const std::wstring& fileName, const std::function<bool(const std::wstring&)>& isLoaded);

  // The file-name part of `fileName` is listed.
  bool Listed(const std::wstring& fileName) const { return Find(FileNamePart(fileName)) >= 0; }

  void Clear();

private:
  bool Add(const std::wstring& name);  // unless listed (ignoring case)
  bool Remove(const std::wstring& name);
  int Find(const std::wstring& name) const;

  std::vector<std::wstring> FNames;
  int32_t FExpected = 0;
  bool FBuilt = false;
  bool FSorted = false;
};

}  // namespace Quillmend
