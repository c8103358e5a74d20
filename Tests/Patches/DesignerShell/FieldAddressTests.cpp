// Field look-ups while forms load: every field of forms with inheritance
// resolves, through the sorted list, to the address the run-time's walk
// gives (a name a descendant declares again included); empty names give
// nil; other instances and other threads keep the walk; nested loads hand
// the thread's state back to their owner's load, also when they raise; and
// the loaded forms are the same with the patch as without it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Common/HostClass.h"
#include "DesignerStandIns.h"
#include "Framework/HostExcept.h"
#include "Patches/DesignerShell/FieldAddressDFMLoadingOpt.h"

namespace {

using FormLoadingDriver::FormWriter;

const wchar_t* const FieldAddress = L"RTL.FieldAddress";

const FormLoadingDriver::Driver& Rtl() { return DesignerStandIns::FormLoading(); }

void LoadAndInstall() {
  DesignerStandIns::Load();
  DesignerStandIns::Install();
  ASSERT_EQ(DesignerStandIns::Status(FieldAddress), L"applied") << DesignerStandIns::Reasons();
}

std::wstring Wide(const std::string& utf8) {
  std::wstring out(utf8.size() + 1, L'\0');
  out.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &out[0], int(out.size()))));
  return out;
}

std::vector<uint8_t> Short(const std::string& utf8) {
  std::vector<uint8_t> s(1, uint8_t(utf8.size()));
  s.insert(s.end(), utf8.begin(), utf8.end());
  return s;
}

// A form class whose binary form makes a TComponent for each field (or a
// component of the field's class for "Name:Class").
void* MakeClass(void* parent, const std::string& name, const std::vector<std::string>& fields) {
  std::string spec;
  FormWriter form;
  form.Begin(name, name.substr(1)).End();
  for (const std::string& field : fields) {
    spec += " " + field;
    const size_t colon = field.find(':');
    form.Child(colon == std::string::npos ? "TComponent" : field.substr(colon + 1), field.substr(0, colon));
  }
  form.End();
  void* classRef = Rtl().MakeFormClass(parent, name.c_str(), spec.c_str());
  if (classRef) Rtl().SetClassForm(classRef, form.Bytes().data(), int(form.Bytes().size()));
  return classRef;
}

// Three generations; the youngest declares "shared" again, which its
// grandparent declares as "Shared".
void* MakeThreeGenerations(const std::string& tag) {
  void* a = MakeClass(Rtl().ComponentClass, "TGrand" + tag, {"Shared", "Label1", "Label10", "Label2", "G\xC3\xB6\xC3\x9F" "e"});
  void* b = MakeClass(a, "TParent" + tag, {"Button1", "Button10", "button2", "A", "Z"});
  return MakeClass(b, "TChild" + tag, {"shared", "Edit1", "\xC4\xB2ssel", "_x9"});
}

const char* const DeclaredNames[] = {"Shared", "Label1",  "Label10", "Label2", "G\xC3\xB6\xC3\x9F" "e", "Button1",
                                     "Button10", "button2", "A",      "Z",      "shared",               "Edit1",
                                     "\xC4\xB2ssel", "_x9"};
// Names no class declares, or spelled so that only ASCII case differs (found) or more (not found).
const char* const OtherNames[] = {"SHARED",   "label10",     "BUTTON2",  "edit1", "g\xC3\xB6\xC3\x9F" "E",
                                  "G\xC3\x96\xC3\x9F" "e", "\xC4\xB3ssel", "Button",  "Button100", "Label",
                                  "Labe",     "_X9",         "a",        "zz",    " Edit1",    "Edit1 ",
                                  "\xF0\x9F\x98\x80"};

// What the probe checks while the form loads (once, at its first component).
struct TProbeCheck {
  void* Root = nullptr;
  void* OtherForm = nullptr;
  int Compared = 0, Differing = 0, FastWalks = 0;
  std::string FirstDifference;
  int EmptyNil = 0;
  void* OtherResult = nullptr;
  int OtherWalks = -1;
  void* ThreadResult = nullptr;
  int ThreadWalks = -1;
  void* ThreadInstance = reinterpret_cast<void*>(1);
};
TProbeCheck g_check;

DWORD WINAPI LookUpOnAnotherThread(void*) {
  const int walks = Rtl().FieldWalks();
  g_check.ThreadResult = Rtl().FieldAddress(g_check.Root, L"Edit1");
  g_check.ThreadWalks = Rtl().FieldWalks() - walks;
  g_check.ThreadInstance = Quillmend::FieldAddressLoadingInstance();
  return 0;
}

void __stdcall CheckLookUps(void* root, void*) {
  if (g_check.Root) return;
  g_check.Root = root;
  std::vector<std::string> names(std::begin(DeclaredNames), std::end(DeclaredNames));
  names.insert(names.end(), std::begin(OtherNames), std::end(OtherNames));
  names.push_back(std::string(300, 'q'));
  for (const std::string& name : names) {
    const int walks = Rtl().FieldWalks();
    void* fast = Rtl().FieldAddress(root, Wide(name).c_str());
    g_check.FastWalks += Rtl().FieldWalks() - walks;
    std::vector<uint8_t> shortName = Short(name.substr(0, 255));
    void* walked = Rtl().FieldAddressShort(root, shortName.data());
    ++g_check.Compared;
    if (fast != walked) {
      if (!g_check.Differing++) g_check.FirstDifference = name;
    }
  }
  const int walks = Rtl().FieldWalks();
  g_check.EmptyNil = Rtl().FieldAddress(root, nullptr) == nullptr && Rtl().FieldAddress(root, L"") == nullptr;
  g_check.FastWalks += Rtl().FieldWalks() - walks;
  if (g_check.OtherForm) {
    const int before = Rtl().FieldWalks();
    g_check.OtherResult = Rtl().FieldAddress(g_check.OtherForm, L"Edit1");
    g_check.OtherWalks = Rtl().FieldWalks() - before;
  }
  HANDLE thread = CreateThread(nullptr, 0, &LookUpOnAnotherThread, nullptr, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

TEST(FieldAddressLoading, EveryFieldResolvesAsTheWalkDoesAndOthersKeepTheWalk) {
  LoadAndInstall();
  void* formClass = MakeThreeGenerations("Check");
  ASSERT_NE(formClass, nullptr);
  void* other = Rtl().Load(MakeThreeGenerations("Other"));
  g_check = TProbeCheck{};
  g_check.OtherForm = other;
  Rtl().SetReadProbe(&CheckLookUps);
  void* form = Rtl().Load(formClass);
  Rtl().SetReadProbe(nullptr);
  ASSERT_EQ(g_check.Root, form);
  EXPECT_EQ(g_check.Differing, 0) << "first: " << g_check.FirstDifference;
  EXPECT_EQ(g_check.Compared, int(std::size(DeclaredNames) + std::size(OtherNames) + 1));
  // The loading instance's look-ups never walked, empty names included.
  EXPECT_EQ(g_check.FastWalks, 0);
  EXPECT_EQ(g_check.EmptyNil, 1);
  // Another instance, and the same instance on another thread: the walk.
  EXPECT_EQ(g_check.OtherWalks, 1);
  EXPECT_EQ(g_check.OtherResult, static_cast<char*>(other) + QmHost::FindPublishedField(*static_cast<void**>(other), "Edit1"));
  EXPECT_EQ(g_check.ThreadWalks, 1);
  EXPECT_EQ(g_check.ThreadResult, static_cast<char*>(form) + QmHost::FindPublishedField(formClass, "Edit1"));
  EXPECT_EQ(g_check.ThreadInstance, nullptr);
  // After the load: no loading instance, empty names still nil.
  EXPECT_EQ(Quillmend::FieldAddressLoadingInstance(), nullptr);
  EXPECT_EQ(Rtl().FieldAddress(form, nullptr), nullptr);
  DesignerStandIns::FreeObject(form);
  DesignerStandIns::FreeObject(other);
}

// A redeclared name is the descendant's field, as the walk from the
// instance's class finds it, whichever order the sort left the two in.
TEST(FieldAddressLoading, ARedeclaredNameIsTheMostDerivedField) {
  DesignerStandIns::Load();
  void* child = MakeThreeGenerations("Redeclared");
  ASSERT_NE(child, nullptr);
  void* grand = QmHost::HostParentClass(QmHost::HostParentClass(child));
  const int derived = QmHost::FindPublishedField(child, "shared");
  const int ancestor = QmHost::FindPublishedField(grand, "Shared");
  ASSERT_NE(derived, ancestor);
  const Quillmend::TFieldNameList list(child);
  EXPECT_EQ(list.Count(), std::size(DeclaredNames) - 1);
  for (const char* name : {"shared", "Shared", "SHARED"})
    EXPECT_EQ(list.Find(reinterpret_cast<const uint8_t*>(name), strlen(name)), derived) << name;
  // Every other declared name at its own offset.
  for (const char* name : DeclaredNames)
    EXPECT_EQ(list.Find(reinterpret_cast<const uint8_t*>(name), strlen(name)), QmHost::FindPublishedField(child, name))
        << name;
  // Many generations redeclaring one name: still the youngest's.
  void* generation = Rtl().ComponentClass;
  for (int i = 0; i < 9; ++i)
    generation = Rtl().MakeFormClass(generation, ("TGen" + std::to_string(i)).c_str(), ("Same Own" + std::to_string(i)).c_str());
  const Quillmend::TFieldNameList generations(generation);
  EXPECT_EQ(generations.Count(), 10u);
  EXPECT_EQ(generations.Find(reinterpret_cast<const uint8_t*>("SAME"), 4), QmHost::FindPublishedField(generation, "Same"));
}

// Two names whose length and 24-bit hash agree: the list keeps both apart
// by their bytes.
TEST(FieldAddressLoading, NamesOfOneKeyStayApart) {
  DesignerStandIns::Load();
  void* formClass = Rtl().MakeFormClass(Rtl().ComponentClass, "TColliding", "Field01070 Field07320 Field01071");
  ASSERT_NE(formClass, nullptr);
  const Quillmend::TFieldNameList list(formClass);
  EXPECT_EQ(list.Count(), 3u);
  for (const char* name : {"Field01070", "Field07320", "FIELD07320", "Field01071"})
    EXPECT_EQ(list.Find(reinterpret_cast<const uint8_t*>(name), strlen(name)), QmHost::FindPublishedField(formClass, name))
        << name;
  EXPECT_EQ(list.Find(reinterpret_cast<const uint8_t*>("Field07321"), 10), -1);
}

struct TSizeRow {
  int Fields;
};

class FieldAddressForms : public testing::TestWithParam<TSizeRow> {};

// The same form loaded as the host loads it and patched: the same fields
// hold the same components, every field its own; patched, without a walk.
TEST_P(FieldAddressForms, LoadTheSameFieldsBothWays) {
  DesignerStandIns::Load();
  const int fields = GetParam().Fields;
  void* before = FormLoadingDriver::MakeInheritedForm(Rtl(), fields, "Before");
  int walks = Rtl().FieldWalks();
  void* host = Rtl().Load(before);
  const int hostWalks = Rtl().FieldWalks() - walks;
  const FormLoadingDriver::FieldSummary unpatched = FormLoadingDriver::SummarizeFields(host);
  DesignerStandIns::Install();
  ASSERT_EQ(DesignerStandIns::Status(FieldAddress), L"applied") << DesignerStandIns::Reasons();
  void* after = FormLoadingDriver::MakeInheritedForm(Rtl(), fields, "After");
  walks = Rtl().FieldWalks();
  void* patched = Rtl().Load(after);
  const int patchedWalks = Rtl().FieldWalks() - walks;
  const FormLoadingDriver::FieldSummary s = FormLoadingDriver::SummarizeFields(patched);
  EXPECT_EQ(s.Fields, fields);
  EXPECT_EQ(s.Right, fields);
  EXPECT_EQ(s.Set, unpatched.Set);
  EXPECT_EQ(s.Checksum, unpatched.Checksum);
  // One walk per new component unpatched (the inherited one is found by name).
  EXPECT_EQ(hostWalks, fields);
  EXPECT_EQ(patchedWalks, 0);
  DesignerStandIns::FreeObject(host);
  DesignerStandIns::FreeObject(patched);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FieldAddressForms, testing::Values(TSizeRow{1}, TSizeRow{2}, TSizeRow{41}, TSizeRow{600}),
                         [](const testing::TestParamInfo<TSizeRow>& info) {
                           return "Fields" + std::to_string(info.param.Fields);
                         });

// ---- nested loads ------------------------------------------------------------

struct TSeen {
  void* Root;
  void* Loading;
};
std::vector<TSeen> g_seen;
void* g_brokenClass = nullptr;
int g_brokenRaised = 0;
void* g_afterRaiseLoading = nullptr;
const Quillmend::TFieldNameList* g_beforeRaiseList = nullptr;
const Quillmend::TFieldNameList* g_afterRaiseList = nullptr;

void __stdcall RecordLoading(void* root, void*) {
  g_seen.push_back({root, Quillmend::FieldAddressLoadingInstance()});
  if (g_brokenClass && g_seen.size() == 1) {
    // A load of another form that raises, inside this one.
    g_beforeRaiseList = Quillmend::FieldAddressLoadingList();
    Quillmend::THostCaught caught;
    void* broken = nullptr;
    g_brokenRaised = !Quillmend::HostTryExcept([&] { Rtl().Load(g_brokenClass, &broken); }, caught);
    g_afterRaiseLoading = Quillmend::FieldAddressLoadingInstance();
    g_afterRaiseList = Quillmend::FieldAddressLoadingList();
    if (caught.Object) DesignerStandIns::FreeObject(caught.Object);
    if (broken) DesignerStandIns::FreeObject(broken);
  }
}

// A frame inside a form: its components are looked up in the frame, and the
// form's later ones in the form again, all without a walk.
TEST(FieldAddressNested, AFrameLoadHandsTheFormBack) {
  LoadAndInstall();
  void* frame = MakeClass(Rtl().ComponentClass, "TInnerFrame", {"Inner1", "Inner2"});
  void* formClass = MakeClass(Rtl().ComponentClass, "TOuterForm", {"Before1", "Frame1:TInnerFrame", "After1"});
  ASSERT_NE(frame, nullptr);
  ASSERT_NE(formClass, nullptr);
  g_seen.clear();
  Rtl().SetReadProbe(&RecordLoading);
  const int walks = Rtl().FieldWalks();
  void* form = Rtl().Load(formClass);
  EXPECT_EQ(Rtl().FieldWalks() - walks, 0);
  Rtl().SetReadProbe(nullptr);
  ASSERT_EQ(g_seen.size(), 5u);  // Before1, Inner1, Inner2, Frame1, After1
  for (const TSeen& seen : g_seen) EXPECT_EQ(seen.Loading, seen.Root);
  void* inner = *reinterpret_cast<void**>(static_cast<char*>(form) + QmHost::FindPublishedField(formClass, "Frame1"));
  EXPECT_EQ(g_seen[1].Root, inner);
  EXPECT_EQ(g_seen[4].Root, form);
  EXPECT_EQ(FormLoadingDriver::SummarizeFields(form).Right, 3);
  EXPECT_EQ(FormLoadingDriver::SummarizeFields(inner).Right, 2);
  EXPECT_EQ(Quillmend::FieldAddressLoadingInstance(), nullptr);
  EXPECT_EQ(Quillmend::FieldAddressLoadingList(), nullptr);
  DesignerStandIns::FreeObject(form);
}

// A form whose binary form names a class nobody made: EReadError.
void* MakeBrokenForm(const std::string& name) {
  void* broken = MakeClass(Rtl().ComponentClass, name, {"Good1"});
  FormWriter form;
  form.Begin(name, "Broken").End().Child("TComponent", "Good1").Child("TNoSuchClass", "Bad1").End();
  Rtl().SetClassForm(broken, form.Bytes().data(), int(form.Bytes().size()));
  return broken;
}

TEST(FieldAddressNested, ARaisingLoadHandsTheStateBack) {
  LoadAndInstall();
  // Inside a load: the outer form's instance and list again, and its load goes on.
  g_brokenClass = MakeBrokenForm("TBrokenInner");
  void* formClass = MakeClass(Rtl().ComponentClass, "TAroundBroken", {"Before1", "After1", "After2"});
  g_seen.clear();
  Rtl().SetReadProbe(&RecordLoading);
  const int walks = Rtl().FieldWalks();
  void* form = Rtl().Load(formClass);
  const int outerWalks = Rtl().FieldWalks() - walks;
  Rtl().SetReadProbe(nullptr);
  EXPECT_EQ(g_brokenRaised, 1);
  EXPECT_EQ(g_afterRaiseLoading, form);
  EXPECT_NE(g_beforeRaiseList, nullptr);
  EXPECT_EQ(g_afterRaiseList, g_beforeRaiseList);
  EXPECT_EQ(outerWalks, 0);
  EXPECT_EQ(FormLoadingDriver::SummarizeFields(form).Right, 3);
  DesignerStandIns::FreeObject(form);
  // At the top: nothing left behind.
  g_brokenClass = nullptr;
  void* broken = nullptr;
  Quillmend::THostCaught caught;
  EXPECT_FALSE(Quillmend::HostTryExcept([&] { Rtl().Load(MakeBrokenForm("TBrokenTop"), &broken); }, caught));
  EXPECT_EQ(caught.Code, 0x0EEDFADEu);
  EXPECT_EQ(Quillmend::FieldAddressLoadingInstance(), nullptr);
  EXPECT_EQ(Quillmend::FieldAddressLoadingList(), nullptr);
  if (caught.Object) DesignerStandIns::FreeObject(caught.Object);
  if (broken) DesignerStandIns::FreeObject(broken);
}

// ---- names as the walk compares them -------------------------------------------

struct TNameRow {
  const wchar_t* Name;
  const char* Utf8;  // the expected short string's text
};

const TNameRow NameRows[] = {
    {L"", ""},
    {L"Button1", "Button1"},
    {L"Gr\u00F6\u00DFe", "Gr\xC3\xB6\xC3\x9F" "e"},
    {L"\u20AC", "\xE2\x82\xAC"},
    {L"\U0001F600x", "\xF0\x9F\x98\x80x"},
    {L"a\xD800" L"b", "a\xEF\xBF\xBD" "b"},
    {L"\xDC00", "\xEF\xBF\xBD"},
};

TEST(FieldAddressNames, HostNamesBecomeUtf8ShortStrings) {
  for (const TNameRow& row : NameRows) {
    uint8_t shortName[256];
    Quillmend::HostNameToShortUtf8(row.Name, shortName);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(shortName + 1), shortName[0]), row.Utf8) << row.Utf8;
  }
  // Cut after the last whole character within 255 bytes.
  for (const auto& [text, bytes] : std::vector<std::pair<std::wstring, int>>{
           {std::wstring(300, L'a'), 255}, {std::wstring(254, L'a') + L"\u00E9", 254}, {std::wstring(253, L'a') + L"\u20AC", 253},
           {std::wstring(252, L'a') + L"\u20AC", 255}, {std::wstring(252, L'a') + L"\U0001F600", 252}}) {
    uint8_t shortName[256];
    Quillmend::HostNameToShortUtf8(text.c_str(), shortName);
    EXPECT_EQ(shortName[0], bytes) << text.size();
  }
}

} // namespace
