// The recorder and the MIDI import: quantising, voices, rests, bar-line
// splits, time and key signatures, a round trip through the MIDI export, and
// input a hostile file may carry.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <tuple>
#include <vector>

#include "editing/recorder.h"
#include "edit_fixture.h"
#include "performance/build_performance.h"
#include "performance/midi_file.h"
#include "performance/midi_sequence.h"

namespace {

// An empty score and a recorder on it, reset as a recording starts.
struct Recording {
  CScore score;
  CRecorder recorder{score};
  explicit Recording(int quantise = 4, int voices = kRecorderVoices) {
    PrepareImportScore(score);
    recorder.QuantiseSetting = quantise;
    recorder.VoiceSlots = voices;
    ResetRecorder(recorder);
  }
  // A key pressed and released on a channel.
  CNote* Play(int64_t on, int64_t off, int key, int channel = 0) {
    CNote* n = RecordNoteOn(recorder, on, 0x90 | channel, key);
    RecordNoteOff(recorder, off, key);
    return n;
  }
  std::vector<CNote*> Notes() { return Of<CNote>(Kind::Note); }
  std::vector<CRest*> Rests() { return Of<CRest>(Kind::Rest); }
  template <typename T>
  std::vector<T*> Of(char kind) {
    std::vector<T*> out;
    for (const auto& up : score.Objects())
      if (up->KindCode() == kind) out.push_back(static_cast<T*>(up.get()));
    return out;
  }
};

// (start, code) of the rests of a voice, in time order.
std::vector<std::pair<int, int>> RestsOf(Recording& t, int voice) {
  std::vector<std::pair<int, int>> out;
  for (CRest* r : t.Rests())
    if (r->Voice == voice) out.emplace_back(r->Start, r->DurationCode());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(RecorderQuantise, NearestGridTickWithHalvesRoundingUp) {
  EXPECT_EQ(RecorderGrid(4, 240), 60);  // the sixteenth
  EXPECT_EQ(RecorderGrid(6, 8), 1);     // a tiny resolution still quantises
  Recording t(4);
  EXPECT_EQ(QuantiseTick(t.recorder, 89), 60);
  EXPECT_EQ(QuantiseTick(t.recorder, -40), 0);
  CNote* early = RecordNoteOn(t.recorder, 29, 0x90, 60);
  CNote* late = RecordNoteOn(t.recorder, 30, 0x90, 64);
  t.score.UpdateDerived();
  EXPECT_EQ(early->Start, 0);
  EXPECT_EQ(late->Start, 60);
  EXPECT_TRUE(CheckStructure(t.score));
}

TEST(RecorderNoteValues, LongestFittingValueWithTheGridToleranceForNotes) {
  EXPECT_EQ(NoteValueCode(240, 960, 60, true), 1);
  EXPECT_EQ(NoteValueCode(240, 2000, 60, true), 1);
  EXPECT_EQ(NoteValueCode(240, 360, 60, true), 3);   // a quarter; the rest follows as a tied eighth
  EXPECT_EQ(NoteValueCode(240, 225, 60, true), 3);   // short of a quarter by less than the grid
  EXPECT_EQ(NoteValueCode(240, 225, 60, false), 4);  // rests never round up
  EXPECT_EQ(NoteValueCode(240, 180, 60, true), 4);   // short by exactly the grid: the eighth
  EXPECT_EQ(NoteValueCode(240, 10, 15, true), 6);    // shorter than a thirty-second
  EXPECT_EQ(NoteValueCode(240, 0, 15, false), 6);
}

TEST(RecorderNotes, NoteHeldAcrossABarLineIsSplitThereAndTied) {
  Recording t(4);
  CNote* first = t.Play(720, 1200, 67);
  t.score.UpdateDerived();
  std::vector<CNote*> notes = t.Notes();
  ASSERT_EQ(notes.size(), 2u);
  CNote* second = notes[1] == first ? notes[0] : notes[1];
  EXPECT_EQ(first->Start, 720);
  EXPECT_EQ(first->DurationCode(), 3);
  EXPECT_EQ(second->Start, 960);
  EXPECT_EQ(second->DurationCode(), 3);
  EXPECT_EQ(first->Tie, first->Number);
  EXPECT_EQ(second->Tie, first->Number);
  EXPECT_EQ(second->Key, 67);
  EXPECT_NE(first->OwnerMeasure, second->OwnerMeasure);
  // The tie chain plays as one note of the whole length less the gap.
  EXPECT_EQ(first->PlayTicks, 480 - 15);

  // A dotted length within one measure becomes a quarter tied to an eighth.
  Recording d(4);
  d.Play(0, 360, 60);
  d.score.UpdateDerived();
  ASSERT_EQ(d.Notes().size(), 2u);
  EXPECT_EQ(d.Notes()[0]->Ticks + d.Notes()[1]->Ticks, 360);
  EXPECT_TRUE(CheckStructure(d.score));
}

TEST(RecorderNotes, KeyReleasedWithinOneGridStepIsASixteenthAndTheVoiceGoesOnAfterIt) {
  Recording t(4);
  CNote* quick = t.Play(100, 110, 72);
  CNote* next = t.Play(240, 480, 74);
  t.score.UpdateDerived();
  EXPECT_EQ(quick->Start, 120);
  EXPECT_EQ(quick->DurationCode(), 5);
  EXPECT_EQ(quick->Ticks, 60);
  // The gap after the sixteenth, not after its start, is filled.
  EXPECT_EQ(next->Start, 240);
  EXPECT_EQ(RestsOf(t, 0), (std::vector<std::pair<int, int>>{{0, 4}, {180, 5}}));
}

// Accidental marks made for a note: their values.
std::vector<int> AccidentalsOf(Recording& t, const CNote* n) {
  std::vector<int> out;
  for (CMark* m : t.Of<CMark>(Kind::Mark))
    if (m->NoteLink == n) {
      EXPECT_EQ(m->Note, n->Number);
      EXPECT_EQ(m->Y, n->Y);
      EXPECT_LT(m->X, n->Left);
      out.push_back(m->Value);
    }
  return out;
}

TEST(RecorderNotes, AccidentalsShowWhatTheKeySignatureAndTheMeasureDoNot) {
  using V = std::vector<int>;
  Recording t(4);
  CNote* sharp = t.Play(0, 240, 61);
  CNote* again = t.Play(240, 480, 61);
  CNote* back = t.Play(480, 720, 60);
  CNote* other = t.Play(0, 240, 49, 1);  // another stave: its own accidentals
  CNote* held = t.Play(720, 1200, 63);   // a tied piece restates nothing
  CNote* next = t.Play(1200, 1440, 61);  // a new measure starts afresh
  EXPECT_EQ(AccidentalsOf(t, sharp), V{2});
  EXPECT_EQ(AccidentalsOf(t, again), V{});
  EXPECT_EQ(AccidentalsOf(t, back), V{3});
  EXPECT_EQ(AccidentalsOf(t, other), V{2});
  EXPECT_EQ(AccidentalsOf(t, held), V{2});
  EXPECT_EQ(AccidentalsOf(t, next), V{2});
  EXPECT_EQ(t.Of<CMark>(Kind::Mark).size(), 5u);

  Recording g(4);
  RecordKeySignature(g.recorder, 0, 1);  // G major
  CNote* fsharp = g.Play(0, 240, 66);
  CNote* f = g.Play(240, 480, 65);
  EXPECT_EQ(AccidentalsOf(g, fsharp), V{});
  EXPECT_EQ(AccidentalsOf(g, f), V{3});
  EXPECT_EQ(fsharp->dy, f->dy);
  Recording b(4);
  RecordKeySignature(b.recorder, 0, -3);  // E-flat major: A-flat written on the A
  CNote* aflat = b.Play(0, 240, 68);
  EXPECT_EQ(AccidentalsOf(b, aflat), V{});
  EXPECT_EQ(aflat->dy, 20);
  EXPECT_TRUE(CheckStructure(b.score));
}

TEST(RecorderVoices, ChannelsAndHeldKeysChooseTheVoice) {
  Recording t(4);
  CNote* a = RecordNoteOn(t.recorder, 0, 0x90, 60);
  CNote* b = RecordNoteOn(t.recorder, 0, 0x90, 64);
  CNote* low = RecordNoteOn(t.recorder, 0, 0x91, 48);
  EXPECT_EQ(a->Voice, 0);
  EXPECT_EQ(b->Voice, 2);
  EXPECT_EQ(low->Voice, 1);
  // Even voices write on the upper stave, odd ones on the lower.
  CStaff* system = t.recorder.Systems.at(0);
  EXPECT_EQ(a->OwnerStave, system->Staves[0]);
  EXPECT_EQ(b->OwnerStave, system->Staves[0]);
  EXPECT_EQ(low->OwnerStave, system->Staves[1]);
  EXPECT_EQ(a->Channel, 0);
  EXPECT_EQ(low->Channel, 1);

  // Released, voice 0 is free again.
  RecordNoteOff(t.recorder, 240, 60);
  EXPECT_EQ(RecordNoteOn(t.recorder, 240, 0x90, 62)->Voice, 0);

  // Split by key: below it the lower voices, whatever the channel.
  Recording k(4);
  SplitVoicesAtKey(k.recorder, 60);
  EXPECT_EQ(RecordNoteOn(k.recorder, 0, 0x90, 59)->Voice, 1);
  EXPECT_EQ(RecordNoteOn(k.recorder, 0, 0x93, 60)->Voice, 0);

  // With one slot every key records into voice 0; when every slot is taken
  // the last one of the side takes the note.
  Recording one(4, 1);
  EXPECT_EQ(RecordNoteOn(one.recorder, 0, 0x91, 40)->Voice, 0);
  Recording two(4, 2);
  RecordNoteOn(two.recorder, 0, 0x90, 60);
  EXPECT_EQ(RecordNoteOn(two.recorder, 0, 0x90, 64)->Voice, 0);
  EXPECT_TRUE(CheckStructure(two.score));
}

TEST(RecorderNotes, HeadsSitOnTheStaffStepOfTheirKey) {
  Recording t(4);
  EXPECT_EQ(t.Play(0, 240, 77)->dy, 0);    // F5, the treble top line
  EXPECT_EQ(t.Play(240, 480, 71)->dy, 16);  // B4, the middle line
  EXPECT_EQ(t.Play(480, 720, 60)->dy, 40);  // middle C on its ledger line
  EXPECT_EQ(t.Play(720, 960, 61)->dy, 40);  // C-sharp without a key: on the C
  EXPECT_EQ(t.Play(0, 240, 60, 1)->dy, -8); // middle C above the bass stave
  EXPECT_EQ(t.Play(240, 480, 57, 1)->dy, 0); // A3, the bass top line
  // Whatever the head shows, the key stays what was played.
  t.score.UpdateDerived();
  std::vector<int> keys;
  for (CNote* n : t.Notes()) keys.push_back(n->Key);
  EXPECT_EQ(keys, (std::vector<int>{77, 71, 60, 61, 60, 57}));
}

TEST(RecorderVoices, DoubledKeysAreOneNoteOnAChannelAndTwoAcrossChannels) {
  Recording t(4);
  CNote* a = RecordNoteOn(t.recorder, 0, 0x90, 60);
  EXPECT_EQ(RecordNoteOn(t.recorder, 10, 0x90, 60), a);  // the same grid tick
  CNote* other = RecordNoteOn(t.recorder, 0, 0x91, 60);
  ASSERT_NE(other, a);
  EXPECT_EQ(RecordNoteOff(t.recorder, 240, 60, 0), 1);
  EXPECT_EQ(RecordNoteOff(t.recorder, 250, 60, 0), 0);  // the doubled release finds nothing
  EXPECT_EQ(RecordNoteOff(t.recorder, 480, 60, 1), 1);
  t.score.UpdateDerived();
  EXPECT_EQ(a->Ticks, 240);
  EXPECT_EQ(other->Ticks, 480);
  // The voice goes on after the doubled note at its own time.
  EXPECT_EQ(t.Play(240, 480, 62)->Start, 240);
  EXPECT_EQ(t.Notes().size(), 3u);
}

TEST(RecorderVoices, VoiceStillHeldLongAfterItsStartIsEndedByTheNextNote) {
  Recording t(4, 2);  // one upper slot
  CNote* held = RecordNoteOn(t.recorder, 0, 0x90, 60);
  CNote* next = RecordNoteOn(t.recorder, 480, 0x90, 64);
  EXPECT_EQ(next->Voice, 0);
  t.score.UpdateDerived();
  EXPECT_EQ(held->DurationCode(), 2);
  EXPECT_EQ(next->Start, 480);
  // Its later release changes nothing.
  EXPECT_EQ(RecordNoteOff(t.recorder, 900, 60), 0);
}

TEST(RecorderRests, GapOfOneAndAHalfMeasuresIsFilledToTheBarLineThenToTheNote) {
  Recording t(4);
  CNote* n = t.Play(1440, 1680, 65);
  t.score.UpdateDerived();
  EXPECT_EQ(RestsOf(t, 0), (std::vector<std::pair<int, int>>{{0, 1}, {960, 2}}));
  EXPECT_EQ(n->Start, 1440);

  // Measures wholly inside a gap stay empty; the note still starts in time.
  Recording g(4);
  CNote* far = g.Play(2400, 2640, 65);
  g.score.UpdateDerived();
  EXPECT_EQ(RestsOf(g, 0), (std::vector<std::pair<int, int>>{{0, 1}, {1920, 2}}));
  EXPECT_EQ(far->Start, 2400);
  EXPECT_TRUE(CheckStructure(g.score));
}

TEST(RecorderRests, WholeRestInALongerMeasureKeepsItsOwnLength) {
  Recording t(4);
  RecordTimeSignature(t.recorder, 0, 5, 4);
  CNote* n = t.Play(1200, 1440, 60);
  t.score.UpdateDerived();
  EXPECT_EQ(RestsOf(t, 0), (std::vector<std::pair<int, int>>{{0, 1}, {960, 3}}));
  EXPECT_EQ(n->Start, 1200);
}

TEST(RecorderLines, SystemsAreMadeAsTheTimeRunsOnWithClefsAndMeasures) {
  Recording t(4);
  t.recorder.MeasuresPerLine = 4;
  ResetRecorder(t.recorder);
  EXPECT_EQ(EnsureLines(t.recorder, 0), 1);
  ASSERT_EQ(t.recorder.Systems.size(), 1u);
  EXPECT_EQ(EnsureLines(t.recorder, 4 * 960 * 2 + 5), 1);  // the third system
  ASSERT_EQ(t.recorder.Systems.size(), 3u);
  t.score.AfterLoad();
  for (size_t i = 0; i < 3; ++i) {
    CStaff* s = t.recorder.Systems[i];
    EXPECT_EQ(s->Measures.size(), 4u);
    EXPECT_EQ(s->Staves.size(), 2u);
    EXPECT_EQ(s->Start, int(i) * 4 * 960);
    if (i > 0) {
      EXPECT_GT(s->Top, t.recorder.Systems[i - 1]->Bottom);
    }
  }
  // A treble and a bass clef open every system; the time signature only the first.
  int clefs = 0, times = 0;
  for (CSign* s : t.Of<CSign>(Kind::Sign)) {
    clefs += s->Style == SIGN_CLEF;
    times += s->Style == SIGN_TIME;
  }
  EXPECT_EQ(clefs, 6);
  EXPECT_EQ(times, 2);
  EXPECT_TRUE(CheckStructure(t.score));
  EXPECT_TRUE(CheckLayout(t.score));
}

// A sequence from (on, off, key, channel) notes plus extra events.
CMidiSequence Sequence(const std::vector<std::tuple<int, int, int, int>>& notes, int division = 240) {
  CMidiSequence seq;
  seq.Division = division;
  for (auto [on, off, key, channel] : notes) {
    seq.AddEvent(on, uint8_t(0x90 | channel), uint8_t(key), 100);
    seq.AddEvent(off, uint8_t(0x80 | channel), uint8_t(key), 0);
  }
  SortEvents(seq.Events);
  return seq;
}

TEST(MidiImport, EighthsAreBeamedByBeatAndAPieceEndingOnABarLineMakesNoEmptySystem) {
  // Four eighths, an eighth, an eighth rest and a quarter: one 4/4 measure
  // ending exactly on its bar line.
  CMidiSequence seq = Sequence({{0, 120, 60, 0},
                                {120, 240, 62, 0},
                                {240, 360, 64, 0},
                                {360, 480, 65, 0},
                                {480, 600, 67, 0},
                                {720, 960, 69, 0}});
  seq.AddTimeSignature(0, 4, 4, 24, 8);
  SortEvents(seq.Events);
  CScore score;
  PrepareImportScore(score);
  CRecorder recorder(score);
  recorder.MeasuresPerLine = 1;
  ASSERT_EQ(ImportSequence(recorder, seq), 1);
  EXPECT_EQ(recorder.Systems.size(), 1u);  // the last release lies on the bar line
  std::vector<const CMark*> beams;
  for (const auto& up : score.Objects())
    if (up->GetKind() == CBeam::kKind) beams.push_back(static_cast<const CMark*>(up.get()));
  // The first two beats each beam their two eighths; the eighth before the
  // rest keeps its flag.
  ASSERT_EQ(beams.size(), 2u);
  std::vector<int> beamed;
  for (const CMark* b : beams) {
    const auto* n = dynamic_cast<const CNote*>(score.FindByNumber(b->Note));
    ASSERT_NE(n, nullptr);
    beamed.push_back(n->Start);
  }
  std::sort(beamed.begin(), beamed.end());
  EXPECT_EQ(beamed, (std::vector<int>{0, 240}));
  EXPECT_TRUE(CheckStructure(score));
}

TEST(MidiImport, TwoVoicesOnAStaveReadApart) {
  // Measure 1: a melody of quarters over a lower part with an eighth's rest
  // (voices 0 and 2); measure 2: the melody alone.
  CMidiSequence seq = Sequence({{0, 240, 72, 0},
                                {240, 480, 74, 0},
                                {480, 720, 76, 0},
                                {720, 960, 77, 0},
                                {0, 480, 64, 0},
                                {600, 960, 65, 0},
                                {960, 1200, 79, 0},
                                {1200, 1440, 81, 0}});
  CScore score;
  PrepareImportScore(score);
  CRecorder recorder(score);
  ASSERT_EQ(ImportSequence(recorder, seq), 1);
  std::vector<CNote*> upper, lower, alone;
  for (const auto& up : score.Objects())
    if (up->GetKind() == CNote::kKind) {
      auto* n = static_cast<CNote*>(up.get());
      (n->Start >= 960 ? alone : n->Voice == 0 ? upper : lower).push_back(n);
    }
  ASSERT_EQ(upper.size(), 4u);
  ASSERT_FALSE(lower.empty());
  // Heads have the box a placed note of their value has, anchor in the middle.
  for (const std::vector<CNote*>* part : {&upper, &lower, &alone})
    for (const CNote* n : *part) {
      EXPECT_EQ(n->Right - n->Left, 16) << n->Key;
      EXPECT_EQ(n->X - n->Left, 8) << n->Key;
    }
  for (CNote* n : upper) EXPECT_LT(n->Stem, 0) << n->Key;  // up
  for (CNote* n : lower) EXPECT_GT(n->Stem, 0) << n->Key;  // down
  // Alone in its measure, a high note keeps its stem down by position.
  ASSERT_EQ(alone.size(), 2u);
  for (CNote* n : alone) EXPECT_GT(n->Stem, 0) << n->Key;
  // The lower voice's rest stands below the middle line.
  const CStave* stave = upper.front()->OwnerStave;
  int rests = 0;
  for (const auto& up : score.Objects()) {
    if (up->GetKind() != CRest::kKind) continue;
    const auto* r = static_cast<const CRest*>(up.get());
    if (r->Voice != 2 || r->OwnerMeasure != upper.front()->OwnerMeasure) continue;
    ++rests;
    EXPECT_GT(r->Y, stave->Top + 2 * score.LineSpace);
  }
  EXPECT_EQ(rests, 1);
  EXPECT_TRUE(CheckStructure(score));
}

TEST(MidiImport, TimeAndKeySignaturesSetTheirMeasures) {
  CMidiSequence seq = Sequence({{0, 720, 70, 0}, {720, 960, 66, 0}, {2160, 2400, 62, 0}});
  seq.AddTimeSignature(0, 3, 4, 24, 8);
  seq.AddKeySignature(0, -2, 0);
  seq.AddTimeSignature(1440, 2, 4, 24, 8);  // from the third measure on
  SortEvents(seq.Events);
  CScore score;
  PrepareImportScore(score);
  CRecorder recorder(score);
  ASSERT_EQ(ImportSequence(recorder, seq), 1);
  score.AfterLoad();
  const std::vector<CMeasure*>& m = recorder.Measures;
  ASSERT_EQ(m.size(), 4u);  // the measures the music fills, no empty ones after it
  EXPECT_EQ(m[0]->Ticks, 720);
  EXPECT_EQ(m[1]->Ticks, 720);
  EXPECT_EQ(m[2]->Ticks, 480);
  EXPECT_EQ(m[3]->Start, 1440 + 480);
  // Two flats on both staves of the first measure; the four short measures fit one system.
  std::vector<CMeasure*> keyed;
  for (const auto& up : score.Objects())
    if (up->KindCode() == Kind::Sign && up->Style == SIGN_KEY) {
      EXPECT_EQ(up->Value, 274);
      keyed.push_back(static_cast<CSign*>(up.get())->OwnerMeasure);
    }
  EXPECT_EQ(keyed, (std::vector<CMeasure*>{m[0], m[0]}));
  EXPECT_EQ(score.Staffs.size(), 1u);
  std::vector<std::pair<int, int>> got;  // (start, key) of the tie heads and single notes
  for (const auto& up : score.Objects())
    if (up->KindCode() == Kind::Note) {
      auto* n = static_cast<CNote*>(up.get());
      if (n->Tie < 0 || n->Tie == n->Number) got.emplace_back(n->Start, n->Key);
    }
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{0, 70}, {720, 66}, {2160, 62}}));
  // In a flat key B-flat sits on the B line.
  CNote* bflat = nullptr;
  for (const auto& up : score.Objects())
    if (up->KindCode() == Kind::Note && static_cast<CNote*>(up.get())->Key == 70) bflat = static_cast<CNote*>(up.get());
  ASSERT_TRUE(bflat);
  EXPECT_EQ(bflat->dy, 16);  // the middle line of the treble stave
  EXPECT_EQ(score.Tempo, 600000);
  EXPECT_TRUE(CheckStructure(score));
  EXPECT_TRUE(CheckLayout(score));
}

// (start, key, ticks, head position on its stave) of the sounding notes,
// the tie chains counted once.
std::vector<std::tuple<int, int, int, int>> Sounding(const CScore& score) {
  std::vector<std::tuple<int, int, int, int>> out;
  for (const auto& up : score.Objects())
    if (up->KindCode() == Kind::Note) {
      auto* n = static_cast<const CNote*>(up.get());
      if (n->Tie < 0 || n->Tie == n->Number)
        out.emplace_back(n->Start, n->Key, n->Tie < 0 ? n->Ticks : -1, n->Y - n->OwnerStave->Top);
    }
  std::sort(out.begin(), out.end());
  return out;
}

TEST(MidiImport, ExportedPieceImportsWithItsPitchesStartsLengthsAndHeadPositions) {
  NewDocument doc;
  // A melody on the treble stave, a bass line on the bass stave, three 4/4 measures.
  const int upper[][2] = {{3, 0}, {4, 4}, {4, 8}, {2, 12}, {3, 16}, {3, 20}, {3, 12}, {3, 8}, {1, 4}};
  size_t measure = 0;
  for (auto [code, dy] : upper) {
    doc.At(0, measure);
    if (!InsertNote(doc.score, doc.End(measure), doc.Y(0, dy), code)) {
      ++measure;
      doc.At(0, measure);
      ASSERT_TRUE(InsertNote(doc.score, doc.End(measure), doc.Y(0, dy), code));
    }
  }
  for (size_t m = 0; m < 3; ++m) {
    doc.At(1, m);
    ASSERT_TRUE(InsertNote(doc.score, doc.End(m), doc.Y(1, 24), 2));
    ASSERT_TRUE(InsertNote(doc.score, doc.End(m), doc.Y(1, 28 - 4 * int(m)), 2));
  }
  doc.score.UpdateDerived();
  const auto written = Sounding(doc.score);
  ASSERT_EQ(written.size(), 15u);

  CMidiSequence out;
  BuildPerformance(doc.score, out);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(EncodeMidiFile(out, bytes));
  CMidiSequence in;
  ASSERT_EQ(ReadMidiBytes(in, bytes.data(), bytes.size()), 1);

  CScore score;
  PrepareImportScore(score);
  CRecorder recorder(score);
  MidiImportSettings settings;
  settings.ByChannel = false;
  settings.SplitKey = 60;
  ApplyImportSettings(recorder, settings);
  ASSERT_EQ(ImportSequence(recorder, in), 1);
  EXPECT_EQ(Sounding(score), written);
  // The bass line went to the lower stave.
  for (const auto& up : score.Objects())
    if (up->KindCode() == Kind::Note) {
      auto* n = static_cast<CNote*>(up.get());
      EXPECT_EQ(n->OwnerStave == recorder.SystemStaves[0][1], n->Key < 60) << int(n->Key);
    }
  EXPECT_TRUE(CheckStructure(score));
  score.AfterLoad();
  EXPECT_TRUE(CheckLayout(score));

  // Saved and opened again, the score keeps them.
  CScore reopened;
  ASSERT_TRUE(reopened.RestoreFromBytes(score.SnapshotToBytes()));
  reopened.RelinkObjects();
  reopened.AfterLoad();
  EXPECT_EQ(Sounding(reopened), written);
}

TEST(MidiImport, OddAndHostileInputLeavesASoundScore) {
  // No notes at all: one empty system.
  {
    CMidiSequence seq;
    CScore score;
    PrepareImportScore(score);
    CRecorder recorder(score);
    EXPECT_EQ(ImportSequence(recorder, seq), 1);
    EXPECT_EQ(score.Staffs.size(), 1u);
    EXPECT_TRUE(CheckStructure(score));
  }
  // Releases of keys never struck, keys struck twice, notes never released.
  {
    CMidiSequence seq = Sequence({{0, 240, 60, 0}});
    seq.AddEvent(100, 0x80, 61, 0);
    seq.AddEvent(120, 0x90, 60, 90);  // struck again while sounding
    seq.AddEvent(500, 0x90, 72, 90);  // never released
    SortEvents(seq.Events);
    CScore score;
    PrepareImportScore(score);
    CRecorder recorder(score);
    ApplyImportSettings(recorder, MidiImportSettings{});  // a sixteenth grid
    EXPECT_EQ(ImportSequence(recorder, seq), 1);
    std::vector<int> starts;
    for (const auto& up : score.Objects())
      if (up->KindCode() == Kind::Note) starts.push_back(static_cast<CNote*>(up.get())->Start);
    std::sort(starts.begin(), starts.end());
    EXPECT_EQ(starts, (std::vector<int>{0, 120, 480}));
    // The first stroke ended where the key was struck again.
    for (const auto& up : score.Objects())
      if (up->KindCode() == Kind::Note && static_cast<CNote*>(up.get())->Start == 0) {
        EXPECT_EQ(static_cast<CNote*>(up.get())->Ticks, 120);
      }
    EXPECT_TRUE(CheckStructure(score));
  }
  // Far-off times: a note past the measure bound is left out, a release past
  // it ends the note at the bound, and nothing grows without end.
  {
    CMidiSequence seq = Sequence({{INT32_MAX - 10, INT32_MAX, 60, 0}, {0, INT32_MAX, 62, 1}});
    CScore score;
    PrepareImportScore(score);
    CRecorder recorder(score);
    EXPECT_EQ(ImportSequence(recorder, seq), 1);
    EXPECT_EQ(recorder.LeftOut, 1);
    EXPECT_LE(recorder.Measures.size(), size_t(kRecorderMaxMeasures + recorder.MeasuresPerLine));
    EXPECT_TRUE(CheckStructure(score));
  }
  // Bad time signatures and keys are ignored; a tiny resolution still ends.
  {
    CMidiSequence seq = Sequence({{0, 3, 60, 0}, {3, 9, 62, 0}}, 1);
    const uint8_t zeroBeats[4] = {0, 2, 24, 8}, hugeUnit[4] = {4, 31, 24, 8}, keys[2] = {9, 0};
    seq.AddMeta(0, META_TIME_SIGNATURE, zeroBeats, 4);
    seq.AddMeta(0, META_TIME_SIGNATURE, hugeUnit, 4);
    seq.AddMeta(0, META_KEY_SIGNATURE, keys, 2);
    SortEvents(seq.Events);
    CScore score;
    PrepareImportScore(score);
    CRecorder recorder(score);
    EXPECT_EQ(ImportSequence(recorder, seq), 1);
    EXPECT_EQ(recorder.Meters.size(), 1u);
    EXPECT_EQ(recorder.KeyCode, 0);
    EXPECT_TRUE(CheckStructure(score));
  }
  // A zero division is refused by the reader, and by the import itself.
  {
    const uint8_t file[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 0, 0,
                            'M', 'T', 'r', 'k', 0, 0, 0, 4, 0, 0xFF, 0x2F, 0};
    CMidiSequence seq;
    EXPECT_EQ(ReadMidiBytes(seq, file, sizeof file), 0);
    seq.Division = 0;
    NewDocument doc;
    const size_t before = doc.score.ObjectCount();
    CRecorder recorder(doc.score);
    EXPECT_EQ(ImportSequence(recorder, seq), 0);
    EXPECT_EQ(doc.score.LastError.rfind("-1:", 0), 0u);
    EXPECT_EQ(doc.score.ObjectCount(), before);
    EXPECT_EQ(doc.score.TimeBase, 240);
  }
  // Keys outside MIDI are no notes.
  {
    Recording t(4);
    EXPECT_EQ(RecordNoteOn(t.recorder, 0, 0x90, 200), nullptr);
    EXPECT_EQ(RecordNoteOff(t.recorder, 0, -1), 0);
  }
}

TEST(MidiImport, DamagedFilesImportWhatTheyHold) {
  // A file with signatures, two channels and held notes, then damaged at
  // random bytes: whatever the reader keeps imports into a sound score.
  CMidiSequence piece = Sequence({{0, 700, 67, 0}, {0, 1900, 43, 1}, {700, 1000, 70, 0}, {1000, 3000, 72, 0}});
  piece.AddTimeSignature(0, 3, 4, 24, 8);
  piece.AddKeySignature(960, -1, 0);
  SortEvents(piece.Events);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(EncodeMidiFile(piece, bytes));
  std::mt19937 random(11);
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> damaged = bytes;
    for (int hits = 1 + round % 4; hits > 0; --hits)
      damaged[14 + random() % (damaged.size() - 14)] = uint8_t(random());
    CMidiSequence seq;
    if (ReadMidiBytes(seq, damaged.data(), damaged.size()) != 1) continue;
    CScore score;
    PrepareImportScore(score);
    CRecorder recorder(score);
    ApplyImportSettings(recorder, MidiImportSettings{});
    ASSERT_EQ(ImportSequence(recorder, seq), 1);
    ASSERT_TRUE(CheckStructure(score)) << "round " << round;
    score.AfterLoad();
    ASSERT_TRUE(CheckLayout(score)) << "round " << round;
  }
}

TEST(MidiImport, GoesBelowTheScoresOwnSystems) {
  NewDocument doc;
  CStaff* own = doc.System();
  CRecorder recorder(doc.score);
  ASSERT_EQ(ImportSequence(recorder, Sequence({{0, 240, 60, 0}})), 1);
  ASSERT_EQ(doc.score.Staffs.size(), 2u);
  EXPECT_EQ(doc.score.Staffs[0], own);
  EXPECT_GT(doc.score.Staffs[1]->Top, own->Bottom);
  doc.score.AfterLoad();
  EXPECT_TRUE(CheckStructure(doc.score));
  EXPECT_TRUE(CheckLayout(doc.score));
}

}  // namespace
