#pragma once

#include <string_view>

namespace quorvane::setting {

// The system menu's sync keys item: "1" (or missing) on, "0" off.
inline constexpr std::string_view kSyncKeys = "SOFTWARE\\Orlenna\\Quorvane\\synckeys";
// The "Player" submenu: "1" the free clock, "0" (or missing) the automatic search.
inline constexpr std::string_view kFreeClock = "SOFTWARE\\Orlenna\\Quorvane\\freeclock";
// The bar's start choice: "1" a few seconds before the first line, "0" (or missing) at 0.
inline constexpr std::string_view kFreeClockEarlyStart = "SOFTWARE\\Orlenna\\Quorvane\\freestart";
// Where the transport bar was left: "monitor|x|y", x and y in 96-DPI pixels from the
// monitor's work area's top-left corner.
inline constexpr std::string_view kBarPlace = "SOFTWARE\\Orlenna\\Quorvane\\barplace";

}  // namespace quorvane::setting
