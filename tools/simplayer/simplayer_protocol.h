#pragma once

// What the simulated player and the programs that drive it agree on: the control pipe's name,
// its message size, and the way times and sizes are written on command lines.

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane::simplayer {

// One request and one answer per connection, each a line of text of at most this size.
inline constexpr uint32_t maxMessageBytes = 256;

inline std::string pipeName(uint32_t pid) { return "\\\\.\\pipe\\simplayer-" + std::to_string(pid); }

// The player's position at the moment given by the system tick count (GetTickCount).
struct Position {
  int32_t positionMs = 0;
  uint32_t tickCount = 0;
  bool playing = false;
};

namespace detail {
inline std::optional<int64_t> parseNumber(std::string_view text) {
  if (text.empty() || text.size() > 12) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}
}  // namespace detail

// "H:MM:SS", "M:SS" (each optionally followed by ".mmm") or plain milliseconds.
inline std::optional<int64_t> parseTimeMs(std::string_view text) {
  if (text.find(':') == std::string_view::npos) return detail::parseNumber(text);
  int64_t fractionMs = 0;
  if (const auto dot = text.find('.'); dot != std::string_view::npos) {
    std::string digits(text.substr(dot + 1));
    if (digits.empty() || digits.size() > 3 || !detail::parseNumber(digits)) return std::nullopt;
    digits.resize(3, '0');
    fractionMs = *detail::parseNumber(digits);
    text = text.substr(0, dot);
  }
  int64_t seconds = 0;
  int fields = 0;
  while (!text.empty()) {
    const auto colon = text.find(':');
    const auto field = detail::parseNumber(text.substr(0, colon));
    if (!field || ++fields > 3) return std::nullopt;
    seconds = seconds * 60 + *field;
    text = colon == std::string_view::npos ? std::string_view{} : text.substr(colon + 1);
  }
  return seconds * 1000 + fractionMs;
}

// Bytes, or with a K or M suffix (binary units): "32M", "512K", "4096".
inline std::optional<uint32_t> parseSize(std::string_view text) {
  uint64_t unit = 1;
  if (!text.empty() && (text.back() == 'M' || text.back() == 'm')) unit = 1u << 20;
  if (!text.empty() && (text.back() == 'K' || text.back() == 'k')) unit = 1u << 10;
  if (unit != 1) text.remove_suffix(1);
  const auto number = detail::parseNumber(text);
  if (!number || static_cast<uint64_t>(*number) * unit > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<uint32_t>(*number * unit);
}

}  // namespace quorvane::simplayer
