#include "common/text_number.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(TextToInt, ReadsSignAndDigitsUpToTheFirstOtherCharacter) {
  struct Case { const char* text; int32_t value; };
  const Case cases[] = {
      {"240", 240}, {"-250", -250}, {"+7", 7}, {"  42", 42}, {"\t-3x", -3},
      {"", 0}, {"-", 0}, {"--5", 0}, {"5-3", 5}, {"abc", 0}, {"12abc", 12},
      {"2147483647", 2147483647}, {"-2147483648", INT32_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(textToInt(c.text), c.value) << '"' << c.text << '"';
}

TEST(TextToInt, FoldsGbkFullWidthForms) {
  EXPECT_EQ(textToInt("\xA3\xB1\xA3\xB2"), 12);              // full-width 1 2
  EXPECT_EQ(textToInt("\xA3\xAD\xA3\xB5"), -5);              // full-width minus, 5
  EXPECT_EQ(textToInt("\xA1\xA1\xA3\xB9"), 9);               // ideographic space, 9
  EXPECT_EQ(foldFullWidth("\xA1\xAB\xA1\xEE\xA1\xEF"), "~**");
}

TEST(TextToInt, NeverTakesATrailByteForALead) {
  // B0 A3 is one GBK character; the A3 inside it must not start a full-width digit.
  EXPECT_EQ(foldFullWidth("\xB0\xA3\xB1"), "\xB0\xA3\xB1");
  // A lead byte at the very end stays as it is.
  EXPECT_EQ(foldFullWidth("7\xA3"), "7\xA3");
}

TEST(TextToInt, HugeDigitRunsWrapWithoutFault) {
  const std::string digits(100000, '9');
  (void)textToInt(digits);  // any value; must not overflow under the sanitizers
  EXPECT_EQ(textToByte("257"), 1);
  EXPECT_EQ(textToByte("x"), 0);
}

}  // namespace
}  // namespace quorvane
