// TCustomImageList.WriteData and ReadData start as the host's compiler
// starts a routine (ImageListStreaming.cpp holds their bodies).
#include "Common/HostEntry.inc"

        .text
        .balign 16
        HOST_ENTRY _vcl_TCustomImageList_WriteData, _vcl_ImageListWriteDataBody
        .balign 16
        HOST_ENTRY _vcl_TCustomImageList_ReadData, _vcl_ImageListReadDataBody
