// TCustomForm.ShowModal without a message loop (ModalDriver.h): the form
// shown, the probe a test set handed it, the form hidden again, and the
// result the test chose returned, as if the user had closed it so.
#include <mutex>
#include <type_traits>

#include "ModalDriver.h"
#include "VclInternal.h"

using namespace Vcl;
using namespace ModalDriver;

namespace {

std::mutex g_lock;
ProbeFn g_probe = nullptr;
std::int32_t g_nextResult = 2;  // mrCancel
int g_shown = 0;

} // namespace

extern "C" {

std::int32_t QM_HOST_REGISTER vcl_TCustomForm_ShowModal(void* form) QM_HOST_SYMBOL(vcl_TCustomForm_ShowModal);
std::int32_t QM_HOST_REGISTER vcl_TCustomForm_ShowModal(void* form) {
  ProbeFn probe;
  std::int32_t result;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    probe = g_probe;
    result = g_nextResult;
    ++g_shown;
  }
  Field<std::uint8_t>(form, ControlLayout::Visible) = 1;
  if (probe) probe(form);
  Field<std::uint8_t>(form, ControlLayout::Visible) = 0;
  return result;
}

void __stdcall VclSetModalProbe(ProbeFn probe, int result) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_probe = probe;
  g_nextResult = result;
}

int __stdcall VclModalShows() {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_shown;
}

} // extern "C"

static_assert(std::is_same_v<decltype(&VclSetModalProbe), SetProbeFn>, "SetProbe");
static_assert(std::is_same_v<decltype(&VclModalShows), ShowsFn>, "Shows");
