// The Delphi personality's class completion (units Pasmgr and Completers),
// a small model of it: a class declaration's sections and members, the
// parse of each method declaration (ParseMethodOrAlias, which classifies
// the method's name and skips a member whose name is no identifier),
// EnsureSection (which makes a section of an access level, and first an
// empty "published" one for a persistent class without one while the
// updater keeps implicit members published), and the text of a completed
// method (ClassSymbolByPosition: its declaration and its implementation
// header, each name escaped with "&" where it is a reserved word).
//
// Records are the test host's choice: names are 8-bit zero-terminated
// texts; a symbol's first byte holds its kind in the low 4 bits (1
// procedure, 2 function, 3 constructor, 8 class operator, 9 class function).
#pragma once

#include <cstdint>

#include "Common/HostLayout.h"

namespace DelphiCore {

namespace ClassManagerLayout {
constexpr int Lexer = 0x48;        // the lexer (TokenKind's first argument)
constexpr int MemberIndex = 0x4C;  // the member being parsed
constexpr int Size = 0x50;
}  // namespace ClassManagerLayout

namespace CodeUpdaterLayout {
constexpr int PublishImplicit = 0x34;  // 32-bit: implicit members of persistent classes stay published
constexpr int Size = 0x38;
}  // namespace CodeUpdaterLayout

namespace SymbolLayout {
constexpr int Kind = 0;    // byte: low 4 bits the kind
constexpr int Name = 4;    // char*
constexpr int Params = 8;  // char*: "(a, b: TFoo): TFoo" or ""
constexpr int Size = 12;
}  // namespace SymbolLayout

// Access levels (Updaters.TAccess).
enum TAccess : int32_t { acPrivate = 0, acProtected = 1, acPublic = 2, acPublished = 3, acImplicit = 4 };

// Token kinds of a method declaration (TokenKind) and symbol kinds.
constexpr uint8_t KindProcedure = 1, KindFunction = 2, KindConstructor = 3, KindOperator = 8, KindClassFunction = 9;
// The classifier's answers: 2 an identifier; a reserved word's own token otherwise ("in": 138).
constexpr uint8_t ClassIdentifier = 2;

}  // namespace DelphiCore

extern "C" {
// Searched routines (ClassCompletionCode.S).
void QM_HOST_REGISTER DelphiParseMethodOrAlias(void* manager, void* classSymbol, int32_t access)
    QM_HOST_SYMBOL(delphicore_ParseMethodOrAlias);
void QM_HOST_REGISTER DelphiClassSymbolByPosition(void* completer, int32_t position)
    QM_HOST_SYMBOL(delphicore_ClassSymbolByPosition);
int32_t QM_HOST_REGISTER DelphiEnsureSection(void* updater, void* classSymbol, int32_t access, int32_t line)
    QM_HOST_SYMBOL(delphicore_EnsureSection);

// Called from the assembly (host register convention).
uint32_t QM_HOST_REGISTER DelphiTokenKind(void* lexer, int32_t member) QM_HOST_SYMBOL(delphicore_TokenKind);
uint32_t QM_HOST_REGISTER DelphiClassify(const char* text) QM_HOST_SYMBOL(delphicore_Classify);
uint32_t QM_HOST_REGISTER DelphiIsReserved(const char* text) QM_HOST_SYMBOL(delphicore_IsReserved);
uint32_t QM_HOST_REGISTER DelphiIsReservedCopy(const char* text) QM_HOST_SYMBOL(delphicore_IsReservedCopy);
void QM_HOST_REGISTER DelphiNotAName(const char* text, int32_t* rejected) QM_HOST_SYMBOL(delphicore_NotAName);
const char* QM_HOST_REGISTER DelphiMemberName(void* manager) QM_HOST_SYMBOL(delphicore_MemberName);
void QM_HOST_REGISTER DelphiAddMethod(void* manager, void* classSymbol, int32_t kind) QM_HOST_SYMBOL(delphicore_AddMethod);
void* QM_HOST_REGISTER DelphiSymbolAt(void* completer, int32_t position) QM_HOST_SYMBOL(delphicore_SymbolAt);
const char* QM_HOST_REGISTER DelphiSymbolName(void* symbol) QM_HOST_SYMBOL(delphicore_SymbolName);
void QM_HOST_REGISTER DelphiStrCat3(const char** dest, const char* a, const char* b) QM_HOST_SYMBOL(delphicore_StrCat3);
void QM_HOST_REGISTER DelphiFormatDeclaration(void* symbol, char* buffer, int32_t form)
    QM_HOST_SYMBOL(delphicore_FormatDeclaration);
void QM_HOST_REGISTER DelphiFormatImplementation(void* symbol, char* buffer, int32_t form)
    QM_HOST_SYMBOL(delphicore_FormatImplementation);
void QM_HOST_REGISTER DelphiEmit(void* completer, const char* text) QM_HOST_SYMBOL(delphicore_Emit);
int32_t QM_HOST_REGISTER DelphiFindSection(void* classSymbol, int32_t access) QM_HOST_SYMBOL(delphicore_FindSection);
int32_t QM_HOST_REGISTER DelphiPersistentMinimum(void* classSymbol) QM_HOST_SYMBOL(delphicore_PersistentMinimum);
int32_t QM_HOST_REGISTER DelphiCountSections(void* classSymbol, int32_t access) QM_HOST_SYMBOL(delphicore_CountSections);
int32_t QM_HOST_REGISTER DelphiAddSection(void* updater, void* classSymbol, int32_t access)
    QM_HOST_SYMBOL(delphicore_AddSection);

// The name variable ClassSymbolByPosition's formatting reads (the frame's).
extern const char** delphicore_NameVariable QM_HOST_SYMBOL(delphicore_NameVariable);
extern const char delphicore_Ampersand[] QM_HOST_SYMBOL(delphicore_Ampersand);
}
