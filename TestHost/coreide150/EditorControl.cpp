// The editor control: HideBlock (EditorControlCode.S) and PointFromEdPos,
// which reads the control's view without looking: a nil control or a
// control without a view faults (an access violation), as the host does when
// an editor tab closes under a wizard that still asks for positions. A line
// below 1 raises the host's error instead.
#include "EditorControl.h"

#include <windows.h>

#include <cstdlib>
#include <type_traits>

#include "Common/HostRtl.h"
#include "EditorControlDriver.h"

using namespace CoreIde;

namespace {

// Reads through a pointer the compiler may not reason about: a nil base
// faults at run time, as the host's code does.
int32_t ReadField(const void* base, int offset) {
  return *reinterpret_cast<const volatile int32_t*>(reinterpret_cast<uintptr_t>(base) + uintptr_t(offset));
}

}  // namespace

extern "C" {

void QM_HOST_REGISTER CoreIdeHideView(void* view) {
  *reinterpret_cast<int32_t*>(static_cast<char*>(view) + EditViewLayout::BlockVisible) = 0;
}

void QM_HOST_REGISTER CoreIdePointFromEdPos(void* control, const TEdPos* position, uint32_t clip, TPoint* result,
                                             uint32_t relative) {
  (void)clip;
  (void)relative;
  const void* view = reinterpret_cast<const void*>(uintptr_t(ReadField(control, EditControlLayout::View)));
  const int32_t top = ReadField(view, EditViewLayout::TopLine);
  const int32_t left = ReadField(view, EditViewLayout::LeftColumn);
  if (position->Line < 1) {
    const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
    rtl->raiseExcept(rtl->NewException(L"Invalid editor position"));
  }
  result->X = (position->Col - left) * ReadField(control, EditControlLayout::CharWidth);
  result->Y = (position->Line - top) * ReadField(control, EditControlLayout::LineHeight);
}

// ---- driver (EditorControlDriver.h) ---------------------------------------------

void* __stdcall EditControlCreate(int32_t withView, int32_t topLine, int32_t leftColumn) {
  void* control = std::calloc(1, EditControlLayout::Size);
  auto field = [control](int offset) -> int32_t& { return *reinterpret_cast<int32_t*>(static_cast<char*>(control) + offset); };
  field(EditControlLayout::CharWidth) = 8;
  field(EditControlLayout::LineHeight) = 16;
  if (withView) {
    auto* view = static_cast<int32_t*>(std::calloc(1, EditViewLayout::Size));
    view[EditViewLayout::TopLine / 4] = topLine;
    view[EditViewLayout::LeftColumn / 4] = leftColumn;
    view[EditViewLayout::BlockVisible / 4] = 1;
    field(EditControlLayout::View) = int32_t(reinterpret_cast<uintptr_t>(view));
  }
  return control;
}

int32_t __stdcall EditControlBlockVisible(void* control) {
  const void* view = reinterpret_cast<const void*>(uintptr_t(ReadField(control, EditControlLayout::View)));
  return view ? ReadField(view, EditViewLayout::BlockVisible) : -1;
}

void __stdcall EditControlFree(void* control) {
  if (!control) return;
  std::free(reinterpret_cast<void*>(uintptr_t(ReadField(control, EditControlLayout::View))));
  std::free(control);
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&CoreIdePointFromEdPos), EditorControlDriver::PointFromEdPosFn> &&
                  std::is_same_v<decltype(&CoreIdeHideBlock), EditorControlDriver::HideBlockFn> &&
                  std::is_same_v<decltype(&EditControlCreate), EditorControlDriver::CreateFn> &&
                  std::is_same_v<decltype(&EditControlBlockVisible), EditorControlDriver::BlockVisibleFn> &&
                  std::is_same_v<decltype(&EditControlFree), EditorControlDriver::FreeFn>,
              "exports differ from EditorControlDriver.h");
