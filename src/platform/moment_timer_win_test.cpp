#include "platform/moment_timer_win.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorvane {
namespace {

constexpr UINT kMoment = WM_APP + 7;

class MomentTimerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    if (IsWindow(window_)) DestroyWindow(window_);
  }

  // The tokens that reached the window's queue within `ms`; stops at the first when `first`.
  std::vector<WPARAM> moments(DWORD ms, bool first) {
    std::vector<WPARAM> tokens;
    const ULONGLONG end = GetTickCount64() + ms;
    while (GetTickCount64() < end) {
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == kMoment && msg.hwnd == window_) {
          tokens.push_back(msg.wParam);
          if (first) return tokens;
        } else {
          DispatchMessageA(&msg);
        }
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return tokens;
  }

  HWND window_ = nullptr;
};

TEST_F(MomentTimerTest, PostsOnlyTheLatestArming) {
  MomentTimer timer(window_, kMoment);
  ASSERT_TRUE(timer.running());
  timer.arm(60'000, 1);
  timer.arm(1'000, 2);  // replaces the first
  EXPECT_EQ(moments(10'000, true), std::vector<WPARAM>{2});
  EXPECT_TRUE(moments(200, false).empty());  // the replaced moment never comes
}

TEST_F(MomentTimerTest, DisarmedMomentNeverComes) {
  MomentTimer timer(window_, kMoment);
  timer.arm(30'000, 3);
  timer.disarm();
  EXPECT_TRUE(moments(200, false).empty());
  timer.arm(0, 4);  // and it can be armed again
  EXPECT_EQ(moments(10'000, true), std::vector<WPARAM>{4});
}

TEST_F(MomentTimerTest, EndsWithItsWindow) {
  MomentTimer timer(window_, kMoment);
  timer.arm(60'000'000, 5);
  ASSERT_TRUE(DestroyWindow(window_));
  EXPECT_FALSE(timer.running());
  timer.arm(0, 6);  // nothing to post to: no thread starts again
  EXPECT_FALSE(timer.running());
}

TEST(MomentTimer, NeverStartsWithoutAWindow) {
  MomentTimer timer(nullptr, kMoment);
  EXPECT_FALSE(timer.running());
  timer.arm(0, 1);
}

}  // namespace
}  // namespace quorvane
