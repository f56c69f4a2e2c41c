#include "performance/measure_order.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "performance/midi_sequence.h"
#include "tests/model/score_fixture.h"

namespace {

// A one-system score from a bar string. Each token is one measure: its
// letter, then any of ":|" (closing barline ends a repeat), "|:" (it opens
// one), "[" / "]" (an ending bracket begins / ends here), "*DC", "*DS",
// "*Fine", "*%" (that word stands in the measure) and "*0" (zero length).
struct BarScore : SmallScore {
  std::vector<char> names;

  BarScore(const std::string& bars, const std::string& directive = "")
      : SmallScore(1, Count(bars), 100, 52, 52 + 100 * Count(bars)) {
    std::istringstream in(bars);
    std::string t;
    for (int i = 0; in >> t; ++i) {
      CMeasure* m = Measure(i);
      names.push_back(t[0]);
      auto has = [&](const char* s) { return t.find(s) != std::string::npos; };
      if (has(":|")) m->Value = 41;
      if (has("|:")) m->Value = 166;
      if (has("*0")) m->Style |= MEASURE_ZERO_LENGTH;
      const bool begins = has("["), ends = has("]");
      if (begins || ends) {
        auto e = std::make_unique<CEnding>();
        e->Style = (begins ? 0x10 : 0) | (ends ? 0x20 : 0);
        e->SetBounds(m->Left + 4, Stave(0)->Top - 20, m->Right - 4, Stave(0)->Top - 4);
        Attach(0, i, std::move(e));
      }
      const std::pair<const char*, const char*> words[] = {{"*DC", "D.C."}, {"*DS", "D.S."}, {"*Fine", "Fine"}, {"*%", "%"}};
      for (const auto& [key, word] : words)
        if (has(key)) Text(m->Left + 30, Stave(0)->Top - 30, word, 0, i);
    }
    if (!directive.empty()) Text(60, 20, directive.c_str(), 0, 0);
    Update();
    ResolveRepeatWords(score);
  }
  static int Count(const std::string& bars) {
    std::istringstream in(bars);
    std::string t;
    int n = 0;
    while (in >> t) ++n;
    return n;
  }

  // What is heard: a text named after each measure at its start, mapped
  // through the order, read back in performance order.
  std::string Played() {
    std::vector<CMeasure*> order;
    if (ParseSequenceDirective(score, order) <= 0) ComputeMeasureOrder(ScoreMeasures(score), order);
    CMidiSequence seq;
    for (size_t i = 0; i < names.size(); ++i)
      if (Measure(int(i))->Ticks) seq.AddText(Measure(int(i))->Start, std::string(1, names[i]));
    ApplyMeasureOrder(order, seq);
    std::string out;
    for (const MidiEventRec& e : seq.Events) {
      if (!out.empty()) out += ' ';
      out += e.Text();
    }
    return out;
  }
};

struct OrderCase {
  const char* name;
  const char* bars;
  const char* directive;
  const char* played;
};

const OrderCase kOrderCases[] = {
    {"plain", "A B C", "", "A B C"},
    {"zero-length measure is never played", "A B*0 C", "", "A C"},
    {"simple repeat", "A B:|", "", "A B A B"},
    {"single measure repeat", "A:| B", "", "A A B"},
    {"two sections", "A|: B:| C|: D:|", "", "A B B C D D"},
    {"nested repeat", "A|: B:| C:|", "", "A B B C A B B C"},
    {"doubly opened sections", "A|: B|: C:| D:|", "", "A B C C D B C C D"},
    {"first ending of one measure", "A B[]:| C[]", "", "A B A C"},
    {"first ending of two measures", "A B[ C]:| D[]", "", "A B C A D"},
    {"endings of an earlier repeat do not cut a later one", "A B[]:| C[]|: D E:|", "", "A B A C D E D E"},
    {"D.C. al Fine", "A*Fine B*DC", "", "A B A"},
    {"D.C. al Fine, then the rest", "A B*Fine C*DC D", "", "A B C A B D"},
    {"D.S. al Fine", "A*% B*Fine C*DS", "", "A B C B"},
    {"D.S. without segno starts at the top", "A B*Fine C*DS", "", "A B C A B"},
    {"D.C. without Fine adds nothing", "A B*DC C", "", "A B C"},
    {"D.S. without Fine adds nothing", "A*% B C*DS D", "", "A B C D"},
    {"repeats act again inside a D.C. replay", "A:| B*Fine C*DC", "", "A A B C A A B"},
    {"repeat and D.C. on one measure: repeat first, one jump", "A*Fine B:|*DC C", "", "A B A B A C"},
    {"sequence with ranges", "A B C D", "#sequence:1-2,1,4", "A B A D"},
    {"reversed range plays its first number", "A B C D E", "#sequence:5-3", "E"},
    {"empty sequence plays nothing", "A B C", "#sequence:", ""},
    {"sequence overrides repeats and words", "A*Fine B:|*DC", "#sequence:2,1", "B A"},
    {"sequence counts playable measures only", "A B*0 C", "#sequence:2,1", "C A"},
    {"sequence skips numbers out of range", "A B C", "#sequence:0,-2,9,2,3-,1", "B C A"},
    {"huge range is bounded by the measures", "A B", "#sequence:1-2000000000", "A B"},
    // The list is read from the text's eleventh character, wherever the key stands.
    {"sequence read after the tenth character", "A B C", "x #sequence:2,1", "A"},
};

class PlaybackOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(PlaybackOrder, PlaysMeasuresInOrder) {
  BarScore s(GetParam().bars, GetParam().directive);
  EXPECT_EQ(s.Played(), GetParam().played) << GetParam().bars << "  " << GetParam().directive;
  // The passes restore every bit they clear; a second build hears the same.
  EXPECT_EQ(s.Played(), GetParam().played);
}

INSTANTIATE_TEST_SUITE_P(Cases, PlaybackOrder, testing::ValuesIn(kOrderCases), [](const auto& info) {
  std::string n;
  for (char c : std::string(info.param.name)) n += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return n;
});

TEST(RepeatWords, RolesAndFlagsFollowTheTexts) {
  SmallScore s(1, 3, 100, 52, 352);
  CXText* dc = s.Text(s.Measure(1)->Left + 20, 60, "D.C. al Fine", 0, 1);
  CXText* lower = s.Text(s.Measure(0)->Left + 20, 60, "fine", 0, 0);
  CXText* segno = s.Text(900, 60, "%", 0, 0);  // right of every measure
  CXText* kept = s.Text(s.Measure(0)->Left + 20, 60, "Da capo", 0, 0);
  kept->Value = TEXT_ROLE_FINE;  // a role once given stays with its text
  auto vm = std::make_unique<CVisualMidi>();
  vm->text = "Fine";
  vm->Value = 0x7F40B0;
  vm->SetBounds(s.Measure(2)->Left + 20, 60, s.Measure(2)->Left + 28, 68);
  CVisualMidi* visual = s.Attach(0, 2, std::move(vm));
  s.Update();
  ResolveRepeatWords(s.score);
  EXPECT_EQ(dc->Value, TEXT_ROLE_DC);
  EXPECT_EQ(segno->Value, TEXT_ROLE_SEGNO);
  EXPECT_NE(lower->Value, TEXT_ROLE_FINE);
  EXPECT_EQ(visual->Value, 0x7F40B0);  // its value is a MIDI instruction
  const int32_t words = MEASURE_DC | MEASURE_DS | MEASURE_SEGNO | MEASURE_FINE;
  EXPECT_EQ(s.Measure(0)->Style & words, MEASURE_FINE);
  EXPECT_EQ(s.Measure(1)->Style & words, MEASURE_DC);
  EXPECT_EQ(s.Measure(2)->Style & words, MEASURE_SEGNO);
}

TEST(RepeatWords, MarkTheMeasureOfTheirOwnSystem) {
  SmallScore s(1, 2, 100, 52, 252);
  auto second = std::make_unique<CStaff>();
  CStaff* lower = second.get();
  lower->SetBounds(52, 300, 252, 332);
  s.score.AddObject(std::move(second));
  s.score.Staffs.push_back(lower);
  CStave* stave = s.score.MakeStave(lower, 300);
  s.score.MakeMeasure(lower, 152)->Left = 52;
  CMeasure* last = s.score.MakeMeasure(lower, 252);
  auto t = std::make_unique<CXText>();
  t->text = "D.C.";
  t->SetBounds(last->Left + 20, 280, last->Left + 40, 292);
  s.score.AddAttachedObject(stave, last, std::move(t));
  s.Update();
  ResolveRepeatWords(s.score);
  EXPECT_EQ(last->Style & MEASURE_DC, MEASURE_DC);
  EXPECT_EQ(s.Measure(1)->Style & MEASURE_DC, 0);
}

struct TempoCase {
  const char* text;
  std::vector<std::pair<int, int>> events;  // tick, tempo
};

TEST(TempoDirective, EveryEntryEndsWithASemicolon) {
  const TempoCase cases[] = {
      {"#tempo:0,500000;960,400000", {{0, 500000}}},
      {"#tempo:0,500000;960,400000;", {{0, 500000}, {960, 400000}}},
      {"#tempo:960, 400000;", {{960, 400000}}},
      {"#tempo: 960 ,400000;480,;x;", {}},
      // Tempos the play clock cannot run at, or three bytes cannot hold.
      {"#tempo:100,0;200,-5;300,239;400,240;500,16777216;", {{400, 240}}},
      {"tempo #tempo:0,500000;", {{0, 300000}}},  // not a directive: the next text is
  };
  for (const TempoCase& c : cases) {
    SmallScore s(1, 1);
    s.Text(60, 20, c.text);
    s.Text(60, 40, "#tempo:0,300000;");  // only the first directive counts
    CMidiSequence seq;
    ParseTempoDirective(s.score, seq);
    std::vector<std::pair<int, int>> got;
    for (const MidiEventRec& e : seq.Events) {
      ASSERT_EQ(e.Data1, META_TEMPO);
      got.emplace_back(e.Tick, e.Data[0] << 16 | e.Data[1] << 8 | e.Data[2]);
    }
    EXPECT_EQ(got, c.events) << c.text;
  }
}

TEST(MeasureOrder, RunawayNestingStopsAtTheLimit) {
  // Every barline ends a repeat: each one doubles everything before it.
  std::string bars;
  for (int i = 0; i < 40; ++i) bars += std::string(1, char('A' + i % 26)) + ":| ";
  BarScore s(bars);
  std::vector<CMeasure*> order;
  ComputeMeasureOrder(ScoreMeasures(s.score), order);
  EXPECT_GE(order.size(), kMaxMeasureOrder);
  EXPECT_LE(order.size(), kMaxMeasureOrder + 64);
}

}  // namespace
