#include "run/subtitle_pair.h"

#include <algorithm>
#include <limits>

namespace quorvane {
namespace {

std::string_view withoutFinalLineEnd(std::string_view text) {
  while (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") text.remove_suffix(2);
  return text;
}

int32_t clampedTop(double top) {
  return static_cast<int32_t>(std::clamp<double>(top, std::numeric_limits<int32_t>::min(),
                                                 std::numeric_limits<int32_t>::max()));
}

}  // namespace

SubtitlePair::SubtitlePair(CueTable second, SecondLook look, const CueTable& first)
    : second_(std::move(second)), look_(look) {
  scheduler_.beginRun();
  styles_.looks = first.looks;
  styles_.blockTexts = first.blockTexts;
  styles_.looks.push_back(TextLook{});
  TextLook secondLook;
  secondLook.sizePermille = std::clamp(look.sizePercent, 10, 400) * 10;
  secondLook.colour = look.colour & 0xFFFFFF;
  styles_.looks.push_back(secondLook);
  styles_.blockTexts.resize(styles_.blockTexts.size() + 2);
}

int32_t SubtitlePair::positionMs(int32_t firstPositionMs) const {
  const int64_t p = int64_t{firstPositionMs} - offsetMs_;
  return static_cast<int32_t>(
      std::clamp<int64_t>(p, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

void SubtitlePair::step(const CueTable& first, CueScheduler& firstScheduler, const SchedulerInputs& in,
                        bool hasPosition, Overlay& overlay) {
  SchedulerInputs secondIn = in;
  secondIn.positionMs = positionMs(in.positionMs);
  if (hasPosition) {
    firstScheduler.step(first, in, firstText_);
    scheduler_.step(second_, secondIn, secondText_);
  } else {
    firstScheduler.clearShown(in, firstText_);
    scheduler_.clearShown(secondIn, secondText_);
  }
  if (!firstText_.changed && !secondText_.changed) return;
  firstText_.changed = secondText_.changed = false;
  compose(first, firstScheduler, in, overlay);
}

// The first's block stays where the user placed the subtitles; the second's goes over or under
// it. Like one file's text, the whole is raised only as far as needed to end at the screen's
// bottom.
void SubtitlePair::compose(const CueTable& first, const CueScheduler& firstScheduler, const SchedulerInputs& in,
                           Overlay& overlay) {
  const std::string_view firstText = withoutFinalLineEnd(firstText_.text);
  const std::string_view secondText = withoutFinalLineEnd(secondText_.text);
  if (firstText.empty() && secondText.empty()) {
    text_.clear();
    blocks_.clear();
    overlay.setText({});
    overlay.setTop(in.baseTop);
    return;
  }
  const std::string_view upper = look_.above ? secondText : firstText;
  const std::string_view lower = look_.above ? firstText : secondText;
  text_.assign(upper);
  if (!upper.empty() && !lower.empty()) text_ += "\r\n";
  text_ += lower;

  const int32_t firstLines = firstText.empty() ? 0 : cueLineCount(firstText, in);
  const int32_t secondLines = secondText.empty() ? 0 : cueLineCount(secondText, in);
  const double lineHeight = in.lineHeight;
  double top = in.baseTop - (look_.above ? secondLines * lineHeight : 0.0);
  const double height = (firstLines + secondLines) * lineHeight;
  if (top + height > in.screenHeight) top = in.screenHeight - height;

  // The styled view of the same text: a styled first cue keeps its blocks, a plain one is one
  // block in the overlay's own look; the second's lines are one block in the second's look.
  const uint32_t plainSlot = static_cast<uint32_t>(styles_.blockTexts.size() - 2);
  const uint16_t plainLook = static_cast<uint16_t>(styles_.looks.size() - 2);
  std::vector<CueBlock> firstBlocks;
  const int32_t index = firstScheduler.currentIndex();
  if (!firstText.empty() && index >= 1 && index <= first.cueCount &&
      first.at(index).text.data() == firstText_.text.data() && !first.at(index).blocks.empty()) {
    firstBlocks = first.at(index).blocks;
  } else if (!firstText.empty()) {
    styles_.blockTexts[plainSlot].assign(firstText);
    firstBlocks.push_back({plainSlot, plainLook, false});
  }
  std::vector<CueBlock> secondBlocks;
  if (!secondText.empty()) {
    styles_.blockTexts[plainSlot + 1].assign(secondText);
    secondBlocks.push_back({plainSlot + 1, static_cast<uint16_t>(plainLook + 1), false});
  }
  blocks_ = look_.above ? secondBlocks : firstBlocks;
  const std::vector<CueBlock>& rest = look_.above ? firstBlocks : secondBlocks;
  blocks_.insert(blocks_.end(), rest.begin(), rest.end());

  overlay.setLeft(in.left);
  overlay.setTop(clampedTop(top));
  overlay.setText(text_);
  overlay.assertTopmost();
}

const std::vector<CueBlock>* SubtitlePair::blocksOf(std::string_view text) const {
  return !text.empty() && text.data() == text_.data() && !blocks_.empty() ? &blocks_ : nullptr;
}

}  // namespace quorvane
