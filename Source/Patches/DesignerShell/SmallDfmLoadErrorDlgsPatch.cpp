#include "Patches/DesignerShell/SmallDfmLoadErrorDlgsPatch.h"

#include <string>

#include "Framework/HostFinally.h"
#include "Framework/HostObjectModel.h"
#include "Framework/LibraryEntry.h"
#include "Patches/DesignerShell/DesignerShellHost.h"

namespace Quillmend {

using namespace DesignerShellHost;

TRecoverSetup OrgRecoverSetup = nullptr;
TFormReadError OrgFormReadError = nullptr;

namespace {

// The host's form and control fields this module relies on (the dialogs'
// instance sizes vouch for them).
namespace FormLayout {
constexpr int Visible = 48, BorderStyle = 0x40, BorderIcons = 0x41, ClientWidth = 0x44, ClientHeight = 0x48,
              Caption = 0x4C, OnResize = 0x50;
}
namespace ControlLayout {
constexpr int Parent = 28, Left = 32, Top = 36, Width = 40, Height = 44, Anchors = 0x1C0, Align = 0x1C1,
              Margins = 0x1C4, Caption = 0x1C8, Color = 0x1CC;
}
namespace RecoverLayout {
constexpr int ListBox = 0x380, Message = 0x384, ButtonPanel = 0x388, Ok = 0x38C, Cancel = 0x390, Ignore = 0x394;
}
namespace ReadErrorLayout {
constexpr int Message = 0x380, Ignore = 0x384, IgnoreAll = 0x388, Cancel = 0x38C;
}
constexpr uint8_t bsSizeable = 2;
constexpr uint8_t biSystemMenu = 1;
constexpr uint8_t akLeft = 1, akTop = 2, akRight = 4, akBottom = 8;
constexpr uint8_t alBottom = 2, alClient = 5;
constexpr int32_t clBtnFace = int32_t(0xFF00000F);
constexpr int32_t Spacing = 8;      // around the button panel, and the message's margins
constexpr int32_t Widening = 200;   // what the recovery dialog gains in width
constexpr int32_t ButtonGaps[] = {8, 12, 16};  // right to left, inside the bottom panel

using TCreate = void*(QM_REGISTER*)(const void* classRef, int32_t alloc, void* owner);
using TShowModal = int32_t(QM_REGISTER*)(void* form);

const void* g_readErrorClass = nullptr;
TCreate g_readErrorCreate = nullptr;
const void* g_panelClass = nullptr;
TCreate g_panelCreate = nullptr;
TShowModal g_showModal = nullptr;
void* const* g_application = nullptr;

template <class T>
T& At(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

void ArrangeButtonPanel(void* dialog) {
  void* panel = At<void*>(dialog, RecoverLayout::ButtonPanel);
  At<int32_t>(panel, ControlLayout::Left) =
      At<int32_t>(dialog, FormLayout::ClientWidth) - At<int32_t>(panel, ControlLayout::Width) - Spacing;
  At<int32_t>(panel, ControlLayout::Top) =
      At<int32_t>(dialog, FormLayout::ClientHeight) - At<int32_t>(panel, ControlLayout::Height) - Spacing;
}

void QM_REGISTER RecoverDialogResized(void*, void* dialog) {
  if (At<uint8_t>(dialog, FormLayout::Visible)) ArrangeButtonPanel(dialog);
}

void LayOutRecoverDialog(void* dialog) {
  At<uint8_t>(dialog, FormLayout::BorderStyle) = bsSizeable;
  At<uint8_t>(dialog, FormLayout::BorderIcons) = biSystemMenu;
  void* panel = At<void*>(dialog, RecoverLayout::ButtonPanel);
  At<int32_t>(dialog, FormLayout::ClientWidth) =
      At<int32_t>(panel, ControlLayout::Left) + At<int32_t>(panel, ControlLayout::Width) + Spacing;
  At<int32_t>(dialog, FormLayout::ClientHeight) =
      At<int32_t>(panel, ControlLayout::Top) + At<int32_t>(panel, ControlLayout::Height) + Spacing;
  const struct {
    int Field;
    uint8_t Anchors;
  } anchors[] = {{RecoverLayout::ListBox, akLeft | akTop | akRight},
                 {RecoverLayout::Message, akLeft | akTop | akRight | akBottom},
                 {RecoverLayout::ButtonPanel, akRight | akBottom},
                 {RecoverLayout::Ok, akRight | akBottom},
                 {RecoverLayout::Cancel, akRight | akBottom},
                 {RecoverLayout::Ignore, akRight | akBottom}};
  for (const auto& a : anchors)
    if (void* control = At<void*>(dialog, a.Field)) At<uint8_t>(control, ControlLayout::Anchors) = a.Anchors;
  At<int32_t>(dialog, FormLayout::ClientWidth) += Widening;
  At<THostMethod>(dialog, FormLayout::OnResize) = {reinterpret_cast<void*>(&RecoverDialogResized), nullptr};
  ArrangeButtonPanel(dialog);
}

void LayOutReadErrorDialog(void* dialog, const wchar_t* fileName, const wchar_t* message) {
  At<uint8_t>(dialog, FormLayout::BorderStyle) = bsSizeable;
  void* text = At<void*>(dialog, ReadErrorLayout::Message);
  AssignHostString(&At<wchar_t*>(text, ControlLayout::Caption), FromHostString(message));
  void* const buttons[] = {At<void*>(dialog, ReadErrorLayout::Cancel), At<void*>(dialog, ReadErrorLayout::IgnoreAll),
                           At<void*>(dialog, ReadErrorLayout::Ignore)};
  void* panel = g_panelCreate(g_panelClass, 1, dialog);
  At<void*>(panel, ControlLayout::Parent) = dialog;
  At<uint8_t>(panel, ControlLayout::Align) = alBottom;
  At<int32_t>(panel, ControlLayout::Color) = clBtnFace;
  At<int32_t>(panel, ControlLayout::Height) = At<int32_t>(buttons[0], ControlLayout::Height) + 4;
  At<int32_t>(panel, ControlLayout::Left) = 0;
  At<int32_t>(panel, ControlLayout::Width) = At<int32_t>(dialog, FormLayout::ClientWidth);
  At<int32_t>(panel, ControlLayout::Top) =
      At<int32_t>(dialog, FormLayout::ClientHeight) - At<int32_t>(panel, ControlLayout::Height);
  int32_t right = At<int32_t>(panel, ControlLayout::Width);
  for (int i = 0; i < 3; ++i) {
    void* button = buttons[i];
    right -= At<int32_t>(button, ControlLayout::Width);
    At<void*>(button, ControlLayout::Parent) = panel;
    At<int32_t>(button, ControlLayout::Left) = right - ButtonGaps[i];
    At<int32_t>(button, ControlLayout::Top) = 2;
    At<uint8_t>(button, ControlLayout::Anchors) = akTop | akRight;
  }
  At<uint8_t>(text, ControlLayout::Align) = alClient;
  At<int32_t>(text, ControlLayout::Margins) = Spacing;
  wchar_t** caption = &At<wchar_t*>(dialog, FormLayout::Caption);
  AssignHostString(caption, L"\"" + FromHostString(fileName) + L"\": " + FromHostString(*caption));
}

} // namespace

void QM_REGISTER RecoverSetupReplacement(void* dialog, const wchar_t* formName, const wchar_t* ancestorName,
                                         uint32_t allowIgnore, const wchar_t* candidates, const wchar_t* fileName) {
  // The host fills the dialog; the layout is ours.
  OrgRecoverSetup(dialog, formName, ancestorName, allowIgnore, candidates, fileName);
  HostBoundary([dialog] { LayOutRecoverDialog(dialog); });
}

int32_t QM_REGISTER FormReadErrorReplacement(const wchar_t* fileName, const wchar_t* message) {
  void* dialog = g_readErrorCreate(g_readErrorClass, 1, *g_application);
  int32_t result = 0;
  HostTryFinally(
      [&] {
        HostBoundary([&] { LayOutReadErrorDialog(dialog, fileName, message); });
        result = g_showModal(dialog);
      },
      [&]() noexcept { HostObjectFree(dialog); });
  return result;
}

TPatchPlan SmallErrorDlgsPlan() {
  TPatchPlan plan(L"IDE.Designer.SmallErrorDlgs", L"Larger DFM load error dialogs");
  // The class records are filled when their package has run: before that only the running IDE can answer.
  auto dialogClass = [&](const wchar_t* label, const char* exportName, int32_t size, const wchar_t* reason) {
    TSiteRef classRef = plan.Export(label, DelphiCoreIde, exportName);
    TSiteRef built = plan.Computed(
        label, [classRef](const TPlanValues& v) -> void* {
          return HostInstanceSize(v.Site(classRef)) != 0 ? v.Site(classRef) : nullptr;
        },
        true);
    plan.Expect(reason, [built, size](const TPlanValues& v) { return HostInstanceSize(v.Site(built)) == size; });
    return built;
  };
  dialogClass(L"TRecoverFormInheritence", Export::RecoverFormClass, RecoverFormInheritenceSize,
              L"TRecoverFormInheritence: not the declared instance size (940)");
  TSiteRef readError = dialogClass(L"TReadErrorDlg", Export::ReadErrorDlgClass, ReadErrorDlgSize,
                                   L"TReadErrorDlg: not the declared instance size (932)");
  TSiteRef setup = plan.Export(L"TRecoverFormInheritence.Setup", DelphiCoreIde, Export::RecoverFormSetup);
  TSiteRef formReadError = plan.Export(L"FormReadError", DelphiCoreIde, Export::FormReadError);
  TSiteRef create = plan.Export(L"TReadErrorDlg.Create", DelphiCoreIde, Export::ReadErrorDlgCreate);
  TSiteRef panelClass = plan.Export(L"TPanel", Vcl, Export::PanelClass);
  TSiteRef panelCreate = plan.Export(L"TPanel.Create", Vcl, Export::PanelCreate);
  TSiteRef showModal = plan.Export(L"TCustomForm.ShowModal", Vcl, Export::ShowModal);
  TSiteRef application = plan.Export(L"Application", Vcl, Export::Application);
  plan.RedirectOrgCall(setup, &RecoverSetupReplacement, reinterpret_cast<void**>(&OrgRecoverSetup));
  plan.RedirectOrgCall(formReadError, &FormReadErrorReplacement, reinterpret_cast<void**>(&OrgFormReadError));
  plan.OnCommit([=](const TPlanValues& v) {
    g_readErrorClass = v.Site(readError);
    g_readErrorCreate = reinterpret_cast<TCreate>(v.Site(create));
    g_panelClass = v.Site(panelClass);
    g_panelCreate = reinterpret_cast<TCreate>(v.Site(panelCreate));
    g_showModal = reinterpret_cast<TShowModal>(v.Site(showModal));
    g_application = reinterpret_cast<void* const*>(v.Site(application));
  });
  return plan;
}

void InstallSmallDfmLoadErrorDlgsPatch() {
  TPatchPlan plan = SmallErrorDlgsPlan();
  InstallPlan(plan);
}

namespace {

void InitializeSmallDfmLoadErrorDlgsPatch() { AddWizardInitProc(&InstallSmallDfmLoadErrorDlgsPatch); }

std::vector<TPatchPlan> SmallDfmLoadErrorDlgsPatchPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(SmallErrorDlgsPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_SmallDfmLoadErrorDlgsPatch = {"SmallDfmLoadErrorDlgsPatch", &InitializeSmallDfmLoadErrorDlgsPatch,
                                                   nullptr, &SmallDfmLoadErrorDlgsPatchPlans};

} // namespace Quillmend
