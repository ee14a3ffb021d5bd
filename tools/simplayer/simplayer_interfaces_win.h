#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The public interfaces through which real players tell their time, played by the simulated
// player, each written from that interface's public description, not from Quorvane's reader.
namespace quorvane::simplayer {

struct Truth {
  int64_t positionMs = 0;
  bool playing = false;
};
using TruthSource = std::function<Truth()>;

// MPC-HC's web interface: GET /variables.html on 127.0.0.1:port, one <p id="..."> per variable.
bool startMpcWebInterface(uint16_t port, TruthSource truth);
// PotPlayer's window messages: a hidden top-level window of class "PotPlayer64" that answers
// WM_USER questions (0x5004 current time in ms, 0x5006 play status). Call on a thread that
// dispatches messages.
bool startPotPlayerWindow(TruthSource truth);
// mpv's JSON IPC on a named pipe: answers observe_property for time-pos, pause and speed, then
// reports their changes (time-pos once a frame while playing), one JSON message per line; any
// number of clients at once, as mpv serves them.
bool startMpvPipe(const std::string& pipePath, TruthSource truth);

}  // namespace quorvane::simplayer
