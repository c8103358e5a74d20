// TCompiler.CompilerCompile (CompilerCompile.S): a compile through the
// compiler library dcc150.dll (the one loaded): its memory grows with the
// compile's blocks and is not given back. Our object: [0] the class (unused
// here), [4] the blocks the compile takes, [8] its last checksum.
#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"
#include "dcc150/DccReleaseDriver.h"

namespace {

struct TCompiler {
  void* Class;
  int32_t Blocks;
  uint32_t Checksum;
};

int32_t g_compiles = 0;

}  // namespace

extern "C" {

uint8_t QM_HOST_REGISTER DelphiCoreCompilerCompile(TCompiler* self) QM_HOST_SYMBOL(DelphiCoreCompilerCompile);

uint8_t QM_HOST_REGISTER DelphiCoreCompilerCompileWork(TCompiler* self) QM_HOST_SYMBOL(DelphiCoreCompilerCompileWork);
uint8_t QM_HOST_REGISTER DelphiCoreCompilerCompileWork(TCompiler* self) {
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  auto compile = reinterpret_cast<DccReleaseDriver::CompileFn>(
      reinterpret_cast<void*>(dcc ? GetProcAddress(dcc, DccReleaseDriver::Export::Compile) : nullptr));
  if (!compile) return 0;
  self->Checksum = compile(self->Blocks);
  ++g_compiles;
  return 1;
}

// The IDE's side: a compile of `blocks` blocks through the entry (and
// whatever was put in front of it). → the compile's checksum, 0 when it failed.
uint32_t __stdcall DelphiCoreCompile(int32_t blocks) {
  TCompiler compiler = {nullptr, blocks, 0};
  return DelphiCoreCompilerCompile(&compiler) ? compiler.Checksum : 0;
}

int32_t __stdcall DelphiCoreCompiles() { return g_compiles; }

}  // extern "C"
