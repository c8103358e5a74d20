// ImgList: the image list's Initialize and destructor, byte for byte where
// the pack looks for them, and the entry of its bitmap reallocation (not
// exported; Initialize and SetSize call it). Initialize creates the list's
// scratch bitmap inside a try/finally whose finally ends the list's update.
// Host register convention. Each searched piece has one ALTBYTE; the
// Initialize piece also has a form that keeps the bitmap at +0x50
// (variant imagelistinit-field50), which the whole list then uses; the form
// imagelistinit-stablestreams is the same code in a build whose lists
// stream without drift.

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix

        .data
        .balign 4
        .globl _vcl_ImageListBitmapField
_vcl_ImageListBitmapField:
        .ifc QM_VARIANT, imagelistinit_field50
        .long 0x50
        .else
        .long 0x54
        .endif

// 1 in the build whose lists stream their capacity and growth step
// unchanged (variant imagelistinit-stablestreams, ImageListStreaming.cpp).
        .globl _vcl_ImageListStreamsStably
_vcl_ImageListStreamsStably:
        .ifc QM_VARIANT, imagelistinit_stablestreams
        .long 1
        .else
        .long 0
        .endif

        .text

// procedure TCustomImageList.Initialize: EAX = self.
        .balign 16
        .globl _vcl_TCustomImageList_Initialize
_vcl_TCustomImageList_Initialize:
        push ebp
        mov ebp, esp
        push ecx                            // [ebp-4]: self, for the finally handler
        push ebx
        mov ebx, eax
        mov [ebp-4], eax
        call _vcl_ImageListDefaults
        xor eax, eax                        // try
        push ebp
        push offset _vcl_ImageListInitializeFinally
        push dword ptr fs:[eax]
        mov dword ptr fs:[eax], esp
        inc dword ptr [ebx+0x3C]            // BeginUpdate

        SEARCHED_ROUTINE imagelistinit, ImageListInitializeBitmap, _vcl_ImageListInitializeBitmap
        .byte 0xB2, 0x01                    // mov dl,1
        .byte 0xA1                          // mov eax,[TBitmap]
        .long _vcl_TBitmap_ClassVar
        CALL_REL(_vcl_TBitmap_Create)       // call TBitmap.Create          (+7)
        .byte 0x89, 0x43                    // mov [ebx+FBitmap],eax
        ROUTINE_FORM imagelistinit, field50
        ROUTINE_FORM imagelistinit, stablestreams
        .ifc QM_VARIANT, imagelistinit_field50
        .byte 0x50
        .else
        .byte 0x54                          //                              (+14)
        .endif
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_vcl_ImageListReallocBitmaps)  // call ReallocBitmaps      (+17)
        ALTBYTE imagelistinit, 0x33, 0x31   // xor eax,eax                  finally
        .byte 0xC0
        .byte 0x5A                          // pop edx
        .byte 0x59                          // pop ecx
        .byte 0x59                          // pop ecx
        .byte 0x64, 0x89, 0x10              // mov fs:[eax],edx

        mov eax, ebx
        call _vcl_ImageListEndUpdate
        pop ebx
        pop ecx
        pop ebp
        ret

// destructor TCustomImageList.Destroy: EAX = self, DL = outermost.
        .balign 16
        .globl _vcl_TCustomImageList_Destroy
_vcl_TCustomImageList_Destroy:
        push ebx
        push esi
        push edi
        mov edi, eax
        mov ebx, edx
        call _vcl_BeforeDestruction
        SEARCHED_ROUTINE imagelistfree, ImageListDestroyFrees, _vcl_ImageListDestroyFrees
        .byte 0x8B, 0x47                    // mov eax,[edi+FBitmap]
        .ifc QM_VARIANT, imagelistinit_field50
        .byte 0x50
        .else
        .byte 0x54
        .endif
        CALL_REL(_vcl_ObjectFree)           // call TObject.Free            (+3)
        .byte 0x8B, 0xC7                    // mov eax,edi
        CALL_REL(_vcl_ImageListFreeImages)  // call FreeImages
        .byte 0x8B, 0x47, 0x58              // mov eax,[edi+FMaskBitmap]
        CALL_REL(_vcl_ObjectFree)           // call TObject.Free
        ALTBYTE imagelistfree, 0x33, 0x31   // xor eax,eax
        .byte 0xC0
        .byte 0x89, 0x47, 0x58              // mov [edi+FMaskBitmap],eax
        xor edx, edx
        mov eax, edi
        call _vcl_TComponent_Destroy        // inherited Destroy
        test bl, bl
        jz 1f
        mov eax, edi
        call _vcl_ClassDestroy
1:      pop edi
        pop esi
        pop ebx
        ret

// The list's bitmap (re)allocation: EAX = self.
        .balign 16
        .globl _vcl_ImageListReallocBitmaps
_vcl_ImageListReallocBitmaps:
        push ebx
        mov ebx, eax
        call _vcl_ImageListReallocBody
        pop ebx
        ret
