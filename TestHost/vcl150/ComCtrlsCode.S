// ComCtrls: the tool bar's constructor and destructor, byte for byte where
// the pack looks for them. The constructor makes the bar's private bitmap:
// created, width 1, height 1, brush clBtnFace, filled. The destructor frees
// the hot-button brush and then the bitmap. Host register convention.
// Each searched piece has one ALTBYTE (Common/SearchedRoutines.inc).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .text

// constructor TToolBar.Create(AOwner: TComponent): EAX = class (DL != 0) or
// self, ECX = AOwner.
        .balign 16
        .globl _vcl_TToolBar_Create
_vcl_TToolBar_Create:
        push ebp
        mov ebp, esp
        add esp, -16                        // [ebp-0x10]: a TRect
        push ebx
        push esi
        push edi
        mov edi, edx                        // DL: the outermost call
        test dl, dl
        jz 1f
        call _vcl_ClassCreate
1:      mov esi, eax                        // self
        xor edx, edx
        call _vcl_TCustomControl_Create     // inherited Create(AOwner)
        mov dl, 1
        mov eax, [_vcl_TBrush_ClassVar]
        call _vcl_TBrush_Create
        mov [esi+0x2FC], eax                // FHotBrush

        SEARCHED_ROUTINE toolbarcreate, ToolBarCreateBitmap, _vcl_ToolBarCreateBitmap
        .byte 0xB2, 0x01                    // mov dl,1
        .byte 0xA1                          // mov eax,[TBitmap]
        .long _vcl_TBitmap_ClassVar
        CALL_REL(_vcl_TBitmap_Create)       // call TBitmap.Create          (+7)
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0x89, 0x9E                    // mov [esi+FBitmap],ebx
        .long 0x300
        .byte 0xBA, 0x01, 0x00, 0x00, 0x00  // mov edx,1                    (+20)
        .byte 0x8B, 0xC3                    // mov eax,ebx
        .byte 0x8B, 0x08                    // mov ecx,[eax]
        .byte 0xFF, 0x51, 0x24              // call [ecx+SetWidth]
        .byte 0xBA, 0x01, 0x00, 0x00, 0x00  // mov edx,1
        .byte 0x8B, 0xC3                    // mov eax,ebx
        .byte 0x8B, 0x08                    // mov ecx,[eax]
        .byte 0xFF, 0x51, 0x20              // call [ecx+SetHeight]
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_vcl_TBitmap_GetCanvas)    // call TBitmap.GetCanvas
        .byte 0x8B, 0x40, 0x08              // mov eax,[eax+Brush]
        .byte 0xBA, 0x0F, 0x00, 0x00, 0xFF  // mov edx,clBtnFace
        CALL_REL(_vcl_TBrush_SetColor)      // call TBrush.SetColor
        .byte 0x6A, 0x01                    // push 1
        .byte 0x8D, 0x45, 0xF0              // lea eax,[ebp-0x10]
        .byte 0x50                          // push eax
        .byte 0xB9, 0x01, 0x00, 0x00, 0x00  // mov ecx,1
        ALTBYTE toolbarcreate, 0x33, 0x31   // xor edx,edx
        .byte 0xD2
        .byte 0x33, 0xC0                    // xor eax,eax
        CALL_REL(_vcl_Rect)                 // call Rect(0, 0, 1, 1)
        .byte 0x8D, 0x45, 0xF0              // lea eax,[ebp-0x10]
        .byte 0x50                          // push eax
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_vcl_TBitmap_GetCanvas)    // call TBitmap.GetCanvas
        .byte 0x5A                          // pop edx
        .byte 0x8B, 0x08                    // mov ecx,[eax]
        .byte 0xFF, 0x51, 0x14              // call [ecx+FillRect]          (+98; ends at +101)

        mov eax, esi
        call _vcl_ToolBarDefaults
        mov eax, esi
        mov edx, edi
        test dl, dl
        jz 2f
        call _vcl_AfterConstruction
2:      pop edi
        pop esi
        pop ebx
        mov esp, ebp
        pop ebp
        ret

// destructor TToolBar.Destroy: EAX = self, DL = outermost.
        .balign 16
        .globl _vcl_TToolBar_Destroy
_vcl_TToolBar_Destroy:
        .byte 0x53                          // push ebx
        .byte 0x56                          // push esi
        SEARCHED_ROUTINE toolbardestroy, ToolBarDestroyFrees, _vcl_ToolBarDestroyFrees
        .byte 0x57                          // push edi
        .byte 0x55                          // push ebp
        CALL_REL(_vcl_BeforeDestruction)    // call BeforeDestruction (outermost only)
        ALTBYTE toolbardestroy, 0x8B, 0x8A  // mov ebx,edx (variant: mov bl,dl; only bl is read)
        .byte 0xDA
        .byte 0x8B, 0xE8                    // mov ebp,eax
        .byte 0x8B, 0x85                    // mov eax,[ebp+FHotBrush]
        .long 0x2FC
        CALL_REL(_vcl_ObjectFree)           // call TObject.Free
        .byte 0x8B, 0x85                    // mov eax,[ebp+FBitmap]
        .long 0x300
        CALL_REL(_vcl_ObjectFree)           // call TObject.Free            (+28: the bitmap's)
        xor edx, edx
        mov eax, ebp
        call _vcl_TCustomControl_Destroy    // inherited Destroy
        test bl, bl
        jz 1f
        mov eax, ebp
        call _vcl_ClassDestroy
1:      pop ebp
        pop edi
        pop esi
        pop ebx
        ret
