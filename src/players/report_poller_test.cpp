#include "players/report_poller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvane {
namespace {

using namespace std::chrono_literals;

// A counter the questions move, so that a question's length is known exactly; it counts how
// often it is read.
struct SharedCounter {
  std::atomic<uint64_t> us{1'000'000};
  std::atomic<int> reads{0};
};

class CounterTime final : public PreciseTimeSource {
 public:
  explicit CounterTime(std::shared_ptr<SharedCounter> counter) : counter_(std::move(counter)) {}
  uint64_t nowUs() const override {
    ++counter_->reads;
    return counter_->us;
  }

 private:
  std::shared_ptr<SharedCounter> counter_;
};

// A question that waits until the test lets it answer.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool entered = false;
  bool open = false;
  bool returned = false;
};

// Waits for a condition another thread brings about; the bound only keeps a fault from hanging
// the test program.
template <class Condition>
bool eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(ReportPoller, StampsEachAnswerWithTheQuestionsSpanAndCountsThem) {
  auto counter = std::make_shared<SharedCounter>();
  const CounterTime time(counter);
  auto firstAnswerAllowed = std::make_shared<std::atomic<bool>>(false);
  ReportPoller poller(
      [counter, firstAnswerAllowed] {
        while (!*firstAnswerAllowed) std::this_thread::sleep_for(1ms);
        counter->us += 7'000;  // the exchange takes 7 ms
        PlayerReport report;
        report.state = PlayerState::Playing;
        report.positionMs = 61'000;
        return report;
      },
      time, 1);
  EXPECT_EQ(poller.latest().sequence, 0u);  // nothing before the first answer
  *firstAnswerAllowed = true;
  ASSERT_TRUE(eventually([&] { return poller.latest().sequence >= 3; }));
  const PlayerReport report = poller.latest();
  EXPECT_EQ(report.state, PlayerState::Playing);
  EXPECT_EQ(report.positionMs, 61'000);
  EXPECT_EQ(report.answeredUs - report.askedUs, 7'000u);
}

// The clock takes every answer since its last read, in order, however long since; a read
// further back than the poller keeps gets all it keeps.
TEST(ReportPoller, KeepsTheLatestAnswersInOrder) {
  constexpr int kAnswers = static_cast<int>(ReportPoller::kKeptAnswers) + 10;
  auto counter = std::make_shared<SharedCounter>();
  auto gate = std::make_shared<Gate>();
  auto asked = std::make_shared<std::atomic<int>>(0);
  const CounterTime time(counter);
  ReportPoller poller(
      [gate, asked] {
        if (++*asked > kAnswers) {  // then holds still until the test ends
          std::unique_lock lock(gate->mutex);
          gate->changed.wait(lock, [&] { return gate->open; });
        }
        PlayerReport report;
        report.state = PlayerState::Playing;
        report.positionMs = *asked;
        return report;
      },
      time, 1);
  ASSERT_TRUE(eventually([&] { return poller.latest().sequence == kAnswers; }));
  const auto all = poller.since(0);
  ASSERT_EQ(all.size(), ReportPoller::kKeptAnswers);
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i].sequence, kAnswers - ReportPoller::kKeptAnswers + 1 + i);
    EXPECT_EQ(all[i].positionMs, all[i].sequence);
  }
  const auto recent = poller.since(kAnswers - 3);
  ASSERT_EQ(recent.size(), 3u);
  EXPECT_EQ(recent.front().sequence, kAnswers - 2u);
  EXPECT_TRUE(poller.since(kAnswers).empty());
  {
    const std::lock_guard lock(gate->mutex);
    gate->open = true;
  }
  gate->changed.notify_all();
}

TEST(ReportPoller, GoesAtOnceWhileAQuestionIsInFlightAndThenKeepsOff) {
  auto counter = std::make_shared<SharedCounter>();
  auto gate = std::make_shared<Gate>();
  std::weak_ptr<Gate> askAlive = gate;
  {
    const CounterTime time(counter);
    auto poller = std::make_unique<ReportPoller>(
        [gate] {
          std::unique_lock lock(gate->mutex);
          gate->entered = true;
          gate->changed.notify_all();
          gate->changed.wait_for(lock, 20s, [&] { return gate->open; });
          gate->returned = true;
          return PlayerReport{};
        },
        time, 1);
    {
      std::unique_lock lock(gate->mutex);
      ASSERT_TRUE(gate->changed.wait_for(lock, 20s, [&] { return gate->entered; }));
    }
    poller.reset();  // a poller that waited for its question would return only after it
    const std::lock_guard lock(gate->mutex);
    EXPECT_FALSE(gate->returned);
  }  // the time source is gone too
  const int readsAtStop = counter->reads;
  {
    const std::lock_guard lock(gate->mutex);
    gate->open = true;
  }
  gate->changed.notify_all();
  gate.reset();
  // The thread ends after its question and lets go of what the question owns.
  EXPECT_TRUE(eventually([&] { return askAlive.expired(); }));
  EXPECT_EQ(counter->reads, readsAtStop);
}

// A player that makes a new position every `periodUs` from `phaseUs` on, as VLC does, asked at
// the usual pace of 43 ms and whenever the update timing asks for more; each answer takes
// `roundTripUs`. Gives the widths of the brackets of the changes seen after the first four
// seconds, and the questions asked in all.
struct Followed {
  std::vector<uint64_t> widthsUs;
  int questions = 0;
};

Followed followPlayer(uint64_t periodUs, uint64_t phaseUs, uint64_t roundTripUs, bool playing, double fraction,
                      uint64_t seconds = 10) {
  UpdateTiming timing;
  Followed followed;
  uint64_t nowUs = 0;
  uint64_t usualUs = 0;
  uint64_t lastAskedUs = 0;
  int64_t lastMade = -1;
  while (nowUs < seconds * 1'000'000) {
    const uint64_t askedUs = nowUs;
    const uint64_t answeredUs = askedUs + roundTripUs;
    // The player takes its position in the middle of the question.
    const uint64_t atUs = askedUs + roundTripUs / 2;
    const int64_t made = atUs < phaseUs ? 0 : static_cast<int64_t>((atUs - phaseUs) / periodUs) + 1;
    PlayerReport report;
    report.state = playing ? PlayerState::Playing : PlayerState::Paused;
    report.positionMs = made * 263;
    report.fraction = fraction < 0 ? fraction : fraction + static_cast<double>(made) * 1e-3;
    report.askedUs = askedUs;
    report.answeredUs = answeredUs;
    timing.take(report);
    ++followed.questions;
    if (lastMade >= 0 && made != lastMade && askedUs > 4'000'000) followed.widthsUs.push_back(answeredUs - lastAskedUs);
    lastMade = made;
    lastAskedUs = askedUs;
    if (answeredUs >= usualUs) usualUs = std::max(usualUs + 43'000, answeredUs);
    nowUs = timing.nextAskUs(usualUs, answeredUs);
  }
  return followed;
}

TEST(UpdateTimingTest, BracketsEachChangeOfAPlayerOnATimerToAFewMilliseconds) {
  struct Case {
    uint64_t periodUs, phaseUs, roundTripUs;
  };
  for (const Case c : {Case{263'000, 117'000, 3'000}, Case{263'000, 5'000, 9'000}, Case{250'000, 200'000, 1'000},
                       Case{333'000, 40'000, 6'000}}) {
    SCOPED_TRACE(c.periodUs);
    const Followed followed = followPlayer(c.periodUs, c.phaseUs, c.roundTripUs, true, 0.1);
    ASSERT_GT(followed.widthsUs.size(), 15u);
    // From the question before the change to the answer after it: a close period and two round
    // trips.
    for (const uint64_t widthUs : followed.widthsUs) EXPECT_LE(widthUs, UpdateTiming::kCloseUs + 2 * c.roundTripUs);
    // A few close questions a change, not a flood: well under twice the usual pace.
    const int usual = static_cast<int>(10'000'000 / std::max<uint64_t>(43'000, c.roundTripUs));
    EXPECT_LT(followed.questions, usual * 2);
  }
}

TEST(UpdateTimingTest, AsksAtTheUsualPaceWhereNoChangeIsDue) {
  // Paused, or a player that tells no fraction (its position moves with every question).
  for (const bool playing : {false, true}) {
    const Followed followed = followPlayer(263'000, 117'000, 3'000, playing, playing ? -1 : 0.1);
    EXPECT_LE(followed.questions, 10'000'000 / 43'000 + 1);
  }
}

}  // namespace
}  // namespace quorvane
