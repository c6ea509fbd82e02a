#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "project/CQLMDoc.h"
#include "project/ProjectReader.h"
#include "project/RecordWriter.h"
#include "tests/project/ProjectTrees.h"
#include "tests/project/ScriptedPrompt.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

// The least a project file holds.
const std::string kEmptyProject = "ProjectDefault\n{\n}\n";

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

LinkRecord WithUrl(std::string url) {
  LinkRecord r;
  r.url = std::move(url);
  return r;
}

std::vector<LinkRecord> Records(const std::string& path, int32_t version = LinkRecord::kVersion) {
  PatrolQueue q(version);
  EXPECT_TRUE(q.Open(path)) << path;
  std::vector<LinkRecord> out;
  q.ForEach(PatrolQueue::Chain::kMain, [&](PatrolQueue::NodeId, std::string_view data) {
    LinkRecord r;
    EXPECT_TRUE(LinkRecord::Decode(data, q.FileVersion(), r));
    out.push_back(r);
    return true;
  });
  return out;
}

// A queue file of an older version, with records of `ints` numbers and `strings` strings.
void WriteOldQueue(const std::string& path, int32_t version, int ints, int strings, int count,
                   bool damaged_last = false) {
  PatrolQueue q(version);
  ASSERT_TRUE(q.Open(path));
  for (int n = 0; n < count; ++n) {
    RecordWriter w;
    for (int i = 0; i < ints; ++i) w.AddInt(10 * n + i + 1);
    for (int i = 0; i < strings; ++i) {
      w.AddString(std::to_string(n).insert(0, 1, 'r').append("s").append(std::to_string(i)));
    }
    std::string bytes = w.Take();
    if (damaged_last && n == count - 1) bytes.pop_back();
    ASSERT_TRUE(q.Append(std::string_view(bytes)));
  }
}

class CQLMDocTest : public testing::Test {
 protected:
  std::string Mirror() const { return dir_.Path() + "/Mirror/"; }
  std::string Prj(const std::string& name) const { return dir_.File(name); }
  std::string Queue(const std::string& name, const char* ext) const {
    return Mirror() + name + "/" + name + ext;
  }
  void MakeProjectFolder(const std::string& name) {
    std::filesystem::create_directories(Mirror() + name);
  }

  test::TempDir dir_;
  AppSettings settings_{Profile(dir_.File("settings.ini")), dir_.Path()};
  test::ScriptedPrompt prompt_;
  CQLMDoc doc_{settings_, prompt_};
};

TEST_F(CQLMDocTest, NewStartsWithTheRootAndFreshQueueFiles) {
  MakeProjectFolder("p");
  WriteOldQueue(Queue("p", ".uq"), LinkRecord::kVersion, 6, 6, 3);
  ASSERT_TRUE(doc_.New("p"));
  EXPECT_EQ(doc_.Root().Title(), "p");
  EXPECT_EQ(doc_.Root().FirstChild(), nullptr);
  EXPECT_EQ(doc_.Root().Own(ItemOption::PilotType), kPilotNormal);
  EXPECT_EQ(doc_.ProjectFolder(), Mirror() + "p/");
  EXPECT_EQ(ReadFileBytes(Queue("p", ".uq")).size(), 44u);
  EXPECT_EQ(ReadFileBytes(Queue("p", ".lq")).size(), 44u);
  EXPECT_TRUE(doc_.WorkQueue().IsEmpty());
  EXPECT_FALSE(doc_.IsModified());
}

TEST_F(CQLMDocTest, OpenReadsTheFileAndMakesTheProjectFolder) {
  ASSERT_TRUE(WriteFileBytes(
      Prj("site.prj"), "ProjectDefault{GraphMax=2}\nFolder=\"f\"{Record{URL=\"http://h/\"}}"));
  ASSERT_TRUE(doc_.Open(Prj("site.prj")));
  EXPECT_EQ(doc_.LastError(), 0);
  EXPECT_EQ(doc_.Root().Title(), "site");
  EXPECT_EQ(doc_.PathName(), Prj("site.prj"));
  EXPECT_EQ(doc_.Root().Own(ItemOption::GraphMax), 2);
  ASSERT_NE(doc_.Root().FirstChild(), nullptr);
  EXPECT_EQ(doc_.Root().FirstChild()->FirstChild()->URL(), "http://h/");
  EXPECT_EQ(ReadFileBytes(Queue("site", ".uq")).size(), 44u);
  EXPECT_EQ(ReadFileBytes(Queue("site", ".lq")).size(), 44u);
  EXPECT_TRUE(prompt_.questions.empty());
}

TEST_F(CQLMDocTest, FileNameRules) {
  struct Case {
    const char* on_disk;  // the file that exists
    const char* asked;    // the path handed to Open
    const char* title;
  };
  const Case cases[] = {
      {"a.prj", "a.prj", "a"},
      {"b.PRJ", "b.PRJ", "b"},          // any letter case of the extension
      {"c.prj", "c", "c"},              // ".prj" is added to a name without it
      {"d.txt.prj", "d.txt", "d.txt"},  // only a final ".prj" goes
      {"ab.prj", "ab", "ab"},           // names shorter than the extension keep every letter
      {"x.prjx.prj", "x.prjx", "x.prjx"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteFileBytes(Prj(c.on_disk), kEmptyProject));
    ASSERT_TRUE(doc_.Open(Prj(c.asked))) << c.asked;
    EXPECT_EQ(doc_.Root().Title(), c.title) << c.asked;
    EXPECT_EQ(doc_.PathName(), Prj(c.on_disk)) << c.asked;
    EXPECT_TRUE(Exists(Queue(c.title, ".uq"))) << c.asked;
  }
}

TEST_F(CQLMDocTest, FilesThatDoNotReadWhollyAreRefusedWithTheirLineAndLeftAsTheyAre) {
  ASSERT_TRUE(WriteFileBytes(Prj("e.prj"), kEmptyProject));
  ASSERT_TRUE(doc_.Open(Prj("e.prj")));
  EXPECT_EQ(doc_.Root().FirstChild(), nullptr);
  EXPECT_EQ(doc_.Root().Own(ItemOption::GraphMax), kUnset);

  std::string deep;
  for (std::size_t i = 0; i <= ProjectReader::kMaxDepth; ++i) deep += "Folder=\"d\"{\n";
  struct Case {
    const char* what;
    std::string bytes;
    int line;
  };
  const Case cases[] = {
      {"no bytes", "", 1},
      {"blanks only", " \n\n", 3},
      {"a bad byte", "ProjectDefault{NoCache=1}\nRecord{}\nRecord{ ; }", 3},
      {"cut off in a block", "ProjectDefault{}\nFolder=\"a\"{\n\tRecord{URL=\"http://h/\"}\n", 4},
      {"binary",
       std::string("\x7f"
                   "ELF\x02\x01\x01\0",
                   8),
       1},
      {"UTF-16", std::string("\xff\xfeP\0r\0o\0", 8), 1},
      {"something after the last item", "Record{}\nRecord{}\ngarbage", 3},
      {"folders nested too deep", deep, static_cast<int>(ProjectReader::kMaxDepth) + 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteFileBytes(Prj("s.prj"), c.bytes));
    EXPECT_FALSE(doc_.Open(Prj("s.prj")));
    EXPECT_EQ(doc_.LastError(), CQLMDoc::kErrSyntax);
    EXPECT_EQ(doc_.SyntaxLine(), c.line);
    EXPECT_EQ(doc_.Root().FirstChild(), nullptr);
    EXPECT_EQ(ReadFileBytes(Prj("s.prj")), c.bytes);
  }
  EXPECT_TRUE(prompt_.messages.empty());
}

TEST_F(CQLMDocTest, OpenFailuresLeaveTheirCode) {
  EXPECT_FALSE(doc_.Open(Prj("missing.prj")));
  EXPECT_EQ(doc_.LastError(), CQLMDoc::kErrLoad);

  std::filesystem::create_directories(Prj("dir.prj"));
  EXPECT_FALSE(doc_.Open(Prj("dir.prj")));
  EXPECT_EQ(doc_.LastError(), CQLMDoc::kErrLoad);
  // A FIFO is refused at once rather than waited on.
  ASSERT_EQ(::mkfifo(Prj("fifo.prj").c_str(), 0600), 0);
  EXPECT_FALSE(doc_.Open(Prj("fifo.prj")));
  EXPECT_EQ(doc_.LastError(), CQLMDoc::kErrLoad);

  ASSERT_TRUE(WriteFileBytes(Prj(".prj"), kEmptyProject));
  EXPECT_FALSE(doc_.Open(Prj(".prj")));  // its folder would be the mirror folder itself
  EXPECT_EQ(doc_.LastError(), CQLMDoc::kErrFolder);
  ASSERT_TRUE(WriteFileBytes(Prj("...prj"), kEmptyProject));
  EXPECT_FALSE(doc_.Open(Prj("...prj")));  // or above it
  EXPECT_EQ(doc_.LastError(), CQLMDoc::kErrFolder);

  ASSERT_TRUE(WriteFileBytes(Prj("q.prj"), kEmptyProject));
  MakeProjectFolder("q");
  ASSERT_TRUE(WriteFileBytes(Queue("q", ".uq"), "not a queue file at all, but long enough"));
  EXPECT_FALSE(doc_.Open(Prj("q.prj")));
  EXPECT_EQ(doc_.LastError(), CQLMDoc::kErrQueue);
  EXPECT_EQ(ReadFileBytes(Queue("q", ".uq")), "not a queue file at all, but long enough");

  // The mirror folder is a file: no project folder can be made in it.
  AppSettings blocked(Profile(dir_.File("settings.ini")), dir_.Path());
  ASSERT_TRUE(WriteFileBytes(dir_.File("plain"), ""));
  blocked.SetStored(AppText::MirrorDir, dir_.File("plain") + "/");
  CQLMDoc doc(blocked, prompt_);
  ASSERT_TRUE(WriteFileBytes(Prj("m.prj"), kEmptyProject));
  EXPECT_FALSE(doc.Open(Prj("m.prj")));
  EXPECT_EQ(doc.LastError(), CQLMDoc::kErrFolder);
  EXPECT_FALSE(doc.New("m"));
  EXPECT_EQ(doc.LastError(), CQLMDoc::kErrFolder);
}

TEST_F(CQLMDocTest, OldQueueFilesAreConvertedWhenTheUserAgrees) {
  ASSERT_TRUE(WriteFileBytes(Prj("old.prj"), kEmptyProject));
  MakeProjectFolder("old");
  WriteOldQueue(Queue("old", ".uq"), 10050, 4, 5, 2);
  WriteOldQueue(Queue("old", ".lq"), 10050, 4, 5, 1);
  const std::string old_work = ReadFileBytes(Queue("old", ".uq"));
  const std::string old_localize = ReadFileBytes(Queue("old", ".lq"));

  // No: nothing changes and the open fails without a message.
  prompt_.answers = {false};
  EXPECT_FALSE(doc_.Open(Prj("old.prj")));
  EXPECT_EQ(doc_.LastError(), CQLMDoc::kErrDeclined);
  EXPECT_EQ(prompt_.questions, std::vector<std::string>{std::string(CQLMDoc::kConvertQuestion)});
  EXPECT_TRUE(prompt_.messages.empty());
  EXPECT_EQ(ReadFileBytes(Queue("old", ".uq")), old_work);
  EXPECT_FALSE(Exists(Queue("old", ".uq.10050")));

  // Yes: both files converted, both originals kept as backups.
  prompt_.answers = {true};
  ASSERT_TRUE(doc_.Open(Prj("old.prj")));
  EXPECT_EQ(ReadFileBytes(Queue("old", ".uq.10050")), old_work);
  EXPECT_EQ(ReadFileBytes(Queue("old", ".lq.10050")), old_localize);
  EXPECT_EQ(doc_.WorkQueue().FileVersion(), LinkRecord::kVersion);
  EXPECT_EQ(doc_.LocalizeQueue().FileVersion(), LinkRecord::kVersion);
  const std::vector<LinkRecord> work = Records(Queue("old", ".uq"));
  ASSERT_EQ(work.size(), 2u);
  LinkRecord want{.retry = 11,
                  .graph_max = 12,
                  .depth = 13,
                  .folder_path = "r1s0",
                  .item_url = "r1s1",
                  .referer = "r1s2",
                  .url = "r1s3",
                  .robots_url = "r1s4",
                  .storage_name = ""};
  EXPECT_EQ(work[1], want);
  EXPECT_EQ(Records(Queue("old", ".lq")).size(), 1u);
  const std::string title(CQLMDoc::kConvertTitle);
  const std::vector<std::string> shown = {title + "|ファイルをコンバートしています.....0",
                                          title + "|ファイルをコンバートしています.....1",
                                          title + "|ファイルをコンバートしています.....2",
                                          title + "|ファイルをコンバートしています.....0",
                                          title + "|ファイルをコンバートしています.....1"};
  EXPECT_EQ(prompt_.progress, shown);
  EXPECT_EQ(prompt_.progress_ended, 2);

  // Converted files open without a question next time.
  prompt_.questions.clear();
  ASSERT_TRUE(doc_.Open(Prj("old.prj")));
  EXPECT_TRUE(prompt_.questions.empty());
}

TEST_F(CQLMDocTest, OldestQueueRecordsHaveThreeNumbersAndFourStrings) {
  ASSERT_TRUE(WriteFileBytes(Prj("v.prj"), kEmptyProject));
  MakeProjectFolder("v");
  WriteOldQueue(Queue("v", ".uq"), 10000, 3, 4, 1);
  prompt_.answers = {true};
  ASSERT_TRUE(doc_.Open(Prj("v.prj")));
  EXPECT_TRUE(Exists(Queue("v", ".uq.10000")));
  const std::vector<LinkRecord> work = Records(Queue("v", ".uq"));
  ASSERT_EQ(work.size(), 1u);
  EXPECT_EQ(work[0], (LinkRecord{.retry = 1,
                                 .graph_max = 2,
                                 .depth = 3,
                                 .folder_path = "r0s0",
                                 .item_url = "r0s1",
                                 .referer = "r0s2",
                                 .url = "r0s3",
                                 .robots_url = "",
                                 .storage_name = ""}));
  // The localize queue was new, so already current: nothing to convert, no backup.
  EXPECT_FALSE(Exists(Queue("v", ".lq.10000")));
}

TEST_F(CQLMDocTest, AFailedConversionKeepsTheOldFileAndAsksAgainNextTime) {
  ASSERT_TRUE(WriteFileBytes(Prj("bad.prj"), kEmptyProject));
  MakeProjectFolder("bad");
  WriteOldQueue(Queue("bad", ".uq"), 10050, 4, 5, 3, /*damaged_last=*/true);
  const std::string old_work = ReadFileBytes(Queue("bad", ".uq"));
  prompt_.answers = {true};
  EXPECT_FALSE(doc_.Open(Prj("bad.prj")));
  EXPECT_EQ(doc_.LastError(), CQLMDoc::kErrQueue);
  EXPECT_EQ(prompt_.messages, std::vector<std::string>{std::string(CQLMDoc::kConvertFailed)});
  EXPECT_EQ(ReadFileBytes(Queue("bad", ".uq")), old_work);
  EXPECT_EQ(ReadFileBytes(Queue("bad", ".uq.10050")), old_work);
  EXPECT_FALSE(Exists(Queue("bad", ".uq.new")));
  prompt_.answers = {false};
  EXPECT_FALSE(doc_.Open(Prj("bad.prj")));
  EXPECT_EQ(prompt_.questions.size(), 2u);
}

TEST_F(CQLMDocTest, AnOldLocalizeQueueBehindACurrentWorkQueueIsConvertedToo) {
  ASSERT_TRUE(WriteFileBytes(Prj("mix.prj"), kEmptyProject));
  MakeProjectFolder("mix");
  WriteOldQueue(Queue("mix", ".lq"), 10050, 4, 5, 2);
  prompt_.answers = {true};
  ASSERT_TRUE(doc_.Open(Prj("mix.prj")));
  EXPECT_EQ(prompt_.questions.size(), 1u);
  EXPECT_EQ(Records(Queue("mix", ".lq")).size(), 2u);
  EXPECT_TRUE(Exists(Queue("mix", ".lq.10050")));
  EXPECT_FALSE(Exists(Queue("mix", ".uq.10050")));
}

TEST_F(CQLMDocTest, SaveUnderANewNameMovesTheQueuesAndKeepsTheOldFolder) {
  ASSERT_TRUE(WriteFileBytes(Prj("a.prj"), "Record{URL=\"http://h/%41\"}"));
  ASSERT_TRUE(doc_.Open(Prj("a.prj")));
  ASSERT_TRUE(doc_.WorkQueue().Append(WithUrl("kept")));
  std::vector<std::string> titles;
  doc_.OnRootTitleChanged([&titles](const std::string& t) { titles.push_back(t); });
  doc_.SetModified();

  ASSERT_TRUE(doc_.Save(Prj("a.prj")));  // same name: the queues stay open as they are
  EXPECT_EQ(doc_.WorkQueue().Count(), 1u);
  EXPECT_EQ(ReadFileBytes(Prj("a.prj")),
            "ProjectDefault\n{\n}\nRecord\n{\n\tURL=\"http://h/A\"\n}\n");

  ASSERT_TRUE(doc_.Save(Prj("b.prj")));
  EXPECT_EQ(titles, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(doc_.Root().Title(), "b");
  EXPECT_EQ(doc_.PathName(), Prj("b.prj"));
  EXPECT_FALSE(doc_.IsModified());
  EXPECT_EQ(doc_.WorkQueue().Path(), Queue("b", ".uq"));
  EXPECT_TRUE(doc_.WorkQueue().IsEmpty());
  EXPECT_TRUE(Exists(Queue("b", ".lq")));
  EXPECT_EQ(Records(Queue("a", ".uq")).size(), 1u);  // the old folder keeps its files
  EXPECT_EQ(ReadFileBytes(Prj("b.prj")), ReadFileBytes(Prj("a.prj")));

  // A failed write changes nothing.
  EXPECT_FALSE(doc_.Save(dir_.File("no/such/folder/c.prj")));
  EXPECT_EQ(doc_.LastError(), CQLMDoc::kErrWrite);
  EXPECT_EQ(doc_.Root().Title(), "b");
  EXPECT_EQ(titles.back(), "b");
  EXPECT_EQ(doc_.WorkQueue().Path(), Queue("b", ".uq"));
}

TEST_F(CQLMDocTest, EveryFieldSurvivesSaveAndOpen) {
  ASSERT_TRUE(doc_.New("full"));
  test::FillOptions(doc_.Root(), 3);
  ProjectItem* folder =
      doc_.Root().AppendChild(std::make_unique<ProjectItem>(ProjectItem::kFolder));
  folder->SetTitle("\x83\x74\x83\x48");
  test::FillOptions(*folder, 4);
  ProjectItem* record = folder->AppendChild(std::make_unique<ProjectItem>(ProjectItem::kRecord));
  record->SetURL("http://h/x%y\"z");
  record->SetTitle("t");
  record->SetLocalName("l");
  test::FillOptions(*record, 5);
  ASSERT_TRUE(doc_.Save(Prj("full.prj")));

  CQLMDoc again(settings_, prompt_);
  ASSERT_TRUE(again.Open(Prj("full.prj")));
  test::ExpectSameTree(doc_.Root(), again.Root(), "full");
}

TEST_F(CQLMDocTest, CloseIsRefusedWhileAPatrolRuns) {
  ASSERT_TRUE(doc_.New("p"));
  EXPECT_TRUE(doc_.CanClose());
  doc_.SetPatrolRunning(true);
  EXPECT_FALSE(doc_.CanClose());
  EXPECT_EQ(prompt_.messages, std::vector<std::string>{std::string(CQLMDoc::kPatrolRunning)});
  doc_.SetPatrolRunning(false);
  EXPECT_TRUE(doc_.CanClose());
  doc_.Root().AppendChild(std::make_unique<ProjectItem>(ProjectItem::kFolder));
  doc_.Close();
  EXPECT_EQ(doc_.Root().FirstChild(), nullptr);
  EXPECT_FALSE(doc_.WorkQueue().IsOpen());
}

}  // namespace
}  // namespace qlm
