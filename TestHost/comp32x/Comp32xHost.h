// The stand-in compiler's state behind its searched routines, for the driver.
#pragma once

#include <cstdint>

#include "Comp32xRecords.h"

namespace Comp32x {

// Calls of the C library's helpers (the is-lower test and the to-upper
// conversion; ltolower counts in Comp32xLtolowerCalls).
extern uint32_t g_isLowerCalls;
extern uint32_t g_toUpperCalls;
// Serial of the last name node made.
extern uint32_t g_nodeSerial;

// The lower-case table, the state and locale records (at load).
void InitializeHost();

// A context with no symbols, its fields at 192 and 300 set, counted live;
// it takes the address of the last context released, if any.
uint8_t* NewContext();
// Appends a symbol (the name is copied).
void AddSymbol(uint8_t* context, const char* name, uint32_t flags, int32_t value);
const Symbol* FirstSymbol(const uint8_t* context);

}  // namespace Comp32x
