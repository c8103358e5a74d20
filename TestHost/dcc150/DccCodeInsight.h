// The stand-in compiler's CodeInsight compiles: what the routines of
// DccCodeInsight.S work on and call. Tokens are records {code byte at 0,
// value at 4}; the token stream is the driver's (DccCodeInsightDriver.h).
#pragma once

#include <cstdint>

#include "Common/HostLayout.h"
#include "DccRecords.h"

namespace Dcc {

// The token codes the body skipping knows (our choice of meanings):
enum : uint8_t {
  tkInlineBlock = 0x0A,  // opens a block ended by an end token whose value - 1 differs from the level
  tkBegin = 0x0B, tkCase = 0x0C, tkTry = 0x23, tkAsm = 0x3E,  // openers
  tkEnd = 0x16,          // closes an opener; its value is its nesting level + 1
  tkProcedure = 0x2C, tkFunction = 0x34,  // a nested routine: header .. its own end
  tkRegionStart = 0x51, tkRegionEnd = 0x52,  // a region whose tokens do not count
  tkLevel = 0x5C,        // sets the inline block's level to its value
  tkEndOfSource = 0x5D,  // the source ends here
  tkBodyEnd = 0x5E,      // the body's end, as the parser marked it
};

struct TToken {
  uint32_t Code;         // byte at 0
  int32_t Value;         // at 4
};

} // namespace Dcc

extern "C" {
extern uint32_t DccKibitzActive asm("_DccKibitzActive");
extern uint32_t DccErrorCount asm("_DccErrorCount");
extern uint32_t DccErrorsShown asm("_DccErrorsShown");
extern uint32_t DccTokenPosition asm("_DccTokenPosition");
extern uint32_t DccLineStart asm("_DccLineStart");
extern uint32_t DccBufferBase asm("_DccBufferBase");
extern Dcc::TToken DccCurrentToken asm("_DccCurrentToken");
extern uint32_t DccSkipDisabled asm("_DccSkipDisabled");
extern uint8_t DccKibitzMode asm("_DccKibitzMode");
extern uint8_t DccErrorMode asm("_DccErrorMode");
extern uint8_t DccReportRejected asm("_DccReportRejected");

void QM_HOST_REGISTER DccStartKibitzCompile(const uint32_t* request) asm("_DccStartKibitzCompile");
void __stdcall DccReportError(int number, const char* text) asm("_DccReportError");
uint32_t QM_HOST_REGISTER DccSkipBody() asm("_DccSkipBody");
void QM_HOST_REGISTER DccFinishUnits(void* compile, int buildFlag) asm("_DccFinishUnits");

// Stack arguments declared in reverse (the host pushes them left to right).
void QM_HOST_REGISTER HostPrepareCompile(uint32_t file, uint32_t options, uint32_t thread, int second, int first)
    asm("HostPrepareCompile");
void __cdecl HostFatalError(const char* text) asm("HostFatalError");
void QM_HOST_REGISTER HostReportError(int zero, int kind, int number, const char* const* args) asm("HostReportError");
uint32_t QM_HOST_REGISTER HostSkipRefused() asm("HostSkipRefused");
uint32_t QM_HOST_REGISTER HostTokenMark() asm("HostTokenMark");
void QM_HOST_REGISTER HostBodyEndFound() asm("HostBodyEndFound");
void QM_HOST_REGISTER HostReportBodyEnd(uint32_t mark, uint32_t adjusted, uint32_t position) asm("HostReportBodyEnd");
void QM_HOST_REGISTER HostNextToken() asm("HostNextToken");
void QM_HOST_REGISTER HostFinalizeUnit(Dcc::TUnit* unit) asm("HostFinalizeUnit");
void QM_HOST_REGISTER HostUnitDone() asm("HostUnitDone");
void QM_HOST_REGISTER HostAfterUnit(void* compile, int buildFlag) asm("HostAfterUnit");
}

namespace Dcc {
// Called by the alias routine when a test armed it (DccArmAliasHook).
void RunAliasHook();
} // namespace Dcc
