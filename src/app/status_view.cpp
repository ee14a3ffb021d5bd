#include "app/status_view.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace quorvane {
namespace {

enum class Say {
  SourceLabel, AnswersLabel, PositionLabel, TimingLabel, CurrentLabel, NextLabel, AreaLabel, HiddenLabel,
  NoRun, MemoryPlayer, MemoryPlayerMissing, LearntPlayer, FreeClock,
  Yes, No, Gone, Silent, NoAnswer, Refused, NoFilm, None, Playing, Paused,
  Timing,       // printf: the delay, the rate
  NextIn,       // printf: seconds, the line
  Area,         // printf: left, top, width, height
  OnMonitor,    // printf: the monitor's name
  OnNoMonitor,
  HiddenYes,
  SecondLabel, SecondCurrentLabel, SecondNextLabel,
  NoSecond,
  SecondDelay,  // printf: the second file's own delay
  Title,
  Count
};

using Texts = UiTexts;

constexpr std::array<Texts, static_cast<size_t>(Say::Count)> kTexts{{
    {"Time from", "时间来源", "時間來源"},
    {"Answers", "响应", "回應"},
    {"Position", "位置", "位置"},
    {"Delay and rate", "延迟和速率", "延遲與速率"},
    {"Current line", "当前字幕", "目前字幕"},
    {"Next line", "下一句", "下一句"},
    {"Subtitle area", "字幕区域", "字幕區域"},
    {"Hidden with F8", "已用 F8 隐藏", "已用 F8 隱藏"},
    {"Nothing: no subtitles started yet", "无：还没有开始显示字幕", "無：還沒有開始顯示字幕"},
    {"PowerDVD, read from its memory (process %u)", "PowerDVD（从内存读取，进程 %u）", "PowerDVD（從記憶體讀取，處理程序 %u）"},
    {"PowerDVD: not found", "PowerDVD：未找到", "PowerDVD：找不到"},
    {"%s, learnt player read from its memory (process %u)", "%s（学习到的播放器，从内存读取，进程 %u）",
     "%s（學習到的播放器，從記憶體讀取，處理程序 %u）"},
    {"Free clock", "自由时钟", "自由時鐘"},
    {"Yes", "是", "是"},
    {"No", "否", "否"},
    {"No: the player's process has ended", "否：播放器进程已结束", "否：播放器處理程序已結束"},
    {"No: no position from the player (stopped, or not found)", "否：播放器没有给出位置（已停止或未找到）",
     "否：播放器沒有提供位置（已停止或找不到）"},
    {"No: the player does not answer (is its interface on?)", "否：播放器没有响应（接口打开了吗？）",
     "否：播放器沒有回應（介面開啟了嗎？）"},
    {"No: the player refused the password", "否：播放器拒绝了密码", "否：播放器拒絕了密碼"},
    {"No: the player plays nothing (stopped)", "否：播放器没有在播放（已停止）", "否：播放器沒有在播放（已停止）"},
    {"(none)", "（无）", "（無）"},
    {"playing", "播放中", "播放中"},
    {"paused", "已暂停", "已暫停"},
    {"%+d ms, rate %.4f", "%+d 毫秒，速率 %.4f", "%+d 毫秒，速率 %.4f"},
    {"in %.1f s: %s", "%.1f 秒后：%s", "%.1f 秒後：%s"},
    {"left %d, top %d, %d × %d", "左 %d，上 %d，%d × %d", "左 %d，上 %d，%d × %d"},
    {", on monitor %s", "，在显示器 %s 上", "，在顯示器 %s 上"},
    {", on no monitor (off screen)", "，不在任何显示器上（屏幕外）", "，不在任何顯示器上（螢幕外）"},
    {"Yes (press F8 to show it again)", "是（再按 F8 即可显示）", "是（再按 F8 即可顯示）"},
    {"Second file", "第二个文件", "第二個檔案"},
    {"Its current line", "其当前字幕", "其目前字幕"},
    {"Its next line", "其下一句", "其下一句"},
    {"No second file", "没有第二个文件", "沒有第二個檔案"},
    {"Shown, own delay %+d ms", "显示中，自身延迟 %+d 毫秒", "顯示中，自身延遲 %+d 毫秒"},
    {"Quorvane status", "Quorvane 状态", "Quorvane 狀態"},
}};

std::string_view text(Say which, UiLanguage language) {
  return kTexts[static_cast<size_t>(which)].in(language);
}

template <typename... Args>
std::string format(Say which, UiLanguage language, Args... args) {
  const std::string pattern(text(which, language));
  const int length = std::snprintf(nullptr, 0, pattern.c_str(), args...);
  std::string out(static_cast<size_t>(std::max(length, 0)) + 1, '\0');
  std::snprintf(out.data(), out.size(), pattern.c_str(), args...);
  out.resize(static_cast<size_t>(std::max(length, 0)));
  return out;
}

std::string source(const StatusFacts& facts, UiLanguage language) {
  switch (facts.source) {
    case StatusFacts::Source::NoRun: return std::string(text(Say::NoRun, language));
    case StatusFacts::Source::MemoryPlayer:
      if (facts.playerPid == 0) return std::string(text(Say::MemoryPlayerMissing, language));
      return format(Say::MemoryPlayer, language, static_cast<unsigned>(facts.playerPid));
    case StatusFacts::Source::InterfacePlayer:
      return facts.player ? std::string(interfacePlayerName(*facts.player)) : std::string();
    case StatusFacts::Source::LearntPlayer:
      return format(Say::LearntPlayer, language, facts.learntPlayer.c_str(), static_cast<unsigned>(facts.playerPid));
    case StatusFacts::Source::FreeClock: return std::string(text(Say::FreeClock, language));
  }
  return {};
}

std::string answers(const StatusFacts& facts, UiLanguage language) {
  if (facts.source == StatusFacts::Source::NoRun) return std::string(text(Say::None, language));
  if (facts.answers) return std::string(text(Say::Yes, language));
  if (facts.gone) return std::string(text(Say::Gone, language));
  if (facts.source == StatusFacts::Source::InterfacePlayer) {
    switch (facts.playerState) {
      case PlayerState::Unauthorized: return std::string(text(Say::Refused, language));
      case PlayerState::NoFilm: return std::string(text(Say::NoFilm, language));
      default: return std::string(text(Say::NoAnswer, language));
    }
  }
  return std::string(text(Say::Silent, language));
}

// "h:mm:ss.t", with whether the clock runs.
std::string position(const StatusFacts& facts, UiLanguage language) {
  if (facts.source == StatusFacts::Source::NoRun || !facts.answers) return std::string(text(Say::None, language));
  const int64_t ms = std::max<int64_t>(0, facts.positionMs);
  const std::string separator = language == UiLanguage::English ? ", " : "，";
  return clockText(ms) + "." + std::to_string(ms / 100 % 10) + separator +
         std::string(text(facts.playing ? Say::Playing : Say::Paused, language));
}

std::string nextLine(const std::string& line, int64_t untilMs, UiLanguage language) {
  if (line.empty()) return std::string(text(Say::None, language));
  return format(Say::NextIn, language, static_cast<double>(std::max<int64_t>(0, untilMs)) / 1000.0, line.c_str());
}

std::string area(const StatusFacts& facts, UiLanguage language) {
  if (!facts.overlay) return std::string(text(Say::None, language));
  const Box& r = facts.overlay->rect;
  std::string out = format(Say::Area, language, r.left, r.top, r.width(), r.height());
  if (facts.overlay->monitor.empty()) return out + std::string(text(Say::OnNoMonitor, language));
  return out + format(Say::OnMonitor, language, facts.overlay->monitor.c_str());
}

}  // namespace

std::string statusTitle(UiLanguage language) { return std::string(text(Say::Title, language)); }

std::vector<StatusRow> statusRows(const StatusFacts& facts, UiLanguage language) {
  const auto label = [language](Say which) { return std::string(text(which, language)); };
  const bool running = facts.source != StatusFacts::Source::NoRun;
  const std::string none(text(Say::None, language));
  const std::optional<StatusFacts::SecondFile>& second = facts.second;
  return {
      {label(Say::SourceLabel), source(facts, language)},
      {label(Say::AnswersLabel), answers(facts, language)},
      {label(Say::PositionLabel), position(facts, language)},
      {label(Say::TimingLabel), format(Say::Timing, language, facts.delayMs, facts.rate)},
      {label(Say::CurrentLabel), facts.currentLine.empty() ? none : facts.currentLine},
      {label(Say::NextLabel), nextLine(facts.nextLine, facts.untilNextMs, language)},
      {label(Say::AreaLabel), area(facts, language)},
      {label(Say::HiddenLabel), !running ? none : facts.hidden ? label(Say::HiddenYes) : label(Say::No)},
      {label(Say::SecondLabel), second ? format(Say::SecondDelay, language, second->delayMs) : label(Say::NoSecond)},
      {label(Say::SecondCurrentLabel), second && !second->currentLine.empty() ? second->currentLine : none},
      {label(Say::SecondNextLabel), second ? nextLine(second->nextLine, second->untilNextMs, language) : none},
  };
}

LinesAround linesAround(const CueTable& table, int32_t positionMs) {
  const auto begin = table.cues.begin();
  const auto end = begin + table.cueCount;
  const auto after = std::upper_bound(begin, end, positionMs, [](int32_t p, const Cue& cue) { return p < cue.startMs; });
  LinesAround lines;
  if (after != end) lines.next = &*after;
  // The last cue that started by now, while it is on: the one the scheduler shows.
  if (after != begin && std::prev(after)->endMs > positionMs) lines.current = &*std::prev(after);
  return lines;
}

}  // namespace quorvane
