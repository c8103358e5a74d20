// Class completion as the code editor runs it on two classes: one declaring
// `class operator Add` and `class operator In`, one persistent class whose
// property needs a storage field. Whatever an expert changed in the package
// is in effect. Journal: "CLASS-COMPLETION <class> -> <the completed text>"
// (escaped: line breaks as \n).
#include <windows.h>

#include <string>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "delphicoreide150/ClassCompletionDriver.h"

namespace QmHost {

namespace {

const char* const Classes[] = {
    "TSet = class\n  class operator Add(a, b: TSet): TSet;\n  class operator In(a: Integer; b: TSet): Boolean;\nend;",
    "TPanel = class(TComponent)\n  property Size: Integer read FSize;\nend;",
};

int RunClassCompletion(HostApp& app, const std::vector<std::wstring>& args) {
  auto complete = ClassCompletionDriver::Bind<ClassCompletionDriver::CompleteClassFn>(
      GetModuleHandleW(L"delphicoreide150.bpl"), ClassCompletionDriver::Export::CompleteClass);
  if (!args.empty() || !complete) {
    app.Log(L"WORKLOAD-ERROR classcompletion: expected no arguments and delphicoreide150.bpl loaded");
    return 2;
  }
  for (const char* declaration : Classes) {
    std::string out(8192, '\0');
    const int length = complete(declaration, &out[0], int(out.size()));
    out.resize(size_t(length) < out.size() ? size_t(length) : out.size() - 1);
    const std::string name(declaration, std::string(declaration).find(' '));
    app.Log(L"CLASS-COMPLETION " + std::wstring(name.begin(), name.end()) + L" -> " +
            JournalEscape(std::wstring(out.begin(), out.end())));
  }
  return 0;
}

const WorkloadRegistration kClassCompletion{L"classcompletion", RunClassCompletion,
                                            L"classcompletion  class completion of a class operator In and a persistent class"};

} // namespace

} // namespace QmHost
