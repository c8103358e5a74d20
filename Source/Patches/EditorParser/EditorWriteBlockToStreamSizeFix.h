// "IDE.Editor.CopyTrimTrailingBlanks": the editor kernel sizes a copied block
// with its trailing blanks but writes it without them, leaving garbage after
// the text. WriteBlockToStream and TextBlockSize run with the buffer's
// "keep trailing blanks" bit set and "trim" clear, so size and text agree
// (the flags put back afterwards, also on exceptions), and a memory stream
// loses what the write made it grow beyond its position: its size becomes
// the larger of its size before the call and its position (bytes it held
// before the call stay).
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// WriteBlockToStream(View; Stream; Flag), TextBlockSize(View; Flag): Integer.
using TWriteBlockToStream = void(QM_REGISTER*)(void* view, void* stream, uint32_t flag);
using TTextBlockSize = int32_t(QM_REGISTER*)(void* view, uint32_t flag);
extern TWriteBlockToStream OrgWriteBlockToStream;
extern TTextBlockSize OrgTextBlockSize;
void QM_REGISTER WriteBlockToStreamReplacement(void* view, void* stream, uint32_t flag);
int32_t QM_REGISTER TextBlockSizeReplacement(void* view, uint32_t flag);

TPatchPlan CopyTrimTrailingBlanksPlan();
void InstallEditorWriteBlockToStreamSizeFix();

extern const TUnitInfo Unit_EditorWriteBlockToStreamSizeFix;

} // namespace Quillmend
