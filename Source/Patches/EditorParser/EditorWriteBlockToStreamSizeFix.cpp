#include "Patches/EditorParser/EditorWriteBlockToStreamSizeFix.h"

#include <algorithm>

#include "Framework/HostFinally.h"
#include "Framework/HostObjectModel.h"
#include "Framework/LibraryEntry.h"
#include "Patches/EditorParser/EditorParserHost.h"

namespace Quillmend {

using namespace EditorParserHost;

TWriteBlockToStream OrgWriteBlockToStream = nullptr;
TTextBlockSize OrgTextBlockSize = nullptr;

namespace {

const void* g_memoryStreamClass = nullptr;  // the run-time's TCustomMemoryStream

// Runs call() with trailing blanks kept, the flags put back afterwards.
template <class F>
void WithTrailingBlanksKept(void* view, F&& call) {
  uint32_t* flags = EkFlagsOf(view);
  const uint32_t before = ReadFlags(flags);
  WriteFlags(flags, (before | EkFlag::KeepTrailingBlanks) & ~EkFlag::AutoTrim);
  HostTryFinally(call, [&]() noexcept {
    uint32_t now = ReadFlags(flags);
    if (!(before & EkFlag::KeepTrailingBlanks)) now &= ~EkFlag::KeepTrailingBlanks;
    if (before & EkFlag::AutoTrim) now |= EkFlag::AutoTrim;
    WriteFlags(flags, now);
  });
}

} // namespace

void QM_REGISTER WriteBlockToStreamReplacement(void* view, void* stream, uint32_t flag) {
  const bool memory = stream && HostClassInherits(HostClassOf(stream), g_memoryStreamClass);
  int64_t sizeBefore = 0;
  if (memory) {
    const int64_t positionBefore = HostStreamSeek(stream, 0, THostSeekOrigin::Current);
    sizeBefore = HostStreamSeek(stream, 0, THostSeekOrigin::End);
    HostStreamSeek(stream, positionBefore, THostSeekOrigin::Beginning);
  }
  WithTrailingBlanksKept(view, [&] { OrgWriteBlockToStream(view, stream, flag); });
  if (!memory) return;
  const int64_t position = HostStreamSeek(stream, 0, THostSeekOrigin::Current);
  const int64_t size = std::max(sizeBefore, position);
  if (HostStreamSeek(stream, 0, THostSeekOrigin::End) != size) HostStreamSetSize(stream, size);
  HostStreamSeek(stream, position, THostSeekOrigin::Beginning);
}

int32_t QM_REGISTER TextBlockSizeReplacement(void* view, uint32_t flag) {
  int32_t size = 0;
  WithTrailingBlanksKept(view, [&] { size = OrgTextBlockSize(view, flag); });
  return size;
}

TPatchPlan CopyTrimTrailingBlanksPlan() {
  TPatchPlan plan(L"IDE.Editor.CopyTrimTrailingBlanks", L"Editor copy garbage is trailing banks are to be copied");
  TSiteRef memoryStream = plan.Export(L"TCustomMemoryStream", Rtl, Export::CustomMemoryStream);
  TSiteRef write = plan.Export(L"WriteBlockToStream", CoreIde, Export::WriteBlockToStream);
  TSiteRef size = plan.Export(L"TextBlockSize", CoreIde, Export::TextBlockSize);
  plan.RedirectOrgCall(write, &WriteBlockToStreamReplacement, reinterpret_cast<void**>(&OrgWriteBlockToStream));
  plan.RedirectOrgCall(size, &TextBlockSizeReplacement, reinterpret_cast<void**>(&OrgTextBlockSize));
  plan.OnCommit([=](const TPlanValues& v) { g_memoryStreamClass = v.Site(memoryStream); });
  return plan;
}

void InstallEditorWriteBlockToStreamSizeFix() {
  TPatchPlan plan = CopyTrimTrailingBlanksPlan();
  InstallPlan(plan);
}

namespace {

void InitializeEditorWriteBlockToStreamSizeFix() { AddWizardInitProc(&InstallEditorWriteBlockToStreamSizeFix); }

std::vector<TPatchPlan> EditorWriteBlockToStreamSizeFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(CopyTrimTrailingBlanksPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_EditorWriteBlockToStreamSizeFix = {"EditorWriteBlockToStreamSizeFix",
                                                        &InitializeEditorWriteBlockToStreamSizeFix, nullptr,
                                                        &EditorWriteBlockToStreamSizeFixPlans};

} // namespace Quillmend
