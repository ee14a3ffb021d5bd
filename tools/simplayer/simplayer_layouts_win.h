#pragma once

#include <string>

#include "simplayer_interfaces_win.h"

// Ways real players keep their playback position in memory, for learning an unknown player's
// clock: each keeps the position in one way in a heap object reached from the program's static
// data, beside decoys that a careless search would take for it. The heap objects lie elsewhere
// at every start.
//
//   ms-chain        int32 milliseconds, two pointers away from static data
//   double-seconds  a double in seconds inside a playback-state struct, one pointer away
//   ticks           int64 100 ns ticks, one pointer away
//   frames          an int32 frame counter at 23.976 frames a second, one pointer away
//   text            the shown time as UTF-16 text "H:MM:SS" only, one pointer away
//
// Decoys, in the layout's own encoding unless said: a counter of the wall clock (runs while
// paused), an int32 frame counter at 23.976 that runs while paused, and a copy of the position
// that runs while playing but ignores seeks. Each starts at the starting position.
namespace quorvane::simplayer {

// Starts a thread that keeps the layout's values up to date (every few ms, as a player does
// once a frame or so); false for an unknown name.
bool startLayout(const std::string& name, TruthSource truth);
// "layout=NAME value=0x... wall=0x... frames=0x... stale=0x...": where the position and each
// decoy lie now; "layout=none" without a layout.
std::string layoutReport();

}  // namespace quorvane::simplayer
