// The MSBuild project tree's AddItem and AddProperty as the IDE's core
// package has them: before adding, each formats its arguments into a
// message for CheckAndWarn, a check that does nothing (the searched bytes;
// nothing after them reads what they compute). Host register convention.
//
// Variants: additem ("test ebx,ebx" written "or ebx,ebx"), addproperty (the
// first argument's type vtUnicodeString written vtPWideChar: the host
// string's text reads the same either way).

#include "Common/SearchedRoutines.inc"

#define CALL_REL(target) .byte 0xE8; .long target - . - 4

        .intel_syntax noprefix
        .text

// function TItemGroup.AddItem(const Include, Value: string): TNode;
//   EAX = group, EDX = Include, ECX = Value -> EAX = the new item.
        .balign 16
        .globl _CoreIdeItemGroupAddItem
_CoreIdeItemGroupAddItem:
        push ebp
        mov ebp, esp
        add esp, -16
        push ebx
        push esi
        push edi
        mov esi, eax
        mov edi, edx
        mov [ebp-4], ecx
        xor eax, eax
        mov [ebp-8], eax                    // the message
        SEARCHED_ROUTINE additem, ItemGroupAddItem, _CoreIdeAddItemCheck
        .byte 0x8B, 0xDF                    // mov ebx,edi
        ALTBYTE additem, 0x85, 0x09         // test ebx,ebx
        .byte 0xDB
        .byte 0x74, 0x18                    // jz no condition
        .byte 0x8B, 0x56, 0x30              // mov edx,[esi+0x30]  (the group's rules)
        .byte 0x8B, 0xC7                    // mov eax,edi
        .byte 0xFF, 0x52, 0x04              // call [edx+4]        (ItemCondition)
        .byte 0x8B, 0xC8                    // mov ecx,eax
        .byte 0x8B, 0x46, 0x28              // mov eax,[esi+0x28]  (the project)
        .byte 0x8B, 0xD3                    // mov edx,ebx
        CALL_REL(_CoreIdeConditionFor)
        .byte 0x8B, 0xD8                    // mov ebx,eax
        .byte 0xEB, 0x02                    // jmp format
        .byte 0x33, 0xDB                    // xor ebx,ebx
        .byte 0x8D, 0x45, 0xF8              // format: lea eax,[ebp-8]
        .byte 0x50                          // push eax
        .byte 0x89, 0x7D, 0xF0              // mov [ebp-0x10],edi
        .byte 0xC6, 0x45, 0xF4, 0x11        // mov byte [ebp-0x0C],vtUnicodeString
        .byte 0x8D, 0x55, 0xF0              // lea edx,[ebp-0x10]
        .byte 0x33, 0xC9                    // xor ecx,ecx
        .byte 0xB8                          // mov eax,the message format
        .long _CoreIdeItemFormat + 12
        CALL_REL(_CoreIdeFormat)
        .byte 0x8B, 0x55, 0xF8              // mov edx,[ebp-8]
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_CoreIdeCheckAndWarn)
        mov eax, esi
        mov edx, edi
        mov ecx, [ebp-4]
        call _CoreIdeItemGroupAddItemImpl
        mov ebx, eax
        lea eax, [ebp-8]
        call _CoreIdeReleaseString
        mov eax, ebx
        pop edi
        pop esi
        pop ebx
        mov esp, ebp
        pop ebp
        ret

// function TPropertyGroup.AddProperty(const Name, Value, Condition: string): TNode;
//   EAX = group, EDX = Name, ECX = Value, [esp+4] = Condition -> EAX = the new property.
        .balign 16
        .globl _CoreIdePropertyGroupAddProperty
_CoreIdePropertyGroupAddProperty:
        push ebp
        mov ebp, esp
        add esp, -0x24
        push ebx
        push esi
        push edi
        mov ebx, eax
        mov edi, edx
        mov [ebp-4], ecx
        xor eax, eax
        mov [ebp-0x0C], eax                 // the expanded value
        mov [ebp-0x14], eax                 // the message
        SEARCHED_ROUTINE addproperty, PropertyGroupAddProperty, _CoreIdeAddPropertyCheck
        .byte 0x8D, 0x45, 0xF4              // lea eax,[ebp-0x0C]
        .byte 0x50                          // push eax
        .byte 0x8B, 0x4D, 0xFC              // mov ecx,[ebp-4]
        .byte 0x8B, 0xD7                    // mov edx,edi
        .byte 0x8B, 0xC3                    // mov eax,ebx
        CALL_REL(_CoreIdeExpandValue)
        .byte 0x8B, 0x75, 0xF4              // mov esi,[ebp-0x0C]
        .byte 0x89, 0x75, 0xF0              // mov [ebp-0x10],esi
        .byte 0x83, 0x7D, 0xF0, 0x00        // cmp dword [ebp-0x10],0
        .byte 0x74, 0x21                    // jz not reserved
        .byte 0x8B, 0x53, 0x30              // mov edx,[ebx+0x30]  (the group's rules)
        .byte 0x89, 0x75, 0xF0              // mov [ebp-0x10],esi
        .byte 0x8B, 0x45, 0xF0              // mov eax,[ebp-0x10]
        .byte 0xFF, 0x52, 0x08              // call [edx+8]        (ValueKind)
        .byte 0x8B, 0xC8                    // mov ecx,eax
        .byte 0x8B, 0x43, 0x28              // mov eax,[ebx+0x28]  (the project)
        .byte 0x89, 0x75, 0xF0              // mov [ebp-0x10],esi
        .byte 0x8B, 0x55, 0xF0              // mov edx,[ebp-0x10]
        CALL_REL(_CoreIdeIsReserved)
        .byte 0x88, 0x45, 0xFB              // mov [ebp-5],al
        .byte 0xEB, 0x04                    // jmp format
        .byte 0xC6, 0x45, 0xFB, 0x00        // not reserved: mov byte [ebp-5],0
        .byte 0x8D, 0x45, 0xEC              // format: lea eax,[ebp-0x14]
        .byte 0x50                          // push eax
        .byte 0x89, 0x7D, 0xDC              // mov [ebp-0x24],edi
        .byte 0xC6, 0x45, 0xE0              // mov byte [ebp-0x20],vtUnicodeString
        ALTBYTE addproperty, 0x11, 0x0A
        .byte 0x8B, 0x45, 0xFC              // mov eax,[ebp-4]
        .byte 0x89, 0x45, 0xE4              // mov [ebp-0x1C],eax
        .byte 0xC6, 0x45, 0xE8, 0x11        // mov byte [ebp-0x18],vtUnicodeString
        .byte 0x8D, 0x55, 0xDC              // lea edx,[ebp-0x24]
        .byte 0xB9, 0x01, 0x00, 0x00, 0x00  // mov ecx,1
        .byte 0xB8                          // mov eax,the message format
        .long _CoreIdePropertyFormat + 12
        CALL_REL(_CoreIdeFormat)
        .byte 0x8B, 0x55, 0xEC              // mov edx,[ebp-0x14]
        .byte 0x0F, 0xB6, 0x45, 0xFB        // movzx eax,byte [ebp-5]
        CALL_REL(_CoreIdeCheckAndWarn)
        push dword ptr [ebp+8]
        mov eax, ebx
        mov edx, edi
        mov ecx, [ebp-4]
        call _CoreIdePropertyGroupAddImpl
        mov esi, eax
        lea eax, [ebp-0x0C]
        call _CoreIdeReleaseString
        lea eax, [ebp-0x14]
        call _CoreIdeReleaseString
        mov eax, esi
        pop edi
        pop esi
        pop ebx
        mov esp, ebp
        pop ebp
        ret 4
