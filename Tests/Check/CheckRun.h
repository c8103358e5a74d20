// Runs QuillmendCheck.exe (<build>/out) against a stand-in installation of
// its own: <build>\Testing\Check\<name>\RAD Studio with a bin folder,
// registered under HKCU\Software\Embarcadero\QmCheck-<name>\8.0 as a
// RAD Studio XE root ("ProductVersion" "15", "RootDir").
#pragma once

#include <string>
#include <utility>
#include <vector>

class TCheckInstallation {
public:
  // The bin folder gets the files of each directory in turn (later ones replace earlier ones).
  TCheckInstallation(const std::wstring& name, const std::vector<std::wstring>& directories);
  ~TCheckInstallation();  // the registry root goes again
  TCheckInstallation(const TCheckInstallation&) = delete;
  TCheckInstallation& operator=(const TCheckInstallation&) = delete;

  void WriteBinFile(const std::wstring& file, const std::string& bytes) const;
  void RemoveBinFile(const std::wstring& file) const;
  // A root value ("ProductVersion", "RootDir") set to another text.
  void SetRootValue(const std::wstring& name, const std::wstring& value) const;

  std::wstring RegKey;  // QmCheck-<name>
  std::wstring Root;    // the installation folder
  std::wstring Bin;
};

struct TCheckRun {
  unsigned long ExitCode = 0;
  std::string Out, Err;  // UTF-8
  std::vector<std::string> OutLines() const;
};

// Runs the check with these arguments and extra environment variables.
TCheckRun RunCheck(const std::vector<std::wstring>& arguments,
                   const std::vector<std::pair<std::wstring, std::wstring>>& environment = {});

// Every file of a directory (not its subdirectories).
std::vector<std::wstring> FilesIn(const std::wstring& directory);
