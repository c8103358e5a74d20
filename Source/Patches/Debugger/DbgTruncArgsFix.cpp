#include "Patches/Debugger/DbgTruncArgsFix.h"

#include <cstring>
#include <windows.h>

#include "Framework/LibraryEntry.h"
#include "Patches/Debugger/DebuggerCRtl.h"
#include "Patches/Debugger/DebuggerModules.h"

namespace Quillmend {

namespace {

TModuleReference g_kernel(DebuggerKernelModule);

HMODULE TakeKernel() { return g_kernel.Take(); }

TPatchPlan DbgTruncArgsFixPlan() {
  TPatchPlan plan(L"Debugger.wsprintf.truncargs", L"Cmdline args are truncated", TInstallMoment::WizardInit);
  TSiteRef kernel = plan.LoadedModule(DebuggerKernelModule, &TakeKernel);
  plan.ImportSlots(kernel, "user32.dll", "wsprintfA", &FormatCommandLine);
  return plan;
}

void InitializeDbgTruncArgsFix() { AddWizardInitProc(&InstallDbgTruncArgsFix); }

// The library's undo has put the slot back; now the kernel may go.
void FinalizeDbgTruncArgsFix() { g_kernel.Release(); }

}  // namespace

// Exactly, case included: for wsprintfA "%C" and "%S" take wide characters
// and strings, which this formatting does not write.
bool IsCommandLineFormat(const char* format) {
  return format && format[0] == '%' && std::strcmp(format, "%c%s%c %s") == 0;
}

int FormatCommandLineV(char* buffer, const char* format, va_list args) {
  if (IsCommandLineFormat(format)) {
    va_list look;
    va_copy(look, args);
    const char open = char(va_arg(look, int));
    const char* first = va_arg(look, const char*);
    const char close = char(va_arg(look, int));
    const char* second = va_arg(look, const char*);
    va_end(look);
    if (first && second) {
      const size_t firstLength = std::strlen(first), secondLength = std::strlen(second);
      // Three characters besides the strings, and the zero.
      if (firstLength < size_t(LongestCommandLine) && secondLength < size_t(LongestCommandLine) &&
          firstLength + secondLength + 4 <= size_t(LongestCommandLine)) {
        char* out = buffer;
        *out++ = open;
        std::memcpy(out, first, firstLength);
        out += firstLength;
        *out++ = close;
        *out++ = ' ';
        std::memcpy(out, second, secondLength);
        out += secondLength;
        *out = 0;
        return int(out - buffer);
      }
    }
  }
  return wvsprintfA(buffer, format, args);
}

int __cdecl FormatCommandLine(char* buffer, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = FormatCommandLineV(buffer, format, args);
  va_end(args);
  return written;
}

std::vector<TPatchPlan> DbgTruncArgsFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(DbgTruncArgsFixPlan());
  return plans;
}

void InstallDbgTruncArgsFix() {
  TPatchPlan plan = DbgTruncArgsFixPlan();
  InstallPlan(plan);
}

bool DbgTruncArgsFixHoldsKernel() { return g_kernel.Held(); }

const TUnitInfo Unit_DbgTruncArgsFix = {"DbgTruncArgsFix", &InitializeDbgTruncArgsFix, &FinalizeDbgTruncArgsFix,
                                        &DbgTruncArgsFixPlans};

}  // namespace Quillmend
