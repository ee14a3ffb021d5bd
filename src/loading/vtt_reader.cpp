#include "loading/vtt_reader.h"

#include <array>
#include <vector>

namespace quorvane {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool startsWithWord(std::string_view line, std::string_view word) {
  return line.substr(0, word.size()) == word && (line.size() == word.size() || isBlank(line[word.size()]));
}

bool readDigits(std::string_view& text, int64_t& value, size_t& count) {
  count = 0;
  value = 0;
  while (count < text.size() && text[count] >= '0' && text[count] <= '9') {
    if (count < 12) value = value * 10 + (text[count] - '0');
    ++count;
  }
  text.remove_prefix(count);
  return count > 0;
}

// Whether a `line:` setting puts the cue at the top: a percentage under 50, or a line number
// counted from the top (0 and up); negative numbers count from the bottom.
bool lineSettingIsTop(std::string_view value) {
  value = value.substr(0, value.find(','));  // ",start" / ",end" say how the line is aligned
  if (value.empty()) return false;
  const bool percent = value.back() == '%';
  if (percent) value.remove_suffix(1);
  if (!value.empty() && value.front() == '-') return false;
  int64_t number = 0;
  size_t digits = 0;
  readDigits(value, number, digits);
  if (digits == 0) return false;
  return percent ? number < 50 : true;
}

struct Entity {
  std::string_view name, text;
};
constexpr std::array<Entity, 6> kEntities{{
    {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&nbsp;", " "}, {"&lrm;", ""}, {"&rlm;", ""}}};

// A cue text's plain and smooth forms. Neither '<' nor '&' is ever a GBK or Big5 trail byte,
// so the scan needs no code page.
void convertText(std::string_view text, SubtitleEvent& event) {
  std::string& plain = event.text;
  std::string& tagged = event.tagged;
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '<') {
      const size_t close = text.find('>', i);
      if (close == std::string_view::npos) break;  // an unclosed tag runs to the end
      std::string_view name = text.substr(i + 1, close - i - 1);
      const bool closing = !name.empty() && name.front() == '/';
      if (closing) name.remove_prefix(1);
      if (name == "i" || name == "b" || name == "u") tagged.append(text.substr(i, close + 1 - i));
      i = close + 1;
    } else if (c == '&') {
      const Entity* found = nullptr;
      for (const Entity& entity : kEntities) {
        if (text.substr(i, entity.name.size()) == entity.name) found = &entity;
      }
      const std::string_view out = found ? found->text : text.substr(i, 1);
      plain.append(out);
      tagged.append(out);
      i += found ? found->name.size() : 1;
    } else {
      plain.push_back(c);
      tagged.push_back(c);
      ++i;
    }
  }
}

// "start --> end settings..." into the event; false when the times do not read.
bool readTimingLine(std::string_view line, SubtitleEvent& event) {
  const size_t arrow = line.find("-->");
  const std::optional<int64_t> start = parseVttTime(line.substr(0, arrow));
  std::string_view rest = line.substr(arrow + 3);
  while (!rest.empty() && isBlank(rest.front())) rest.remove_prefix(1);
  size_t endLength = 0;
  while (endLength < rest.size() && !isBlank(rest[endLength])) ++endLength;
  const std::optional<int64_t> end = parseVttTime(rest.substr(0, endLength));
  if (!start || !end) return false;
  event.startMs = shiftedEventTime(*start);
  event.endMs = shiftedEventTime(*end);
  rest.remove_prefix(endLength);
  while (!rest.empty()) {
    while (!rest.empty() && isBlank(rest.front())) rest.remove_prefix(1);
    size_t length = 0;
    while (length < rest.size() && !isBlank(rest[length])) ++length;
    const std::string_view setting = rest.substr(0, length);
    if (setting.substr(0, 5) == "line:") event.top = lineSettingIsTop(setting.substr(5));
    rest.remove_prefix(length);
  }
  return true;
}

}  // namespace

bool looksLikeWebVtt(std::string_view bytes) { return startsWithWord(bytes.substr(0, bytes.find("\r\n")), "WEBVTT"); }

std::optional<int64_t> parseVttTime(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  int64_t parts[3] = {0, 0, 0};
  size_t count = 0;
  for (;;) {
    size_t digits = 0;
    if (count == 3 || !readDigits(text, parts[count], digits)) return std::nullopt;
    if (count > 0 && digits != 2) return std::nullopt;  // minutes and seconds have two digits
    ++count;
    if (text.empty() || text.front() != ':') break;
    text.remove_prefix(1);
  }
  if (count < 2 || text.size() != 4 || text.front() != '.') return std::nullopt;
  text.remove_prefix(1);
  int64_t ms = 0;
  size_t digits = 0;
  if (!readDigits(text, ms, digits) || digits != 3) return std::nullopt;
  const int64_t h = count == 3 ? parts[0] : 0, m = parts[count - 2], s = parts[count - 1];
  if (m > 59 || s > 59) return std::nullopt;
  return h * 3600000 + m * 60000 + s * 1000 + ms;
}

SubtitleEvents readVttEvents(std::string_view bytes) {
  SubtitleEvents result;
  result.looks.push_back(TextLook{});
  std::vector<std::string_view> lines;
  forEachLine(bytes, [&](std::string_view line) { lines.push_back(line); });

  size_t i = 0;
  // The header runs to the first blank line.
  while (i < lines.size() && !lines[i].empty()) ++i;
  while (i < lines.size()) {
    if (lines[i].empty()) {
      ++i;
      continue;
    }
    // A block: NOTE / STYLE / REGION, or a cue with an optional identifier line.
    const std::string_view first = lines[i];
    if (startsWithWord(first, "NOTE") || startsWithWord(first, "STYLE") || startsWithWord(first, "REGION")) {
      while (i < lines.size() && !lines[i].empty()) ++i;
      continue;
    }
    if (first.find("-->") == std::string_view::npos) {
      if (i + 1 < lines.size() && lines[i + 1].find("-->") != std::string_view::npos) {
        ++i;  // the cue's identifier
      } else {
        while (i < lines.size() && !lines[i].empty()) ++i;  // not a cue
        continue;
      }
    }
    SubtitleEvent event;
    const bool timed = readTimingLine(lines[i++], event);
    std::string text;
    // The text runs to a blank line, or to a line holding "-->", which starts the next cue.
    for (; i < lines.size() && !lines[i].empty() && lines[i].find("-->") == std::string_view::npos; ++i) {
      if (!text.empty()) text += "\r\n";
      text.append(lines[i]);
    }
    if (!timed) continue;
    convertText(text, event);
    finishEventText(event);
    result.events.push_back(std::move(event));
  }
  return result;
}

}  // namespace quorvane
