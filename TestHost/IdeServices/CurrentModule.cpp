#include "IdeServices/CurrentModule.h"

#include <map>

namespace QmHost {

const GUID HelpInsightDocumentationId = {0xD05FBF46, 0x8468, 0x4934, {0xBF, 0x70, 0x7E, 0xAE, 0x1A, 0xB8, 0xFE, 0xAB}};

namespace {

constexpr int CurrentModuleSlot = 6;
constexpr int QueryInterfaceSlot = 0;

ComObject* g_current = nullptr;  // the current module's object (a reference held)
Module* g_currentModule = nullptr;
volatile LONG g_queries = 0;
volatile LONG g_objects = 0;
// Never destroyed (as the modules' lists): experts may call in while the process ends.
std::map<const ComObject*, HelpInsightAnswer>& g_answers = *new std::map<const ComObject*, HelpInsightAnswer>();

struct Documentation {
  const void* const* Methods;
  LONG RefCount;
  HelpInsightAnswer Answer;
};

HRESULT __stdcall DocQueryInterface(Documentation* self, const GUID* iid, void** out);
ULONG __stdcall DocAddRef(Documentation* self) { return ULONG(InterlockedIncrement(&self->RefCount)); }
ULONG __stdcall DocRelease(Documentation* self) {
  const LONG left = InterlockedDecrement(&self->RefCount);
  if (left == 0) {
    delete self;
    InterlockedDecrement(&g_objects);
  }
  return ULONG(left);
}
HRESULT __stdcall DocMayShow(Documentation* self, uint8_t* allows) {
  InterlockedIncrement(&g_queries);
  if (SUCCEEDED(self->Answer.Result) && allows) *allows = self->Answer.Allows ? 1 : 0;
  return self->Answer.Result;
}

// Methods 3 to 8 (the documentation requests) are not offered here.
const void* const DocumentationMethods[] = {
    reinterpret_cast<const void*>(&DocQueryInterface), reinterpret_cast<const void*>(&DocAddRef),
    reinterpret_cast<const void*>(&DocRelease),        nullptr,
    nullptr,                                            nullptr,
    nullptr,                                            nullptr,
    nullptr,                                            reinterpret_cast<const void*>(&DocMayShow),
};

const GUID IUnknownId = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

HRESULT __stdcall DocQueryInterface(Documentation* self, const GUID* iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!iid || !(IsEqualGUID(*iid, IUnknownId) || IsEqualGUID(*iid, HelpInsightDocumentationId))) return E_NOINTERFACE;
  DocAddRef(self);
  *out = self;
  return S_OK;
}

HRESULT __stdcall ModuleQueryInterface(ComObject* self, const GUID* iid, void** out) {
  if (!out || !iid || !IsEqualGUID(*iid, HelpInsightDocumentationId)) return ComQueryInterface(self, iid, out);
  *out = nullptr;
  auto it = g_answers.find(self);
  if (it == g_answers.end() || !it->second.Supported) return E_NOINTERFACE;
  InterlockedIncrement(&g_objects);
  *out = new Documentation{DocumentationMethods, 1, it->second};
  return S_OK;
}

void QM_HOST_REGISTER GetCurrentModule(ComObject*, void** result) {
  void* old = *result;
  *result = nullptr;
  if (g_current) {
    ComAddRef(g_current);
    *result = g_current;
  }
  if (old) ReleaseInterface(old);
}

} // namespace

void OfferCurrentModule() {
  static const bool offered = [] {
    ModuleServicesMethods().Set(CurrentModuleSlot, reinterpret_cast<const void*>(&GetCurrentModule));
    ModuleMethods().Set(QueryInterfaceSlot, reinterpret_cast<const void*>(&ModuleQueryInterface));
    return true;
  }();
  (void)offered;
}

void SetCurrentModule(Module* module) {
  OfferCurrentModule();
  ComObject* object = module ? ModuleObject(module) : nullptr;
  if (object) ComAddRef(object);
  if (g_current) ComRelease(g_current);
  g_current = object;
  g_currentModule = module;
}

Module* CurrentModule() {
  OfferCurrentModule();
  return g_currentModule;
}

void SetModuleHelpInsight(Module* module, const HelpInsightAnswer& answer) {
  OfferCurrentModule();
  g_answers[ModuleObject(module)] = answer;
}

int HelpInsightQueries() { return g_queries; }
int HelpInsightObjects() { return g_objects; }

} // namespace QmHost
