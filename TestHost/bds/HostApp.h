// State of the running stand-in IDE shared by its parts: options, journal,
// host run-time and the registry root.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Common/HostGuard.h"
#include "Common/HostRtl.h"
#include "Common/Journal.h"

namespace QmHost {

struct HostOptions {
  std::wstring regKey = L"BDS";         // -r<RegKey>
  std::wstring journalPath;             // -journal <path>
  std::wstring workload;                // -run <name> [args...]
  std::vector<std::wstring> workloadArgs;
  bool showMessageBoxes = false;        // -showmessageboxes
  bool loadBccIde = false;              // -bccide
  bool loadCompiler = false;            // -comp32x (implies -bccide)
  bool appExceptionHandler = true;      // -noapphandler switches it off
  std::vector<std::wstring> omitted;    // -omit <module> (repeatable): a start-up module left out
  std::vector<std::wstring> personalities;  // -p<P1;P2...> or /p... (repeatable), dequoted and trimmed
  bool splash = false;                  // -splash: the splash screen shown during start-up
  int splashHoldMs = 0;                 // -splashhold <ms>: kept up that long before it closes
  std::wstring defProjectDirectory;     // -defproject <dir>: where "DefProject.bdsproj" lies

  bool Omits(const std::wstring& module) const;
};

struct HostApp {
  HostOptions options;
  std::wstring hostDir;                 // directory of bds.exe, with trailing backslash
  std::wstring rootKey;                 // Software\Embarcadero\<RegKey>\8.0 (under HKCU)
  Journal journal;
  HostRtl rtl;

  // Writes one journal line: a fixed event word and already escaped fields.
  void Log(const std::wstring& line) { journal.Write(line); }
  // Journals a caught exception as "EXCEPTION <class>: <message>".
  void LogException(const HostExceptionReport& report);
  // Journals "STACK-IMBALANCE <what> <bytes>" when a foreign call left the
  // stack unbalanced (a calling-convention mismatch).
  void CheckStack(const std::wstring& what, int imbalance);
};

HostApp& App();

std::wstring Hex(unsigned value);

} // namespace QmHost
