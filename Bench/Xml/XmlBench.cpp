// TXMLNode's node value with the pack disabled and enabled, side by side:
// 1,000,000 reads of a text, writes of an OLE string and of a Boolean
// (UseXSDBooleanStrings on), in alternating rounds, results equal. Prints
// the table; not a test.
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "Common/BenchTimer.h"
#include "Common/PackSwitch.h"
#include "Patches/Xml/XmlDocOptimization.h"
#include "rtl150/VariantsDriver.h"
#include "xmlrtl150/XmlDriver.h"

using Quillmend::Bench::Now;

namespace {

Quillmend::Bench::TPackSwitch g_pack;
int g_failures = 0;

std::wstring BuildDirectory() {
  wchar_t path[MAX_PATH];
  std::wstring self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  std::wstring bin = self.substr(0, self.find_last_of(L"\\/"));
  return bin.substr(0, bin.find_last_of(L"\\/"));
}

struct TSide {
  double Ns = 1e30;
  uint64_t Sum = 0;
};

template <class F>
void Row(const char* what, F&& call) {
  TSide off, on;
  for (int round = 0; round < 5; ++round)
    for (bool enabled : {false, true}) {
      g_pack.Enable(enabled);
      TSide& side = enabled ? on : off;
      uint64_t sum = 0;
      const long count = 1000000 / 5;
      const double start = Now();
      for (long n = 0; n < count; ++n) sum = call(sum);
      side.Ns = std::min(side.Ns, (Now() - start) * 1e9 / double(count));
      side.Sum = sum;
    }
  const bool same = off.Sum == on.Sum;
  if (!same) ++g_failures;
  std::printf("   %-28s %9.1f ns %9.1f ns %8.1fx  %s\n", what, off.Ns, on.Ns, off.Ns / on.Ns, same ? "equal" : "DIFFERENT");
}

}  // namespace

int main() {
  const std::wstring build = BuildDirectory();
  HMODULE rtl = LoadLibraryW((build + L"\\host\\rtl150.bpl").c_str());
  HMODULE xml = LoadLibraryW((build + L"\\host\\xmlrtl150.bpl").c_str());
  if (!rtl || !xml) {
    std::printf("cannot load the stand-in packages\n");
    return 1;
  }
  using namespace XmlDriver;
  reinterpret_cast<void(__stdcall*)()>(GetProcAddress(xml, "Initialize"))();
  auto get = Bind<GetNodeValueFn>(xml, Export::GetNodeValue);
  auto set = Bind<SetNodeValueFn>(xml, Export::SetNodeValue);
  auto nodeText = Bind<NodeTextFn>(xml, Export::NodeText);
  auto* useXsd = Bind<uint8_t*>(xml, Export::UseXSDBooleanStrings);
  auto clear = VariantsDriver::Bind<VariantsDriver::VarClearFn>(rtl, VariantsDriver::Export::VarClear);
  void* node = Bind<NewNodeFn>(xml, Export::NewNode)(L"a node's text of some length");
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  for (Quillmend::TPatchPlan& plan : Quillmend::XmlDocOptimizationPlans()) g_pack.Add(Quillmend::InstallPlanVerdict(plan));

  std::printf("== XML node values: 1,000,000 calls each, pack disabled and enabled\n");
  std::printf("   %-28s %12s %12s %9s  %s\n", "", "disabled", "enabled", "speed-up", "results");
  VariantsDriver::TVarData value{};
  Row("GetNodeValue (a text)", [&](uint64_t sum) {
    get(node, &value);
    const uint64_t result = sum * 31 + value.VType + (value.VOleStr ? SysStringLen(value.VOleStr) : 0);
    clear(&value);
    return result;
  });
  VariantsDriver::TVarData text{};
  text.VType = VT_BSTR;
  text.VOleStr = SysAllocString(L"a new text for the node");
  Row("SetNodeValue (an OLE string)", [&](uint64_t sum) {
    set(node, &text);
    return sum * 31 + uint64_t(nodeText(node, nullptr, 0));
  });
  *useXsd = 1;
  VariantsDriver::TVarData flag{};
  flag.VType = VT_BOOL;
  flag.VBoolean = VARIANT_TRUE;
  Row("SetNodeValue (a Boolean, XSD)", [&](uint64_t sum) {
    set(node, &flag);
    return sum * 31 + uint64_t(nodeText(node, nullptr, 0));
  });
  return g_failures ? 1 : 0;
}
