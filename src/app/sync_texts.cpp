#include "app/sync_texts.h"

#include <array>
#include <cstdio>

namespace quorvane {
namespace {

using Texts = UiTexts;

constexpr std::array<Texts, static_cast<size_t>(SyncText::Count)> kTexts{{
    {"Delay %+d ms", "\xD1\xD3\xB3\xD9 %+d \xBA\xC1\xC3\xEB", "\xA9\xB5\xBF\xF0 %+d \xB2@\xAC\xED"},  // 延迟 %+d 毫秒
    {"Delay %+d ms, rate %.4f", "\xD1\xD3\xB3\xD9 %+d \xBA\xC1\xC3\xEB\xA3\xAC\xCB\xD9\xC2\xCA %.4f", "\xA9\xB5\xBF\xF0 %+d \xB2@\xAC\xED\xA1" "A\xB3t\xB2v %.4f"},  // 延迟 %+d 毫秒，速率 %.4f
    {"No line near to sync", "\xB8\xBD\xBD\xFC\xC3\xBB\xD3\xD0\xD7\xD6\xC4\xBB", "\xAA\xFE\xAA\xF1\xA8S\xA6\xB3\xA6r\xB9\xF5"},  // 附近没有字幕
    {"Rate %.3f refused", "\xCB\xD9\xC2\xCA %.3f \xB2\xBB\xBA\xCF\xC0\xED\xA3\xAC\xCE\xB4\xB2\xC9\xD3\xC3", "\xB3t\xB2v %.3f \xA4\xA3\xA6X\xB2z\xA1" "A\xA5\xBC\xB1\xC4\xA5\xCE"},  // 速率 %.3f 不合理，未采用
    {"Same line twice: no rate", "\xCD\xAC\xD2\xBB\xBE\xE4\xB0\xB4\xC1\xCB\xC1\xBD\xB4\xCE\xA3\xBA\xCE\xB4\xC9\xE8\xCB\xD9\xC2\xCA", "\xA6P\xA4@\xA5y\xAB\xF6\xA4" "F\xA8\xE2\xA6\xB8\xA1G\xA5\xBC\xB3]\xB3t\xB2v"},  // 同一句按了两次：未设速率
    {"Delay %+d ms, rate %.4f, lines within %.1f s to the end", "\xD1\xD3\xB3\xD9 %+d \xBA\xC1\xC3\xEB\xA3\xAC\xCB\xD9\xC2\xCA %.4f\xA3\xAC\xB5\xBD\xBD\xE1\xCE\xB2\xCE\xF3\xB2\xEE\xD4\xDA %.1f \xC3\xEB\xC4\xDA", "\xA9\xB5\xBF\xF0 %+d \xB2@\xAC\xED\xA1" "A\xB3t\xB2v %.4f\xA1" "A\xA8\xEC\xB5\xB2\xA7\xC0\xBB~\xAEt\xA6" "b %.1f \xAC\xED\xA4\xBA"},  // 延迟 %+d 毫秒，速率 %.4f，到结尾误差在 %.1f 秒内
    {"Cut in the film: delay %+d ms, rate kept", "\xC6\xAC\xD6\xD0\xD3\xD0\xBC\xF4\xBD\xD3\xA3\xBA\xD1\xD3\xB3\xD9 %+d \xBA\xC1\xC3\xEB\xA3\xAC\xCB\xD9\xC2\xCA\xB2\xBB\xB1\xE4", "\xA4\xF9\xA4\xA4\xA6\xB3\xB0\xC5\xB1\xB5\xA1G\xA9\xB5\xBF\xF0 %+d \xB2@\xAC\xED\xA1" "A\xB3t\xB2v\xA4\xA3\xC5\xDC"},  // 片中有剪接：延迟 %+d 毫秒，速率不变
    {"Paused: press while the film plays", "\xD2\xD1\xD4\xDD\xCD\xA3\xA3\xBA\xC7\xEB\xD4\xDA\xB2\xA5\xB7\xC5\xCA\xB1\xB0\xB4", "\xA4w\xBC\xC8\xB0\xB1\xA1G\xBD\xD0\xA6" "b\xBC\xBD\xA9\xF1\xAE\xC9\xAB\xF6"},  // 已暂停：请在播放时按
    {"Presses less than a second apart: no rate", "\xC1\xBD\xB4\xCE\xB0\xB4\xBC\xFC\xCF\xE0\xB8\xF4\xB2\xBB\xB5\xBD\xD2\xBB\xC3\xEB\xA3\xBA\xCE\xB4\xC9\xE8\xCB\xD9\xC2\xCA", "\xA8\xE2\xA6\xB8\xAB\xF6\xC1\xE4\xAC\xDB\xB9j\xA4\xA3\xA8\xEC\xA4@\xAC\xED\xA1G\xA5\xBC\xB3]\xB3t\xB2v"},  // 两次按键相隔不到一秒：未设速率
    {"Sync keys", "\xCD\xAC\xB2\xBD\xB0\xB4\xBC\xFC", "\xA6P\xA8" "B\xAB\xF6\xC1\xE4"},  // 同步按键
    {"Player", "\xB2\xA5\xB7\xC5\xC6\xF7", "\xBC\xBD\xA9\xF1\xBE\xB9"},  // 播放器
    {"Automatic", "\xD7\xD4\xB6\xAF", "\xA6\xDB\xB0\xCA"},  // 自动
    {"No player: free clock", "\xCE\xDE\xB2\xA5\xB7\xC5\xC6\xF7\xA3\xBA\xD7\xD4\xD3\xC9\xCA\xB1\xD6\xD3", "\xB5L\xBC\xBD\xA9\xF1\xBE\xB9\xA1G\xA6\xDB\xA5\xD1\xAE\xC9\xC4\xC1"},  // 无播放器：自由时钟
    {"Play", "\xB2\xA5\xB7\xC5", "\xBC\xBD\xA9\xF1"},  // 播放
    {"Pause", "\xD4\xDD\xCD\xA3", "\xBC\xC8\xB0\xB1"},  // 暂停
    {"Back 10 s", "\xBA\xF3\xCD\xCB 10 \xC3\xEB", "\xAB\xE1\xB0h 10 \xAC\xED"},  // 后退 10 秒
    {"Back 1 s", "\xBA\xF3\xCD\xCB 1 \xC3\xEB", "\xAB\xE1\xB0h 1 \xAC\xED"},  // 后退 1 秒
    {"Forward 1 s", "\xC7\xB0\xBD\xF8 1 \xC3\xEB", "\xAB" "e\xB6i 1 \xAC\xED"},  // 前进 1 秒
    {"Forward 10 s", "\xC7\xB0\xBD\xF8 10 \xC3\xEB", "\xAB" "e\xB6i 10 \xAC\xED"},  // 前进 10 秒
    {"Previous line", "\xC9\xCF\xD2\xBB\xBE\xE4", "\xA4W\xA4@\xA5y"},  // 上一句
    {"Next line", "\xCF\xC2\xD2\xBB\xBE\xE4", "\xA4U\xA4@\xA5y"},  // 下一句
    {"Play or pause the free clock", "\xB2\xA5\xB7\xC5\xBB\xF2\xD4\xDD\xCD\xA3\xD7\xD4\xD3\xC9\xCA\xB1\xD6\xD3", "\xBC\xBD\xA9\xF1\xA9\xCE\xBC\xC8\xB0\xB1\xA6\xDB\xA5\xD1\xAE\xC9\xC4\xC1"},  // 播放或暂停自由时钟
    {"Drag to seek in the subtitle file", "\xCD\xCF\xB6\xAF\xD2\xD4\xD4\xDA\xD7\xD6\xC4\xBB\xCE\xC4\xBC\xFE\xD6\xD0\xB6\xA8\xCE\xBB", "\xA9\xEC\xB0\xCA\xA5H\xA6" "b\xA6r\xB9\xF5\xC0\xC9\xAE\xD7\xA4\xA4\xA9w\xA6\xEC"},  // 拖动以在字幕文件中定位
    {"Start a few seconds before the first line", "\xB4\xD3\xB5\xDA\xD2\xBB\xBE\xE4\xC7\xB0\xBC\xB8\xC3\xEB\xBF\xAA\xCA\xBC", "\xB1q\xB2\xC4\xA4@\xA5y\xAB" "e\xB4X\xAC\xED\xB6}\xA9l"},  // 从第一句前几秒开始
    {"Quorvane free clock", "Quorvane \xD7\xD4\xD3\xC9\xCA\xB1\xD6\xD3", "Quorvane \xA6\xDB\xA5\xD1\xAE\xC9\xC4\xC1"},  // Quorvane 自由时钟
    {"Status", "\xD7\xB4\xCC\xAC", "\xAA\xAC\xBA\xA1"},  // 状态
    {"Second file: delay %+d ms", "\xB5\xDA\xB6\xFE\xB8\xF6\xCE\xC4\xBC\xFE\xA3\xBA\xD1\xD3\xB3\xD9 %+d \xBA\xC1\xC3\xEB", "\xB2\xC4\xA4G\xAD\xD3\xC0\xC9\xAE\xD7\xA1G\xA9\xB5\xBF\xF0 %+d \xB2@\xAC\xED"},  // 第二个文件：延迟 %+d 毫秒
    {"Add a second subtitle file...", "\xCC\xED\xBC\xD3\xB5\xDA\xB6\xFE\xB8\xF6\xD7\xD6\xC4\xBB\xCE\xC4\xBC\xFE...", "\xA5[\xA4J\xB2\xC4\xA4G\xAD\xD3\xA6r\xB9\xF5\xC0\xC9..."},  // 添加第二个字幕文件...
    {"Remove the second file", "\xD2\xC6\xB3\xFD\xB5\xDA\xB6\xFE\xB8\xF6\xD7\xD6\xC4\xBB\xCE\xC4\xBC\xFE", "\xB2\xBE\xB0\xA3\xB2\xC4\xA4G\xAD\xD3\xA6r\xB9\xF5\xC0\xC9"},  // 移除第二个字幕文件
}};

template <typename... Args>
std::string format(SyncText which, UiLanguage language, Args... args) {
  const std::string pattern(syncText(which, language));
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, pattern.c_str(), args...);
  return buffer;
}

}  // namespace

std::string_view syncText(SyncText which, UiLanguage language) {
  return kTexts[static_cast<size_t>(which)].in(language);
}

std::string delayNotice(int32_t delayMs, double rate, UiLanguage language) {
  if (rate == 1.0) return format(SyncText::DelayNotice, language, delayMs);
  return format(SyncText::DelayAndRateNotice, language, delayMs, rate);
}

std::string secondDelayNotice(int32_t offsetMs, UiLanguage language) {
  return format(SyncText::SecondDelayNotice, language, offsetMs);
}

std::string lineSyncNotice(const LineSync::Result& result, UiLanguage language) {
  switch (result.outcome) {
    case LineSync::Outcome::Offset:
      return delayNotice(result.timing.delayMs, result.timing.rate, language);
    case LineSync::Outcome::OffsetAndRate:
      return format(SyncText::DelayRateSpreadNotice, language, result.timing.delayMs, result.timing.rate,
                    result.spreadMs / 1000.0);
    case LineSync::Outcome::Cut:
      return format(SyncText::CutNotice, language, result.timing.delayMs);
    case LineSync::Outcome::Paused:
      return std::string(syncText(SyncText::PausedNotice, language));
    case LineSync::Outcome::DoublePress:
      return std::string(syncText(SyncText::DoublePressNotice, language));
    case LineSync::Outcome::NoLine:
      return std::string(syncText(SyncText::NoLineNotice, language));
    case LineSync::Outcome::RateRefused:
      if (result.rate == 0) return std::string(syncText(SyncText::SameLineNotice, language));
      return format(SyncText::RateRefusedNotice, language, result.rate);
  }
  return {};
}

std::string secondFileLossText(UiLanguage language) {
  constexpr UiTexts kText{
      "Some characters of the second file cannot be shown in the first file's encoding: they show as "
      "\"?\". Open the file with those characters (for example the Chinese one) first, and add the other "
      "as the second file.",
      "第二个文件中有些字符无法用第一个文件的编码显示，会显示为“?”。请先打开含有这些字符的文件（例如中文字幕），"
      "再把另一个添加为第二个文件。",
      "第二個檔案中有些字元無法用第一個檔案的編碼顯示，會顯示為「?」。請先開啟含有這些字元的檔案（例如中文字幕），"
      "再把另一個加入為第二個檔案。"};
  return std::string(kText.in(language));
}

std::string noLinesText(std::string_view fileName, std::string_view formatName, UiLanguage language) {
  const std::string name(fileName), format(formatName);
  switch (language) {
    case UiLanguage::SimplifiedChinese:
      return "“" + name + "”中没有字幕行（按 " + format +
             " 格式读取）：文件只有注释或绘图，是空的，或无法读取。没有开始显示字幕。";
    case UiLanguage::TraditionalChinese:
      return "「" + name + "」中沒有字幕行（按 " + format +
             " 格式讀取）：檔案只有註解或繪圖，是空的，或無法讀取。沒有開始顯示字幕。";
    case UiLanguage::English:
      break;
  }
  return "\"" + name + "\" has no subtitle lines (read as " + format +
         "): it holds only comments or drawings, is empty, or cannot be read. Nothing was started.";
}

}  // namespace quorvane
