// Runs the stand-in IDE (bds.exe) once against a registry root of its own
// and collects what it wrote: its journal and the test patches' event log.
#pragma once

#include <string>
#include <vector>

struct TIdeSetup {
  std::wstring Name;                   // unique per test: registry key "QmTest-<Name>" and work directory
  bool StartupPackage = true;          // register QuillmendStartup.bpl as the first IDE package
  bool LibraryBesidePackage = true;    // put Quillmend.dll into the package's directory
  int ExpertRegistrations = 1;         // how often Quillmend.dll is listed under "Experts"
  std::wstring Patches;                // "QuillmendTest.Patches": tokens selecting test patches
  std::vector<std::wstring> Arguments; // further bds.exe arguments, e.g. -bccide -run cppload 1 0
};

struct TIdeRun {
  unsigned long ExitCode = 0;
  std::vector<std::wstring> Journal;  // lines, escapes undone
  std::vector<std::string> Events;    // the test patches' log
  std::wstring Directory;             // where Quillmend.dll and the package were placed

  // Journal lines beginning with prefix, prefix removed.
  std::vector<std::wstring> Lines(const std::wstring& prefix) const;
  size_t Count(const std::string& event) const;
  bool Saw(const std::wstring& line) const;
};

TIdeRun RunIde(const TIdeSetup& setup);

// One message box as the journal records it.
struct TMessageBox {
  std::wstring Caption;
  unsigned long Style = 0;
  std::wstring Text;
};
std::vector<TMessageBox> MessageBoxes(const TIdeRun& run);
