// Runs the stand-in IDE (bds.exe) once against a registry root of its own
// and collects what it wrote: its journal and the test patches' event log.
// The expert is the test build of Quillmend.dll unless a setup names another
// (the shipped library in <build>/out, for example).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "TestPaths.h"

struct TIdeSetup {
  std::wstring Name;                   // unique per test: registry key "QmTest-<Name>" and work directory
  std::wstring Suite = L"LibraryEntry";// work directories live in <build>\Testing\<Suite>\<Name>
  std::wstring Library;                // Quillmend.dll to register; empty: <build>\testlib\Quillmend.dll
  bool StartupPackage = true;          // register QuillmendStartup.bpl as the first IDE package
  bool LibraryBesidePackage = true;    // put Quillmend.dll into the package's directory
  int ExpertRegistrations = 1;         // how often Quillmend.dll is listed under "Experts"
  std::wstring Patches;                // "QuillmendTest.Patches": tokens selecting test patches
  // Further environment variables for the IDE process (name, value); the
  // test process's own values are restored afterwards.
  std::vector<std::pair<std::wstring, std::wstring>> Environment;
  std::vector<std::wstring> Arguments; // further bds.exe arguments, e.g. -bccide -run cppload 1 0
  std::wstring HostDirectory;          // the IDE's bin folder with bds.exe; empty: <build>\host
  // Further IDE packages (path, description), registered beside the start-up package.
  std::vector<std::pair<std::wstring, std::wstring>> Packages;
  // Design packages (path, description) under "Known Packages", loaded after the experts.
  std::vector<std::pair<std::wstring, std::wstring>> DesignPackages;
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
