// The ini workload: an ini script run by a TXmlIniFile over a document
// read from a file (a new one with the root "ini" when it does not exist),
// the document written back afterwards.
//
//   -run ini <script> <document>
//
// The script (UTF-8) holds one step per line: the operation letter, the
// section, the key and the value, separated by tabs (XmlIniScript.h has the
// letters). Journal: INI-READ <line number> <result> for every read (escaped:
// a list's lines are separated by \n), then INI-SCRIPT steps=<n> reads=<r>
// bytes=<the document's size> class=<the ini object's class>
// own-class=<1 when it is the host's own> ms=<time of the steps>.
#include <windows.h>

#include <cwchar>
#include <fstream>
#include <sstream>
#include <string>

#include "Common/HostRtl.h"
#include "Common/Journal.h"
#include "XmlIniScript.h"
#include "bds/HostApp.h"
#include "bds/Workloads.h"

namespace QmHost {

namespace {

double NowMs() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) * 1000.0 / double(f.QuadPart);
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  std::wstring out(text.size(), L'\0');
  out.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), &out[0], int(out.size()))));
  return out;
}

std::vector<std::wstring> Fields(const std::wstring& line) {
  std::vector<std::wstring> fields;
  size_t start = 0;
  for (size_t tab; (tab = line.find(L'\t', start)) != std::wstring::npos; start = tab + 1)
    fields.push_back(line.substr(start, tab - start));
  fields.push_back(line.substr(start));
  while (fields.size() < 4) fields.emplace_back();
  return fields;
}

int RunIni(HostApp& app, const std::vector<std::wstring>& args) {
  if (args.size() != 2) {
    app.Log(L"WORKLOAD-ERROR ini: expected <script> <document>");
    return 2;
  }
  XmlIniScript::THost host;
  if (!host.Bind()) {
    app.Log(L"WORKLOAD-ERROR ini: xmlrtl150.bpl lacks the ini file");
    return 2;
  }
  std::ifstream file(args[0].c_str(), std::ios::binary);
  if (!file) {
    app.Log(L"WORKLOAD-ERROR ini: cannot read " + args[0]);
    return 2;
  }
  std::stringstream text;
  text << file.rdbuf();
  void* root = host.LoadDocument(args[1].c_str());
  if (!root) root = host.NewDocument(L"ini");
  void* ini = host.NewIni(root);
  const bool ownClass = *static_cast<void**>(ini) == host.IniClass();
  const std::wstring className = HostClassName(ini);
  std::wstring line;
  std::wistringstream lines(Wide(text.str()));
  int number = 0, steps = 0, reads = 0;
  double elapsed = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    if (line.empty()) continue;
    const std::vector<std::wstring> f = Fields(line);
    const double start = NowMs();
    const std::wstring result = host.Step(ini, f[0][0], f[1], f[2], f[3]);
    elapsed += NowMs() - start;
    ++steps;
    if (std::wstring(L"RIBVSQT").find(f[0][0]) != std::wstring::npos) {
      ++reads;
      app.Log(L"INI-READ " + std::to_wstring(number) + L" " + JournalEscape(result));
    }
  }
  host.FreeIni(ini);
  const bool saved = host.SaveDocument(root, args[1].c_str()) != FALSE;
  host.ReleaseNode(root);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExW(args[1].c_str(), GetFileExInfoStandard, &data);
  wchar_t summary[256];
  std::swprintf(summary, 256, L"INI-SCRIPT steps=%d reads=%d bytes=%lu class=%ls own-class=%d ms=%.3f", steps, reads,
                data.nFileSizeLow, className.c_str(), ownClass ? 1 : 0, elapsed);
  app.Log(summary);
  return saved ? 0 : 1;
}

const WorkloadRegistration kRegistration{L"ini", RunIni,
                                         L"ini <script> <document>  runs an ini script on a TXmlIniFile over the document"};

}  // namespace

}  // namespace QmHost
