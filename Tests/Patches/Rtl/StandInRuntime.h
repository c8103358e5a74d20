// The stand-in run-time (rtl150.bpl) and core package (coreide150.bpl) in the
// test process: loading them (or a mismatched variant's copies), calling
// their functions with host strings and streams, counting their
// allocations, catching their host exceptions, recording what reaches the
// application's exception handler, and installing this subsystem's patches
// as the library's unit initialization does.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include <windows.h>

#include "Common/HostRtl.h"
#include "rtl150/ConversionsDriver.h"

namespace RtlTest {

struct TRuntime {
  HMODULE Rtl = nullptr;
  HMODULE CoreIde = nullptr;
  QmHost::RtlConversions Calls;  // functions a variant lacks stay null
  const QmHost::HostRtl* Host = nullptr;
};

// Loads both modules from <build>/host, or from <build>/host-variants/<variant>
// where that holds a copy; once per process.
const TRuntime& Load(const std::string& variant = "");
// The modules already loaded in the process (by the three-way harness).
const TRuntime& Bind();
const TRuntime& Runtime();

// The subsystem's unit initializations, in link order; the first with
// "Quillmend.DisabledPatches" set to `disabled`.
void RunUnitInitializations();
void InstallPatches(const std::wstring& disabled = L"");
// "applied", "failed", "ignored", or "" when not registered; and the reason.
std::wstring Status(const std::wstring& patch);
std::wstring Reason(const std::wstring& patch);

// A host string holding a text, released with this object.
class THostText {
public:
  explicit THostText(const std::wstring& text);
  ~THostText();
  THostText(const THostText&) = delete;
  THostText& operator=(const THostText&) = delete;
  const wchar_t* Get() const { return FText; }
  wchar_t** Var() { return &FText; }

private:
  wchar_t* FText = nullptr;
};
std::wstring Text(const wchar_t* hostString);
int32_t RefCount(const wchar_t* hostString);

// What the host raised, if anything.
struct TRaised {
  bool Raised = false;
  std::wstring ClassName, Message;
};
TRaised Guarded(const std::function<void()>& f);

// The run-time's allocation counter and live blocks.
long Allocations();
long LiveBlocks();

// A handler in the run-time's ApplicationHandleException that records
// "<class>: <message>" of every exception reported to it.
void RecordHandledExceptions();
const std::vector<std::wstring>& HandledExceptions();

// One conversion through the run-time's ObjectTextToBinary (whatever code is
// there now): Output's bytes, where Input was left, or the error.
struct TConversion {
  bool Ok = false;
  std::string Output;
  int32_t InputPosition = -1;
  TRaised Error;
  bool operator==(const TConversion& o) const {
    return Ok == o.Ok && Output == o.Output && InputPosition == o.InputPosition &&
           Error.ClassName == o.Error.ClassName && Error.Message == o.Error.Message;
  }
};
// `failAllocation`: the n-th allocation of the conversion itself raises (0: none).
TConversion Convert(const std::string& text, long failAllocation = 0);

// UTF-8 <-> UTF-16 for test texts.
std::wstring FromUtf8(const std::string& text);
std::string ToUtf8(const std::wstring& text);

}  // namespace RtlTest

namespace RtlTest {

// A string function of the run-time called with host strings: the result's text.
std::wstring Call(QmHost::RtlConversions::StringFn f, const std::wstring& s);
std::wstring Call(QmHost::RtlConversions::StringPairFn f, const std::wstring& a, const std::wstring& b);

}  // namespace RtlTest
