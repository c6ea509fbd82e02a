#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "project/ProjectReader.h"
#include "project/Scramble.h"
#include "tests/project/ProjectTrees.h"

namespace qlm {
namespace {

using test::ReadText;

int CountChildren(const ProjectItem& item) {
  int n = 0;
  for (const ProjectItem* c = item.FirstChild(); c; c = c->Next()) ++n;
  return n;
}

TEST(ProjectReader, ReadsEveryKeyIntoItsField) {
  const std::string text =
      "ProjectDefault {\n"
      "  BGColor={300,0,0} MUDrawType=WiperH IMGSW=0 MinPicSize={640,480} MUDrawSpeed=9\n"
      "  GraphMax=4294967295 PilotArea=OtherSite RenewalType=FailedFile NoCache=1\n"
      "  ConnectionTimeout=11 ReplyRcvTimeout=12 CtlRcvTimeout=13 DataRcvTimeout=14\n"
      "  CloseTimeout=15 DLTotalTimeout=16 DLoadRetry=2 AccessInterval=3 PilotType=Selected\n"
      "  LocalizeLink=1 UseHttpPassword=1 HttpUserID=\"me\" HttpPassword=\"" +
      Scramble("secret") +
      "\"\n"
      "  UseExtFilter=1 DLNoExt=0 ExtHtml=\"h\" ExtText=\"t\" ExtImage=\"i\" ExtAudio=\"a\"\n"
      "  ExtVideo=\"v\" ExtApplication=\"p\" ExtOthers=\"o\" UseUVExtFilter=0 NotDLNoExt=1\n"
      "  UVExtHtml=\"H\" UVExtText=\"T\" UVExtImage=\"I\" UVExtAudio=\"A\" UVExtVideo=\"V\"\n"
      "  UVExtApplication=\"P\" UVExtOthers=\"O\"\n"
      "}\n"
      "Folder = \"\x83\x74\x83\x48\" { NoCache=0\n"
      "  Record { URL=\"http://h/%41%20b\" Title=\"\tlead\" LocalName=\"ln\" GraphMax=1 }\n"
      "  Folder=\"in\"{ Record{} }\n"
      "}\n"
      "Record { URL=\"x\" URL=\"y\" PilotType=Forbidden PilotType=Selected }";
  ProjectItem root(ProjectItem::kRoot);
  ASSERT_TRUE(ReadText(text, root));

  struct Want {
    ItemOption option;
    int32_t value;
  };
  const Want wants[] = {
      {ItemOption::BGColor, 44},
      {ItemOption::MUDrawType, 6},
      {ItemOption::IMGSW, 0},
      {ItemOption::MinPicWidth, 640},
      {ItemOption::MinPicHeight, 480},
      {ItemOption::MUDrawSpeed, 9},
      {ItemOption::GraphMax, -1},
      {ItemOption::PilotArea, 2},
      {ItemOption::RenewalType, 3},
      {ItemOption::NoCache, 1},
      {ItemOption::ConnectionTimeout, 11},
      {ItemOption::ReplyRcvTimeout, 12},
      {ItemOption::CtlRcvTimeout, 13},
      {ItemOption::DataRcvTimeout, 14},
      {ItemOption::CloseTimeout, 15},
      {ItemOption::DLTotalTimeout, 16},
      {ItemOption::DLoadRetry, 2},
      {ItemOption::AccessInterval, 3},
      {ItemOption::PilotType, 2},
      {ItemOption::LocalizeLink, 1},
      {ItemOption::UseHttpPassword, 1},
      {ItemOption::UseExtFilter, 1},
      {ItemOption::DLNoExt, 0},
      {ItemOption::UseUVExtFilter, 0},
      {ItemOption::NotDLNoExt, 1},
  };
  for (const Want& w : wants) EXPECT_EQ(root.Own(w.option), w.value) << OptionName(w.option);
  const char* strings[] = {"me", "secret", "h", "t", "i", "a", "v", "p",
                           "o",  "H",      "T", "I", "A", "V", "P", "O"};
  for (std::size_t i = 0; i < kItemStringCount; ++i) {
    EXPECT_EQ(root.OwnString(static_cast<ItemString>(i)), strings[i]);
  }

  ASSERT_EQ(CountChildren(root), 2);
  const ProjectItem* folder = root.FirstChild();
  EXPECT_EQ(folder->GetKind(), ProjectItem::kFolder);
  EXPECT_EQ(folder->Title(), "\x83\x74\x83\x48");
  EXPECT_EQ(folder->Own(ItemOption::NoCache), 0);
  ASSERT_EQ(CountChildren(*folder), 2);
  const ProjectItem* record = folder->FirstChild();
  EXPECT_EQ(record->URL(), "http://h/A b");
  EXPECT_EQ(record->Title(), "\tlead");
  EXPECT_EQ(record->LocalName(), "ln");
  EXPECT_EQ(record->Own(ItemOption::GraphMax), 1);
  EXPECT_EQ(CountChildren(*record->Next()), 1);
  const ProjectItem* last = folder->Next();
  EXPECT_EQ(last->URL(), "y");  // a key given twice keeps its last value
  EXPECT_EQ(last->Own(ItemOption::PilotType), kPilotSelected);
}

TEST(ProjectReader, TheTopLevelRunsToTheEndOfTheFile) {
  struct Case {
    std::string_view text;
    bool whole;
    int children;
    int32_t root_no_cache;
  };
  const Case cases[] = {
      {"", false, 0, -1},
      {" \r\n\t", false, 0, -1},
      {"Folder=\"a\"{}", true, 1, -1},
      {"ProjectDefault{NoCache=1}", true, 0, 1},
      {"Folder=\"a\"{} Record{} trailing words and ;;; bytes", false, 0, -1},
      {"Record{} ProjectDefault{NoCache=1}", false, 0, -1},
      {"ProjectDefault{NoCache=1} ProjectDefault{NoCache=0} Record{}", false, 0, 1},
      {"Folder=\"a\"{} } Record{}", false, 0, -1},
      {"Record{}\"a string\"", false, 0, -1},
  };
  for (const Case& c : cases) {
    ProjectItem root(ProjectItem::kRoot);
    EXPECT_EQ(ReadText(c.text, root), c.whole) << c.text;
    EXPECT_EQ(CountChildren(root), c.children) << c.text;
    EXPECT_EQ(root.Own(ItemOption::NoCache), c.root_no_cache) << c.text;
  }
}

TEST(ProjectReader, SyntaxErrorsDropEveryItemButKeepRootOptionsReadSoFar) {
  const char* cases[] = {
      "Folder=\"a\"{ NoCache=1 ; }",              // invalid byte
      "Folder=\"a\"{ Unknown=1 }",                // unknown word as key
      "Folder=\"a\"{ NoCache 1 }",                // no "="
      "Folder=\"a\" NoCache=1 }",                 // no "{"
      "Folder \"a\"{}",                           // no "=" after Folder
      "Folder=a{}",                               // title not a string
      "Record NoCache=1 }",                       // no "{"
      "Record{ NoCache=1",                        // end of file inside a block
      "Folder=\"a\"{ Record{}",                   // end of file inside a folder
      "Folder=\"a\"{ Record{} NoCache=1 }",       // option after a child item
      "Record{ Record{} }",                       // records take no children
      "Record{ NoCache=\"1\" }",                  // string for a number
      "Record{ ExtHtml=1 }",                      // number for a string
      "Record{ NoCache=-1 }",                     // no sign
      "Record{ PilotType=UpperDir }",             // value word of another key
      "Record{ PilotType=Normal }",               // no such value word
      "Record{ MUDrawType=\"CrossH\" }",          // string for a word
      "Record{ Timer=1 }",                        // reserved word
      "Record{ BGColor={1,2} }",                  // too few colour numbers
      "Record{ BGColor={1;2;3} }",                // bad separator
      "Record{ MinPicSize={1,2,3} }",             // too many numbers
      "Record{ MinPicSize=1 }",                   // no braces
      "Record{ URL=\"http://h/%4\" }",            // bad escape
      "Record{ URL=\"http://h/%zz\" }",           // bad escape
      "Record{ Title=\"open }",                   // string without its end
      "Folder=\"a\"{ ProjectDefault{} }",         // block inside a folder
      "Folder=\"a\"{ Folder=\"b\"{ Record{} } ",  // an inner folder closed, the outer not
  };
  for (const char* items : cases) {
    // Root options before the error stay; items read before the error go.
    const std::string text = std::string("ProjectDefault{ GraphMax=3 } Record{} ") + items;
    ProjectItem root(ProjectItem::kRoot);
    EXPECT_FALSE(ReadText(text, root)) << items;
    EXPECT_EQ(root.FirstChild(), nullptr) << items;
    EXPECT_EQ(root.Own(ItemOption::GraphMax), 3) << items;
  }
  struct RootCase {
    const char* text;
    int32_t graph_max;  // what the root keeps
  };
  const RootCase root_cases[] = {
      {"ProjectDefault{ GraphMax=3 Title=\"t\" }", 3},  // item keys are not root options
      {"ProjectDefault{ GraphMax=3 URL=\"u\" }", 3},
      {"ProjectDefault{ GraphMax=3 NoCache= }", 3},
      {"ProjectDefault{ GraphMax=3 Folder=\"a\"{} }", 3},
      {"ProjectDefault GraphMax=3 }", -1},
  };
  for (const RootCase& c : root_cases) {
    ProjectItem root(ProjectItem::kRoot);
    EXPECT_FALSE(ReadText(c.text, root)) << c.text;
    EXPECT_EQ(root.FirstChild(), nullptr) << c.text;
    EXPECT_EQ(root.Own(ItemOption::GraphMax), c.graph_max) << c.text;
  }
}

TEST(ProjectReader, EveryCutAndEveryStrayByteGivesAWholeTreeOrNone) {
  ProjectItem full(ProjectItem::kRoot);
  test::FillOptions(full, 1);
  ProjectItem* folder = full.AppendChild(std::make_unique<ProjectItem>(ProjectItem::kFolder));
  folder->SetTitle("f");
  test::FillOptions(*folder, 2);
  ProjectItem* record = folder->AppendChild(std::make_unique<ProjectItem>(ProjectItem::kRecord));
  record->SetURL("http://h/a%b\"c");
  record->SetTitle("t");
  test::FillOptions(*record, 3);
  full.AppendChild(std::make_unique<ProjectItem>(ProjectItem::kRecord))->SetURL("http://x/");
  const std::string text = test::FormatTree(full);

  // The full tree with only its first n top-level items.
  auto first_items = [&full](int n) {
    ProjectItem copy(ProjectItem::kRoot);
    EXPECT_TRUE(ReadText(test::FormatTree(full), copy));
    for (int i = CountChildren(copy); i > n; --i) ProjectItem::DeleteItem(copy.LastChild());
    return test::FormatTree(copy);
  };
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    ProjectItem root(ProjectItem::kRoot);
    const bool ok = ReadText(text.substr(0, cut), root);
    if (!ok) {
      EXPECT_EQ(root.FirstChild(), nullptr) << cut;
    } else if (root.FirstChild()) {
      // Read whole only up to the last complete top-level item.
      EXPECT_EQ(test::FormatTree(root), first_items(CountChildren(root))) << cut;
    }
  }
  for (std::size_t at = 0; at < text.size(); ++at) {
    for (char stray : {'\0', '"', '}', '\x81'}) {
      std::string damaged = text;
      damaged[at] = stray;
      ProjectItem root(ProjectItem::kRoot);
      if (!ReadText(damaged, root)) {
        EXPECT_EQ(root.FirstChild(), nullptr) << at;
      }
    }
  }
}

TEST(ProjectReader, RandomBytesNeverCrashTheReader) {
  std::mt19937 random(7);
  const std::string alphabet = "{}=,\" \n\tFolderRecordProjectDefaultURL0123456789\x81\xe0%";
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 200);
    for (int i = 0; i < length; ++i) {
      text.push_back(random() % 4 == 0 ? static_cast<char>(random())
                                       : alphabet[random() % alphabet.size()]);
    }
    ProjectItem root(ProjectItem::kRoot);
    if (!ReadText(text, root)) {
      EXPECT_EQ(root.FirstChild(), nullptr);
    }
  }
}

TEST(ProjectReader, NestingIsBoundedAndCostsNoStack) {
  const auto nested = [](std::size_t depth) {
    std::string text;
    for (std::size_t i = 0; i < depth; ++i) text += "Folder=\"d\"{";
    text += "Record{URL=\"http://h/\"}";
    for (std::size_t i = 0; i < depth; ++i) text += "}";
    return text;
  };
  // Refused at the first folder too many, before the rest is read: a deep file costs no more
  // than its bytes.
  for (std::size_t depth : {ProjectReader::kMaxDepth + 1, std::size_t{100000}}) {
    ProjectItem root(ProjectItem::kRoot);
    EXPECT_FALSE(ReadText(nested(depth), root)) << depth;
    EXPECT_EQ(root.FirstChild(), nullptr);
  }
  const std::size_t depth = ProjectReader::kMaxDepth;
  const std::string text = nested(depth);
  ProjectItem root(ProjectItem::kRoot);
  ASSERT_TRUE(ReadText(text, root));
  const ProjectItem* item = &root;
  int levels = 0;
  while (item->FirstChild()) {
    item = item->FirstChild();
    ++levels;
  }
  EXPECT_EQ(levels, static_cast<int>(depth) + 1);
  EXPECT_EQ(item->URL(), "http://h/");
}

TEST(ProjectWriter, DeepNestingIsWrittenWithoutRecursion) {
  ProjectItem root(ProjectItem::kRoot);
  ProjectItem* item = &root;
  for (std::size_t i = 0; i < ProjectReader::kMaxDepth; ++i) {
    item = item->AppendChild(std::make_unique<ProjectItem>(ProjectItem::kFolder));
    item->SetTitle("d");
  }
  ProjectItem back(ProjectItem::kRoot);
  ASSERT_TRUE(ReadText(test::FormatTree(root), back));
  test::ExpectSameTree(root, back, "deep");
}

}  // namespace
}  // namespace qlm
