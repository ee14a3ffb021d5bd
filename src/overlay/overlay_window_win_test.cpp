#include "overlay/overlay_window_win.h"

#include "loading/ass_reader.h"
#include "loading/vtt_reader.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <tuple>

namespace quorvane {
namespace {

constexpr COLORREF kKey = RGB(128, 128, 128);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr char kFace[] = "SimHei";  // in every Wine prefix of ours (scripts/wine-env.sh)

// The pixels of a canvas other than its background.
struct Ink {
  RECT box{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
  int white = 0, black = 0, other = 0;
};

// A 32-bit bitmap filled with key grey, to paint or copy into and read back.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* bits = nullptr;
    bitmap_ = GdiObject<HBITMAP>(CreateDIBSection(dc(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    pixels_ = static_cast<const uint32_t*>(bits);
    old_ = SelectObject(dc(), bitmap_.get());
    const RECT all{0, 0, width, height};
    FillRect(dc(), &all, BrushHandle(CreateSolidBrush(kKey)).get());
  }
  ~Canvas() { SelectObject(dc(), old_); }
  HDC dc() const { return dc_.get(); }
  COLORREF at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return kKey;
    const uint32_t p = pixels_[y * width_ + x];
    return RGB(p >> 16, p >> 8, p);
  }
  Ink ink(COLORREF background = kKey) const {
    GdiFlush();
    Ink ink;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        const COLORREF c = at(x, y);
        if (c == background) continue;
        ++(c == kWhite ? ink.white : c == kBlack ? ink.black : ink.other);
        ink.box = {std::min<LONG>(ink.box.left, x), std::min<LONG>(ink.box.top, y),
                   std::max<LONG>(ink.box.right, x + 1), std::max<LONG>(ink.box.bottom, y + 1)};
      }
    }
    return ink;
  }

 private:
  int width_, height_;
  MemoryDc dc_{CreateCompatibleDC(nullptr)};
  GdiObject<HBITMAP> bitmap_;
  const uint32_t* pixels_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

// Windows counts a process's GDI objects. Wine answers 0, but finds a GDI handle by its table
// index alone, so there the table is probed.
size_t gdiObjectCount() {
  if (const DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return count;
  size_t count = 0;
  for (UINT_PTR index = 1; index < 0x10000; ++index) {
    count += GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0;
  }
  return count;
}

BOOL CALLBACK countWindow(HWND window, LPARAM count) {
  ++*reinterpret_cast<size_t*>(count);
  EnumChildWindows(window, countWindow, count);
  return TRUE;
}

// A window's frame on the screen: left, top, right, bottom.
std::tuple<LONG, LONG, LONG, LONG> edges(HWND window) {
  RECT frame{};
  GetWindowRect(window, &frame);
  return {frame.left, frame.top, frame.right, frame.bottom};
}

size_t windowCount() {  // this thread's windows and their descendants
  size_t count = 0;
  EnumThreadWindows(GetCurrentThreadId(), countWindow, reinterpret_cast<LPARAM>(&count));
  return count;
}

class OverlayWindowTest : public ::testing::Test {
 protected:
  static std::unique_ptr<OverlayWindow> open(const OverlaySetup& setup = {.fontFace = kFace}) {
    auto overlay = OverlayWindow::create(GetModuleHandleA(nullptr), setup);
    EXPECT_NE(overlay, nullptr);
    return overlay;
  }
  // The label as it paints itself.
  static Ink labelInk(const OverlayWindow& overlay) {
    RECT client{};
    GetClientRect(overlay.labelHwnd(), &client);
    const Canvas canvas(std::max<LONG>(client.right, 1), client.bottom);
    SendMessageW(overlay.labelHwnd(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()),
                 PRF_CLIENT | PRF_ERASEBKGND);
    return canvas.ink();
  }
  static HFONT labelFont(const OverlayWindow& overlay) {
    return reinterpret_cast<HFONT>(SendMessageW(overlay.labelHwnd(), WM_GETFONT, 0, 0));
  }
};

TEST_F(OverlayWindowTest, PaintsOnlyWhiteAndItsShadowOnTheKeyWithinTheLabel) {
  const auto overlay = open({.fontFace = kFace, .fontPoints = 20});
  struct Case {
    const wchar_t* text;
    int width, height;
    bool centred, shadow;
  };
  const wchar_t* eightLines = L"one\r\ntwo\r\nthree\r\nfour\r\nfive\r\nsix\r\nseven\r\neight";
  const Case cases[] = {
      {L"Subtitle", 400, 120, true, false},
      {L"Subtitle", 400, 120, false, true},
      {L"\u5B57\u5E55 \u96FB\u5F71", 400, 120, true, true},
      {eightLines, 300, 50, false, true},  // both heights cut through a line of glyphs
      {eightLines, 300, 74, false, true},
      {L"words that are far too many for one line of this label", 150, 300, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " shadow " << c.shadow);
    // The label sits at (8, 8) of a canvas that reaches 40 pixels beyond it.
    const Canvas canvas(c.width + 48, c.height + 48);
    const RECT label{8, 8, 8 + c.width, 8 + c.height};
    paintSubtitleLabel(canvas.dc(), label, c.text, labelFont(*overlay), c.centred, c.shadow);
    const Ink ink = canvas.ink();
    EXPECT_EQ(ink.other, 0) << "blended pixels would fringe the text";
    EXPECT_GT(ink.white, 0);
    EXPECT_TRUE(c.shadow || ink.black == 0);
    int blackWithoutWhite = 0;
    for (int y = 0; y < c.height + 48; ++y) {
      for (int x = 0; x < c.width + 48; ++x) {
        blackWithoutWhite += canvas.at(x, y) == kBlack && canvas.at(x - 2, y - 2) != kWhite;
      }
    }
    EXPECT_EQ(blackWithoutWhite, 0) << "the shadow lies 2 px right and down of the text";
    EXPECT_TRUE(ink.box.left >= label.left && ink.box.top >= label.top);
    EXPECT_LE(ink.box.right, label.right);
    EXPECT_LE(ink.box.bottom, label.bottom) << "text below the label is cut";
  }
}

TEST_F(OverlayWindowTest, IsAKeyedTopmostToolWindowThatTakesNoInput) {
  const auto overlay = open({.fontFace = kFace, .left = 40, .top = 60});
  char className[64] = {};
  GetClassNameA(overlay->hwnd(), className, sizeof className);
  EXPECT_STREQ(className, "QuorvaneOverlay");
  wchar_t labelClass[64] = {};
  GetClassNameW(overlay->labelHwnd(), labelClass, 64);
  EXPECT_STREQ(labelClass, L"QuorvaneSubtitleLabel");

  const DWORD style = GetWindowLongA(overlay->hwnd(), GWL_STYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_DISABLED | WS_VISIBLE),
            DWORD{WS_DISABLED | WS_VISIBLE});
  const DWORD wanted =
      WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE;
  EXPECT_EQ(GetWindowLongA(overlay->hwnd(), GWL_EXSTYLE) & (wanted | WS_EX_APPWINDOW), wanted);
  EXPECT_EQ(GetWindow(overlay->hwnd(), GW_OWNER), nullptr);
  EXPECT_FALSE(IsWindowEnabled(overlay->labelHwnd()));

  COLORREF key = 0;
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(overlay->hwnd(), &key, nullptr, &flags));
  EXPECT_EQ(key, kKey);
  EXPECT_EQ(flags, DWORD{LWA_COLORKEY});
  EXPECT_EQ(edges(overlay->hwnd()), std::tuple(40, 60, 40 + 2560, 60 + 540));
}

TEST_F(OverlayWindowTest, NeverTakesTheForegroundOrTheFocus) {
  const OwnedWindow player(CreateWindowExA(0, "STATIC", "player", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                           0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr));
  SetForegroundWindow(player.get());
  ASSERT_EQ(GetForegroundWindow(), player.get());
  std::unique_ptr<OverlayWindow> overlay;
  // Checked after each step: hiding an overlay that took the activation would give it back.
  const std::pair<const char*, std::function<void()>> steps[] = {
      {"create", [&] { overlay = open(); }},
      {"assertTopmost", [&] { overlay->assertTopmost(); }},
      {"setText", [&] { overlay->setText("cue"); }},
      {"setLeft", [&] { overlay->setLeft(10); }},
      {"setFontSize", [&] { overlay->setFontSize(30); }},
      {"setVisible", [&] { overlay->setVisible(false), overlay->setVisible(true); }},
  };
  for (const auto& [name, step] : steps) {
    SCOPED_TRACE(name);
    step();
    EXPECT_EQ(GetForegroundWindow(), player.get());
    EXPECT_EQ(GetActiveWindow(), player.get());
    EXPECT_EQ(GetFocus(), player.get());
  }
}

TEST_F(OverlayWindowTest, ShowsTextInTheCodePageItWasProducedIn) {
  struct Case {
    unsigned codePage;
    const char* bytes;
    const wchar_t* shown;
  };
  const Case cases[] = {
      {936, "\xB5\xE7\xD3\xB0\xD7\xD6\xC4\xBB\r\nA", L"\u7535\u5F71\u5B57\u5E55\r\nA"},
      {950, "\xB9\x71\xBC\x76\xA6\x72\xB9\xF5", L"\u96FB\u5F71\u5B57\u5E55"},
      {1252, "caf\xE9", L"caf\u00E9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codePage);
    const auto overlay = open({.fontFace = kFace, .codePage = c.codePage});
    overlay->setText(c.bytes);
    wchar_t text[64] = {};
    SendMessageW(overlay->labelHwnd(), WM_GETTEXT, 64, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, c.shown);
    EXPECT_GT(labelInk(*overlay).white, 0);
  }
}

TEST_F(OverlayWindowTest, FormattingTagsLeaveTheLabelTheVisibleTextAndSwitchAtOnce) {
  const auto overlay = open({.fontFace = kFace, .codePage = 936, .formattingTags = true});
  const auto labelText = [&] {
    wchar_t text[64] = {};
    SendMessageW(overlay->labelHwnd(), WM_GETTEXT, 64, reinterpret_cast<LPARAM>(text));
    return std::wstring(text);
  };
  overlay->setText("{\\an8}<i>\xB5\xE7\xD3\xB0</i> <3");
  EXPECT_EQ(labelText(), L"\u7535\u5F71 <3");
  overlay->setFormattingTags(false);
  EXPECT_EQ(labelText(), L"{\\an8}<i>\u7535\u5F71</i> <3");
  overlay->setFormattingTags(true);
  EXPECT_EQ(labelText(), L"\u7535\u5F71 <3");
  EXPECT_GT(labelInk(*overlay).white, 0);
}

TEST_F(OverlayWindowTest, SmoothTextIsAPerPixelAlphaWindowThatSwitchesBothWaysAtOnce) {
  const auto overlay = open({.fontFace = kFace, .top = 500, .labelWidth = 800,
                             .formattingTags = true, .smoothText = true});
  const auto labelText = [&] {
    wchar_t text[64] = {};
    SendMessageW(overlay->labelHwnd(), WM_GETTEXT, 64, reinterpret_cast<LPARAM>(text));
    return std::wstring(text);
  };
  const LONG exStyle = GetWindowLongA(overlay->hwnd(), GWL_EXSTYLE);
  for (const LONG style : std::initializer_list<LONG>{WS_EX_LAYERED, WS_EX_TRANSPARENT, WS_EX_TOPMOST,
                                                       WS_EX_TOOLWINDOW, WS_EX_NOACTIVATE}) {
    EXPECT_EQ(exStyle & style, style);
  }
  overlay->setText("{\\an8}<b>On top</b>");
  EXPECT_EQ(labelText(), L"On top");
  EXPECT_FALSE(IsWindowVisible(overlay->labelHwnd())) << "only the image shows";
  // The window is as wide as the label; its height is the image's.
  const auto frame = [&] {
    const auto [left, top, right, bottom] = edges(overlay->hwnd());
    EXPECT_TRUE(bottom > top && bottom - top <= 540) << top << ".." << bottom;
    return std::tuple(left, top, right);
  };
  EXPECT_EQ(frame(), std::tuple(0, 0, 800)) << "at the screen's top, label wide";
  overlay->setText("At the bottom");
  EXPECT_EQ(frame(), std::tuple(0, 500, 800));
  overlay->setLabelWidth(600);
  EXPECT_EQ(frame(), std::tuple(0, 500, 600));

  overlay->setText("{\\an8}Top again");
  overlay->setSmoothText(false);  // the plain label ignores the placement
  EXPECT_EQ(edges(overlay->hwnd()), std::tuple(0, 500, 2560, 1040));
  EXPECT_TRUE(IsWindowVisible(overlay->labelHwnd()));
  COLORREF key = 0;
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(overlay->hwnd(), &key, nullptr, &flags));
  EXPECT_EQ(key, kKey);
  EXPECT_EQ(flags & LWA_COLORKEY, static_cast<DWORD>(LWA_COLORKEY));
  const Ink plain = labelInk(*overlay);
  EXPECT_GT(plain.white, 0);
  EXPECT_EQ(plain.other, 0);
  overlay->setSmoothText(true);
  EXPECT_EQ(frame(), std::tuple(0, 0, 600));
  EXPECT_EQ(labelText(), L"Top again");
  for (const int32_t points : {0, 74, 1000}) overlay->setFontSize(points);
  overlay->setFontFace("No Such Face");
  overlay->setLabelWidth(0);
  overlay->setText(std::string(2'000'000, 'x'));
}

// A typeset script's clock, set by the test.
struct FixedClock : TypesetClock {
  int64_t ms = 0;
  int64_t scriptTimeMs() const override { return ms; }
};

// Whether the window's repaint timer ran in the last 60 ms; its messages are taken away.
bool repaintsPending(HWND hwnd) {
  Sleep(60);
  MSG message;
  const bool pending = PeekMessageA(&message, hwnd, WM_TIMER, WM_TIMER, PM_REMOVE);
  while (PeekMessageA(&message, hwnd, WM_TIMER, WM_TIMER, PM_REMOVE)) {
  }
  return pending;
}

// A sign that only moves keeps its window and its size: the window is moved, not drawn again.
TEST_F(OverlayWindowTest, AMovingSignMovesItsWindow) {
  const AssScript script = readAssScript(
      "[Script Info]\r\nPlayResX: 640\r\nPlayResY: 360\r\n\r\n[Events]\r\n"
      "Dialogue: 0,0:00:00.00,0:00:02.00,Default,,0,0,0,,{\\move(100,100,300,100)}Sign\r\n");
  FixedClock clock;
  clock.ms = 500;
  const auto overlay = open({.fontFace = kFace, .top = 500, .labelWidth = 800, .smoothText = true});
  MONITORINFO monitor{sizeof monitor, {}, {}, 0};
  GetMonitorInfoA(MonitorFromWindow(overlay->hwnd(), MONITOR_DEFAULTTOPRIMARY), &monitor);
  overlay->setTypeset(&script, &clock);
  const auto [left, top, right, bottom] = edges(overlay->hwnd());
  clock.ms = 1000;  // 50 of the script's 640 pixels on
  overlay->setText("");
  const auto [left2, top2, right2, bottom2] = edges(overlay->hwnd());
  EXPECT_NEAR(left2 - left, (monitor.rcMonitor.right - monitor.rcMonitor.left) * 50 / 640, 2);
  EXPECT_EQ(std::tuple(top2, right2 - left2, bottom2), std::tuple(top, right - left, bottom));
  EXPECT_EQ(overlay->typesetWindows().size(), 1u);
}

TEST_F(OverlayWindowTest, ATypesetFrameCoversItsInkInThePictureAndRepaintsOnlyWhileAnimated) {
  const AssScript script = readAssScript(
      "[Script Info]\r\nPlayResX: 640\r\nPlayResY: 360\r\n\r\n[Events]\r\n"
      "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,{\\fad(500,500)\\pos(320,180)}Sign\r\n"
      "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,{\\an7\\pos(10,10)}Corner\r\n");
  FixedClock clock;
  clock.ms = 1500;
  const auto overlay = open({.fontFace = kFace, .top = 500, .labelWidth = 800, .smoothText = true});
  MONITORINFO monitor{sizeof monitor, {}, {}, 0};
  GetMonitorInfoA(MonitorFromWindow(overlay->hwnd(), MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& m = monitor.rcMonitor;
  // Two windows over the ink, one over each sign; the overlay's own over the one in the middle,
  // centred across the picture and standing on its middle.
  const auto coversTheSign = [&] {
    const std::vector<HWND> windows = overlay->typesetWindows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0], overlay->hwnd());
    for (const HWND window : windows) {
      EXPECT_TRUE(IsWindowVisible(window));
      EXPECT_EQ(GetWindowLongA(window, GWL_EXSTYLE), GetWindowLongA(overlay->hwnd(), GWL_EXSTYLE));
    }
    const auto [cornerLeft, cornerTop, cornerRight, cornerBottom] = edges(windows[1]);
    EXPECT_TRUE(cornerLeft >= m.left && cornerLeft < m.left + 40 && cornerTop >= m.top && cornerTop < m.top + 40)
        << cornerLeft << "," << cornerTop;
    const auto [left, top, right, bottom] = edges(overlay->hwnd());
    const LONG middleX = (m.left + m.right) / 2, middleY = (m.top + m.bottom) / 2;
    EXPECT_NEAR((left + right) / 2, middleX, 8) << left << ".." << right;
    EXPECT_TRUE(top < middleY && middleY < bottom && bottom - middleY < (bottom - top) / 2) << top << ".." << bottom;
    EXPECT_LT((right - left) * (bottom - top), (m.right - m.left) * (m.bottom - m.top) / 16);
  };
  // With nothing inked, one clear pixel at the picture's corner.
  const auto empty = std::tuple(m.left, m.top, m.left + 1, m.top + 1);
  overlay->setTypeset(&script, &clock);
  coversTheSign();
  EXPECT_TRUE(repaintsPending(overlay->hwnd())) << "a fading sign repaints";
  const HWND corner = overlay->typesetWindows().at(1);
  overlay->setVisible(false);  // F8
  EXPECT_FALSE(IsWindowVisible(overlay->hwnd()) || IsWindowVisible(corner)) << "every window hidden";
  EXPECT_FALSE(repaintsPending(overlay->hwnd())) << "hidden, nothing is repainted";
  overlay->setVisible(true);
  coversTheSign();
  EXPECT_TRUE(repaintsPending(overlay->hwnd())) << "shown again, the sign repaints";
  clock.ms = 5000;
  overlay->setText("");  // the next cue: nothing typeset on screen
  EXPECT_FALSE(repaintsPending(overlay->hwnd())) << "idle without animation";
  EXPECT_EQ(edges(overlay->hwnd()), empty);
  EXPECT_TRUE(overlay->typesetWindows().empty());
  EXPECT_FALSE(IsWindowVisible(corner));

  overlay->setSmoothText(false);  // classic drawing as before
  EXPECT_EQ(edges(overlay->hwnd()), std::tuple(0, 500, 2560, 1040));
  clock.ms = 1500;
  overlay->setSmoothText(true);
  coversTheSign();
  overlay->setTypeset(nullptr, nullptr);
  overlay->setText("At the bottom");
  const auto [left, top, right, bottom] = edges(overlay->hwnd());
  EXPECT_EQ(std::tuple(left, top, right), std::tuple(0, 500, 800));
}

TEST_F(OverlayWindowTest, PlacedWebVttCuesInkTheirPlaceInThePictureAndStayIdle) {
  const SubtitleEvents events =
      readVttEvents("WEBVTT\r\n\r\n00:01.000 --> 00:02.000 line:0 align:left\r\nSign\r\n", kCodePageUtf8);
  FixedClock clock;
  clock.ms = 1500;
  const auto overlay = open({.fontFace = kFace, .top = 500, .labelWidth = 800, .smoothText = true,
                             .pictureArea = [] { return PictureArea{100, 50, 640, 360}; }});
  overlay->setPlacedCues(&events, &clock);
  // The first line at the picture's left: the window over its ink starts there.
  const auto [inkLeft, inkTop, inkRight, inkBottom] = edges(overlay->hwnd());
  EXPECT_TRUE(inkLeft >= 100 && inkLeft < 140 && inkTop >= 50 && inkTop < 90) << inkLeft << "," << inkTop;
  EXPECT_TRUE(inkRight <= 740 && inkBottom <= 410) << inkRight << "," << inkBottom;
  EXPECT_FALSE(repaintsPending(overlay->hwnd())) << "placed cues do not move";
  overlay->setPlacedCues(nullptr, nullptr);
  overlay->setText("At the bottom");
  const auto [left, top, right, bottom] = edges(overlay->hwnd());
  EXPECT_EQ(std::tuple(left, top, right), std::tuple(0, 500, 800));
}

TEST_F(OverlayWindowTest, SettingsChangeHowTheLabelPaints) {
  const auto overlay = open({.fontFace = kFace, .fontPoints = 20, .labelWidth = 800});
  overlay->setText("Two words");
  const Ink plain = labelInk(*overlay);
  EXPECT_EQ(plain.black, 0);
  EXPECT_NEAR((plain.box.left + plain.box.right) / 2, 400, 4);

  overlay->setShadow(true);
  overlay->setCentred(false);
  const Ink styled = labelInk(*overlay);
  EXPECT_GT(styled.black, 0);
  EXPECT_LT(styled.box.left, 10);

  overlay->setFontSize(74);
  const Ink large = labelInk(*overlay);
  EXPECT_GT(large.box.bottom - large.box.top, 3 * (styled.box.bottom - styled.box.top));

  overlay->setLabelWidth(300);  // one word a line
  const Ink wrapped = labelInk(*overlay);
  EXPECT_LE(wrapped.box.right, 300);
  EXPECT_GT(wrapped.box.bottom - wrapped.box.top, 2 * (large.box.bottom - large.box.top));
  EXPECT_EQ(edges(overlay->hwnd()), std::tuple(0, 0, 2560, 540));

  overlay->setFontFace("WenQuanYi Micro Hei Mono");
  const MemoryDc dc(CreateCompatibleDC(nullptr));
  const HGDIOBJ old = SelectObject(dc.get(), labelFont(*overlay));
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(dc.get(), LF_FACESIZE, face);
  SelectObject(dc.get(), old);
  EXPECT_STREQ(face, L"WenQuanYi Micro Hei Mono");

  for (const int32_t points : {0, 65534}) overlay->setFontSize(points);
  overlay->setLabelWidth(0);
  EXPECT_EQ(labelInk(*overlay).white, 0);
  overlay->setLabelWidth(-5);
}

TEST_F(OverlayWindowTest, MovesAndReassertsWithoutShowingAHiddenOverlay) {
  const auto overlay = open();
  overlay->setVisible(false);
  overlay->setLeft(-100);
  overlay->setTop(700);
  overlay->assertTopmost();
  overlay->setText("while hidden");
  EXPECT_FALSE(IsWindowVisible(overlay->hwnd()));
  EXPECT_EQ(edges(overlay->hwnd()), std::tuple(-100, 700, -100 + 2560, 700 + 540));
  overlay->setVisible(true);
  EXPECT_TRUE(IsWindowVisible(overlay->hwnd()));
}

// Moves of the overlay's window, seen by a hook on this thread's window procedures.
class MoveCounter {
 public:
  explicit MoveCounter(HWND window) {
    window_ = window;
    moves_ = 0;
    hook_ = SetWindowsHookExW(WH_CALLWNDPROC, &MoveCounter::onCall, nullptr, GetCurrentThreadId());
  }
  ~MoveCounter() { UnhookWindowsHookEx(hook_); }
  int moves() const { return moves_; }

 private:
  static LRESULT CALLBACK onCall(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->hwnd == window_ && call->message == WM_WINDOWPOSCHANGING) ++moves_;
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static inline HWND window_ = nullptr;
  static inline int moves_ = 0;
  HHOOK hook_ = nullptr;
};

// A cue's start sets the place again; where it has not changed, the window system is not asked.
TEST_F(OverlayWindowTest, APlaceThatHasNotChangedIsNotSentAgain) {
  const auto overlay = open({.fontFace = kFace, .left = 100, .top = 200});
  const MoveCounter counter(overlay->hwnd());
  overlay->setLeft(100);
  overlay->setTop(200);
  EXPECT_EQ(counter.moves(), 0);
  overlay->setLeft(101);
  overlay->setTop(201);
  EXPECT_EQ(counter.moves(), 2);
  EXPECT_EQ(edges(overlay->hwnd()), std::tuple(101, 201, 101 + 2560, 201 + 540));
}

// Re-asserting topmost moves the overlay only when a window stands above it, as a player that
// made itself topmost.
TEST_F(OverlayWindowTest, ReassertsTopmostOnlyBelowAnotherWindow) {
  const auto overlay = open();
  overlay->assertTopmost();
  const MoveCounter counter(overlay->hwnd());
  overlay->assertTopmost();
  EXPECT_EQ(counter.moves(), 0);
  const OwnedWindow player(CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, "STATIC", "",
                                           WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr));
  ASSERT_EQ(GetWindow(overlay->hwnd(), GW_HWNDPREV), player.get());
  overlay->assertTopmost();
  EXPECT_EQ(counter.moves(), 1);
  EXPECT_EQ(GetWindow(player.get(), GW_HWNDPREV), overlay->hwnd());
}

// The stored lengths are 96-DPI pixels: on a 150 % monitor, or when the monitor's DPI changes
// during a run, the window, the label, the font and the moves scale with it.
TEST_F(OverlayWindowTest, ADpiChangeScalesEveryLength) {
  const auto overlay = open({.fontFace = kFace, .fontPoints = 20, .left = 100, .top = 200, .labelWidth = 400});
  const auto fontPixels = [&] {
    LOGFONTW font{};
    GetObjectW(labelFont(*overlay), sizeof font, &font);
    return -font.lfHeight;
  };
  const auto labelSize = [&] {
    RECT client{};
    GetClientRect(overlay->labelHwnd(), &client);
    return std::pair(client.right, client.bottom);
  };
  const auto changeDpi = [&](UINT dpi) {
    RECT suggested{0, 0, 1, 1};  // the overlay places itself
    SendMessageA(overlay->hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  };
  changeDpi(144);
  EXPECT_EQ(edges(overlay->hwnd()), std::tuple(150, 300, 150 + 3840, 300 + 810));
  EXPECT_EQ(labelSize(), std::pair(600L, 810L));
  EXPECT_EQ(fontPixels(), 40);
  overlay->setLeft(10);
  overlay->setLabelWidth(100);
  overlay->setFontSize(30);
  EXPECT_EQ(edges(overlay->hwnd()), std::tuple(15, 300, 15 + 3840, 300 + 810));
  EXPECT_EQ(labelSize(), std::pair(150L, 810L));
  EXPECT_EQ(fontPixels(), 60);
  changeDpi(96);
  EXPECT_EQ(edges(overlay->hwnd()), std::tuple(10, 200, 10 + 2560, 200 + 540));
  EXPECT_EQ(labelSize(), std::pair(100L, 540L));
  EXPECT_EQ(fontPixels(), 40);
}

// What the screen shows in `area`, once the window system has caught up.
Ink screenInk(const RECT& area, COLORREF background,
              const std::function<bool(const Ink&)>& settled) {
  Ink ink;
  for (int attempt = 0; attempt < 40 && (attempt == 0 || !settled(ink)); ++attempt) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(25);
    const Canvas canvas(area.right - area.left, area.bottom - area.top);
    const ScreenDc screen(GetDC(nullptr));
    BitBlt(canvas.dc(), 0, 0, area.right - area.left, area.bottom - area.top, screen.get(),
           area.left, area.top, SRCCOPY);
    ink = canvas.ink(background);
  }
  return ink;
}

// On the real window system: the grey lets the window below show through, and a new cue
// leaves nothing of the one before.
TEST_F(OverlayWindowTest, OnScreenOnlyTheTextCoversWhatIsBelow) {
  WNDCLASSEXA backdropClass{};
  backdropClass.cbSize = sizeof backdropClass;
  backdropClass.lpfnWndProc = DefWindowProcA;
  backdropClass.hbrBackground = GetSysColorBrush(COLOR_HIGHLIGHT);
  backdropClass.lpszClassName = "QuorvaneTestBackdrop";
  RegisterClassExA(&backdropClass);
  const COLORREF backdrop = GetSysColor(COLOR_HIGHLIGHT);
  ASSERT_TRUE(backdrop != kKey && backdrop != kWhite && backdrop != kBlack);

  const RECT area{200, 300, 1000, 600};
  const OwnedWindow below(CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "QuorvaneTestBackdrop",
                                          "", WS_POPUP, area.left, area.top, area.right - area.left,
                                          area.bottom - area.top, nullptr, nullptr, nullptr,
                                          nullptr));
  ShowWindow(below.get(), SW_SHOWNOACTIVATE);
  const auto overlay = open({.fontFace = kFace, .fontPoints = 36, .left = area.left,
                             .top = area.top, .labelWidth = area.right - area.left,
                             .shadow = true});

  overlay->setText("WWWWWWWW\r\nMMMMMMMM");
  EXPECT_FALSE(GetUpdateRect(overlay->labelHwnd(), nullptr, FALSE)) << "painted at once";
  const Ink shown =
      screenInk(area, backdrop, [](const Ink& i) { return i.white > 2000 && i.other == 0; });
  EXPECT_GT(shown.white, 2000);
  EXPECT_GT(shown.black, 500);
  EXPECT_EQ(shown.other, 0) << "key grey or blended pixels on screen";

  overlay->setText("i");
  const Ink replaced =
      screenInk(area, backdrop, [&](const Ink& i) { return i.white < shown.white / 10; });
  EXPECT_GT(replaced.white, 0);
  EXPECT_LT(replaced.white, shown.white / 10) << "the old cue is still on screen";

  overlay->setText("WWWWWWWW\r\nMMMMMMMM");
  overlay->setLabelWidth(100);
  const Ink narrowed = screenInk(area, backdrop, [](const Ink& i) { return i.box.right <= 102; });
  EXPECT_LE(narrowed.box.right, 100 + 2) << "text left where the label no longer reaches";
  EXPECT_EQ(narrowed.other, 0);
}

TEST_F(OverlayWindowTest, DestroyingLeavesNoWindowAndRepeatedUseLeaksNothing) {
  const auto cycle = [] {
    auto overlay = open();
    for (int i = 0; i < 6; ++i) {
      overlay->setText(i % 2 ? "A\r\nB" : "");
      overlay->setFontSize(20 + i);
      overlay->setFontFace(i % 2 ? "SimHei" : "WenQuanYi Micro Hei Mono");
      overlay->setLabelWidth(100 * i);
      overlay->setShadow(i % 2);
    }
    const HWND label = overlay->labelHwnd();
    overlay.reset();
    EXPECT_EQ(FindWindowA("QuorvaneOverlay", nullptr), nullptr);
    EXPECT_FALSE(IsWindow(label));
  };
  cycle();  // the system's own caches fill on first use
  const size_t gdiBefore = gdiObjectCount();
  const size_t windowsBefore = windowCount();
  for (int i = 0; i < 5; ++i) cycle();
  EXPECT_EQ(gdiObjectCount(), gdiBefore);
  EXPECT_EQ(windowCount(), windowsBefore);
}

}  // namespace
}  // namespace quorvane
