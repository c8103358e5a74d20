// Checked calls into code that should follow the host's register calling
// convention (QM_HOST_REGISTER): EAX, EDX, ECX, then stack arguments pushed
// in order, the callee removes them and keeps EBX, ESI, EDI and EBP. A
// replacement that breaks the convention shows in the report instead of
// corrupting its caller. Usable from assembly too: _QmCallRegisterChecked
// takes a QmRegisterCall block (set up TLS with QmRegisterCallPrepare first).
#pragma once

#include <cstdint>

#include "HostLayout.h"

extern "C" {

// Field offsets are fixed: RegisterCall.S reads and writes them.
struct QmRegisterCall {
  const void* fn;
  std::uint32_t eax, edx, ecx;
  const std::uint32_t* stack;
  int stackCount;
  std::uint32_t resultEax, resultEdx;
  int imbalance;
  std::uint32_t clobbered;
  std::uint32_t savedEsp;
};

std::uint32_t QmCallRegisterChecked(QmRegisterCall* call);
// Makes the block findable by the assembly after the callee returns.
void QmRegisterCallPrepare(QmRegisterCall* call);
}

namespace QmHost {

// Callee-saved registers the callee did not keep.
enum : std::uint32_t { kClobberedEbx = 1, kClobberedEsi = 2, kClobberedEdi = 4, kClobberedEbp = 8 };

struct RegisterCallReport {
  std::uint32_t edx = 0;        // EDX after the call (high half of a 64-bit result)
  int imbalance = 0;            // bytes left on (+) or taken off (-) the stack beyond the arguments
  std::uint32_t clobbered = 0;  // kClobbered* bits
  bool Clean() const { return imbalance == 0 && clobbered == 0; }
};

struct RegisterArgs {
  std::uint32_t eax = 0, edx = 0, ecx = 0;
};

template <class T>
std::uint32_t RegisterWord(T value) {
  return static_cast<std::uint32_t>((std::uintptr_t)value);
}

// Calls fn with the register arguments and the stack arguments (the first
// is pushed first); returns EAX.
template <class... Stack>
std::uint32_t CallRegisterChecked(const void* fn, RegisterCallReport& report, RegisterArgs registers, Stack... stack) {
  const std::uint32_t values[sizeof...(Stack) + 1] = {RegisterWord(stack)..., 0};
  QmRegisterCall call{fn, registers.eax, registers.edx, registers.ecx, values, static_cast<int>(sizeof...(Stack)),
                      0, 0, 0, 0, 0};
  QmRegisterCallPrepare(&call);
  std::uint32_t result = QmCallRegisterChecked(&call);
  report.edx = call.resultEdx;
  report.imbalance = call.imbalance;
  report.clobbered = call.clobbered;
  return result;
}

} // namespace QmHost
