#pragma once

#include <string>

#include "app/ui_text_table.h"
#include "common/ui_language.h"

namespace quorvane {

// The file-open dialog's filter as "caption|patterns" pairs joined by "|": every subtitle type
// the program reads first (the default), then the SRT entry of the text table, then all files.
std::string subtitleFileFilter(const UiTextTable& texts, UiLanguage language);

}  // namespace quorvane
