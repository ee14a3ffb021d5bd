#pragma once

#include <string>
#include <utility>
#include <vector>

#include "overlay/overlay.h"

namespace quorvane {

// Records what is done to the overlay, one line per call.
class RecordingOverlay final : public Overlay {
 public:
  void setLeft(int32_t x) override { calls.push_back("left " + std::to_string(x)); }
  void setTop(int32_t y) override { calls.push_back("top " + std::to_string(y)); }
  void setVisible(bool visible) override { calls.push_back(visible ? "visible" : "hidden"); }
  void setText(std::string_view text) override { calls.push_back("text " + std::string(text)); }
  void setLabelWidth(int32_t w) override { calls.push_back("width " + std::to_string(w)); }
  void setFontFace(std::string_view face) override { calls.push_back("face " + std::string(face)); }
  void setFontSize(int32_t points) override { calls.push_back("size " + std::to_string(points)); }
  void setCentred(bool centred) override { calls.push_back(centred ? "centred" : "left-aligned"); }
  void setShadow(bool shadow) override { calls.push_back(shadow ? "shadow" : "no shadow"); }
  void assertTopmost() override { calls.push_back("topmost"); }
  void setFormattingTags(bool on) override { calls.push_back(on ? "tags" : "no tags"); }
  void setSmoothText(bool on) override { calls.push_back(on ? "smooth" : "not smooth"); }

  // The calls since the last look.
  std::vector<std::string> take() { return std::exchange(calls, {}); }

  std::vector<std::string> calls;
};

}  // namespace quorvane
