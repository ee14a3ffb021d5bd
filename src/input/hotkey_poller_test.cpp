#include "input/hotkey_poller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fake_key_state.h"

namespace quorvane {
namespace {

constexpr int kF1 = 112, kF2 = 113, kF8 = 119, kOpenBracket = 219, kCloseBracket = 221, kA = 65, kEnter = 13;

// A poller on a fake keyboard that logs timer starts and the firings handed to the main thread.
struct Rig {
  explicit Rig(HotkeyPoller::KeyReads reads = HotkeyPoller::KeyReads::TableKeys)
      : poller(keys, [this](int32_t ms) { timerStarts.push_back(ms); },
               [this](int32_t id) { deferred.push_back(id); }, reads) {}

  // "+N" presses key N (again while down: auto-repeat), "-N" releases it, "*N" presses and
  // releases it between two polls, "." polls. One character per poll: 'F' fired, '-' not.
  std::string run(const std::string& script) {
    std::istringstream tokens(script);
    std::string result;
    for (std::string token; tokens >> token;) {
      const int key = std::atoi(token.c_str() + 1);
      if (token[0] == '+') keys.press(key);
      if (token[0] == '-') keys.release(key);
      if (token[0] == '*') keys.tap(key);
      if (token[0] == '.') {
        const size_t before = deferred.size();
        poller.poll();
        result += deferred.size() > before ? 'F' : '-';
      }
    }
    return result;
  }

  FakeKeyState keys;
  std::vector<int32_t> timerStarts, deferred;
  HotkeyPoller poller;
};

TEST(HotkeyPoller, FiresOnTheKeysEdgeWithExactlyItsModifiers) {
  struct Case {
    const char* what;
    int32_t keyCode, modifiers, secondKey;
    const char* script;
    const char* firings;
  };
  const Case cases[] = {
      {"Alt held, then F1 held: once; auto-repeat does not repeat it; the next press fires", kF1, 1, 0,
       "+18 . +112 . . +112 . +112 . . -112 . +112 .", "-F-----F"},
      {"F1 first, then Alt: nothing until F1 is pressed again", kF1, 1, 0, "+112 . +18 . . . -112 . +112 .",
       "-----F"},
      {"Alt+Ctrl+F1 is not Alt+F1", kF1, 1, 0, "+18 +17 . +112 . -112 -17 . +112 .", "---F"},
      {"a mismatch uses up the press: letting go of Shift while F1 is held does not fire", kF1, 1, 0,
       "+18 +16 . +112 . -16 . . -112 . +112 .", "-----F"},
      {"F8 with Shift held: nothing", kF8, 0, 0, "+16 . +119 . -119 -16 . +119 .", "---F"},
      {"F8 with the left Windows key held: nothing", kF8, 0, 0, "+91 . +119 .", "--"},
      {"the right Windows key is not in the mask", kF8, 0, 0, "+92 . +119 .", "-F"},
      // Only the low bit tells of such a press, and from idle it is no edge: a 10 ms poll sees
      // every press a hand makes; synthetic input must hold the key across a poll.
      {"a press wholly between two polls does not fire an idle hotkey", kF8, 0, 0, "*119 . .", "--"},
      {"release hotkey: fires as the key goes up, with the modifiers held then", -kF1, 1, 0,
       "+112 . +18 . . -112 . . +112 . -18 -112 .", "---F---"},
      {"release hotkey: released and tapped again between polls fires once", -kF8, 0, 0,
       "+119 . -119 *119 . .", "-F-"},
      {"release hotkey: a tap never seen down does not fire", -kF8, 0, 0, "*119 . .", "--"},
      {"second key: must be down as the key goes down, not after", kF1, 1, kA,
       "+18 +65 . +112 . -112 -65 . +112 . +65 .", "-F---"},
      {"key codes count by their low byte", 256 + kF8, 0, 512 + kA, "+65 . +119 .", "-F"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    ASSERT_NE(rig.poller.registerHotkey([] {}, c.keyCode, c.modifiers, c.secondKey), 0);
    EXPECT_EQ(rig.run(c.script), c.firings);
  }
}

TEST(HotkeyPoller, RegistrationIdsRefusalsAndReplacement) {
  Rig rig;
  for (const int32_t keyCode : {0, 256, -256, INT32_MIN}) EXPECT_EQ(rig.poller.registerHotkey([] {}, keyCode), 0);
  EXPECT_TRUE(rig.timerStarts.empty());

  int first = 0, second = 0;
  const int32_t altF1 = rig.poller.registerHotkey([&] { ++first; }, kF1, 1, 0, 25);
  EXPECT_EQ(altF1, 1'000'001);  // refusals took no place
  // Another key, modifier mask, second key or release sign is another record.
  EXPECT_EQ(rig.poller.registerHotkey([] {}, kF1, 0), 1'000'002);
  EXPECT_EQ(rig.poller.registerHotkey([] {}, kF1, 1, kA), 1'000'003);
  EXPECT_EQ(rig.poller.registerHotkey([] {}, -kF1, 1), 1'000'004);
  EXPECT_EQ(rig.poller.registerHotkey([&] { ++second; }, kF1, 1, 0, 50, 1), altF1);
  EXPECT_EQ(rig.poller.registerHotkey([] {}, kF2, 0, 0, 50), 1'000'005);
  EXPECT_EQ(rig.timerStarts, std::vector<int32_t>{25});

  // The replacement took the action and directCall: Alt+F1 now runs inside the poll.
  EXPECT_EQ(rig.run("+18 . +112 ."), "--");
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);

  for (const int32_t intervalMs : {0, -5}) {
    Rig unset;
    unset.poller.registerHotkey([] {}, kF8, 0, 0, intervalMs);
    EXPECT_EQ(unset.timerStarts, std::vector<int32_t>{10});
  }
}

TEST(HotkeyPoller, DeferredFiringsRunWhenHandedBack_DirectOnesInThePoll) {
  Rig rig;
  std::string ran;
  const int32_t f8 = rig.poller.registerHotkey([&] { ran += "F8 "; }, kF8);
  rig.poller.registerHotkey([&] { ran += "F2 "; }, kF2, 0, 0, 0, 1);
  rig.run("+119 +113 .");
  EXPECT_EQ(ran, "F2 ");
  EXPECT_EQ(rig.deferred, std::vector<int32_t>{f8});

  rig.poller.runAction(f8);
  for (const int32_t unknown : {0, 1'000'000, 1'000'003, INT32_MAX, INT32_MIN}) rig.poller.runAction(unknown);
  EXPECT_EQ(ran, "F2 F8 ");
}

TEST(HotkeyPoller, ADirectActionMayRegisterAndRunAModalLoop) {
  Rig rig;
  HotkeyPoller& poller = rig.poller;
  int runs = 0, f2 = 0, added = 0;
  const auto action = [&] {
    ++runs;
    rig.run("+113 .");  // F2 pressed while the action's message box polls
    poller.registerHotkey([&] { ++runs; }, kF8, 0, 0, 0, 1);  // replaces this very action
    poller.registerHotkey([&] { ++added; }, kA, 0, 0, 0, 1);
  };
  poller.registerHotkey(action, kF8, 0, 0, 0, 1);
  poller.registerHotkey([&] { ++f2; }, kF2, 0, 0, 0, 1);
  rig.run("+65 +119 .");
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(f2, 1);
  EXPECT_EQ(added, 0);  // its key was not read yet
  rig.run("-65 -119 . +65 +119 .");
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(f2, 1);
  EXPECT_EQ(added, 1);
}

// Reading only the table's keys must fire exactly as reading all 255: a long random stretch of
// typing, with quick taps, auto-repeat and modifiers, through both.
TEST(HotkeyPoller, ReadingTheTablesKeysFiresAsReadingAllKeys) {
  struct Side {
    explicit Side(HotkeyPoller::KeyReads reads)
        : poller(keys, [](int32_t) {}, [this](int32_t id) { firings.emplace_back(pollNumber, id); }, reads) {
      for (const int key : {kF1, kF2, kCloseBracket, kOpenBracket}) poller.registerHotkey([] {}, key, 1);
      poller.registerHotkey([] {}, kF8);
      poller.registerHotkey([] {}, -kCloseBracket, 2);
      poller.registerHotkey([] {}, kA, 0, kEnter);
      direct = poller.registerHotkey([this] { firings.emplace_back(pollNumber, direct); }, kF8, 4, 0, 0, 1);
    }
    FakeKeyState keys;
    std::vector<std::pair<int, int32_t>> firings;  // poll number, id
    int pollNumber = 0;
    int32_t direct = 0;
    HotkeyPoller poller;
  };
  Side table(HotkeyPoller::KeyReads::TableKeys), all(HotkeyPoller::KeyReads::AllKeys);

  const int pool[] = {16, 17, 18, 91, 92, kF1, kF2, kCloseBracket, kOpenBracket, kF8, kA, kEnter};
  std::mt19937 random(20240611);
  for (int poll = 1; poll <= 10'000; ++poll) {
    for (unsigned events = random() % 4; events > 0; --events) {
      const int key = pool[random() % std::size(pool)];
      const unsigned kind = random() % 10;
      for (Side* side : {&table, &all}) {
        if (kind < 4) side->keys.press(key);
        else if (kind < 8) side->keys.release(key);
        else side->keys.tap(key);
      }
    }
    for (Side* side : {&table, &all}) {
      side->pollNumber = poll;
      side->poller.poll();
    }
  }

  const auto [t, a] = std::mismatch(table.firings.begin(), table.firings.end(), all.firings.begin(), all.firings.end());
  EXPECT_TRUE(t == table.firings.end() && a == all.firings.end())
      << "the firings part at number " << (t - table.firings.begin()) << " of " << table.firings.size();
  std::map<int32_t, int> perId;
  for (const auto& firing : table.firings) ++perId[firing.second];
  for (int32_t id = 1'000'001; id <= 1'000'008; ++id) EXPECT_GT(perId[id], 0) << id << " never fired";
}

}  // namespace
}  // namespace quorvane
