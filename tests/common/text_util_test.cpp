#include "common/text_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

TEST(TextUtil, AtoiLikeMatchesAtoiAndSaturates) {
  for (const char* text : {"42", "\t\n\v\f\r-17x", "+5", "-0", "abc", "", "-", "  +-3", "0012", "12 34",
                           "2147483647", "-2147483648", "1e5", "0x1A"}) {
    EXPECT_EQ(qx::AtoiLike(text), std::atoi(text)) << '"' << text << '"';
  }
  EXPECT_EQ(qx::AtoiLike("2147483648"), INT_MAX);
  EXPECT_EQ(qx::AtoiLike("-2147483649"), INT_MIN);
  EXPECT_EQ(qx::AtoiLike("-99999999999999999999999999"), INT_MIN);
  EXPECT_EQ(qx::AtoiLike(std::string_view("12345").substr(0, 3)), 123);
}

TEST(TextUtil, FormatFitsShortAndLongOutput) {
  EXPECT_EQ(qx::Format("[%s]=%d", "k", -3), "[k]=-3");
  const std::string longText(1000, 'x');
  EXPECT_EQ(qx::Format("<%s|%05d>", longText.c_str(), 42), "<" + longText + "|00042>");
}
