// The designer's drop parent and the selection after a deletion:
// unpatched, a drop on a page control lands on the first tab sheet that is
// a container though it is not shown, and deleting a control on a tab sheet
// selects the designer's current container; patched, hidden windowed
// controls are no drop parents, and the deleted control's windowed parent
// is selected. Everything else is answered as before.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "DesignerStandIns.h"
#include "designide150/ItemParentDriver.h"

namespace {

using namespace ItemParentDriver;
using DesignerStandIns::ItemParents;

const wchar_t* const FindItemParent = L"IDE.Designer.FindItemParent";

void LoadAndMaybeInstall(bool patched) {
  DesignerStandIns::Load();
  if (!patched) return;
  DesignerStandIns::Install();
  ASSERT_EQ(DesignerStandIns::Status(FindItemParent), L"applied") << DesignerStandIns::Reasons();
}

// A candidate "<kind><container>": H a hidden windowed control, S a shown
// one, C a plain control, O a component that is no control, N no
// component; + a container, - none.
void* CandidateItem(const std::string& text) {
  const std::map<char, int> kinds = {{'H', HiddenWinControl}, {'S', ShownWinControl}, {'C', PlainControl},
                                     {'O', NoControl}};
  void* component = text[0] == 'N' ? nullptr : ItemParents().NewComponent(kinds.at(text[0]));
  return ItemParents().NewItem(component, nullptr, text[1] == '+', 0);
}

struct TDropCase {
  const char* Name;
  const char* Candidates;  // in the root's drop order, after the item dropped on
  int Unpatched;           // the parent found: a candidate's index, -1 the root's own item
  int Patched;
};

const TDropCase DropCases[] = {
    {"HiddenSheetBeforeTheShownOne", "H+ S+ H+", 0, 1},
    {"TheShownSheetFirst", "S+ H+", 0, 0},
    {"EverySheetShown", "S+ S+", 0, 0},
    {"OnlyHiddenSheetsThenThePageControl", "H+ H+ S+", 0, 2},
    {"AHiddenNonContainerStaysNone", "H- S+", 1, 1},
    {"APlainControlIsKept", "C+ S+", 0, 0},
    {"AComponentThatIsNoControlIsKept", "O+ S+", 0, 0},
    {"AnItemWithoutComponentIsKept", "N+ S+", 0, 0},
    {"AfterHiddenSheetsTheRoot", "H- C- H+", 2, -1},
    {"NoContainerButTheRoot", "H- C-", -1, -1},
};

void PrintTo(const TDropCase& c, std::ostream* os) { *os << c.Name; }

class DesignerDropParent : public testing::TestWithParam<std::tuple<TDropCase, bool>> {};

TEST_P(DesignerDropParent, FindsTheShownContainer) {
  const TDropCase& c = std::get<0>(GetParam());
  const bool patched = std::get<1>(GetParam());
  LoadAndMaybeInstall(patched);
  void* root = ItemParents().NewRoot(1);
  std::vector<void*> order = {ItemParents().NewItem(nullptr, nullptr, 0, 0)};  // the item dropped on
  std::istringstream candidates(c.Candidates);
  for (std::string text; candidates >> text;) order.push_back(CandidateItem(text));
  ItemParents().SetDropOrder(root, order.data(), int(order.size()), nullptr);
  void* rootItem = nullptr;
  ItemParents().State(root, &rootItem, nullptr, nullptr, nullptr);
  void* found = reinterpret_cast<void*>(0x1);  // the routine must set it
  ItemParents().FindItemParent(root, order[0], &found);
  const int expected = patched ? c.Patched : c.Unpatched;
  EXPECT_EQ(found, expected < 0 ? rootItem : order[size_t(expected) + 1]);
}

INSTANTIATE_TEST_SUITE_P(Cases, DesignerDropParent, testing::Combine(testing::ValuesIn(DropCases), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<TDropCase, bool>>& info) {
                           return std::string(std::get<0>(info.param).Name) +
                                  (std::get<1>(info.param) ? "_Patched" : "_Unpatched");
                         });

// A form (the root's item, no component of its own) holding a page control
// with tab sheets A (the designer's current container) and B; on them
// Button1 (B), Button2 (A), Holder (B, a component that is no control) and
// Broken (B, its parent cannot be read); Label on the form.
struct TForm {
  void* Root = nullptr;
  std::map<std::string, void*> Items;
  std::map<void*, std::string> Names;  // component → name

  explicit TForm(bool withHolder) {
    Root = ItemParents().NewRoot(withHolder);
    void* form = nullptr;
    ItemParents().State(Root, &form, nullptr, nullptr, nullptr);
    Items["Form"] = form;
    Add("PageControl", ShownWinControl, "Form", 1);
    Add("A", ShownWinControl, "PageControl", 1);
    Add("B", HiddenWinControl, "PageControl", 1);
    Add("Button1", PlainControl, "B", 0);
    Add("Button2", PlainControl, "A", 0);
    Add("Holder", NoControl, "B", 0);
    Add("Label", PlainControl, "Form", 0);
    void* broken = ItemParents().NewComponent(PlainControl);
    Items["Broken"] = ItemParents().NewItem(broken, Items["B"], 0, 1);
  }
  void Add(const std::string& name, int kind, const std::string& parent, int container) {
    void* component = ItemParents().NewComponent(kind);
    Items[name] = ItemParents().NewItem(component, Items.at(parent), container, 0);
    Names[component] = name;
  }
  void* ComponentOf(const std::string& name) {
    for (const auto& entry : Names)
      if (entry.second == name) return entry.first;
    return nullptr;
  }
  // Selects the items named, deletes the selection: the name of the component selected after it.
  std::string Delete(const std::string& selection, const std::string& container = "A") {
    std::vector<void*> selected;
    std::istringstream names(selection);
    for (std::string name; names >> name;) selected.push_back(Items.at(name));
    ItemParents().SetDropOrder(Root, nullptr, 0, ComponentOf(container));
    ItemParents().Select(Root, selected.data(), int(selected.size()));
    ItemParents().DeleteSelection(Root, 1);
    void* after = nullptr;
    ItemParents().State(Root, nullptr, &after, nullptr, nullptr);
    return after ? Names.at(after) : "nil";
  }
};

struct TDeleteCase {
  const char* Name;
  const char* Selection;
  const char* Unpatched;
  const char* Patched;
};

const TDeleteCase DeleteCases[] = {
    {"AControlOnAnotherSheet", "Button1", "A", "B"},
    {"AControlOnTheCurrentSheet", "Button2", "A", "A"},
    {"TheRootSelectedToo", "Form Button1", "A", "A"},
    {"AComponentThatIsNoControlFirst", "Holder Button1", "A", "B"},
    {"AControlOnTheFormItself", "Label", "A", "A"},
    {"OnTheFormThenOnAnotherSheet", "Label Button1", "A", "B"},
    {"AParentThatRaises", "Broken Button1", "A", "A"},
    {"NothingSelected", "", "A", "A"},
};

void PrintTo(const TDeleteCase& c, std::ostream* os) { *os << c.Name; }

class DesignerDeleteSelection : public testing::TestWithParam<std::tuple<TDeleteCase, bool>> {};

TEST_P(DesignerDeleteSelection, SelectsTheDeletedControlsSheet) {
  const TDeleteCase& c = std::get<0>(GetParam());
  const bool patched = std::get<1>(GetParam());
  LoadAndMaybeInstall(patched);
  TForm form(true);
  int deletedBefore = 0, deletedAfter = 0, modified = 0;
  ItemParents().State(form.Root, nullptr, nullptr, nullptr, &deletedBefore);
  EXPECT_EQ(form.Delete(c.Selection), patched ? c.Patched : c.Unpatched);
  ItemParents().State(form.Root, nullptr, nullptr, &modified, &deletedAfter);
  // The deletion itself and the designer's notice are the host's as before.
  std::istringstream names(c.Selection);
  int selected = 0;
  for (std::string name; names >> name;) selected += name != "Form";
  EXPECT_EQ(deletedAfter - deletedBefore, selected);
  EXPECT_EQ(modified, 1);
  // Nothing remembered outlives its deletion.
  EXPECT_EQ(form.Delete(""), "A");
}

INSTANTIATE_TEST_SUITE_P(Cases, DesignerDeleteSelection,
                         testing::Combine(testing::ValuesIn(DeleteCases), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<TDeleteCase, bool>>& info) {
                           return std::string(std::get<0>(info.param).Name) +
                                  (std::get<1>(info.param) ? "_Patched" : "_Unpatched");
                         });

TEST(DesignerDeleteSelection, WithoutAContainerOrAHolderNothingIsSubstituted) {
  LoadAndMaybeInstall(true);
  TForm form(true);
  EXPECT_EQ(form.Delete("Button1", "None"), "nil");
  TForm bare(false);
  EXPECT_EQ(bare.Delete("", "A"), "A");
  EXPECT_FALSE(ItemParents().IsRootSelected(bare.Root));
}

TEST(DesignerDeleteSelection, IsRootSelectedAsksTheHolder) {
  LoadAndMaybeInstall(false);
  TForm form(true);
  void* selection[] = {form.Items["Button1"], form.Items["Form"]};
  ItemParents().Select(form.Root, selection, 1);
  EXPECT_FALSE(ItemParents().IsRootSelected(form.Root));
  ItemParents().Select(form.Root, selection, 2);
  EXPECT_TRUE(ItemParents().IsRootSelected(form.Root));
}

} // namespace
