// The stand-in host run-time loaded into the test process: string headers
// and reference counts, exception objects in the host class layout, and
// raising and catching them through the exception guard.
#include <gtest/gtest.h>

#include <windows.h>

#include "BdsRun.h"
#include "Common/CheckedCall.h"
#include "Common/HostGuard.h"
#include "Common/HostRtl.h"

using namespace QmHost;

namespace {

const HostRtl& Rtl() {
  static HostRtl rtl;
  static bool loaded = [] {
    HMODULE module = LoadLibraryW((QmHostTest::HostDir() + L"rtl150.bpl").c_str());
    return rtl.Resolve(module);
  }();
  EXPECT_TRUE(loaded);
  return rtl;
}

int RefCount(const wchar_t* s) { return StrHeader(s)->refCount; }

int __stdcall StdcallSum(int a, int b, int c) { return a + b + c; }
int __cdecl CdeclSum(int a, int b, int c) { return a + b + c; }

__attribute__((noinline)) void QM_HOST_REGISTER Raiser(const HostRtl* rtl) { rtl->raiseExcept(rtl->NewException(L"boom")); }

} // namespace

TEST(HostStrings, NewStringHeaderAndEmptyIsNil) {
  const HostRtl& rtl = Rtl();
  wchar_t* s = rtl.newUnicodeString(5);
  ASSERT_NE(nullptr, s);
  const StrRec* h = StrHeader(s);
  EXPECT_EQ(1200, h->codePage);
  EXPECT_EQ(2, h->elemSize);
  EXPECT_EQ(1, h->refCount);
  EXPECT_EQ(5, h->length);
  EXPECT_EQ(L'\0', s[5]);
  rtl.Release(s);
  EXPECT_EQ(nullptr, s);
  EXPECT_EQ(nullptr, rtl.newUnicodeString(0));
}

TEST(HostStrings, AssignCopiesLiteralsAndSharesCountedStrings) {
  const HostRtl& rtl = Rtl();
  const wchar_t* literal = QM_HOST_STRING(L"abc");
  wchar_t* copy = nullptr;
  rtl.ustrAsg(&copy, literal);
  ASSERT_NE(literal, copy);
  EXPECT_EQ(1, RefCount(copy));
  EXPECT_EQ(-1, RefCount(literal));
  EXPECT_EQ(std::wstring(L"abc"), std::wstring(copy));

  wchar_t* shared = nullptr;
  rtl.ustrAsg(&shared, copy);
  EXPECT_EQ(copy, shared);
  EXPECT_EQ(2, RefCount(copy));
  rtl.ustrAddRef(copy);
  EXPECT_EQ(3, RefCount(copy));
  rtl.ustrAddRef(literal);
  EXPECT_EQ(-1, RefCount(literal));

  // Assigning over a variable releases its old value.
  wchar_t* other = rtl.NewString(L"xyz");
  rtl.ustrAsg(&shared, other);
  EXPECT_EQ(2, RefCount(copy));
  EXPECT_EQ(2, RefCount(other));
  rtl.Release(shared);
  rtl.Release(other);
  rtl.Release(copy);
}

TEST(HostMemory, FreeingMemoryTwiceRaisesInvalidPointer) {
  const HostRtl& rtl = Rtl();
  void* p = rtl.getMem(40);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(nullptr, rtl.getMem(0));
  EXPECT_EQ(0, rtl.freeMem(p));
  EXPECT_EQ(0, rtl.freeMem(nullptr));
  HostExceptionReport report;
  EXPECT_FALSE(CallHostGuarded([&] { rtl.freeMem(p); }, report, &rtl));
  EXPECT_EQ(L"EInvalidPointer", report.className);
  EXPECT_EQ(L"Invalid pointer operation", report.message);
}

TEST(HostExceptions, ObjectLayoutAndOwnMessageReference) {
  const HostRtl& rtl = Rtl();
  const char* cls = static_cast<const char*>(rtl.exceptionClass);
  EXPECT_EQ(cls, VmtSlot(cls, kVmtSelfPtr));
  EXPECT_EQ(12, reinterpret_cast<INT_PTR>(VmtSlot(cls, kVmtInstanceSize)));
  const void* parent = *static_cast<void* const*>(VmtSlot(cls, kVmtParent));
  EXPECT_EQ(GetProcAddress(rtl.module, "@System@TObject@"), parent);
  EXPECT_EQ(nullptr, VmtSlot(parent, kVmtParent));

  wchar_t* message = rtl.NewString(L"Something failed");
  void* object = rtl.exceptionCreate(rtl.exceptionClass, 1, message);
  EXPECT_EQ(cls, *static_cast<void**>(object));
  EXPECT_EQ(message, *reinterpret_cast<wchar_t**>(static_cast<char*>(object) + 4));
  EXPECT_EQ(2, RefCount(message));
  EXPECT_EQ(L"Exception", HostClassName(object));
  rtl.objectFree(object);
  EXPECT_EQ(1, RefCount(message));
  rtl.Release(message);
  rtl.objectFree(nullptr);
}

TEST(HostExceptions, RaisedObjectIsCaughtReportedAndFreed) {
  const HostRtl& rtl = Rtl();
  wchar_t* message = rtl.NewString(L"Line one\r\nline two");
  HostExceptionReport report;
  EXPECT_FALSE(CallHostGuarded([&] { rtl.raiseExcept(rtl.exceptionCreate(rtl.exceptionClass, 1, message)); },
                               report, &rtl));
  EXPECT_TRUE(report.IsHostException());
  EXPECT_EQ(L"Exception", report.className);
  EXPECT_EQ(L"Line one\r\nline two", report.message);
  // The guard freed the object, which dropped its reference to the message.
  EXPECT_EQ(1, RefCount(message));
  rtl.Release(message);

  // The raise address is the return address in the raising function.
  auto begin = reinterpret_cast<const char*>(&Raiser);
  EXPECT_FALSE(CallHostGuarded([&] { Raiser(&rtl); }, report, &rtl));
  EXPECT_GT(static_cast<const char*>(report.address), begin);
  EXPECT_LT(static_cast<const char*>(report.address), begin + 1024);
}

TEST(HostGuard, NestingFaultsAndNormalReturns) {
  const HostRtl& rtl = Rtl();
  HostExceptionReport outer, inner;
  bool innerResult = true;
  int after = 0;
  EXPECT_TRUE(CallHostGuarded(
      [&] {
        innerResult = CallHostGuarded([&] { rtl.raiseExcept(rtl.NewException(L"inner")); }, inner, &rtl);
        after = 1;  // the outer frame runs on after the inner one caught
      },
      outer, &rtl));
  EXPECT_FALSE(innerResult);
  EXPECT_EQ(1, after);
  EXPECT_EQ(L"inner", inner.message);
  EXPECT_EQ(L"", outer.className);

  HostExceptionReport fault;
  volatile int* wild = reinterpret_cast<volatile int*>(16);
  EXPECT_FALSE(CallHostGuarded([&] { *wild = 1; }, fault));
  EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), fault.code);
  EXPECT_EQ(L"EAccessViolation", fault.className);
  EXPECT_NE(std::wstring::npos, fault.message.find(L"Write of address 00000010"));

  HostExceptionReport cpp;
  EXPECT_FALSE(CallHostGuarded([] { throw std::runtime_error("oops"); }, cpp));
  EXPECT_EQ(L"C++ exception", cpp.className);
  EXPECT_EQ(L"oops", cpp.message);

  // The guard leaves the SEH chain as it found it.
  void* chainBefore = reinterpret_cast<void*>(__readfsdword(0));
  HostExceptionReport again;
  CallHostGuarded([&] { rtl.raiseExcept(rtl.NewException(L"x")); }, again, &rtl);
  EXPECT_EQ(chainBefore, reinterpret_cast<void*>(__readfsdword(0)));
}

TEST(CheckedCall, MeasuresWhatTheCalleeLeftOnTheStack) {
  int imbalance = -1;
  EXPECT_EQ(6u, CallStdcallChecked(reinterpret_cast<const void*>(&StdcallSum), imbalance, 1, 2, 3));
  EXPECT_EQ(0, imbalance);
  // A callee of the wrong convention leaves its three arguments behind.
  EXPECT_EQ(6u, CallStdcallChecked(reinterpret_cast<const void*>(&CdeclSum), imbalance, 1, 2, 3));
  EXPECT_EQ(12, imbalance);
  // A callee that takes fewer arguments than it was given leaves the rest.
  EXPECT_EQ(3u, CallStdcallChecked(reinterpret_cast<const void*>(&StdcallSum), imbalance, 1, 1, 1, 9));
  EXPECT_EQ(4, imbalance);
}
