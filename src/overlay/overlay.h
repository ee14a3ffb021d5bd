#pragma once

#include <cstdint>
#include <string_view>

#include "overlay/cue_styles.h"

namespace quorvane {

struct AssScript;
struct SubtitleEvents;

// The moment of a typeset script that the picture shows, in the script's own times: the run's
// clock, read whenever the overlay draws a frame of it.
class TypesetClock {
 public:
  virtual ~TypesetClock() = default;
  virtual int64_t scriptTimeMs() const = 0;
};

// The two numbers with which the scheduler estimates how many lines a cue takes on the overlay.
struct OverlayMetrics {
  int32_t lineHeight = 0;    // pixels per subtitle line
  int32_t lineCapacity = 0;  // full-width (two-byte) characters per line
};

// What the rest of the program may do to the subtitle overlay while a run is active. The
// Windows overlay implements it; tests use a recording fake.
class Overlay {
 public:
  virtual ~Overlay() = default;
  virtual void setLeft(int32_t x) = 0;
  virtual void setTop(int32_t y) = 0;
  virtual void setVisible(bool visible) = 0;
  virtual void setText(std::string_view ansiText) = 0;  // lines separated by CR LF
  virtual void setLabelWidth(int32_t pixels) = 0;
  virtual void setFontFace(std::string_view face) = 0;
  virtual void setFontSize(int32_t points) = 0;
  virtual void setCentred(bool centred) = 0;
  virtual void setShadow(bool shadow) = 0;
  virtual void assertTopmost() = 0;  // back on top, not moved, not activated, not shown
  // The system menu's enhancements, switched at any time; the shown text is drawn again.
  virtual void setFormattingTags(bool on) = 0;  // hide <i>, {\an8}, ... and draw what they say
  virtual void setSmoothText(bool on) = 0;      // anti-aliased glyphs with a black outline
  // Where the styles of the run's cues are (null: plain cues); smooth text draws them.
  virtual void setCueStyles(const CueStyles* /*styles*/) {}
  // A typeset ASS script (null: none), in the texts' code page, and the clock it is drawn at:
  // smooth text draws its frames over the picture instead of the cues' lines.
  virtual void setTypeset(const AssScript* /*script*/, const TypesetClock* /*clock*/) {}
  // A WebVTT file's events whose cues set their places (null: none), in the texts' code page,
  // and the clock: smooth text places the cues on screen in the picture by their settings.
  virtual void setPlacedCues(const SubtitleEvents* /*events*/, const TypesetClock* /*clock*/) {}
};

// An overlay that takes every call and shows nothing: a base for stand-ins that care about a
// few of the calls (the console run, benchmarks).
class NullOverlay : public Overlay {
 public:
  void setLeft(int32_t) override {}
  void setTop(int32_t) override {}
  void setVisible(bool) override {}
  void setText(std::string_view) override {}
  void setLabelWidth(int32_t) override {}
  void setFontFace(std::string_view) override {}
  void setFontSize(int32_t) override {}
  void setCentred(bool) override {}
  void setShadow(bool) override {}
  void assertTopmost() override {}
  void setFormattingTags(bool) override {}
  void setSmoothText(bool) override {}
};

}  // namespace quorvane
