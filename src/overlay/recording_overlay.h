#pragma once

#include <string>
#include <utility>
#include <vector>

#include "overlay/overlay.h"

namespace quorvane {

// Records what is done to the overlay, one line per call.
class RecordingOverlay final : public Overlay {
 public:
  RecordingOverlay() = default;
  // Records into `log`, which outlives the overlay, and ends with "destroy": for an overlay
  // that a run owns.
  explicit RecordingOverlay(std::vector<std::string>& log) : log_(&log) {}
  ~RecordingOverlay() override {
    if (log_ != &calls) log_->push_back("destroy");
  }
  RecordingOverlay(const RecordingOverlay&) = delete;
  RecordingOverlay& operator=(const RecordingOverlay&) = delete;

  void setLeft(int32_t x) override { log("left " + std::to_string(x)); }
  void setTop(int32_t y) override { log("top " + std::to_string(y)); }
  void setVisible(bool visible) override { log(visible ? "visible" : "hidden"); }
  // A styled cue's text is followed by the tagged text of each of its blocks.
  void setText(std::string_view text) override {
    std::string call = "text " + std::string(text);
    const std::vector<CueBlock>* blocks = styles_ ? styles_->blocksOf(text) : nullptr;
    for (size_t i = 0; blocks && i < blocks->size(); ++i) call += " | " + styles_->table().blockTexts[(*blocks)[i].text];
    log(std::move(call));
  }
  void setLabelWidth(int32_t w) override { log("width " + std::to_string(w)); }
  void setFontFace(std::string_view face) override { log("face " + std::string(face)); }
  void setFontSize(int32_t points) override { log("size " + std::to_string(points)); }
  void setCentred(bool centred) override { log(centred ? "centred" : "left-aligned"); }
  void setShadow(bool shadow) override { log(shadow ? "shadow" : "no shadow"); }
  void assertTopmost() override { log("topmost"); }
  void setFormattingTags(bool on) override { log(on ? "tags" : "no tags"); }
  void setSmoothText(bool on) override { log(on ? "smooth" : "not smooth"); }
  void setCueStyles(const CueStyles* styles) override { styles_ = styles; }
  void setTypeset(const AssScript* script, const TypesetClock* clock) override {
    log(script ? "typeset" : "no typeset");
    typesetClock = clock;
  }
  void setPlacedCues(const SubtitleEvents* events, const TypesetClock* clock) override {
    log(events ? "placed cues" : "no placed cues");
    typesetClock = clock;
  }

  // The calls since the last look.
  std::vector<std::string> take() { return std::exchange(*log_, {}); }

  std::vector<std::string> calls;
  const TypesetClock* typesetClock = nullptr;  // the last one given

 private:
  void log(std::string call) { log_->push_back(std::move(call)); }
  std::vector<std::string>* log_ = &calls;
  const CueStyles* styles_ = nullptr;
};

}  // namespace quorvane
