#include "syslog/collector_address.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace brennicot {
namespace {

using namespace std::chrono_literals;

// A resolver the test answers by hand; it records every look-up started.
class FakeLookup : public NameLookup {
 public:
  std::vector<std::string> started;
  int waits = 0;

  void Start(const std::string& host) override {
    started.push_back(host);
    busy_ = true;
    ready_.reset();
  }
  bool Busy() const override { return busy_; }
  std::optional<LookupAnswer> Take() override {
    if (!busy_ || !ready_) return std::nullopt;
    busy_ = false;
    return std::exchange(ready_, std::nullopt);
  }
  void Wait(std::chrono::milliseconds) override { ++waits; }
  void Answer(LookupAnswer answer) { ready_ = std::move(answer); }

 private:
  bool busy_ = false;
  std::optional<LookupAnswer> ready_;
};

const ResolvedAddress kOld{"old"};
const ResolvedAddress kNew{"new"};
const Error kNoName(-2, "Name or service not known (remote host 'c.test')");

class CollectorAddressTest : public testing::Test {
 protected:
  CollectorAddress::Millis now = 1000;
  FakeLookup* lookup = nullptr;
  CollectorAddress address{[this] {
                             auto fake = std::make_unique<FakeLookup>();
                             lookup = fake.get();
                             return fake;
                           }(),
                           [this] { return now; },
                           [](const std::string& host) { return Error(-3, "pending " + host); },
                           {60'000, 5'000}};

  // The address Current gives, or the number of the error it throws.
  std::variant<ResolvedAddress, int> Send() {
    try {
      return address.Current();
    } catch (const Error& e) {
      return e.number();
    }
  }
  using Result = std::variant<ResolvedAddress, int>;
};

TEST_F(CollectorAddressTest, LiteralIsUsedAsItIsAndNeverLookedUp) {
  address.SetHost("10.1.2.3", kOld);
  now += 3'600'000;
  address.SendFailed();
  EXPECT_EQ(Send(), Result(kOld));
  EXPECT_TRUE(lookup->started.empty());
}

TEST_F(CollectorAddressTest, SendsFailAtOnceUntilTheNameResolvesAndFailuresAreRetriedSparingly) {
  address.SetHost("c.test", std::nullopt);
  address.AwaitFirstAnswer(1500ms);
  EXPECT_EQ(lookup->waits, 1);
  EXPECT_EQ(Send(), Result(-3)) << "still being looked up";
  lookup->Answer(kNoName);
  now += 100;
  EXPECT_EQ(Send(), Result(-2)) << "the resolver's own error once known";
  now += 4'800;  // 4.9 s after the look-up began
  EXPECT_EQ(Send(), Result(-2));
  EXPECT_EQ(lookup->started.size(), 1u) << "retried too soon";
  now += 100;
  EXPECT_EQ(Send(), Result(-2)) << "the retry's answer is not there yet";
  EXPECT_EQ(lookup->started.size(), 2u);
  lookup->Answer(kOld);
  EXPECT_EQ(Send(), Result(kOld));
}

TEST_F(CollectorAddressTest, ResolvedNameIsRefreshedAndAChangeUsedFromTheNextSend) {
  address.SetHost("c.test", std::nullopt);
  lookup->Answer(kOld);
  address.AwaitFirstAnswer(1500ms);
  ASSERT_EQ(address.Known(), kOld);
  now += 59'999;
  EXPECT_EQ(Send(), Result(kOld));
  EXPECT_EQ(lookup->started.size(), 1u);
  now += 1;
  EXPECT_EQ(Send(), Result(kOld)) << "the old address while the refresh runs";
  ASSERT_EQ(lookup->started.size(), 2u);
  lookup->Answer(kNew);
  EXPECT_EQ(Send(), Result(kNew));

  // A resolver that fails keeps the last good address, retried at the shorter interval.
  now += 60'000;
  Send();
  lookup->Answer(kNoName);
  EXPECT_EQ(Send(), Result(kNew));
  now += 5'000;
  Send();
  EXPECT_EQ(lookup->started.size(), 4u);
}

TEST_F(CollectorAddressTest, SendErrorBringsTheRefreshForwardButNotIntoALookupPerMessage) {
  address.SetHost("c.test", std::nullopt);
  lookup->Answer(kOld);
  Send();
  now += 2'000;
  address.SendFailed();
  address.SendFailed();
  EXPECT_EQ(lookup->started.size(), 1u) << "within the retry interval of the last look-up";
  now += 3'000;
  address.SendFailed();
  ASSERT_EQ(lookup->started.size(), 2u);
  address.SendFailed();
  EXPECT_EQ(lookup->started.size(), 2u) << "one look-up at a time";
  lookup->Answer(kNew);
  EXPECT_EQ(Send(), Result(kNew));
}

TEST_F(CollectorAddressTest, NewHostAbandonsTheLookUpOfTheOldOne) {
  address.SetHost("a.test", std::nullopt);
  address.SetHost("b.test", std::nullopt);
  EXPECT_EQ(lookup->started, (std::vector<std::string>{"a.test", "b.test"}));
  address.SetHost("10.0.0.1", kOld);
  lookup->Answer(kNew);  // b.test answering late changes nothing
  EXPECT_EQ(Send(), Result(kOld));
}

TEST(ThreadedNameLookupTest, AnswersInTheBackgroundAndAnAbandonedLookUpHarmsNothing) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  auto lookup = std::make_unique<ThreadedNameLookup>([released](const std::string& host) {
    if (host == "stuck") released.wait();
    return LookupAnswer(ResolvedAddress{host});
  });

  lookup->Start("stuck");
  const auto before = std::chrono::steady_clock::now();
  lookup->Wait(50ms);
  EXPECT_GE(std::chrono::steady_clock::now() - before, 50ms);
  EXPECT_FALSE(lookup->Take());
  EXPECT_TRUE(lookup->Busy());

  lookup->Start("quick");  // the stuck one is abandoned
  lookup->Wait(10s);
  const auto answer = lookup->Take();
  ASSERT_TRUE(answer);
  EXPECT_EQ(std::get<ResolvedAddress>(*answer).bytes, "quick");
  EXPECT_FALSE(lookup->Busy());

  lookup.reset();
  release.set_value();  // the stuck thread now answers into a slot nobody reads
  std::this_thread::sleep_for(50ms);
}

}  // namespace
}  // namespace brennicot
