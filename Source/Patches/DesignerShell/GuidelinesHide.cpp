#include "Patches/DesignerShell/GuidelinesHide.h"

#include <windows.h>

#include <cstring>

#include "Framework/HostObjectModel.h"
#include "Framework/LibraryEntry.h"
#include "Hooking/CodeTransaction.h"
#include "Patches/DesignerShell/DesignerShellHost.h"

namespace Quillmend {

using namespace DesignerShellHost;

TSetDesigner OrgSetDesigner = nullptr;

namespace {

const wchar_t* const PatchName = L"IDE.VCLDesigner.GuidelinesHide";

namespace DesignerHookLayout {
constexpr int IsDesignMsg = 36;   // IDesignerHook's method
constexpr int Guidelines = 12;    // the designer's guideline object
constexpr int GuidelineState = 56;
constexpr int HideSlot = 6;       // the guideline object's method: Hide(nil, 4, 1, 0)
}  // namespace DesignerHookLayout

struct TMessage {
  uint32_t Msg;
  int32_t WParam;
  int32_t LParam;
  int32_t Result;
};

using TIsDesignMsg = uint32_t(QM_REGISTER*)(void* designer, void* sender, TMessage* message);
// Method 6 of the guideline object: EAX = it, EDX, ECX, then two stack
// arguments pushed in order (declared in reverse).
using THideGuidelines = void(QM_REGISTER*)(void* guidelines, void* a, int32_t b, int32_t d, int32_t c);

TIsDesignMsg g_orgIsDesignMsg = nullptr;
bool g_filterTried = false;

int32_t Read32(const void* object, int offset) {
  int32_t value;
  std::memcpy(&value, static_cast<const char*>(object) + offset, 4);
  return value;
}

bool ClassNamed(const void* classRef, const char* name) {
  const auto* shortName = static_cast<const unsigned char*>(HostClassSlot(classRef, -56));
  return shortName && shortName[0] == std::strlen(name) && std::memcmp(shortName + 1, name, shortName[0]) == 0;
}

uint32_t QM_REGISTER IsDesignMsgFilter(void* designer, void* sender, TMessage* message) {
  if (message && GuidelinesFilterActsFor(designer)) {
    const bool killFocus = message->Msg == WM_KILLFOCUS;
    const bool altDown = message->Msg == WM_KEYDOWN && (message->WParam & 0xFFFF) == VK_MENU &&
                         Read32(designer, DesignerHookLayout::GuidelineState) != 0;
    void* guidelines = *reinterpret_cast<void**>(static_cast<char*>(designer) + DesignerHookLayout::Guidelines);
    if ((killFocus || altDown) && guidelines)
      HostIntfMethod<THideGuidelines>(guidelines, DesignerHookLayout::HideSlot)(guidelines, nullptr, 4, 0, 1);
  }
  return g_orgIsDesignMsg(designer, sender, message);
}

// Redirects the designer's IsDesignMsg once, in a transaction of its own
// (undone at unload with every other).
void InstallFilter(void* designerHook) {
  g_filterTried = true;
  void* stub = const_cast<void*>(HostIntfMethods(designerHook)[DesignerHookLayout::IsDesignMsg]);
  void* routine = CodeBehindAdjustmentStub(stub);
  if (!routine) return;
  TCodeTransaction transaction(PatchName);
  if (transaction.StageRedirectOrgCall(routine, reinterpret_cast<const void*>(&IsDesignMsgFilter),
                                       reinterpret_cast<void**>(&g_orgIsDesignMsg), L"IDesignerHook.IsDesignMsg"))
    transaction.Commit();
}

} // namespace

bool GuidelinesFilterActsFor(const void* designer) {
  const void* parent = HostClassParent(HostClassOf(designer));
  if (!parent) return false;
  if (HostInstanceSize(parent) != DesignSurfaceInstanceSize) return true;
  return ClassNamed(parent, "TDesignSurface");
}

void* CodeBehindAdjustmentStub(const void* stub) {
  const auto* code = static_cast<const uint8_t*>(stub);
  int jump = -1;
  if (code[0] == 0x83 && code[1] == 0xC0) jump = 3;  // add eax,imm8
  else if (code[0] == 0x05) jump = 5;                 // add eax,imm32
  if (jump < 0 || code[jump] != 0xE9) return nullptr;
  int32_t offset;
  std::memcpy(&offset, code + jump + 1, 4);
  return const_cast<uint8_t*>(code + jump + 5 + offset);
}

bool GuidelinesFilterInstalled() { return g_orgIsDesignMsg != nullptr; }

void QM_REGISTER SetDesignerReplacement(void* form, void* designer) {
  OrgSetDesigner(form, designer);
  if (designer && !g_filterTried) HostBoundary([designer] { InstallFilter(designer); });
}

TPatchPlan GuidelinesHidePlan() {
  TPatchPlan plan(PatchName, L"Hide Designer Guidelines");
  TSiteRef setDesigner = plan.Export(L"TCustomForm.SetDesigner", Vcl, Export::SetDesigner);
  plan.RedirectOrgCall(setDesigner, &SetDesignerReplacement, reinterpret_cast<void**>(&OrgSetDesigner));
  return plan;
}

void InstallGuidelinesHide() {
  TPatchPlan plan = GuidelinesHidePlan();
  InstallPlan(plan);
}

namespace {

void InitializeGuidelinesHide() { AddWizardInitProc(&InstallGuidelinesHide); }

std::vector<TPatchPlan> GuidelinesHidePlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(GuidelinesHidePlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_GuidelinesHide = {"GuidelinesHide", &InitializeGuidelinesHide, nullptr, &GuidelinesHidePlans};

} // namespace Quillmend
