#include "common/text_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

TEST(TextUtil, AtoiLikeMatchesCAtoiInRange) {
  for (const char* text : {"42", "  42", "\t\n\v\f\r-17x", "+5", "-0", "abc", "", "-", "+", "  +-3", "0012",
                           "12 34", "2147483647", "-2147483648", "1e5", "0x1A"}) {
    EXPECT_EQ(qx::AtoiLike(text), std::atoi(text)) << '"' << text << '"';
  }
}

TEST(TextUtil, AtoiLikeSaturatesAndStopsAtTheViewEnd) {
  EXPECT_EQ(qx::AtoiLike("2147483648"), INT_MAX);
  EXPECT_EQ(qx::AtoiLike("-2147483649"), INT_MIN);
  EXPECT_EQ(qx::AtoiLike("99999999999999999999999999"), INT_MAX);
  EXPECT_EQ(qx::AtoiLike("-99999999999999999999999999"), INT_MIN);
  const std::string digits = "12345";
  EXPECT_EQ(qx::AtoiLike(std::string_view(digits).substr(0, 3)), 123);
}

TEST(TextUtil, FormatProducesExactLengthForShortAndLongOutput) {
  EXPECT_EQ(qx::Format("[%s]=%d", "k", -3), "[k]=-3");
  EXPECT_EQ(qx::Format("%s", ""), "");
  const std::string longText(1000, 'x');
  const std::string formatted = qx::Format("<%s|%05d>", longText.c_str(), 42);
  EXPECT_EQ(formatted, "<" + longText + "|00042>");
  EXPECT_EQ(qx::Format("%s", "\xCB\xCE\xCC\xE5"), "\xCB\xCE\xCC\xE5");
}
