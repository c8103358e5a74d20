// The run-time's file-path functions and its form-text conversion with the
// pack disabled and enabled, side by side: the stand-in run-time and core
// package loaded into this process, the subsystem's patches installed once
// (their plans, as the library's unit initialization installs them), then
// their code edits taken out and put back in turn, so that both sides of a
// comparison run alternately (the machine is shared with other work); the
// results must be equal. Prints the tables; not a test.
//
//   RtlBench.exe                      everything, forms generated in memory
//   RtlBench.exe --write-forms <dir>  only writes the four form texts there
//   RtlBench.exe --forms <dir>        takes the form texts from there, and
//                                     Free Pascal's figures from <dir>\fpc.txt
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Common/BenchTimer.h"
#include "Common/HostGuard.h"
#include "Common/HostRtl.h"
#include "Framework/PatchPlan.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/CodeTransaction.h"
#include "Patches/Rtl/DfmOptimization.h"
#include "Patches/Rtl/FastFilePathStrFunctions.h"
#include "Patches/Rtl/IDEAnsiCompareFileName.h"
#include "rtl150/ConversionsDriver.h"

using Quillmend::Bench::Now;

namespace {

constexpr long Calls = 1000000;

QmHost::RtlConversions g_rtl;
const QmHost::HostRtl* g_host = nullptr;
int g_failures = 0;

std::wstring BuildDirectory() {
  wchar_t path[MAX_PATH];
  std::wstring self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  std::wstring bin = self.substr(0, self.find_last_of(L"\\/"));
  return bin.substr(0, bin.find_last_of(L"\\/"));
}

// ---- the path functions ---------------------------------------------------------------

// Paths of about `length` characters, different names so that results differ.
std::vector<std::wstring> PathsOfLength(size_t length) {
  std::vector<std::wstring> paths;
  for (int i = 0; i < 16; ++i) {
    std::wstring path = L"C:\\Projects\\";
    int level = 0;
    while (path.size() + 16 < length) path += L"Folder" + std::to_wstring(level++ * 7 + i) + L"\\";
    path += L"Unit" + std::to_wstring(1000 + i) + L".pas";
    paths.push_back(path);
  }
  return paths;
}

// A base and a destination file `depth` directories down, sharing half the way.
std::pair<std::wstring, std::wstring> RelativePair(int depth, int variant) {
  std::wstring base = L"C:\\", dest = L"c:\\";
  for (int level = 0; level < depth; ++level) {
    const std::wstring common = L"Level" + std::to_wstring(level) + L"\\";
    if (level < depth / 2) {
      base += common;
      dest += common;
    } else {
      base += L"Base" + std::to_wstring(level + variant) + L"\\";
      dest += L"Dest" + std::to_wstring(level) + L"\\";
    }
  }
  return {base + L"Project.dpr", dest + L"Unit" + std::to_wstring(variant) + L".pas"};
}

struct TPathFigures {
  double Ns = 0;
  double Allocations = 0;
  uint32_t Checksum = 0;
};

uint32_t Fnv(uint32_t hash, const wchar_t* s) {
  const int32_t length = s ? QmHost::StrHeader(s)->length : 0;
  for (int32_t i = 0; i < length; ++i) hash = (hash ^ s[i]) * 16777619u;
  return (hash ^ 0xFFFF) * 16777619u;
}

struct TPathCase {
  std::string Function;
  std::string Size;
  // One call on input i with the result variable; returns the new checksum.
  std::function<uint32_t(size_t i, wchar_t*& result, uint32_t hash)> Call;
  size_t Inputs;
};

// Switches the pack's code edits on and off (its module state stays published).
class TPackSwitch {
public:
  void Add(const std::vector<Quillmend::TCodeEdit>& edits) { FEdits.insert(FEdits.end(), edits.begin(), edits.end()); }
  void Enable(bool on) {
    if (on == FOn) return;
    if (on) {
      Quillmend::TCodeTransaction transaction(L"RtlBench");
      for (const Quillmend::TCodeEdit& edit : FEdits) transaction.Stage(edit.Address, edit.NewBytes);
      if (!transaction.Commit()) std::printf("   cannot enable the pack: %ls\n", transaction.Reason().c_str());
    } else {
      Quillmend::UndoAllTransactions();
    }
    FOn = on;
  }

private:
  std::vector<Quillmend::TCodeEdit> FEdits;
  bool FOn = true;
};

TPackSwitch g_pack;

// The calls in three rounds, the pack off and on in turn, a third of the
// calls each time: the fastest round's time per call for each side.
void Measure(const TPathCase& c, TPathFigures& disabled, TPathFigures& enabled) {
  for (bool on : {false, true}) {
    TPathFigures& figures = on ? enabled : disabled;
    figures.Ns = 1e30;
    figures.Checksum = 2166136261u;
  }
  long allocations[2] = {0, 0};
  for (int round = 0; round < 3; ++round) {
    for (bool on : {false, true}) {
      g_pack.Enable(on);
      TPathFigures& figures = on ? enabled : disabled;
      wchar_t* result = nullptr;
      const long count = round == 2 ? Calls - 2 * (Calls / 3) : Calls / 3;
      const long before = g_rtl.allocationCount();
      const double start = Now();
      for (long n = 0; n < count; ++n) figures.Checksum = c.Call(size_t(n) % c.Inputs, result, figures.Checksum);
      figures.Ns = std::min(figures.Ns, (Now() - start) * 1e9 / double(count));
      allocations[on] += g_rtl.allocationCount() - before;
      g_host->Release(result);
    }
  }
  disabled.Allocations = double(allocations[0]) / Calls;
  enabled.Allocations = double(allocations[1]) / Calls;
}

struct THostTexts {
  std::vector<wchar_t*> Texts;
  explicit THostTexts(const std::vector<std::wstring>& texts) {
    for (const std::wstring& t : texts) Texts.push_back(g_host->NewString(t));
  }
  ~THostTexts() {
    for (wchar_t*& t : Texts) g_host->Release(t);
  }
};

std::vector<TPathCase> PathCases(std::vector<std::unique_ptr<THostTexts>>& keep) {
  std::vector<TPathCase> cases;
  for (size_t length : {20u, 80u, 260u}) {
    const std::string size = std::to_string(length);
    keep.push_back(std::make_unique<THostTexts>(PathsOfLength(length)));
    std::vector<std::wstring> lower = PathsOfLength(length);
    for (std::wstring& p : lower) CharLowerBuffW(&p[0], DWORD(p.size()));
    keep.push_back(std::make_unique<THostTexts>(lower));
    const std::vector<wchar_t*>& paths = keep[keep.size() - 2]->Texts;
    const std::vector<wchar_t*>& same = keep.back()->Texts;
    auto string1 = [&paths](QmHost::RtlConversions::StringFn f) {
      return [f, &paths](size_t i, wchar_t*& r, uint32_t h) {
        f(paths[i], &r);
        return Fnv(h, r);
      };
    };
    cases.push_back({"ExtractFilePath", size, string1(g_rtl.extractFilePath), paths.size()});
    cases.push_back({"ExtractFileDir", size, string1(g_rtl.extractFileDir), paths.size()});
    cases.push_back({"ExtractFileName", size, string1(g_rtl.extractFileName), paths.size()});
    cases.push_back({"ExtractFileExt", size, string1(g_rtl.extractFileExt), paths.size()});
    cases.push_back({"ExtractModuleName", size, string1(g_rtl.extractModuleName), paths.size()});
    static wchar_t* extension = g_host->NewString(L".dcu");
    cases.push_back({"ChangeFileExt", size,
                     [&paths](size_t i, wchar_t*& r, uint32_t h) {
                       g_rtl.changeFileExt(paths[i], extension, &r);
                       return Fnv(h, r);
                     },
                     paths.size()});
    cases.push_back({"AnsiCompareFileName", size,
                     [&paths, &same](size_t i, wchar_t*&, uint32_t h) {
                       return (h ^ uint32_t(g_rtl.ansiCompareFileName(paths[i], same[(i + i / 8) % same.size()]) + 1)) *
                              16777619u;
                     },
                     paths.size()});
    cases.push_back({"SameFileName", size,
                     [&paths, &same](size_t i, wchar_t*&, uint32_t h) {
                       return (h ^ g_rtl.sameFileName(paths[i], same[(i + i / 8) % same.size()])) * 16777619u;
                     },
                     paths.size()});
  }
  for (int depth : {2, 6, 12}) {
    std::vector<std::wstring> bases, dests;
    for (int v = 0; v < 8; ++v) {
      auto pair = RelativePair(depth, v);
      bases.push_back(pair.first);
      dests.push_back(pair.second);
    }
    keep.push_back(std::make_unique<THostTexts>(bases));
    keep.push_back(std::make_unique<THostTexts>(dests));
    const std::vector<wchar_t*>& b = keep[keep.size() - 2]->Texts;
    const std::vector<wchar_t*>& d = keep.back()->Texts;
    cases.push_back({"ExtractRelativePath", "depth " + std::to_string(depth),
                     [&b, &d](size_t i, wchar_t*& r, uint32_t h) {
                       g_rtl.extractRelativePath(b[i], d[i], &r);
                       return Fnv(h, r);
                     },
                     b.size()});
  }
  return cases;
}

// ---- the form texts ---------------------------------------------------------------------

struct TForm {
  std::string Name;
  std::string Text;
};

std::string Component(int i, bool utf8, int binaryBytes) {
  char text[1024];
  std::snprintf(text, sizeof text,
                "  object Button%d: TButton\r\n    Left = %d\r\n    Top = %d\r\n    Width = 75\r\n    Height = 25\r\n"
                "    Anchors = [akLeft, akTop]\r\n    Font.Name = 'Tahoma'\r\n    Hint = 'Does the work of button %d'\r\n"
                "    Caption = '%s %d'\r\n    TabOrder = %d\r\n    OnClick = Button%dClick\r\n",
                i, 8 + (i % 40) * 80, 8 + (i / 40) * 30, i,
                utf8 ? "Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC \xE2\x82\xAC Schlie\xC3\x9F" "en" : "Button", i, i, i);
  std::string component = text;
  if (binaryBytes) {
    component += "    Glyph.Data = {\r\n";
    static const char Digits[] = "0123456789ABCDEF";
    for (int b = 0; b < binaryBytes;) {
      component += "      ";
      for (int k = 0; k < 32 && b < binaryBytes; ++k, ++b) {
        const unsigned value = unsigned(b * 31 + i) & 0xFF;
        component += Digits[value >> 4];
        component += Digits[value & 15];
      }
      component += b < binaryBytes ? "\r\n" : "}\r\n";
    }
  }
  return component + "  end\r\n";
}

std::string Form(int components, bool utf8, int binaryBytes) {
  std::string text = utf8 ? "\xEF\xBB\xBF" : "";
  text += "object MainForm: TMainForm\r\n  Left = 0\r\n  Top = 0\r\n  Caption = 'Benchmark'\r\n  ClientHeight = 600\r\n"
          "  ClientWidth = 800\r\n  Font.Style = []\r\n  OldCreateOrder = False\r\n  PixelsPerInch = 96\r\n";
  for (int i = 0; i < components; ++i) text += Component(i, utf8, binaryBytes);
  return text + "end\r\n";
}

std::vector<TForm> GeneratedForms() {
  return {{"form-50k.txt", Form(160, false, 0)},
          {"form-2m.txt", Form(8000, false, 0)},
          {"form-8m-binary.txt", Form(1000, false, 4096)},
          {"form-1m-utf8.txt", Form(3500, true, 0)}};
}

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

struct TFormFigures {
  double MBps = 0;
  std::string Output;
};

// Conversions repeated for at least a quarter of a second, in three rounds
// with the pack off and on in turn: the fastest round of each side.
void MeasureForm(const TForm& form, TFormFigures& host, TFormFigures& pack) {
  void* input = g_rtl.NewMemoryStream();
  void* output = g_rtl.NewMemoryStream();
  QmHost::FillMemoryStream(input, form.Text);
  using TClear = void(QM_HOST_REGISTER*)(void*);
  auto clear = reinterpret_cast<TClear>(
      reinterpret_cast<void*>(GetProcAddress(g_host->module, "@Classes@TMemoryStream@Clear$qqrv")));
  using TSeek = int32_t(QM_HOST_REGISTER*)(void*, int32_t, int);
  auto seek = reinterpret_cast<TSeek>(QmHost::VmtSlot(*static_cast<void**>(input), QmHost::StreamSlot::Seek32));
  double best[2] = {1e30, 1e30};
  for (int round = 0; round < 3; ++round) {
    for (bool on : {false, true}) {
      g_pack.Enable(on);
      int count = 0;
      const double start = Now();
      double elapsed = 0;
      do {
        seek(input, 0, 0);
        clear(output);
        QmHost::HostExceptionReport report;
        if (!QmHost::CallHostGuarded([&] { g_rtl.objectTextToBinary(input, output); }, report, g_host)) {
          std::printf("   %s: %ls\n", form.Name.c_str(), report.Text().c_str());
          ++g_failures;
          break;
        }
        ++count;
        elapsed = Now() - start;
      } while (elapsed < 0.25);
      if (count) best[on] = std::min(best[on], elapsed / count);
      (on ? pack : host).Output = QmHost::MemoryStreamBytes(output);
    }
  }
  host.MBps = double(form.Text.size()) / 1048576.0 / best[0];
  pack.MBps = double(form.Text.size()) / 1048576.0 / best[1];
  g_host->objectFree(input);
  g_host->objectFree(output);
}

std::map<std::string, double> ReadFpcFigures(const std::wstring& file) {
  std::map<std::string, double> figures;
  std::istringstream lines(ReadFile(file));
  std::string name;
  double mbps;
  while (lines >> name >> mbps) figures[name] = mbps;
  return figures;
}

// Installs the subsystem's plans as the library's unit initialization does
// and keeps their edits for the switch.
void InstallPack() {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  Quillmend::ResolveOrdinalCompare();
  std::vector<Quillmend::TPatchPlan> plans;
  plans.push_back(Quillmend::AnsiCompareFileNamePlan());
  plans.push_back(Quillmend::FilePathStrFunctionsPlan());
  plans.push_back(Quillmend::ExtractRelativePathPlan());
  plans.push_back(Quillmend::DfmOptimizationPlan());
  for (Quillmend::TPatchPlan& plan : plans) {
    const Quillmend::TPlanVerdict verdict = Quillmend::InstallPlanVerdict(plan);
    if (!verdict.Applies) {
      std::printf("   %ls not applied: %ls\n", plan.Name().c_str(), verdict.Reason.c_str());
      ++g_failures;
    }
    g_pack.Add(verdict.Edits);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::wstring build = BuildDirectory();
  HMODULE rtl = LoadLibraryW((build + L"\\host\\rtl150.bpl").c_str());
  HMODULE coreIde = LoadLibraryW((build + L"\\host\\coreide150.bpl").c_str());
  const char* missing = nullptr;
  g_host = QmHost::LoadedHostRtl();
  if (!rtl || !coreIde || !g_host || !g_rtl.Resolve(rtl, coreIde, &missing)) {
    std::printf("cannot load the stand-in run-time (%s)\n", missing ? missing : "module");
    return 1;
  }
  const std::string option = argc > 1 ? argv[1] : "";
  std::wstring formDirectory;
  if (argc > 2) {
    const std::string dir = argv[2];
    formDirectory.assign(dir.begin(), dir.end());
  }
  if (option == "--write-forms") {
    for (const TForm& form : GeneratedForms()) {
      std::ofstream out((formDirectory + L"\\" + std::wstring(form.Name.begin(), form.Name.end())).c_str(),
                        std::ios::binary);
      out << form.Text;
    }
    return 0;
  }
  std::vector<TForm> forms = GeneratedForms();
  std::map<std::string, double> fpc;
  if (option == "--forms") {
    for (TForm& form : forms) form.Text = ReadFile(formDirectory + L"\\" + std::wstring(form.Name.begin(), form.Name.end()));
    fpc = ReadFpcFigures(formDirectory + L"\\fpc.txt");
  }

  InstallPack();
  std::vector<std::unique_ptr<THostTexts>> keep;
  const std::vector<TPathCase> cases = PathCases(keep);

  std::printf("File-path functions: %ld calls each, pack disabled and enabled\n", Calls);
  std::printf("   %-20s %-9s %12s %7s %12s %7s %8s  %s\n", "function", "path", "disabled ns", "allocs", "enabled ns",
              "allocs", "speed-up", "results");
  for (const TPathCase& c : cases) {
    TPathFigures disabled, enabled;
    Measure(c, disabled, enabled);
    const bool equal = enabled.Checksum == disabled.Checksum;
    g_failures += !equal;
    std::printf("   %-20s %-9s %12.1f %7.2f %12.1f %7.2f %7.1fx  %s\n", c.Function.c_str(), c.Size.c_str(), disabled.Ns,
                disabled.Allocations, enabled.Ns, enabled.Allocations, disabled.Ns / enabled.Ns,
                equal ? "equal" : "DIFFERENT");
  }

  std::printf("\nForm text to binary (ObjectTextToBinary): MB/s\n");
  std::printf("   %-20s %9s %10s %10s %10s %10s %10s  %s\n", "input", "size", "host", "pack", "FPC", "pack/host",
              "pack/FPC", "outputs");
  for (const TForm& form : forms) {
    TFormFigures host, pack;
    MeasureForm(form, host, pack);
    const bool equal = pack.Output == host.Output;
    g_failures += !equal;
    const auto reference = fpc.find(form.Name);
    char fpcColumn[32] = "-", ratioColumn[32] = "-";
    if (reference != fpc.end()) {
      std::snprintf(fpcColumn, sizeof fpcColumn, "%.1f", reference->second);
      std::snprintf(ratioColumn, sizeof ratioColumn, "%.1fx", pack.MBps / reference->second);
    }
    std::printf("   %-20s %7.2f MB %10.1f %10.1f %10s %9.1fx %10s  %s\n", form.Name.c_str(),
                double(form.Text.size()) / 1048576.0, host.MBps, pack.MBps, fpcColumn, pack.MBps / host.MBps,
                ratioColumn, equal ? "equal" : "DIFFERENT");
  }
  return g_failures ? 1 : 0;
}
