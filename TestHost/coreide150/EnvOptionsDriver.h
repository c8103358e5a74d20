// The IDE's environment options (coreide150.bpl, unit Envoptions:
// EnvOptions.cpp), declared once for the tests and bds.exe.
#pragma once

#include <windows.h>

#include <cstdint>

namespace EnvOptionsDriver {

namespace Export {
// The variable holding the environment-options object (a component owning
// one property field per option: "CodeInsightHelpInsight", "AutoSaveEditorFiles").
constexpr const char* EnvironmentOptions = "@Envoptions@EnvironmentOptions";
constexpr const char* Build = "EnvOptionsBuild";
}  // namespace Export

// The stand-in's (stdcall): makes the object once (vclide150.bpl must be
// loaded) and sets "CodeInsightHelpInsight"; the object, nil when it cannot.
using BuildFn = void*(__stdcall*)(int32_t helpInsight);

}  // namespace EnvOptionsDriver
