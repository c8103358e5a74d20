// Help Insight's documentation in the core package (coreide150.bpl,
// HelpInsightDoc.cpp, HelpInsightDocCode.S), declared once for the tests
// and bds.exe: the code editor module's QueryInterface, the documentation
// object W it hands out for {D05FBF46-8468-4934-BF70-7EAE1AB8FEAB}, the
// main-form-shown event, and the driver.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"

namespace HelpInsightDocDriver {

namespace Export {
// stdcall (Self, const IID, out Obj) -> HRESULT.
constexpr const char* QueryInterface = "@Docmodul@TCodeIDocModule@QueryInterface$qqsrx5_GUIDpv";
// function MainFormShown: TEvent — EAX the event object (designide150's TEvent.Add/Remove).
constexpr const char* MainFormShown = "@Ideintf@MainFormShown$qqrv";
constexpr const char* NewModule = "HelpDocNewModule";
constexpr const char* SetAnswer = "HelpDocSetAnswer";
constexpr const char* SetResult = "HelpDocSetResult";
constexpr const char* Calls = "HelpDocCalls";
constexpr const char* References = "HelpDocReferences";
constexpr const char* FireMainFormShown = "HelpDocFireMainFormShown";
}  // namespace Export

// {D05FBF46-8468-4934-BF70-7EAE1AB8FEAB}
constexpr GUID IID_Documentation = {0xD05FBF46, 0x8468, 0x4934, {0xBF, 0x70, 0x7E, 0xAE, 0x1A, 0xB8, 0xFE, 0xAB}};

// How the module answers a query for the documentation interface.
enum TAnswer : int32_t {
  AnswerDocumentation = 0,  // S_OK, W (a new reference)
  AnswerNoInterface = 1,    // E_NOINTERFACE, nil
  AnswerFailure = 2,        // E_FAIL (0x80004005), nil
  AnswerNil = 3,            // S_OK, nil
};

// One call of W's methods 3 to 9 as W saw it.
struct TDocCall {
  int32_t Method;
  uint32_t Args[8];  // the arguments in order (method 6's fourth as its 16 bits)
  DWORD Thread;
  // The managed interop cache's depth on the calling thread during the
  // call (the test bridge's "QuillmendClrDepth"), -1 without that bridge.
  int32_t CacheDepth;
};

using QueryInterfaceFn = HRESULT(__stdcall*)(void* self, const GUID* iid, void** obj);
using MainFormShownFn = void*(QM_HOST_REGISTER*)();
// The stand-in's (stdcall).
using NewModuleFn = void*(__stdcall*)();  // a code editor module (lives as long as the process)
using SetAnswerFn = void(__stdcall*)(int32_t answer);
// What W's methods answer from now on: `result` (an HRESULT); `raise`: they
// raise a host exception instead; method 9's Boolean.
using SetResultFn = void(__stdcall*)(int32_t result, int32_t raise, int32_t boolean);
// Copies up to `room` recorded calls (oldest first) and returns how many there are.
using CallsFn = int32_t(__stdcall*)(TDocCall* calls, int32_t room);
// W's reference count now (0: freed, or none made).
using ReferencesFn = int32_t(__stdcall*)();
// Fires the main-form-shown event: each handler Code(EAX = Data, EDX = Sender nil).
using FireFn = void(__stdcall*)();

struct Driver {
  QueryInterfaceFn QueryInterface = nullptr;
  MainFormShownFn MainFormShown = nullptr;
  NewModuleFn NewModule = nullptr;
  SetAnswerFn SetAnswer = nullptr;
  SetResultFn SetResult = nullptr;
  CallsFn Calls = nullptr;
  ReferencesFn References = nullptr;
  FireFn FireMainFormShown = nullptr;

  bool Bind(HMODULE coreIde) {
    bool ok = true;
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(coreIde ? GetProcAddress(coreIde, name) : nullptr));
      ok = ok && slot;
    };
    bind(QueryInterface, Export::QueryInterface);
    bind(MainFormShown, Export::MainFormShown);
    bind(NewModule, Export::NewModule);
    bind(SetAnswer, Export::SetAnswer);
    bind(SetResult, Export::SetResult);
    bind(Calls, Export::Calls);
    bind(References, Export::References);
    bind(FireMainFormShown, Export::FireMainFormShown);
    return ok;
  }
};

}  // namespace HelpInsightDocDriver
