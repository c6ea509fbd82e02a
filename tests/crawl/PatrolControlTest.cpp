// How a patrol is started, limited and ended: the dial-up line, requests out of turn, one item's
// subtree, records that wait for a robots.txt when the patrol stops, and the saved-data requests
// the manager passes on.
#include <gtest/gtest.h>

#include <algorithm>

#include "crawl/CrawlMessages.h"
#include "crawl/DLManager.h"
#include "net/CRasMan.h"
#include "net/RasCodes.h"
#include "platform/Messaging.h"
#include "tests/crawl/PatrolHarness.h"
#include "tests/support/ScriptedDialBackend.h"
#include "tests/support/ScriptedResolver.h"
#include "tests/support/SiteServer.h"

namespace qlm {
namespace {

using test::PatrolCounters;
using test::PatrolHarness;
using test::SiteServer;
using Targets = std::vector<std::string>;

class DialTest : public testing::Test {
 protected:
  DialTest() {
    site_.Route("/", SiteServer::Html("page"));
    patrol_.Settings().SetStored(AppNumber::AutoDialup, 1);
    patrol_.AddUrl(patrol_.Root(), site_.Url("/"));
    EXPECT_TRUE(ras_.Create(0));
  }

  SiteServer site_;
  PatrolHarness patrol_;
  test::TempDir dir_;
  test::ScriptedDialBackend backend_;
  CRasMan ras_{backend_, Profile(dir_.File("Quillmere.ini"))};
};

TEST_F(DialTest, APatrolDialsFirstAndGivesTheLineBackBeforeItLocalises) {
  backend_.AddAttempt({{RASCS_OpenPort, 0}, {RASCS_Connected, 0}});
  ASSERT_TRUE(patrol_.Run([&](PatrolRequest& r) { r.dialer = &ras_; }));
  EXPECT_EQ(site_.Count("/"), 1u);
  EXPECT_EQ(patrol_.Counters(), (PatrolCounters{1, 0, 1, 0, 1, 1}));
  EXPECT_EQ(backend_.DialCount(), 1);
  ASSERT_TRUE(patrol_.PumpUntil([&] { return backend_.HangUpCount() == 1; }));
  EXPECT_FALSE(ras_.IsUp());
}

TEST_F(DialTest, AFailedDialEndsThePatrolWithNothingTakenFromTheProject) {
  backend_.FailNextDial(ERROR_HARDWARE_FAILURE);
  ASSERT_TRUE(patrol_.Run([&](PatrolRequest& r) { r.dialer = &ras_; }));
  EXPECT_EQ(site_.Count("/"), 0u);
  EXPECT_EQ(patrol_.Counters(), PatrolCounters{});
  EXPECT_TRUE(patrol_.Doc().WorkQueue().IsEmpty());
}

TEST_F(DialTest, AStopWhileDiallingEndsWhenTheLineIsGivenUp) {
  // No attempt scripted: the dial stays under way until the test ends it.
  patrol_.Begin([&](PatrolRequest& r) { r.dialer = &ras_; });
  ASSERT_TRUE(patrol_.PumpUntil([&] { return backend_.DialCount() == 1; }));
  patrol_.Stop();
  ASSERT_TRUE(patrol_.WaitForEnd());
  EXPECT_EQ(site_.Count("/"), 0u);
  EXPECT_EQ(patrol_.Counters(), PatrolCounters{});
}

TEST(PatrolControlTest, RequestsOutOfTurnAreTakenInTheStateTheManagerIsIn) {
  struct Row {
    const char* question;
    std::vector<unsigned> messages;  // posted to the manager one after the other
    std::size_t fetched;
    PatrolCounters counters;
  };
  const Row rows[] = {
      {"stop before a start: ends, nothing taken?", {kMsgStop}, 0, {}},
      {"stop twice before a start: ends once?", {kMsgStop, kMsgStop}, 0, {}},
      {"start twice: one patrol, the page fetched once?",
       {kMsgStart, kMsgStart},
       1,
       {1, 0, 1, 0, 1, 1}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.question);
    SiteServer site;
    site.Route("/", SiteServer::Html("page"));
    PatrolHarness patrol;
    patrol.AddUrl(patrol.Root(), site.Url("/"));
    patrol.Begin(nullptr, false);
    ASSERT_TRUE(patrol.PumpUntil([&] { return patrol.Manager() != 0; }));
    for (const unsigned message : row.messages) PostMessage(patrol.Manager(), message);
    ASSERT_TRUE(patrol.WaitForEnd());
    // Time for an end told twice to arrive.
    patrol.PumpUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(site.Count("/"), row.fetched);
    EXPECT_EQ(patrol.Counters(), row.counters);
    EXPECT_EQ(std::count(patrol.Messages().begin(), patrol.Messages().end(), kMsgPatrolEnded), 1);
    EXPECT_TRUE(patrol.Doc().WorkQueue().IsEmpty());
  }
}

TEST(PatrolControlTest, OneItemsSubtreeIsPatrolledAlone) {
  SiteServer site;
  for (const char* page : {"/a.html", "/b.html", "/c.html"})
    site.Route(page, SiteServer::Html(page));
  PatrolHarness patrol;
  ProjectItem& folder = patrol.AddFolder(patrol.Root(), "F");
  patrol.AddUrl(folder, site.Url("/a.html"));
  patrol.AddUrl(folder, site.Url("/b.html"));
  patrol.AddUrl(patrol.Root(), site.Url("/c.html"));

  ASSERT_TRUE(patrol.Run([](PatrolRequest& r) { r.item = PatrolItemRef{"proj/F", ""}; }));
  Targets targets = site.Targets();
  std::sort(targets.begin(), targets.end());
  EXPECT_EQ(targets, (Targets{"/a.html", "/b.html"}));
  EXPECT_EQ(patrol.Tree().count("F/127.0.0.1/a.html"), 1u);

  ASSERT_TRUE(patrol.Run([&](PatrolRequest& r) {
    r.item = PatrolItemRef{"proj", site.Url("/c.html")};
  }));
  EXPECT_EQ(site.Targets().back(), "/c.html");
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{1, 0, 1, 0, 1, 1}));

  // An item that is not in the project patrols nothing.
  ASSERT_TRUE(patrol.Run([](PatrolRequest& r) { r.item = PatrolItemRef{"proj/G", ""}; }));
  EXPECT_EQ(patrol.Counters(), PatrolCounters{});
  EXPECT_EQ(site.Targets().size(), 3u);
}

TEST(PatrolControlTest, DigestChallengesAreNotAnsweredWithCredentials) {
  SiteServer site;
  site.Route("/",
             SiteServer::Reply(401, "", "WWW-Authenticate: Digest realm=\"r\", nonce=\"n\"\r\n"));
  PatrolHarness patrol;
  ProjectItem& item = patrol.AddUrl(patrol.Root(), site.Url("/"));
  item.SetOwn(ItemOption::UseHttpPassword, 1);
  item.SetOwnString(ItemString::HttpUserID, "user");
  ASSERT_TRUE(patrol.Run());
  EXPECT_EQ(site.Count("/"), 1u);
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{1, 0, 0, 1, 0, 0}));
}

TEST(PatrolControlTest, RecordsWaitingForARobotsTxtGoBackToTheQueueWhenThePatrolStops) {
  test::ResolverScope resolver;
  resolver->Add("a.test", {"127.0.0.1"});
  resolver->Add("b.test", {"127.0.0.1"});
  SiteServer a;
  SiteServer b;
  a.Route("/", SiteServer::Html("<a href=" + b.Url("b.test", "/1.html") +
                                ">1</a><a href=" + b.Url("b.test", "/2.html") + ">2</a>"));
  b.Hold("/robots.txt");
  PatrolHarness patrol;
  patrol.Settings().SetStored(AppNumber::UseRobotsTxt, 1);
  ProjectItem& item = patrol.AddUrl(patrol.Root(), a.Url("a.test", "/"));
  item.SetOwn(ItemOption::GraphMax, 1);
  item.SetOwn(ItemOption::PilotArea, 2);

  patrol.Begin();
  ASSERT_TRUE(patrol.PumpUntil([&] { return b.Held() >= 1; }));
  patrol.Stop();
  ASSERT_TRUE(patrol.WaitForEnd());
  // The download's record went back first, then the deferred one in front of it; nothing is held.
  EXPECT_EQ(patrol.QueuedUrls(patrol.Doc().WorkQueue()),
            (Targets{b.Url("b.test", "/2.html"), b.Url("b.test", "/1.html")}));
  EXPECT_TRUE(patrol.Doc().WorkQueue().IsEmpty(PatrolQueue::Chain::kHeld));
  EXPECT_EQ(patrol.Counters(), (PatrolCounters{3, 0, 1, 0, 1, 0}));
}

// Stands in for the saved-data operations: it answers the request by ending at once, counting
// one record the way an operation would.
class EndingHandler : public DLManager::SavedDataHandler {
 public:
  void Handle(DLManager& manager, Message& msg) override {
    if (msg.message != kMsgSavedDataStart) return;
    manager.Events().Detected();
    manager.EndPatrol();
  }
};

TEST(PatrolControlTest, SavedDataRequestsGoToTheInstalledHandlerAndEndWithoutOne) {
  PatrolHarness patrol;
  auto request_saved_data = [&] {
    patrol.Begin(nullptr, false);
    EXPECT_TRUE(patrol.PumpUntil([&] { return patrol.Manager() != 0; }));
    PostMessage(patrol.Manager(), kMsgSavedDataStart);
    return patrol.WaitForEnd();
  };
  DLManager::SetSavedDataFactory(nullptr);
  ASSERT_TRUE(request_saved_data());
  EXPECT_EQ(patrol.Counters().detected, 0);

  DLManager::SetSavedDataFactory([](DLManager&) { return std::make_unique<EndingHandler>(); });
  ASSERT_TRUE(request_saved_data());
  EXPECT_EQ(patrol.Counters().detected, 1);
  DLManager::Install();
}

}  // namespace
}  // namespace qlm
