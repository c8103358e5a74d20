// Host-layout classes built with the stand-in kit's class builder, derived
// from the stand-in run-time's Exception: read back by the pack's own
// method-table code (an independent reading of the layout), created and
// freed by the run-time, found by name through their tables; and host
// string literals as the run-time treats them.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "BdsRun.h"
#include "Common/HostClass.h"
#include "Common/HostRtl.h"
#include "Hooking/MethodTables.h"

using namespace QmHost;

QM_HOST_CLASS(test_ETestError_Class, 2);
QM_HOST_CLASS(test_ETestDerived_Class, 3);
QM_HOST_CLASS(test_TTooSmall_Class, 0);

namespace {

int g_destroyed = 0;
void* g_exceptionDestroy = nullptr;

int QM_HOST_REGISTER First(void*) { return 1; }
int QM_HOST_REGISTER Second(void*) { return 2; }
int QM_HOST_REGISTER SecondOverridden(void*) { return 22; }
int QM_HOST_REGISTER Third(void*) { return 3; }
void QM_HOST_REGISTER Click(void*) {}
void QM_HOST_REGISTER OnMessage(void*, void*) {}

void QM_HOST_REGISTER DestroyCounted(void* self, int outermost) {
  ++g_destroyed;
  reinterpret_cast<void(QM_HOST_REGISTER*)(void*, int)>(g_exceptionDestroy)(self, outermost);
}

const HostRtl& Rtl() {
  static HostRtl rtl;
  static bool loaded = rtl.Resolve(LoadLibraryW((QmHostTest::HostDir() + L"rtl150.bpl").c_str()));
  EXPECT_TRUE(loaded);
  return rtl;
}

struct TTestClasses {
  void* Exception;
  void* Error;    // Exception -> ETestError: two virtual methods, tables, type information
  void* Derived;  // -> ETestDerived: overrides one, adds one, a property
};

// Built once per test program, as a module builds its classes at start-up.
const TTestClasses& Classes() {
  static void* exceptionClass = Rtl().exceptionClass;
  static void* errorClass = nullptr;
  static void* typeInfoOfInteger = nullptr;
  static const TTestClasses classes = [] {
    g_exceptionDestroy = VmtSlot(exceptionClass, kVmtDestroy);
    errorClass = HostClassBuilder(test_ETestError_Class_Storage, "ETestError")
                     .Parent(&exceptionClass)
                     .InstanceSize(16)
                     .Virtual(0, reinterpret_cast<void*>(&First))
                     .Virtual(1, reinterpret_cast<void*>(&Second))
                     .Root(kVmtDestroy, reinterpret_cast<void*>(&DestroyCounted))
                     .Field("FChild", 12, &exceptionClass)
                     .Published("Click", reinterpret_cast<void*>(&Click))
                     .Dynamic(0x0123, reinterpret_cast<void*>(&OnMessage))
                     .TypeInfo("TestUnit")
                     .Property("Code", &typeInfoOfInteger, 0xFF000000u | 12, 0xFF000000u | 12, 5)
                     .Build();
    void* derived = HostClassBuilder(test_ETestDerived_Class_Storage, "ETestDerived")
                        .Parent(&errorClass)
                        .Virtual(1, reinterpret_cast<void*>(&SecondOverridden))
                        .Virtual(2, reinterpret_cast<void*>(&Third))
                        .TypeInfo("TestUnit")
                        .Property("Tag", &typeInfoOfInteger, 0xFF000000u | 8, 0xFF000000u | 8, 0)
                        .Build();
    return TTestClasses{exceptionClass, errorClass, derived};
  }();
  return classes;
}

extern "C" char test_ETestError_Class[];

std::string ShortString(const unsigned char* s) { return std::string(reinterpret_cast<const char*>(s) + 1, s[0]); }

} // namespace

TEST(HostClassBuilder, LayoutAsThePackReadsIt) {
  const TTestClasses& c = Classes();
  ASSERT_NE(c.Error, nullptr);
  ASSERT_NE(c.Derived, nullptr);
  // The exact symbol is the class reference.
  EXPECT_EQ(static_cast<void*>(test_ETestError_Class), c.Error);
  EXPECT_EQ(VmtSlot(c.Error, kVmtSelfPtr), c.Error);
  EXPECT_EQ(HostParentClass(c.Derived), c.Error);
  EXPECT_EQ(HostParentClass(c.Error), c.Exception);
  EXPECT_EQ(reinterpret_cast<intptr_t>(VmtSlot(c.Derived, kVmtInstanceSize)), 16);  // inherited

  EXPECT_EQ(Quillmend::GetVirtualMethodCount(c.Exception), 0);
  EXPECT_EQ(Quillmend::GetVirtualMethodCount(c.Error), 2);
  EXPECT_EQ(Quillmend::GetVirtualMethodCount(c.Derived), 3);
  EXPECT_EQ(Quillmend::GetVirtualMethod(c.Derived, 0), reinterpret_cast<void*>(&First));
  EXPECT_EQ(Quillmend::GetVirtualMethod(c.Derived, 1), reinterpret_cast<void*>(&SecondOverridden));
  EXPECT_EQ(Quillmend::GetVirtualMethod(c.Derived, 2), reinterpret_cast<void*>(&Third));
  EXPECT_EQ(Quillmend::GetVirtualMethod(c.Error, 1), reinterpret_cast<void*>(&Second));
  // Root methods come from the parent unless overridden.
  EXPECT_EQ(VmtSlot(c.Derived, kVmtDestroy), reinterpret_cast<void*>(&DestroyCounted));
  EXPECT_EQ(VmtSlot(c.Derived, kVmtNewInstance), VmtSlot(c.Exception, kVmtNewInstance));
  EXPECT_EQ(Quillmend::GetDynamicMethod(c.Derived, 0x0123), reinterpret_cast<void*>(&OnMessage));
  EXPECT_EQ(Quillmend::GetDynamicMethod(c.Derived, 0x0124), nullptr);
}

TEST(HostClassBuilder, ObjectsLiveAndDieThroughTheRunTime) {
  const TTestClasses& c = Classes();
  const HostRtl& rtl = Rtl();
  const wchar_t* message = QM_HOST_STRING(L"built");
  void* object = rtl.exceptionCreate(c.Derived, 1, message);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(*static_cast<void**>(object), c.Derived);
  EXPECT_EQ(HostClassName(object), L"ETestDerived");
  EXPECT_EQ(HostExceptionMessage(object), L"built");
  EXPECT_EQ(static_cast<void**>(object)[3], nullptr);  // the instance size covers the own field
  rtl.objectFree(object);
  EXPECT_EQ(g_destroyed, 1);
}

TEST(HostClassBuilder, TablesFoundByName) {
  const TTestClasses& c = Classes();
  EXPECT_EQ(FindPublishedMethod(c.Derived, "click"), reinterpret_cast<void*>(&Click));
  EXPECT_EQ(FindPublishedMethod(c.Derived, "Clack"), nullptr);
  EXPECT_EQ(FindPublishedMethod(c.Exception, "Click"), nullptr);
  EXPECT_EQ(FindPublishedField(c.Derived, "FCHILD"), 12);
  EXPECT_EQ(FindPublishedField(c.Derived, "FMessage"), -1);
  EXPECT_EQ(FindDynamicMethod(c.Derived, 0x0123), reinterpret_cast<void*>(&OnMessage));

  // Type information: kind, name, class, the parent's, properties counted with the inherited ones.
  auto* info = static_cast<const unsigned char*>(VmtSlot(c.Derived, kVmtTypeInfo));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info[0], kTypeKindClass);
  EXPECT_EQ(ShortString(info + 1), "ETestDerived");
  const unsigned char* data = info + 2 + info[1];
  void* classType;
  void** parentInfo;
  int16_t propCount;
  std::memcpy(&classType, data, 4);
  std::memcpy(&parentInfo, data + 4, 4);
  std::memcpy(&propCount, data + 8, 2);
  EXPECT_EQ(classType, c.Derived);
  ASSERT_NE(parentInfo, nullptr);
  EXPECT_EQ(*parentInfo, VmtSlot(c.Error, kVmtTypeInfo));
  EXPECT_EQ(propCount, 2);
  const unsigned char* unit = data + 10;
  EXPECT_EQ(ShortString(unit), "TestUnit");
  const unsigned char* props = unit + 1 + unit[0];
  EXPECT_EQ(props[0] | props[1] << 8, 1);
  const unsigned char* tag = props + 2;
  int32_t defaultValue;
  int16_t nameIndex;
  std::memcpy(&defaultValue, tag + 20, 4);
  std::memcpy(&nameIndex, tag + 24, 2);
  EXPECT_EQ(defaultValue, 0);
  EXPECT_EQ(nameIndex, 1);
  EXPECT_EQ(ShortString(tag + 26), "Tag");
}

TEST(HostClassBuilder, StorageTooSmallBuildsNothing) {
  const TTestClasses& c = Classes();
  void* parent = c.Error;
  EXPECT_EQ(HostClassBuilder(test_TTooSmall_Class_Storage, "TTooSmall").Parent(&parent).Build(), nullptr);
}

TEST(HostStringLiteral, HeaderAndHowTheRunTimeTreatsIt) {
  const HostRtl& rtl = Rtl();
  const wchar_t* literal = QM_HOST_STRING(L"abc");
  const StrRec* header = StrHeader(literal);
  EXPECT_EQ(header->codePage, kUnicodeCodePage);
  EXPECT_EQ(header->elemSize, 2);
  EXPECT_EQ(header->refCount, -1);
  EXPECT_EQ(header->length, 3);
  std::wstring text;
  EXPECT_TRUE(ReadHostString(literal, text));
  EXPECT_EQ(text, L"abc");
  EXPECT_EQ(QM_HOST_STRING(L""), nullptr);

  wchar_t* copy = nullptr;
  rtl.ustrAsg(&copy, literal);  // a literal is copied, not shared
  ASSERT_NE(copy, literal);
  EXPECT_EQ(StrHeader(copy)->refCount, 1);
  rtl.ustrAddRef(literal);
  rtl.ustrClr(const_cast<wchar_t**>(&literal));  // releasing a literal leaves it alone
  EXPECT_EQ(header->refCount, -1);
  rtl.Release(copy);
}
