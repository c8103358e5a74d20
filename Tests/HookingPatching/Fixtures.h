// Code fixtures (PatchingFixtures.S) and a spy that counts code writes.
#pragma once

#include <cstdint>
#include <windows.h>

extern "C" {
int Fixture_ReturnsOne();
int Fixture_ReturnsTwo();
int Fixture_SetsFortyAndTwo();
int Fixture_CallSite();
int Fixture_JumpSite();
int Fixture_OpCodeSiteA();
int Fixture_OpCodeSiteB();
int Fixture_InstructionSite();
int Fixture_VirtualA();
int Fixture_VirtualB();
int Fixture_ThunkToVirtualB();
UINT __stdcall Fixture_HotPatchable();
UINT __stdcall Fixture_PlainStart();
UINT __stdcall Fixture_NoRoomBefore();
int Fixture_CodeBefore();
int Fixture_Signature();
}

// A fixture's address as plain code memory. The empty asm hides where the
// pointer came from, so the compiler does not treat reads around the entry
// (the filler in front of it) as out-of-bounds accesses of an object.
template <typename F>
void* Code(F* function) {
  void* p = reinterpret_cast<void*>(function);
  asm("" : "+r"(p));
  return p;
}

// Counts WriteProcessMemory calls of this program (the engine's only way of
// writing code) by rewriting the program's own import slot for the time of
// its life, so tests can tell "nothing written" from "the same bytes written".
class TWriteSpy {
public:
  TWriteSpy();
  ~TWriteSpy();
  int Writes() const;
};
