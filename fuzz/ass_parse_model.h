#pragma once
// ASS time and field reading written plainly, as a model for the fuzzer: a regular expression
// for the time, comma counting for the fields. Small inputs only.
#include <cstdint>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::model {

// Each number is the value of its first nine digits.
inline int64_t firstNineDigits(const std::string& digits) {
  return digits.empty() ? 0 : std::stoll(digits.substr(0, 9));
}

inline std::optional<int64_t> assTime(std::string_view text) {
  static const std::regex pattern(R"(^[ \t]*(-?)([0-9]+):([0-9]+):([0-9]+)(?:\.([0-9]*))?[ \t]*$)");
  std::match_results<std::string_view::const_iterator> m;
  if (!std::regex_match(text.begin(), text.end(), m, pattern)) return std::nullopt;
  const int64_t ms = firstNineDigits(m[2].str()) * 3600000 + firstNineDigits(m[3].str()) * 60000 +
                     firstNineDigits(m[4].str()) * 1000 + firstNineDigits(m[5].str()) * 10;
  return m[1].length() > 0 ? -ms : ms;
}

// A Dialogue: line's value in `count` fields, the last keeping its commas; nothing when it has
// fewer than count - 1 commas.
inline std::optional<std::vector<std::string>> assFields(std::string_view value, size_t count) {
  std::vector<std::string> fields(1);
  for (char c : value) {
    if (c == ',' && fields.size() < count) fields.emplace_back();
    else fields.back().push_back(c);
  }
  if (fields.size() < count) return std::nullopt;
  return fields;
}

}  // namespace quorvane::model
