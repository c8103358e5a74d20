#include "Patches/Compiler/OptimizedUnitRead.h"

#include <cstring>

#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"

namespace Quillmend {
namespace {

void* g_orgReadName = nullptr;

template <size_t N>
void Move(char* dest, const uint8_t* text) {
  std::memcpy(dest, text, N);
}

// Eight bytes at a time, then the rest: a name's text and its record never
// overlap, and the lengths are short enough that a call of the run-time's
// memcpy would cost more than the copy.
void BlockMove(char* dest, const uint8_t* text, uint32_t length) {
  for (; length >= 8; length -= 8, dest += 8, text += 8) Move<8>(dest, text);
  if (length >= 4) {
    Move<4>(dest, text);
    length -= 4, dest += 4, text += 4;
  }
  for (; length > 0; --length) *dest++ = char(*text++);
}

} // namespace

const uint8_t* QM_REGISTER ReadName(const uint8_t* source, char* dest) {
  uint32_t length = source[0];
  const uint8_t* text = source + 1;
  if (length == 255) {
    std::memcpy(&length, source + 1, 4);
    text = source + 5;
  }
  switch (length) {
    case 0: break;
    case 1: Move<1>(dest, text); break;
    case 2: Move<2>(dest, text); break;
    case 3: Move<3>(dest, text); break;
    case 4: Move<4>(dest, text); break;
    case 8: Move<8>(dest, text); break;
    default: BlockMove(dest, text, length); break;
  }
  dest[length] = 0;
  return text + length;
}

namespace {

TPatchPlan ReadNamePlan() {
  TPatchPlan plan(L"Compiler.Unit.RdName", L"Compiler Unit ReadName");
  plan.LoadedModule(L"dcc150.dll", &GetDccHandle);
  TSiteRef reader = plan.Pattern(L"ReadName", L"dcc150.dll", UnitReadPatterns::ReadName, 0);
  plan.RedirectOrgCall(reader, &ReadName, &g_orgReadName);
  return plan;
}

void InitializeOptimizedUnitRead() { AddWizardInitProc(&InstallOptimizedUnitRead); }

} // namespace

std::vector<TPatchPlan> OptimizedUnitReadPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(ReadNamePlan());
  return plans;
}

void InstallOptimizedUnitRead() {
  TPatchPlan plan = ReadNamePlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_OptimizedUnitRead = {"OptimizedUnitRead", &InitializeOptimizedUnitRead, nullptr,
                                          &OptimizedUnitReadPlans};

} // namespace Quillmend
