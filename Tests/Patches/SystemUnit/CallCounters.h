// Counts of Win32 calls the run-time and the patches make: a hook over the
// function's entry in this process (through a code transaction, undone with
// every other), counting every call from any thread.
#pragma once

#include <atomic>

namespace SystemTest {

extern std::atomic<long> VirtualQueryCalls;
extern std::atomic<long> LoadStringCalls;

// Installs the counting hooks once per process.
void CountVirtualQuery();
void CountLoadString();

}  // namespace SystemTest
