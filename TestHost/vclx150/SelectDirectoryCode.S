// SelectDirectory and TBrowseForFolder.ExecuteTarget starting as the host's
// compiler starts a routine (SelectDirectory.cpp has their bodies).
#include "Common/HostEntry.inc"

        .intel_syntax noprefix
        .text

        .balign 16
        HOST_ENTRY _vclx_SelectDirectory, _vclx_SelectDirectoryBody
        .balign 16
        HOST_ENTRY _vclx_ExecuteTarget, _vclx_ExecuteTargetBody
