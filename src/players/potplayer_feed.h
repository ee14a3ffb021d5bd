#pragma once

#include <memory>

#include "platform/precise_time.h"
#include "players/player_report.h"

namespace quorvane {

// Asks PotPlayer's main window on a worker thread (SendMessageTimeout: a hung player costs the
// worker a short wait, never the run). Windows only.
std::unique_ptr<InterfacePlayerFeed> makePotPlayerFeed(const PreciseTimeSource& time = systemPreciseTimeSource());

}  // namespace quorvane
