#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "project/ProjectWriter.h"
#include "project/Scramble.h"
#include "tests/project/ProjectTrees.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

using test::FormatTree;
using test::ReadText;

ProjectItem* Add(ProjectItem& parent, ProjectItem::Kind kind) {
  return parent.AppendChild(std::make_unique<ProjectItem>(kind));
}

TEST(ProjectWriter, WritesKeysInOrderOnlyWhereTheItemSetsThem) {
  ProjectItem root(ProjectItem::kRoot);
  root.SetTitle("ignored");
  root.SetOwn(ItemOption::BGColor, 64 + 128 * 256 + 255 * 65536);
  root.SetOwn(ItemOption::MUDrawType, 7);
  root.SetOwn(ItemOption::IMGSW, 5);
  root.SetOwn(ItemOption::MinPicWidth, 10);
  root.SetOwn(ItemOption::MinPicHeight, 20);
  root.SetOwn(ItemOption::MUDrawSpeed, 3);
  root.SetOwn(ItemOption::GraphMax, 2);
  root.SetOwn(ItemOption::PilotArea, 0);
  root.SetOwn(ItemOption::RenewalType, 3);
  root.SetOwn(ItemOption::NoCache, 0);
  root.SetOwn(ItemOption::ConnectionTimeout, 30);
  root.SetOwn(ItemOption::CloseTimeout, 9);
  root.SetOwn(ItemOption::AccessInterval, 5);
  root.SetOwn(ItemOption::LocalizeLink, 1);
  root.SetOwn(ItemOption::UseHttpPassword, 1);
  root.SetOwnString(ItemString::HttpUserID, "u");
  root.SetOwnString(ItemString::HttpPassword, "p");
  root.SetOwn(ItemOption::UseExtFilter, 1);
  root.SetOwn(ItemOption::DLNoExt, 0);
  root.SetOwnString(ItemString::ExtHtml, "htm");
  root.SetOwnString(ItemString::ExtImage, "jpg");

  ProjectItem* folder = Add(root, ProjectItem::kFolder);
  folder->SetTitle("F");
  folder->SetOwn(ItemOption::PilotArea, 1);
  folder->SetOwn(ItemOption::MinPicWidth, 7);  // its height comes from the root
  folder->SetOwn(ItemOption::DLNoExt, 1);      // written as the group's value
  folder->SetOwn(ItemOption::UseUVExtFilter, 0);
  folder->SetOwn(ItemOption::PilotType, kPilotNormal);
  folder->SetURL("folders keep no URL");

  ProjectItem* record = Add(*folder, ProjectItem::kRecord);
  record->SetURL("http://h/%\"");
  record->SetLocalName("L");
  record->SetTitle("T\"q");
  record->SetOwn(ItemOption::PilotType, kPilotSelected);
  record->SetOwn(ItemOption::RenewalType, 0);
  record->SetOwnString(ItemString::ExtImage, "gif");  // not the group's

  Add(root, ProjectItem::kRecord);

  const std::string want =
      "ProjectDefault\n{\n"
      "\tBGColor={64,128,255}\n\tMUDrawType=Random\n\tIMGSW=1\n\tMinPicSize={10,20}\n"
      "\tMUDrawSpeed=3\n\tGraphMax=2\n\tRenewalType=FailedFile\n\tNoCache=0\n"
      "\tConnectionTimeout=30\n\tAccessInterval=5\n\tLocalizeLink=1\n\tUseHttpPassword=1\n"
      "\tHttpUserID=\"u\"\n\tHttpPassword=\"" +
      Scramble("p") +
      "\"\n"
      "\tUseExtFilter=1\n\tDLNoExt=0\n\tExtHtml=\"htm\"\n\tExtImage=\"jpg\"\n"
      "}\n"
      "Folder=\"F\"\n{\n"
      "\tMinPicSize={7,20}\n\tPilotArea=UpperDir\n\tDLNoExt=0\n\tExtHtml=\"htm\"\n"
      "\tExtImage=\"jpg\"\n\tUseUVExtFilter=0\n"
      "\tRecord\n\t{\n"
      "\t\tURL=\"http://h/%25%22\"\n\t\tLocalName=\"L\"\n\t\tTitle=\"T'q\"\n"
      "\t\tPilotType=Selected\n\t\tExtHtml=\"htm\"\n\t\tExtImage=\"jpg\"\n"
      "\t}\n"
      "}\n"
      "Record\n{\n\tExtHtml=\"htm\"\n\tExtImage=\"jpg\"\n}\n";
  EXPECT_EQ(FormatTree(root), want);
}

TEST(ProjectWriter, EveryWritableFieldReadsBackUnchanged) {
  ProjectItem root(ProjectItem::kRoot);
  test::FillOptions(root, 0);
  ProjectItem* a = Add(root, ProjectItem::kFolder);
  a->SetTitle("\x83\x74\x83\x48 folder");
  test::FillOptions(*a, 1);
  ProjectItem* b = Add(*a, ProjectItem::kFolder);
  b->SetTitle("");
  test::FillOptions(*b, 4);
  ProjectItem* r = Add(*b, ProjectItem::kRecord);
  r->SetURL("http://h/p%41th?q=\"%\"");
  r->SetTitle("\ttitle");
  r->SetLocalName("local");
  test::FillOptions(*r, 5);
  ProjectItem* secure = Add(*b, ProjectItem::kRecord);
  secure->SetURL("https://h:8443/s%20p?q#f");
  test::FillOptions(*secure, 7);
  ProjectItem* bare = Add(root, ProjectItem::kRecord);
  bare->SetURL("");
  test::FillOptions(*bare, 6);
  // Values written as unsigned numbers: what wraps on reading comes back as it was.
  bare->SetOwn(ItemOption::GraphMax, -6);
  bare->SetOwn(ItemOption::AccessInterval, INT32_MIN);

  const std::string text = FormatTree(root);
  ProjectItem back(ProjectItem::kRoot);
  ASSERT_TRUE(ReadText(text, back));
  back.SetTitle(root.Title());
  test::ExpectSameTree(root, back, "root");
  EXPECT_EQ(FormatTree(back), text);
}

TEST(ProjectWriter, KnownLossesOfTheFileFormStayAsTheyAre) {
  // Values the format has no word for are left out, so the item inherits after the next open.
  ProjectItem root(ProjectItem::kRoot);
  ProjectItem* item = Add(root, ProjectItem::kRecord);
  item->SetOwn(ItemOption::PilotType, kPilotNormal);
  item->SetOwn(ItemOption::PilotArea, 0);
  item->SetOwn(ItemOption::CloseTimeout, 5);
  ProjectItem back(ProjectItem::kRoot);
  ASSERT_TRUE(ReadText(FormatTree(root), back));
  EXPECT_EQ(back.FirstChild()->Own(ItemOption::PilotType), kUnset);
  EXPECT_EQ(back.FirstChild()->Own(ItemOption::PilotArea), kUnset);
  EXPECT_EQ(back.FirstChild()->Own(ItemOption::CloseTimeout), kUnset);
}

TEST(ProjectWriter, StringsAreKeptReadableByTheReader) {
  ProjectItem root(ProjectItem::kRoot);
  ProjectItem* item = Add(root, ProjectItem::kRecord);
  // A title of 4094 bytes and a double-byte character: cut before the character, not inside it.
  item->SetTitle(std::string(4094, 'a') + "\x83\x74" + "tail");
  item->SetOwn(ItemOption::UseExtFilter, 1);
  item->SetOwnString(ItemString::ExtOthers, std::string(5000, 'x'));
  item->SetOwn(ItemOption::UseHttpPassword, 1);
  item->SetOwnString(ItemString::HttpPassword, std::string(2000, 'p'));
  ProjectItem back(ProjectItem::kRoot);
  ASSERT_TRUE(ReadText(FormatTree(root), back));
  EXPECT_EQ(back.FirstChild()->Title(), std::string(4094, 'a'));
  EXPECT_EQ(back.FirstChild()->OwnString(ItemString::ExtOthers), std::string(4095, 'x'));
  EXPECT_EQ(back.FirstChild()->OwnString(ItemString::HttpPassword), std::string(1365, 'p'));

  // A URL is never cut: one that cannot be read back is not written at all.
  item->SetURL(std::string(4095 - 2, 'u') + "%");
  std::string text;
  EXPECT_FALSE(ProjectWriter::Format(root, text));
  item->SetURL(std::string(4095 - 3, 'u') + "%");
  ASSERT_TRUE(ProjectWriter::Format(root, text));
  ASSERT_TRUE(ReadText(text, back));
}

TEST(ProjectWriter, WriteReplacesTheFileOrLeavesTheOldOne) {
  test::TempDir dir;
  const std::string path = dir.File("p.prj");
  ProjectItem root(ProjectItem::kRoot);
  ASSERT_TRUE(test::WriteFileBytes(path, "old"));
  ASSERT_TRUE(ProjectWriter::Write(path, root));
  EXPECT_EQ(test::ReadFileBytes(path), "ProjectDefault\n{\n}\n");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);

  Add(root, ProjectItem::kRecord)->SetURL(std::string(5000, 'u'));
  EXPECT_FALSE(ProjectWriter::Write(path, root));
  EXPECT_EQ(test::ReadFileBytes(path), "ProjectDefault\n{\n}\n");
  EXPECT_FALSE(ProjectWriter::Write(dir.File("missing/p.prj"), ProjectItem(ProjectItem::kRoot)));
  // No temporary file is left behind.
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

}  // namespace
}  // namespace qlm
