#include "performance/build_performance.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text_util.h"
#include "performance/midi_sequence.h"
#include "tests/model/score_fixture.h"

namespace {

// "tick text:..." for texts, "tick meta51:0927C0" for other metas,
// "tick C3 05 00" for everything else.
std::string Describe(const MidiEventRec& e) {
  if (e.IsText()) return qx::Format("%d text:", e.Tick) + std::string(e.Text());
  if (e.IsMeta()) {
    std::string s = qx::Format("%d meta%02X:", e.Tick, e.Data1);
    for (char c : e.Text()) s += qx::Format("%02X", uint8_t(c));
    return s;
  }
  return qx::Format("%d %02X %02X %02X", e.Tick, e.Status, e.Data1, e.Data2);
}
std::vector<std::string> Describe(const CMidiSequence& seq, bool notesOnly = false) {
  std::vector<std::string> out;
  for (const MidiEventRec& e : seq.Events)
    if (!notesOnly || e.IsNote()) out.push_back(Describe(e));
  return out;
}
std::string Hex(int v) { return qx::Format("%02X", v); }

TEST(BuildPerformance, EmptyMeasureHasSignatureTempoNameAndAllNotesOff) {
  SmallScore s(1, 1);
  s.score.FilePath = "/home/user/scores/demo.q5s";
  CMidiSequence seq;
  EXPECT_EQ(BuildPerformance(s.score, seq), 1);
  EXPECT_EQ(Describe(seq), (std::vector<std::string>{"0 meta58:04021808", "0 meta51:0927C0", "1 text:!Ldemo.q5s",
                                                      "960 B0 7B 00"}));
  EXPECT_EQ(seq.FileName, "demo.q5s");
  s.score.FilePath = "C:\\scores\\old.q5s";  // names stored by older files
  BuildPerformance(s.score, seq);
  EXPECT_EQ(seq.FileName, "old.q5s");
}

TEST(BuildPerformance, NoteEndingOnTheBarLineIsOneTickShorter) {
  SmallScore s(1, 2);
  std::vector<CNote*> notes;
  for (int i = 0; i < 4; ++i)
    notes.push_back(s.Note(0, 0, 60 + 40 * i, 16, 3, NTS_UPDATE_TICKS | NTS_UPDATE_KEY | NTS_UPDATE_PLAYTICKS | NTS_FULL_LENGTH));
  CMidiSequence seq;
  BuildPerformance(s.score, seq);
  const std::string key = Hex(notes[0]->Key);
  // Repeated keys: the release comes before the next strike at one tick.
  EXPECT_EQ(Describe(seq, true),
            (std::vector<std::string>{"0 90 " + key + " 64", "240 80 " + key + " 64", "240 90 " + key + " 64",
                                      "480 80 " + key + " 64", "480 90 " + key + " 64", "720 80 " + key + " 64",
                                      "720 90 " + key + " 64", "959 80 " + key + " 64"}));
  EXPECT_EQ(notes[3]->PlayTicks, 239);
  EXPECT_EQ(notes[2]->PlayTicks, 240);
}

TEST(BuildPerformance, TiedNotesSoundOnceAndSilentNotesNotAtAll) {
  SmallScore s(1, 3);
  s.Measure(1)->Style |= MEASURE_ZERO_LENGTH;
  CNote* head = s.Note(0, 0, 60, 16);
  CNote* tail = s.Note(0, 0, 100, 16);
  head->Tie = tail->Tie = head->Number;
  s.Note(0, 1, s.Measure(1)->Left + 10, 8);  // a measure that is never played
  CNote* mute = s.Note(0, 2, s.Measure(2)->Left + 10, 4, 3, NTS_UPDATE_TICKS | NTS_UPDATE_KEY);
  mute->PlayTicks = 0;  // would release before it strikes
  CMidiSequence seq;
  BuildPerformance(s.score, seq);
  const std::string key = Hex(head->Key);
  EXPECT_EQ(Describe(seq, true), (std::vector<std::string>{"0 90 " + key + " 64", "465 80 " + key + " 64"}));
  std::vector<std::string> markers;
  for (const MidiEventRec& e : seq.Events)
    if (e.IsText() && e.Text()[1] != 'L') markers.push_back(Describe(e));
  EXPECT_EQ(markers, (std::vector<std::string>{qx::Format("0 text:!n%d", head->Number), qx::Format("465 text:!u%d", head->Number)}));
}

TEST(BuildPerformance, KeyAndTimeSignaturesWhereTheyChange) {
  SmallScore s(2, 3);
  s.Sign(0, 0, 60, SIGN_TIME, 0x0404);
  s.Sign(0, 0, 80, SIGN_KEY, 259);
  s.Sign(1, 0, 80, SIGN_KEY, 259);  // the same key on the next stave
  s.Sign(0, 1, s.Measure(1)->Left + 4, SIGN_KEY, 275);
  s.Sign(0, 1, s.Measure(1)->Left + 20, SIGN_TIME, 0x0806);
  s.Sign(0, 2, s.Measure(2)->Left + 4, SIGN_KEY, 275);
  CMidiSequence seq;
  BuildPerformance(s.score, seq);
  std::vector<std::string> signatures;
  for (const MidiEventRec& e : seq.Events)
    if (e.IsMeta() && (e.Data1 == META_KEY_SIGNATURE || e.Data1 == META_TIME_SIGNATURE)) signatures.push_back(Describe(e));
  EXPECT_EQ(signatures, (std::vector<std::string>{"0 meta59:0300", "0 meta58:04021808", "960 meta59:FD00", "960 meta58:06031808"}));
}

TEST(BuildPerformance, AllNotesOffRoundsTheLastTickUpToABar) {
  SmallScore s(1, 2);
  auto v = std::make_unique<CVisualMidi>();
  v->Value = 0x0040B0;
  v->Start = 1000;
  s.Attach(0, 1, std::move(v));
  CMidiSequence seq;
  BuildPerformance(s.score, seq);
  ASSERT_GE(seq.Events.size(), 2u);
  EXPECT_EQ(Describe(seq.Events[seq.Events.size() - 2]), "1000 B0 40 00");
  EXPECT_EQ(Describe(seq.Events.back()), "1920 B0 7B 00");
}

TEST(BuildPerformance, ProgramsPedalAccompanimentAndCommands) {
  SmallScore s(1, 1);
  s.Stave(0)->Patch = 5;
  s.Stave(0)->Channel = 3;
  CNote* note = s.Note(0, 0, 100, 16);
  auto pedal = std::make_unique<CMark>();
  pedal->Value = 21;
  pedal->SetBounds(96, 160, 104, 168);  // under the stave: 50 above it lies in the system
  s.Attach(0, 0, std::move(pedal));
  auto rhythm = std::make_unique<CVisualMidi>();
  rhythm->Value = 0x7200FF;
  rhythm->text = "rock";
  s.Attach(0, 0, std::move(rhythm));
  auto chord = std::make_unique<CVisualMidi>();
  chord->Value = 0x6300FF;
  chord->text = "C";
  CVisualMidi* c = s.Attach(0, 0, std::move(chord));
  s.Text(300, 20, "!metronome");
  CMidiSequence seq;
  BuildPerformance(s.score, seq);
  const std::string on = "0 90 " + Hex(note->Key) + " 64", off = "225 80 " + Hex(note->Key) + " 64";
  EXPECT_EQ(Describe(seq),
            (std::vector<std::string>{"0 meta58:04021808", "0 meta51:0927C0", qx::Format("0 text:!n%d", note->Number),
                                      "0 C3 05 00", "0 text:!r:rock", "0 text:!c:C", qx::Format("0 text:!h:%d", c->Number),
                                      "0 B1 43 7F", "0 B0 43 7F", on, "1 text:!L", "1 text:!metronome", off,
                                      qx::Format("225 text:!u%d", note->Number), "960 B0 7B 00"}));
}

TEST(BuildPerformance, RepeatsTempoChangesAndContinuationMeasures) {
  SmallScore s(1, 2);
  s.Measure(1)->Value = 41;
  CNote* a = s.Note(0, 0, 60, 16, 2);
  CNote* b = s.Note(0, 1, s.Measure(1)->Left + 10, 8, 2);
  s.Text(300, 20, "#tempo:960,400000;");
  auto pedal = std::make_unique<CMark>();
  pedal->Value = 22;
  pedal->SetBounds(b->Left, 160, b->Left + 8, 168);
  s.Attach(0, 1, std::move(pedal));
  CMidiSequence seq;
  BuildPerformance(s.score, seq);
  std::vector<std::string> got;
  for (const MidiEventRec& e : seq.Events)
    if (e.IsNoteOn() || e.Status == 0xB0 || (e.IsMeta() && e.Data1 == META_TEMPO)) got.push_back(Describe(e));
  const std::string ka = " " + Hex(a->Key) + " 64", kb = " " + Hex(b->Key) + " 64";
  // The tempo change and the pedal repeat with their measure.
  EXPECT_EQ(got, (std::vector<std::string>{"0 meta51:0927C0", "0 90" + ka, "960 meta51:061A80", "960 B0 43 00",
                                           "960 90" + kb, "1920 90" + ka, "2880 meta51:061A80", "2880 B0 43 00",
                                           "2880 90" + kb, "3840 B0 7B 00"}));

  // The second measure completes the first: it starts with a half rest and
  // its note is laid into the first measure's empty half.
  SmallScore t(1, 2);
  t.Measure(1)->Style |= MEASURE_CONTINUATION;
  CNote* first = t.Note(0, 0, 60, 16, 2);
  t.Rest(0, 1, t.Measure(1)->Left + 10, 2);
  CNote* second = t.Note(0, 1, t.Measure(1)->Left + 40, 8, 2);
  BuildPerformance(t.score, seq);
  EXPECT_EQ(Describe(seq, true), (std::vector<std::string>{"0 90 " + Hex(first->Key) + " 64", "465 80 " + Hex(first->Key) + " 64",
                                                           "480 90 " + Hex(second->Key) + " 64", "945 80 " + Hex(second->Key) + " 64"}));
  EXPECT_EQ(Describe(seq.Events.back()), "960 B0 7B 00");
}

TEST(BuildPartPerformance, SelectedChainHeadsOnly) {
  SmallScore s(1, 1);
  CNote* head = s.Note(0, 0, 60, 16);
  CNote* tied = s.Note(0, 0, 100, 16);
  CNote* other = s.Note(0, 0, 140, 12);
  CNote* unselected = s.Note(0, 0, 180, 8);
  head->Tie = tied->Tie = head->Number;
  other->Channel = 2;
  s.Update();
  head->Selected = tied->Selected = other->Selected = 1;
  (void)unselected;
  s.Text(300, 20, "#tempo:240,500000;");
  CMidiSequence seq;
  EXPECT_EQ(BuildPartPerformance(nullptr, &seq), 0);
  EXPECT_EQ(BuildPartPerformance(&s.score, nullptr), 0);
  ASSERT_EQ(BuildPartPerformance(&s.score, &seq), 1);
  const std::string kh = Hex(head->Key), ko = Hex(other->Key);
  EXPECT_EQ(Describe(seq), (std::vector<std::string>{"0 meta51:0927C0", "0 meta58:04021808", "0 90 " + kh + " 64",
                                                     "240 meta51:07A120", "465 80 " + kh + " 00", "480 92 " + ko + " 64",
                                                     "705 82 " + ko + " 00"}));
  const auto& objects = s.score.Objects();
  for (const MidiEventRec& e : seq.Events) {
    if (e.IsNote()) {
      EXPECT_EQ(objects[e.ObjectIndex]->Number, e.Number);
    }
  }
}

}  // namespace
