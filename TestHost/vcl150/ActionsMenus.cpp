// Action lists and menus: TCustomAction (Execute runs Update first, then
// its OnExecute while enabled; Update calls OnUpdate) and TMenu with its
// items; IsShortCut updates the action of every item (the host's way of
// keeping shortcuts current), then executes the enabled action of the item
// whose shortcut the key message carries. ShortCutFromMessage: the key's
// code with 0x2000 for Shift, 0x4000 for Ctrl (their state now) and 0x8000
// for Alt (bit 29 of the key data).
#include <cstdlib>

#include "Common/HostClass.h"
#include "Forms.h"
#include "FormsDriver.h"
#include "VclClasses.h"
#include "VclInternal.h"

using namespace QmHost;
using namespace Vcl;

QM_HOST_CLASS(vcl_TCustomAction_Class, ComponentSlot::Count);
QM_HOST_CLASS(vcl_TMenu_Class, ComponentSlot::Count);
QM_HOST_CLASS(vcl_TMenuItem_Class, ComponentSlot::Count);

extern "C" {
void* vcl_TCustomAction_ClassVar = nullptr;
}

namespace {

void* g_menuClass = nullptr;
void* g_menuItemClass = nullptr;

using TEventFn = void(QM_HOST_REGISTER*)(void* data, void* sender);

void QM_HOST_REGISTER MenuDestroy(void* self, int outermost) {
  DestructorStart(self, outermost);
  std::free(Field<void**>(self, MenuLayout::Items));
  Field<void**>(self, MenuLayout::Items) = nullptr;
  InheritedDestroy(self, vcl_TMenu_Class);
  DestructorEnd(self, outermost);
}

bool BuildActionsMenus() {
  vcl_TCustomAction_ClassVar = HostClassBuilder(vcl_TCustomAction_Class_Storage, "TCustomAction")
                                   .Parent(&vcl_TComponent_ClassVar)
                                   .InstanceSize(ActionLayout::Size)
                                   .TypeInfo("ActnList")
                                   .Build();
  g_menuClass = HostClassBuilder(vcl_TMenu_Class_Storage, "TMenu")
                    .Parent(&vcl_TComponent_ClassVar)
                    .InstanceSize(MenuLayout::Size)
                    .Root(kVmtDestroy, reinterpret_cast<void*>(&MenuDestroy))
                    .TypeInfo("Menus")
                    .Build();
  g_menuItemClass = HostClassBuilder(vcl_TMenuItem_Class_Storage, "TMenuItem")
                        .Parent(&vcl_TComponent_ClassVar)
                        .InstanceSize(MenuItemLayout::Size)
                        .TypeInfo("Menus")
                        .Build();
  return vcl_TCustomAction_ClassVar && g_menuClass && g_menuItemClass;
}

const VclClassRegistration kActionsMenus{"TCustomAction TMenu TMenuItem", "TComponent", &BuildActionsMenus};

}  // namespace

extern "C" {

uint8_t QM_HOST_REGISTER vcl_TCustomAction_Update(void* self) {
  ++Field<int32_t>(self, ActionLayout::Updates);
  const TMethod& event = Field<TMethod>(self, ActionLayout::OnUpdate);
  if (!event.Code) return 0;
  reinterpret_cast<TEventFn>(event.Code)(event.Data, self);
  return 1;
}

uint8_t QM_HOST_REGISTER vcl_TCustomAction_ExecuteBody(void* self) {
  vcl_TCustomAction_Update(self);
  const TMethod& event = Field<TMethod>(self, ActionLayout::OnExecute);
  if (!Field<uint8_t>(self, ActionLayout::Enabled) || !event.Code) return 0;
  ++Field<int32_t>(self, ActionLayout::Executions);
  reinterpret_cast<TEventFn>(event.Code)(event.Data, self);
  return 1;
}

void QM_HOST_REGISTER vcl_TCustomAction_SetEnabled(void* self, uint32_t value) {
  Field<uint8_t>(self, ActionLayout::Enabled) = (value & 0xFF) ? 1 : 0;
}

uint16_t QM_HOST_REGISTER vcl_ShortCutFromMessage(const TWMKey* message) {
  uint16_t shortCut = message->CharCode;
  if (GetKeyState(VK_SHIFT) < 0) shortCut |= 0x2000;
  if (GetKeyState(VK_CONTROL) < 0) shortCut |= 0x4000;
  if (message->KeyData & 0x20000000) shortCut |= 0x8000;
  return shortCut;
}

uint8_t QM_HOST_REGISTER vcl_TMenu_IsShortCutBody(void* self, TWMKey* message) {
  const uint16_t shortCut = vcl_ShortCutFromMessage(message);
  void** items = Field<void**>(self, MenuLayout::Items);
  const int32_t count = Field<int32_t>(self, MenuLayout::Count);
  for (int32_t i = 0; i < count; ++i)
    if (void* action = Field<void*>(items[i], MenuItemLayout::Action)) vcl_TCustomAction_Update(action);
  for (int32_t i = 0; i < count; ++i) {
    void* action = Field<void*>(items[i], MenuItemLayout::Action);
    if (action && Field<uint16_t>(items[i], MenuItemLayout::ShortCut) == shortCut &&
        Field<uint8_t>(action, ActionLayout::Enabled))
      return vcl_TCustomAction_Execute(action);
  }
  return 0;
}

// ---- driver (FormsDriver.h) --------------------------------------------------------

void* __stdcall VclNewAction(uint32_t shortCut) {
  void* action = vcl_TComponent_Create(vcl_TCustomAction_ClassVar, 1, nullptr);
  Field<uint16_t>(action, ActionLayout::ShortCut) = uint16_t(shortCut);
  Field<uint8_t>(action, ActionLayout::Enabled) = 1;
  return action;
}

void __stdcall VclActionSetEvents(void* action, void* executeCode, void* executeData, void* updateCode,
                                  void* updateData) {
  Field<TMethod>(action, ActionLayout::OnExecute) = TMethod{executeCode, executeData};
  Field<TMethod>(action, ActionLayout::OnUpdate) = TMethod{updateCode, updateData};
}

void __stdcall VclActionSetEnabled(void* action, int32_t enabled) {
  Field<uint8_t>(action, ActionLayout::Enabled) = enabled ? 1 : 0;
}

void __stdcall VclActionState(void* action, int32_t* enabled, int32_t* executions, int32_t* updates) {
  if (enabled) *enabled = Field<uint8_t>(action, ActionLayout::Enabled);
  if (executions) *executions = Field<int32_t>(action, ActionLayout::Executions);
  if (updates) *updates = Field<int32_t>(action, ActionLayout::Updates);
}

int32_t __stdcall VclActionExecute(void* action) { return vcl_TCustomAction_Execute(action); }

void* __stdcall VclNewMenu() { return vcl_TComponent_Create(g_menuClass, 1, nullptr); }

void __stdcall VclMenuAdd(void* menu, void* action, uint32_t shortCut) {
  void* item = vcl_TComponent_Create(g_menuItemClass, 1, menu);
  Field<uint16_t>(item, MenuItemLayout::ShortCut) = uint16_t(shortCut);
  Field<void*>(item, MenuItemLayout::Action) = action;
  void**& items = Field<void**>(menu, MenuLayout::Items);
  int32_t& count = Field<int32_t>(menu, MenuLayout::Count);
  items = static_cast<void**>(std::realloc(items, sizeof(void*) * size_t(count + 1)));
  items[count++] = item;
}

int32_t __stdcall VclMenuIsShortCut(void* menu, uint32_t charCode, int32_t keyData) {
  TWMKey message{WM_KEYDOWN, uint16_t(charCode), 0, keyData, 0};
  return vcl_TMenu_IsShortCut(menu, &message);
}

}  // extern "C"

namespace D = FormsDriver;
static_assert(std::is_same_v<decltype(&VclNewAction), D::NewActionFn> &&
                  std::is_same_v<decltype(&VclActionSetEvents), D::ActionSetEventsFn> &&
                  std::is_same_v<decltype(&VclActionSetEnabled), D::ActionSetEnabledFn> &&
                  std::is_same_v<decltype(&VclActionState), D::ActionStateFn> &&
                  std::is_same_v<decltype(&VclActionExecute), D::ActionExecuteFn> &&
                  std::is_same_v<decltype(&VclNewMenu), D::NewMenuFn> &&
                  std::is_same_v<decltype(&VclMenuAdd), D::MenuAddFn> &&
                  std::is_same_v<decltype(&VclMenuIsShortCut), D::MenuIsShortCutFn>,
              "exports differ from FormsDriver.h");
