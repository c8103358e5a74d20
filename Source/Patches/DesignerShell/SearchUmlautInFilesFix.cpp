#include "Patches/DesignerShell/SearchUmlautInFilesFix.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "Framework/HostFinally.h"
#include "Patches/DesignerShell/DesignerShellHost.h"
#include "Patches/DesignerShell/DesignerShellPatterns.h"

namespace Quillmend {

using namespace DesignerShellHost;

TLStrFromPChar OrgLStrFromPChar = nullptr;

std::string AnsiToUtf8(const char* text) {
  if (!text || !*text) return std::string();
  const int wideLength = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (wideLength <= 1) return std::string();
  std::wstring wide(size_t(wideLength), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], wideLength);
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return std::string();
  std::string utf8(size_t(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &utf8[0], length, nullptr, nullptr);
  utf8.resize(size_t(length) - 1);
  return utf8;
}

namespace {

// The text's UTF-8 form in a block of its own (std::free), null when there is none.
char* Utf8Copy(const char* text) {
  std::string utf8;
  std::wstring message;
  if (!CatchToMessage([&] { utf8 = AnsiToUtf8(text); }, message) || utf8.empty()) return nullptr;
  char* copy = static_cast<char*>(std::malloc(utf8.size() + 1));
  if (copy) std::memcpy(copy, utf8.c_str(), utf8.size() + 1);
  return copy;
}

} // namespace

char** QM_REGISTER SearchTextReplacement(char** dest, const char* text, uint32_t codePage) {
  // The host's routine frees nothing of ours: the copy is released here, also when it raises.
  char* utf8 = Utf8Copy(text);
  if (!utf8) return OrgLStrFromPChar(dest, text, codePage);
  char** result = nullptr;
  HostTryFinally([&] { result = OrgLStrFromPChar(dest, utf8, CP_UTF8); }, [&]() noexcept { std::free(utf8); });
  return result;
}

TPatchPlan SearchUmlautInFilesPlan() {
  namespace P = DesignerShellPatterns;
  TPatchPlan plan(L"IDE.SearchUmlautInFiles", L"Search In Files Umlaut bug", TInstallMoment::UnitInit);
  // The whole module, searched from its base within this plan rather than
  // among the check's up-front searches of whole modules.
  TSiteRef module = plan.Module(CoreIde);
  TSiteRef site = plan.PatternFrom(L"SearchInFilesText", module, 0, P::SearchTextUtf8, P::SearchTextWindow);
  TCaptureRef make = plan.CallTarget(site, P::SearchTextCall);
  plan.RetargetCall(site, P::SearchTextCall, &SearchTextReplacement);
  plan.OnCommit([=](const TPlanValues& v) { OrgLStrFromPChar = v.Get<TLStrFromPChar>(make); });
  return plan;
}

void InstallSearchUmlautInFilesFix() {
  TPatchPlan plan = SearchUmlautInFilesPlan();
  InstallPlan(plan);
}

namespace {

std::vector<TPatchPlan> SearchUmlautInFilesFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(SearchUmlautInFilesPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_SearchUmlautInFilesFix = {"SearchUmlautInFilesFix", &InstallSearchUmlautInFilesFix, nullptr,
                                               &SearchUmlautInFilesFixPlans};

} // namespace Quillmend
