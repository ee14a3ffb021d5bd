#include "players/mpv_ipc.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace quorvane {
namespace {

enum ObserveId { kTimePos = 1, kPause = 2, kSpeed = 3 };

// Longer than this is not a film (about 11 days).
constexpr double kLongestSeconds = 1'000'000;

}  // namespace

std::string MpvObserver::observeCommands() {
  return "{\"command\":[\"observe_property\",1,\"time-pos\"]}\n"
         "{\"command\":[\"observe_property\",2,\"pause\"]}\n"
         "{\"command\":[\"observe_property\",3,\"speed\"]}\n";
}

bool MpvObserver::take(std::string_view line) {
  const nlohmann::json message = nlohmann::json::parse(line.begin(), line.end(), nullptr, /*allow_exceptions=*/false);
  if (!message.is_object()) return false;
  const auto event = message.find("event");
  if (event == message.end()) return message.contains("error");  // a reply to a command
  if (!event->is_string()) return false;
  heard_ = true;
  if (event->get_ref<const std::string&>() != "property-change") return true;
  const auto name = message.find("name");
  if (name == message.end() || !name->is_string()) return false;
  const std::string& property = name->get_ref<const std::string&>();
  const auto data = message.find("data");
  const bool hasData = data != message.end() && !data->is_null();
  if (property == "time-pos") {
    // No data: no file is playing (mpv idles, or is between files).
    if (!hasData) {
      timePosSeconds_.reset();
    } else if (data->is_number() && std::isfinite(data->get<double>())) {
      const double seconds = data->get<double>();
      if (seconds < 0 || seconds > kLongestSeconds) return false;
      timePosSeconds_ = seconds;
    } else {
      return false;
    }
  } else if (property == "pause") {
    if (!hasData || !data->is_boolean()) return false;
    paused_ = data->get<bool>();
  } else if (property == "speed") {
    if (!hasData || !data->is_number()) return false;
    const double speed = data->get<double>();
    if (std::isfinite(speed) && speed > 0 && speed <= 64) speed_ = speed;
  }
  return true;
}

PlayerReport MpvObserver::report() const {
  PlayerReport report;
  if (!heard_) return report;
  if (!timePosSeconds_) {
    report.state = PlayerState::NoFilm;
    return report;
  }
  report.state = paused_ ? PlayerState::Paused : PlayerState::Playing;
  report.positionMs = static_cast<int64_t>(std::floor(*timePosSeconds_ * 1000));
  report.rate = speed_;
  return report;
}

}  // namespace quorvane
