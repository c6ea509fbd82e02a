#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/HeadlessPatrol.h"
#include "app/ListCommand.h"
#include "platform/NamedMutex.h"
#include "platform/Folders.h"
#include "project/PatrolQueue.h"
#include "project/RecordWriter.h"
#include "tests/support/TempHome.h"

namespace qlm {
namespace {

struct Result {
  int status;
  std::string out, err;
};

std::string Drain(std::FILE* file) {
  std::string text(static_cast<std::size_t>(std::ftell(file)), '\0');
  std::rewind(file);
  text.resize(std::fread(text.data(), 1, text.size(), file));
  std::fclose(file);
  return text;
}

Result List(const std::string& path, bool assume_yes = false, std::string input = "") {
  std::FILE* in = fmemopen(input.data(), input.size() + 1, "r");
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  Result r;
  r.status = ListCommand::Run(path, assume_yes, in, out, err);
  std::fclose(in);
  r.out = Drain(out);
  r.err = Drain(err);
  return r;
}

// A work queue of the older version 10050 with one record (four integers, five strings).
bool WriteOldWorkQueue(const std::string& folder, const std::string& name) {
  if (!CreateFolders(folder, 0755)) return false;
  PatrolQueue q(10050);
  if (!q.Open(folder + name + ".uq")) return false;
  RecordWriter w;
  for (int i = 0; i < 4; ++i) w.AddInt(i);
  for (int i = 0; i < 5; ++i) w.AddString("s");
  return q.Append(std::string_view(w.Bytes()));
}

// The options of an item that sets nothing, under a root that sets nothing, with the settings'
// built-in values.
const char* const kDefaults =
    " PilotArea=0 RenewalType=2 NoCache=0 ConnectionTimeout=60 ReplyRcvTimeout=60"
    " CtlRcvTimeout=60 DataRcvTimeout=60 CloseTimeout=60 DLTotalTimeout=0 DLoadRetry=1";

TEST(ListCommand, PrintsEachItemWithItsEffectiveOptions) {
  test::TempDir dir;
  const std::string path = dir.File("site.prj");
  ASSERT_TRUE(test::WriteFileBytes(
      path,
      "ProjectDefault{ GraphMax=3 UseHttpPassword=1 HttpUserID=\"me\" HttpPassword=\"xyzxyz\" }\n"
      "Folder=\"\x83\x74\" { PilotType=Forbidden NoCache=1 UseExtFilter=1 ExtImage=\"png\"\n"
      "  Record { URL=\"http://h/%41\" Title=\"a\" AccessInterval=4 }\n"
      "  Folder=\"in\" { }\n"
      "}\n"
      "Record { }\n"));
  const Result r = List(path);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string http = " LocalizeLink=0 UseHttpPassword=1 HttpUserID=\"me\"";
  const std::string app_ext =
      " UseExtFilter=0 DLNoExt=1 ExtHtml=\"htm;html;shtml\" ExtText=\"txt;doc\""
      " ExtImage=\"gif;jpg;jpeg;bmp\" ExtAudio=\"wav;aif,mid\" ExtVideo=\"avi\""
      " ExtApplication=\"\" ExtOthers=\"\"";
  const std::string own_ext =
      " UseExtFilter=1 DLNoExt=1 ExtHtml=\"\" ExtText=\"\" ExtImage=\"png\" ExtAudio=\"\""
      " ExtVideo=\"\" ExtApplication=\"\" ExtOthers=\"\"";
  const std::string uv =
      " UseUVExtFilter=0 NotDLNoExt=0 UVExtHtml=\"\" UVExtText=\"\" UVExtImage=\"\""
      " UVExtAudio=\"\" UVExtVideo=\"\" UVExtApplication=\"\" UVExtOthers=\"\"\n";
  const std::string forbidden_folder = std::string(" PilotType=1") + kDefaults;
  std::string no_cache = forbidden_folder;
  no_cache.replace(no_cache.find("NoCache=0"), 9, "NoCache=1");
  const std::string want = std::string("ProjectDefault \"site\" PilotType=0") + kDefaults +
                           " GraphMax=3 AccessInterval=10" + http + app_ext + uv +  //
                           "  Folder \"\x83\x74\"" + no_cache + " GraphMax=3 AccessInterval=10" +
                           http + own_ext + uv + "    Record \"a\" \"http://h/A\"" + no_cache +
                           " GraphMax=3 AccessInterval=4" + http + own_ext + uv +  //
                           "    Folder \"in\"" + no_cache + " GraphMax=3 AccessInterval=10" + http +
                           own_ext + uv + "  Record \"\" \"\" PilotType=0" + kDefaults +
                           " GraphMax=3 AccessInterval=10" + http + app_ext + uv;
  EXPECT_EQ(r.out, want);
  EXPECT_EQ(r.out.find(" HttpPassword="), std::string::npos);
  // The project was opened as the main program opens it.
  EXPECT_EQ(test::ReadFileBytes(DataFolder() + "Mirror/site/site.uq").size(), 44u);
}

TEST(ListCommand, FilesThatCannotBeOpenedEndWithStatusTwo) {
  test::TempDir dir;
  Result r = List(dir.File("missing.prj"));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "QLM: cannot read the project file " + dir.File("missing.prj") +
                       ": No such file or directory\n");
  r = List(dir.File("missing"));  // the name the file would have
  EXPECT_NE(r.err.find(dir.File("missing.prj")), std::string::npos);
  r = List(dir.Path());
  EXPECT_EQ(r.status, 2);
  std::filesystem::create_directories(dir.File("d.prj"));
  r = List(dir.File("d.prj"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Is a directory"), std::string::npos) << r.err;
}

TEST(ListCommand, OldQueueFilesAreConvertedOnlyWhenTheUserSaysYes) {
  test::TempDir dir;
  const std::string path = dir.File("old.prj");
  ASSERT_TRUE(test::WriteFileBytes(path, "ProjectDefault\n{\n}\n"));
  const std::string folder = DataFolder() + "Mirror/old/";
  ASSERT_TRUE(WriteOldWorkQueue(folder, "old"));
  Result r = List(path, false, "n\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(" [y/N] "), std::string::npos);
  EXPECT_NE(r.err.find("were not converted"), std::string::npos);
  r = List(path, true);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("[y/N] yes"), std::string::npos);
  EXPECT_EQ(r.out.rfind("ProjectDefault \"old\"", 0), 0u);
}

// A patrol of the project owns its queue files: listing the project meanwhile must neither ask to
// convert them nor rewrite them, and still shows the tree.
TEST(ListCommand, LeavesTheQueueFilesOfARunningPatrolAlone) {
  test::TempDir dir;
  const std::string path = dir.File("busy.prj");
  ASSERT_TRUE(test::WriteFileBytes(path, "ProjectDefault\n{\n}\n"));
  const std::string folder = DataFolder() + "Mirror/busy/";
  ASSERT_TRUE(WriteOldWorkQueue(folder, "busy"));
  const std::string before = test::ReadFileBytes(folder + "busy.uq");
  NamedMutex patrol(HeadlessPatrol::LockName(folder));
  ASSERT_TRUE(patrol.TryLock());

  const Result r = List(path);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("ProjectDefault \"busy\"", 0), 0u);
  EXPECT_EQ(r.err.find("[y/N]"), std::string::npos);
  EXPECT_EQ(test::ReadFileBytes(folder + "busy.uq"), before);
  EXPECT_FALSE(std::filesystem::exists(folder + "busy.lq"));
}

}  // namespace
}  // namespace qlm
