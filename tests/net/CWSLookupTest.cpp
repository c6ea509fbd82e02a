// CWSLookup with a scripted resolver: addresses in order, failures, and cancels that never
// complete.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "net/CWSLookup.h"
#include "platform/WinSockErrors.h"
#include "tests/net/NetTestFixture.h"
#include "tests/support/ScriptedResolver.h"
#include "tests/support/ThreadCount.h"

namespace qlm {
namespace {

class LookupOwner : public ILookupOwner {
 public:
  void OnLookupEnd(std::uint32_t cookie, int error) override {
    cookies.push_back(cookie);
    errors.push_back(error);
  }
  std::vector<std::uint32_t> cookies;
  std::vector<int> errors;
};

class CWSLookupTest : public test::NetTest {
 protected:
  std::vector<std::string> AllAddresses() {
    std::vector<std::string> out;
    sockaddr_in address{};
    for (bool found = lookup_.FirstAddress(&address); found;
         found = lookup_.NextAddress(&address)) {
      EXPECT_EQ(address.sin_family, AF_INET);
      EXPECT_EQ(address.sin_port, 0);
      out.push_back(inet_ntoa(address.sin_addr));
    }
    return out;
  }

  test::ResolverScope resolver_;
  CWSLookup lookup_;
  LookupOwner owner_;
};

TEST_F(CWSLookupTest, HandsOutEveryAddressInOrderAndAgainFromTheFirst) {
  resolver_->Add("multi.test", {"10.1.0.1", "10.1.0.2", "127.0.0.1"});
  const std::string host = "multi.test";
  ASSERT_EQ(lookup_.Start(&host, &owner_, 5), 0);
  EXPECT_EQ(lookup_.State(), CWSLookup::kPending);
  sockaddr_in address{};
  EXPECT_FALSE(lookup_.FirstAddress(&address)) << "nothing before the lookup is done";
  ASSERT_TRUE(RunUntil([&] { return !owner_.errors.empty(); }));
  EXPECT_EQ(owner_.cookies, std::vector<std::uint32_t>{5});
  EXPECT_EQ(owner_.errors, std::vector<int>{0});
  EXPECT_EQ(lookup_.State(), CWSLookup::kDone);
  const std::vector<std::string> expected{"10.1.0.1", "10.1.0.2", "127.0.0.1"};
  EXPECT_EQ(AllAddresses(), expected);
  EXPECT_EQ(AllAddresses(), expected) << "FirstAddress starts over";
}

TEST_F(CWSLookupTest, FailureKeepsTheErrorAndHandsOutNothing) {
  const std::string host = "nowhere.test";
  ASSERT_EQ(lookup_.Start(&host, &owner_, 0), 0);
  ASSERT_TRUE(RunUntil([&] { return !owner_.errors.empty(); }));
  EXPECT_EQ(owner_.errors, std::vector<int>{WSAHOST_NOT_FOUND});
  EXPECT_EQ(lookup_.State(), CWSLookup::kIdleOrFailed);
  EXPECT_EQ(lookup_.Error(), WSAHOST_NOT_FOUND);
  EXPECT_TRUE(AllAddresses().empty());
}

TEST_F(CWSLookupTest, SecondStartWhilePendingAndCancelWithNothingPendingAreRefused) {
  resolver_->Add("a.test", {"127.0.0.1"});
  resolver_->Hold();
  const std::string host = "a.test";
  EXPECT_EQ(lookup_.Cancel(), CWSLookup::kErrorNothingToCancel);
  ASSERT_EQ(lookup_.Start(&host, &owner_, 0), 0);
  EXPECT_EQ(lookup_.Start(&host, &owner_, 0), CWSLookup::kErrorAlreadyPending);
  resolver_->Release();
  ASSERT_TRUE(RunUntil([&] { return !owner_.errors.empty(); }));
  EXPECT_EQ(owner_.errors.size(), 1u);
}

TEST_F(CWSLookupTest, CancelledLookupNeverCompletesWhetherItsAnswerCameBeforeOrAfter) {
  resolver_->Add("slow.test", {"127.0.0.1"});
  const std::string host = "slow.test";
  // Cancelled while the resolver is still at work.
  resolver_->Hold();
  ASSERT_EQ(lookup_.Start(&host, &owner_, 0), 0);
  EXPECT_EQ(lookup_.Cancel(), 0);
  EXPECT_EQ(lookup_.State(), CWSLookup::kIdleOrFailed);
  resolver_->Release();
  ASSERT_TRUE(test::WaitForLookupThreads());
  Settle();
  EXPECT_TRUE(owner_.errors.empty());

  // Cancelled after the answer was posted but before it was delivered.
  ASSERT_EQ(lookup_.Start(&host, &owner_, 0), 0);
  ASSERT_TRUE(test::WaitForLookupThreads());
  ASSERT_TRUE(loop_.HasWaitingMessages());
  EXPECT_EQ(lookup_.Cancel(), 0);
  Settle();
  EXPECT_TRUE(owner_.errors.empty());
  EXPECT_EQ(WSEventRegistry::Instance().Size(), 0u);
}

// A page that names many hosts starts many lookups; a few threads carry them all out.
TEST_F(CWSLookupTest, ManyLookupsAtOnceShareAFewThreads) {
  resolver_->Add("many.test", {"127.0.0.2"});
  resolver_->Hold();
  const std::string host = "many.test";
  const std::size_t before = test::ThreadsOfThisProcess();
  std::vector<std::unique_ptr<CWSLookup>> lookups;
  std::vector<LookupOwner> owners(40);
  for (LookupOwner& owner : owners) {
    lookups.push_back(std::make_unique<CWSLookup>());
    ASSERT_EQ(lookups.back()->Start(&host, &owner, 0), 0);
  }
  EXPECT_LE(test::ThreadsOfThisProcess(), before + 8);
  resolver_->Release();
  ASSERT_TRUE(RunUntil([&] {
    return std::all_of(owners.begin(), owners.end(),
                       [](const LookupOwner& owner) { return !owner.errors.empty(); });
  }));
  for (const LookupOwner& owner : owners) EXPECT_EQ(owner.errors, std::vector<int>{0});
  EXPECT_EQ(lookups.front()->State(), CWSLookup::kDone);
}

TEST_F(CWSLookupTest, DestroyingAPendingLookupLeavesNothingBehind) {
  resolver_->Add("gone.test", {"127.0.0.1"});
  resolver_->Hold();
  const std::string host = "gone.test";
  {
    CWSLookup lookup;
    ASSERT_EQ(lookup.Start(&host, &owner_, 0), 0);
  }
  EXPECT_EQ(WSEventRegistry::Instance().Size(), 0u);
  resolver_->Release();
  ASSERT_TRUE(test::WaitForLookupThreads());
  Settle();
  EXPECT_TRUE(owner_.errors.empty());
}

TEST_F(CWSLookupTest, WithoutTheHiddenWindowALookupCannotStart) {
  window_.Destroy();
  const std::string host = "a.test";
  EXPECT_EQ(lookup_.Start(&host, &owner_, 0), WSAEINVAL);
  EXPECT_EQ(lookup_.State(), CWSLookup::kIdleOrFailed);
}

}  // namespace
}  // namespace qlm
