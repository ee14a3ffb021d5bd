#include "app/sync_texts.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

// The notices are printf patterns kept as bytes per language: each must take its numbers in
// the right order and type, in every language.
TEST(SyncTextsTest, EveryLanguageShowsTheNumbersOfEachNotice) {
  LineSync::Result refused;
  refused.outcome = LineSync::Outcome::RateRefused;
  refused.rate = 1.2;
  LineSync::Result twoPoint;
  twoPoint.outcome = LineSync::Outcome::OffsetAndRate;
  twoPoint.timing = {-1983, 1.0434};
  for (const UiLanguage language :
       {UiLanguage::English, UiLanguage::SimplifiedChinese, UiLanguage::TraditionalChinese}) {
    SCOPED_TRACE(static_cast<int>(language));
    EXPECT_NE(delayNotice(300, 1.0, language).find("+300"), std::string::npos);
    const std::string both = lineSyncNotice(twoPoint, language);
    EXPECT_NE(both.find("-1983"), std::string::npos) << both;
    EXPECT_NE(both.find("1.0434"), std::string::npos) << both;
    EXPECT_NE(lineSyncNotice(refused, language).find("1.200"), std::string::npos);
  }
  EXPECT_EQ(delayNotice(-100, 1.0, UiLanguage::English), "Delay -100 ms");
}

}  // namespace
}  // namespace quorvane
