// Calls foreign standard-call code and measures whether it removed exactly
// its arguments from the stack: a wrong calling convention on the far side
// shows as an imbalance instead of a corrupted caller.
#pragma once

#include <cstdint>

extern "C" std::uint32_t QmCallStdcallChecked(const void* fn, const std::uint32_t* args, int count, int* imbalance);

namespace QmHost {

template <class... A>
std::uint32_t CallStdcallChecked(const void* fn, int& imbalance, A... args) {
  const std::uint32_t values[sizeof...(A) + 1] = {static_cast<std::uint32_t>((std::uintptr_t)args)..., 0};
  return QmCallStdcallChecked(fn, values, static_cast<int>(sizeof...(A)), &imbalance);
}

} // namespace QmHost
