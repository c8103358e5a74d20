// "IDE.HelpInsight.InteropCache": Help Insight's documentation requests run
// inside the IDE's managed interop cache. The code editor module's
// QueryInterface hands out the documentation interface wrapped in a
// THelpInsightInteropCacheHelper, whose methods 7 and 8 run between the
// managed bridge's "BeginInteropCache" and "EndInteropCache" (QuillmendClr.dll,
// beside the library). The bridge is loaded at the expert entry when the
// IDE's interop assembly is there, else when the main window is first shown.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// {D05FBF46-8468-4934-BF70-7EAE1AB8FEAB}: the host's documentation interface.
extern const GUID IID_HelpInsightDocumentation;

// A reference-counted wrapper of the host's documentation interface W (one
// reference to W, released with the helper's last reference). Methods 0 and
// 3 to 6 are W's; 7 and 8 run inside the interop cache; 7 to 9 catch every
// exception and answer it as an HRESULT (E_UNEXPECTED), a failing HRESULT of
// W as it is. Every method is stdcall, as the host's interface is.
class THelpInsightInteropCacheHelper {
public:
  // A new helper's interface (one reference, the caller's) around `documentation`.
  static void* Wrap(void* documentation);
  // Helpers alive now, in the whole process.
  static int32_t Alive();
};

// The replacement of TCodeIDocModule.QueryInterface (stdcall Self, IID, out Obj).
HRESULT __stdcall QueryInterfaceHook(void* self, const GUID* iid, void** obj);

// Loads the bridge beside the library and redirects QueryInterface; false
// when the bridge, one of its exports or the host's routine is missing.
// From the event: removes itself from the event first (it runs once).
bool LoadInteropCache(void* sender, bool fromEvent);

// QuillmendClr.dll in the directory of the library's own module file.
std::wstring InteropBridgePath();

std::vector<TPatchPlan> HelpInsightInteropCachePlans();
void InstallHelpInsightInteropCache();

extern const TUnitInfo Unit_HelpInsightInteropCache;

}  // namespace Quillmend
