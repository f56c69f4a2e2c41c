// The character list: the generated table, and loading hostile or odd files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "common/paths.h"
#include "notation/glyph_table.h"
#include "tests/common/scratch_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Append32(Bytes& b, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(u >> (8 * i)));
}

// One stored entry in the file layout: six int32 and a counted name.
void AppendEntry(Bytes& b, int32_t font, int32_t ch, int32_t gdx, int32_t gdy, int32_t sdx, int32_t sdy,
                 const std::string& name) {
  for (int32_t v : {font, ch, gdx, gdy, sdx, sdy}) Append32(b, v);
  if (name.size() < 0xFF) {
    b.push_back(static_cast<uint8_t>(name.size()));
  } else {
    b.push_back(0xFF);
    b.push_back(static_cast<uint8_t>(name.size()));
    b.push_back(static_cast<uint8_t>(name.size() >> 8));
  }
  b.insert(b.end(), name.begin(), name.end());
}

// A file of `stored` entries under a count of `count`; entry i is
// (i % 8, 100 + i, -i, i, 2 * i, -2 * i, "e<i>").
Bytes ListFile(int32_t count, int stored) {
  Bytes b;
  Append32(b, count);
  for (int i = 0; i < stored; ++i) {
    std::string name = "e";
    name += std::to_string(i);
    AppendEntry(b, i % 8, 100 + i, -i, i, 2 * i, -2 * i, name);
  }
  return b;
}

void WriteFile(const std::string& path, const Bytes& b) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

void ExpectUndefined(const GlyphEntry& e, int code) {
  EXPECT_EQ(e.Code, code);
  EXPECT_EQ(e.Name, "undefined");
  EXPECT_EQ(e.Font, 0);
  EXPECT_EQ(e.Character, 0);
  EXPECT_EQ(e.GlyphDx | e.GlyphDy | e.StemDx | e.StemDy, 0);
}

// --- the generated table ------------------------------------------------------

#ifdef QUAVIX_GENERATED_CHARLIST
class GeneratedCharList : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(table.Load(QUAVIX_GENERATED_CHARLIST, &error)) << error;
  }
  const GlyphEntry& At(int code) { return *table.Find(code); }
  GlyphTable table;
};

TEST_F(GeneratedCharList, HoldsEveryCodeWithTwinsForEveryDefinedNote) {
  ASSERT_EQ(table.Size(), 256u);
  for (int code = 0; code < 256; ++code) EXPECT_EQ(At(code).Code, code);
  // Every duration code 0 to 8, the grace codes 9 and 10: both stem directions.
  for (int code = 0; code <= 10; ++code) {
    const GlyphEntry& up = At(code);
    const GlyphEntry& down = At(code + kStemDownCodeOffset);
    SCOPED_TRACE(code);
    EXPECT_NE(up.Name, "undefined");
    EXPECT_NE(down.Name, "undefined");
    EXPECT_NE(up.Byte(), 0);
    EXPECT_NE(down.Byte(), 0);
    EXPECT_EQ(up.Font, 0);
    EXPECT_EQ(down.Font, 0);
    // The head sits at the same place whichever way the stem points.
    EXPECT_EQ(up.GlyphDx, down.GlyphDx);
    EXPECT_EQ(up.GlyphDy, down.GlyphDy);
    if (code >= 2) {
      EXPECT_GT(up.StemDx, down.StemDx) << "stem up on the right, down on the left";
      EXPECT_LE(up.StemDy, 0);
      EXPECT_GE(down.StemDy, 0);
    }
  }
  // Flagged notes need their own stem-down character; heads alone share one.
  for (int code = 4; code <= 9; ++code) EXPECT_NE(At(code).Byte(), At(code + 64).Byte()) << code;
  for (int code : {0, 1, 2, 3, 10}) EXPECT_EQ(At(code).Byte(), At(code + 64).Byte()) << code;
  // Undefined rows stay empty, including everything from 128 on.
  for (int code = 128; code < 256; ++code) ExpectUndefined(At(code), code);
}

TEST_F(GeneratedCharList, StemsStandWhereTheBeamerPutsThem) {
  // The beamer draws beams from X + 4 (stems up) and X - 4 (stems down), and
  // 4 units further left for small notes with the stem up: the stems of the
  // heads that get beamed (3, and the grace heads 9, 10) must be those columns.
  EXPECT_EQ(At(3).StemDx, 4);
  EXPECT_EQ(At(3 + 64).StemDx, -4);
  for (int code : {9, 10}) {
    EXPECT_EQ(At(code).StemDx, 0) << code;
    EXPECT_EQ(At(code + 64).StemDx, -4) << code;
  }
  // Flagged notes keep the quarter's stem, which their flags are drawn for.
  for (int code = 4; code <= 8; ++code) {
    EXPECT_EQ(At(code).StemDx, At(3).StemDx) << code;
    EXPECT_EQ(At(code).StemDy, At(3).StemDy) << code;
    EXPECT_EQ(At(code + 64).StemDx, At(67).StemDx) << code;
    EXPECT_EQ(At(code + 64).StemDy, At(67).StemDy) << code;
  }
}

TEST_F(GeneratedCharList, HeadsAreDrawnThreeUnitsAboveTheCommonRule) {
  // Symbols are drawn 48 units above their reference point; heads 45, so the
  // small-note path (x - 4, y - 25 with the 19-pixel font) centres them too.
  for (int code = 0; code <= 12; ++code) EXPECT_EQ(At(code).GlyphDy, -45) << code;
  // Small heads start where the small-note path starts them: x - 4.
  EXPECT_EQ(At(10).GlyphDx, -4);
}

TEST_F(GeneratedCharList, NamesAreStoredInGbk) {
  // 四分音符: the quarter note, GBK C4 C4 B7 D6 D2 F4 B7 FB.
  const std::string quarter = "\xCB\xC4\xB7\xD6\xD2\xF4\xB7\xFB";
  EXPECT_EQ(At(3).Name.compare(0, quarter.size(), quarter), 0);
  EXPECT_EQ(At(67).Name.compare(0, quarter.size(), quarter), 0);
}
#endif

// --- loading ----------------------------------------------------------------

TEST(LoadCharList, MissingFileIsCreatedEmptyAndReadOnTheNextStart) {
  ScratchDir dir;
  GlyphTable table;
  std::string error;
  EXPECT_FALSE(table.Load(dir / "charlist.dat", &error));
  EXPECT_TRUE(table.Empty());
  EXPECT_EQ(table.Find(0), nullptr);
  EXPECT_NE(error.find("created"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(dir / "charlist.dat"), Bytes({0, 0, 0, 0}));

  GlyphTable next;
  EXPECT_TRUE(next.Load(dir / "charlist.dat"));
  ASSERT_EQ(next.Size(), 256u);
  for (int code = 0; code < 256; ++code) ExpectUndefined(*next.Find(code), code);
}

TEST(LoadCharList, NothingIsCreatedWhereTheFolderCannotTakeIt) {
  ScratchDir dir;
  GlyphTable table;
  EXPECT_FALSE(table.Load(dir / "no-such-folder/charlist.dat"));
  EXPECT_TRUE(table.Empty());
  EXPECT_TRUE(dir.List().empty());

  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  ASSERT_EQ(chmod(dir.Path().c_str(), 0555), 0);
  EXPECT_FALSE(table.Load(dir / "charlist.dat"));
  chmod(dir.Path().c_str(), 0755);
  EXPECT_TRUE(table.Empty());
  EXPECT_TRUE(dir.List().empty());
}

TEST(LoadCharList, AFileThatCannotBeReadIsNeverReplaced) {
  ScratchDir dir;
  // A folder where the file should be: not read, not touched.
  ASSERT_EQ(mkdir((dir / "charlist.dat").c_str(), 0755), 0);
  GlyphTable table;
  EXPECT_FALSE(table.Load(dir / "charlist.dat"));
  struct stat st {};
  ASSERT_EQ(stat((dir / "charlist.dat").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  // A FIFO in its place is refused at once (no writer ever comes) and kept.
  ASSERT_EQ(mkfifo((dir / "pipe.dat").c_str(), 0600), 0);
  std::string error;
  EXPECT_FALSE(table.Load(dir / "pipe.dat", &error));
  EXPECT_NE(error.find("不是普通文件"), std::string::npos) << error;
  ASSERT_EQ(stat((dir / "pipe.dat").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  if (geteuid() == 0) GTEST_SKIP() << "root reads unreadable files";
  Bytes original = ListFile(3, 3);
  WriteFile(dir / "locked.dat", original);
  ASSERT_EQ(chmod((dir / "locked.dat").c_str(), 0), 0);
  EXPECT_FALSE(table.Load(dir / "locked.dat"));
  chmod((dir / "locked.dat").c_str(), 0644);
  EXPECT_EQ(ReadFile(dir / "locked.dat"), original);
}

TEST(LoadCharList, ShortListLeavesTheRestUndefined) {
  ScratchDir dir;
  WriteFile(dir / "c.dat", ListFile(2, 2));
  GlyphTable table;
  ASSERT_TRUE(table.Load(dir / "c.dat"));
  ASSERT_EQ(table.Size(), 256u);
  const GlyphEntry& e1 = *table.Find(1);
  EXPECT_EQ(e1.Code, 1);
  EXPECT_EQ(e1.Font, 1);
  EXPECT_EQ(e1.Character, 101);
  EXPECT_EQ(e1.GlyphDx, -1);
  EXPECT_EQ(e1.GlyphDy, 1);
  EXPECT_EQ(e1.StemDx, 2);
  EXPECT_EQ(e1.StemDy, -2);
  EXPECT_EQ(e1.Name, "e1");
  for (int code = 2; code < 256; ++code) ExpectUndefined(*table.Find(code), code);
}

TEST(LoadCharList, EntriesBeyond256AreNotRead) {
  ScratchDir dir;
  GlyphTable table;
  // A count of 300 with all 300 entries: the 257th is not taken.
  WriteFile(dir / "long.dat", ListFile(300, 300));
  ASSERT_TRUE(table.Load(dir / "long.dat"));
  ASSERT_EQ(table.Size(), 256u);
  EXPECT_EQ(table.Find(255)->Character, 100 + 255);
  EXPECT_EQ(table.Find(256), nullptr);
  // Entries beyond 256 need not even be there.
  WriteFile(dir / "cut.dat", ListFile(300, 256));
  GlyphTable cut;
  ASSERT_TRUE(cut.Load(dir / "cut.dat"));
  EXPECT_EQ(cut.Find(255)->Name, "e255");
}

TEST(LoadCharList, NamesOf255BytesAndMoreUseTheLongPrefix) {
  ScratchDir dir;
  Bytes b;
  Append32(b, 2);
  AppendEntry(b, 0, 207, -4, -45, 4, -1, std::string(254, 'a'));
  AppendEntry(b, 0, 207, -4, -45, -4, 1, std::string(300, 'b'));
  WriteFile(dir / "names.dat", b);
  GlyphTable table;
  ASSERT_TRUE(table.Load(dir / "names.dat"));
  EXPECT_EQ(table.Find(0)->Name, std::string(254, 'a'));
  EXPECT_EQ(table.Find(1)->Name, std::string(300, 'b'));
  EXPECT_EQ(table.Find(1)->StemDy, 1);
}

TEST(LoadCharList, CorruptFilesFailWholeAndKeepThePreviousList) {
  ScratchDir dir;
  WriteFile(dir / "good.dat", ListFile(3, 3));
  GlyphTable table;
  ASSERT_TRUE(table.Load(dir / "good.dat"));

  Bytes negative;
  Append32(negative, -1);
  Bytes hugeCount = ListFile(0x7FFFFFFF, 1);
  Bytes truncatedEntry = ListFile(2, 2);
  truncatedEntry.resize(truncatedEntry.size() - 5);
  Bytes hugeName;
  Append32(hugeName, 1);
  for (int32_t v : {0, 207, 0, 0, 0, 0}) Append32(hugeName, v);
  for (uint8_t byte : {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}) hugeName.push_back(byte);  // 2 GB name
  Bytes shortCount = {1, 0};
  const std::pair<const char*, Bytes> cases[] = {
      {"negative count", negative},        {"count beyond the file", hugeCount},
      {"cut inside an entry", truncatedEntry}, {"name longer than the file", hugeName},
      {"cut inside the count", shortCount},   {"empty file", {}},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    WriteFile(dir / "bad.dat", bytes);
    std::string error;
    EXPECT_FALSE(table.Load(dir / "bad.dat", &error));
    EXPECT_FALSE(error.empty());
    ASSERT_EQ(table.Size(), 256u);
    EXPECT_EQ(table.Find(2)->Name, "e2");
    EXPECT_EQ(table.Find(3)->Name, "undefined");
    EXPECT_EQ(ReadFile(dir / "bad.dat"), bytes) << "a corrupt file is left as it was";
  }
}

TEST(LoadCharList, EncodeWritesTheLayoutItReads) {
  ScratchDir dir;
  Bytes file = ListFile(256, 256);
  WriteFile(dir / "full.dat", file);
  GlyphTable table;
  ASSERT_TRUE(table.Load(dir / "full.dat"));
  EXPECT_EQ(table.Encode(), file);
}

TEST(LoadCharList, TheApplicationListReadsBesideTheProgram) {
  ScratchDir dir;
  ASSERT_EQ(mkdir((dir / "res").c_str(), 0755), 0);
  WriteFile(dir / "res/charlist.dat", ListFile(70, 70));
  qx::SetProgramDirectoryForTesting(dir.Path());
  CharList().Clear();
  EXPECT_EQ(GetGlyph(3), nullptr) << "an empty list is never indexed";
  EXPECT_TRUE(LoadCharList());
  qx::SetProgramDirectoryForTesting("");
  ASSERT_NE(GetGlyph(69), nullptr);
  EXPECT_EQ(GetGlyph(69)->Character, 169);
  EXPECT_EQ(GetGlyph(-1), nullptr);
  EXPECT_EQ(GetGlyph(5 + 64 + 200), nullptr);
  CharList().Clear();
}

}  // namespace
