#include "common/gbk.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kSongTiUtf8 = "\xE5\xAE\x8B\xE4\xBD\x93";  // 宋体
const std::string kSongTiGbk = "\xCB\xCE\xCC\xE5";
const std::string kFffd = "\xEF\xBF\xBD";

// glibc's own "GBK" table, as the reference for the codes it defines.
bool ReferenceGbkToUtf8(const std::string& in, std::string& out) {
  iconv_t cd = iconv_open("UTF-8", "GBK");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char buffer[16];
  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  char* outPtr = buffer;
  size_t outLeft = sizeof buffer;
  const bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == 0 && inLeft == 0;
  iconv_close(cd);
  out.assign(buffer, outPtr);
  return ok;
}

std::string ToUtf8(const std::string& gbk) {
  std::string out;
  EXPECT_TRUE(qx::GbkToUtf8(gbk, out));
  return out;
}

}  // namespace

TEST(Gbk, EveryDoubleByteCodeRoundTripsAndAgreesWithGlibcGbk) {
  int accepted = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string gbk{static_cast<char>(lead), static_cast<char>(trail)};
      std::string utf8, back, reference;
      const bool ours = qx::GbkToUtf8(gbk, utf8);
      if (ReferenceGbkToUtf8(gbk, reference)) {
        ASSERT_TRUE(ours) << std::hex << lead << trail;
        ASSERT_EQ(utf8, reference) << std::hex << lead << trail;
      }
      if (!ours) continue;
      ++accepted;
      ASSERT_TRUE(qx::Utf8ToGbk(utf8, back)) << std::hex << lead << trail;
      ASSERT_EQ(back, gbk) << std::hex << lead << trail;
      // One code is one character: exactly one UTF-8 lead byte.
      int starts = 0;
      for (unsigned char c : utf8) starts += (c & 0xC0) != 0x80;
      ASSERT_EQ(starts, 1) << std::hex << lead << trail;
    }
  }
  // Includes the user-defined areas, e.g. AAA1 and F8A1.
  std::string pua;
  EXPECT_TRUE(qx::GbkToUtf8("\xAA\xA1", pua));
  EXPECT_TRUE(qx::GbkToUtf8("\xF8\xA1", pua));
  EXPECT_GT(accepted, 21000);
}

TEST(Gbk, KnownTextAndAsciiConvertBothWays) {
  std::string out;
  ASSERT_TRUE(qx::Utf8ToGbk(kSongTiUtf8, out));
  EXPECT_EQ(out, kSongTiGbk);
  EXPECT_EQ(ToUtf8(kSongTiGbk), kSongTiUtf8);

  const std::string ascii("Tempo 120 = \"allegro\"\t\r\n\0end", 29);
  EXPECT_EQ(ToUtf8(ascii), ascii);
  ASSERT_TRUE(qx::Utf8ToGbk(ascii, out));
  EXPECT_EQ(out, ascii);

  const std::string mixed = "A" + kSongTiGbk + "\x80" + "z";  // 0x80 is the euro sign
  const std::string mixedUtf8 = "A" + kSongTiUtf8 + "\xE2\x82\xAC" + "z";
  EXPECT_EQ(ToUtf8(mixed), mixedUtf8);
  ASSERT_TRUE(qx::Utf8ToGbk(mixedUtf8, out));
  EXPECT_EQ(out, mixed);
}

TEST(Gbk, InvalidGbkIsReported) {
  std::string out;
  for (const std::string& bad : {std::string("ab\xCB"), std::string("\xCB\x20"), std::string("\xCB\x7F"),
                                std::string("\xFF"), std::string("\xCB\xFF"), std::string("\x81\x30\x81\x30"),
                                std::string("\xA2\xE3")}) {
    EXPECT_FALSE(qx::GbkToUtf8(bad, out)) << testing::PrintToString(bad);
  }
}

TEST(Gbk, Utf8WithoutAGbkCodeOrMalformedIsReported) {
  std::string out;
  for (const std::string& bad : {std::string("\xF0\x9F\x8E\xB5"),  // musical note emoji: no GBK code
                                std::string("\xC2\x80"),          // U+0080
                                std::string("\xE5\xAE"),          // cut short
                                std::string("\xC0\xAF"),          // overlong '/'
                                std::string("\xED\xA0\x80"),      // surrogate
                                std::string("ok\xFF")}) {
    EXPECT_FALSE(qx::Utf8ToGbk(bad, out)) << testing::PrintToString(bad);
  }
}

TEST(Gbk, LossyReplacesOnlyTheBadBytes) {
  EXPECT_EQ(qx::GbkToUtf8Lossy(kSongTiGbk + "\x80"), kSongTiUtf8 + "\xE2\x82\xAC");
  EXPECT_EQ(qx::GbkToUtf8Lossy("A\xCB"), "A" + kFffd);
  EXPECT_EQ(qx::GbkToUtf8Lossy("\xCB" "!"), kFffd + "!");  // ASCII after a bad lead survives
  EXPECT_EQ(qx::GbkToUtf8Lossy("\xFF" + kSongTiGbk), kFffd + kSongTiUtf8);
  EXPECT_EQ(qx::GbkToUtf8Lossy("\x81\x30\x81\x30"), kFffd + "0" + kFffd + "0");
  EXPECT_EQ(qx::GbkToUtf8Lossy("\xA2\xE3\xCC\xE5"), kFffd + kFffd + "\xE4\xBD\x93");
  EXPECT_EQ(qx::GbkToUtf8Lossy("plain"), "plain");
}

TEST(Gbk, ConcurrentConversionsAgree) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += kSongTiGbk + "x\x80";
  const std::string expected = ToUtf8(text);
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        std::string utf8, gbk;
        if (!qx::GbkToUtf8(text, utf8) || utf8 != expected || !qx::Utf8ToGbk(utf8, gbk) || gbk != text) {
          ++failures[t];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}
