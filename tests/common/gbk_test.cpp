#include "common/gbk.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <thread>
#include <vector>

namespace {

const std::string kSongTiUtf8 = "\xE5\xAE\x8B\xE4\xBD\x93";  // 宋体
const std::string kSongTiGbk = "\xCB\xCE\xCC\xE5";
const std::string kEuroUtf8 = "\xE2\x82\xAC";
const std::string kFffd = "\xEF\xBF\xBD";

// glibc's own "GBK" table, the reference for every code it defines.
bool ReferenceGbkToUtf8(iconv_t cd, const std::string& in, std::string& out) {
  char buffer[16];
  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size(), outLeft = sizeof buffer;
  char* outPtr = buffer;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  const bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == 0 && inLeft == 0;
  out.assign(buffer, outPtr);
  return ok;
}

}  // namespace

TEST(Gbk, EveryDoubleByteCodeRoundTripsAndAgreesWithGlibcGbk) {
  iconv_t reference = iconv_open("UTF-8", "GBK");
  ASSERT_NE(reference, reinterpret_cast<iconv_t>(-1));
  int accepted = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      const std::string gbk{static_cast<char>(lead), static_cast<char>(trail)};
      std::string utf8, back, expected;
      const bool ours = qx::GbkToUtf8(gbk, utf8);
      if (ReferenceGbkToUtf8(reference, gbk, expected)) {
        ASSERT_TRUE(ours) << std::hex << lead << ' ' << trail;
        ASSERT_EQ(utf8, expected) << std::hex << lead << ' ' << trail;
      }
      if (!ours) continue;
      ++accepted;
      ASSERT_TRUE(qx::Utf8ToGbk(utf8, back)) << std::hex << lead << ' ' << trail;
      ASSERT_EQ(back, gbk) << std::hex << lead << ' ' << trail;
      // One code is one character: a single UTF-8 lead byte.
      ASSERT_EQ(std::count_if(utf8.begin(), utf8.end(), [](char c) { return (c & 0xC0) != 0x80; }), 1);
    }
  }
  iconv_close(reference);
  std::string pua;  // user-defined areas, which glibc's "GBK" rejects
  EXPECT_TRUE(qx::GbkToUtf8("\xAA\xA1", pua));
  EXPECT_TRUE(qx::GbkToUtf8("\xF8\xA1", pua));
  EXPECT_GT(accepted, 21000);
}

TEST(Gbk, KnownTextAsciiAndEuro) {
  std::string out;
  ASSERT_TRUE(qx::Utf8ToGbk(kSongTiUtf8, out));
  EXPECT_EQ(out, kSongTiGbk);
  const std::string ascii("Tempo 120 = \"allegro\"\t\r\n\0end", 29);
  ASSERT_TRUE(qx::Utf8ToGbk(ascii, out));
  EXPECT_EQ(out, ascii);
  ASSERT_TRUE(qx::GbkToUtf8(ascii, out));
  EXPECT_EQ(out, ascii);

  const std::string mixed = "A" + kSongTiGbk + "\x80" + "z";  // 0x80 is the euro sign
  ASSERT_TRUE(qx::GbkToUtf8(mixed, out));
  EXPECT_EQ(out, "A" + kSongTiUtf8 + kEuroUtf8 + "z");
  ASSERT_TRUE(qx::Utf8ToGbk(out, out));  // in place
  EXPECT_EQ(out, mixed);
}

TEST(Gbk, InvalidInputIsReported) {
  std::string out = "keep";
  for (const char* bad : {"ab\xCB", "\xCB\x20", "\xCB\x7F", "\xFF", "\xCB\xFF", "\x81\x30\x81\x30", "\xA2\xE3"}) {
    EXPECT_FALSE(qx::GbkToUtf8(bad, out)) << testing::PrintToString(bad);
  }
  for (const char* bad : {"\xF0\x9F\x8E\xB5",  // musical note emoji: no GBK code
                          "\xC2\x80",          // U+0080
                          "\xE5\xAE",          // cut short
                          "\xC0\xAF",          // overlong '/'
                          "\xED\xA0\x80",      // surrogate
                          "ok\xFF"}) {
    EXPECT_FALSE(qx::Utf8ToGbk(bad, out)) << testing::PrintToString(bad);
  }
  EXPECT_EQ(out, "keep");
}

TEST(Gbk, LossyReplacesOnlyTheBadBytes) {
  EXPECT_EQ(qx::GbkToUtf8Lossy(kSongTiGbk + "\x80"), kSongTiUtf8 + kEuroUtf8);
  EXPECT_EQ(qx::GbkToUtf8Lossy("A\xCB"), "A" + kFffd);
  EXPECT_EQ(qx::GbkToUtf8Lossy("\xCB" "!"), kFffd + "!");  // ASCII after a bad lead survives
  EXPECT_EQ(qx::GbkToUtf8Lossy("\xFF" + kSongTiGbk), kFffd + kSongTiUtf8);
  EXPECT_EQ(qx::GbkToUtf8Lossy("\x81\x30\x81\x30"), kFffd + "0" + kFffd + "0");
  EXPECT_EQ(qx::GbkToUtf8Lossy("\xA2\xE3\xCC\xE5"), kFffd + kFffd + "\xE4\xBD\x93");
}

TEST(Gbk, ConcurrentConversionsAgree) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += kSongTiGbk + "x\x80";
  std::string expected;
  ASSERT_TRUE(qx::GbkToUtf8(text, expected));
  std::vector<int> failures(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        std::string utf8, gbk;
        failures[t] += !qx::GbkToUtf8(text, utf8) || utf8 != expected || !qx::Utf8ToGbk(utf8, gbk) || gbk != text;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}
