#include "app/status_view.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

using Source = StatusFacts::Source;

StatusFacts memoryRun() {
  StatusFacts facts;
  facts.source = Source::MemoryPlayer;
  facts.playerPid = 42;
  facts.answers = true;
  facts.positionMs = 3'723'456;
  facts.playing = true;
  facts.delayMs = -1'642;
  facts.rate = 1.0431;
  facts.currentLine = "Hello / there";
  facts.nextLine = "Bye";
  facts.untilNextMs = 3'250;
  facts.overlay = StatusFacts::OverlayPlace{{240, 970, 1680, 1080}, "\\\\.\\DISPLAY1"};
  return facts;
}

// Each situation a user may be in when nothing shows, and the row that tells it, in the three
// languages.
TEST(StatusViewTest, EachRowSaysWhatTheUserNeedsToKnow) {
  struct Case {
    const char* what;
    StatusFacts facts;
    UiLanguage language;
    size_t row;
    std::string value;
  };
  const auto with = [](auto change) {
    StatusFacts facts = memoryRun();
    change(facts);
    return facts;
  };
  constexpr UiLanguage en = UiLanguage::English, cn = UiLanguage::SimplifiedChinese, tw = UiLanguage::TraditionalChinese;
  const Case cases[] = {
      {"no run", StatusFacts{}, en, 0, "Nothing: no subtitles started yet"},
      {"no run answers nothing", StatusFacts{}, en, 1, "(none)"},
      {"no run has no area", StatusFacts{}, cn, 6, "（无）"},
      {"no run hides nothing", StatusFacts{}, tw, 7, "（無）"},
      {"memory player", memoryRun(), en, 0, "PowerDVD, read from its memory (process 42)"},
      {"memory player", memoryRun(), cn, 0, "PowerDVD（从内存读取，进程 42）"},
      {"memory player not found", with([](StatusFacts& f) { f.playerPid = 0; f.answers = false; }), tw, 0,
       "PowerDVD：找不到"},
      {"interface player", with([](StatusFacts& f) { f.source = Source::InterfacePlayer; f.player = InterfacePlayer::Vlc; }),
       en, 0, "VLC"},
      {"learnt player", with([](StatusFacts& f) { f.source = Source::LearntPlayer; f.learntPlayer = "SimPlayer"; }),
       en, 0, "SimPlayer, learnt player read from its memory (process 42)"},
      {"learnt player", with([](StatusFacts& f) { f.source = Source::LearntPlayer; f.learntPlayer = "SimPlayer"; }),
       tw, 0, "SimPlayer（學習到的播放器，從記憶體讀取，處理程序 42）"},
      {"learnt player gone", with([](StatusFacts& f) { f.source = Source::LearntPlayer; f.answers = false; f.gone = true; }),
       cn, 1, "否：播放器进程已结束"},
      {"free clock", with([](StatusFacts& f) { f.source = Source::FreeClock; }), cn, 0, "自由时钟"},
      {"answers", memoryRun(), cn, 1, "是"},
      {"process ended", with([](StatusFacts& f) { f.answers = false; f.gone = true; }), en, 1,
       "No: the player's process has ended"},
      {"silent", with([](StatusFacts& f) { f.answers = false; }), cn, 1, "否：播放器没有给出位置（已停止或未找到）"},
      {"interface player silent", with([](StatusFacts& f) { f.source = Source::InterfacePlayer; f.answers = false; }), en, 1,
       "No: the player does not answer (is its interface on?)"},
      {"interface player refused the password",
       with([](StatusFacts& f) { f.source = Source::InterfacePlayer; f.answers = false; f.playerState = PlayerState::Unauthorized; }),
       tw, 1, "否：播放器拒絕了密碼"},
      {"interface player stopped",
       with([](StatusFacts& f) { f.source = Source::InterfacePlayer; f.answers = false; f.playerState = PlayerState::NoFilm; }),
       cn, 1, "否：播放器没有在播放（已停止）"},
      {"playing", memoryRun(), en, 2, "1:02:03.4, playing"},
      {"paused at 0", with([](StatusFacts& f) { f.positionMs = 0; f.playing = false; }), tw, 2, "0:00:00.0，已暫停"},
      {"no position while silent", with([](StatusFacts& f) { f.answers = false; }), en, 2, "(none)"},
      {"delay and rate", memoryRun(), en, 3, "-1642 ms, rate 1.0431"},
      {"delay and rate", memoryRun(), tw, 3, "-1642 毫秒，速率 1.0431"},
      {"current line", memoryRun(), en, 4, "Hello / there"},
      {"between lines", with([](StatusFacts& f) { f.currentLine.clear(); }), cn, 4, "（无）"},
      {"next line", memoryRun(), en, 5, "in 3.2 s: Bye"},
      {"next line", memoryRun(), cn, 5, "3.2 秒后：Bye"},
      {"after the last line", with([](StatusFacts& f) { f.nextLine.clear(); }), en, 5, "(none)"},
      {"area on a monitor", memoryRun(), en, 6, "left 240, top 970, 1440 × 110, on monitor \\\\.\\DISPLAY1"},
      {"area off screen", with([](StatusFacts& f) { f.overlay->monitor.clear(); }), tw, 6,
       "左 240，上 970，1440 × 110，不在任何顯示器上（螢幕外）"},
      {"shown", memoryRun(), en, 7, "No"},
      {"hidden", with([](StatusFacts& f) { f.hidden = true; }), cn, 7, "是（再按 F8 即可显示）"},
      {"no second file", memoryRun(), en, 8, "No second file"},
      {"no second file, no line", memoryRun(), tw, 9, "（無）"},
      {"second file", with([](StatusFacts& f) { f.second = {{-300, "", "Later", 1'500}}; }), cn, 8, "显示中，自身延迟 -300 毫秒"},
      {"second file between lines", with([](StatusFacts& f) { f.second = {{0, "", "Later", 1'500}}; }), en, 9, "(none)"},
      {"second file's next line", with([](StatusFacts& f) { f.second = {{0, "", "Later", 1'500}}; }), tw, 10,
       "1.5 秒後：Later"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<StatusRow> rows = statusRows(c.facts, c.language);
    ASSERT_EQ(rows.size(), 11u);
    EXPECT_EQ(rows[c.row].value, c.value);
  }
}

TEST(StatusViewTest, EveryLanguageLabelsEachRow) {
  for (const UiLanguage language :
       {UiLanguage::English, UiLanguage::SimplifiedChinese, UiLanguage::TraditionalChinese}) {
    for (const StatusRow& row : statusRows(memoryRun(), language)) {
      EXPECT_FALSE(row.label.empty());
      EXPECT_FALSE(row.value.empty()) << row.label;
    }
  }
  EXPECT_EQ(statusRows(memoryRun(), UiLanguage::TraditionalChinese)[0].label, "時間來源");
}

TEST(StatusViewTest, TheLineOnAtAPositionAndTheOneAfterIt) {
  const CueTable table = CueTable::fromSorted({{1'000, 2'000, "a"}, {3'000, 4'000, "b"}, {4'000, 5'000, "c"}});
  struct Case {
    int32_t positionMs;
    const char* current;  // null: none
    const char* next;
  };
  const Case cases[] = {
      {0, nullptr, "a"},   {1'000, "a", "b"},  {1'999, "a", "b"}, {2'000, nullptr, "b"},
      {3'999, "b", "c"},   {4'000, "c", nullptr}, {5'000, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.positionMs);
    const LinesAround lines = linesAround(table, c.positionMs);
    const auto text = [](const Cue* cue) { return cue ? cue->text : std::string("-"); };
    EXPECT_EQ(text(lines.current), c.current ? c.current : "-");
    EXPECT_EQ(text(lines.next), c.next ? c.next : "-");
  }
  EXPECT_EQ(linesAround(CueTable::fromSorted({}), 0).next, nullptr);
}

}  // namespace
}  // namespace quorvane
