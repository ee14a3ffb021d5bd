#include "players/mpc_variables.h"

#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

namespace quorvane {
namespace {

// The text of the element whose id is `name`, or nothing. Ids are matched whole, quotes
// included, so "position" never finds "positionstring".
std::optional<std::string_view> variable(std::string_view page, std::string_view name) {
  const std::string key = "id=\"" + std::string(name) + "\"";
  const size_t at = page.find(key);
  if (at == std::string_view::npos) return std::nullopt;
  const size_t open = page.find('>', at + key.size());
  if (open == std::string_view::npos) return std::nullopt;
  const size_t close = page.find('<', open + 1);
  if (close == std::string_view::npos) return std::nullopt;
  std::string_view text = page.substr(open + 1, close - open - 1);
  while (!text.empty() && (text.front() == ' ' || text.front() == '\r' || text.front() == '\n')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  return text;
}

// Digits enough for any position the page can hold (13: over 300 years in ms), and few enough
// that the value cannot overflow.
constexpr size_t kMaxIntegerChars = 13;
// "1.5" and the like; a longer text is no speed.
constexpr size_t kMaxRateChars = 15;

std::optional<int64_t> integer(std::optional<std::string_view> text) {
  if (!text || text->empty() || text->size() > kMaxIntegerChars) return std::nullopt;
  std::string_view digits = *text;
  const bool negative = digits.front() == '-';
  if (negative) digits.remove_prefix(1);
  if (digits.empty()) return std::nullopt;
  int64_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

// Longer than this is not a film (about 11 days).
constexpr int64_t kLongestMs = 1'000'000'000;

// The page's "state": what the player's file is doing.
constexpr int64_t kStateNoFile = -1;
constexpr int64_t kStateStopped = 0;
constexpr int64_t kStatePaused = 1;
constexpr int64_t kStatePlaying = 2;

}  // namespace

PlayerReport parseMpcVariables(std::string_view page) {
  PlayerReport report;
  const auto state = integer(variable(page, "state"));
  const auto position = integer(variable(page, "position"));
  if (!state || !position || !variable(page, "file")) return report;
  if (*state == kStateStopped || *state == kStateNoFile) {
    report.state = PlayerState::NoFilm;
    return report;
  }
  if ((*state != kStatePaused && *state != kStatePlaying) || *position < 0 || *position > kLongestMs) return report;
  report.state = *state == kStatePlaying ? PlayerState::Playing : PlayerState::Paused;
  report.positionMs = *position;
  // "1" or "1.5": MPC-HC gives the speed as a plain number where it gives it at all.
  if (const auto rate = variable(page, "playbackrate"); rate && !rate->empty() && rate->size() <= kMaxRateChars) {
    const std::string text(*rate);
    char* end = nullptr;
    const double r = std::strtod(text.c_str(), &end);
    if (end == text.c_str() + text.size() && std::isfinite(r) && r > 0 && r <= 64) report.rate = r;
  }
  return report;
}

}  // namespace quorvane
