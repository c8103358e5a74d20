// Entries of the routines patches redirect, as the host's compiler starts
// them (Common/HostEntry.inc); the bodies are C++.
#include "Common/HostEntry.inc"

        .text
        HOST_ENTRY _coreide_EkEval, _coreide_EkEvalBody
        HOST_ENTRY _coreide_WriteBlockToStream, _coreide_WriteBlockToStreamBody
        HOST_ENTRY _coreide_TextBlockSize, _coreide_TextBlockSizeBody
        HOST_ENTRY _coreide_NotifyDestroyed, _coreide_NotifyDestroyedBody
        HOST_ENTRY _coreide_PointFromEdPos, _coreide_PointFromEdPosBody
