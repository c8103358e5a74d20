// The component designer's root as the host's GetRootStream meets it
// (ComponentDesignerDriver.h): roots, the routine that writes a root into
// its stream (and releases the root's stream, the fault), and the record of
// the streams the designer freed.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <type_traits>

#include "Common/HostRtl.h"
#include "Common/SearchedSites.h"
#include "ComponentDesignerDriver.h"

using namespace QmHost;
using namespace ComponentDesignerDriver;

namespace {

using CreateFn = void*(QM_HOST_REGISTER*)(void* classRef, int alloc);
using WriteBufferFn = void(QM_HOST_REGISTER*)(void* stream, const void* buffer, std::int32_t count);

std::mutex g_lock;
std::set<const void*> g_freedStreams;

template <class T>
T RtlProc(const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"rtl150.bpl"), name)));
}

void*& Field(void* root, int offset) { return *reinterpret_cast<void**>(static_cast<char*>(root) + offset); }

void FreeStream(void* stream) {
  {
    std::lock_guard<std::mutex> hold(g_lock);
    g_freedStreams.insert(stream);
  }
  LoadedHostRtl()->objectFree(stream);
}

} // namespace

extern "C" {

// A new, empty TMemoryStream (no arguments; EAX).
void* QM_HOST_REGISTER designide_NewRootStream() QM_HOST_SYMBOL(designide_NewRootStream);
void* QM_HOST_REGISTER designide_NewRootStream() {
  // The class export is the class reference itself.
  void* stream = RtlProc<CreateFn>("@System@TObject@$bctr$qqrv")(RtlProc<void*>("@Classes@TMemoryStream@"), 1);
  std::lock_guard<std::mutex> hold(g_lock);
  g_freedStreams.erase(stream);
  return stream;
}

// Writes the root into the stream (EAX = root, EDX = stream), then releases
// the stream the root held.
void QM_HOST_REGISTER designide_WriteRoot(void* root, void* stream) QM_HOST_SYMBOL(designide_WriteRoot);
void QM_HOST_REGISTER designide_WriteRoot(void* root, void* stream) {
  const char* name = static_cast<const char*>(root) + RootLayout::Name;
  char text[40] = "ROOT:";
  std::strncat(text, name, 31);
  RtlProc<WriteBufferFn>("@Classes@TStream@WriteBuffer$qqrpxvi")(stream, text, std::int32_t(std::strlen(text)));
  if (*reinterpret_cast<std::int32_t*>(static_cast<char*>(root) + RootLayout::FailWrite)) {
    const HostRtl* rtl = LoadedHostRtl();
    rtl->raiseExcept(rtl->NewException(L"Stream write error"));
  }
  if (void* held = Field(root, RootLayout::Stream)) {
    Field(root, RootLayout::Stream) = nullptr;
    FreeStream(held);
  }
}

void* __stdcall DesignNewRoot(const char* name, int failWrite) {
  auto* root = static_cast<char*>(std::calloc(1, RootLayout::Size));
  std::strncpy(root + RootLayout::Name, name, 31);
  *reinterpret_cast<std::int32_t*>(root + RootLayout::FailWrite) = failWrite;
  return root;
}

void __stdcall DesignFreeRoot(void* root) {
  if (!root) return;
  if (void* held = Field(root, RootLayout::Stream)) FreeStream(held);
  std::free(root);
}

void* __stdcall DesignRootStream(void* root) { return Field(root, RootLayout::Stream); }
void __stdcall DesignSetRootStream(void* root, void* stream) { Field(root, RootLayout::Stream) = stream; }

int __stdcall DesignStreamFreed(const void* stream) {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_freedStreams.count(stream) ? 1 : 0;
}

const SearchedSite* __stdcall DesignIdePatternSites(int* count) { return SearchedSites(count); }

} // extern "C"

static_assert(std::is_same_v<decltype(&DesignNewRoot), NewRootFn>, "NewRoot");
static_assert(std::is_same_v<decltype(&DesignFreeRoot), FreeRootFn>, "FreeRoot");
static_assert(std::is_same_v<decltype(&DesignRootStream), RootStreamFn>, "RootStream");
static_assert(std::is_same_v<decltype(&DesignSetRootStream), SetRootStreamFn>, "SetRootStream");
static_assert(std::is_same_v<decltype(&DesignStreamFreed), StreamFreedFn>, "StreamFreed");
