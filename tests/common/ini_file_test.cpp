#include "common/ini_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "common/file_util.h"
#include "tests/common/scratch_dir.h"

namespace {

std::string Value(const IniFile& ini, std::string_view section, std::string_view key) {
  const std::string* value = ini.GetValue(section, key);
  return value ? *value : std::string("<none>");
}

IniFile Parse(std::string_view text) {
  IniFile ini;
  EXPECT_EQ(ini.LoadFromText(text), 1);
  return ini;
}

bool SameContents(const IniFile& a, const IniFile& b) {
  if (a.SectionCount() != b.SectionCount()) return false;
  for (size_t i = 0; i < a.SectionCount(); ++i) {
    if (a.Sections()[i].Name() != b.Sections()[i].Name()) return false;
    if (a.Sections()[i].Entries() != b.Sections()[i].Entries()) return false;
  }
  return true;
}

// Best of three runs, to keep a busy machine from failing a timing check.
template <typename Fn>
double BestMilliseconds(Fn fn) {
  double best = 1e30;
  for (int run = 0; run < 3; ++run) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
constexpr double kSlowBuild = 15.0;
#else
constexpr double kSlowBuild = 1.0;
#endif

}  // namespace

TEST(IniFileParse, KeysAndValuesAreSplitAtTheFirstEqualsOnly) {
  const IniFile ini = Parse("[Web]\r\nHomepage =x\r\n  \tIndent=y\r\nEq=a=b\r\nSpace= v \r\nEmpty=\r\n=anon\r\n");
  EXPECT_EQ(Value(ini, "Web", "Homepage "), "x");
  EXPECT_EQ(ini.GetValue("Web", "Homepage"), nullptr);
  EXPECT_EQ(Value(ini, "Web", "Indent"), "y");
  EXPECT_EQ(Value(ini, "Web", "Eq"), "a=b");
  EXPECT_EQ(Value(ini, "Web", "Space"), " v ");
  EXPECT_EQ(Value(ini, "Web", "Empty"), "");
  EXPECT_EQ(Value(ini, "Web", ""), "anon");
  EXPECT_EQ(ini.GetValue("web", "Eq"), nullptr) << "names are case sensitive";
  EXPECT_EQ(ini.GetValue("Web", "eq"), nullptr);
}

TEST(IniFileParse, HeadersAndIgnoredLines) {
  const IniFile ini = Parse(
      "orphan=1\n"      // before any section: ignored
      "[[name]\n"       // leading '[' removed
      "a=1\n"
      "[broken\n"       // no ']': ignored, entries stay in [name]
      "b=2\n"
      "no equals sign\n"
      "\n   \t\n"
      "  [tail]junk\n"  // text after ']' ignored
      "c=3");           // last line without a line end
  ASSERT_EQ(ini.SectionCount(), 2u);
  EXPECT_EQ(ini.Sections()[0].Name(), "name");
  EXPECT_EQ(ini.Sections()[0].Entries().size(), 2u);
  EXPECT_EQ(Value(ini, "name", "b"), "2");
  EXPECT_EQ(ini.FindSection("broken"), nullptr);
  EXPECT_EQ(ini.GetValue("name", "orphan"), nullptr);
  EXPECT_EQ(Value(ini, "tail", "c"), "3");

  const IniFile empty = Parse("[]\nk=v\n");
  EXPECT_EQ(Value(empty, "", "k"), "v");
}

TEST(IniFileParse, CarriageReturnsAreRemovedAnywhereInTheLine) {
  const IniFile ini = Parse("[S]\r\nk=a\rb\r\r\nlf=only\n");
  EXPECT_EQ(Value(ini, "S", "k"), "ab");
  EXPECT_EQ(Value(ini, "S", "lf"), "only");
}

TEST(IniFileParse, ValuesAreUnescaped) {
  const IniFile ini = Parse(
      "[S]\n"
      "breaks=one\\r\\ntwo\n"
      "slash=a\\\\b\n"
      "slashN=a\\\\nb\n"
      "other=\\t\\x\n"
      "end=tail\\\n");
  EXPECT_EQ(Value(ini, "S", "breaks"), "one\r\ntwo");
  EXPECT_EQ(Value(ini, "S", "slash"), "a\\b");
  EXPECT_EQ(Value(ini, "S", "slashN"), "a\\nb");
  EXPECT_EQ(Value(ini, "S", "other"), "\\t\\x");
  EXPECT_EQ(Value(ini, "S", "end"), "tail\\");
}

TEST(IniFileParse, DuplicatesResolveToTheFirst) {
  IniFile ini = Parse("[A]\nk=first\nk=second\n[B]\nk=b\n[A]\nk=third\nonly=second-section\n");
  ASSERT_EQ(ini.SectionCount(), 3u);
  EXPECT_EQ(Value(ini, "A", "k"), "first");
  EXPECT_EQ(ini.GetValue("A", "only"), nullptr);
  // Looking up another section in between must not change the answer.
  EXPECT_EQ(Value(ini, "B", "k"), "b");
  EXPECT_EQ(Value(ini, "A", "k"), "first");

  ini.SetValue("A", "k", "changed");
  ini.SetValue("A", "new", "1");
  EXPECT_EQ(ini.Sections()[0].Entries()[0].second, "changed");
  EXPECT_EQ(ini.Sections()[0].Entries()[1].second, "second");
  EXPECT_EQ(ini.Sections()[0].Entries().back().first, "new");
  EXPECT_EQ(ini.Sections()[2].Entries()[0].second, "third");
}

TEST(IniFileParse, GbkNamesMatchByteForByte) {
  const std::string song = "\xCB\xCE\xCC\xE5";  // GBK bytes
  const IniFile ini = Parse("[" + song + "]\n" + song + "=\xB0\xA1\n");
  EXPECT_EQ(Value(ini, song, song), "\xB0\xA1");
  EXPECT_EQ(ini.GetValue("\xCB\xCE", song), nullptr);
}

TEST(IniFileParse, LargeSectionsWithRepeatedKeysFindTheFirst) {
  // Enough keys to pass the size where a section switches to an index.
  std::string text = "[Big]\n";
  for (int i = 0; i < 200; ++i) {
    text += "k" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    if (i == 10 || i == 150) text += "dup=at" + std::to_string(i) + "\n";
  }
  IniFile ini = Parse(text);
  EXPECT_EQ(Value(ini, "Big", "dup"), "at10");
  EXPECT_EQ(Value(ini, "Big", "k199"), "199");
  ini.SetValue("Big", "dup", "set");
  EXPECT_EQ(Value(ini, "Big", "dup"), "set");
  ini.SetValue("Big", "appended", "x");
  EXPECT_EQ(ini.Sections()[0].Entries().back(), IniFile::Entry("appended", "x"));

  // Copies carry their own index.
  IniFile copy = ini;
  ini.SetValue("Big", "k5", "original only");
  EXPECT_EQ(Value(copy, "Big", "k5"), "5");
  EXPECT_EQ(Value(copy, "Big", "appended"), "x");
}

TEST(IniFileLoad, MissingFileReturnsZeroAndKeepsContents) {
  ScratchDir dir;
  IniFile fresh;
  EXPECT_EQ(fresh.Load(dir / "missing.ini"), 0);
  EXPECT_EQ(fresh.SectionCount(), 0u);
  EXPECT_EQ(fresh.GetValue("A", "k"), nullptr);

  IniFile loaded = Parse("[A]\nk=v\n");
  EXPECT_EQ(loaded.Load(dir / "missing.ini"), 0);
  EXPECT_EQ(Value(loaded, "A", "k"), "v");
  EXPECT_EQ(loaded.Load(dir.Path()), 0) << "a folder is not a settings file";
}

TEST(IniFileLoad, LoadReplacesOldContents) {
  ScratchDir dir;
  ASSERT_TRUE(qx::WriteFileAtomically(dir / "b.ini", "[B]\r\nk=b\r\n"));
  IniFile ini = Parse("[A]\nk=a\n");
  EXPECT_EQ(Value(ini, "A", "k"), "a");  // primes the last-found section
  ASSERT_EQ(ini.Load(dir / "b.ini"), 1);
  EXPECT_EQ(ini.SectionCount(), 1u);
  EXPECT_EQ(ini.GetValue("A", "k"), nullptr);
  EXPECT_EQ(Value(ini, "B", "k"), "b");
}

TEST(IniFileSet, SetAppendsInOrderAndOverwrites) {
  IniFile ini;
  ini.SetValue("S1", "a", "1");
  ini.SetValue("S2", "x", "2");
  ini.SetValue("S1", "b", "3");
  ini.SetValue("S1", "a", "4");
  ini.SetInt("S2", "n", -42);
  ASSERT_EQ(ini.SectionCount(), 2u);
  EXPECT_EQ(ini.Sections()[0].Entries(), (std::vector<IniFile::Entry>{{"a", "4"}, {"b", "3"}}));
  EXPECT_EQ(ini.Sections()[1].Entries(), (std::vector<IniFile::Entry>{{"x", "2"}, {"n", "-42"}}));
  EXPECT_EQ(ini.GetInt("S2", "n", 7), -42);
  EXPECT_EQ(ini.GetInt("S2", "missing", 7), 7);
  ini.SetValue("S2", "junk", "  12abc");
  EXPECT_EQ(ini.GetInt("S2", "junk", 7), 12);
  std::string out = "unchanged";
  EXPECT_FALSE(ini.GetString("S3", "a", out));
  EXPECT_EQ(out, "unchanged");
  EXPECT_TRUE(ini.GetString("S1", "b", out));
  EXPECT_EQ(out, "3");
  ini.Clear();
  EXPECT_EQ(ini.SectionCount(), 0u);
  EXPECT_EQ(ini.GetValue("S1", "a"), nullptr);
}

TEST(IniFileSave, WritesCrLfSectionsAndEscapedValues) {
  IniFile ini;
  ini.SetValue("A", "k", "v");
  ini.SetValue("A", "text", "line1\r\nline2\\end\\");
  ini.SetValue("B", "e", "");
  EXPECT_EQ(ini.SaveToText(), "\r\n[A]\r\nk=v\r\ntext=line1\\r\\nline2\\\\end\\\\\r\n\r\n[B]\r\ne=\r\n");
}

TEST(IniFileSave, RoundTripsThroughAFile) {
  ScratchDir dir;
  IniFile ini = Parse("[A]\nk=1\nk=2\n[A]\nk=3\n");
  ini.SetValue("Text", "breaks", "a\nb\r\nc\rd");
  ini.SetValue("Text", "slashes", "\\\\n\\r\\");
  ini.SetValue("Text", "gbk", "\xCB\xCE\xCC\xE5");
  ini.SetValue("Text", "Homepage ", " spaced ");
  ASSERT_EQ(ini.Save(dir / "out.ini"), 1);
  EXPECT_EQ(dir.Read("out.ini"), ini.SaveToText());
  IniFile back;
  ASSERT_EQ(back.Load(dir / "out.ini"), 1);
  EXPECT_TRUE(SameContents(ini, back));
  EXPECT_EQ(Value(back, "Text", "breaks"), "a\nb\r\nc\rd");
  EXPECT_EQ(dir.List(), std::set<std::string>{"out.ini"});
}

TEST(IniFileSave, LineBreaksInNamesCannotPlantEntries) {
  IniFile ini;
  ini.SetValue("S]\r\n[Admin", "key\nroot", "x");
  IniFile back = Parse(ini.SaveToText());
  EXPECT_EQ(back.SectionCount(), 1u);
  EXPECT_EQ(back.FindSection("Admin"), nullptr);
  EXPECT_EQ(back.Sections()[0].Entries().size(), 1u);
  EXPECT_EQ(back.GetValue(back.Sections()[0].Name(), "root"), nullptr);
}

TEST(IniFileSave, FailedSaveLeavesNothingBehind) {
  ScratchDir dir;
  IniFile ini;
  ini.SetValue("A", "k", "v");
  EXPECT_EQ(ini.Save(dir / "no/such/folder.ini"), 0);
  ASSERT_TRUE(std::filesystem::create_directory(dir / "taken"));
  EXPECT_EQ(ini.Save(dir / "taken"), 0);
  EXPECT_EQ(dir.List(), std::set<std::string>{"taken"});
}

TEST(IniFilePerformance, ManySectionsAreBuiltAndSearchedInLinearTime) {
  constexpr int kSections = 100000;
  constexpr int kKeys = 20;
  std::vector<std::string> names, keys;
  for (int i = 0; i < kSections; ++i) names.push_back("Object" + std::to_string(i));
  for (int k = 0; k < kKeys; ++k) keys.push_back("Key" + std::to_string(k));
  IniFile ini;
  const double build = BestMilliseconds([&] {
    ini.Clear();
    for (const std::string& name : names) {
      for (const std::string& key : keys) ini.SetValue(name, key, "12345");
    }
  });
  EXPECT_EQ(ini.SectionCount(), static_cast<size_t>(kSections));
  EXPECT_LT(build, 100.0 * kSlowBuild);

  // Lookups that always miss the last-found section.
  size_t found = 0;
  const double lookups = BestMilliseconds([&] {
    found = 0;
    for (int i = 0; i < kSections; ++i) {
      found += ini.GetValue(names[(i * 7919) % kSections], keys[i % kKeys]) != nullptr;
    }
  });
  EXPECT_EQ(found, static_cast<size_t>(kSections));
  EXPECT_LT(lookups, 100.0 * kSlowBuild);

  const std::string text = ini.SaveToText();
  IniFile back;
  const double load = BestMilliseconds([&] { back.LoadFromText(text); });
  EXPECT_TRUE(SameContents(ini, back));
  EXPECT_LT(load, 1000.0 * kSlowBuild);
}

TEST(IniFilePerformance, OneHugeSectionDoesNotGoQuadratic) {
  constexpr int kKeys = 60000;  // linear search would need ~1.8e9 comparisons
  IniFile ini;
  const double took = BestMilliseconds([&] {
    ini.Clear();
    for (int i = 0; i < kKeys; ++i) ini.SetInt("Huge", "key" + std::to_string(i), i);
    for (int i = 0; i < kKeys; ++i) ini.SetInt("Huge", "key" + std::to_string(i), -i);
  });
  EXPECT_EQ(ini.Sections()[0].Entries().size(), static_cast<size_t>(kKeys));
  EXPECT_EQ(ini.GetInt("Huge", "key59999", 0), -59999);
  EXPECT_LT(took, 300.0 * kSlowBuild);
}
