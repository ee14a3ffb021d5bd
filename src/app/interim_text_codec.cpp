// Stand-in until the text conversion lands: plain code-page transcoding, no script change.
// Removed when the real TextCodec is merged.
#include "loading/text_codec.h"

namespace quorvane {

std::string TextCodec::gbkToTraditionalBig5(std::string_view gbk) const {
  return codePages_.fromUtf16(kCodePageBig5, codePages_.toUtf16(kCodePageGbk, gbk));
}

}  // namespace quorvane
