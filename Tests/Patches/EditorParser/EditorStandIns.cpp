#include "EditorStandIns.h"

#include <cstdio>
#include <stdexcept>

#include "Framework/PatchRegistry.h"
#include "Patches/EditorParser/BackgroundParserUtils.h"
#include "Patches/EditorParser/ClassComplOperatorOverloadFix.h"
#include "Patches/EditorParser/ClassComplPublishedFix.h"
#include "Patches/EditorParser/CnWizardsCloseEditorFix.h"
#include "Patches/EditorParser/EditKernelUndoSpeed.h"
#include "Patches/EditorParser/EditorDisableUndoProtect.h"
#include "Patches/EditorParser/EditorFocusFix.h"
#include "Patches/EditorParser/EditorWriteBlockToStreamSizeFix.h"
#include "Patches/EditorParser/ElisionDestroyedLockFix.h"
#include "Patches/EditorParser/RefactoringActionUpdateFix.h"
#include "TestPaths.h"
#include "ThreeWayHarness.h"
#include "Common/HostRtl.h"
#include "rtl150/ConversionsDriver.h"

namespace EditorStandIns {

namespace {

BorEditDriver::UndoDriver g_undo;
EditorKernelDriver::Driver g_kernel;
ParserThreadDriver::Driver g_parser;
FormsDriver::Driver g_forms;
RefactorDriver::Driver g_refactor;

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring Widen(const char* text) { return std::wstring(text, text + strlen(text)); }

} // namespace

const std::vector<std::wstring>& ModuleFiles() {
  static const std::vector<std::wstring> files = {L"rtl150.bpl",     L"vcl150.bpl",           L"boreditu.dll",
                                                  L"coreide150.bpl", L"delphicoreide150.bpl", L"refactoride150.bpl"};
  return files;
}

void Load(const char* variant, const wchar_t* omit) {
  for (const std::wstring& file : ModuleFiles()) {
    if (omit && file == omit) continue;
    std::wstring path = BuildDirectory() + L"\\host\\" + file;
    if (variant) {
      std::wstring altered = BuildDirectory() + L"\\host-variants\\" + Widen(variant) + L"\\" + file;
      if (Exists(altered)) path = altered;
    }
    if (!LoadLibraryW(path.c_str())) throw std::runtime_error("cannot load a stand-in module");
  }
  BindLoaded();
}

void BindLoaded() {
  const bool refactor = GetModuleHandleW(L"refactoride150.bpl") != nullptr;
  if (!g_undo.Bind(GetModuleHandleW(L"boreditu.dll")) || !g_kernel.Bind(GetModuleHandleW(L"coreide150.bpl")) ||
      !g_parser.Bind(GetModuleHandleW(L"coreide150.bpl")) || !g_forms.Bind(GetModuleHandleW(L"vcl150.bpl")) ||
      (refactor && !g_refactor.Bind(GetModuleHandleW(L"refactoride150.bpl"))))
    throw std::runtime_error("a stand-in lacks its driver exports");
}

const BorEditDriver::UndoDriver& Undo() { return g_undo; }
const EditorKernelDriver::Driver& Kernel() { return g_kernel; }
const ParserThreadDriver::Driver& Parser() { return g_parser; }
const FormsDriver::Driver& Forms() { return g_forms; }
const RefactorDriver::Driver& Refactor() { return g_refactor; }

void Install(const std::wstring& disabledPatches) {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", disabledPatches.c_str());
  // Unit initialization, in link order.
  Quillmend::InstallBackgroundParserUtils();
  Quillmend::InstallEditorFocusFix();
  Quillmend::InstallClassComplPublishedFix();
  // The expert entry.
  Quillmend::InstallEditKernelUndoSpeed();
  Quillmend::InstallEditorDisableUndoProtect();
  Quillmend::InstallEditorWriteBlockToStreamSizeFix();
  Quillmend::InstallElisionDestroyedLockFix();
  Quillmend::InstallCnWizardsCloseEditorFix();
  Quillmend::InstallRefactoringActionUpdateFix();
  Quillmend::InstallClassComplOperatorOverloadFix();
}

std::wstring Status(const std::wstring& patch) { return ReportedStatus(patch); }

std::string Reasons() { return FailedReasonsText(); }

std::string CompleteClass(const std::string& declaration) {
  auto complete = ClassCompletionDriver::Bind<ClassCompletionDriver::CompleteClassFn>(
      GetModuleHandleW(L"delphicoreide150.bpl"), ClassCompletionDriver::Export::CompleteClass);
  std::string out(8192, '\0');
  const int length = complete(declaration.c_str(), &out[0], int(out.size()));
  out.resize(size_t(length) < out.size() ? size_t(length) : out.size() - 1);
  return out;
}

std::string PointOf(void* control, int column, int line) {
  auto point = CoreIdeExport<EditorControlDriver::PointFromEdPosFn>(EditorControlDriver::Export::PointFromEdPos);
  EditorControlDriver::TEdPos position{int16_t(column), 0, line};
  EditorControlDriver::TPoint result{-1, -1};
  point(control, &position, 1, &result, 0);
  return std::to_string(result.X) + "," + std::to_string(result.Y);
}

std::string Exercise() {
  std::string out;
  // Undo groups of 1, 2 and 10 entries, and an empty range.
  void* buffer = g_undo.NewBuffer(300, 7);
  for (int count : {1, 2, 10, 0}) {
    const int first = g_undo.RecordEdits(buffer, count ? count : 1, unsigned(count) + 11);
    g_undo.Undo(buffer, first, count ? first + count - 1 : first - 1);
    char text[32];
    std::snprintf(text, sizeof text, "undo %08X;", g_undo.BufferChecksum(buffer));
    out += text;
  }
  g_undo.FreeBuffer(buffer);
  // Commands with undo enabled, and a copy of a block without trailing blanks.
  void* view = g_kernel.NewView("begin\n  x := 1;   \nend;");
  g_kernel.SetCaret(view, 1, 9);
  const EditorKernelDriver::TEdCmd command{1, 0, "2"};
  out += "eval " + std::to_string(g_kernel.EkEval(view, &command, 3)) + " " + g_kernel.LineText(view, 1) + ";";
  g_kernel.SetBlock(view, 0, 0);
  out += "size " + std::to_string(g_kernel.TextBlockSize(view, 1)) + ";";
  QmHost::RtlConversions rtl;
  rtl.Resolve(GetModuleHandleW(L"rtl150.bpl"), GetModuleHandleW(L"coreide150.bpl"));
  void* stream = rtl.NewMemoryStream();
  g_kernel.WriteBlockToStream(view, stream, 1);
  out += "copy " + QmHost::MemoryStreamBytes(stream) + ";";
  QmHost::LoadedHostRtl()->objectFree(stream);
  g_kernel.FreeView(view);
  // A point of a control with a view.
  auto create = CoreIdeExport<EditorControlDriver::CreateFn>(EditorControlDriver::Export::Create);
  void* control = create(1, 3, 2);
  out += "point " + PointOf(control, 10, 7) + ";";
  // An action executed: its update runs the refactoring's routine.
  if (GetModuleHandleW(L"refactoride150.bpl")) {
    void* action = g_forms.NewAction(0x4052);
    g_forms.ActionSetEvents(action, nullptr, nullptr, reinterpret_cast<void*>(g_refactor.MenuItemUpdate),
                            g_refactor.NewMenuItem());
    int runs = 0;
    g_refactor.Counts(&runs, nullptr, nullptr, nullptr);
    g_forms.ActionExecute(action);
    int after = 0;
    g_refactor.Counts(&after, nullptr, nullptr, nullptr);
    out += "refactor " + std::to_string(after - runs) + ";";
  }
  // Class completions.
  out += CompleteClass("TVector = class\n  class operator Add(a, b: TVector): TVector;\n  procedure Clear;\nend;");
  out += CompleteClass("TItem = class(TPersistent)\npublished\n  property Size: Integer read FSize;\nend;");
  return out;
}

} // namespace EditorStandIns
