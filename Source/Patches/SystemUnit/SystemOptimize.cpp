#include "Patches/SystemUnit/SystemOptimize.h"

#include "Hooking/MethodTables.h"
#include "Patches/SystemUnit/ModuleUnloadNotice.h"
#include "Patches/SystemUnit/RtlSystemExports.h"

namespace Quillmend {

namespace {

TResourceStringCache g_cache;
const uint32_t* g_compareLocale = nullptr;  // the host's UTF8CompareLocale
void* g_addModuleUnloadProc = nullptr;
void* g_removeModuleUnloadProc = nullptr;

void QM_REGISTER ResourceModuleUnloaded(uint32_t instance) {
  g_cache.ModuleUnloaded(reinterpret_cast<HMODULE>(uintptr_t(instance)));
}

TModuleUnloadNotice g_unloadNotice(&ResourceModuleUnloaded);

uint32_t UpperAscii(uint32_t c) { return c - 'a' <= 'z' - 'a' ? c - ('a' - 'A') : c; }

// The whole names compared as the host compares them.
bool SameInLocale(const uint8_t* name, int nameLength, const wchar_t* text, int32_t textLength) {
  wchar_t wide[256];
  const int wideLength = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(name), nameLength, wide, 256);
  const LCID locale = g_compareLocale ? *g_compareLocale : LOCALE_USER_DEFAULT;
  return CompareStringW(locale, NORM_IGNORECASE, wide, wideLength, text, textLength) == CSTR_EQUAL;
}

TPatchPlan SystemOptimizePlan() {
  TPatchPlan plan(L"RTL.SystemOptimization", L"System unit optimizations", TInstallMoment::UnitInit);
  TSiteRef loadResString = plan.Export(L"LoadResString", RtlPackage, RtlSystemExport::LoadResString);
  TSiteRef classNameIs = plan.Export(L"ClassNameIs", RtlPackage, RtlSystemExport::ClassNameIs);
  TSiteRef findResources = plan.Export(L"FindResourceHInstance", RtlPackage, RtlSystemExport::FindResourceHInstance);
  TSiteRef locale = plan.Export(L"UTF8CompareLocale", RtlPackage, RtlSystemExport::UTF8CompareLocale);
  TSiteRef add = plan.Export(L"AddModuleUnloadProc", RtlPackage, RtlSystemExport::AddModuleUnloadProc);
  TSiteRef remove = plan.Export(L"RemoveModuleUnloadProc", RtlPackage, RtlSystemExport::RemoveModuleUnloadProc);
  const TStringSites strings = AddStringSites(plan);
  plan.Redirect(loadResString, &LoadResStringReplacement);
  plan.Redirect(classNameIs, &ClassNameIsReplacement);
  // Publication only records and makes our own lock: the check tool
  // publishes without running anything of the host's.
  plan.OnCommit([=](const TPlanValues& v) {
    g_cache.Start(StringsAt(v, strings), reinterpret_cast<TFindResourceHInstance>(v.Site(findResources)));
    g_compareLocale = reinterpret_cast<const uint32_t*>(v.Site(locale));
    g_addModuleUnloadProc = v.Site(add);
    g_removeModuleUnloadProc = v.Site(remove);
  });
  return plan;
}

void FinalizeSystemOptimize() {
  // The library's undo has put both routines back: nothing reaches the cache.
  g_unloadNotice.Unregister();
  g_cache.Stop();
  g_compareLocale = nullptr;
}

}  // namespace

void QM_REGISTER LoadResStringReplacement(const TResStringRec* rec, wchar_t** result) { g_cache.Load(rec, result); }

bool QM_REGISTER ClassNameIsReplacement(const void* classRef, const wchar_t* name) {
  const auto* shortName =
      *reinterpret_cast<const uint8_t* const*>(static_cast<const char*>(classRef) + HostClassLayout::ClassName);
  const int nameLength = shortName[0];
  const uint8_t* chars = shortName + 1;
  const int32_t textLength = HostStringLength(name);
  int i = 0;
  while (i < nameLength && i < textLength && chars[i] < 0x80 && name[i] < 0x80 &&
         UpperAscii(chars[i]) == UpperAscii(name[i]))
    ++i;
  if (i == textLength) return i == nameLength;
  // A character of U+0080 or above on either side: the host's comparison
  // decides (a non-ASCII class-name character may still equal the text).
  if (name[i] >= 0x80 || (i < nameLength && chars[i] >= 0x80))
    return SameInLocale(chars, nameLength, name, textLength);
  return false;
}

TResourceStringCache& ResourceStringCache() { return g_cache; }

std::vector<TPatchPlan> SystemOptimizePlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(SystemOptimizePlan());
  return plans;
}

void InstallSystemOptimize() {
  TPatchPlan plan = SystemOptimizePlan();
  if (InstallPlan(plan)) g_unloadNotice.Register(g_addModuleUnloadProc, g_removeModuleUnloadProc);
}

const TUnitInfo Unit_SystemOptimize = {"SystemOptimize", &InstallSystemOptimize, &FinalizeSystemOptimize,
                                       &SystemOptimizePlans};

}  // namespace Quillmend
