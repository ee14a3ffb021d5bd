#include "platform/unique_handle.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorvane {
namespace {

// Handles are small numbers; 0 and -1 both mean "none", as for kernel handles.
std::vector<int> closed;
struct NumberTraits {
  using Handle = int;
  static int invalid() { return 0; }
  static bool isValid(int handle) { return handle > 0; }
  static bool close(int handle) {
    closed.push_back(handle);
    return true;
  }
};
using Number = UniqueHandle<NumberTraits>;

TEST(UniqueHandle, EachHandleIsClosedOnceByWhoeverOwnsItLast) {
  closed.clear();
  {
    Number first(1);
    Number second(std::move(first));
    EXPECT_FALSE(first);
    second.reset(2);
    EXPECT_EQ(closed, std::vector<int>{1});
    Number third(3);
    third = std::move(second);  // 3 closes, 2 moves on
    EXPECT_EQ(third.get(), 2);
    *third.put() = 4;  // 2 closes before the pointer is given out
    EXPECT_EQ(closed, (std::vector<int>{1, 3, 2}));
    EXPECT_EQ(Number(5).release(), 5);
    Number none(-1);
    EXPECT_FALSE(none);
    EXPECT_FALSE(none.close());
  }
  EXPECT_EQ(closed, (std::vector<int>{1, 3, 2, 4}));
}

}  // namespace
}  // namespace quorvane
