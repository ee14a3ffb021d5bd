#include "app/learnt_player_transfer.h"

#include <algorithm>
#include <array>

#include "memory_player/process_memory.h"

namespace quorvane {
namespace {

constexpr std::array<UiTexts, 7> kTexts{{
    {"Export a learnt player...", "导出学习到的播放器...", "匯出學習到的播放器..."},
    {"Import a learnt player...", "导入学习到的播放器...", "匯入學習到的播放器..."},
    {"Choose the learnt player to export in the Player menu first (or start following it).",
     "请先在“播放器”菜单中选中要导出的学习到的播放器（或开始跟随它）。",
     "請先在「播放器」選單中選取要匯出的學習到的播放器（或開始跟隨它）。"},
    {"Player profiles (*.profile)|*.profile", "播放器配置 (*.profile)|*.profile", "播放器設定檔 (*.profile)|*.profile"},
    {"Quorvane already has a profile of %s. Replace it with the imported one?",
     "Quorvane 已有 %s 的配置。要用导入的配置替换它吗？", "Quorvane 已有 %s 的設定檔。要用匯入的設定檔取代它嗎？"},
    {"%s was imported: Select and Start follows it when it runs.", "已导入 %s：它运行时，“选择字幕并执行”会跟随它。",
     "已匯入 %s：它執行時，「選擇字幕並執行」會跟隨它。"},
    {"%s could not be written.", "无法写入 %s。", "無法寫入 %s。"},
}};

}  // namespace

std::string_view transferText(TransferText which, UiLanguage language) {
  return kTexts[static_cast<size_t>(which)].in(language);
}

std::string fillText(std::string_view pattern, std::string_view value) {
  std::string text(pattern);
  const size_t at = text.find("%s");
  return at == std::string::npos ? text : text.replace(at, 2, value);
}

std::optional<std::string> playerToExport(std::string_view pinned, std::string_view followed,
                                          std::span<const std::string> learnt) {
  for (const std::string_view wanted : {pinned, followed}) {
    if (wanted.empty()) continue;
    const auto it = std::find_if(learnt.begin(), learnt.end(), [&](const std::string& e) { return equalIgnoringCase(e, wanted); });
    if (it != learnt.end()) return *it;
  }
  if (learnt.size() == 1) return learnt.front();
  return std::nullopt;
}

ImportPlan planImport(const ProfileFile& file, std::span<const ProfileFile> folder, UiLanguage language) {
  ImportPlan plan;
  const LoadedProfiles loaded = loadProfiles(std::span(&file, 1));
  if (!loaded.refused.empty()) {
    plan.refusal = describeProfileError(loaded.refused.front().error, file.name, language);
    return plan;
  }
  plan.profile = loaded.profiles.front();
  plan.fileName = profileFileName(plan.profile->executable);
  // The player may have a profile under another file's name (one copied in by hand).
  for (const ProfileFile& there : folder) {
    learn::Profile profile;
    learn::ProfileError error;
    plan.replaces = plan.replaces || equalIgnoringCase(there.name, plan.fileName) ||
                    (learn::parseProfile(there.text, profile, error) &&
                     equalIgnoringCase(profile.executable, plan.profile->executable));
  }
  return plan;
}

}  // namespace quorvane
