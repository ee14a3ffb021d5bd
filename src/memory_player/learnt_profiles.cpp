#include "memory_player/learnt_profiles.h"

#include <cctype>

namespace quorvane {

LoadedProfiles loadProfiles(std::span<const ProfileFile> files) {
  LoadedProfiles loaded;
  for (const ProfileFile& file : files) {
    learn::Profile profile;
    learn::ProfileError error;
    if (!file.readable || file.text.size() > kMaxProfileBytes) {
      loaded.refused.push_back({file.name, {learn::ProfileError::Kind::Unreadable, 0, "", ""}});
    } else if (learn::parseProfile(file.text, profile, error)) {
      loaded.profiles.push_back(std::move(profile));
    } else {
      loaded.refused.push_back({file.name, error});
    }
  }
  return loaded;
}

std::string describeProfileError(const learn::ProfileError& error, std::string_view fileName, UiLanguage language) {
  using Kind = learn::ProfileError::Kind;
  if (language == UiLanguage::English) {
    return "Learnt player not loaded: " + learn::describeProfileError(error, fileName) + ".";
  }
  const bool simplified = language == UiLanguage::SimplifiedChinese;
  std::string text = std::string(simplified ? "未载入学习到的播放器：播放器配置 " : "未載入學習到的播放器：播放器設定檔 ") +
                     std::string(fileName);
  if (error.line > 0) text += (simplified ? "，第 " : "，第 ") + std::to_string(error.line) + " 行";
  switch (error.kind) {
    case Kind::Missing:
      return text + (simplified ? "：缺少 " : "：缺少 ") + error.key + "=。";
    case Kind::Duplicate:
      return text + "：" + error.key + (simplified ? " 出现了两次。" : " 出現了兩次。");
    case Kind::Malformed:
      return text + (simplified ? "：不是 key=value 格式：“" : "：不是 key=value 格式：「") + error.value +
             (simplified ? "”。" : "」。");
    case Kind::BadFormat:
      return text + (simplified ? "：本版本不能读取格式 " : "：本版本不能讀取格式 ") + error.value + "。";
    case Kind::Unreadable:
      return text + (simplified ? "：无法读取。" : "：無法讀取。");
    case Kind::BadValue:
      break;
  }
  return text + "：" + error.key + (simplified ? " 的值“" : " 的值「") + error.value +
         (simplified ? "”无效。" : "」無效。");
}

std::string learntRefusalText(const LearntSearch::Refused& refused, UiLanguage language) {
  const std::string name = learntPlayerName(refused.executable);
  switch (refused.why) {
    case LearntRefusal::OtherVersion:
      return name + std::string(UiTexts{
                        " is not the version Quorvane learnt it on, so its time is not read. Learn the player again.",
                        " 不是 Quorvane 学习时的版本，因此不读取它的时间。请重新学习这个播放器。",
                        " 不是 Quorvane 學習時的版本，因此不讀取它的時間。請重新學習這個播放器。"}
                                    .in(language));
    case LearntRefusal::TooWide:
      return name + std::string(UiTexts{
                        " is a 64-bit program, which this 32-bit Quorvane cannot read. Download the 64-bit Quorvane "
                        "from the update page.",
                        " 是 64 位程序，32 位的 Quorvane 无法读取。请从更新页面下载 64 位的 Quorvane。",
                        " 是 64 位元程式，32 位元的 Quorvane 無法讀取。請從更新頁面下載 64 位元的 Quorvane。"}
                                    .in(language));
    case LearntRefusal::Unreadable:
      break;
  }
  return name + std::string(UiTexts{" cannot be read: Quorvane may not open it (is it run as administrator?).",
                                    " 无法读取：Quorvane 无权打开它（它是否以管理员身份运行？）。",
                                    " 無法讀取：Quorvane 無權開啟它（它是否以系統管理員身分執行？）。"}
                                .in(language));
}

std::string pinnedLearntSilentText(std::string_view executable, UiLanguage language) {
  return learntPlayerName(executable) +
         std::string(UiTexts{" is not running, or Quorvane has no profile of it. Start it and play the film.",
                             " 没有运行，或 Quorvane 没有它的配置。请启动它并播放影片。",
                             " 沒有執行，或 Quorvane 沒有它的設定檔。請啟動它並播放影片。"}
                         .in(language));
}

std::string learntPlayerName(std::string_view executable) {
  const size_t dot = executable.size() >= 4 ? executable.size() - 4 : std::string_view::npos;
  if (dot != std::string_view::npos) {
    std::string tail(executable.substr(dot));
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (tail == ".exe") executable.remove_suffix(4);
  }
  return std::string(executable);
}

std::string profileFileName(std::string_view executable) {
  if (executable.empty() || executable == "." || executable == "..") return {};
  std::string name;
  for (const char c : executable) {
    if (static_cast<unsigned char>(c) < 0x20 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) {
      return {};
    }
    name += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return name + ".profile";
}

}  // namespace quorvane
