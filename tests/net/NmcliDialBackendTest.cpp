// The NetworkManager back end against a scripted stand-in for nmcli (NetworkManager cannot run
// here): the real back end runs it as a child process, parses what it prints and posts the states.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "net/CRasMan.h"
#include "net/NmcliDialBackend.h"
#include "net/RasCodes.h"
#include "platform/EventLoop.h"
#include "platform/MessageIds.h"
#include "platform/Messaging.h"
#include "platform/MonotonicClock.h"
#include "tests/support/FakeNmcli.h"
#include "tests/support/LambdaWindow.h"
#include "tests/support/TempHome.h"
#include "tests/support/Watchdog.h"

namespace qlm {
namespace {

using test::LambdaWindow;
using test::ReadFileBytes;
using test::WriteFileBytes;
using Notice = std::pair<int, std::int64_t>;
using Notices = std::vector<Notice>;

class NmcliTest : public testing::Test {
 protected:
  NmcliTest() {
    nmcli_ = dir_.File("nmcli");
    test::WriteFakeNmcli(nmcli_);
    mkdir(dir_.File("secrets-folder").c_str(), 0700);
    notify_.SetHandler([](Message& msg) {
      if (msg.message == kEvent && (msg.lparam != 0 || msg.wparam == RASCS_Connected)) {
        PostQuitMessage(0);
      }
      return 0;
    });
    notify_.Create();
  }

  void Put(const std::string& name, const std::string& bytes) {
    WriteFileBytes(dir_.File(name), bytes);
  }
  void PutSetting(const std::string& profile, const std::string& setting,
                  const std::string& value) {
    mkdir(dir_.File("settings").c_str(), 0755);
    mkdir(dir_.File("settings/" + profile).c_str(), 0755);
    Put("settings/" + profile + "/" + setting, value + "\n");
  }
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    const std::string log = ReadFileBytes(dir_.File("log"));
    std::size_t start = 0;
    for (std::size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
      lines.push_back(log.substr(start, end - start));
    }
    return lines;
  }
  bool Logged(const std::string& line) const {
    for (const std::string& l : LogLines()) {
      if (l == line) return true;
    }
    return false;
  }
  // The events posted for one connection, until its outcome.
  Notices DialAndWait(NmcliDialBackend& backend, const std::string& entry,
                      const std::string& password = "") {
    DialConn conn = 0;
    EXPECT_EQ(backend.Dial(DialParams{entry, "", password}, notify_.Handle(), kEvent, &conn), 0);
    EXPECT_NE(conn, 0u);
    loop_.Run();
    Notices notices;
    for (const auto& seen : notify_.Received()) {
      if (seen.message == kEvent) notices.emplace_back(static_cast<int>(seen.wparam), seen.lparam);
    }
    return notices;
  }
  NmcliDialBackend Backend() { return NmcliDialBackend(nmcli_, dir_.File("secrets-folder")); }

  static constexpr unsigned kEvent = WM_USER + 500;
  test::TempDir dir_;
  std::string nmcli_;
  EventLoop loop_{MonotonicClock::Instance()};
  test::Watchdog watchdog_{std::chrono::seconds(30), loop_.Id()};
  LambdaWindow notify_;
};

TEST_F(NmcliTest, ProfilesAreTheEntriesWithoutLoopback) {
  Put("profiles",
      "lo:loopback\nWired connection 1:802-3-ethernet\nMy\\:ISP:gsm\nback\\\\slash:pppoe\n");
  NmcliDialBackend backend(nmcli_);
  EXPECT_EQ(backend.Entries(),
            (std::vector<std::string>{"Wired connection 1", "My:ISP", "back\\slash"}));
  // Every call runs in the C locale, so that the reasons can be read.
  EXPECT_EQ(ReadFileBytes(dir_.File("locale")), "C\n");
}

TEST_F(NmcliTest, WithoutNetworkManagerThereAreNoEntriesAndDialsFailAtOnce) {
  Put("profiles", "office:gsm\n");
  Put("notrunning", "");
  NmcliDialBackend stopped(nmcli_);
  EXPECT_TRUE(stopped.Entries().empty());
  DialConn conn = 0;
  EXPECT_EQ(stopped.Dial(DialParams{"office", "", ""}, notify_.Handle(), kEvent, &conn),
            ERROR_RASMAN_CANNOT_INITIALIZE);
  EXPECT_EQ(stopped.FindConnected("office"), 0u);

  NmcliDialBackend missing(dir_.File("no-such-nmcli"));
  EXPECT_TRUE(missing.Entries().empty());
  EXPECT_EQ(missing.Dial(DialParams{"office", "", ""}, notify_.Handle(), kEvent, &conn),
            ERROR_RASMAN_CANNOT_INITIALIZE);
}

TEST_F(NmcliTest, NoBackEndMeansTheUnexpectedErrorAndNoLineThroughTheManager) {
  NmcliDialBackend missing(dir_.File("no-such-nmcli"));
  LambdaWindow owner, manager;
  owner.Create();
  manager.Create();
  CRasMan ras(missing, Profile(dir_.File("q.ini")));
  ASSERT_TRUE(ras.Create(owner.Handle()));
  ras.SetSettings(DialSettings{"", 2, ""});
  EXPECT_TRUE(ras.Entries().empty());
  ras.Dial(manager.Handle());
  loop_.RunPending();
  ASSERT_EQ(owner.Received().size(), 1u);
  const auto& notice = owner.Received()[0];
  EXPECT_EQ(notice.message, CRasMan::kNoticeMessage);
  EXPECT_EQ(notice.wparam, 0u);
  EXPECT_NE(notice.lparam, 0);
  EXPECT_EQ(DialStatusText(0, notice.lparam),
            std::string_view("\x97\x5C\x8A\xFA\x82\xB9\x82\xCA\x83\x47\x83\x89\x81\x5B\x82\xAA"
                             "\x94\xAD\x90\xB6\x82\xB5\x82\xDC\x82\xB5\x82\xBD"));
  EXPECT_EQ(manager.Received().size(), 1u);
}

TEST_F(NmcliTest, DialBringsTheProfileUpAndHangUpTakesItDown) {
  Put("profiles", "office:gsm\n");
  NmcliDialBackend backend = Backend();
  EXPECT_EQ(DialAndWait(backend, "office"), (Notices{{RASCS_OpenPort, 0}, {RASCS_Connected, 0}}));
  EXPECT_TRUE(Logged("-w 90 connection up id office"));
  EXPECT_EQ(ReadFileBytes(dir_.File("active")), "office:activated\n");

  const DialConn conn = backend.FindConnected("office");
  ASSERT_NE(conn, 0u);
  int state = 0;
  EXPECT_EQ(backend.ConnectStatus(conn, &state), 0);
  EXPECT_EQ(state, RASCS_Connected);
  backend.HangUp(conn);
  EXPECT_TRUE(Logged("connection down id office"));
  EXPECT_EQ(ReadFileBytes(dir_.File("active")), "");
  EXPECT_EQ(backend.ConnectStatus(conn, &state), ERROR_INVALID_HANDLE);
}

TEST_F(NmcliTest, ProgressOfTheDeviceIsPostedAsConnectionStates) {
  Put("profiles", "office:gsm\n");
  Put("device", "lo:connected (externally):lo\nttyUSB0:connecting (need authentication):office\n");
  Put("up.sleep", "1.2");
  NmcliDialBackend backend = Backend();
  EXPECT_EQ(DialAndWait(backend, "office"),
            (Notices{{RASCS_OpenPort, 0}, {RASCS_Authenticate, 0}, {RASCS_Connected, 0}}));
}

TEST_F(NmcliTest, FailedActivationPostsTheErrorOfItsReason) {
  Put("profiles", "office:gsm\n");
  Put("up.rc", "4");
  Put("up.out",
      "Error: Connection activation failed: The line is busy\n"
      "Hint: use 'journalctl -xe NM_CONNECTION=x + NM_DEVICE=ttyUSB0' to get more details.\n");
  NmcliDialBackend backend = Backend();
  EXPECT_EQ(DialAndWait(backend, "office"), (Notices{{RASCS_OpenPort, 0}, {0, ERROR_LINE_BUSY}}));
  EXPECT_EQ(ReadFileBytes(dir_.File("active")), "");
}

TEST_F(NmcliTest, UnknownProfileIsRefusedBeforeAnythingIsDialled) {
  Put("profiles", "office:gsm\n");
  NmcliDialBackend backend = Backend();
  DialConn conn = 0;
  EXPECT_EQ(backend.Dial(DialParams{"elsewhere", "", ""}, notify_.Handle(), kEvent, &conn),
            ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
  EXPECT_EQ(backend.Dial(DialParams{"", "", ""}, notify_.Handle(), kEvent, &conn),
            ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
  for (const std::string& line : LogLines())
    EXPECT_EQ(line.find("connection up"), std::string::npos);
}

TEST_F(NmcliTest, SavedCredentialsAreReadAndAGivenPasswordIsHandedOverInAPrivateFile) {
  Put("profiles", "office:gsm\n");
  PutSetting("office", "connection.type", "gsm");
  PutSetting("office", "gsm.username", "me");
  NmcliDialBackend backend = Backend();
  DialParams params{"office", "", ""};
  backend.GetEntryDialParams(&params);
  EXPECT_EQ(params.user, "me");
  EXPECT_EQ(params.password, "");  // none saved: the manager supplies the stored one

  EXPECT_EQ(DialAndWait(backend, "office", "se:cret"),
            (Notices{{RASCS_OpenPort, 0}, {RASCS_Connected, 0}}));
  EXPECT_EQ(ReadFileBytes(dir_.File("secrets")), "gsm.password:se:cret\n600\n");
  // The file is gone once the dial is over.
  const std::vector<std::string> log = LogLines();
  bool found = false;
  for (const std::string& line : log) {
    const std::size_t at = line.find("passwd-file ");
    if (at == std::string::npos) continue;
    found = true;
    struct stat st;
    EXPECT_NE(stat(line.substr(at + 12).c_str(), &st), 0);
  }
  EXPECT_TRUE(found);

  PutSetting("office", "gsm.password", "saved\\:pw");
  backend.GetEntryDialParams(&params);
  EXPECT_EQ(params.password, "saved:pw");
}

TEST_F(NmcliTest, LogonInformationIsSavedWithTheProfileOrItsPasswordForgotten) {
  Put("profiles", "office:gsm\nwired:802-3-ethernet\n");
  PutSetting("office", "connection.type", "gsm");
  PutSetting("wired", "connection.type", "802-3-ethernet");
  NmcliDialBackend backend = Backend();
  struct Row {
    const char* question;
    bool save;
    std::string password_read, flags;
  };
  const Row rows[] = {{"Saved: read back, kept by NetworkManager?", true, "se:cret", "0"},
                      {"Not saved: forgotten, asked at each dial?", false, "", "4"}};
  for (const Row& row : rows) {
    ASSERT_TRUE(backend.SetEntryDialParams(DialParams{"office", "me", "se:cret"}, row.save));
    DialParams params{"office", "", ""};
    backend.GetEntryDialParams(&params);
    EXPECT_EQ(params.user, "me") << row.question;
    EXPECT_EQ(params.password, row.password_read) << row.question;
    EXPECT_EQ(ReadFileBytes(dir_.File("settings/office/gsm.password-flags")), row.flags + "\n")
        << row.question;
  }
  // A profile without credentials of its own, or none at all.
  EXPECT_FALSE(backend.SetEntryDialParams(DialParams{"wired", "me", "x"}, true));
  EXPECT_FALSE(backend.SetEntryDialParams(DialParams{"", "me", "x"}, true));
}

TEST_F(NmcliTest, HangUpDuringTheDialStopsItWithoutAnOutcome) {
  Put("profiles", "office:gsm\n");
  Put("up.hang", "");
  NmcliDialBackend backend = Backend();
  DialConn conn = 0;
  ASSERT_EQ(backend.Dial(DialParams{"office", "", ""}, notify_.Handle(), kEvent, &conn), 0);
  backend.HangUp(conn);  // returns once the dial thread has ended
  EXPECT_TRUE(Logged("connection down id office"));
  loop_.RunPending();
  for (const auto& seen : notify_.Received()) {
    EXPECT_TRUE(seen.wparam != RASCS_Connected && seen.lparam == 0);
  }
}

TEST(NmcliParsingTest, ReasonsBecomeTheNearestErrorNumbers) {
  const struct {
    int exit_code;
    const char* output;
    int error;
  } rows[] = {
      {0, "Connection successfully activated", 0},
      {8, "Error: NetworkManager is not running.", ERROR_RASMAN_CANNOT_INITIALIZE},
      {127, "", ERROR_RASMAN_CANNOT_INITIALIZE},
      {10, "Error: unknown connection 'x'.", ERROR_CANNOT_FIND_PHONEBOOK_ENTRY},
      {3, "Error: Timeout expired (90 seconds)", ERROR_PPP_TIMEOUT},
      {4, "Error: Connection activation failed: The line is busy", ERROR_LINE_BUSY},
      {4, "Error: Connection activation failed: No dial tone", ERROR_NO_DIALTONE},
      {4, "Error: Connection activation failed: No carrier could be established", ERROR_NO_CARRIER},
      {4, "Error: Connection activation failed: PPP service disconnected", ERROR_PORT_DISCONNECTED},
      {4, "Error: Connection activation failed: Modem initialization failed",
       ERROR_HARDWARE_FAILURE},
      {4, "Error: Connection activation failed: Secrets were required, but not provided",
       ERROR_AUTHENTICATION_FAILURE},
      {4, "Error: Connection activation failed: The dialing request timed out", ERROR_NO_ANSWER},
      {4, "Error: Connection activation failed: DHCP client failed", ERROR_UNKNOWN},
      {2, "Error: the line is busy", ERROR_UNKNOWN},  // a usage error, whatever it says
  };
  for (const auto& row : rows) {
    EXPECT_EQ(NmcliDialBackend::ErrorFromOutput(row.exit_code, row.output), row.error)
        << row.output;
  }
  EXPECT_EQ(NmcliDialBackend::StateFromDeviceState("connecting (prepare)"), RASCS_ConnectDevice);
  EXPECT_EQ(NmcliDialBackend::StateFromDeviceState("connecting (getting IP configuration)"),
            RASCS_LogonNetwork);
  EXPECT_EQ(NmcliDialBackend::StateFromDeviceState("connected"), -1);
  EXPECT_EQ(NmcliDialBackend::SplitTerse("a\\:b:c\\\\:"),
            (std::vector<std::string>{"a:b", "c\\", ""}));
}

}  // namespace
}  // namespace qlm
