#include "app/ui_text_table.h"

namespace quorvane {
namespace {

// The Simplified Chinese rows, as GBK bytes (escaped so that the compiler's own character set
// plays no part); the UTF-8 text stands beside each row.
constexpr std::string_view kSimplifiedRows[kUiRowCount] = {
    "\xB2\xA5\xB7\xC5\xC6\xF7\xD1\xA1\xD4\xF1",  // 0: 播放器选择
    "\xBD\xF6PowerDVD15 BD/DVD\xC4\xA3\xCA\xBD",  // 1: 仅PowerDVD15 BD/DVD模式
    "\xCD\xF2\xC4\xDC\xC4\xA3\xCA\xBD",  // 2: 万能模式
    "\xD1\xA1\xD4\xF1\xD7\xD6\xC4\xBB\xB2\xA2\xD6\xB4\xD0\xD0",  // 3: 选择字幕并执行
    "\xD7\xD6\xCC\xE5 = ",  // 4: 字体 = 
    "\xBA\xDA\xCC\xE5",  // 5: 黑体
    "\xD1\xD3\xCA\xB1 = ",  // 6: 延时 = 
    "\xCA\xE4\xC8\xEB\xD7\xD6\xCC\xE5\xC3\xFB\xB3\xC6\xA3\xAC\xC7\xF8\xB7\xD6\xBC\xF2\xB7\xB1\xA1\xA3\xC0\xFD\xC8\xE7\xA3\xBA\xCB\xCE\xCC\xE5",  // 7: 输入字体名称，区分简繁。例如：宋体
    "\xCE\xAA\xD5\xFD\xCF\xF2\xBA\xF3\xD1\xD3\xCA\xB1\xA3\xAC\xCE\xAA\xB8\xBA\xCF\xF2\xC7\xB0\xA1\xA3\xB5\xA5\xCE\xBB\xA3\xBA\xBA\xC1\xC3\xEB",  // 8: 为正向后延时，为负向前。单位：毫秒
    "\xBE\xD3\xD6\xD0\xCF\xD4\xCA\xBE",  // 9: 居中显示
    "\xD2\xF5\xD3\xB0\xD0\xA7\xB9\xFB",  // 10: 阴影效果
    "\xD7\xD6\xCC\xE5\xB4\xF3\xD0\xA1 = ",  // 11: 字体大小 = 
    "\xCB\xAE\xC6\xBD\xCE\xBB\xD6\xC3 = ",  // 12: 水平位置 = 
    "\xD7\xD6\xC4\xBB\xBF\xED\xB6\xC8 = ",  // 13: 字幕宽度 = 
    "\xB4\xB9\xD6\xB1\xCE\xBB\xD6\xC3 = ",  // 14: 垂直位置 = 
    "\xD7\xD6\xC4\xBB\xCE\xC4\xBC\xFE(*.srt)",  // 15: 字幕文件(*.srt)
    "\xC7\xEB\xCF\xC8\xD4\xCB\xD0\xD0 CyberLink PowerDVD Ultra \xB2\xA2\xB2\xA5\xB7\xC5\xD4\xAD\xC5\xCC\xB5\xE7\xD3\xB0",  // 16: 请先运行 CyberLink PowerDVD Ultra 并播放原盘电影
    "Orlenna\xCC\xE1\xCA\xBE\xC4\xFA",  // 17: Orlenna提示您
    "Quorvanev1.5 (\xBD\xF6\xD6\xA7\xB3\xD6PD15)",  // 18: Quorvanev1.5 (仅支持PD15)
    "\xBC\xEC\xB2\xE9\xB8\xFC\xD0\xC2 @Orlenna",  // 19: 检查更新 @Orlenna
    // 20: the help text (above, in GBK)
    "1.\xD4\xCB\xD0\xD0PowerDVD\xB2\xA2\xB2\xA5\xB7\xC5\xD4\xAD\xC5\xCC\xB5\xE7\xD3\xB0\xBB\xF2\xB4\xF2\xBF\xAA\xD3\xB2\xC5\xCC\xC9\xCF\xB5\xC4\xB9\xE2\xC5\xCC\xCE\xC4\xBC\xFE\xBC\xD0\r\n"
        "\r\n"
        "2.\xB5\xE3\xBB\xF7[\xD1\xA1\xD4\xF1\xD7\xD6\xC4\xBB\xB2\xA2\xD6\xB4\xD0\xD0]\xB0\xB4\xC5\xA5\xA3\xAC\xD1\xA1\xD4\xF1\xD2\xBB\xB8\xF6srt\xB8\xF1\xCA\xBD\xD7\xD6\xC4\xBB\r\n"
        "\r\n"
        "     \xBF\xEC\xBD\xDD\xBC\xFC\r\n"
        "\r\n"
        "F8   ~   \xD7\xD6\xC4\xBB\xCF\xD4\xCA\xBE\xBF\xAA\xB9\xD8 \r\n"
        "\r\n"
        "Alt + F1 ~ \xD7\xD6\xCC\xE5\xD4\xF6\xB4\xF3\r\n"
        "Alt + F2 ~ \xD7\xD6\xCC\xE5\xBC\xF5\xD0\xA1\r\n"
        "\r\n"
        "Alt +  ]  ~ \xCE\xBB\xD6\xC3\xC9\xCF\xD2\xC6\r\n"
        "Alt +  [  ~ \xCE\xBB\xD6\xC3\xCF\xC2\xD2\xC6\r\n"
        "\r\n"
        "\r\n"
        "Quorvane 1.5 by Orlenna",
    "\xD3\xC3\xB7\xA8",  // 21: 用法
    "\xCA\xB1\xBC\xE4\xD6\xE1\xBF\xEC\xCB\xD9\xB5\xF7\xBD\xDA\xB9\xA4\xBE\xDF",  // 22: 时间轴快速调节工具
    "Veltmoor\xB5\xDA\xD2\xBB\xD3\xCE\xCF\xB7\xC2\xDB\xCC\xB3",  // 23: Veltmoor第一游戏论坛
    "\xBD\xF8\xB3\xCC\xC3\xFB\xA3\xBA",  // 24: 进程名：
    "",  // 25: 
    "",  // 26: 
    "\xBE\xAB\xBC\xF2UI",  // 27: 精简UI
    "\xB3\xB7\xCF\xFA\xBE\xAB\xBC\xF2",  // 28: 撤销精简
    "\xCE\xDE\xC2\xDB\xBA\xCE\xCA\xB1\xA3\xAC\xB5\xB1\xC4\xFA\xCF\xEB\xB3\xB7\xCF\xFA\xBE\xAB\xBC\xF2\xB2\xD9\xD7\xF7\xA3\xAC\xD6\xBB\xD0\xE8\xB5\xE3\xBB\xF7\xB1\xBE\xB0\xB4\xC5\xA5" "2\xB4\xCE",  // 29: 无论何时，当您想撤销精简操作，只需点击本按钮2次
};

constexpr std::string_view kEnglishRows[kUiRowCount] = {
    "Select Player",  // 0
    "Only PowerDVD15 BD/DVD Mode",  // 1
    "Multi-function Mode",  // 2
    "Select and Start",  // 3
    "Font = ",  // 4
    "Bold",  // 5
    "Delay = ",  // 6
    "Input font name,for example,Arial",  // 7
    "Backward  when  positive, Forward when negative.Unit: ms ",  // 8
    "Center",  // 9
    "Shadow",  // 10
    "Font size = ",  // 11
    "Left = ",  // 12
    "Sub width = ",  // 13
    "Top = ",  // 14
    "Subtitles(*.srt)",  // 15
    "Please launch CyberLink PowerDVD Ultra and Play in BD/DVD Mode",  // 16
    "Orlenna say",  // 17
    "Quorvane (Only For PD15)",  // 18
    "Check update. @Orlenna",  // 19
    "1.Launch PowerDVD, Play Blu-ray drive or disc folder on your hard drive\r\n"
        "\r\n"
        "2.Click [Select and Start] button, Select a *.srt file\r\n"
        "\r\n"
        "     Hotkeys/Options\r\n"
        "\r\n"
        "F8    ~   Show/Hide Subtitles\r\n"
        "\r\n"
        "Alt + F1  ~  Font size +\r\n"
        "Alt + F2  ~  Font size -\r\n"
        "\r\n"
        "Alt +  ]   ~  Position +\r\n"
        "Alt +  [   ~  Position -\r\n"
        "\r\n"
        "\r\n"
        "Quorvane 1.5 by Orlenna",
    "Help",  // 21
    "Srt Rapid Adjustment",  // 22
    "Veltmoor Forum",  // 23
    "Process:",  // 24
    "",  // 25
    "",  // 26
    "CutUI",  // 27
    "Revoke",  // 28
    "Anyway,When you wantto revoke CutUI,just click me 2 times",  // 29
};

}  // namespace

UiLanguage languageFromLangId(uint16_t langId) {
  switch (langId) {
    case 0x0404:  // Taiwan
    case 0x0C04:  // Hong Kong
    case 0x1404:  // Macao
    case 0x7C04:  // Traditional Chinese, neutral
      return UiLanguage::TraditionalChinese;
    case 0x0804:  // PRC
    case 0x1004:  // Singapore
      return UiLanguage::SimplifiedChinese;
    default:
      return UiLanguage::English;
  }
}

UiTextTable UiTextTable::build(UiLanguage language, const TextCodec& codec) {
  UiTextTable table;
  for (size_t i = 0; i < kUiRowCount; ++i) {
    switch (language) {
      case UiLanguage::SimplifiedChinese:
        table.rows_[i] = kSimplifiedRows[i];
        break;
      case UiLanguage::TraditionalChinese:
        table.rows_[i] = codec.gbkToTraditionalBig5(kSimplifiedRows[i]);
        break;
      case UiLanguage::English:
        table.rows_[i] = kEnglishRows[i];
        break;
    }
  }
  return table;
}

const std::string& UiTextTable::row(UiRow index) const {
  return rows_[static_cast<size_t>(index)];
}

std::string captionWithNumber(std::string_view prefix, int32_t value) {
  std::string caption(prefix);
  caption += std::to_string(value);
  return caption;
}

}  // namespace quorvane
