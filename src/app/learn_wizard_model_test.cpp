#include "app/learn_wizard_model.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(LearnWizardModel, FillsAndReadsTheTypedTime) {
  const struct {
    const char* typed;
    const char* shown;
    std::optional<int64_t> ms;
  } cases[] = {
      {"", "", std::nullopt},
      {"4", "4", std::nullopt},
      {"45", "45", std::nullopt},  // seconds alone: still being typed
      {"123", "1:23", 83'000},
      {"1234", "12:34", 754'000},
      {"12345", "1:23:45", 5'025'000},
      {"123456", "12:34:56", 45'296'000},
      {"1234567", "12:34:56", 45'296'000},  // a seventh digit is dropped
      {"1:2", "12", std::nullopt},        // typed colons are put back where they belong
      {"1:23:4", "12:34", 754'000},
      {"0:01:05", "0:01:05", 65'000},
      {"a1b2c3", "1:23", 83'000},
      {"199", "1:99", std::nullopt},      // no display shows 99 seconds
      {"17500", "1:75:00", std::nullopt},
      {"00000", "0:00:00", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    const std::string shown = fillTypedTime(c.typed);
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(typedTimeMs(shown), c.ms);
    // Filling what is shown again changes nothing: the box's own change does not move it.
    EXPECT_EQ(fillTypedTime(shown), shown);
  }
}

TEST(LearnWizardModel, JudgesEachPieceOfWork) {
  using W = LearnWork;
  using P = LearnProblem;
  const struct {
    W work;
    learn::ScanOutcome outcome;
    size_t survivors;
    P expected;
  } cases[] = {
      {W::FirstScan, learn::ScanOutcome::Done, 5000, P::None},
      {W::FirstScan, learn::ScanOutcome::TooMany, 0, P::TooCommon},
      {W::FirstScan, learn::ScanOutcome::Done, 0, P::NothingRanOn},
      {W::FirstScan, learn::ScanOutcome::PlayerGone, 0, P::PlayerGone},
      {W::Wait, learn::ScanOutcome::Done, 0, P::None},
      {W::Wait, learn::ScanOutcome::PlayerGone, 0, P::PlayerGone},
      {W::Wait, learn::ScanOutcome::Cancelled, 0, P::Cancelled},
      {W::Played, learn::ScanOutcome::Done, 0, P::NothingRanOn},  // a paused film, or a wrong typed time
      {W::Played, learn::ScanOutcome::Done, 3, P::None},
      {W::Reread, learn::ScanOutcome::Done, 0, P::None},           // judged by the step after it
      {W::Paused, learn::ScanOutcome::Done, 0, P::NothingStood},
      {W::Seeked, learn::ScanOutcome::Done, 0, P::NothingJumped},
      {W::Seeked, learn::ScanOutcome::Cancelled, 0, P::Cancelled},
      {W::FindPaths, learn::ScanOutcome::Done, 0, P::NoPath},
      {W::FindPaths, learn::ScanOutcome::Done, 1, P::None},
      {W::Prove, learn::ScanOutcome::Done, 0, P::NothingSurvives},
      {W::Prove, learn::ScanOutcome::PlayerGone, 0, P::PlayerGone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "work " << static_cast<int>(c.work) << " survivors " << c.survivors);
    EXPECT_EQ(judgeWork(c.work, c.outcome, c.survivors), c.expected);
  }
}

// Thousands left ask for one more seek, up to a limit; the seek page comes back for it.
TEST(LearnWizardModel, AsksForAnotherSeekWhileThousandsAreLeft) {
  const struct {
    size_t survivors;
    int seeks;
    LearnProblem expected;
    LearnPage then;
  } cases[] = {
      {1, 1, LearnProblem::None, LearnPage::Restart},
      {kLearnManyLeft, 1, LearnProblem::None, LearnPage::Restart},
      {kLearnManyLeft + 1, 1, LearnProblem::ManyLeft, LearnPage::Seek},
      {50'000, kLearnMaxSeeks - 1, LearnProblem::ManyLeft, LearnPage::Seek},
      {50'000, kLearnMaxSeeks, LearnProblem::TooManyLeft, LearnPage::Problem},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.survivors << " left after " << c.seeks << " seeks");
    EXPECT_EQ(judgeLeft(c.survivors, c.seeks), c.expected);
    EXPECT_EQ(pageAfterWork(LearnPage::Seek, c.expected), c.then);
  }
}

TEST(LearnWizardModel, ARestartWithoutAPlayingNewPlayerAsksAgainAndOtherProblemsEnd) {
  EXPECT_EQ(pageAfterWork(LearnPage::Restart, LearnProblem::NoNewPlayer), LearnPage::Restart);
  EXPECT_EQ(pageAfterWork(LearnPage::Restart, LearnProblem::NewPlayerStands), LearnPage::Restart);
  EXPECT_EQ(pageAfterWork(LearnPage::Restart, LearnProblem::None), LearnPage::Summary);
  EXPECT_EQ(pageAfterWork(LearnPage::Restart, LearnProblem::NothingSurvives), LearnPage::Problem);
  EXPECT_EQ(pageAfterWork(LearnPage::Pause, LearnProblem::PlayerGone), LearnPage::Problem);
}

TEST(LearnWizardModel, EnablesNextOnlyWithWhatThePageNeeds) {
  using P = LearnPage;
  const struct {
    P page;
    bool picked;
    const char* box;
    bool working;
    bool enabled;
  } cases[] = {
      {P::PickPlayer, false, "", false, false},
      {P::PickPlayer, true, "", false, true},
      {P::PickPlayer, true, "", true, false},
      {P::FirstPosition, true, "", false, false},
      {P::FirstPosition, true, "12", false, false},
      {P::FirstPosition, true, "1:23", false, true},
      {P::FirstPosition, true, "1:23", true, false},
      {P::Seek, true, "1:99", false, false},
      {P::Seek, true, "1:02:03", false, true},
      {P::Pause, true, "", false, true},
      {P::Restart, true, "", false, true},
      {P::Restart, true, "", true, false},
      {P::Summary, true, "", false, false},
      {P::Problem, true, "", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "page " << static_cast<int>(c.page) << " box '" << c.box << "'");
    EXPECT_EQ(learnNextEnabled(c.page, c.picked, c.box, c.working), c.enabled);
  }
}

// Every page, work and problem has a text in each language, and those about the player name it.
TEST(LearnWizardModel, EveryTextIsThereAndNamesThePlayer) {
  for (const UiLanguage language : {UiLanguage::English, UiLanguage::SimplifiedChinese, UiLanguage::TraditionalChinese}) {
    SCOPED_TRACE(static_cast<int>(language));
    for (int page = static_cast<int>(LearnPage::PickPlayer); page <= static_cast<int>(LearnPage::Restart); ++page) {
      const std::string text = learnPageText(static_cast<LearnPage>(page), "Zplayer.exe", language);
      EXPECT_FALSE(text.empty()) << "page " << page;
      if (page != static_cast<int>(LearnPage::PickPlayer)) {
        EXPECT_NE(text.find("Zplayer.exe"), std::string::npos) << text;
      }
    }
    for (int work = 0; work <= static_cast<int>(LearnWork::Prove); ++work) {
      EXPECT_FALSE(learnWorkText(static_cast<LearnWork>(work), language).empty()) << "work " << work;
    }
    for (int problem = static_cast<int>(LearnProblem::Cancelled); problem <= static_cast<int>(LearnProblem::CannotSave);
         ++problem) {
      const std::string text = learnProblemText(static_cast<LearnProblem>(problem), "Zplayer.exe", language);
      EXPECT_NE(text.find("Zplayer.exe"), std::string::npos) << "problem " << problem << ": " << text;
    }
  }
}

TEST(LearnWizardModel, SummarySaysWhatWasFoundAndWhere) {
  LearnSummary summary;
  summary.profile = {"LearnPlayer.exe", 8, 0x1234, {"LearnPlayer.exe", 0x2a010, {0x18, 0x40}},
                     {learn::ValueType::Float64, 1000}};
  summary.tookMs = 41'600;
  summary.savedTo = "C:\\Users\\me\\AppData\\Roaming\\Quorvane\\players\\learnplayer.exe.profile";
  const std::string text = learnSummaryText(summary, UiLanguage::English);
  for (const char* part : {"LearnPlayer.exe (x64)", "float64, 1000 ms a unit", "LearnPlayer.exe+0x2a010 > 0x18 > 0x40",
                           "took 42 s", "learnplayer.exe.profile"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
  }
}

}  // namespace
}  // namespace quorvane
