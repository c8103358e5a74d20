#include "Patches/Compiler/CompilerOutputPatches.h"

#include <cstring>

#include "Framework/PatchRegistry.h"
#include "Hooking/Emit.h"
#include "Hooking/PatternSearch.h"
#include "Hooking/TextCompare.h"
#include "Patches/Compiler/CompilerFileAge.h"
#include "Patches/Compiler/CompilerFilePatterns.h"

namespace Quillmend {

THostWrite HostTextWrite = nullptr;

// The run-time's set-file-buffer (cdecl: file, buffer, mode, size), captured
// for the stub at the resource list's open; and the file-age routine the
// check's file loop called (host register convention, two stack arguments).
// Read by the stubs below.
using THostSetBuffer = int32_t(__cdecl*)(void* file, void* buffer, int32_t mode, uint32_t size);
THostSetBuffer g_setBuffer asm("QmDrcSetBuffer") = nullptr;
void* g_fileLoopAge asm("QmFileLoopAge") = nullptr;

namespace {

namespace Patterns = CompilerFilePatterns;

constexpr int32_t SearchLimit = 0x10000;
constexpr int32_t NoLimit = 0;
const wchar_t* const Dcc = L"dcc150.dll";
const wchar_t* const SourceOutdated = L"Compiler.SourceOutdated";

uint8_t g_textBuffer[TextWriteBufferSize];


// Input bytes among the first `written` of `count` converted bytes whose
// output was written in full.
uint32_t CompleteInputs(const uint8_t* converted, uint32_t count, uint32_t written) {
  uint32_t inputs = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (converted[i] == 0x0D && i + 1 < count && converted[i + 1] == 0x0A) ++i;  // a converted line feed
    if (i >= written) break;
    ++inputs;
  }
  return inputs;
}

} // namespace

// The resource list's file: given a buffer of 64 KB unless the open
// returned nothing (eax); eax, ecx, edx kept; the flags as after the
// compiler's own test of the file against 0.
extern "C" void QmDrcBufferStub() asm("QmDrcBufferStub");
asm(".text\n"
    ".balign 16\n"
    "QmDrcBufferStub:\n"
    "  testl %eax, %eax\n"
    "  jz 1f\n"
    "  pushl %eax\n"
    "  pushl %ecx\n"
    "  pushl %edx\n"
    "  pushl $0x10000\n"
    "  pushl $0\n"
    "  pushl $0\n"
    "  pushl %eax\n"
    "  call *QmDrcSetBuffer\n"
    "  addl $16, %esp\n"
    "  popl %edx\n"
    "  popl %ecx\n"
    "  popl %eax\n"
    "1:\n"
    "  cmpl $0, %eax\n"
    "  ret\n");

// The outdated check's file loop calls here (unit in esi, name in ecx, two
// stack arguments): its own source returns at once with eax as it was, any
// other file goes on to the compiler's routine with everything unchanged.
extern "C" void QmSkipOwnSourceStub() asm("QmSkipOwnSourceStub");
asm(".text\n"
    ".balign 16\n"
    "QmSkipOwnSourceStub:\n"
    "  pushl %eax\n"
    "  pushl %ecx\n"
    "  pushl %edx\n"
    "  movl %esi, %eax\n"
    "  movl %ecx, %edx\n"
    "  call QmSkipOwnSource\n"
    "  testl %eax, %eax\n"
    "  popl %edx\n"
    "  popl %ecx\n"
    "  popl %eax\n"
    "  jz 1f\n"
    "  jmp *QmFileLoopAge\n"
    "1:\n"
    "  ret $8\n");

uint32_t QM_REGISTER SkipOwnSource(const TDccUnit* unit, const char* name) {
  if (!unit || !unit->UnitSymbol || !name) return 1;
  const char* file = Utf8ExtractFileName(name);
  const char* extension = Utf8ExtractFileExt(file);
  if (!*extension) return 1;
  const size_t baseLength = size_t(extension - file);
  const char* unitName = unit->UnitSymbol->Name;
  // The whole base name: "Unit1" is not "Unit10.inc".
  if (std::strlen(unitName) != baseLength) return 1;
  return StrLICompAscii(unitName, file, int32_t(baseLength)) == 0 ? 0 : 1;
}

int32_t QM_REGISTER WriteTextCrLf(const uint8_t* data, uint32_t length, void* file) {
  uint32_t position = 0, outputWritten = 0;
  while (position < length) {
    const uint32_t chunkStart = position;
    uint32_t count = 0;
    while (position < length) {
      const uint8_t c = data[position];
      if (c == 0x0A) {
        if (count + 2 > TextWriteBufferSize) break;
        g_textBuffer[count++] = 0x0D;
        g_textBuffer[count++] = 0x0A;
      } else {
        if (count + 1 > TextWriteBufferSize) break;
        g_textBuffer[count++] = c;
      }
      ++position;
    }
    int32_t written = HostTextWrite(file, g_textBuffer, count);
    if (written < 0) written = 0;
    if (uint32_t(written) < count) {
      if (outputWritten == 0 && written == 0) return -1;
      return int32_t(chunkStart + CompleteInputs(g_textBuffer, count, uint32_t(written)));
    }
    outputWritten += uint32_t(written);
  }
  return int32_t(length);
}

namespace {

TPatchPlan MapFileBufferPlan() {
  TPatchPlan plan(L"Compiler.MapFileBuffer", L"Compiler optimizations - MAP file buffer");
  TSiteRef loop = plan.Pattern(L"MapWrite", Dcc, Patterns::MapWrite, NoLimit);
  TCaptureRef write = plan.CallTarget(loop, 0x5E);
  plan.WriteCode(loop, 0, [](const TPlanValues&, const uint8_t* at) {
    // data := edi, length := [ebp+0x10], file := [ebp+8]; call; ebx := result; on to +0x9E.
    std::vector<uint8_t> code = {0x89, 0xF8, 0x8B, 0x55, 0x10, 0x8B, 0x4D, 0x08, 0, 0, 0, 0, 0,
                                 0x89, 0xC3, 0xE9, 0x8A, 0x00, 0x00, 0x00, 0x90, 0x90};
    EmitCallRel32(&code[8], at + 8, reinterpret_cast<const void*>(&WriteTextCrLf));
    return code;
  });
  plan.OnCommit([=](const TPlanValues& v) { HostTextWrite = v.Get<THostWrite>(write); });
  return plan;
}

TPatchPlan DrcFileBufferPlan() {
  TPatchPlan plan(L"Compiler.DrcFileBuffer", L"Compiler optimizations - DCR file buffer");
  TSiteRef setBuffer = plan.Pattern(L"SetBuffer", Dcc, Patterns::SetBuffer, NoLimit);
  TSiteRef open = plan.Pattern(L"DrcOpen", Dcc, Patterns::DrcOpen, NoLimit);
  plan.WriteCall(open, 0x27, &QmDrcBufferStub);
  plan.OnCommit([=](const TPlanValues& v) { g_setBuffer = reinterpret_cast<THostSetBuffer>(v.Site(setBuffer)); });
  return plan;
}

TPatchPlan SourceOutdatedGroupPlan() {
  TPatchPlan plan(SourceOutdated, L"Compiler optimizations - FileSearch");
  plan.IgnoreWhen(L"a group: its sub-patches are listed on their own", [](const TPlanValues&) { return true; });
  return plan;
}

// A child of the group: not tried while the group is disabled.
TPatchPlan SourceOutdatedChild(const wchar_t* name, const wchar_t* description) {
  TPatchPlan plan(name, description);
  plan.TriedOnlyWhen(L"not tried: Compiler.SourceOutdated is disabled",
                     [] { return !IsPatchDisabled(SourceOutdated); });
  return plan;
}

// Whether this build has the source time's loop of .2, as the compiler has
// it or as .2 rewrote it.
bool Outdated2Found() {
  HMODULE dcc = ResolvePlanModule(Dcc);
  if (!dcc) return false;
  if (FindMethodPtr(dcc, ParsePattern(Patterns::Outdated2), SearchLimit)) return true;
  TBytePattern rewritten = ParsePattern(Patterns::Outdated2Rewrite);
  for (int i = 0x15; i < 0x19; ++i) rewritten[size_t(i)] = -1;  // the call's displacement
  return FindMethodPtr(dcc, rewritten, SearchLimit) != nullptr;
}

TPatchPlan SkipOwnSourcePlan() {
  TPatchPlan plan = SourceOutdatedChild(L"Compiler.SourceOutdated.1", L"Compiler optimizations (Less FileAge calls)");
  TSiteRef loop = plan.Pattern(L"Outdated1", Dcc, Patterns::Outdated1, SearchLimit);
  TCaptureRef age = plan.CallTarget(loop, 0x1A);
  plan.RetargetCall(loop, 0x1A, &QmSkipOwnSourceStub);
  plan.OnCommit([=](const TPlanValues& v) { g_fileLoopAge = v.Get<void*>(age); });
  return plan;
}

// A loop body rewritten from its template, the template's call (at
// `templateCall`) aimed at the routine the original called (at `call`).
void RewriteBody(TPatchPlan& plan, TSiteRef body, int32_t call, const char* rewrite, int32_t templateCall,
                 bool keepByte6 = false) {
  TCaptureRef age = plan.CallTarget(body, call);
  plan.WriteCode(body, 0, [=](const TPlanValues& v, const uint8_t* at) {
    TBytePattern pattern = ParsePattern(rewrite);
    std::vector<uint8_t> code(pattern.begin(), pattern.end());
    if (keepByte6) code[6] = at[6];
    EmitCallRel32(&code[size_t(templateCall)], at + templateCall, v.Get<const void*>(age));
    return code;
  });
}

TPatchPlan SourceTimeFirstPlan() {
  TPatchPlan plan =
      SourceOutdatedChild(L"Compiler.SourceOutdated.2", L"Compiler optimizations (No useless FileAge calls)");
  TSiteRef body = plan.Pattern(L"Outdated2", Dcc, Patterns::Outdated2, SearchLimit);
  RewriteBody(plan, body, 0x0E, Patterns::Outdated2Rewrite, 0x14);
  return plan;
}

TPatchPlan CompiledTimeFirstPlan() {
  TPatchPlan plan = SourceOutdatedChild(L"Compiler.SourceOutdated.3.Update1",
                                        L"Compiler optimizations (No useless FileAge calls 2)");
  plan.TriedOnlyWhen(L"not tried: the source time's loop (Compiler.SourceOutdated.2) is not in this build",
                     &Outdated2Found);
  TSiteRef body = plan.Pattern(L"Outdated3", Dcc, Patterns::Outdated3, SearchLimit);
  RewriteBody(plan, body, 0x12, Patterns::Outdated3Rewrite, 0x1B, true);
  return plan;
}

TPatchPlan SourceTimeInRegisterPlan() {
  TPatchPlan plan = SourceOutdatedChild(L"Compiler.SourceOutdated.4", L"Compiler optimizations (Less FileAge calls)");
  plan.TriedOnlyWhen(L"not tried: this build has the loop of Compiler.SourceOutdated.2",
                     [] { return !Outdated2Found(); });
  TSiteRef body = plan.Pattern(L"Outdated4", Dcc, Patterns::Outdated4, SearchLimit);
  RewriteBody(plan, body, 0x0E, Patterns::Outdated4Rewrite, 0x12);
  return plan;
}

} // namespace

std::vector<TPatchPlan> CompilerOutputPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(MapFileBufferPlan());
  plans.push_back(DrcFileBufferPlan());
  plans.push_back(BackgroundCompilerFileExistsPlan());
  plans.push_back(SourceOutdatedGroupPlan());
  plans.push_back(SkipOwnSourcePlan());
  plans.push_back(SourceTimeFirstPlan());
  plans.push_back(CompiledTimeFirstPlan());
  plans.push_back(SourceTimeInRegisterPlan());
  return plans;
}

void InstallCompilerOutputPatches() {
  NoteIdeMainThread();
  for (TPatchPlan& plan : CompilerOutputPlans()) {
    // The group's children follow it only when it is registered.
    if (plan.Name() == SourceOutdated) {
      if (!InstallPlanVerdict(plan).Registered) return;
      continue;
    }
    InstallPlan(plan);
  }
}

} // namespace Quillmend
