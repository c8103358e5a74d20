// "VCL.ListViewStreaming": reading a list view's item data raises a read
// error when the data in the form is shorter than the reader expects. The
// read is retargeted to ReadOrZero, which reads what there is and fills
// the whole buffer with zeros when it falls short.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// Reads `count` bytes through the stream's own Read; when fewer come, the
// whole buffer is zeros. The number of bytes read.
int32_t QM_REGISTER ReadOrZero(void* stream, void* buffer, int32_t count);

TPatchPlan ListViewStreamingPlan();
void InstallListViewStreamingFix();

extern const TUnitInfo Unit_ListViewStreamingFix;

} // namespace Quillmend
