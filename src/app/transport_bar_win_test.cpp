#include "app/transport_bar_win.h"

#include <gtest/gtest.h>

#include <string>

#include "app/run_control.h"
#include "app/sync_texts.h"
#include "platform/wide_text_win.h"
#include "run/line_sync.h"

namespace quorvane {
namespace {

// The width `text` (in `codePage`) takes drawn in `font`. A Chinese character (full-width
// punctuation too) is drawn a full em wide by whichever face supplies it; the face the system
// links for it depends on the locale the test runs in, which may link none, so those characters
// count at the font's em and the rest is measured.
int drawnWidth(HFONT font, const std::string& text, unsigned codePage) {
  const MemoryDc dc(CreateCompatibleDC(nullptr));
  const HGDIOBJ old = SelectObject(dc.get(), font);
  std::wstring narrow;
  int fullWidth = 0;
  for (const wchar_t c : wideFromCodePage(text, codePage)) {
    if (c >= 0x2E80) {
      ++fullWidth;
    } else {
      narrow += c;
    }
  }
  RECT box{0, 0, 0, 0};
  DrawTextW(dc.get(), narrow.c_str(), static_cast<int>(narrow.size()), &box, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc.get(), &metrics);
  SelectObject(dc.get(), old);
  return box.right - box.left + fullWidth * (metrics.tmHeight - metrics.tmInternalLeading);
}

bool overlap(const RECT& a, const RECT& b) { return a.left < b.right && b.left < a.right; }

// The delay and rate text is drawn whole in its box, clear of the clock's text and the start
// button, at the largest delay the keys reach and the rates two-point sync takes, in each
// language, at 96 and 144 DPI.
TEST(TransportBarTest, TheDelayTextFitsItsBoxAtTheLargestDelayAndRateInEachLanguage) {
  struct Language {
    UiLanguage language;
    unsigned codePage;
  };
  const Language languages[] = {
      {UiLanguage::English, 1252}, {UiLanguage::SimplifiedChinese, 936}, {UiLanguage::TraditionalChinese, 950}};
  for (const Language& l : languages) {
    std::unique_ptr<TransportBar> bar =
        TransportBar::create(GetModuleHandleA(nullptr), l.language, [] { return TransportBarState{}; }, {}, std::nullopt);
    ASSERT_TRUE(bar);
    for (const UINT dpi : {96u, 144u}) {
      SCOPED_TRACE(static_cast<int>(l.language) * 1000 + static_cast<int>(dpi));
      RECT suggested{0, 0, 10, 10};
      SendMessageA(bar->hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
      const RECT box = bar->delayBox();
      EXPECT_FALSE(overlap(box, bar->clockBox()));
      EXPECT_FALSE(overlap(box, bar->partBox(TransportBar::EarlyStart)));
      RECT client{};
      GetClientRect(bar->hwnd(), &client);
      EXPECT_LE(bar->partBox(TransportBar::EarlyStart).right, client.right);
      for (const int32_t delayMs : {-RunControl::kDelayLimitMs, RunControl::kDelayLimitMs}) {
        for (const double rate : {LineSync::kMinRate, LineSync::kMaxRate, 1.0431}) {
          const std::string text = delayNotice(delayMs, rate, l.language);
          EXPECT_LE(drawnWidth(bar->font(), text, l.codePage), box.right - box.left) << text;
        }
      }
    }
  }
}

}  // namespace
}  // namespace quorvane
