#pragma once

#include <string>
#include <string_view>

#include "platform/code_pages.h"

namespace quorvane {

// Moves Chinese text between the two ANSI code pages and changes its script on the way.
// One instance serves the whole program (UI texts at start, subtitle files at load).
class TextCodec {
 public:
  explicit TextCodec(const CodePages& codePages) : codePages_(codePages) {}

  // Big5 (950) to GBK (936), then traditional characters to their simplified forms.
  std::string big5ToSimplifiedGbk(std::string_view big5) const;
  // Simplified characters to their traditional forms within GBK, then GBK to Big5.
  std::string gbkToTraditionalBig5(std::string_view gbk) const;

 private:
  const CodePages& codePages_;
};

}  // namespace quorvane
