// The host ABI layer: host strings with and without the host run-time, the
// error boundary, and reporting to the global exception handler. The
// stand-in host run-time is loaded into the test process where needed; the
// test host's exception guard catches what the boundary raises.
#include "Framework/HostAbi.h"

#include "TestHost/Common/HostGuard.h"
#include "TestHost/Common/HostRtl.h"
#include "TestPaths.h"

#include <gtest/gtest.h>
#include <cstring>
#include <windows.h>

using namespace Quillmend;

namespace {

const QmHost::HostRtl* LoadHostRuntime() {
  if (!LoadLibraryW((BuildDirectory() + L"\\host\\rtl150.bpl").c_str())) return nullptr;
  return QmHost::LoadedHostRtl();
}

int32_t Header32(const wchar_t* s, int offset) {
  int32_t value;
  std::memcpy(&value, reinterpret_cast<const char*>(s) + offset, 4);
  return value;
}

uint16_t Header16(const wchar_t* s, int offset) {
  uint16_t value;
  std::memcpy(&value, reinterpret_cast<const char*>(s) + offset, 2);
  return value;
}

int g_destroyed = 0;
struct TSentinel {
  ~TSentinel() { ++g_destroyed; }
};

struct THandlerCall {
  void* Data = nullptr;
  void* Sender = reinterpret_cast<void*>(1);
  std::wstring Text;
  int32_t MessageReferences = 0;
} g_handlerCall;
void** g_exceptObject = nullptr;

void QM_REGISTER RecordingHandler(void* data, void* sender) {
  g_handlerCall.Data = data;
  g_handlerCall.Sender = sender;
  void* object = *g_exceptObject;
  g_handlerCall.Text = QmHost::HostClassName(object) + L": " + QmHost::HostExceptionMessage(object);
  const auto* message = static_cast<const wchar_t* const*>(object)[1];  // FMessage
  g_handlerCall.MessageReferences = message ? Header32(message, -8) : 0;
}

}  // namespace

TEST(HostStrings, WithoutHostRuntimeTheyAreLiteralsInOurMemory) {
  ASSERT_FALSE(HostRuntimePresent());
  THostString text(L"Quillmend \u00C4");
  const wchar_t* s = text.Get();
  EXPECT_EQ(Header16(s, -12), 1200);
  EXPECT_EQ(Header16(s, -10), 2);
  EXPECT_EQ(Header32(s, -8), -1);  // the host copies a literal instead of sharing it
  EXPECT_EQ(Header32(s, -4), 11);
  EXPECT_EQ(s[11], L'\0');
  EXPECT_EQ(FromHostString(s), L"Quillmend \u00C4");
  EXPECT_EQ(THostString(L"").Get(), nullptr);  // the empty string is nil
  EXPECT_EQ(FromHostString(nullptr), L"");
}

TEST(HostBoundary, PassesResultsAndNamesEveryKindOfCppException) {
  EXPECT_EQ(HostBoundary([] { return 7; }), 7);
  std::wstring message;
  EXPECT_FALSE(CatchToMessage([] { RaiseError("Patch \"%s\" not registered", "\xC3\x84"); }, message));
  EXPECT_EQ(message, L"Patch \"\u00C4\" not registered");
  EXPECT_FALSE(CatchToMessage([] { throw std::bad_alloc(); }, message));
  EXPECT_EQ(message, L"Out of memory");
  EXPECT_FALSE(CatchToMessage([] { throw 1; }, message));
  EXPECT_EQ(message, L"Unexpected exception in Quillmend");
}

TEST(HostBoundary, CppExceptionReachesTheHostAsHostExceptionAfterUnwinding) {
  const QmHost::HostRtl* rtl = LoadHostRuntime();
  ASSERT_NE(rtl, nullptr);
  g_destroyed = 0;
  QmHost::HostExceptionReport report;
  bool returned = QmHost::CallHostGuarded(
      [] {
        HostBoundary([] {
          TSentinel sentinel;
          RaiseError("Function is too small");
        });
      },
      report, rtl);
  EXPECT_FALSE(returned);
  EXPECT_TRUE(report.IsHostException());
  EXPECT_EQ(report.Text(), L"Exception: Function is too small");
  EXPECT_EQ(g_destroyed, 1);  // the C++ frames were unwound before the raise
}

TEST(HostBoundary, WithoutHostRuntimeABareHostExceptionIsRaised) {
  ASSERT_FALSE(HostRuntimePresent());
  QmHost::HostExceptionReport report;
  bool returned = QmHost::CallHostGuarded([] { HostBoundary([] { RaiseError("no host"); }); }, report);
  EXPECT_FALSE(returned);
  EXPECT_EQ(report.code, HostExceptionCode);
}

TEST(HostHandler, ReportsThroughTheInstalledHandlerAndCleansUp) {
  const QmHost::HostRtl* rtl = LoadHostRuntime();
  ASSERT_NE(rtl, nullptr);
  EXPECT_FALSE(ReportToHostHandler(L"nobody listens"));  // no handler installed

  int cookie;
  g_exceptObject = rtl->exceptObjectForHandler;
  *rtl->applicationHandleException = {reinterpret_cast<void*>(&RecordingHandler), &cookie};
  EXPECT_TRUE(ReportToHostHandler(L"Test C++ compiler-init procedure failed"));
  EXPECT_EQ(g_handlerCall.Data, &cookie);
  EXPECT_EQ(g_handlerCall.Sender, nullptr);
  EXPECT_EQ(g_handlerCall.Text, L"Exception: Test C++ compiler-init procedure failed");
  // The object holds the only reference to its message: freeing it frees the text.
  EXPECT_EQ(g_handlerCall.MessageReferences, 1);
  EXPECT_EQ(*rtl->exceptObjectForHandler, nullptr);
  *rtl->applicationHandleException = {nullptr, nullptr};
}

// ---- bound host string routines, stack arguments, streams, exceptions of a class ----

namespace {

THostStrings BoundStrings() {
  THostStrings strings;
  strings.Bind(GetModuleHandleW(L"rtl150.bpl"));
  return strings;
}

}  // namespace

TEST(HostStrings, ResizedInPlaceOnlyWhenNobodyElseHoldsThem) {
  ASSERT_NE(LoadHostRuntime(), nullptr);
  const THostStrings strings = BoundStrings();
  ASSERT_TRUE(strings.Bound());
  wchar_t* s = strings.New(L"abcdef", 6);
  EXPECT_TRUE(strings.ResizeUnique(&s, 3));
  EXPECT_EQ(FromHostString(s), L"abc");
  EXPECT_EQ(s[3], L'\0');
  EXPECT_TRUE(strings.ResizeUnique(&s, 40));
  EXPECT_EQ(HostStringLength(s), 40);
  EXPECT_EQ(std::wstring(s, 3), L"abc");
  wchar_t* other = nullptr;
  strings.Assign(&other, s);
  EXPECT_EQ(HostStringRefCount(s), 2);
  EXPECT_FALSE(strings.ResizeUnique(&s, 2));  // shared: left as it is
  EXPECT_EQ(HostStringLength(s), 40);
  strings.Clear(&other);
  EXPECT_TRUE(strings.ResizeUnique(&s, 0));  // the empty string is nil
  EXPECT_EQ(s, nullptr);
  constexpr THostLiteral literal(L"fixed");
  const wchar_t* fixed = literal.Get();
  wchar_t* copy = const_cast<wchar_t*>(fixed);
  EXPECT_FALSE(strings.ResizeUnique(&copy, 2));  // a literal is never written
  EXPECT_EQ(HostStringRefCount(fixed), -1);
}

TEST(HostStrings, ScratchTextIsRewrittenUntilSomeoneHoldsIt) {
  ASSERT_NE(LoadHostRuntime(), nullptr);
  const THostStrings strings = BoundStrings();
  THostScratchString scratch;
  const wchar_t* first = scratch.Set(strings, "12345", 5);
  EXPECT_EQ(FromHostString(first), L"12345");
  const wchar_t* second = scratch.Set(strings, "-7", 2);
  EXPECT_EQ(second, first);
  EXPECT_EQ(FromHostString(second), L"-7");
  wchar_t* holder = nullptr;
  strings.Assign(&holder, second);
  const wchar_t* third = scratch.Set(strings, "8", 1);
  EXPECT_NE(third, second);  // held by someone: replaced, not rewritten
  EXPECT_EQ(FromHostString(holder), L"-7");
  EXPECT_EQ(scratch.Set(strings, "", 0), nullptr);
  strings.Clear(&holder);
  scratch.Release(strings);
}

TEST(HostStreams, ReadWriteAndSeekThroughTheStreamsClass) {
  const QmHost::HostRtl* rtl = LoadHostRuntime();
  ASSERT_NE(rtl, nullptr);
  HMODULE module = GetModuleHandleW(L"rtl150.bpl");
  using TCreate = void*(QM_REGISTER*)(void*, int32_t);
  auto create = reinterpret_cast<TCreate>(reinterpret_cast<void*>(GetProcAddress(module, "@System@TObject@$bctr$qqrv")));
  void* streamClass = reinterpret_cast<void*>(GetProcAddress(module, "@Classes@TMemoryStream@"));
  ASSERT_TRUE(create && streamClass);
  void* stream = create(streamClass, 1);
  EXPECT_EQ(HostStreamWrite(stream, "abcdef", 6), 6);
  EXPECT_EQ(HostStreamSeek(stream, -4, THostSeekOrigin::Current), 2);
  char buffer[8] = {};
  EXPECT_EQ(HostStreamRead(stream, buffer, 8), 4);
  EXPECT_STREQ(buffer, "cdef");
  EXPECT_EQ(HostStreamSeek(stream, 0x100000000LL + 1, THostSeekOrigin::Beginning), 1);  // the stand-in keeps 32 bits
  EXPECT_EQ(HostStreamSeek(stream, 0, THostSeekOrigin::End), 6);
  rtl->objectFree(stream);
}

TEST(HostExceptions, RaisedWithTheClassAsked) {
  const QmHost::HostRtl* rtl = LoadHostRuntime();
  ASSERT_NE(rtl, nullptr);
  void* parserError = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"rtl150.bpl"), "@Classes@EParserError@"));
  ASSERT_NE(parserError, nullptr);
  QmHost::HostExceptionReport report;
  EXPECT_FALSE(QmHost::CallHostGuarded([&] { RaiseHostExceptionOf(parserError, L"Bad form on line 3"); }, report, rtl));
  EXPECT_EQ(report.Text(), L"EParserError: Bad form on line 3");
}

// ---- COM-style objects and interface results -------------------------------------------------

namespace {

const GUID TestIid = {0x11223344, 0x5566, 0x7788, {1, 2, 3, 4, 5, 6, 7, 8}};
const GUID OtherIid = {0x11223344, 0x5566, 0x7788, {1, 2, 3, 4, 5, 6, 7, 9}};
int g_objectsDestroyed = 0;

// Slot 3 (register convention): the sum of the object's count and EDX,
// written to the caller's result variable ECX, as the host returns results.
void QM_REGISTER AddToResult(THostObject* self, int value, int* result) { *result = int(self->RefCount) + value; }

const void* const TestMethods[] = {QM_HOST_OBJECT_IUNKNOWN, reinterpret_cast<const void*>(&AddToResult)};

}  // namespace

TEST(HostObjects, AnswerTheirInterfacesAndDieWithTheirLastReference) {
  auto* object = new THostObject{TestMethods, 1, &TestIid, 1, [](THostObject* self) {
                                   ++g_objectsDestroyed;
                                   delete self;
                                 }};
  g_objectsDestroyed = 0;
  void* same = nullptr;
  EXPECT_EQ(HostQueryInterface(object, TestIid, &same), S_OK);
  EXPECT_EQ(same, object);
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(HostQueryInterface(object, OtherIid, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  int result = 0;
  HostInterfaceMethod<void(QM_REGISTER*)(void*, int, int*)>(object, 3)(object, 40, &result);
  EXPECT_EQ(result, 42);
  {
    THostInterface held(same);  // the query's reference
    THostInterface moved(std::move(held));
    EXPECT_FALSE(held);
    EXPECT_EQ(object->RefCount, 2);
  }
  EXPECT_EQ(object->RefCount, 1);
  EXPECT_EQ(g_objectsDestroyed, 0);
  THostInterface last(object);
  *last.Ref() = nullptr;  // Ref() released the old value before handing out the variable
  EXPECT_EQ(g_objectsDestroyed, 1);
}

TEST(HostStringResults, ReleaseWhatTheHostAssigned) {
  const QmHost::HostRtl* rtl = LoadHostRuntime();
  ASSERT_NE(rtl, nullptr);
  wchar_t* kept = rtl->NewString(L"Unit1.pas");
  {
    THostStringResult result;
    // A host method assigning its result: the caller's variable gets a reference.
    rtl->ustrAsg(result.Ref(), kept);
    EXPECT_EQ(result.Text(), L"Unit1.pas");
    EXPECT_EQ(Header32(kept, HostStringLayout::RefCount), 2);
  }
  EXPECT_EQ(Header32(kept, HostStringLayout::RefCount), 1);
  rtl->Release(kept);
}
