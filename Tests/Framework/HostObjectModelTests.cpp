// The host-ABI layer's object model against the stand-in run-time: our
// host-layout class records freed the host's way, interface references
// counted, exceptions of a given class, resource strings.
#include <gtest/gtest.h>

#include "Common/HostGuard.h"
#include "Common/HostRtl.h"
#include "Framework/HostObjectModel.h"
#include "TestPaths.h"
#include "TestHost/rtl150/ObjectModelDriver.h"

namespace {

HMODULE LoadRtl() {
  HMODULE rtl = LoadLibraryW((BuildDirectory() + L"\\host\\rtl150.bpl").c_str());
  EXPECT_NE(rtl, nullptr);
  return rtl;
}

int g_destroyed = 0;

struct TOurObject {
  void* Class;
  int Value;
};

void QM_REGISTER DestroyOurObject(void* self, int32_t outermost) {
  g_destroyed += outermost & 0xFF;
  delete static_cast<TOurObject*>(self);
}

TEST(HostObjectModel, AnObjectOfOursIsFreedThroughTheHostsFree) {
  HMODULE rtl = LoadRtl();
  void* tobject = RtlObjects::ClassExport(rtl, "@System@TObject@");
  static Quillmend::THostClassRecord record("TOurObject", tobject, sizeof(TOurObject), &DestroyOurObject);
  auto* object = new TOurObject{record.ClassRef(), 7};
  EXPECT_EQ(QmHost::HostClassName(object), L"TOurObject");
  EXPECT_EQ(Quillmend::HostInstanceSize(record.ClassRef()), int32_t(sizeof(TOurObject)));
  EXPECT_EQ(Quillmend::HostClassParent(record.ClassRef()), tobject);
  EXPECT_TRUE(Quillmend::HostClassInherits(record.ClassRef(), tobject));
  EXPECT_FALSE(Quillmend::HostClassInherits(tobject, record.ClassRef()));
  QmHost::LoadedHostRtl()->objectFree(object);
  EXPECT_EQ(g_destroyed, 1);
}

TEST(HostObjectModel, InterfaceAssignmentCountsTheNewReferenceAndReleasesTheOld) {
  HMODULE rtl = LoadRtl();
  using NewInstanceFn = void*(QM_HOST_REGISTER*)(void*);
  void* classRef = RtlObjects::ClassExport(rtl, RtlObjects::Export::TInterfacedObjectClass);
  auto make = [&] {
    void* object = reinterpret_cast<NewInstanceFn>(QmHost::VmtSlot(classRef, QmHost::kVmtNewInstance))(classRef);
    reinterpret_cast<void(QM_HOST_REGISTER*)(void*)>(QmHost::VmtSlot(classRef, QmHost::kVmtAfterConstruction))(object);
    return object;
  };
  void* a = make();
  void* b = make();
  auto refs = [](void* object) { return *reinterpret_cast<LONG*>(static_cast<char*>(object) + 4); };
  void* intfA = static_cast<char*>(a) + 8;
  void* intfB = static_cast<char*>(b) + 8;
  Quillmend::HostIntfAddRef(intfB);  // ours, so that b outlives the test
  void* variable = nullptr;
  Quillmend::HostIntfAssign(&variable, intfA);
  EXPECT_EQ(refs(a), 1);
  Quillmend::HostIntfAssign(&variable, intfB);
  EXPECT_EQ(refs(b), 2);  // a was released (and freed at 0)
  void* object = nullptr;
  EXPECT_EQ(Quillmend::HostIntfQuery(intfB, Quillmend::HostObjCastGuid, &object), S_OK);
  EXPECT_EQ(object, b);
  Quillmend::HostIntfAssign(&variable, nullptr);
  EXPECT_EQ(refs(b), 1);
  Quillmend::HostIntfRelease(intfB);
}

TEST(HostObjectModel, ExceptionsOfAGivenClassAndTheListIndexText) {
  HMODULE rtl = LoadRtl();
  void* listError = RtlObjects::ClassExport(rtl, RtlObjects::Export::EListErrorClass);
  auto* record = reinterpret_cast<const Quillmend::THostResStringRec*>(
      RtlObjects::ClassExport(rtl, RtlObjects::Export::SListIndexError));
  const std::wstring text = Quillmend::LoadHostResString(record);
  EXPECT_EQ(text, L"List index out of bounds (%d)");
  EXPECT_EQ(Quillmend::FormatHostInt(text, -1), L"List index out of bounds (-1)");
  EXPECT_EQ(Quillmend::FormatHostInt(L"100%% of %d", 3), L"100% of 3");
  QmHost::HostExceptionReport report;
  EXPECT_FALSE(QmHost::CallHostGuarded(
      [&] { Quillmend::RaiseHostExceptionOf(listError, Quillmend::FormatHostInt(text, 12)); }, report,
      QmHost::LoadedHostRtl()));
  EXPECT_EQ(report.Text(), L"EListError: List index out of bounds (12)");
}

TEST(HostObjectModel, AStringAssignedToAResultVariableReleasesTheOldOne) {
  LoadRtl();
  wchar_t* variable = QmHost::LoadedHostRtl()->NewString(L"old");
  ASSERT_TRUE(Quillmend::AssignHostString(&variable, L"new text"));
  EXPECT_EQ(Quillmend::FromHostString(variable), L"new text");
  ASSERT_TRUE(Quillmend::AssignHostString(&variable, L""));
  EXPECT_EQ(variable, nullptr);
}

}  // namespace
