// Virtual and dynamic method tables laid out in the host's class format:
// 22 header slots below the class reference, virtual methods above it, a
// dynamic method table (count, indices, code pointers) and a parent chain.
#include "Fixtures.h"

#include "Hooking/MethodTables.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace Quillmend;
namespace L = HostClassLayout;

namespace {

constexpr int HeaderSlots = 22;

// A dynamic method table with N entries in the host's packed format.
template <int N>
struct TDmt {
  uint8_t Bytes[2 + 2 * N + 4 * N];
  TDmt(const int16_t (&indices)[N], void* const (&code)[N]) {
    const uint16_t count = N;
    std::memcpy(Bytes, &count, 2);
    std::memcpy(Bytes + 2, indices, 2 * N);
    std::memcpy(Bytes + 2 + 2 * N, code, 4 * N);
  }
};

// One class: header, virtual methods (null-terminated), then a short-string
// class name, all in one block as the host's compiler lays them out.
template <int Virtuals>
struct TFixtureClass {
  void* Header[HeaderSlots] = {};
  void* Methods[Virtuals + 1] = {};
  char Name[16] = "\x07TFixture";

  TFixtureClass() {
    SetHeader(L::SelfPtr, ClassRef());
    SetHeader(L::ClassName, Name);
    SetHeader(L::InstanceSize, reinterpret_cast<void*>(12));
    for (int offset = L::FirstRootVirtual; offset < 0; offset += 4) SetHeader(offset, Code(Fixture_ReturnsOne));
  }
  TClass ClassRef() { return Methods; }
  void SetHeader(int offset, void* value) { Header[HeaderSlots + offset / 4] = value; }
  void* GetHeader(int offset) { return Header[HeaderSlots + offset / 4]; }
};

int NewMethod() { return 99; }
int ParentDyn5() { return 5; }
int ParentDynMinus3() { return -3; }
int ChildDyn5() { return 50; }
int ChildDyn7() { return 70; }

}  // namespace

TEST(VirtualMethods, CountEndsAtTheFirstTableBehindTheClassReference) {
  static TFixtureClass<4> cls;
  EXPECT_EQ(GetVirtualMethodCount(cls.ClassRef()), 5);  // up to the class name: 4 methods and the terminator

  // A table below the class reference is ignored; one behind it ends the count.
  cls.SetHeader(L::FieldTable, &cls.Header[1]);
  cls.SetHeader(L::MethodTable, &cls.Methods[3]);
  cls.SetHeader(L::DynamicTable, &cls.Methods[2]);
  EXPECT_EQ(GetVirtualMethodCount(cls.ClassRef()), 2);
}

TEST(VirtualMethods, ReplaceVmtFieldNamesTheOldMethodDirectlyOrThroughAnImportThunk) {
  // The slot may hold the method or a thunk to it, and the caller may name
  // it either way (usually through its own import of the host's method).
  const struct {
    void* Stored;
    void* Named;
  } cases[] = {
      {Code(Fixture_VirtualB), Code(Fixture_VirtualB)},
      {Code(Fixture_VirtualB), Code(Fixture_ThunkToVirtualB)},
      {Code(Fixture_ThunkToVirtualB), Code(Fixture_VirtualB)},
      {Code(Fixture_ThunkToVirtualB), Code(Fixture_ThunkToVirtualB)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "stored " << c.Stored << ", named " << c.Named);
    static TFixtureClass<3> cls;
    cls.Methods[0] = Code(Fixture_VirtualA);
    cls.Methods[1] = c.Stored;
    cls.Methods[2] = Code(Fixture_ReturnsTwo);
    ASSERT_TRUE(ReplaceVmtField(cls.ClassRef(), c.Named, Code(NewMethod)));
    EXPECT_EQ(cls.Methods[1], Code(NewMethod));
    EXPECT_EQ(cls.Methods[0], Code(Fixture_VirtualA));
    EXPECT_EQ(cls.Methods[2], Code(Fixture_ReturnsTwo));
  }
}

TEST(VirtualMethods, ReplaceVmtFieldSearchesRootSlotsAndStopsAtTheTerminator) {
  static TFixtureClass<2> cls;
  cls.Methods[0] = Code(Fixture_VirtualA);
  cls.Methods[1] = Code(Fixture_VirtualA);
  cls.SetHeader(-8, Code(Fixture_VirtualB));  // FreeInstance
  // Behind the terminator: must not be reached.
  static_assert(sizeof cls.Name >= 4, "room for a pointer");
  void* behind = Code(Fixture_ReturnsTwo);
  std::memcpy(cls.Name, &behind, sizeof behind);

  ASSERT_TRUE(ReplaceVmtField(cls.ClassRef(), Code(Fixture_VirtualB), Code(NewMethod)));
  EXPECT_EQ(cls.GetHeader(-8), Code(NewMethod));
  ASSERT_TRUE(ReplaceVmtField(cls.ClassRef(), Code(Fixture_VirtualA), Code(NewMethod)));
  EXPECT_EQ(cls.Methods[0], Code(NewMethod));  // first match only
  EXPECT_EQ(cls.Methods[1], Code(Fixture_VirtualA));
  EXPECT_FALSE(ReplaceVmtField(cls.ClassRef(), Code(Fixture_ReturnsTwo), Code(NewMethod)));
  void* stillBehind;
  std::memcpy(&stillBehind, cls.Name, sizeof stillBehind);
  EXPECT_EQ(stillBehind, Code(Fixture_ReturnsTwo));
}

TEST(VirtualMethods, ReplaceVmtFieldDoesNotFollowDataThatOnlyLooksLikeAThunk) {
  static TFixtureClass<1> cls;
  // Type information that happens to start with FF 25 and names an
  // unreadable cell: following it would fault.
  static const uint8_t fakeThunk[8] = {0xFF, 0x25, 0x00, 0x00, 0x00, 0x00, 0, 0};
  cls.SetHeader(L::TypeInfo, const_cast<uint8_t*>(fakeThunk));
  cls.Methods[0] = Code(Fixture_VirtualA);
  EXPECT_TRUE(ReplaceVmtField(cls.ClassRef(), Code(Fixture_VirtualA), Code(NewMethod)));
  EXPECT_EQ(cls.Methods[0], Code(NewMethod));
}

namespace {

// TBase with dynamic methods 5 and -3; TDerived overrides 5 and adds 7.
struct TDynamicFixture {
  TFixtureClass<1> Base, Derived;
  TDmt<2> BaseDmt{{5, -3}, {Code(ParentDyn5), Code(ParentDynMinus3)}};
  TDmt<2> DerivedDmt{{7, 5}, {Code(ChildDyn7), Code(ChildDyn5)}};
  void* BaseVariable = Base.ClassRef();  // parents are reached through a variable

  TDynamicFixture() {
    Base.SetHeader(L::DynamicTable, BaseDmt.Bytes);
    Derived.SetHeader(L::DynamicTable, DerivedDmt.Bytes);
    Derived.SetHeader(L::Parent, &BaseVariable);
  }
};

}  // namespace

TEST(DynamicMethods, LookupSearchesTheClassThenItsAncestors) {
  static TDynamicFixture f;
  EXPECT_EQ(GetDynamicMethod(f.Derived.ClassRef(), 5), Code(ChildDyn5));
  EXPECT_EQ(GetDynamicMethod(f.Derived.ClassRef(), 7), Code(ChildDyn7));
  EXPECT_EQ(GetDynamicMethod(f.Derived.ClassRef(), -3), Code(ParentDynMinus3));
  EXPECT_EQ(GetDynamicMethod(f.Derived.ClassRef(), 0x10005), Code(ChildDyn5));  // low 16 bits
  EXPECT_EQ(GetDynamicMethod(f.Base.ClassRef(), 5), Code(ParentDyn5));
  EXPECT_EQ(GetDynamicMethod(f.Base.ClassRef(), 7), nullptr);
  EXPECT_EQ(GetDynamicMethod(f.Derived.ClassRef(), 9), nullptr);
}

TEST(DynamicMethods, ReplaceDmtFieldOfAnIndexOnlyTheParentDefinesChangesTheParent) {
  static TDynamicFixture f;
  EXPECT_EQ(ReplaceDmtField(f.Derived.ClassRef(), -3, Code(NewMethod)), Code(ParentDynMinus3));
  EXPECT_EQ(GetDynamicMethod(f.Base.ClassRef(), -3), Code(NewMethod));
  EXPECT_EQ(GetDynamicMethod(f.Derived.ClassRef(), -3), Code(NewMethod));

  // An index the class overrides changes only the class's own entry.
  EXPECT_EQ(ReplaceDmtField(f.Derived.ClassRef(), 5, Code(NewMethod)), Code(ChildDyn5));
  EXPECT_EQ(GetDynamicMethod(f.Base.ClassRef(), 5), Code(ParentDyn5));

  EXPECT_EQ(ReplaceDmtField(f.Derived.ClassRef(), 9, Code(NewMethod)), nullptr);
}

namespace {

// A class in the host layout alone in a page that is read-only, as the
// host's class records are: header, two virtual methods, terminator, class
// name and a one-entry dynamic method table.
struct TReadOnlyClass {
  struct TLayout {
    void* Header[HeaderSlots];
    void* Methods[3];
    char Name[12];
    uint8_t Dmt[2 + 2 + 4];
  };
  static constexpr int16_t DynamicIndex = 12;
  TLayout* Page = static_cast<TLayout*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));

  TReadOnlyClass() {
    Page->Header[HeaderSlots + L::SelfPtr / 4] = Page->Methods;
    Page->Header[HeaderSlots + L::ClassName / 4] = Page->Name;
    Page->Header[HeaderSlots + L::DynamicTable / 4] = Page->Dmt;
    std::memcpy(Page->Name, "\x09TReadOnly", 11);
    Page->Methods[0] = Code(Fixture_VirtualA);
    Page->Methods[1] = Code(Fixture_VirtualB);
    const uint16_t count = 1;
    void* dynamic = Code(Fixture_ReturnsOne);
    std::memcpy(Page->Dmt, &count, 2);
    std::memcpy(Page->Dmt + 2, &DynamicIndex, 2);
    std::memcpy(Page->Dmt + 4, &dynamic, 4);
    DWORD old;
    VirtualProtect(Page, 4096, PAGE_READONLY, &old);
  }
  ~TReadOnlyClass() { VirtualFree(Page, 0, MEM_RELEASE); }
  TClass ClassRef() const { return Page->Methods; }
  DWORD Protection() const {
    MEMORY_BASIC_INFORMATION info = {};
    VirtualQuery(Page, &info, sizeof info);
    return info.Protect;
  }
};

}  // namespace

TEST(MethodTables, SlotsInReadOnlyMemoryAreReplacedAndTheProtectionPutBack) {
  const struct {
    const char* Operation;
    void (*Write)(TClass);
    int Slot;  // virtual method index, or -1 for the dynamic method table entry
  } cases[] = {
      {"ReplaceVmtField",
       [](TClass c) { EXPECT_TRUE(ReplaceVmtField(c, Code(Fixture_VirtualB), Code(NewMethod))); }, 1},
      {"SetVirtualMethod", [](TClass c) { SetVirtualMethod(c, 0, Code(NewMethod)); }, 0},
      {"ReplaceDmtField",
       [](TClass c) {
         EXPECT_EQ(ReplaceDmtField(c, TReadOnlyClass::DynamicIndex, Code(NewMethod)), Code(Fixture_ReturnsOne));
       },
       -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Operation);
    TReadOnlyClass cls;
    ASSERT_NE(cls.Page, nullptr);
    ASSERT_EQ(cls.Protection(), static_cast<DWORD>(PAGE_READONLY));
    c.Write(cls.ClassRef());
    void* written = c.Slot >= 0 ? GetVirtualMethod(cls.ClassRef(), c.Slot)
                                : GetDynamicMethod(cls.ClassRef(), TReadOnlyClass::DynamicIndex);
    EXPECT_EQ(written, Code(NewMethod));
    EXPECT_EQ(cls.Protection(), static_cast<DWORD>(PAGE_READONLY));
  }
}
