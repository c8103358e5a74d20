// Every engine and IDE-access export of the start-up package, called the
// host's way (register convention, host strings, results through pointers)
// against fresh code of known bytes, one table row per export with the
// effect the export must have. A row whose export is bound to the wrong
// function, or whose wrapper passes its arguments on in the wrong order,
// fails.
#include "Framework/HostAbi.h"
#include "Hooking/CallSites.h"
#include "Hooking/CodeRedirect.h"
#include "Hooking/OrgCall.h"
#include "Hooking/WinApiHooking.h"
#include "TestHost/Common/HostGuard.h"
#include "TestHost/Common/HostRtl.h"
#include "TestPaths.h"

#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <windows.h>

using namespace Quillmend;

namespace {

int Replacement() { return 7; }
void* ReplacementCode() { return reinterpret_cast<void*>(&Replacement); }

template <class F>
F As(void* export_) {
  return reinterpret_cast<F>(export_);
}

// One read-write-execute page of hand-assembled code and a host-layout class.
class TCodePage {
public:
  static constexpr int16_t DynamicIndex = 12;

  TCodePage() {
    Base = static_cast<uint8_t*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_EXECUTE_READWRITE));
    const uint8_t answer[] = {0x55, 0x8B, 0xEC, 0xB8, 0x2A, 0, 0, 0, 0x5D, 0xC3};  // push ebp .. mov eax, 42 .. ret
    Put(AnswerAt, answer);
    Put(ThunkAt, {0xFF, 0x25});  // jmp [cell]
    PutPointer(ThunkAt + 2, Base + CellAt);
    PutPointer(CellAt, Answer());
    Base[CallSiteAt] = 0xE8;  // call Answer; ret
    PutInt(CallSiteAt + 1, static_cast<int32_t>(AnswerAt - (CallSiteAt + 5)));
    Base[CallSiteAt + 5] = 0xC3;
    Put(InstructionAt, {0x8B, 0xC3, 0x8B, 0xC3, 0x8B, 0xC3, 0xC3});  // mov eax, ebx (3 times); ret
    Put(HotEntryAt - 5, {0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0x8B, 0xFF});  // filler; mov edi, edi
    Put(HotEntryAt + 2, answer);
    Put(NearMissAt, {0x53, 0x56, 0x57, 0x8B, 0x46});
    Put(MatchAt, {0x53, 0x56, 0x57, 0x8B, 0x45});
    // Class: 22 header slots, two virtual methods, terminator, name, dynamic table.
    PutPointer(ClassAt - 88, ClassRef());
    PutPointer(ClassAt - 56, Base + NameAt);
    PutPointer(ClassAt - 60, Base + DmtAt);
    PutPointer(ClassAt, Answer());
    PutPointer(ClassAt + 4, HotEntry());
    Put(NameAt, {5, 'T', 'T', 'e', 's', 't'});
    Put(DmtAt, {1, 0, static_cast<uint8_t>(DynamicIndex), 0});
    PutPointer(DmtAt + 4, Answer());
  }
  ~TCodePage() { VirtualFree(Base, 0, MEM_RELEASE); }

  uint8_t* At(uint32_t offset) const { return Base + offset; }
  void* Answer() const { return Base + AnswerAt; }
  void* Thunk() const { return Base + ThunkAt; }
  void* CallSite() const { return Base + CallSiteAt; }
  void* Instruction() const { return Base + InstructionAt; }
  void* HotEntry() const { return Base + HotEntryAt; }
  void* Match() const { return Base + MatchAt; }
  void* Scratch() const { return Base + ScratchAt; }
  void* ClassRef() const { return Base + ClassAt; }
  void* Slot(int index) const { return *reinterpret_cast<void**>(Base + ClassAt + 4 * index); }
  void* DynamicEntry() const { return *reinterpret_cast<void**>(Base + DmtAt + 4); }

  static int Call(void* code) { return reinterpret_cast<int (*)()>(code)(); }
  int CallAnswer() const { return Call(Answer()); }

private:
  static constexpr uint32_t AnswerAt = 0x00, ThunkAt = 0x20, CellAt = 0x28, CallSiteAt = 0x40,
                            InstructionAt = 0x60, HotEntryAt = 0x85, NearMissAt = 0xC0, MatchAt = 0xD0,
                            ScratchAt = 0x100, ClassAt = 0x258, NameAt = 0x264, DmtAt = 0x270;

  template <size_t N>
  void Put(uint32_t offset, const uint8_t (&bytes)[N]) { std::memcpy(Base + offset, bytes, N); }
  void Put(uint32_t offset, std::initializer_list<uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), Base + offset);
  }
  void PutInt(uint32_t offset, int32_t value) { std::memcpy(Base + offset, &value, 4); }
  void PutPointer(uint32_t offset, const void* value) { std::memcpy(Base + offset, &value, 4); }

  uint8_t* Base;
};

// The stand-in module with the export "Probe" (returns 42), loaded as "dcc150.dll".
HMODULE ProbeModule() {
  return LoadLibraryW((ProgramDirectory() + L"\\LibraryEntryFixtures\\dcc150.dll").c_str());
}
int CallProbe() { return TCodePage::Call(reinterpret_cast<void*>(GetProcAddress(ProbeModule(), "Probe"))); }

using TRedirect = TRedirectCode;

struct TExportCase {
  const char* Name;
  void (*Check)(void* export_, TCodePage& page);
};

const TExportCase Cases[] = {
    // ---- code redirection ----
    {"@Hooking@WriteCodeMemory$qqrpvpvuirui",
     [](void* f, TCodePage& p) {
       const uint8_t bytes[4] = {1, 2, 3, 4};
       uint32_t written = 0;
       auto write = As<int32_t(QM_REGISTER*)(void*, const void*, uint32_t, uint32_t*)>(f);
       EXPECT_EQ(write(p.Scratch(), bytes, 4, &written), 1);
       EXPECT_EQ(written, 4u);
       EXPECT_EQ(std::memcmp(p.Scratch(), bytes, 4), 0);
     }},
    {"@Hooking@GetActualAddr$qqrpv",
     [](void* f, TCodePage& p) { EXPECT_EQ(As<void*(QM_REGISTER*)(void*)>(f)(p.Thunk()), p.Answer()); }},
    {"@Hooking@CodeRedirect$qqrpvt1r22Hooking@TRedirectCode",
     [](void* f, TCodePage& p) {
       TRedirect data = {};
       As<void(QM_REGISTER*)(void*, void*, TRedirect*)>(f)(p.Thunk(), ReplacementCode(), &data);
       EXPECT_EQ(p.CallAnswer(), 7);
       EXPECT_EQ(data.RealProc, p.Answer());
       EXPECT_EQ(data.Count, 1);
     }},
    {"@Hooking@CodeRedirect$qqrpvt1",
     [](void* f, TCodePage& p) {
       TRedirect result;
       std::memset(&result, 0xEE, sizeof result);
       As<void(QM_REGISTER*)(void*, void*, TRedirect*)>(f)(p.Answer(), ReplacementCode(), &result);
       EXPECT_EQ(p.CallAnswer(), 7);
       EXPECT_EQ(result.RealProc, p.Answer());
       EXPECT_EQ(result.Count, 1);
     }},
    {"@Hooking@CodeRestore$qqrr22Hooking@TRedirectCode",
     [](void* f, TCodePage& p) {
       TRedirect data = CodeRedirect(p.Answer(), ReplacementCode());
       As<void(QM_REGISTER*)(TRedirect*)>(f)(&data);
       EXPECT_EQ(p.CallAnswer(), 42);
       EXPECT_EQ(data.Count, 0);
     }},
    {"@Hooking@UnhookFunction$qqrr22Hooking@TRedirectCode",
     [](void* f, TCodePage& p) {
       TRedirect data = CodeRedirect(p.Answer(), ReplacementCode());
       As<void(QM_REGISTER*)(TRedirect*)>(f)(&data);
       EXPECT_EQ(p.CallAnswer(), 42);
       EXPECT_EQ(data.Count, 0);
     }},
    {"@Hooking@RehookFunction$qqrpvr22Hooking@TRedirectCode",
     [](void* f, TCodePage& p) {
       TRedirect data = CodeRedirect(p.Answer(), ReplacementCode());
       CodeRestore(data);
       As<void(QM_REGISTER*)(void*, TRedirect*)>(f)(ReplacementCode(), &data);
       EXPECT_EQ(p.CallAnswer(), 7);
       EXPECT_EQ(data.Count, 1);
     }},
    {"@Hooking@HookFunction$qqruix20System@UnicodeStringpvr22Hooking@TRedirectCode",
     [](void* f, TCodePage&) {
       TRedirect data = {};
       THostString name(L"Probe");
       As<void(QM_REGISTER*)(HMODULE, const wchar_t*, void*, TRedirect*)>(f)(ProbeModule(), name.Get(),
                                                                            ReplacementCode(), &data);
       EXPECT_EQ(CallProbe(), 7);
       CodeRestore(data);
       EXPECT_EQ(CallProbe(), 42);
     }},
    {"@Hooking@HookFunction$qqrx20System@UnicodeStringx20System@UnicodeStringpvr22Hooking@TRedirectCode",
     [](void* f, TCodePage&) {
       ASSERT_NE(ProbeModule(), nullptr);
       TRedirect data = {};
       THostString module(L"dcc150.dll"), name(L"Probe");
       As<void(QM_REGISTER*)(const wchar_t*, const wchar_t*, void*, TRedirect*)>(f)(module.Get(), name.Get(),
                                                                                   ReplacementCode(), &data);
       EXPECT_EQ(CallProbe(), 7);
       CodeRestore(data);
       EXPECT_EQ(CallProbe(), 42);
     }},
    {"@Hooking@InjectCode$qqrpvpvui",
     [](void* f, TCodePage& p) {
       const uint8_t bytes[3] = {0x90, 0xCC, 0xC3};
       EXPECT_EQ(As<int32_t(QM_REGISTER*)(void*, const void*, uint32_t)>(f)(p.Scratch(), bytes, 3), 1);
       EXPECT_EQ(std::memcmp(p.Scratch(), bytes, 3), 0);
     }},
    // ---- start-code sizing and original-call trampolines ----
    {"@Hooking@GetStartCodeSize$qqrpvi",
     [](void* f, TCodePage& p) {
       EXPECT_EQ(As<int32_t(QM_REGISTER*)(const void*, int32_t)>(f)(p.Answer(), 5), 8);  // 1 + 2 + 5 bytes
       EXPECT_EQ(As<int32_t(QM_REGISTER*)(const void*, int32_t)>(f)(p.Answer(), 3), 3);
     }},
    {"@Hooking@CreateOrgCallMethodPtr$qqrpv",
     [](void* f, TCodePage& p) {
       void* trampoline = As<void*(QM_REGISTER*)(void*)>(f)(p.Answer());
       EXPECT_EQ(TCodePage::Call(trampoline), 42);
       EXPECT_EQ(p.At(0)[0], 0x55);  // the function itself is untouched
     }},
    {"@Hooking@RedirectOrgCall$qqrpvt1",
     [](void* f, TCodePage& p) {
       void* trampoline = As<void*(QM_REGISTER*)(void*, void*)>(f)(p.Answer(), ReplacementCode());
       EXPECT_EQ(p.CallAnswer(), 7);
       EXPECT_EQ(TCodePage::Call(trampoline), 42);
     }},
    {"@Hooking@RedirectOrg$qqrpvt1",
     [](void* f, TCodePage& p) {
       As<void(QM_REGISTER*)(void*, void*)>(f)(p.Answer(), ReplacementCode());
       EXPECT_EQ(p.CallAnswer(), 7);
     }},
    {"@Hooking@RestoreOrgCall$qqrpvt1",
     [](void* f, TCodePage& p) {
       void* trampoline = RedirectOrgCall(p.Answer(), ReplacementCode());
       As<void(QM_REGISTER*)(void*, void*)>(f)(p.Answer(), trampoline);
       EXPECT_EQ(p.CallAnswer(), 42);
     }},
    // ---- call sites ----
    {"@Hooking@GetCallTargetAddress$qqrpv",
     [](void* f, TCodePage& p) { EXPECT_EQ(As<void*(QM_REGISTER*)(const void*)>(f)(p.CallSite()), p.Answer()); }},
    {"@Hooking@ReplaceRelCallOffset$qqrpvt1",
     [](void* f, TCodePage& p) {
       EXPECT_EQ(As<void*(QM_REGISTER*)(void*, void*)>(f)(p.CallSite(), ReplacementCode()), p.Answer());
       EXPECT_EQ(TCodePage::Call(p.CallSite()), 7);
     }},
    {"@Hooking@ReplaceOpCodeByRelCall$qqrpvt1",
     [](void* f, TCodePage& p) {
       EXPECT_EQ(As<int32_t(QM_REGISTER*)(void*, void*)>(f)(p.Scratch(), ReplacementCode()), 1);
       EXPECT_EQ(p.At(0x100)[0], 0xE8);
       EXPECT_EQ(GetCallTargetAddress(p.Scratch()), ReplacementCode());
     }},
    {"@Hooking@ReplaceOpCodeByRelJump$qqrpvt1",
     [](void* f, TCodePage& p) {
       EXPECT_EQ(As<int32_t(QM_REGISTER*)(void*, void*)>(f)(p.Scratch(), ReplacementCode()), 1);
       EXPECT_EQ(p.At(0x100)[0], 0xE9);
       EXPECT_EQ(GetCallTargetAddress(p.Scratch()), ReplacementCode());
     }},
    {"@Hooking@ReplaceInstructionByRelCall$qqrpvt1",
     [](void* f, TCodePage& p) {
       EXPECT_EQ(As<int32_t(QM_REGISTER*)(void*, void*)>(f)(p.Instruction(), ReplacementCode()), 1);
       EXPECT_EQ(GetCallTargetAddress(p.Instruction()), ReplacementCode());
       EXPECT_EQ(p.At(0x65)[0], 0x90);  // the rest of the third instruction
       EXPECT_EQ(p.At(0x66)[0], 0xC3);
     }},
    // ---- method tables ----
    {"@Hooking@GetVirtualMethodCount$qqrp17System@TMetaClass",
     [](void* f, TCodePage& p) { EXPECT_EQ(As<int32_t(QM_REGISTER*)(void*)>(f)(p.ClassRef()), 3); }},
    {"@Hooking@GetVirtualMethod$qqrp17System@TMetaClassi",
     [](void* f, TCodePage& p) {
       EXPECT_EQ(As<void*(QM_REGISTER*)(void*, int32_t)>(f)(p.ClassRef(), 1), p.HotEntry());
     }},
    {"@Hooking@SetVirtualMethod$qqrp17System@TMetaClassipv",
     [](void* f, TCodePage& p) {
       As<void(QM_REGISTER*)(void*, int32_t, void*)>(f)(p.ClassRef(), 1, ReplacementCode());
       EXPECT_EQ(p.Slot(1), ReplacementCode());
       EXPECT_EQ(p.Slot(0), p.Answer());
     }},
    {"@Hooking@ReplaceVmtField$qqrp17System@TMetaClasspvt2",
     [](void* f, TCodePage& p) {
       EXPECT_EQ(As<int32_t(QM_REGISTER*)(void*, void*, void*)>(f)(p.ClassRef(), p.HotEntry(), ReplacementCode()), 1);
       EXPECT_EQ(p.Slot(1), ReplacementCode());
       EXPECT_EQ(p.Slot(0), p.Answer());
     }},
    {"@Hooking@GetDynamicMethod$qqrp17System@TMetaClassi",
     [](void* f, TCodePage& p) {
       EXPECT_EQ(As<void*(QM_REGISTER*)(void*, int32_t)>(f)(p.ClassRef(), TCodePage::DynamicIndex), p.Answer());
       EXPECT_EQ(As<void*(QM_REGISTER*)(void*, int32_t)>(f)(p.ClassRef(), TCodePage::DynamicIndex + 1), nullptr);
     }},
    {"@Hooking@ReplaceDmtField$qqrp17System@TMetaClassipv",
     [](void* f, TCodePage& p) {
       EXPECT_EQ(As<void*(QM_REGISTER*)(void*, int32_t, void*)>(f)(p.ClassRef(), TCodePage::DynamicIndex,
                                                                   ReplacementCode()),
                 p.Answer());
       EXPECT_EQ(p.DynamicEntry(), ReplacementCode());
     }},
    // ---- byte patterns: five bytes, a near miss before the match ----
    {"@Hooking@FindMethodPtr$qqrpvpxsxii",
     [](void* f, TCodePage& p) {
       const int16_t pattern[] = {0x53, 0x56, 0x57, 0x8B, 0x45};
       auto find = As<void*(QM_REGISTER*)(void*, const int16_t*, int32_t, int32_t)>(f);
       EXPECT_EQ(find(p.At(0), pattern, 4, 0), p.Match());
       EXPECT_EQ(find(p.At(0), pattern, 4, 0xD0), nullptr);  // no match starts below 0xD0
     }},
    {"@Hooking@FindMethodPtr$qqruipxsxii",
     [](void* f, TCodePage& p) {
       const int16_t pattern[] = {0x53, 0x56, 0x57, 0x8B, 0x45};
       auto module = reinterpret_cast<HMODULE>(p.At(0));
       auto find = As<void*(QM_REGISTER*)(HMODULE, const int16_t*, int32_t, int32_t)>(f);
       EXPECT_EQ(find(module, pattern, 4, 0), p.Match());
       EXPECT_EQ(find(module, pattern, 4, 0xD0), nullptr);
     }},
    // ---- Win32 function hooks ----
    {"@Hooking@HookWinApiProc$qqrpvt1r24Hooking@TWinApiHookInfo",
     [](void* f, TCodePage& p) {
       TWinApiHookInfo info;
       auto hook = As<void*(QM_REGISTER*)(void*, void*, TWinApiHookInfo*)>(f);
       void* original = hook(p.HotEntry(), ReplacementCode(), &info);
       EXPECT_EQ(info.WinApiProc, p.HotEntry());
       EXPECT_EQ(TCodePage::Call(p.HotEntry()), 7);
       EXPECT_EQ(TCodePage::Call(original), 42);
     }},
    {"@Hooking@UnhookWinApiProc$qqrr24Hooking@TWinApiHookInfo",
     [](void* f, TCodePage& p) {
       TWinApiHookInfo info;
       HookWinApiProc(p.HotEntry(), ReplacementCode(), info);
       EXPECT_EQ(As<int32_t(QM_REGISTER*)(TWinApiHookInfo*)>(f)(&info), 1);
       EXPECT_EQ(TCodePage::Call(p.HotEntry()), 42);
     }},
    // ---- IDE-module access ----
    {"@Idehooks@GetDccHandle$qqrv",
     [](void* f, TCodePage&) {
       ASSERT_TRUE(SetDllDirectoryW((ProgramDirectory() + L"\\LibraryEntryFixtures").c_str()));
       HMODULE dcc = As<HMODULE(QM_REGISTER*)()>(f)();
       EXPECT_NE(dcc, nullptr);
       EXPECT_EQ(dcc, GetModuleHandleW(L"dcc150.dll"));
     }},
    {"@Idehooks@DbgStrictGetProcAddress$qqruipxc",
     [](void* f, TCodePage&) {
       HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
       EXPECT_EQ(As<void*(QM_REGISTER*)(HMODULE, const char*)>(f)(kernel, "GetTickCount"),
                 reinterpret_cast<void*>(GetProcAddress(kernel, "GetTickCount")));
       EXPECT_EQ(As<void*(QM_REGISTER*)(HMODULE, const char*)>(f)(kernel, "gettickcount"), nullptr);
     }},
};

// The names in a module's export directory.
std::set<std::string> ExportNames(HMODULE module) {
  auto* base = reinterpret_cast<const uint8_t*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const auto& entry = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto* directory = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
  auto* names = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
  std::set<std::string> result;
  for (DWORD i = 0; i < directory->NumberOfNames; ++i) result.insert(reinterpret_cast<const char*>(base + names[i]));
  return result;
}

}  // namespace

TEST(StartupPackage, EveryEngineExportHasItsEffectWhenCalledTheHostsWay) {
  // With the host run-time, host strings are the run-time's and a failing
  // export's host exception carries its message to the guard.
  ASSERT_TRUE(LoadLibraryW((BuildDirectory() + L"\\host\\rtl150.bpl").c_str()));
  const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
  ASSERT_NE(rtl, nullptr);
  // Loaded as a plain module: its "Initialize" (which loads Quillmend.dll) is not called.
  HMODULE package = LoadLibraryW((BuildDirectory() + L"\\out\\QuillmendStartup.bpl").c_str());
  ASSERT_NE(package, nullptr);
  std::set<std::string> uncovered = ExportNames(package);
  uncovered.erase("Initialize");
  uncovered.erase("Finalize");
  for (const TExportCase& c : Cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(uncovered.erase(c.Name), 1u) << "not exported, or two rows";
    void* export_ = reinterpret_cast<void*>(GetProcAddress(package, c.Name));
    ASSERT_NE(export_, nullptr);
    TCodePage page;
    QmHost::HostExceptionReport report;
    EXPECT_TRUE(QmHost::CallHostGuarded([&] { c.Check(export_, page); }, report, rtl)) << report.Text();
  }
  EXPECT_TRUE(uncovered.empty()) << "exports without a row: " << testing::PrintToString(uncovered);
}
