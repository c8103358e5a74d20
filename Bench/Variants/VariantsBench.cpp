// The variant conversions with the pack disabled and enabled, side by side:
// 1,000,000 conversions per kind (small and large Integer, Boolean, OLE
// string, Double, an Integer by reference to a UnicodeString; a Boolean to
// a Boolean; a UnicodeString stored into a variant), in alternating rounds,
// results equal. Prints the table; not a test.
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "Common/BenchTimer.h"
#include "Common/HostRtl.h"
#include "Common/PackSwitch.h"
#include "Patches/Variants/VariantsConvOptimize.h"
#include "rtl150/VariantsDriver.h"

using Quillmend::Bench::Now;
using namespace VariantsDriver;

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
void Measure(long calls, F&& call, TSide& off, TSide& on) {
  for (int round = 0; round < 5; ++round)
    for (bool enabled : {false, true}) {
      g_pack.Enable(enabled);
      TSide& side = enabled ? on : off;
      uint64_t sum = 0;
      const long count = calls / 5;
      const double start = Now();
      for (long n = 0; n < count; ++n) sum = call(sum);
      side.Ns = std::min(side.Ns, (Now() - start) * 1e9 / double(count));
      side.Sum = sum;
    }
}

void Row(const char* kind, const TSide& off, const TSide& on) {
  const bool same = off.Sum == on.Sum;
  if (!same) ++g_failures;
  std::printf("   %-26s %9.1f ns %9.1f ns %8.1fx  %s\n", kind, off.Ns, on.Ns, off.Ns / on.Ns, same ? "equal" : "DIFFERENT");
}

uint64_t Mix(uint64_t sum, const wchar_t* s) {
  const int32_t length = s ? reinterpret_cast<const int32_t*>(s)[-1] : 0;
  for (int32_t i = 0; i < length; ++i) sum = (sum ^ s[i]) * 1099511628211ull;
  return sum;
}

}  // namespace

int main() {
  HMODULE rtl = LoadLibraryW((BuildDirectory() + L"\\host\\rtl150.bpl").c_str());
  const QmHost::HostRtl* host = QmHost::LoadedHostRtl();
  if (!rtl || !host) {
    std::printf("cannot load the stand-in run-time\n");
    return 1;
  }
  auto toUStr = Bind<VarToUStrFn>(rtl, Export::VarToUStr);
  auto toBool = Bind<VarToBoolFn>(rtl, Export::VarToBool);
  auto fromUStr = Bind<OleVarFromUStrFn>(rtl, Export::OleVarFromUStr);
  auto clear = Bind<VarClearFn>(rtl, Export::VarClear);
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  for (Quillmend::TPatchPlan& plan : Quillmend::VariantsConvOptimizePlans()) g_pack.Add(Quillmend::InstallPlanVerdict(plan));
  Quillmend::PublishVariantTexts();  // as the installation does right after the commit

  int32_t referenced = 77;
  struct TKind {
    const char* Name;
    TVarData Value;
  } kinds[6] = {};
  kinds[0] = {"Integer 42", {}};
  kinds[0].Value.VType = VT_I4;
  kinds[0].Value.VInteger = 42;
  kinds[1] = {"Integer 123456789", {}};
  kinds[1].Value.VType = VT_I4;
  kinds[1].Value.VInteger = 123456789;
  kinds[2] = {"Boolean", {}};
  kinds[2].Value.VType = VT_BOOL;
  kinds[2].Value.VBoolean = VARIANT_TRUE;
  kinds[3] = {"OleStr (12 characters)", {}};
  kinds[3].Value.VType = VT_BSTR;
  kinds[3].Value.VOleStr = SysAllocString(L"twelve chars");
  kinds[4] = {"Double 3.25", {}};
  kinds[4].Value.VType = VT_R8;
  kinds[4].Value.VDouble = 3.25;
  kinds[5] = {"Integer by reference", {}};
  kinds[5].Value.VType = VT_I4 | varByRef;
  kinds[5].Value.VPointer = &referenced;

  std::printf("== Variants: 1,000,000 conversions per kind, pack disabled and enabled\n");
  std::printf("   %-26s %12s %12s %9s  %s\n", "to UnicodeString", "disabled", "enabled", "speed-up", "results");
  wchar_t* text = nullptr;
  for (TKind& kind : kinds) {
    TSide off, on;
    Measure(1000000, [&](uint64_t sum) {
      toUStr(&text, &kind.Value);
      return Mix(sum, text);
    }, off, on);
    Row(kind.Name, off, on);
  }
  {
    TSide off, on;
    Measure(1000000, [&](uint64_t sum) { return sum * 3 + (toBool(&kinds[2].Value) ? 1 : 0); }, off, on);
    std::printf("   %-26s\n", "to Boolean");
    Row("Boolean", off, on);
  }
  {
    wchar_t* source = host->NewString(L"a string of 24 characters");
    TVarData target{};
    TSide off, on;
    Measure(1000000, [&](uint64_t sum) {
      fromUStr(&target, source);
      const BSTR t = target.VOleStr;
      for (UINT i = 0; i < SysStringLen(t); ++i) sum = (sum ^ t[i]) * 1099511628211ull;
      return sum + target.VType;
    }, off, on);
    std::printf("   %-26s\n", "string into a variant");
    Row("UnicodeString", off, on);
    clear(&target);
    host->Release(source);
  }
  host->Release(text);
  std::printf("   goals: at least 10x for small Integers and Booleans; no kind slower\n");
  return g_failures ? 1 : 0;
}
