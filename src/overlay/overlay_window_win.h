#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "overlay/ass_renderer_win.h"
#include "overlay/ink_windows_win.h"
#include "overlay/overlay.h"
#include "overlay/picture_area.h"
#include "overlay/smooth_text_win.h"
#include "overlay/vtt_layout.h"
#include "platform/dpi_win.h"
#include "platform/window_handles_win.h"
#include "platform/window_win.h"

namespace quorvane {

inline constexpr char kOverlayClassName[] = "QuorvaneOverlay";
inline constexpr wchar_t kSubtitleLabelClassName[] = L"QuorvaneSubtitleLabel";
inline constexpr int kShadowOffset = 2;  // the shadow's offset right and down, at 96 DPI

// What a new overlay starts with: the main window's controls at the moment a run starts.
struct OverlaySetup {
  std::string fontFace;  // ANSI bytes in the system code page (the font-name box's text)
  int32_t fontPoints = 36;
  // Lengths in 96-DPI pixels, as stored; the overlay scales them to its monitor's DPI.
  int32_t left = 0, top = 0;
  int32_t labelWidth = 1440;
  bool centred = true, shadow = false;
  // Code page of the ANSI texts setText() receives: 936 GBK, 950 Big5, or the system's ANSI
  // code page (e.g. 1252).
  unsigned codePage = 936;
  bool formattingTags = false, smoothText = false;
  // Where the film is on screen now, asked as often as a layout needs it (empty: the screen).
  std::function<PictureArea()> pictureArea = nullptr;
};

// The overlay's only content. A Unicode window, so that its window text holds a subtitle in
// either Chinese script whatever the system's code page, and an outside probe reads it with
// WM_GETTEXT. It is a window class of its own (WindowBase's Unicode flavour) rather than a
// bare procedure, so that its font and flags live with it.
class SubtitleLabel final : public WindowBase<SubtitleLabel, true> {
 public:
  static bool registerClass(HINSTANCE instance);
  bool create(HWND parent, HINSTANCE instance, SIZE size, HBRUSH background);
  void setText(std::wstring_view text);
  void setSize(SIZE size);
  void setFont(FontHandle font);
  void setCentred(bool centred);
  void setShadow(bool shadow, int offset);

  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void repaint();
  void paint(HDC dc);
  std::wstring text() const;

  HBRUSH background_ = nullptr;  // the overlay's key brush
  FontHandle font_;
  bool centred_ = true;
  bool shadow_ = false;
  int shadowOffset_ = kShadowOffset;
};

// The borderless, colour-keyed, topmost, click-through window that floats the subtitle over
// the player's video. It never takes the focus, so a full-screen player keeps it.
class OverlayWindow final : public Overlay, public WindowBase<OverlayWindow> {
 public:
  // Creates, sets up and shows the window without activating it; null when set-up fails.
  static std::unique_ptr<OverlayWindow> create(HINSTANCE instance, const OverlaySetup& setup);
  ~OverlayWindow() override;  // detaches the object from the window, then destroys the window

  HWND labelHwnd() const { return label_.hwnd(); }
  // The windows that show a typeset frame's ink now, this one first; none without a typeset frame.
  std::vector<HWND> typesetWindows() const;
  // The film's rectangle on screen this moment, which a typeset script's frame covers and its
  // positions are laid out in: the run's, else the monitor the overlay is on.
  PictureArea pictureArea() const;

  void setLeft(int32_t x) override;
  void setTop(int32_t y) override;
  void setVisible(bool visible) override;
  void setText(std::string_view ansiText) override;
  void setLabelWidth(int32_t pixels) override;
  void setFontFace(std::string_view face) override;
  void setFontSize(int32_t points) override;
  void setCentred(bool centred) override;
  void setShadow(bool shadow) override;
  void assertTopmost() override;
  void setFormattingTags(bool on) override;
  void setSmoothText(bool on) override;
  void setCueStyles(const CueStyles* styles) override { styles_ = styles; }
  void setTypeset(const AssScript* script, const TypesetClock* clock) override;
  void setPlacedCues(const SubtitleEvents* events, const TypesetClock* clock) override;

  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  explicit OverlayWindow(const OverlaySetup& setup)
      : fontFace_(setup.fontFace),
        fontPoints_(setup.fontPoints),
        codePage_(setup.codePage),
        formattingTags_(setup.formattingTags),
        left_(setup.left),
        top_(setup.top),
        labelWidth_(std::max(setup.labelWidth, 0)),
        centred_(setup.centred),
        shadow_(setup.shadow),
        pictureArea_(setup.pictureArea) {}
  void place();  // at left_, top_, or at the top of the screen for a cue that asks for it
  int32_t screenTop() const;  // of the window's monitor
  int scaled(int length) const { return scaledToDpi(length, dpi_); }
  SIZE labelSize() const;
  void sizeWindow();       // the label's window: 2560 x 540, at its DPI
  int fontPixels() const;  // the font's character height at its DPI
  void useDpi(UINT dpi);
  FontHandle makeFont() const;
  void showText();  // the label's text from the cue's, tags taken out or not
  void useSmoothText(bool on);
  void drawSmooth(const FormattedCue& cue);
  // A typeset script or placed WebVTT cues are drawn: smooth text with either and its clock.
  bool typesetting() const { return smooth_ && (typeset_ || placedCues_) && typesetClock_; }
  // The clock of a new typeset script or placed cues, which replace whichever came before.
  void useTypesetClock(const TypesetClock* clock);
  // Placed cues in the overlay's font, white with its outline, and its shadow when on.
  VttLook placedCueLook() const;
  // The script's frame at the clock's moment over the picture; a repaint at the monitor's rate
  // while an event on screen is animated, none otherwise.
  void drawTypeset();

  std::string fontFace_;
  int32_t fontPoints_;
  unsigned codePage_;
  bool formattingTags_;
  std::string cueText_;  // as the scheduler gave it, tags and all
  const CueStyles* styles_ = nullptr;
  const std::vector<CueBlock>* blocks_ = nullptr;  // of a styled cue's text: drawn in their styles
  int32_t left_, top_;
  int32_t labelWidth_;
  bool centred_, shadow_;
  std::function<PictureArea()> pictureArea_;
  UINT dpi_ = kDesignDpi;
  bool atScreenTop_ = false;  // the shown cue asked for the top ({\an8}, smooth text only)
  // A styled cue with lines at the top and at the bottom (smooth text only): the window reaches
  // from the screen's top down over its usual place.
  bool spansScreen_ = false;
  // Present while the overlay draws smooth text, as a per-pixel-alpha window.
  std::unique_ptr<SmoothTextRenderer> smooth_;
  const AssScript* typeset_ = nullptr;
  const TypesetClock* typesetClock_ = nullptr;
  AssWideTexts typesetTexts_;
  std::unique_ptr<VttCueFrames> placedCues_;
  std::unique_ptr<AssRenderer> typesetRenderer_;  // made on the first typeset frame
  std::unique_ptr<InkWindows> typesetWindows_;    // with it: this window and more over the ink
  bool animating_ = false;                        // the repaint timer runs
  // Declared so that the window goes before the label object and the brush it paints with.
  BrushHandle keyBrush_;
  SubtitleLabel label_;
  OwnedWindow window_;
};

// Paints a subtitle label's text into `labelRect` of `dc`: what WM_PAINT and WM_PRINTCLIENT
// do, and what a test calls on a memory DC. Paints no background.
void paintSubtitleLabel(HDC dc, const RECT& labelRect, std::wstring_view text, HFONT font,
                        bool centred, bool shadow, int shadowOffset = kShadowOffset);

}  // namespace quorvane
