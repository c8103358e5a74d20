// The stand-in compiler's warnings, driver interface, declared once for
// bds.exe's dccwarnings workload, the tests and the benchmark: the warning
// filter and its settings, the two warnings that load a resource text
// first, the message list, and the counts of what was loaded and shown.
#pragma once

#include <cstdint>

#include "Common/HostLayout.h"

namespace DccWarningsDriver {

namespace Export {
constexpr const char* Filter = "DccWarning";        // the searched filter (cdecl)
constexpr const char* Warn46 = "DccWarn46";         // eax = a symbol record
constexpr const char* Warn47 = "DccWarn47";         // eax = a resource id
constexpr const char* LoadResString = "DccLoadResString";
constexpr const char* MessageList = "DccMessageList";
constexpr const char* Flags = "DccWarnFlags";       // DATA: byte, bit 0x40 warnings on
constexpr const char* Switch = "DccWarnSwitch";     // DATA: 32 bits, 0 lets warnings through
constexpr const char* Table = "DccWarnTable";       // DATA: a byte per warning number, 0 off
constexpr const char* Batch = "DccWarnBatch";
constexpr const char* ListLines = "DccListLines";
constexpr const char* Counters = "DccWarnCounters";
constexpr const char* Reset = "DccWarnReset";
} // namespace Export

// A symbol record as W46 reads it: the name at 0x1E.
constexpr int32_t NameOffset = 0x1E;
// The resource texts: the list's header, W46's made-up names, W47's texts.
constexpr uint32_t HeaderText = 4000, GeneratedNameText = 4046, FirstWarnText = 4047, LastWarnText = 4050;

using WarnFn = int32_t(QM_HOST_REGISTER*)(const void* argument);  // → the filter's answer
using LoadResStringFn = const char*(QM_HOST_REGISTER*)(uint32_t id, char* buffer);
using MessageListFn = uint32_t(QM_HOST_REGISTER*)();
// `count` warnings: even ones W46 with the records of a few names (some made
// up by the compiler), odd ones W47 with the texts in turn.
using BatchFn = void(__stdcall*)(int32_t count);
// The lines the next message list writes: their kinds (nonzero: a warning line).
using ListLinesFn = void(__stdcall*)(const int32_t* kinds, int32_t count);
struct TCounters {
  uint32_t Loads;     // resource texts loaded
  uint32_t Shown;     // warnings shown
  uint32_t Checksum;  // FNV over the shown warnings' texts
};
using CountersFn = void(__stdcall*)(TCounters* counters);
using ResetFn = void(__stdcall*)();

} // namespace DccWarningsDriver
