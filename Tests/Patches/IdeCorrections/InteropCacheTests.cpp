// "IDE.HelpInsight.InteropCache" in a test program that stands for the
// library: the bridge's native double QuillmendClr.dll lies beside it, the
// stand-in core package hands out the documentation object W, and the
// runtime's and interop assembly's marker modules say what is loaded.
// Every argument reaches W unchanged (stack balanced), methods 7 and 8 run
// inside the cache and the others not, begins and ends balance per thread
// whatever W or the bridge does, W's HRESULT comes back, other interfaces
// and failed queries are not wrapped, the helper releases W with its last
// reference, and the load waits for the main window when the interop
// assembly is not there yet.
#include <gtest/gtest.h>

#include <windows.h>

#include <oleauto.h>

#include <string>
#include <thread>
#include <vector>

#include "Common/CheckedCall.h"
#include "Framework/PatchRegistry.h"
#include "Patches/IdeCorrections/HelpInsightInteropCache.h"
#include "TestPaths.h"
#include "ThreeWayHarness.h"
#include "clr/BridgeDoubleDriver.h"
#include "coreide150/HelpInsightDocDriver.h"

namespace {

namespace D = HelpInsightDocDriver;
const wchar_t* const InteropCache = L"IDE.HelpInsight.InteropCache";

D::Driver g_doc;

HMODULE LoadHost(const std::wstring& file, const std::string& variant = "") {
  std::wstring path = BuildDirectory() + L"\\host\\" + file;
  if (!variant.empty()) {
    const std::wstring altered =
        BuildDirectory() + L"\\host-variants\\" + std::wstring(variant.begin(), variant.end()) + L"\\" + file;
    if (GetFileAttributesW(altered.c_str()) != INVALID_FILE_ATTRIBUTES) path = altered;
  }
  return LoadLibraryW(path.c_str());
}

const std::vector<std::wstring> Modules = {L"rtl150.bpl", L"designide150.bpl", L"coreide150.bpl", L"mscoreei.dll"};

void LoadStandIns(bool interopAssembly) {
  for (const std::wstring& file : Modules) ASSERT_NE(LoadHost(file), nullptr);
  if (interopAssembly) {
    ASSERT_NE(LoadHost(L"Borland.Studio.Interop.dll"), nullptr);
  }
  ASSERT_TRUE(g_doc.Bind(GetModuleHandleW(L"coreide150.bpl")));
}

void Install() {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  Quillmend::InstallHelpInsightInteropCache();
}

std::wstring Status() {
  for (const Quillmend::TPatchReport& r : Quillmend::PatchReports())
    if (r.Name == InteropCache)
      return r.Status == Quillmend::psApplied ? L"applied" : r.Status == Quillmend::psIgnored ? L"ignored" : L"failed";
  return L"";
}

template <class T>
T Bridge(const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"QuillmendClr.dll"), name)));
}

struct TCounts {
  int32_t Begins = 0, Ends = 0, Unbalanced = 0;
};
TCounts Counts() {
  TCounts c;
  Bridge<BridgeDoubleDriver::CountsFn>("QuillmendClrCounts")(&c.Begins, &c.Ends, &c.Unbalanced);
  return c;
}

std::vector<D::TDocCall> Calls() {
  std::vector<D::TDocCall> calls(size_t(g_doc.Calls(nullptr, 0)) + 64);
  calls.resize(size_t(g_doc.Calls(calls.data(), int32_t(calls.size()))));
  return calls;
}

void* Query(const GUID& iid, HRESULT* hr = nullptr) {
  void* module = g_doc.NewModule();
  void* obj = reinterpret_cast<void*>(1);
  const HRESULT result = g_doc.QueryInterface(module, &iid, &obj);
  if (hr) *hr = result;
  return obj;
}

const void* Method(void* intf, int index) { return (*static_cast<void* const* const*>(intf))[index]; }
uint32_t Call(void* intf, int index, std::vector<uint32_t> args, int& imbalance) {
  uint32_t a[9] = {};
  for (size_t i = 0; i < args.size(); ++i) a[i] = args[i];
  const void* fn = Method(intf, index);
  switch (args.size()) {
    case 0: return QmHost::CallStdcallChecked(fn, imbalance, intf);
    case 1: return QmHost::CallStdcallChecked(fn, imbalance, intf, a[0]);
    case 2: return QmHost::CallStdcallChecked(fn, imbalance, intf, a[0], a[1]);
    case 4: return QmHost::CallStdcallChecked(fn, imbalance, intf, a[0], a[1], a[2], a[3]);
    case 5: return QmHost::CallStdcallChecked(fn, imbalance, intf, a[0], a[1], a[2], a[3], a[4]);
    case 8: return QmHost::CallStdcallChecked(fn, imbalance, intf, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
    default: return QmHost::CallStdcallChecked(fn, imbalance, intf, a[0], a[1], a[2]);
  }
}
void Release(void* intf) {
  int imbalance = 0;
  Call(intf, 2, {}, imbalance);
}

uint32_t U(const void* p) { return uint32_t(reinterpret_cast<uintptr_t>(p)); }

// ---- three ways ---------------------------------------------------------------

std::string ExerciseDocumentation() {
  if (!g_doc.QueryInterface) return "no QueryInterface";  // a host without it
  void* w = Query(D::IID_Documentation);
  wchar_t* text = nullptr;
  uint8_t flag = 0;
  int imbalance = 0;
  std::string out = std::to_string(Call(w, 3, {7}, imbalance)) + " " +
                    std::to_string(Call(w, 7, {1, 2, 3, U(&text)}, imbalance)) + " " +
                    std::to_string(Call(w, 9, {U(&flag)}, imbalance)) + " flag=" + std::to_string(flag) +
                    " text=" + (text ? std::string(text, text + wcslen(text)) : "nil") +
                    " imbalance=" + std::to_string(imbalance);
  SysFreeString(text);
  Release(w);
  return out;
}

const std::vector<TPatchRow> PatchRows = {{InteropCache, {}}};
const std::vector<TVariantRow> VariantRows = {{"noqueryinterface", {InteropCache}}};

const TThreeWaySubsystem& InteropCacheSubsystem() {
  static const TThreeWaySubsystem subsystem{
      {L"rtl150.bpl", L"designide150.bpl", L"coreide150.bpl", L"mscoreei.dll", L"Borland.Studio.Interop.dll"},
      [] { g_doc.Bind(GetModuleHandleW(L"coreide150.bpl")); },
      [] { Quillmend::InstallHelpInsightInteropCache(); },
      [] { return ExerciseDocumentation(); },
      {InteropCache},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(HelpInsightInteropCache, InteropCacheSubsystem(), PatchRows, VariantRows)

}  // namespace

// ---- behaviour ------------------------------------------------------------------

TEST(HelpInsightInteropCache, EveryArgumentReachesWUnchangedAndOnly7And8AreCached) {
  LoadStandIns(true);
  Install();
  ASSERT_EQ(Status(), L"applied");
  const int32_t baseRefs = g_doc.References();
  void* helper = Query(D::IID_Documentation);
  ASSERT_NE(helper, nullptr);
  EXPECT_EQ(Quillmend::THelpInsightInteropCacheHelper::Alive(), 1);
  EXPECT_EQ(g_doc.References(), baseRefs + 1);  // the helper's one reference

  wchar_t* text7 = reinterpret_cast<wchar_t*>(0x1);  // an out parameter's garbage, not freed
  wchar_t* text8 = nullptr;
  uint8_t flag = 0;
  const struct {
    int Method;
    std::vector<uint32_t> Args;
    std::vector<uint32_t> Seen;  // what W records
    int32_t Depth;               // the cache's depth during W's call
  } rows[] = {
      {3, {0x11111111}, {0x11111111}, 0},
      {4, {1, 2, 3}, {1, 2, 3}, 0},
      {5, {5, 6, 7, 8, 9}, {5, 6, 7, 8, 9}, 0},
      {6, {10, 20, 30, 0xDEADBEEF, 50, 60, 70, 80}, {10, 20, 30, 0xBEEF, 50, 60, 70, 80}, 0},
      {7, {0xA, 0xB, 0xC, U(&text7)}, {0xA, 0xB, 0xC, U(&text7)}, 1},
      {8, {0xD, U(&text8)}, {0xD, U(&text8)}, 1},
      {9, {U(&flag)}, {U(&flag)}, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Method);
    const size_t before = Calls().size();
    int imbalance = -1;
    EXPECT_EQ(Call(helper, row.Method, row.Args, imbalance), 0u);
    EXPECT_EQ(imbalance, 0);
    const std::vector<D::TDocCall> calls = Calls();
    ASSERT_EQ(calls.size(), before + 1);
    const D::TDocCall& seen = calls.back();
    EXPECT_EQ(seen.Method, row.Method);
    for (size_t i = 0; i < row.Seen.size(); ++i) EXPECT_EQ(seen.Args[i], row.Seen[i]) << "argument " << i;
    EXPECT_EQ(seen.CacheDepth, row.Depth);
  }
  EXPECT_EQ(std::wstring(text7), L"documentation 7");
  EXPECT_EQ(std::wstring(text8), L"documentation 8");
  EXPECT_EQ(flag, 1);
  SysFreeString(text7);
  SysFreeString(text8);
  const TCounts counts = Counts();
  EXPECT_EQ(counts.Begins, 2);
  EXPECT_EQ(counts.Ends, 2);

  // QueryInterface through the helper reaches the host object.
  void* again = nullptr;
  int imbalance = 0;
  EXPECT_EQ(Call(helper, 0, {U(&D::IID_Documentation), U(&again)}, imbalance), 0u);
  EXPECT_NE(again, nullptr);
  EXPECT_NE(again, helper);  // W itself
  Release(again);

  Release(helper);
  EXPECT_EQ(Quillmend::THelpInsightInteropCacheHelper::Alive(), 0);
  EXPECT_EQ(g_doc.References(), baseRefs);
}

TEST(HelpInsightInteropCache, FailuresComeBackAndTheCacheStaysBalancedOnEveryThread) {
  LoadStandIns(true);
  Install();
  ASSERT_EQ(Status(), L"applied");
  const struct {
    const char* Case;
    int32_t WResult, WRaises, BridgeRaises;
    uint32_t Expected;
    bool WCalled;
  } rows[] = {
      {"W succeeds", S_OK, 0, 0, 0, true},
      {"W's success code", S_FALSE, 0, 0, 0, true},
      {"W fails", int32_t(E_FAIL), 0, 0, uint32_t(E_FAIL), true},
      {"W raises", S_OK, 1, 0, uint32_t(E_UNEXPECTED), true},
      {"the bridge raises", S_OK, 0, 1, uint32_t(E_UNEXPECTED), false},
  };
  void* helper = Query(D::IID_Documentation);
  auto raise = Bridge<BridgeDoubleDriver::RaiseFn>("QuillmendClrRaise");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    g_doc.SetResult(row.WResult, row.WRaises, 1);
    for (int method : {7, 8, 9}) {
      SCOPED_TRACE(method);
      raise(method == 9 ? 0 : row.BridgeRaises);
      const size_t before = Calls().size();
      wchar_t* text = nullptr;
      int imbalance = -1;
      const std::vector<uint32_t> args = method == 7 ? std::vector<uint32_t>{1, 2, 3, U(&text)}
                                         : method == 8 ? std::vector<uint32_t>{1, U(&text)}
                                                       : std::vector<uint32_t>{U(&text)};
      const uint32_t expected = method == 9 && row.BridgeRaises ? 0 : row.Expected;
      EXPECT_EQ(Call(helper, method, args, imbalance), expected);
      EXPECT_EQ(imbalance, 0);
      EXPECT_EQ(Calls().size(), before + (row.WCalled || method == 9 ? 1 : 0));
      if (method != 9) SysFreeString(text);
      EXPECT_EQ(Bridge<BridgeDoubleDriver::DepthFn>("QuillmendClrDepth")(), 0);
    }
  }
  g_doc.SetResult(S_OK, 0, 1);

  // Four threads at once.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([helper] {
      for (int i = 0; i < 200; ++i) {
        wchar_t* text = nullptr;
        int imbalance = 0;
        Call(helper, 8, {uint32_t(i), U(&text)}, imbalance);
        SysFreeString(text);
      }
    });
  for (std::thread& t : threads) t.join();
  const TCounts counts = Counts();
  EXPECT_EQ(counts.Begins, counts.Ends);
  EXPECT_EQ(counts.Unbalanced, 0);
  Release(helper);
}

// Only a successful query that handed out the documentation interface is wrapped.
TEST(HelpInsightInteropCache, OtherInterfacesAndFailedQueriesAreNotWrapped) {
  LoadStandIns(true);
  Install();
  ASSERT_EQ(Status(), L"applied");
  const struct {
    const char* Case;
    int32_t Answer;
    HRESULT Result;
    bool Interface;
  } rows[] = {
      {"no interface", D::AnswerNoInterface, E_NOINTERFACE, false},
      {"a failure", D::AnswerFailure, E_FAIL, false},
      {"success without an interface", D::AnswerNil, S_OK, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    g_doc.SetAnswer(row.Answer);
    HRESULT hr = S_OK;
    EXPECT_EQ(Query(D::IID_Documentation, &hr), nullptr);
    EXPECT_EQ(hr, row.Result);
    EXPECT_EQ(Quillmend::THelpInsightInteropCacheHelper::Alive(), 0);
  }
  g_doc.SetAnswer(D::AnswerDocumentation);
  const GUID unknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  void* module = g_doc.NewModule();
  void* obj = nullptr;
  EXPECT_EQ(g_doc.QueryInterface(module, &unknown, &obj), S_OK);
  EXPECT_EQ(obj, module);  // the original object, unchanged
  EXPECT_EQ(Quillmend::THelpInsightInteropCacheHelper::Alive(), 0);
}

// Without the interop assembly at the expert entry the bridge is loaded
// when the main window is first shown, once.
TEST(HelpInsightInteropCache, TheLoadWaitsForTheMainWindowAndRunsOnce) {
  LoadStandIns(false);
  Install();
  EXPECT_EQ(Status(), L"applied");  // pending
  EXPECT_EQ(GetModuleHandleW(L"QuillmendClr.dll"), nullptr);
  void* w = Query(D::IID_Documentation);
  EXPECT_EQ(Quillmend::THelpInsightInteropCacheHelper::Alive(), 0);
  Release(w);
  void* event = g_doc.MainFormShown();
  EXPECT_EQ(*static_cast<int32_t*>(event), 1);  // one handler

  g_doc.FireMainFormShown();
  EXPECT_NE(GetModuleHandleW(L"QuillmendClr.dll"), nullptr);
  EXPECT_EQ(*static_cast<int32_t*>(event), 0);  // it removed itself
  EXPECT_EQ(Status(), L"applied");
  void* helper = Query(D::IID_Documentation);
  EXPECT_EQ(Quillmend::THelpInsightInteropCacheHelper::Alive(), 1);
  g_doc.FireMainFormShown();  // nothing left to run
  Release(helper);
  EXPECT_EQ(Quillmend::THelpInsightInteropCacheHelper::Alive(), 0);
}

// A load that fails when the main window is shown leaves no retry: the patch
// is ignored then, without a message, and Help Insight works unpatched.
TEST(HelpInsightInteropCache, ALoadFailingAtTheMainWindowLeavesThePatchIgnored) {
  LoadStandIns(false);
  Install();
  EXPECT_EQ(Status(), L"applied");  // pending
  SetEnvironmentVariableW(BridgeDoubleDriver::RefuseVariable, L"1");
  g_doc.FireMainFormShown();
  SetEnvironmentVariableW(BridgeDoubleDriver::RefuseVariable, nullptr);
  EXPECT_EQ(GetModuleHandleW(L"QuillmendClr.dll"), nullptr);
  EXPECT_EQ(Status(), L"ignored");
  EXPECT_EQ(*static_cast<int32_t*>(g_doc.MainFormShown()), 0);  // the handler is gone
  EXPECT_TRUE(Quillmend::FailedPatchReasons().empty());
  void* w = Query(D::IID_Documentation);
  EXPECT_NE(w, nullptr);
  EXPECT_EQ(Quillmend::THelpInsightInteropCacheHelper::Alive(), 0);
  Release(w);
}
