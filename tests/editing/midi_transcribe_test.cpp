// The MIDI import as a musician reads its result: written values by the
// meter, ties shown, chords on one stem, staves by range, rests and ends, the
// key, and nothing drawn over anything else.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "editing/recorder.h"
#include "model/score.h"
#include "performance/midi_file.h"
#include "performance/midi_sequence.h"
#include "edit_fixture.h"

namespace {

// code, dots, tuplet of each written value, in order.
std::vector<std::tuple<int64_t, int, int, int>> Values(int num, int den, int64_t start, int64_t end, bool rest = false,
                                                        std::vector<int64_t> triplets = {}) {
  std::vector<std::tuple<int64_t, int, int, int>> out;
  for (const WrittenValue& v : WrittenValues(240, num, den, 0, start, end, rest, triplets))
    out.emplace_back(v.Start, v.Code, v.Dots, v.Tuplet);
  return out;
}

using V = std::vector<std::tuple<int64_t, int, int, int>>;

TEST(WrittenValues, FollowTheBeatStructureOfTheMeter) {
  // 4/4 at 240 a quarter: a dotted quarter on the beat is one head ...
  EXPECT_EQ(Values(4, 4, 0, 360), (V{{0, 3, 1, 0}}));
  EXPECT_EQ(Values(4, 4, 480, 840), (V{{480, 3, 1, 0}}));
  // ... but not across the middle of the bar: quarter tied to an eighth.
  EXPECT_EQ(Values(4, 4, 240, 600), (V{{240, 3, 0, 0}, {480, 4, 0, 0}}));
  // A half from beat 2 is split at the middle, from beat 3 it is one head.
  EXPECT_EQ(Values(4, 4, 240, 720), (V{{240, 3, 0, 0}, {480, 3, 0, 0}}));
  EXPECT_EQ(Values(4, 4, 480, 960), (V{{480, 2, 0, 0}}));
  EXPECT_EQ(Values(4, 4, 0, 720), (V{{0, 2, 1, 0}}));
  // A syncopated quarter shows its beat; eighth + dotted quarter fills a half bar.
  EXPECT_EQ(Values(4, 4, 120, 360), (V{{120, 4, 0, 0}, {240, 4, 0, 0}}));
  EXPECT_EQ(Values(2, 4, 120, 480), (V{{120, 3, 1, 0}}));
  // 3/4: a half on beat 2 is one head; 6/8: 3 + 3, a quarter inside a beat is one head.
  EXPECT_EQ(Values(3, 4, 240, 720), (V{{240, 2, 0, 0}}));
  EXPECT_EQ(Values(6, 8, 0, 480), (V{{0, 3, 1, 0}, {360, 4, 0, 0}}));
  EXPECT_EQ(Values(6, 8, 120, 360), (V{{120, 3, 0, 0}}));
  EXPECT_EQ(Values(6, 8, 0, 720), (V{{0, 2, 1, 0}}));
  // Rests take no dots in simple time and fill beats: r4 r2 after a quarter.
  EXPECT_EQ(Values(4, 4, 240, 960, true), (V{{240, 3, 0, 0}, {480, 2, 0, 0}}));
  EXPECT_EQ(Values(4, 4, 0, 360, true), (V{{0, 3, 0, 0}, {240, 4, 0, 0}}));
  EXPECT_EQ(Values(6, 8, 360, 720, true), (V{{360, 3, 1, 0}}));
  // A triplet beat: thirds of a quarter are triplet eighths, two thirds a triplet quarter.
  EXPECT_EQ(Values(4, 4, 240, 320, false, {240}), (V{{240, 4, 0, 3}}));
  EXPECT_EQ(Values(4, 4, 240, 400, false, {240}), (V{{240, 3, 0, 3}}));
  // A note running out of a triplet beat into straight time is cut at the beat.
  EXPECT_EQ(Values(4, 4, 400, 720, false, {240}), (V{{400, 4, 0, 3}, {480, 3, 0, 0}}));
}

TEST(KeyEstimate, ScalesAndChordsOfAKeyFindIt) {
  auto weights = [](std::initializer_list<int> classes) {
    std::array<double, 12> w{};
    for (int c : classes) w[size_t(c)] += 1;
    w[size_t(*classes.begin())] += 2;  // the tonic stressed
    return w;
  };
  EXPECT_EQ(EstimateKey(weights({0, 2, 4, 5, 7, 9, 11, 0, 4, 7})), 0);   // C major
  EXPECT_EQ(EstimateKey(weights({5, 7, 9, 10, 0, 2, 4, 5, 9, 0})), -1);  // F major
  EXPECT_EQ(EstimateKey(weights({2, 4, 5, 7, 9, 10, 1, 2, 5, 9})), -1);  // D minor
  EXPECT_EQ(EstimateKey(weights({4, 6, 8, 9, 11, 1, 3, 4, 8, 11})), 4);  // E major
  EXPECT_EQ(EstimateKey(std::array<double, 12>{}), 0);
}

// A sequence of (start, end, key, channel) notes.
CMidiSequence Notes(std::initializer_list<std::tuple<int, int, int, int>> notes, int division = 240) {
  CMidiSequence seq;
  seq.Division = division;
  for (const auto& [on, off, key, channel] : notes) {
    seq.AddEvent(on, uint8_t(0x90 | channel), uint8_t(key), 90);
    seq.AddEvent(off, uint8_t(0x80 | channel), uint8_t(key), 0);
  }
  SortEvents(seq.Events);
  return seq;
}

struct Imported {
  CScore score;
  CRecorder recorder{score};
  std::vector<CNote*> notes, rests;
  std::vector<CSlurLine*> arcs;
  explicit Imported(const CMidiSequence& seq, MidiImportSettings settings = {}) {
    PrepareImportScore(score);
    ApplyImportSettings(recorder, settings);
    EXPECT_EQ(ImportSequence(recorder, seq), 1);
    for (const auto& up : score.Objects()) {
      if (up->KindCode() == Kind::Note) notes.push_back(static_cast<CNote*>(up.get()));
      if (up->KindCode() == Kind::Rest) rests.push_back(static_cast<CNote*>(up.get()));
      if (up->KindCode() == Kind::Slur) arcs.push_back(static_cast<CSlurLine*>(up.get()));
    }
    auto byStart = [](const CNote* a, const CNote* b) { return std::tie(a->Start, a->Key) < std::tie(b->Start, b->Key); };
    std::sort(notes.begin(), notes.end(), byStart);
    std::sort(rests.begin(), rests.end(), byStart);
  }
  std::vector<CNote*> At(int start) const {
    std::vector<CNote*> out;
    for (CNote* n : notes)
      if (n->Start == start) out.push_back(n);
    return out;
  }
  static int Dots(const CNote* n) { return (n->Style & NTS_DOUBLE_DOTTED) ? 2 : (n->Style & NTS_DOTTED) ? 1 : 0; }
  static bool Lower(const CNote* n) { return n->OwnerStave->OwnerStaff->Staves[1] == n->OwnerStave; }
};

TEST(MidiTranscription, APianoPieceReadsAsWritten) {
  // 4/4, one channel: a dotted quarter and an eighth, a C major chord, a
  // half from beat 2 (split and tied), a triplet, a low A1 and drums.
  CMidiSequence seq = Notes({
      {0, 360, 72, 0}, {360, 480, 74, 0},                                        // c''4. d''8
      {480, 960, 60, 0}, {480, 960, 64, 0}, {480, 960, 67, 0},                   // <c' e' g'>2
      {960, 1200, 76, 0}, {1200, 1680, 77, 0}, {1680, 1920, 79, 0},              // e''4 f''2 g''4 (f'' split)
      {1920, 2000, 72, 0}, {2000, 2080, 74, 0}, {2080, 2160, 76, 0}, {2160, 2880, 77, 0},  // triplet, f''4~ f''2
      {960, 1920, 33, 0},                                                        // A1, a whole note
      {0, 100, 36, 9}, {240, 340, 38, 9},                                        // drums
  });
  seq.AddTimeSignature(0, 4, 4, 24, 8);
  SortEvents(seq.Events);
  Imported im(seq);
  EXPECT_EQ(im.recorder.DrumNotes, 2);
  ASSERT_EQ(im.recorder.Measures.size(), 3u);  // the music's measures, no more
  EXPECT_EQ(im.recorder.Measures.back()->Value, 9);

  // One head with a dot for the dotted quarter.
  ASSERT_EQ(im.At(0).size(), 1u);
  EXPECT_EQ(im.At(0)[0]->DurationCode(), 3);
  EXPECT_EQ(Imported::Dots(im.At(0)[0]), 1);
  // The chord: one stem, one voice, Chord leader and members.
  const std::vector<CNote*> chord = im.At(480);
  ASSERT_EQ(chord.size(), 3u);
  for (CNote* n : chord) {
    EXPECT_FALSE(Imported::Lower(n));
    EXPECT_GE(n->Chord, 0);
    EXPECT_EQ(n->Chord, chord[0]->Chord);
    EXPECT_EQ(n->Voice, chord[0]->Voice);
    EXPECT_EQ(n->DurationCode(), 2);
  }
  EXPECT_EQ(std::count_if(chord.begin(), chord.end(), [](CNote* n) { return n->Stem != 0 && n->Chord == n->Number; }), 1);
  // The half from beat 2 of the second measure: quarter tied to quarter, an arc between them.
  const std::vector<CNote*> first = im.At(1200), second = im.At(1440);
  ASSERT_EQ(first.size(), 1u);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(first[0]->DurationCode(), 3);
  EXPECT_GE(first[0]->Tie, 0);
  EXPECT_EQ(second[0]->Tie, first[0]->Tie);
  EXPECT_TRUE(std::any_of(im.arcs.begin(), im.arcs.end(), [&](CSlurLine* s) {
    return s->NoteLink == first[0] && s->X1 > s->X && std::abs(s->X1 - second[0]->X) < 8;
  }));
  // Triplet eighths, then three beats: quarter tied to a half, not across the middle of the bar.
  for (int t : {1920, 2000, 2080}) {
    ASSERT_EQ(im.At(t).size(), 1u) << t;
    EXPECT_EQ(im.At(t)[0]->DurationCode(), 4);
    EXPECT_EQ(im.At(t)[0]->TupletCount(), 3);
    EXPECT_EQ(im.At(t)[0]->Ticks, 80);
  }
  ASSERT_EQ(im.At(2160).size(), 1u);
  ASSERT_EQ(im.At(2400).size(), 1u);
  EXPECT_EQ(im.At(2160)[0]->DurationCode(), 3);
  EXPECT_EQ(im.At(2400)[0]->DurationCode(), 2);
  EXPECT_EQ(im.At(2400)[0]->Tie, im.At(2160)[0]->Tie);

  // The low A on the bass stave, everything else on the treble stave; the
  // bass stave rests (a whole-measure rest) where it is silent.
  for (CNote* n : im.notes) EXPECT_EQ(Imported::Lower(n), n->Key == 33) << int(n->Key);
  const int bassRests = int(std::count_if(im.rests.begin(), im.rests.end(), [](CNote* r) {
    return Imported::Lower(r) && r->DurationCode() == 1;
  }));
  EXPECT_EQ(bassRests, 2);  // the first and the last measure
  // Playing is unchanged: starts and lengths of the chains are the file's.
  im.score.UpdateDerived();
  EXPECT_EQ(first[0]->Ticks + second[0]->Ticks, 480);
  EXPECT_TRUE(CheckStructure(im.score));
  EXPECT_TRUE(CheckLayout(im.score));
}

TEST(MidiTranscription, GridAndKeyComeFromTheFileUnlessForced) {
  // Sixteenths and a thirty-second pair: the grid follows them, no note is lost.
  std::vector<std::tuple<int, int, int, int>> list;
  const int keys[] = {65, 67, 69, 70, 72, 74, 76, 77, 76, 74, 72, 70, 69, 67, 65, 64};
  int t = 0;
  for (int i = 0; i < 16; ++i) {
    const int len = i < 2 ? 30 : 60;
    list.emplace_back(t, t + len, keys[i], 0);
    t += len;
  }
  CMidiSequence seq;
  seq.Division = 240;
  for (const auto& [on, off, key, channel] : list) {
    seq.AddEvent(on, 0x90, uint8_t(key), 90);
    seq.AddEvent(off, 0x80, uint8_t(key), 0);
  }
  SortEvents(seq.Events);
  {
    Imported im(seq);
    std::vector<int> starts;
    for (CNote* n : im.notes) starts.push_back(n->Start);
    std::vector<int> expected;
    for (const auto& e : list) expected.push_back(std::get<0>(e));
    EXPECT_EQ(starts, expected);
    EXPECT_EQ(im.notes[0]->DurationCode(), 6);
    // F major from the pitches: a flat key signature, B-flat no accidental.
    EXPECT_TRUE(im.recorder.KeyEstimated);
    ASSERT_FALSE(im.recorder.Keys.empty());
    EXPECT_EQ(im.recorder.Keys.front().second, 273);
  }
  {
    // A forced sixteenth grid merges the thirty-seconds' onsets onto it.
    MidiImportSettings forced;
    forced.AutoGrid = false;
    forced.Quantise = 4;
    Imported im(seq, forced);
    for (CNote* n : im.notes) EXPECT_EQ(n->Start % 60, 0);
  }
}

// Boxes as drawn: heads about 10 units wide around X, accidentals their
// glyph box, rests their box, bar lines where measures end.
struct Box {
  int L, T, R, B;
  bool Meets(const Box& o) const { return L < o.R && o.L < R && T < o.B && o.T < B; }
};

TEST(MidiTranscription, NothingIsDrawnOverAnythingElseInTheBenchPassages) {
  const char* data = std::getenv("QUAVIX_TEST_DATA");
  ASSERT_TRUE(data);
  const std::filesystem::path dir = std::filesystem::path(data) / ".." / ".." / "bench" / "transcription" / "passages";
  int passages = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".mid") continue;
    ++passages;
    const std::string name = entry.path().stem().string();
    CMidiSequence seq;
    ASSERT_EQ(ReadMidiFile(seq, entry.path().string()), 1) << name;
    Imported im(seq);
    im.score.AfterLoad();
    std::map<const CStave*, std::vector<std::pair<Box, const CXObject*>>> heads, accidentals, rests;
    for (const auto& up : im.score.Objects()) {
      const CXObject* o = up.get();
      if (o->KindCode() == Kind::Note) {
        auto* n = static_cast<const CNote*>(o);
        heads[n->OwnerStave].push_back({{n->X - 5, n->Y - 4, n->X + 5, n->Y + 4}, n});
      } else if (o->KindCode() == Kind::Rest) {
        auto* r = static_cast<const CNote*>(o);
        rests[r->OwnerStave].push_back({{r->Left, r->Top, r->Right, r->Bottom}, r});
      } else if (o->KindCode() == Kind::Mark && o->Value >= 1 && o->Value <= 3) {
        auto* m = static_cast<const CMark*>(o);
        accidentals[m->OwnerStave].push_back({{m->Left, m->Top, m->Right, m->Bottom}, m->NoteLink});
      }
    }
    for (const CStaff* system : im.score.Staffs)
      for (const CStave* stave : system->Staves) {
        std::vector<Box> bars;
        for (const CMeasure* m : system->Measures) bars.push_back({m->Right - 1, stave->Top, m->Right + 1, stave->Top + 32});
        auto check = [&](const auto& a, const auto& b, const char* what) {
          for (const auto& [x, ox] : a)
            for (const auto& [y, oy] : b) {
              if (ox == oy) continue;
              EXPECT_FALSE(x.Meets(y)) << name << ": " << what << " at x " << x.L << ", y " << x.T;
            }
        };
        const auto& h = heads[stave];
        const auto& a = accidentals[stave];
        const auto& r = rests[stave];
        for (const Box& bar : bars) {
          for (const auto& [box, o] : h) EXPECT_FALSE(box.Meets(bar)) << name << ": head on a bar line at x " << box.L;
          for (const auto& [box, o] : a) EXPECT_FALSE(box.Meets(bar)) << name << ": accidental on a bar line at x " << box.L;
          for (const auto& [box, o] : r) EXPECT_FALSE(box.Meets(bar)) << name << ": rest on a bar line at x " << box.L;
        }
        // Heads of a second in one chord stand on both sides of the stem, sharing its line.
        for (size_t i = 0; i < h.size(); ++i)
          for (size_t j = 0; j < h.size(); ++j) {
            auto* a = static_cast<const CNote*>(h[i].second);
            auto* b = static_cast<const CNote*>(h[j].second);
            if (i == j || !h[i].first.Meets(h[j].first)) continue;
            const bool second = a->Chord >= 0 && a->Chord == b->Chord && std::abs(a->Y - b->Y) <= 4;
            EXPECT_TRUE(second) << name << ": heads overlapping at x " << a->X << ", y " << a->Y;
          }
        check(a, h, "accidental over a head");
        check(r, h, "rest over a head");
        check(a, a, "accidentals overlapping");
      }
  }
  EXPECT_GE(passages, 10);
}

}  // namespace
