// Helpers of the ImgList unit shared by its files.
#pragma once

#include <cstdint>

#include "Common/HostLayout.h"

namespace Vcl {

// The list's scratch bitmap reference (at vcl_ImageListBitmapField).
void*& ImageListBitmap(void* list);

} // namespace Vcl

extern "C" {
void QM_HOST_REGISTER vcl_TCustomImageList_SetSize(void* self, int32_t width, int32_t height)
    QM_HOST_SYMBOL(vcl_TCustomImageList_SetSize);
int32_t QM_HOST_REGISTER vcl_TCustomImageList_GetCount(void* self) QM_HOST_SYMBOL(vcl_TCustomImageList_GetCount);
int32_t QM_HOST_REGISTER vcl_TCustomImageList_Add(void* self, void* image, void* mask)
    QM_HOST_SYMBOL(vcl_TCustomImageList_Add);
// Draw(Canvas, X, Y, Index): Y and Index are stack arguments, declared the other way round.
void QM_HOST_REGISTER vcl_TCustomImageList_Draw(void* self, void* canvas, int32_t x, int32_t index, int32_t y)
    QM_HOST_SYMBOL(vcl_TCustomImageList_Draw);
}
