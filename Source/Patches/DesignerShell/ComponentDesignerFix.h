// "VCL.ComponentDesignerRootStream": TComponentRoot.GetRootStream stores its
// new stream in the root's stream field and then has the root written into
// it by a routine that releases the root's stream, which is that very
// stream: the caller gets a freed stream and frees it again. The write is
// retargeted to a wrapper that clears the field for the duration of the
// call when it holds the stream being written, and puts the stream back
// afterwards, also when the write raises.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The root's writer (EAX = root, EDX = stream; ECX passed on as it came).
using TWriteRootStream = void(QM_REGISTER*)(void* root, void* stream, uint32_t third);
extern TWriteRootStream OrgWriteRootStream;
// Offset of the root's stream field, read from GetRootStream's code.
extern int32_t RootStreamFieldOffset;
void QM_REGISTER WriteRootStreamWrapper(void* root, void* stream, uint32_t third);

TPatchPlan ComponentDesignerRootStreamPlan();
void InstallComponentDesignerFix();

extern const TUnitInfo Unit_ComponentDesignerFix;

} // namespace Quillmend
