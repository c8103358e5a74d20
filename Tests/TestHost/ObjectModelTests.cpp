// The stand-in run-time's object model, which later stand-ins build on:
// TList's notifications (what Delete, Extract, Clear and Destroy tell its
// virtual Notify), TObjectList's ownership, TInterfacedObject's references
// and interface tables, TInterfaceList under its lock, the safe cast, the
// text comparisons.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BdsRun.h"
#include "Common/HostClass.h"
#include "Common/HostGuard.h"
#include "Common/HostRtl.h"
#include "rtl150/ObjectModelDriver.h"

using namespace RtlObjects;

namespace {

HMODULE Rtl() {
  static HMODULE rtl = LoadLibraryW((QmHostTest::HostDir() + L"rtl150.bpl").c_str());
  return rtl;
}

template <class T>
T Fn(const char* name) {
  T f = Bind<T>(Rtl(), name);
  EXPECT_NE(reinterpret_cast<void*>(f), nullptr) << name;
  return f;
}

using NewInstanceFn = void*(QM_HOST_REGISTER*)(void*);
using HookFn = void(QM_HOST_REGISTER*)(void*);

void* NewObject(void* classRef) {
  void* self = reinterpret_cast<NewInstanceFn>(QmHost::VmtSlot(classRef, QmHost::kVmtNewInstance))(classRef);
  reinterpret_cast<HookFn>(QmHost::VmtSlot(classRef, QmHost::kVmtAfterConstruction))(self);
  return self;
}

// A TList descendant whose Notify records what it is told.
std::vector<std::pair<void*, int>> g_notified;
void QM_HOST_REGISTER RecordNotify(void*, void* item, std::uint32_t action) {
  g_notified.push_back({item, int(action & 0xFF)});
}
QM_HOST_CLASS(test_TRecordingList_Class, 3);
void* g_listClassVar = nullptr;

void* RecordingListClass() {
  static void* classRef = [] {
    g_listClassVar = ClassExport(Rtl(), Export::TListClass);
    return QmHost::HostClassBuilder(test_TRecordingList_Class_Storage, "TRecordingList")
        .Parent(&g_listClassVar)
        .Virtual(ListLayout::NotifySlot, reinterpret_cast<const void*>(&RecordNotify))
        .Build();
  }();
  return classRef;
}

int A = 1, B = 2, C = 3;

TEST(RtlObjectModel, TListTellsNotifyWhatHappenedToEachItem) {
  void* list = NewObject(RecordingListClass());
  auto add = Fn<ListAddFn>(Export::ListAdd);
  add(list, &A);
  add(list, nullptr);  // nil items notify nothing
  add(list, &B);
  add(list, &C);
  Fn<ListExtractFn>(Export::ListExtract)(list, &B);
  Fn<ListIndexFn>(Export::ListDelete)(list, 0);
  EXPECT_EQ(g_notified, (std::vector<std::pair<void*, int>>{
                            {&A, lnAdded}, {&B, lnAdded}, {&C, lnAdded}, {&B, lnExtracted}, {&A, lnDeleted}}));
  g_notified.clear();
  QmHost::LoadedHostRtl()->objectFree(list);  // Destroy clears through the virtual Clear: last item first
  EXPECT_EQ(g_notified, (std::vector<std::pair<void*, int>>{{&C, lnDeleted}}));
  g_notified.clear();
}

TEST(RtlObjectModel, AnIndexOutOfRangeRaisesTheListIndexError) {
  void* list = NewObject(ClassExport(Rtl(), Export::TListClass));
  Fn<ListAddFn>(Export::ListAdd)(list, &A);
  for (int index : {-1, 1}) {
    QmHost::HostExceptionReport report;
    EXPECT_FALSE(QmHost::CallHostGuarded([&] { Fn<ListGetFn>(Export::ListGet)(list, index); }, report,
                                         QmHost::LoadedHostRtl()));
    EXPECT_EQ(report.Text(), L"EListError: List index out of bounds (" + std::to_wstring(index) + L")");
  }
  QmHost::LoadedHostRtl()->objectFree(list);
}

TEST(RtlObjectModel, AnOwningObjectListFreesDeletedItemsButNotExtractedOnes) {
  auto create = Fn<ObjectListCreateFn>(Export::ObjectListCreate);
  void* owner = create(ClassExport(Rtl(), Export::TObjectListClass), 1, 1);
  void* tobject = ClassExport(Rtl(), "@System@TObject@");
  void* kept = NewObject(tobject);
  Fn<ListAddFn>(Export::ListAdd)(owner, NewObject(tobject));
  Fn<ListAddFn>(Export::ListAdd)(owner, kept);
  EXPECT_EQ(Fn<ListExtractFn>(Export::ListExtract)(owner, kept), kept);
  QmHost::LoadedHostRtl()->objectFree(owner);  // frees the other one
  EXPECT_EQ(QmHost::HostClassName(kept), L"TObject") << "extracted: still alive";
  QmHost::LoadedHostRtl()->objectFree(kept);
}

// An interface list counts the references it holds; Get hands out one more;
// the last reference frees the object.
TEST(RtlObjectModel, InterfaceListsCountReferences) {
  void* listObject = Fn<CreateFn>(Export::InterfaceListCreate)(ClassExport(Rtl(), Export::TInterfaceListClass), 1);
  void* item = NewObject(ClassExport(Rtl(), Export::TInterfacedObjectClass));
  auto refs = [](void* object) { return *reinterpret_cast<LONG*>(static_cast<char*>(object) + InterfacedLayout::RefCount); };
  void* intf = static_cast<char*>(item) + InterfacedLayout::IInterfaceSlot;
  EXPECT_EQ(refs(item), 0);
  EXPECT_EQ(Fn<IntfListItemFn>(Export::InterfaceListAdd)(listObject, intf), 0);
  EXPECT_EQ(Fn<IntfListItemFn>(Export::InterfaceListAdd)(listObject, nullptr), 1);
  EXPECT_EQ(refs(item), 1);
  void* got = nullptr;
  Fn<IntfListGetFn>(Export::InterfaceListGet)(listObject, 0, &got);
  EXPECT_EQ(got, intf);
  EXPECT_EQ(refs(item), 2);
  reinterpret_cast<RefCountFn>((*static_cast<void* const* const*>(got))[2])(got);
  EXPECT_EQ(Fn<IntfListItemFn>(Export::InterfaceListIndexOf)(listObject, nullptr), 1);
  // Through the IInterfaceList interface: its slot answers QueryInterface, Count, Put.
  void* listIntf = static_cast<char*>(listObject) + InterfaceListLayout::IInterfaceListSlot;
  auto method = [&](int slot) { return (*static_cast<void* const* const*>(listIntf))[slot]; };
  EXPECT_EQ(reinterpret_cast<IntfListCountFn>(method(IInterfaceListSlot::GetCount))(listIntf), 2);
  reinterpret_cast<IntfListPutFn>(method(IInterfaceListSlot::Put))(listIntf, 0, nullptr);
  EXPECT_EQ(Fn<IntfListItemFn>(Export::InterfaceListIndexOf)(listObject, nullptr), 0);
  // The item's last reference went with Put: the object is freed (its memory reused
  // or not, its count is no longer ours to read). The list goes the same way.
  void* queried = nullptr;
  EXPECT_EQ(reinterpret_cast<QueryInterfaceFn>(method(0))(listIntf, &IID_IInterfaceList, &queried), S_OK);
  EXPECT_EQ(queried, listIntf);
  reinterpret_cast<RefCountFn>(method(2))(listIntf);  // the query's reference, and with it the list
}

TEST(RtlObjectModel, TheSafeCastAnswersObjectsOfTheClassOnly) {
  void* interfaced = ClassExport(Rtl(), Export::TInterfacedObjectClass);
  void* item = NewObject(interfaced);
  void* intf = static_cast<char*>(item) + InterfacedLayout::IInterfaceSlot;
  reinterpret_cast<RefCountFn>((*static_cast<void* const* const*>(intf))[1])(intf);
  auto cast = Fn<SafeIntfAsClassFn>(Export::SafeIntfAsClass);
  EXPECT_EQ(cast(intf, ClassExport(Rtl(), "@System@TObject@")), item);
  EXPECT_EQ(cast(intf, interfaced), item);
  EXPECT_EQ(cast(intf, ClassExport(Rtl(), Export::TInterfaceListClass)), nullptr);
  EXPECT_EQ(cast(nullptr, interfaced), nullptr);
  reinterpret_cast<RefCountFn>((*static_cast<void* const* const*>(intf))[2])(intf);
}

struct TTextCase {
  const wchar_t* A;
  const wchar_t* B;
  bool SameText, AnsiSameText;
};

TEST(RtlObjectModel, TextComparisons) {
  const TTextCase cases[] = {
      {L"Unit1", L"UNIT1", true, true},
      {L"Unit1", L"Unit10", false, false},
      {L"\x044E\x043D\x0438\x0442", L"\x042E\x041D\x0418\x0422", false, true},  // only ASCII case for SameText
      {L"", L"", true, true},
      {L"a", L"", false, false},
  };
  auto sameText = Fn<SameTextFn>(Export::SameText);
  auto ansiSameText = Fn<SameTextFn>(Export::AnsiSameText);
  const QmHost::HostRtl& rtl = *QmHost::LoadedHostRtl();
  for (const TTextCase& c : cases) {
    wchar_t* a = rtl.NewString(c.A);
    wchar_t* b = rtl.NewString(c.B);
    EXPECT_EQ(sameText(a, b) != 0, c.SameText) << std::string(c.A, c.A + wcslen(c.A));
    EXPECT_EQ(ansiSameText(a, b) != 0, c.AnsiSameText);
    rtl.Release(a);
    rtl.Release(b);
  }
  wchar_t* path = rtl.NewString(L"\\\\server\\share\\dir\\..\\x\\.\\Unit.pas");
  wchar_t* expanded = nullptr;
  Fn<StringFn>(Export::ExpandUNCFileName)(path, &expanded);
  EXPECT_EQ(QmHost::HostStringText(expanded), L"\\\\server\\share\\x\\Unit.pas");
  rtl.Release(path);
  rtl.Release(expanded);
}

}  // namespace
