// Score text export: section order, the settings and table sections, and
// every object class's keys in order with their values. Expected sections
// are written out here from the documented layout.
#include <functional>
#include <type_traits>

#include "tests/exchange/exchange_test_util.h"

namespace {

TEST(ExportLayout, NewDocumentSectionOrder) {
  CScore score;
  score.ResetDefaultTables();
  score.AddObject(std::make_unique<CStaff>());      // 0
  score.AddObject(std::make_unique<CXGraphics>());  // 1: no text form
  score.AddObject(std::make_unique<CNote>());       // 2
  score.AddObject(std::make_unique<CXCombo>());     // 3: no text form
  score.AddObject(std::make_unique<CRest>());       // 4
  score.GetObject(2)->Number = 42;                  // sections are named by Number, not index
  score.InvalidateNumberIndex();

  IniFile doc = Export(score);
  std::vector<std::string> expected = {"Score"};
  for (int i = 0; i < 8; ++i) expected.push_back("Layer" + std::to_string(i));
  expected.push_back("Pen0");
  for (int i = 0; i < 8; ++i) expected.push_back("Font" + std::to_string(i));
  for (const char* o : {"Object0", "Object42", "Object4"}) expected.push_back(o);
  EXPECT_EQ(SectionNames(doc), expected);

  // Exporting empties the document first.
  EXPECT_EQ(scoreExportXML(&score, &doc), 1);
  EXPECT_EQ(SectionNames(doc), expected);
}

TEST(ExportLayout, ScoreSectionKeysAndValues) {
  CScore score;
  score.Version = 0x01020304;
  score.PaperWidth = 601;
  score.PaperHeight = 802;
  score.LeftMargin = 53;
  score.TopMargin = -54;
  score.StaveSpace = 69;
  score.SystemSpace = 41;
  score.LineSpace = 9;
  score.TimeBase = 480;
  score.Tempo = 500000;
  score.Numerator = -3;
  score.Denominator = 8;
  score.Layer = 2;
  score.Font = -1;
  score.Voice = 127;
  score.SnapRadius = 6;
  score.UpperNumber = 12345;
  const Pairs expected = {{"FileType", "Score"},  {"Version", "1.2.3.4"},    {"PaperWidth", "601"},
                          {"PaperHeight", "802"}, {"LeftMargin", "53"},      {"TopMargin", "-54"},
                          {"StaveSpace", "69"},   {"SystemSpace", "41"},     {"LineSpace", "9"},
                          {"TimeBase", "480"},    {"Tempo", "500000"},       {"Numerator", "-3"},
                          {"Denominator", "8"},   {"Layer", "2"},            {"Font", "-1"},
                          {"Voice", "127"},       {"SnapRadius", "6"},       {"UpperNumber", "12345"}};
  EXPECT_EQ(EntriesOf(Export(score), "Score"), expected);

  score.Version = kScoreVersion;
  EXPECT_EQ(EntriesOf(Export(score), "Score")[1], (std::pair<std::string, std::string>("Version", "3.8.0.0")));
}

TEST(ExportLayout, TableSectionsAndFontBytes) {
  CScore score;
  score.Layers = {{0x00FF00, 3}};
  score.Pens = {LogPen{5, 2, 3, 0xFF0000FFu}};
  LogFont f;
  f.Height = -25;
  f.Width = 7;
  f.Escapement = 900;  // not exchanged
  f.Orientation = 450;
  f.Weight = 700;
  f.Italic = 255;
  f.Underline = 1;
  f.StrikeOut = 128;
  f.CharSet = 134;
  f.OutPrecision = 3;
  f.ClipPrecision = 2;
  f.Quality = 200;
  f.PitchAndFamily = 49;
  f.SetFace("\xCB\xCE\xCC\xE5");  // GBK bytes, kept as they are
  score.Fonts = {f};

  IniFile doc = Export(score);
  EXPECT_EQ(EntriesOf(doc, "Layer0"), (Pairs{{"Style", "3"}, {"Color", "65280"}}));
  EXPECT_EQ(EntriesOf(doc, "Pen0"), (Pairs{{"Color", "-16776961"}, {"Style", "5"}, {"WidthX", "2"}, {"WidthY", "3"}}));
  // Font bytes are written 0..255, unlike every other 8-bit field.
  const Pairs font = {{"CharSet", "134"},   {"FaceName", "\xCB\xCE\xCC\xE5"}, {"ClipPrecision", "2"},
                      {"Height", "-25"},    {"Italic", "255"},                {"Orientation", "450"},
                      {"OutPricision", "3"}, {"PitchAndFamily", "49"},         {"Quality", "200"},
                      {"StrikeOut", "128"}, {"UnderLine", "1"},               {"Weight", "700"},
                      {"Width", "7"}};
  EXPECT_EQ(EntriesOf(doc, "Font0"), font);
}

// One object of every class with a text form, its fields set to distinct
// values, and the section it must give.
struct ClassCase {
  std::unique_ptr<CXObject> object;
  Pairs expected;
};

Pairs Head(const char* kind, const char* name, bool staveObject) {
  Pairs p = {{"Kind", kind},  {"KindName", name}, {"Number", "0"},   {"Value", "101"},   {"Style", "-102"},
             {"Left", "103"}, {"Top", "104"},     {"Right", "105"}, {"Bottom", "106"}, {"Layer", "-7"},
             {"Selected", "1"}};
  if (staveObject) p = Concat(p, {{"Stave", "107"}, {"Measure", "-1"}});
  return p;
}

template <typename T>
ClassCase Make(const char* kind, const char* name, const std::function<Pairs(T&)>& fill) {
  auto o = std::make_unique<T>();
  o->Value = 101;
  o->Style = -102;
  o->Left = 103;
  o->Top = 104;
  o->Right = 105;
  o->Bottom = 106;
  o->Layer = -7;
  o->Selected = 1;
  constexpr bool staveObject = std::is_base_of_v<CStaveObject, T>;
  if constexpr (staveObject) {
    o->Stave = 107;
    o->Measure = -1;
  }
  Pairs own = fill(*o);
  return {std::move(o), Concat(Head(kind, name, staveObject), own)};
}

template <typename T>
Pairs Word(T& w) {
  w.X = 201;
  w.Y = -202;
  return {{"X", "201"}, {"Y", "-202"}};
}

template <typename T>
Pairs MarkOf(T& m) {
  m.Note = 203;
  return Concat(Word(m), {{"Note", "203"}});
}

Pairs NoteFields(CNote& n) {
  n.Key = 200;  // 8-bit fields are written sign-extended
  n.dy = -9;
  n.Head = 3;
  n.Channel = -2;
  n.Chord = 31;
  n.PlayStart = 32;
  n.PlayTicks = 33;
  n.Start = 34;
  n.Ticks = 35;
  n.Tie = -1;
  n.Stem = -1;
  n.Tail = 2;
  n.Velocity = 255;
  n.Voice = 5;
  return Concat(Word(n), {{"Key", "-56"},      {"dy", "-9"},       {"Head", "3"},     {"Channel", "-2"},
                          {"Chord", "31"},     {"PlayStart", "32"}, {"PlayTicks", "33"}, {"Start", "34"},
                          {"Ticks", "35"},     {"Tie", "-1"},      {"Stem", "-1"},    {"Tail", "2"},
                          {"Velocity", "-1"},  {"Voice", "5"}});
}

template <typename T>
Pairs TextFields(T& t) {
  t.Font = 3;
  t.text = "\xD2\xF4\xB7\xFB";  // GBK
  return {{"Font", "3"}, {"text", "\xD2\xF4\xB7\xFB"}};
}

std::vector<ClassCase> AllClasses() {
  std::vector<ClassCase> c;
  c.push_back(Make<CXObject>("79", "CXObject", [](CXObject&) { return Pairs{}; }));
  c.push_back(Make<CSign>("71", "CSign", [](CSign& s) { return Word(s); }));
  c.push_back(Make<CMark>("77", "CMark", [](CMark& m) { return MarkOf(m); }));
  c.push_back(Make<CBeam>("72", "CBeam", [](CBeam& b) {
    b.X1 = 204;
    b.Y1 = 205;
    return Concat(MarkOf(b), {{"X1", "204"}, {"Y1", "205"}});
  }));
  c.push_back(Make<CSlurLine>("83", "CSlurLine", [](CSlurLine& s) {
    s.X1 = 204;
    s.Y1 = 205;
    s.X2 = 206;
    s.Y2 = 207;
    return Concat(MarkOf(s), {{"X1", "204"}, {"Y1", "205"}, {"X2", "206"}, {"Y2", "207"}});
  }));
  c.push_back(Make<CNote>("78", "CNote", [](CNote& n) { return NoteFields(n); }));
  c.push_back(Make<CRest>("82", "CRest", [](CRest& r) { return NoteFields(r); }));
  c.push_back(Make<COctaveLine>("56", "COctaveLine", [](COctaveLine&) { return Pairs{}; }));
  c.push_back(Make<CBracket>("123", "CBracket", [](CBracket&) { return Pairs{}; }));
  c.push_back(Make<CEnding>("69", "CEnding", [](CEnding& e) {
    e.EndMeasure = 9;
    e.StartMeasure = 8;
    return Pairs{{"EndMeasure", "9"}, {"StartMeasure", "8"}};
  }));
  // Never set, the ending's measures still hold a defined value.
  c.push_back(Make<CEnding>("69", "CEnding", [](CEnding&) { return Pairs{{"EndMeasure", "0"}, {"StartMeasure", "0"}}; }));
  c.push_back(Make<CXText>("88", "CXText", [](CXText& t) { return TextFields(t); }));
  c.push_back(Make<CAngleText>("97", "Undefined", [](CAngleText& a) {
    a.Escapement = 900;
    a.Orientation = -900;
    return Concat(TextFields(a), {{"Escapement", "900"}, {"Orientation", "-900"}});
  }));
  c.push_back(Make<CVisualMidi>("118", "CVisualMidi", [](CVisualMidi& v) {
    v.Start = 480;
    return Concat(TextFields(v), {{"Start", "480"}});
  }));
  c.push_back(Make<CXLink>("108", "CXLink", [](CXLink& l) {
    l.href = "http://example.org/";
    l.Font = 2;
    l.text = "link";
    return Pairs{{"href", "http://example.org/"}, {"Font", "2"}, {"text", "link"}};
  }));
  c.push_back(Make<CXImage>("73", "CXImage", [](CXImage& i) {
    i.href = "h";
    i.source = "pic.png";
    i.title = "";
    return Pairs{{"href", "h"}, {"source", "pic.png"}, {"title", ""}};
  }));
  c.push_back(Make<CXLine>("76", "CXLine", [](CXLine& l) {
    l.Pen = 2;
    l.X = 301;
    l.Y = 302;
    l.X1 = 303;
    l.Y1 = 304;
    return Pairs{{"Pen", "2"}, {"X", "301"}, {"Y", "302"}, {"X1", "303"}, {"Y1", "304"}};
  }));
  c.push_back(Make<CStave>("84", "CStave", [](CStave& s) {
    s.Channel = 9;
    s.LineSpace = 10;
    s.Patch = 255;
    s.Staff = 11;
    s.Voice = 12;
    return Pairs{{"Channel", "9"}, {"LineSpace", "10"}, {"Patch", "-1"}, {"Staff", "11"}, {"Voice", "12"}};
  }));
  c.push_back(Make<CStaff>("115", "CStaff", [](CStaff& s) {
    s.Start = 13;
    s.Ticks = 14;
    s.Spacing = 64;
    return Pairs{{"Start", "13"}, {"Ticks", "14"}, {"Spacing", "64"}};
  }));
  c.push_back(Make<CMeasure>("86", "CMeasure", [](CMeasure& m) {
    m.Denominator = 8;
    m.Numerator = 6;
    m.Staff = 15;
    m.Start = 16;
    m.Tempo = 500000;
    m.Ticks = 17;
    m.LeftMargin = 200;
    m.RightMargin = 4;
    m.LeftPadding = 130;
    m.RightPadding = 5;
    return Pairs{{"Denominator", "8"},    {"Numerator", "6"},     {"Staff", "15"},       {"Start", "16"},
                 {"Tempo", "500000"},     {"Ticks", "17"},        {"LeftMargin", "-56"}, {"RightMargin", "4"},
                 {"LeftPadding", "-126"}, {"RightPadding", "5"}};
  }));
  return c;
}

TEST(ExportLayout, EveryClassWritesItsKeysInOrder) {
  for (ClassCase& c : AllClasses()) {
    CScore score;
    score.AddObject(std::move(c.object));
    const std::string kindName = c.expected[1].second;
    EXPECT_EQ(EntriesOf(Export(score), "Object0"), c.expected) << kindName;
  }
}

// Unsigned 8-bit fields go out sign-extended and come back whole.
TEST(ExportLayout, PatchMinusOneReadsBackAs255) {
  CScore score;
  auto stave = std::make_unique<CStave>();
  stave->Patch = 255;
  score.AddObject(std::move(stave));
  IniFile doc = Export(score);
  EXPECT_EQ(*doc.GetValue("Object0", "Patch"), "-1");
  CScore back;
  Import(back, doc);
  ASSERT_EQ(back.ObjectCount(), 1u);
  EXPECT_EQ(As<CStave>(back.GetObject(0))->Patch, 255);
}

}  // namespace
