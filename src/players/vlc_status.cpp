#include "players/vlc_status.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

namespace quorvane {
namespace {

// A position past this is not a film's (about 11 days): a garbled or hostile answer.
constexpr double kLongestSeconds = 1'000'000;

}  // namespace

PlayerReport parseVlcStatus(std::string_view body) {
  PlayerReport report;
  const nlohmann::json status = nlohmann::json::parse(body.begin(), body.end(), nullptr, /*allow_exceptions=*/false);
  if (!status.is_object()) return report;
  const auto state = status.find("state");
  const auto time = status.find("time");
  if (state == status.end() || !state->is_string() || time == status.end() || !time->is_number()) return report;

  const std::string& name = state->get_ref<const std::string&>();
  if (name == "stopped") {
    report.state = PlayerState::NoFilm;
    return report;
  }
  if (name != "playing" && name != "paused") return report;  // an unknown state tells nothing

  const double seconds = time->get<double>();
  if (!std::isfinite(seconds) || seconds < 0 || seconds > kLongestSeconds) return report;
  // A length, when known, bounds the time: past it by more than a second the answer is not sane.
  if (const auto length = status.find("length"); length != status.end() && length->is_number()) {
    const double lengthSeconds = length->get<double>();
    if (lengthSeconds > 0 && seconds > lengthSeconds + 1) return report;
    if (std::isfinite(lengthSeconds) && lengthSeconds > 0) report.lengthSeconds = lengthSeconds;
  }
  // Taken as told, even past 1: whoever learns the film's time from it judges whether it fits.
  if (const auto position = status.find("position"); position != status.end() && position->is_number()) {
    const double fraction = position->get<double>();
    if (std::isfinite(fraction) && fraction >= 0) report.fraction = fraction;
  }
  if (const auto rate = status.find("rate"); rate != status.end() && rate->is_number()) {
    const double r = rate->get<double>();
    if (std::isfinite(r) && r > 0 && r <= 64) report.rate = r;
  }
  report.state = name == "playing" ? PlayerState::Playing : PlayerState::Paused;
  // VLC 3 gives whole seconds; a version that gives a fraction is taken to the millisecond.
  report.wholeSeconds = time->is_number_integer();
  report.positionMs = static_cast<int64_t>(std::floor(seconds * 1000));
  return report;
}

}  // namespace quorvane
