#include "players/mpv_session.h"

#include "players/mpv_ipc.h"

namespace quorvane {

void MpvFollower::publish(PlayerReport report, uint64_t stampUs) {
  report.askedUs = report.answeredUs = stampUs;
  seam_.publish(report);
}

void MpvFollower::run() {
  for (;;) {
    bool keepGoing = true;
    if (const std::unique_ptr<MpvConnection> connection = seam_.connect()) keepGoing = follow(*connection);
    publish(PlayerReport{}, time_.nowUs());  // no mpv, or it went away: no answer
    if (!keepGoing || !seam_.wait(kReconnectMs)) return;
  }
}

bool MpvFollower::follow(MpvConnection& connection) {
  if (!connection.send(MpvObserver::observeCommands())) return true;
  MpvObserver observer;  // a new connection starts from nothing: mpv reports every property anew
  MpvLines lines;
  uint64_t stampUs = time_.nowUs();
  uint64_t toldUs = stampUs;
  std::string received;
  for (;;) {
    received.clear();
    if (!connection.receive(received)) return true;  // closed
    const uint64_t now = time_.nowUs();
    if (received.empty()) {
      if (now - toldUs >= kStillThereUs && observer.report().state != PlayerState::NoAnswer) {
        publish(observer.report(), stampUs);
        toldUs = now;
      }
      if (!seam_.wait(kLookMs)) return false;
      continue;
    }
    bool changed = false;
    lines.add(received, [&](std::string_view line) { changed |= observer.take(line); });
    if (changed) {
      // The moment a change arrives is the moment it belongs to.
      stampUs = now;
      publish(observer.report(), stampUs);
      toldUs = now;
    }
  }
}

}  // namespace quorvane
