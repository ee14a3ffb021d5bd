#include "app/learn_wizard_model.h"

#include <array>
#include <cstdio>

namespace quorvane {
namespace {

using W = LearnWork;

constexpr W kAfterFirstPosition[] = {W::FirstScan, W::Wait, W::Played};
constexpr W kAfterPause[] = {W::Reread, W::Wait, W::Paused};
constexpr W kAfterPlay[] = {W::Reread, W::Wait, W::Played};
constexpr W kAfterSeek[] = {W::Seeked, W::Wait, W::Played, W::FindPaths};
constexpr W kAfterRestart[] = {W::Prove};

constexpr std::array<UiTexts, static_cast<size_t>(LearnText::Count)> kTexts{{
    {"Learn a player...", "学习播放器...", "學習播放器..."},
    {"Quorvane: learn a player", "Quorvane：学习播放器", "Quorvane：學習播放器"},
    {"Next >", "下一步 >", "下一步 >"},
    {"Cancel", "取消", "取消"},
    {"Close", "关闭", "關閉"},
    {"Program", "程序", "程式"},
    {"Window title", "窗口标题", "視窗標題"},
}};

// Replaces each "%s" of `pattern` with `value`.
std::string withName(std::string_view pattern, std::string_view value) {
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's') {
      out += value;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

}  // namespace

std::span<const LearnWork> workAfter(LearnPage page) {
  switch (page) {
    case LearnPage::FirstPosition: return kAfterFirstPosition;
    case LearnPage::Pause: return kAfterPause;
    case LearnPage::Play: return kAfterPlay;
    case LearnPage::Seek: return kAfterSeek;
    case LearnPage::Restart: return kAfterRestart;
    default: return {};
  }
}

LearnPage pageAfter(LearnPage page) {
  switch (page) {
    case LearnPage::PickPlayer: return LearnPage::FirstPosition;
    case LearnPage::FirstPosition: return LearnPage::Pause;
    case LearnPage::Pause: return LearnPage::Play;
    case LearnPage::Play: return LearnPage::Seek;
    case LearnPage::Seek: return LearnPage::Restart;
    case LearnPage::Restart: return LearnPage::Summary;
    default: return page;
  }
}

LearnProblem judgeWork(LearnWork work, learn::ScanOutcome outcome, size_t survivors) {
  if (outcome == learn::ScanOutcome::Cancelled) return LearnProblem::Cancelled;
  if (outcome == learn::ScanOutcome::PlayerGone) return LearnProblem::PlayerGone;
  if (outcome == learn::ScanOutcome::TooMany) return LearnProblem::TooCommon;
  if (work == W::Wait || work == W::Reread) return LearnProblem::None;
  switch (work) {
    case W::FirstScan:
    case W::Played:
      if (survivors == 0) return LearnProblem::NothingRanOn;
      break;
    case W::Paused:
      if (survivors == 0) return LearnProblem::NothingStood;
      break;
    case W::Seeked:
      if (survivors == 0) return LearnProblem::NothingJumped;
      break;
    case W::FindPaths:
      if (survivors == 0) return LearnProblem::NoPath;
      break;
    case W::Prove:
      if (survivors == 0) return LearnProblem::NothingSurvives;
      break;
    default:
      break;
  }
  return LearnProblem::None;
}

LearnProblem judgeLeft(size_t survivors, int seeks) {
  if (survivors <= kLearnManyLeft) return LearnProblem::None;
  return seeks >= kLearnMaxSeeks ? LearnProblem::TooManyLeft : LearnProblem::ManyLeft;
}

LearnPage pageAfterWork(LearnPage page, LearnProblem problem) {
  switch (problem) {
    case LearnProblem::None: return pageAfter(page);
    case LearnProblem::ManyLeft: return LearnPage::Seek;
    case LearnProblem::NoNewPlayer:
    case LearnProblem::NewPlayerStands: return LearnPage::Restart;
    default: return LearnPage::Problem;
  }
}

std::string fillTypedTime(std::string_view typed) {
  std::string digits;
  for (const char c : typed) {
    if (c >= '0' && c <= '9' && digits.size() < 6) digits += c;
  }
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    const size_t left = digits.size() - i;  // digits from this one to the end
    if (i > 0 && (left == 2 || left == 4)) out += ':';
    out += digits[i];
  }
  return out;
}

std::optional<int64_t> typedTimeMs(std::string_view boxText) {
  // "M:SS" and longer: a bare number of seconds is still being typed.
  if (boxText.find(':') == std::string_view::npos) return std::nullopt;
  return learn::parseShownPosition(boxText);
}

bool learnNextEnabled(LearnPage page, bool picked, std::string_view boxText, bool working) {
  if (working) return false;
  switch (page) {
    case LearnPage::PickPlayer: return picked;
    case LearnPage::FirstPosition:
    case LearnPage::Seek: return typedTimeMs(boxText).has_value();
    case LearnPage::Pause:
    case LearnPage::Play:
    case LearnPage::Restart: return true;
    case LearnPage::Summary:
    case LearnPage::Problem: return false;
  }
  return false;
}

std::string_view learnText(LearnText which, UiLanguage language) {
  return kTexts[static_cast<size_t>(which)].in(language);
}

std::string learnPageText(LearnPage page, std::string_view player, UiLanguage language) {
  static constexpr UiTexts kPages[] = {
      {"Pick the player that plays the film, then press Next. Only programs with a window are listed.",
       "选择正在播放电影的播放器，然后按“下一步”。只列出有窗口的程序。",
       "選擇正在播放電影的播放器，然後按「下一步」。只列出有視窗的程式。"},
      {"Start the film in %s and let it play. Type the position the player shows (H:MM:SS; the colons "
       "come by themselves) and press Next at once.",
       "在 %s 中开始播放电影并让它继续播放。输入播放器显示的位置（时:分:秒，冒号会自动加上），然后立即按“下一步”。",
       "在 %s 中開始播放電影並讓它繼續播放。輸入播放器顯示的位置（時:分:秒，冒號會自動加上），然後立即按「下一步」。"},
      {"Pause the film with %s's own pause key or button, then press Next and leave it paused.",
       "用 %s 自己的暂停键或按钮暂停电影，然后按“下一步”，并保持暂停。",
       "用 %s 自己的暫停鍵或按鈕暫停電影，然後按「下一步」，並保持暫停。"},
      {"Play the film again in %s, then press Next and let it play.",
       "在 %s 中继续播放电影，然后按“下一步”，并让它继续播放。",
       "在 %s 中繼續播放電影，然後按「下一步」，並讓它繼續播放。"},
      {"Seek in %s at least a minute away (forward or back) and let it play. Type the position it shows "
       "now and press Next at once.",
       "在 %s 中跳转到至少一分钟之外（向前或向后）并让它继续播放。输入它现在显示的位置，然后立即按“下一步”。",
       "在 %s 中跳轉到至少一分鐘之外（向前或向後）並讓它繼續播放。輸入它現在顯示的位置，然後立即按「下一步」。"},
      {"Close %s, start it again and start the film; when it plays, press Next. This checks that the "
       "position is found again after a restart.",
       "关闭 %s，重新启动它并开始播放电影；播放后按“下一步”。这是检查重启后是否仍能找到位置。",
       "關閉 %s，重新啟動它並開始播放電影；播放後按「下一步」。這是檢查重新啟動後是否仍能找到位置。"},
  };
  const size_t index = static_cast<size_t>(page);
  if (index >= std::size(kPages)) return {};
  return withName(kPages[index].in(language), player);
}

std::string learnWorkText(LearnWork work, UiLanguage language) {
  static constexpr UiTexts kWork[] = {
      {"Reading the player's memory...", "正在读取播放器的内存...", "正在讀取播放器的記憶體..."},
      {"Watching for a few seconds...", "正在观察几秒钟...", "正在觀察幾秒鐘..."},
      {"Keeping the values that ran on with the film...", "正在保留随电影前进的数值...", "正在保留隨電影前進的數值..."},
      {"Reading the values again...", "正在重新读取数值...", "正在重新讀取數值..."},
      {"Keeping the values that stood still...", "正在保留保持不动的数值...", "正在保留保持不動的數值..."},
      {"Keeping the values that jumped with the seek...", "正在保留随跳转变化的数值...", "正在保留隨跳轉變化的數值..."},
      {"Looking for a way back to the position that survives a restart...",
       "正在寻找重启后仍能找到位置的路径...", "正在尋找重新啟動後仍能找到位置的路徑..."},
      {"Following the way back in the restarted player...", "正在重启后的播放器中验证路径...",
       "正在重新啟動後的播放器中驗證路徑..."},
  };
  return std::string(kWork[static_cast<size_t>(work)].in(language));
}

std::string learnProblemText(LearnProblem problem, std::string_view player, UiLanguage language) {
  static constexpr UiTexts kProblems[] = {
      {"", "", ""},
      {"Learning %s was cancelled. Nothing was saved.", "已取消学习 %s。没有保存任何内容。", "已取消學習 %s。沒有儲存任何內容。"},
      {"%s cannot be opened for reading. Nothing was learnt.", "无法打开 %s 进行读取。没有学到任何内容。",
       "無法開啟 %s 進行讀取。沒有學到任何內容。"},
      {"%s is a 64-bit program; this Quorvane is the 32-bit one and cannot read it. Download the 64-bit "
       "Quorvane and learn the player with it.",
       "%s 是 64 位程序；当前的 Quorvane 是 32 位版本，无法读取它。请下载 64 位 Quorvane 并用它学习该播放器。",
       "%s 是 64 位元程式；目前的 Quorvane 是 32 位元版本，無法讀取它。請下載 64 位元 Quorvane 並用它學習該播放器。"},
      {"%s has exited. Nothing was saved; start it again and learn it from the beginning.",
       "%s 已退出。没有保存任何内容；请重新启动它并从头学习。", "%s 已結束。沒有儲存任何內容；請重新啟動它並從頭學習。"},
      {"The position is in too many places of %s's memory (a film's first minutes are common numbers). "
       "Let the film play a few minutes in, then learn again.",
       "该位置在 %s 的内存中出现的地方太多（电影的头几分钟是常见的数字）。请让电影播放几分钟后再学习。",
       "該位置在 %s 的記憶體中出現的地方太多（電影的頭幾分鐘是常見的數字）。請讓電影播放幾分鐘後再學習。"},
      {"Nothing in %s's memory ran on with the film. Either the film was paused (play it), or the time typed "
       "was not the one the player showed when you began typing. Nothing was saved; learn again.",
       "%s 的内存中没有随电影前进的数值。可能电影处于暂停状态（请播放它），或输入的时间不是开始输入时播放器显示的时间。"
       "没有保存任何内容；请重新学习。",
       "%s 的記憶體中沒有隨電影前進的數值。可能電影處於暫停狀態（請播放它），或輸入的時間不是開始輸入時播放器顯示的時間。"
       "沒有儲存任何內容；請重新學習。"},
      {"Nothing in %s's memory stood still while the film was paused. Was it paused? Nothing was saved; "
       "learn again.",
       "电影暂停时，%s 的内存中没有保持不动的数值。电影真的暂停了吗？没有保存任何内容；请重新学习。",
       "電影暫停時，%s 的記憶體中沒有保持不動的數值。電影真的暫停了嗎？沒有儲存任何內容；請重新學習。"},
      {"Nothing in %s's memory jumped to the position typed after the seek. Seek at least a minute away and "
       "type the position shown right after it. Nothing was saved; learn again.",
       "%s 的内存中没有跳到跳转后所输入位置的数值。请跳转至少一分钟，并在跳转后立即输入显示的位置。没有保存任何内容；请重新学习。",
       "%s 的記憶體中沒有跳到跳轉後所輸入位置的數值。請跳轉至少一分鐘，並在跳轉後立即輸入顯示的位置。沒有儲存任何內容；請重新學習。"},
      {"Thousands of places in %s's memory still follow the film. Seek once more, a minute or more away, "
       "type the position shown and press Next.",
       "%s 的内存中仍有数千个位置随电影变化。请再跳转一次（至少一分钟），输入显示的位置并按“下一步”。",
       "%s 的記憶體中仍有數千個位置隨電影變化。請再跳轉一次（至少一分鐘），輸入顯示的位置並按「下一步」。"},
      {"Thousands of places in %s's memory still follow the film after several seeks; it cannot be learnt "
       "this way. Nothing was saved.",
       "跳转多次后，%s 的内存中仍有数千个位置随电影变化；无法用这种方式学习。没有保存任何内容。",
       "跳轉多次後，%s 的記憶體中仍有數千個位置隨電影變化；無法用這種方式學習。沒有儲存任何內容。"},
      {"Values in %s's memory follow the film, but no way back to them starts in the player's program, so "
       "none would be found after a restart. Nothing was saved.",
       "%s 的内存中有随电影变化的数值，但没有从播放器程序出发到达它们的路径，重启后将无法找到。没有保存任何内容。",
       "%s 的記憶體中有隨電影變化的數值，但沒有從播放器程式出發到達它們的路徑，重新啟動後將無法找到。沒有儲存任何內容。"},
      {"No new %s is running yet. Start it again, start the film, then press Next.",
       "还没有新的 %s 在运行。请重新启动它并开始播放电影，然后按“下一步”。",
       "還沒有新的 %s 在執行。請重新啟動它並開始播放電影，然後按「下一步」。"},
      {"The film in the new %s does not play yet. Start it, then press Next.",
       "新的 %s 中的电影还没有播放。请开始播放，然后按“下一步”。", "新的 %s 中的電影還沒有播放。請開始播放，然後按「下一步」。"},
      {"No way back to the position survives a restart of %s: what was found held only for the player "
       "that was closed. Nothing was saved.",
       "没有路径能在 %s 重启后找到位置：找到的结果只适用于已关闭的那个播放器。没有保存任何内容。",
       "沒有路徑能在 %s 重新啟動後找到位置：找到的結果只適用於已關閉的那個播放器。沒有儲存任何內容。"},
      {"The profile of %s could not be saved in the user's application-data folder.",
       "无法将 %s 的配置文件保存到用户的应用程序数据文件夹。", "無法將 %s 的設定檔儲存到使用者的應用程式資料夾。"},
  };
  return withName(kProblems[static_cast<size_t>(problem)].in(language), player);
}

std::string learnSummaryText(const LearnSummary& summary, UiLanguage language) {
  static constexpr UiTexts kSummary{
      "Learnt %s (%s). It keeps its position as %s, %.6g ms a unit, at %s. Learning took %lld s.\n\n"
      "Saved as %s. The next Select and Start follows this player.",
      "已学会 %s（%s）。它以 %s 保存位置，每单位 %.6g 毫秒，位于 %s。学习用时 %lld 秒。\n\n"
      "已保存为 %s。下次“选择字幕并执行”将跟随此播放器。",
      "已學會 %s（%s）。它以 %s 儲存位置，每單位 %.6g 毫秒，位於 %s。學習用時 %lld 秒。\n\n"
      "已儲存為 %s。下次「選擇字幕並執行」將跟隨此播放器。"};
  const learn::Profile& p = summary.profile;
  const std::string pattern(kSummary.in(language));
  const std::string type(learn::valueTypeName(p.encoding.type));
  const std::string path = learn::formatPath(p.path);
  const char* arch = p.pointerBytes == 4 ? "x86" : "x64";
  const long long seconds = (summary.tookMs + 500) / 1000;
  const int length = std::snprintf(nullptr, 0, pattern.c_str(), p.executable.c_str(), arch, type.c_str(),
                                   p.encoding.unitMs, path.c_str(), seconds, summary.savedTo.c_str());
  std::string out(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
  std::snprintf(out.data(), out.size(), pattern.c_str(), p.executable.c_str(), arch, type.c_str(),
                p.encoding.unitMs, path.c_str(), seconds, summary.savedTo.c_str());
  out.resize(out.size() - 1);
  return out;
}

}  // namespace quorvane
