#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "project/ItemDefaults.h"
#include "project/ProjectItem.h"

namespace qlm {
namespace {

// root "proj" / folder "a" / folder "b" / record r
struct Tree {
  ProjectItem root{ProjectItem::kRoot};
  ProjectItem* a;
  ProjectItem* b;
  ProjectItem* r;

  Tree() {
    root.SetTitle("proj");
    a = root.AppendChild(std::make_unique<ProjectItem>(ProjectItem::kFolder));
    a->SetTitle("a");
    b = a->AppendChild(std::make_unique<ProjectItem>(ProjectItem::kFolder));
    b->SetTitle("b");
    r = b->AppendChild(std::make_unique<ProjectItem>(ProjectItem::kRecord));
    r->SetURL("http://h/");
  }
};

std::vector<const ProjectItem*> Children(const ProjectItem& parent) {
  std::vector<const ProjectItem*> out;
  for (const ProjectItem* c = parent.FirstChild(); c; c = c->Next()) {
    EXPECT_EQ(c->Parent(), &parent);
    EXPECT_EQ(c->Prev(), out.empty() ? nullptr : out.back());
    out.push_back(c);
  }
  return out;
}

TEST(ProjectItem, NewItemsInheritEverythingAndTheRootIsNormal) {
  ProjectItem root(ProjectItem::kRoot);
  ProjectItem folder(ProjectItem::kFolder);
  EXPECT_EQ(root.Own(ItemOption::PilotType), kPilotNormal);
  EXPECT_EQ(folder.Own(ItemOption::PilotType), kUnset);
  for (std::size_t i = 0; i < kItemOptionCount; ++i) {
    if (static_cast<ItemOption>(i) != ItemOption::PilotType) {
      EXPECT_EQ(root.Own(static_cast<ItemOption>(i)), kUnset) << i;
    }
    EXPECT_EQ(folder.Own(static_cast<ItemOption>(i)), kUnset) << i;
  }
  for (std::size_t i = 0; i < kItemStringCount; ++i) {
    EXPECT_TRUE(folder.OwnString(static_cast<ItemString>(i)).empty());
  }
  EXPECT_FALSE(folder.URL() || folder.Title() || folder.LocalName());
}

TEST(ProjectItem, PlainOptionComesFromTheNearestLevelThatSetsIt) {
  Tree t;
  EXPECT_EQ(t.r->Effective(ItemOption::NoCache), kUnset);  // the caller's default applies
  t.root.SetOwn(ItemOption::NoCache, 0);
  EXPECT_EQ(t.r->Effective(ItemOption::NoCache), 0);
  t.a->SetOwn(ItemOption::NoCache, 1);
  EXPECT_EQ(t.r->Effective(ItemOption::NoCache), 1);
  t.r->SetOwn(ItemOption::NoCache, 0);
  EXPECT_EQ(t.r->Effective(ItemOption::NoCache), 0);
  EXPECT_EQ(t.r->Inherited(ItemOption::NoCache), 1);
  EXPECT_EQ(t.root.Inherited(ItemOption::NoCache), kUnset);
  // Options are independent of each other.
  EXPECT_EQ(t.r->Effective(ItemOption::GraphMax), kUnset);
}

TEST(ProjectItem, ForbiddenAncestorDecidesThePatrolMark) {
  struct Case {
    int32_t root, a, b, r;
    int32_t effective;
  };
  const Case cases[] = {
      {0, -1, -1, -1, 0}, {0, 2, -1, -1, 2}, {0, 2, 0, -1, 0},  {0, 1, 2, 2, 1},
      {1, 0, 0, 0, 1},    {0, -1, 1, 0, 1},  {0, -1, -1, 1, 1}, {-1, -1, -1, -1, -1},
  };
  for (const Case& c : cases) {
    Tree t;
    t.root.SetOwn(ItemOption::PilotType, c.root);
    t.a->SetOwn(ItemOption::PilotType, c.a);
    t.b->SetOwn(ItemOption::PilotType, c.b);
    t.r->SetOwn(ItemOption::PilotType, c.r);
    EXPECT_EQ(t.r->Effective(ItemOption::PilotType), c.effective) << c.root << c.a << c.b << c.r;
  }
}

TEST(ProjectItem, GuardedPilotTypeSetterKeepsItemsBelowAForbiddenAncestor) {
  Tree t;
  t.a->SetOwn(ItemOption::PilotType, kPilotForbidden);
  // Below a forbidden grandparent: refused, own value and effective value unchanged.
  EXPECT_FALSE(t.r->SetPilotType(kPilotSelected));
  EXPECT_EQ(t.r->Own(ItemOption::PilotType), kUnset);
  EXPECT_EQ(t.r->Effective(ItemOption::PilotType), kPilotForbidden);
  // The forbidden item itself can be changed back.
  EXPECT_TRUE(t.a->SetPilotType(kPilotSelected));
  EXPECT_EQ(t.r->Effective(ItemOption::PilotType), kPilotSelected);
  EXPECT_TRUE(t.r->SetPilotType(kPilotNormal));
  EXPECT_EQ(t.r->Effective(ItemOption::PilotType), kPilotNormal);
  // Forbidden itself and below a forbidden ancestor: the change is stored, the mark stays 1.
  t.root.SetOwn(ItemOption::PilotType, kPilotForbidden);
  t.b->SetOwn(ItemOption::PilotType, kPilotForbidden);
  EXPECT_TRUE(t.b->SetPilotType(kPilotNormal));
  EXPECT_EQ(t.b->Own(ItemOption::PilotType), kPilotNormal);
  EXPECT_EQ(t.b->Effective(ItemOption::PilotType), kPilotForbidden);
}

TEST(ProjectItem, GroupComesWholeFromTheItemThatSetsItsFlag) {
  Tree t;
  t.a->SetOwn(ItemOption::UseExtFilter, 1);
  t.a->SetOwn(ItemOption::DLNoExt, 0);
  t.a->SetOwnString(ItemString::ExtImage, "png");
  t.r->SetOwnString(ItemString::ExtImage, "jpg");  // ignored: r sets no flag
  t.r->SetOwn(ItemOption::DLNoExt, 1);             // ignored as well
  t.b->SetOwn(ItemOption::UseUVExtFilter, 1);
  t.b->SetOwn(ItemOption::NotDLNoExt, 1);

  EXPECT_EQ(t.r->GroupSupplier(OptionGroup::ExtFilter), t.a);
  EXPECT_EQ(t.r->Effective(ItemOption::UseExtFilter), 1);
  EXPECT_EQ(t.r->Effective(ItemOption::DLNoExt), 0);
  ASSERT_NE(t.r->EffectiveString(ItemString::ExtImage), nullptr);
  EXPECT_EQ(*t.r->EffectiveString(ItemString::ExtImage), "png");
  EXPECT_EQ(*t.r->EffectiveString(ItemString::ExtHtml), "");  // empty at the supplier stays empty
  // The exclusion filter's member comes from its own supplier.
  EXPECT_EQ(t.r->Effective(ItemOption::NotDLNoExt), 1);
  EXPECT_EQ(t.a->Effective(ItemOption::NotDLNoExt), kUnset);

  // An own flag of 0 with empty lists overrides the folder's filter.
  t.r->SetOwn(ItemOption::UseExtFilter, 0);
  t.r->SetOwnString(ItemString::ExtImage, "");
  EXPECT_EQ(t.r->Effective(ItemOption::UseExtFilter), 0);
  EXPECT_EQ(*t.r->EffectiveString(ItemString::ExtImage), "");
  EXPECT_EQ(t.r->Effective(ItemOption::DLNoExt), 1);
}

TEST(ProjectItem, GroupWithoutFlagAnywhereLeavesItToTheApplication) {
  Tree t;
  t.root.SetOwn(ItemOption::DLNoExt, 0);
  t.b->SetOwnString(ItemString::HttpUserID, "me");
  EXPECT_EQ(t.r->GroupSupplier(OptionGroup::HttpPassword), nullptr);
  EXPECT_EQ(t.r->EffectiveString(ItemString::HttpUserID), nullptr);
  EXPECT_EQ(t.r->Effective(ItemOption::UseExtFilter), kUnset);
  EXPECT_EQ(t.r->Effective(ItemOption::DLNoExt), 0);  // the root's own value
  EXPECT_EQ(t.r->Effective(ItemOption::NotDLNoExt), kUnset);
}

class FixedDefaults : public ItemDefaults {
 public:
  int32_t DefaultOption(ItemOption option) const override {
    return option == ItemOption::DLNoExt ? 1 : 100 + static_cast<int32_t>(option);
  }
  std::string DefaultString(ItemString option) const override {
    return "app-" + std::string(OptionName(option));
  }
};

TEST(ItemDefaults, ApplicationFillsWhatTheTreeLeavesUnset) {
  Tree t;
  FixedDefaults app;
  t.a->SetOwn(ItemOption::GraphMax, 3);
  EXPECT_EQ(app.Resolve(*t.r, ItemOption::GraphMax), 3);
  EXPECT_EQ(app.Resolve(*t.r, ItemOption::AccessInterval),
            100 + static_cast<int32_t>(ItemOption::AccessInterval));
  // Unset patrol mark everywhere reads as normal, never as an application value.
  t.root.SetOwn(ItemOption::PilotType, kUnset);
  EXPECT_EQ(app.Resolve(*t.r, ItemOption::PilotType), kPilotNormal);

  // No flag in the tree: flag and every member from the application, even the root's DLNoExt.
  t.root.SetOwn(ItemOption::DLNoExt, 0);
  t.r->SetOwnString(ItemString::ExtText, "own");
  EXPECT_EQ(app.Resolve(*t.r, ItemOption::DLNoExt), 1);
  EXPECT_EQ(app.Resolve(*t.r, ItemString::ExtText), "app-ExtText");
  // A flag in the tree: the supplier's members, its empty ones included; an unset member of the
  // supplier falls back to the application's.
  t.b->SetOwn(ItemOption::UseExtFilter, 1);
  EXPECT_EQ(app.Resolve(*t.r, ItemString::ExtText), "");
  EXPECT_EQ(app.Resolve(*t.r, ItemOption::DLNoExt), 1);
  t.b->SetOwn(ItemOption::DLNoExt, 0);
  EXPECT_EQ(app.Resolve(*t.r, ItemOption::DLNoExt), 0);
}

TEST(ProjectItem, AppendKeepsInsertionOrderAndRecordsStayLeaves) {
  ProjectItem root(ProjectItem::kRoot);
  std::vector<ProjectItem*> added;
  for (int i = 0; i < 3; ++i) {
    added.push_back(root.AppendChild(std::make_unique<ProjectItem>(ProjectItem::kFolder)));
  }
  auto children = Children(root);
  ASSERT_EQ(children.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(children[i], added[i]);
  EXPECT_EQ(root.LastChild(), added[2]);
  EXPECT_EQ(added[2]->Next(), nullptr);

  ProjectItem* record = root.AppendChild(std::make_unique<ProjectItem>(ProjectItem::kRecord));
  EXPECT_EQ(record->AppendChild(std::make_unique<ProjectItem>(ProjectItem::kRecord)), nullptr);
  EXPECT_EQ(root.AppendChild(std::make_unique<ProjectItem>(ProjectItem::kRoot)), nullptr);
  EXPECT_EQ(record->FirstChild(), nullptr);
}

TEST(ProjectItem, DetachRefusesItemsWithChildrenAndUnlinksLeaves) {
  Tree t;
  ProjectItem* second = t.root.AppendChild(std::make_unique<ProjectItem>(ProjectItem::kRecord));
  EXPECT_EQ(t.a->Detach(), nullptr);
  EXPECT_EQ(t.root.FirstChild(), t.a);
  EXPECT_EQ(t.root.Detach(), nullptr);

  auto a_children = t.a->FirstChild();
  EXPECT_EQ(a_children, t.b);
  ProjectItem* third = t.root.AppendChild(std::make_unique<ProjectItem>(ProjectItem::kRecord));
  std::unique_ptr<ProjectItem> detached = second->Detach();
  ASSERT_EQ(detached.get(), second);
  EXPECT_EQ(Children(t.root), (std::vector<const ProjectItem*>{t.a, third}));
  EXPECT_EQ(t.root.LastChild(), third);

  // Detaching the first child moves the parent's first-child link on.
  t.b->DeleteDescendants();
  t.a->DeleteDescendants();
  auto first = t.a->Detach();
  EXPECT_EQ(Children(t.root), (std::vector<const ProjectItem*>{third}));
  EXPECT_EQ(third->Prev(), nullptr);
  // Detaching the last child moves the parent's last-child link back.
  auto last = third->Detach();
  EXPECT_EQ(t.root.FirstChild(), nullptr);
  EXPECT_EQ(t.root.LastChild(), nullptr);
}

TEST(ProjectItem, MoveTakesTheSubtreeAndRefusesTargetsInsideIt) {
  Tree t;
  ProjectItem* other = t.root.AppendChild(std::make_unique<ProjectItem>(ProjectItem::kFolder));
  other->SetTitle("o");
  EXPECT_FALSE(t.a->MoveTo(t.a));
  EXPECT_FALSE(t.a->MoveTo(t.b));
  EXPECT_FALSE(t.b->MoveTo(t.b));
  EXPECT_FALSE(t.root.MoveTo(other));
  EXPECT_FALSE(t.b->MoveTo(t.r));  // a Record takes no children
  EXPECT_EQ(Children(t.root), (std::vector<const ProjectItem*>{t.a, other}));

  ASSERT_TRUE(t.b->MoveTo(other));
  EXPECT_EQ(Children(*t.a).size(), 0u);
  EXPECT_EQ(Children(*other), (std::vector<const ProjectItem*>{t.b}));
  EXPECT_EQ(t.a->LastChild(), nullptr);
  EXPECT_EQ(other->LastChild(), t.b);
  EXPECT_EQ(t.r->Parent(), t.b);
  EXPECT_EQ(t.r->FolderPath(), "proj/o/b");

  // Moving within the same parent puts the item last.
  ASSERT_TRUE(t.a->MoveTo(&t.root));
  EXPECT_EQ(Children(t.root), (std::vector<const ProjectItem*>{other, t.a}));
  EXPECT_EQ(t.root.LastChild(), t.a);
}

TEST(ProjectItem, DeleteFreesWholeSubtrees) {
  Tree t;
  EXPECT_FALSE(ProjectItem::DeleteItem(&t.root));
  EXPECT_TRUE(ProjectItem::DeleteItem(t.b));
  EXPECT_EQ(t.a->FirstChild(), nullptr);
  EXPECT_EQ(t.a->LastChild(), nullptr);
  t.root.DeleteDescendants();
  EXPECT_EQ(t.root.FirstChild(), nullptr);
  EXPECT_EQ(t.root.LastChild(), nullptr);
  EXPECT_NE(t.root.AppendChild(std::make_unique<ProjectItem>(ProjectItem::kRecord)), nullptr);
  EXPECT_EQ(t.root.FirstChild(), t.root.LastChild());
}

TEST(ProjectItem, FolderPathJoinsTitlesFromTheRoot) {
  Tree t;
  EXPECT_EQ(t.root.FolderPath(), "proj");
  EXPECT_EQ(t.b->FolderPath(), "proj/a/b");
  EXPECT_EQ(t.r->FolderPath(), "proj/a/b");  // a Record names its folder
  ProjectItem* top = t.root.AppendChild(std::make_unique<ProjectItem>(ProjectItem::kRecord));
  EXPECT_EQ(top->FolderPath(), "proj");
  t.a->SetTitle(std::nullopt);
  EXPECT_EQ(t.b->FolderPath(), "proj//b");
}

TEST(ProjectItem, VeryDeepTreesAreWalkedAndFreedWithoutRecursion) {
  auto root = std::make_unique<ProjectItem>(ProjectItem::kRoot);
  ProjectItem* item = root.get();
  for (int i = 0; i < 200000; ++i) {
    item = item->AppendChild(std::make_unique<ProjectItem>(ProjectItem::kFolder));
  }
  root->SetOwn(ItemOption::GraphMax, 4);
  EXPECT_EQ(item->Effective(ItemOption::GraphMax), 4);
  EXPECT_EQ(item->FolderPath().size(), 200000u);
  root.reset();
}

}  // namespace
}  // namespace qlm
