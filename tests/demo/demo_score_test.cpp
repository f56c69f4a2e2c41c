// The demo score: the file the build writes from res/demo/minuet.txt, read as
// the editor opens it, against its source; and the notation's dots, chords,
// ties, rests, spelling and refusals on a small piece.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "common/file_util.h"
#include "common/gbk.h"
#include "model/score.h"
#include "model/score_open.h"
#include "performance/build_performance.h"
#include "performance/midi_sequence.h"
#include "tools/demo/demo_score.h"

namespace {

template <typename T>
std::vector<T*> All(const CScore& score, char kind) {
  std::vector<T*> out;
  for (const auto& up : score.Objects())
    if (up->KindCode() == kind) out.push_back(static_cast<T*>(up.get()));
  return out;
}

// (tick, key) of every note the performance strikes, in time order.
std::vector<std::pair<int, int>> Struck(CScore& score) {
  CMidiSequence sequence;
  BuildPerformance(score, sequence);
  std::vector<std::pair<int, int>> out;
  for (const MidiEventRec& e : sequence.Events)
    if (e.IsNoteOn() && e.Data2 > 0 && e.Tag == 0) out.emplace_back(e.Tick, e.Data1);
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::pair<int, int>> Expected(const DemoPiece& piece, int offset = 0) {
  std::vector<std::pair<int, int>> out;
  for (const DemoOnset& o : DemoOnsets(piece)) out.emplace_back(o.Tick + offset, o.Key);
  return out;
}

std::vector<std::string> Texts(const CScore& score) {
  std::vector<std::string> out;
  for (CXText* t : All<CXText>(score, Kind::Text)) out.push_back(qx::GbkToUtf8Lossy(t->text));
  return out;
}

TEST(DemoScore, BuiltMinuetShowsAndPlaysItsSource) {
  std::string text, error;
  ASSERT_TRUE(qx::ReadWholeFile(QUAVIX_DEMO_SOURCE, text, &error)) << error;
  DemoPiece piece;
  ASSERT_TRUE(ParseDemo(text, piece, &error)) << error;
  ASSERT_EQ(piece.Measures.size(), 16u);
  CScore score;
  ASSERT_TRUE(OpenScoreFile(score, QUAVIX_DEMO_SCORE, &error)) << error;

  // Four systems of four measures, each a treble and a bass stave with the
  // key of G; the time signature opens the piece.
  ASSERT_EQ(score.Staffs.size(), 4u);
  std::vector<CMeasure*> measures;
  for (CStaff* system : score.Staffs) {
    ASSERT_EQ(system->Staves.size(), 2u);
    ASSERT_EQ(system->Measures.size(), 4u);
    measures.insert(measures.end(), system->Measures.begin(), system->Measures.end());
    for (size_t s = 0; s < 2; ++s) {
      std::multiset<std::pair<int, int>> signs;  // style, value
      for (CStaveObject* o : system->Staves[s]->Attached)
        if (o->KindCode() == Kind::Sign) signs.emplace(o->Style, o->Value);
      std::multiset<std::pair<int, int>> want{{SIGN_CLEF, int(s)}, {SIGN_KEY, 257}};
      if (system == score.Staffs.front()) want.emplace(SIGN_TIME, 3 | 4 << 8);
      EXPECT_EQ(signs, want) << "system " << system->Number << " stave " << s;
    }
  }
  EXPECT_EQ(measures.back()->Value, 41);  // the end of the repeat

  // Every stave of every measure holds the source's notes at their times,
  // and exactly fills its measure.
  for (size_t i = 0; i < measures.size(); ++i) {
    const CMeasure* m = measures[i];
    for (size_t s = 0; s < 2; ++s) {
      std::vector<std::tuple<int, int, int>> want, got;
      int offset = 0;
      for (const DemoNote& n : piece.Measures[i].Staves[s]) {
        for (int key : n.Keys) want.emplace_back(offset, key, n.Ticks);
        offset += n.Ticks;
      }
      int filled = 0;
      for (CStaveObject* o : m->OwnerStaff->Staves[s]->Attached) {
        auto* n = As<CNote>(o);
        if (!n || n->OwnerMeasure != m) continue;
        if (n->KindCode() == Kind::Note) {
          got.emplace_back(n->Start - m->Start, n->Key, n->Ticks);
          // No accidental in this piece: every pitch is read from the head's place.
          EXPECT_TRUE(n->Style & NTS_UPDATE_KEY);
        }
        if (n->Chord < 0 || n->Chord == n->Number) filled += n->Ticks;
      }
      std::sort(want.begin(), want.end());
      std::sort(got.begin(), got.end());
      EXPECT_EQ(got, want) << "measure " << i + 1 << " stave " << s;
      EXPECT_EQ(filled, m->Ticks) << "measure " << i + 1 << " stave " << s;
    }
  }

  // Eighths are beamed, and a beam never reaches past its beat.
  std::map<const CNote*, int> beamsOver;
  for (CBeam* b : All<CBeam>(score, Kind::Beam)) {
    std::set<std::pair<const CMeasure*, int>> beats;
    for (CStaveObject* o : b->OwnerStave->Attached)
      if (auto* n = As<CNote>(o); n && n->KindCode() == Kind::Note && n->X >= std::min(b->X, b->X1) - 6 &&
                                  n->X <= std::max(b->X, b->X1) + 6) {
        // A beam's ends stand on stems, 4 units either side of the heads' X.
        beats.emplace(n->OwnerMeasure, (n->Start - n->OwnerMeasure->Start) / score.TimeBase);
        ++beamsOver[n];
      }
    EXPECT_EQ(beats.size(), 1u) << "beam at " << b->X << "," << b->Y;
  }
  for (CNote* n : All<CNote>(score, Kind::Note))
    if (n->DurationCode() == 4) {
      EXPECT_EQ(beamsOver[n], 1) << "eighth at " << n->X << "," << n->Y;
    }

  // Title, subtitle, composer and the tempo word, which sets the tempo.
  const std::vector<std::string> texts = Texts(score);
  for (const std::string& want : {piece.Title, piece.Subtitle, piece.Composer, piece.TempoWord})
    EXPECT_NE(std::find(texts.begin(), texts.end(), want), texts.end()) << want;
  EXPECT_EQ(score.Tempo, 625000);

  // Systems follow one another down the page, none across a page break.
  int previousBottom = 0;
  for (CStaff* system : score.Staffs) {
    EXPECT_GT(system->Top, previousBottom);
    EXPECT_EQ(system->Top / score.PaperHeight, (system->Bottom - 1) / score.PaperHeight);
    previousBottom = system->Bottom;
  }
  EXPECT_LE(score.Staffs.back()->Bottom, score.PaperHeight);

  // The performance plays the part twice, as written.
  const std::vector<std::pair<int, int>> struck = Struck(score);
  const std::vector<std::pair<int, int>> once = Expected(piece);
  const std::vector<std::pair<int, int>> again = Expected(piece, 16 * 720);
  ASSERT_EQ(struck.size(), 2 * once.size());
  EXPECT_EQ(std::vector(struck.begin(), struck.begin() + long(once.size())), once);
  EXPECT_EQ(std::vector(struck.begin() + long(once.size()), struck.end()), again);
}

TEST(DemoScore, NotationOfDotsChordsTiesRestsAndSpelling) {
  const std::string head = "title T\nkey F\ntime 4/4\nsystems 2\n";
  const std::string body =
      "measure 1\n"
      "  upper \\p a4/4. bb4/8 <c5 e5>/2~\n"
      "  lower f3/2 r/4 c3~\n"
      "measure 2\n"
      "  upper <c5 e5>/8 r b4/4.. e5/16 f#5/4\n"
      "  lower c3/2. r/4\n"
      "measure 3 ||\n"
      "  upper R\n"
      "  lower <f2 c3>/2. r/4\n";
  DemoPiece piece;
  std::string error;
  ASSERT_TRUE(ParseDemo(head + body, piece, &error)) << error;
  CScore score;
  ASSERT_TRUE(BuildDemoScore(piece, score, &error)) << error;

  // Ties join their notes into one sounding note; the rest sound nothing.
  const std::vector<DemoOnset> onsets = DemoOnsets(piece);
  EXPECT_NE(std::find(onsets.begin(), onsets.end(), DemoOnset{480, 76, 600}), onsets.end());
  EXPECT_NE(std::find(onsets.begin(), onsets.end(), DemoOnset{720, 48, 960}), onsets.end());
  EXPECT_EQ(Struck(score), Expected(piece));

  // Dots as written: one each on the dotted quarter, the dotted half and the
  // dotted chord's two heads, two on the double-dotted quarter.
  int dotted = 0, doubleDotted = 0;
  for (CNote* n : All<CNote>(score, Kind::Note)) {
    dotted += (n->Style & NTS_DOTTED) != 0;
    doubleDotted += (n->Style & NTS_DOUBLE_DOTTED) != 0;
  }
  EXPECT_EQ(dotted, 4);
  EXPECT_EQ(doubleDotted, 1);
  // The chords' heads share their leader; the tied pairs are chained.
  std::map<int, int> chordSizes, tieSizes;
  for (CNote* n : All<CNote>(score, Kind::Note)) {
    if (n->Chord >= 0) ++chordSizes[n->Chord];
    if (n->Tie >= 0) ++tieSizes[n->Tie];
  }
  EXPECT_EQ(chordSizes.size(), 3u);
  EXPECT_EQ(tieSizes.size(), 3u);  // c5, e5 and c3
  EXPECT_EQ(All<CSlurLine>(score, Kind::Slur).size(), 3u);

  // Accidentals against the key of F: a natural on b4, a sharp on f#5 (on
  // the F line, not written as g flat); b flat and the tied c3 need none.
  std::multiset<int> accidentals;
  for (CMark* m : All<CMark>(score, Kind::Mark))
    if (m->Value >= 1 && m->Value <= 3) {
      accidentals.insert(m->Value);
      auto* n = As<CNote>(m->NoteLink);
      ASSERT_NE(n, nullptr);
      EXPECT_EQ(n->Key, m->Value == 2 ? 78 : 71);
      if (m->Value == 2) {
        EXPECT_EQ(n->Y, n->OwnerStave->Top);
      }
    }
  EXPECT_EQ(accidentals, (std::multiset<int>{2, 3}));

  // The measure rest fills its 4/4 measure; the piece ends on a double bar.
  std::vector<CRest*> rests = All<CRest>(score, Kind::Rest);
  EXPECT_EQ(std::count_if(rests.begin(), rests.end(), [](CRest* r) { return r->DurationCode() == 1 && r->Ticks == 960; }), 1);
  EXPECT_EQ(score.Staffs.back()->Measures.back()->Value, 5);

  // What is refused, and where.
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"measure 1\n  upper c5/2 d5/2 e5/4\n  lower R\n", "line 6: measure 1, upper stave: 1200 ticks"},
      {"measure 1\n  upper h4/1\n  lower R\n", "line 6: bad pitch 'h4'"},
      {"measure 1\n  upper c5/2~ d5/2\n  lower R\n", "line 6: a tie joins notes of the same pitches"},
      {"measure 2\n", "line 5: measures are numbered"},
      {"measure 1\n  upper c5/3\n", "line 6: bad duration /3"},
      {"measure 1\n  upper R\n  lower R\nkey D\n", "line 8: 'key' belongs in the header"},
      {"measure 1\n  upper <c5 c5>/1\n  lower R\n", "line 6: a chord holds a pitch"},
  };
  for (const auto& [source, why] : refused) {
    EXPECT_FALSE(ParseDemo(head + source, piece, &error)) << source;
    EXPECT_EQ(error.rfind(why, 0), 0u) << error;
  }
}

}  // namespace
