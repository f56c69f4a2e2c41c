#include "common/ini_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/common/scratch_dir.h"

namespace {

std::string Value(const IniFile& ini, std::string_view section, std::string_view key) {
  const std::string* value = ini.GetValue(section, key);
  return value ? *value : "<none>";
}

IniFile Parse(std::string_view text) {
  IniFile ini;
  ini.LoadFromText(text);
  return ini;
}


bool SameContents(const IniFile& a, const IniFile& b) {
  return std::equal(a.Sections().begin(), a.Sections().end(), b.Sections().begin(), b.Sections().end(),
                    [](const IniFile::Section& x, const IniFile::Section& y) {
                      return x.Name() == y.Name() && x.Entries() == y.Entries();
                    });
}

}  // namespace

TEST(IniFileParse, LinesKeysAndHeaders) {
  const IniFile ini = Parse(
      "orphan=1\n"              // before any section: ignored
      "[[Web]\r\n"              // leading '[' removed
      "Homepage =x\r\n"         // key keeps the blank before '='
      "  \tIndent=y\n"
      "Eq=a=b\n"
      "Space= v \n"
      "[broken\n"               // no ']': ignored, entries stay in [Web]
      "no equals sign\n"
      "\n   \t\n"
      "cr=a\rb\r\n"
      "  [tail]junk\n"          // text after ']' ignored
      "\xCB\xCE=\xCC\xE5");     // GBK bytes, no final line end
  ASSERT_EQ(ini.SectionCount(), 2u);
  EXPECT_EQ(ini.Sections()[0].Name(), "Web");
  EXPECT_EQ(Value(ini, "Web", "Homepage "), "x");
  EXPECT_EQ(ini.GetValue("Web", "Homepage"), nullptr);
  EXPECT_EQ(Value(ini, "Web", "Indent"), "y");
  EXPECT_EQ(Value(ini, "Web", "Eq"), "a=b");
  EXPECT_EQ(Value(ini, "Web", "Space"), " v ");
  EXPECT_EQ(Value(ini, "Web", "cr"), "ab");
  EXPECT_EQ(ini.GetValue("Web", "orphan"), nullptr);
  EXPECT_EQ(ini.GetValue("web", "Eq"), nullptr) << "names are case sensitive";
  EXPECT_EQ(Value(ini, "tail", "\xCB\xCE"), "\xCC\xE5");
}

TEST(IniFileParse, ValuesAreUnescaped) {
  const IniFile ini = Parse("[S]\nbreaks=1\\r\\n2\nslash=a\\\\nb\nother=\\t\\x\nend=tail\\\n");
  EXPECT_EQ(Value(ini, "S", "breaks"), "1\r\n2");
  EXPECT_EQ(Value(ini, "S", "slash"), "a\\nb");
  EXPECT_EQ(Value(ini, "S", "other"), "\\t\\x");
  EXPECT_EQ(Value(ini, "S", "end"), "tail\\");
}

TEST(IniFileParse, DuplicatesResolveToTheFirst) {
  IniFile ini = Parse("[A]\nk=first\nk=second\n[B]\nk=b\n[A]\nk=third\nonly=second-section\n");
  ASSERT_EQ(ini.SectionCount(), 3u);
  EXPECT_EQ(Value(ini, "A", "k"), "first");
  EXPECT_EQ(Value(ini, "B", "k"), "b");  // moves the last-found section away and back
  EXPECT_EQ(Value(ini, "A", "k"), "first");
  EXPECT_EQ(ini.GetValue("A", "only"), nullptr);
  ini.SetValue("A", "k", "changed");
  ini.SetValue("A", "new", "1");
  EXPECT_EQ(ini.Sections()[0].Entries(),
            (std::vector<IniFile::Entry>{{"k", "changed"}, {"k", "second"}, {"new", "1"}}));
  EXPECT_EQ(ini.Sections()[2].Entries()[0].second, "third");

  // The same in a section large enough to be searched through its index.
  std::string text = "[Big]\n";
  for (int i = 0; i < 200; ++i) {
    const std::string n = std::to_string(i);
    text.append("k").append(n).append("=").append(n).append("\n");
    if (i % 50 == 0) text.append("dup=").append(n).append("\n");
  }
  IniFile big = Parse(text);
  EXPECT_EQ(Value(big, "Big", "dup"), "0");
  EXPECT_EQ(Value(big, "Big", "k199"), "199");
  IniFile copy = big;  // copies carry their own index
  big.SetValue("Big", "dup", "set");
  EXPECT_EQ(Value(big, "Big", "dup"), "set");
  EXPECT_EQ(Value(copy, "Big", "dup"), "0");
}

TEST(IniFileLoad, MissingFileKeepsContentsAndLoadReplacesThem) {
  ScratchDir dir;
  IniFile ini;
  EXPECT_EQ(ini.Load(dir / "missing.ini"), 0);
  EXPECT_EQ(ini.SectionCount(), 0u);
  ini.SetValue("A", "k", "a");
  EXPECT_EQ(ini.Load(dir / "missing.ini"), 0);
  EXPECT_EQ(ini.Load(dir.Path()), 0) << "a folder is not a settings file";
  EXPECT_EQ(Value(ini, "A", "k"), "a");

  ASSERT_TRUE(qx::WriteFileAtomically(dir / "b.ini", "[B]\r\nk=b\r\n"));
  ASSERT_EQ(ini.Load(dir / "b.ini"), 1);
  EXPECT_EQ(ini.SectionCount(), 1u);
  EXPECT_EQ(ini.GetValue("A", "k"), nullptr);
  EXPECT_EQ(Value(ini, "B", "k"), "b");
}

TEST(IniFileSet, AppendsInOrderOverwritesAndReadsIntegers) {
  IniFile ini;
  ini.SetValue("S1", "a", "1");
  ini.SetValue("S2", "x", "2");
  ini.SetValue("S1", "b", "3");
  ini.SetValue("S1", "a", "4");
  ini.SetInt("S2", "n", -42);
  ini.SetValue("S2", "junk", "  12abc");
  EXPECT_EQ(ini.Sections()[0].Entries(), (std::vector<IniFile::Entry>{{"a", "4"}, {"b", "3"}}));
  EXPECT_EQ(ini.Sections()[1].Entries()[1], IniFile::Entry("n", "-42"));
  EXPECT_EQ(ini.GetInt("S2", "n", 7), -42);
  EXPECT_EQ(ini.GetInt("S2", "junk", 7), 12);
  EXPECT_EQ(ini.GetInt("S2", "missing", 7), 7);
  std::string out = "unchanged";
  EXPECT_FALSE(ini.GetString("S3", "a", out));
  EXPECT_EQ(out, "unchanged");

  IniFile moved = std::move(ini);  // the moved-from document is reusable
  ini.SetValue("T", "k", "v");
  EXPECT_EQ(ini.SectionCount(), 1u);
  EXPECT_EQ(moved.GetInt("S1", "a", 0), 4);
}

TEST(IniFileSave, FormatAndRoundTrip) {
  IniFile ini;
  ini.SetValue("A", "k", "v");
  ini.SetValue("A", "text", "line1\r\nline2\\end\\");
  ini.SetValue("B", "e", "");
  EXPECT_EQ(ini.SaveToText(), "\r\n[A]\r\nk=v\r\ntext=line1\\r\\nline2\\\\end\\\\\r\n\r\n[B]\r\ne=\r\n");

  ScratchDir dir;
  ini = Parse("[A]\nk=1\nk=2\n[A]\nk=3\n");
  ini.SetValue("Text", "breaks", "a\nb\r\nc\rd");
  ini.SetValue("Text", "slashes", "\\\\n\\r\\");
  ini.SetValue("Text", "Homepage ", " \xCB\xCE ");
  ASSERT_EQ(ini.Save(dir / "out.ini"), 1);
  EXPECT_EQ(dir.Read("out.ini"), ini.SaveToText());
  IniFile back;
  ASSERT_EQ(back.Load(dir / "out.ini"), 1);
  EXPECT_TRUE(SameContents(ini, back));

  ASSERT_TRUE(std::filesystem::create_directory(dir / "taken"));
  EXPECT_EQ(ini.Save(dir / "taken"), 0);
  EXPECT_EQ(ini.Save(dir / "no/folder.ini"), 0);
  EXPECT_EQ(dir.List(), (std::set<std::string>{"out.ini", "taken"}));
}

TEST(IniFileSave, LineBreaksInNamesCannotPlantEntries) {
  IniFile ini;
  ini.SetValue("S]\r\n[Admin", "key\nroot", "x");
  const IniFile back = Parse(ini.SaveToText());
  ASSERT_EQ(back.SectionCount(), 1u);
  EXPECT_EQ(back.Sections()[0].Entries().size(), 1u);
  EXPECT_EQ(back.GetValue(back.Sections()[0].Name(), "root"), nullptr);
}

// Many sections and one very large section: first-match lookups keep
// working through the indexes. (Speed is measured in bench/.)
TEST(IniFileScale, ManySectionsAndAHugeOne) {
  std::vector<std::string> names, keys;
  for (int i = 0; i < 20000; ++i) names.push_back("Object" + std::to_string(i));
  for (int k = 0; k < 20; ++k) keys.push_back("Key" + std::to_string(k));
  IniFile ini;
  for (const std::string& name : names)
    for (const std::string& key : keys) ini.SetValue(name, key, "12345");
  size_t found = 0;
  for (size_t i = 0; i < names.size(); ++i) {  // each lookup misses the last-found section
    found += ini.GetValue(names[(i * 7919) % names.size()], keys[i % 20]) != nullptr;
  }
  for (int i = 0; i < 60000; ++i) ini.SetInt("Huge", "key" + std::to_string(i), i);
  for (int i = 0; i < 60000; ++i) ini.SetInt("Huge", "key" + std::to_string(i), -i);
  EXPECT_EQ(found, names.size());
  EXPECT_EQ(ini.Sections().back().Entries().size(), 60000u);
  EXPECT_EQ(ini.GetInt("Huge", "key59999", 0), -59999);
  EXPECT_TRUE(SameContents(ini, Parse(ini.SaveToText())));
}
