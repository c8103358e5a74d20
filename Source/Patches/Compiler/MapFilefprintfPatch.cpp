#include "Patches/Compiler/MapFilefprintfPatch.h"

#include <cstring>

#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"

namespace Quillmend {

uint8_t PendingBreak = 0;
// The linker's formatted write, continued in by the stub below.
void* g_mapWrite asm("QmMapWrite") = nullptr;
const char* g_breakAndFields asm("QmBreakAndFields") = MapBreakAndFieldsText;

// The break's write (cdecl: file, "\n"; the caller releases its arguments):
// only noted.
extern "C" void QmNoteBreak() asm("QmNoteBreak");
asm(".text\n"
    ".balign 16\n"
    "QmNoteBreak:\n"
    "  movb $1, QmPendingBreak\n"
    "  ret\n");

// The fields' write (cdecl: file, format, line, segment, offset): with a
// break noted, the format becomes the break and the fields; then the
// linker's write with the caller's stack.
extern "C" void QmFieldsWithBreak() asm("QmFieldsWithBreak");
asm(".text\n"
    ".balign 16\n"
    "QmFieldsWithBreak:\n"
    "  cmpb $1, QmPendingBreak\n"
    "  jne 1f\n"
    "  movb $0, QmPendingBreak\n"
    "  pushl %eax\n"
    "  movl QmBreakAndFields, %eax\n"
    "  movl %eax, 12(%esp)\n"
    "  popl %eax\n"
    "1:\n"
    "  jmp *QmMapWrite\n");

namespace {

const wchar_t* const Dcc = L"dcc150.dll";

// The zero-terminated text a push at site + offset names equals `text`.
void ExpectPushedText(TPatchPlan& plan, TSiteRef site, int32_t offset, const char* text, const wchar_t* reason) {
  plan.Expect(reason, [=](const TPlanValues& v) {
    const char* pushed = *reinterpret_cast<const char* const*>(v.At(site, offset));
    const size_t length = std::strlen(text) + 1;
    MEMORY_BASIC_INFORMATION info;
    if (!pushed || !VirtualQuery(pushed, &info, sizeof info) || info.State != MEM_COMMIT ||
        (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) ||
        size_t(static_cast<const char*>(info.BaseAddress) + info.RegionSize - pushed) < length)
      return false;
    return std::memcmp(pushed, text, length) == 0;
  });
}

TPatchPlan FprintfPlan() {
  TPatchPlan plan(L"Compiler.MapFile.fprintf", L"Linker MapFile fprintf");
  plan.LoadedModule(Dcc, &GetDccHandle);
  TSiteRef write = plan.Pattern(L"MapPrintf", Dcc, MapFilePatterns::Write, 0);
  TSiteRef line = plan.Pattern(L"MapLine", Dcc, MapFilePatterns::Line, 0);
  plan.ExpectCallTo(line, MapFilePatterns::BreakWrite, write);
  plan.ExpectCallTo(line, MapFilePatterns::FieldsWrite, write);
  // The rewrite writes these texts itself: a linker with other ones keeps its writes.
  ExpectPushedText(plan, line, MapFilePatterns::BreakText, MapBreakText, L"MapLine +0x0A: the break is not \"\\n\"");
  ExpectPushedText(plan, line, MapFilePatterns::FieldsText, MapFieldsText,
                   L"MapLine +0x29: the fields are not \" %5ld %04X:%08lX\"");
  plan.RetargetCall(line, MapFilePatterns::BreakWrite, &QmNoteBreak);
  plan.RetargetCall(line, MapFilePatterns::FieldsWrite, &QmFieldsWithBreak);
  plan.OnCommit([=](const TPlanValues& v) {
    g_mapWrite = v.Site(write);
    PendingBreak = 0;
  });
  return plan;
}

void InitializeMapFilefprintfPatch() { AddWizardInitProc(&InstallMapFilefprintfPatch); }

} // namespace

std::vector<TPatchPlan> MapFilefprintfPatchPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(FprintfPlan());
  return plans;
}

void InstallMapFilefprintfPatch() {
  TPatchPlan plan = FprintfPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_MapFilefprintfPatch = {"MapFilefprintfPatch", &InitializeMapFilefprintfPatch, nullptr,
                                            &MapFilefprintfPatchPlans};

} // namespace Quillmend
