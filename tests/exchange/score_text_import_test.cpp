// Score text import: missing keys, low bytes, section-name containment,
// skipped kinds, numbering, escaped texts, and round trips of every class.
#include <random>

#include "tests/exchange/exchange_test_util.h"
#include "tools/scoregen/scoregen.h"

namespace {

TEST(ImportSettings, MissingKeysReadAsZeroAndEightBitFieldsTakeTheLowByte) {
  CScore score;
  score.Version = 0x03070000;
  score.ResetDefaultTables();
  score.AddObject(std::make_unique<CNote>());
  IniFile doc = Parse(
      "[Score]\r\nFileType=Other\r\nVersion=1.0.0.0\r\nPaperWidth=700\r\nNumerator=259\r\n"
      "Voice=-1\r\nFont=511\r\nUpperNumber=7\r\n");
  Import(score, doc);
  EXPECT_EQ(score.PaperWidth, 700);
  EXPECT_EQ(score.TimeBase, 0);  // missing
  EXPECT_EQ(score.Tempo, 0);
  EXPECT_EQ(score.Numerator, 3);
  EXPECT_EQ(score.Voice, -1);
  EXPECT_EQ(score.Font, -1);
  EXPECT_EQ(score.UpperNumber, 7);
  // FileType and Version are not read; tables and objects are replaced.
  EXPECT_EQ(score.Version, 0x03070000u);
  EXPECT_EQ(std::string(score.FileType, 4), "SCOR");
  EXPECT_TRUE(score.Layers.empty() && score.Pens.empty() && score.Fonts.empty());
  EXPECT_EQ(score.ObjectCount(), 0u);
}

TEST(ImportTables, EveryTableTakesEachSectionWhoseNameContainsItsWord) {
  const std::string longFace(40, 'F');
  IniFile doc = Parse(
      "[Score]\r\n"
      "[Layer0]\r\nStyle=1\r\nColor=255\r\n"
      "[FontLayer]\r\nStyle=0\r\nColor=7\r\nFaceName=Mixed\r\nHeight=-12\r\n"
      "[layer1]\r\nStyle=1\r\n"  // case matters: not a layer
      "[MyPen]\r\nColor=-1\r\nStyle=2\r\nWidthX=3\r\n"
      "[ObjectPen9]\r\nKind=79\r\nNumber=9\r\n"
      "[Object3Font]\r\nKind=78\r\nNumber=3\r\n"
      "[Font1]\r\nFaceName=" + longFace + "\r\nItalic=-56\r\nCharSet=300\r\nWeight=400\r\n");
  CScore score;
  Import(score, doc);

  EXPECT_EQ(score.Layers, (std::vector<CLayer>{{255, 1}, {7, 0}}));
  EXPECT_EQ(score.Pens, (std::vector<LogPen>{{2, 3, 0, 0xFFFFFFFFu}, {0, 0, 0, 0}}));
  ASSERT_EQ(score.Fonts.size(), 3u);
  LogFont mixed;
  mixed.Height = -12;
  mixed.SetFace("Mixed");
  EXPECT_EQ(score.Fonts[0], mixed);
  EXPECT_EQ(score.Fonts[1], LogFont{});  // "Object3Font": no font keys at all
  EXPECT_EQ(score.Fonts[2].Face(), longFace.substr(0, 31));
  EXPECT_EQ(score.Fonts[2].Italic, 200);
  EXPECT_EQ(score.Fonts[2].CharSet, 44);
  EXPECT_EQ(score.Fonts[2].Weight, 400);
  ASSERT_EQ(score.ObjectCount(), 2u);
  EXPECT_EQ(score.GetObject(0)->GetKind(), Kind::Object);
  EXPECT_EQ(score.GetObject(0)->Number, 9);
  EXPECT_EQ(score.GetObject(1)->GetKind(), Kind::Note);
  EXPECT_EQ(score.GetObject(1)->Number, 3);
}

TEST(ImportObjects, SectionsOfKindsWithoutATextFormAreSkipped) {
  std::string text = "[Score]\r\nUpperNumber=100\r\n";
  int number = 10;
  // 'w', 'W', '-', none, graphics, combination, ',' (300), then 'N' (334) and 'O'.
  for (const char* kind : {"119", "87", "45", "", "103", "99", "300", "334", "79"}) {
    const std::string n = std::to_string(number++);
    text += "[Object" + n + "]\r\nKind=" + kind + "\r\nNumber=" + n + "\r\n";
  }
  IniFile doc = Parse(text);
  CScore score;
  Import(score, doc);
  ASSERT_EQ(score.ObjectCount(), 2u);
  EXPECT_EQ(score.GetObject(0)->GetKind(), Kind::Note);
  EXPECT_EQ(score.GetObject(0)->Number, 17);
  EXPECT_EQ(score.GetObject(1)->GetKind(), Kind::Object);
  EXPECT_EQ(score.GetObject(1)->Number, 18);
  EXPECT_EQ(score.UpperNumber, 102);  // advanced only for what was made
  EXPECT_EQ(score.FindByNumber(17), score.GetObject(0));
}

TEST(ImportObjects, MissingKeysReadAsZeroAndMissingTextsAsEmpty) {
  IniFile doc = Parse("[Score]\r\nUpperNumber=10\r\n[Object1]\r\nKind=88\r\n[Object2]\r\nKind=78\r\n[Object3]\r\nKind=73\r\n");
  CScore score;
  Import(score, doc);
  ASSERT_EQ(score.ObjectCount(), 3u);
  auto* text = As<CXText>(score.GetObject(0));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->Number, 0);
  EXPECT_EQ(text->text, "");  // not the class default
  EXPECT_EQ(text->Font, 0);
  EXPECT_EQ(text->Stave, 0);
  EXPECT_EQ(text->GetBounds(), (Rect{0, 0, 0, 0}));
  auto* note = As<CNote>(score.GetObject(1));
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(note->Velocity, 0);
  EXPECT_EQ(note->Chord, 0);
  auto* image = As<CXImage>(score.GetObject(2));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->source, "");
}

TEST(ImportNumbers, NumbersAreKeptAndUpperNumberAdvancesByTheObjectCount) {
  CScore score;
  for (int i = 0; i < 6; ++i) score.AddObject(std::make_unique<CNote>());
  score.GetObject(1)->Selected = score.GetObject(4)->Selected = 1;
  score.RecountSelection();
  ASSERT_TRUE(score.DeleteSelected());  // Numbers 0, 2, 3, 5 remain
  score.UpperNumber = 50;
  IniFile doc = Export(score);

  CScore back;
  back.AddObject(std::make_unique<CXText>());  // replaced by the import
  Import(back, doc);
  ASSERT_EQ(back.ObjectCount(), 4u);
  std::vector<int> numbers;
  for (const auto& o : back.Objects()) numbers.push_back(o->Number);
  EXPECT_EQ(numbers, (std::vector<int>{0, 2, 3, 5}));
  EXPECT_EQ(back.UpperNumber, 54);
  EXPECT_EQ(back.FindByNumber(5), back.GetObject(3));
  EXPECT_EQ(back.SelectedCount, 0);
}

// A document whose UpperNumber is not above its Numbers would make the next
// inserted object reuse one; the counter moves past the highest instead.
TEST(ImportNumbers, UpperNumberEndsAboveEveryImportedNumber) {
  IniFile doc = Parse("[Score]\r\n[Object40]\r\nKind=78\r\nNumber=40\r\nSelected=1\r\n[Object7]\r\nKind=78\r\nNumber=7\r\n");
  CScore score;
  Import(score, doc);
  EXPECT_EQ(score.UpperNumber, 41);
  EXPECT_EQ(score.SelectedCount, 1);  // kept consistent with the objects' flags
}

// Pasting keeps Numbers, so two objects may share one: each keeps its own
// section, and both come back.
TEST(ImportNumbers, ObjectsSharingANumberKeepSeparateSections) {
  CScore score;
  score.AddObject(std::make_unique<CNote>());
  auto text = std::make_unique<CXText>();
  text->text = "second";
  score.AddObject(std::move(text));
  score.GetObject(1)->Number = 0;
  score.InvalidateNumberIndex();
  IniFile doc = Export(score);
  EXPECT_EQ(SectionNames(doc), (std::vector<std::string>{"Score", "Object0", "Object0"}));

  CScore back;
  Import(back, doc);
  ASSERT_EQ(back.ObjectCount(), 2u);
  EXPECT_EQ(back.GetObject(0)->GetKind(), Kind::Note);
  auto* t = As<CXText>(back.GetObject(1));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->text, "second");
  EXPECT_EQ(t->Number, 0);
}

TEST(ImportTexts, LineBreaksAreEscapedInTheFileAndComeBack) {
  CScore score;
  auto text = std::make_unique<CXText>();
  text->text = "one\r\ntwo\\n\xD2\xF4";
  score.AddObject(std::move(text));
  const std::string saved = Export(score).SaveToText();
  EXPECT_NE(saved.find("\r\ntext=one\\r\\ntwo\\\\n\xD2\xF4\r\n"), std::string::npos);

  IniFile doc = Parse(saved);
  CScore back;
  Import(back, doc);
  ASSERT_EQ(back.ObjectCount(), 1u);
  EXPECT_EQ(As<CXText>(back.GetObject(0))->text, "one\r\ntwo\\n\xD2\xF4");
}

// The saved text without its UpperNumber line.
std::string WithoutUpperNumber(std::string text) {
  const size_t at = text.find("\r\nUpperNumber=");
  if (at != std::string::npos) text.erase(at, text.find("\r\n", at + 2) - at);
  return text;
}

// Random objects of every class (texts of every length and byte value),
// with the fields the binary form does not carry set as well, go to text,
// back, and to text again unchanged; graphics and combinations drop out.
TEST(ImportRoundTrip, RandomScoresOfEveryClass) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    CScore score;
    GenerateRandomScore(score, seed, 300);
    std::mt19937 rng(seed);
    size_t dropped = 0, selected = 0;
    for (const auto& up : score.Objects()) {
      CXObject* o = up.get();
      const int32_t r = static_cast<int32_t>(rng());
      if (auto* n = As<CNote>(o)) n->Start = r, n->PlayStart = r ^ 0x5555;
      if (auto* m = As<CMeasure>(o)) m->Start = r, m->Ticks = r ^ 0x5555, m->Tempo = r ^ 0x3333;
      if (auto* s = As<CStaff>(o)) s->Start = r, s->Ticks = r ^ 0x5555;
      if (auto* e = As<CEnding>(o)) e->StartMeasure = r, e->EndMeasure = r ^ 0x5555;
      const char kind = o->GetKind();
      if (kind == Kind::Graphics || kind == Kind::Combo) ++dropped;
      else if (o->Selected) ++selected;
    }
    ASSERT_GT(dropped, 0u);
    const std::string first = Export(score).SaveToText();

    IniFile doc = Parse(first);
    CScore back;
    Import(back, doc);
    EXPECT_EQ(back.ObjectCount(), score.ObjectCount() - dropped);
    EXPECT_EQ(back.SelectedCount, static_cast<int32_t>(selected));
    for (const auto& o : back.Objects()) {
      EXPECT_NE(o->GetKind(), Kind::Graphics);
      EXPECT_NE(o->GetKind(), Kind::Combo);
    }
    const std::string second = Export(back).SaveToText();
    EXPECT_EQ(WithoutUpperNumber(second), WithoutUpperNumber(first)) << "seed " << seed;
  }
}

TEST(Exports, NullArgumentsAreRefused) {
  CScore score;
  IniFile doc;
  EXPECT_EQ(scoreExportXML(nullptr, &doc), 0);
  EXPECT_EQ(scoreImportXML(&score, nullptr), 0);
  EXPECT_EQ(scoreExportXMLFile(nullptr, "x.q5t"), 0);
  EXPECT_EQ(getScoreVersion(), 0x03080000);
}

}  // namespace
