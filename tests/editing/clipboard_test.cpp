// The clipboard payload, reading it back from hostile bytes, and the three
// paste modes.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

#include "edit_fixture.h"
#include "editing/clipboard.h"
#include "editing/note_ops.h"
#include "editing/selection.h"
#include "model/archive.h"
#include "model/derived.h"

namespace {

std::map<char, int> Census(const CScore& score) {
  std::map<char, int> counts;
  for (const auto& up : score.Objects()) ++counts[up->GetKind()];
  return counts;
}

// `count` quarter notes appended to a measure of a stave, a step apart.
std::vector<CNote*> Quarters(NewDocument& d, size_t measure, int count, int dy = 12, size_t stave = 0) {
  d.At(stave, measure);
  std::vector<CNote*> notes;
  for (int i = 0; i < count; ++i) notes.push_back(InsertNote(d.score, d.End(measure), d.Y(stave, dy + 4 * i), 3));
  d.score.UpdateDerived();
  return notes;
}

// --- the payload ---------------------------------------------------------------------

TEST(ClipboardPayload, OneNoteCarriesEveryStructureObjectAndPastesNothingAsOtherObjects) {
  NewDocument d;
  d.Select(Quarters(d, 0, 1).front());
  const std::vector<uint8_t> payload = WriteClipboard(d.score);
  // count, then system, two staves, three measures and the note; the clefs,
  // time signatures and brace are not selected.
  ASSERT_EQ(payload.size(), 4u + (1 + 37) + 2 * (1 + 47) + 3 * (1 + 43) + (1 + 76));
  int32_t count = 0;
  std::memcpy(&count, payload.data(), 4);
  EXPECT_EQ(count, 7);
  EXPECT_EQ(payload[4], 's');
  CScore scratch;
  ASSERT_EQ(ReadClipboard(scratch, payload), 1);
  EXPECT_EQ(Census(scratch), (std::map<char, int>{{'s', 1}, {'T', 2}, {'V', 3}, {'N', 1}}));
  EXPECT_EQ(scratch.Staffs.at(0)->Staves.size(), 2u);
  EXPECT_EQ(WriteClipboard(scratch), payload);

  const std::vector<uint8_t> before = d.score.SnapshotToBytes();
  EXPECT_EQ(PasteObjects(d.score, payload), 0);
  EXPECT_EQ(d.score.SnapshotToBytes(), before);
  EXPECT_EQ(d.score.SelectedCount, 1);

  CScore empty;
  EXPECT_TRUE(WriteClipboard(empty).empty());  // the clipboard stays as it was
  EXPECT_EQ(ReadClipboard(empty, {}), 0);
}

TEST(ClipboardPayload, AStaleMeasureNumberIsWrittenAsNoneSoThePayloadReadsBack) {
  NewDocument d;
  CNote* note = Quarters(d, 1, 1).front();
  note->Measure = 999;  // a measure deleted long ago
  d.Select(note);
  CScore scratch;
  ASSERT_EQ(ReadClipboard(scratch, WriteClipboard(d.score)), 1);
  EXPECT_EQ(note->Measure, 999);
  ASSERT_EQ(Census(scratch)['N'], 1);
  EXPECT_EQ(As<CNote>(scratch.Objects().back().get())->Measure, -1);
}

// --- hostile bytes -----------------------------------------------------------------

struct HostileBytes : ::testing::Test {
  NewDocument d;
  std::vector<uint8_t> payload, snapshot;
  size_t note = 0;  // offset of the first note's entry
  void SetUp() override {
    for (CNote* n : Quarters(d, 0, 2)) d.Select(n);
    d.At(0, 1);
    d.Select(InsertText(d.score, d.Measure(1)->Left + 10, d.Y(0, -20), 0));
    payload = WriteClipboard(d.score);
    snapshot = d.score.SnapshotToBytes();
    Archive ar(payload.data(), payload.size());
    int32_t count = 0;
    ar.Io(count);
    for (int i = 0; i < 6; ++i) LoadObjectEntry(ar, i);  // the structure comes first
    note = static_cast<size_t>(ar.Position());
  }
  // Reading refuses the bytes with a reason; every paste mode leaves the score as it was.
  void ExpectRefused(const std::vector<uint8_t>& bytes, const char* what) {
    SCOPED_TRACE(what);
    CScore scratch;
    std::string why;
    EXPECT_EQ(ReadClipboard(scratch, bytes, &why), -1);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(scratch.ObjectCount(), 0u);
    const int x = d.Measure(2)->Left + 20, y = d.Y(0, 16);
    EXPECT_EQ(PasteObjects(d.score, bytes), 0);
    EXPECT_EQ(d.score.LastError.rfind("-1:", 0), 0u) << d.score.LastError;
    EXPECT_EQ(PasteNotes(d.score, bytes, x, y), 0);
    EXPECT_EQ(PasteSystems(d.score, bytes, x, y), 0);
    EXPECT_EQ(d.score.SnapshotToBytes(), snapshot);
    EXPECT_EQ(d.score.SelectedCount, 3);
  }
  std::vector<uint8_t> With(size_t at, int32_t v) {
    std::vector<uint8_t> bytes = payload;
    std::memcpy(&bytes[at], &v, 4);
    return bytes;
  }
};

TEST_F(HostileBytes, EveryTruncationIsRefused) {
  for (size_t n = 1; n < payload.size(); ++n)
    ExpectRefused(std::vector<uint8_t>(payload.begin(), payload.begin() + n), "truncated");
}

TEST_F(HostileBytes, BadKindsCountsNumbersReferencesAndCoordinatesAreRefused) {
  ASSERT_EQ(payload[note], 'N');
  std::vector<uint8_t> bad = payload;
  bad[note] = 'w';  // abstract: no record layout
  ExpectRefused(bad, "abstract kind");
  bad[note] = 0xEE;
  ExpectRefused(bad, "unknown kind");
  ExpectRefused(With(0, 0x7FFFFFFF), "count past the bytes");
  ExpectRefused(With(note + 1 + 33, 123456), "stave that is not there");
  ExpectRefused(With(note + 1 + 37, d.System()->Number), "measure of the wrong kind");
  ExpectRefused(With(note + 1, d.System()->Number), "number used twice");
  ExpectRefused(With(note + 1, -5), "negative number");
  ExpectRefused(With(note + 1 + 12, 1 << 30), "Left off any page");

  // A count of zero or less reads nothing and pastes nothing.
  CScore scratch;
  EXPECT_EQ(ReadClipboard(scratch, With(0, -3)), 1);
  EXPECT_EQ(scratch.ObjectCount(), 0u);
  EXPECT_EQ(PasteObjects(d.score, With(0, -3)), 0);
  EXPECT_EQ(d.score.SnapshotToBytes(), snapshot);
}

// --- paste modes -----------------------------------------------------------------------

TEST(PasteObjects, ATextLandsFourUnitsRightAndAMarkWithoutItsNoteIsCutLoose) {
  NewDocument d;
  CNote* note = Quarters(d, 0, 1).front();
  CMark* staccato = InsertMark(d.score, note->X, note->Y, 90);
  d.At(0, 1);
  CXText* text = InsertText(d.score, d.Measure(1)->Left + 10, d.Y(0, -20), 68);
  text->Layer = 3;
  d.Select(text);
  d.Select(staccato);
  const int32_t firstNew = d.score.UpperNumber;

  EXPECT_EQ(PasteObjects(d.score, WriteClipboard(d.score)), 2);
  std::vector<CXText*> texts = d.All<CXText>();
  ASSERT_EQ(texts.size(), 2u);
  CXText* copy = texts.back();
  EXPECT_GE(copy->Number, firstNew);
  EXPECT_EQ(copy->GetBounds(), (Rect{text->Left + 4, text->Top, text->Right + 4, text->Bottom}));
  EXPECT_EQ(copy->text, "mf");
  EXPECT_EQ(copy->Layer, 3);
  EXPECT_EQ(copy->OwnerStave, d.Stave(0));
  EXPECT_EQ(copy->OwnerMeasure, d.Measure(1));
  // The mark's note was not pasted: the copy belongs to no note rather than
  // to the original's.
  CMark* markCopy = d.All<CMark>().back();
  EXPECT_NE(markCopy, staccato);
  EXPECT_EQ(markCopy->Note, -1);
  EXPECT_EQ(markCopy->NoteLink, nullptr);
  EXPECT_EQ(staccato->NoteLink, note);
  EXPECT_EQ(d.score.SelectedCount, 0);
  EXPECT_TRUE(CheckStructure(d.score));
}

TEST(PasteNotes, TwoSourceStavesAtTheLowerStaveOfAPianoSystemPasteOnlyTheFirst) {
  NewDocument d;
  std::vector<CNote*> upper = Quarters(d, 0, 2, 12, 0);
  for (CNote* n : upper) d.Select(n);
  for (CNote* n : Quarters(d, 0, 3, 8, 1)) d.Select(n);
  const std::vector<uint8_t> payload = WriteClipboard(d.score);
  const std::vector<uint8_t> before = d.score.SnapshotToBytes();
  EXPECT_EQ(PasteNotes(d.score, payload, d.System()->Right + 50, d.Y(1, 16)), 0);  // no measure there
  EXPECT_EQ(d.score.SnapshotToBytes(), before);

  EXPECT_EQ(PasteNotes(d.score, payload, d.Measure(2)->Left + 20, d.Y(1, 16)), 2);
  std::vector<CNote*> pasted = d.On<CNote>(d.Stave(1), d.Measure(2));
  ASSERT_EQ(pasted.size(), 2u);
  EXPECT_TRUE(d.On<CNote>(d.Stave(0), d.Measure(2)).empty());
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(pasted[i]->dy, upper[i]->dy);  // the same place on the stave
    EXPECT_EQ(pasted[i]->Start, d.Measure(2)->Start + 240 * int(i));
    EXPECT_EQ(pasted[i]->Left, TickToX(*d.Measure(2), pasted[i]->Start));
  }
  EXPECT_EQ(d.score.SelectedCount, 0);
  EXPECT_TRUE(CheckStructure(d.score));
  EXPECT_TRUE(CheckLayout(d.score));
}

TEST(PasteNotes, NotesThatDoNotFitPushTheVoiceOnwardWithTheirMarksAndAddAMeasure) {
  NewDocument d;
  std::vector<CNote*> full = Quarters(d, 1, 4, 16);
  std::vector<CNote*> next = Quarters(d, 2, 3, 20);
  CMark* staccato = InsertMark(d.score, full[2]->X, full[2]->Y, 90);
  d.score.UpdateDerived();
  d.Select(full[2]);
  d.Select(full[3]);
  d.Select(staccato);
  const size_t measures = d.System()->Measures.size();

  // Before the first quarter: the pasted two fill the measure with the
  // first two; the last two go on into the next measure ahead of the notes
  // there, and the last of those needs a new measure.
  EXPECT_EQ(PasteNotes(d.score, WriteClipboard(d.score), full[0]->Left - 1, d.Y(0, 16)), 3);
  ASSERT_EQ(d.System()->Measures.size(), measures + 1);
  CMeasure* added = d.System()->Measures.back();
  EXPECT_EQ(full[2]->OwnerMeasure, d.Measure(2));
  EXPECT_EQ(next[0]->Start, d.Measure(2)->Start + 480);
  EXPECT_EQ(next[2]->OwnerMeasure, added);
  EXPECT_EQ(next[2]->Start, added->Start);
  std::vector<CNote*> voice;
  for (CStaveObject* o : d.Stave(0)->Attached)
    if (auto* n = As<CNote>(o)) voice.push_back(n);
  ASSERT_EQ(voice.size(), 9u);
  for (size_t i = 1; i < voice.size(); ++i) {
    EXPECT_EQ(voice[i]->Start, voice[i - 1]->Start + 240) << i;
    EXPECT_GT(voice[i]->Left, voice[i - 1]->Left) << i;
  }
  // The mark stays over its pushed note; its copy sits over the copy.
  EXPECT_EQ(staccato->X, full[2]->X);
  EXPECT_EQ(staccato->OwnerMeasure, d.Measure(2));
  CMark* copy = d.All<CMark>().back();
  ASSERT_NE(copy->NoteLink, nullptr);
  EXPECT_EQ(copy->NoteLink, voice[0]);
  EXPECT_EQ(copy->X, voice[0]->X);
  EXPECT_TRUE(CheckStructure(d.score));
  EXPECT_TRUE(CheckLayout(d.score));
}

// Chords, beams and marks pasted with their notes link to the copies, and
// every pasted object has a Number of its own, even when the score's
// counter lags behind its highest Number.
TEST(PasteNotes, ChordsBeamsAndMarksLinkToThePastedCopies) {
  NewDocument d;
  std::vector<CNote*> run = Quarters(d, 0, 1, 8);
  for (int i = 0; i < 2; ++i) run.push_back(InsertNote(d.score, d.End(0), d.Y(0, 12), 4));
  d.score.UpdateDerived();
  CNote* chordNote = AddChordNote(d.score, run[0], run[0]->Left, d.Y(0, 20));
  ASSERT_EQ(chordNote->Chord, run[0]->Chord);
  d.score.UpdateDerived();
  InsertMark(d.score, run[1]->X, run[1]->Y, 90);
  d.Select(run[1]);
  d.Select(run[2]);
  ASSERT_EQ(BeamSelection(d.score), 1);
  d.score.UpdateDerived();
  for (const auto& up : d.score.Objects()) up->Selected = up->IsKind(Kind::Note) || up->IsKind(Kind::Mark);
  d.score.RecountSelection();
  const std::vector<uint8_t> payload = WriteClipboard(d.score);
  std::set<int32_t> originals;
  for (const auto& up : d.score.Objects()) originals.insert(up->Number);

  d.score.UpperNumber = 0;  // as a careless file might say
  EXPECT_EQ(PasteNotes(d.score, payload, d.Measure(1)->Left + 20, d.Y(0, 16)), 4 + 1 + 1);
  ASSERT_TRUE(CheckStructure(d.score));  // Numbers unique
  std::vector<CNote*> notes = d.On<CNote>(d.Stave(0), d.Measure(1));
  ASSERT_EQ(notes.size(), 4u);
  std::set<int32_t> copies;
  for (CNote* n : notes) copies.insert(n->Number);
  for (int32_t n : copies) EXPECT_EQ(originals.count(n), 0u);
  int inChord = 0;
  for (CNote* n : notes)
    if (n->Chord >= 0) {
      ++inChord;
      EXPECT_EQ(copies.count(n->Chord), 1u);
    }
  EXPECT_EQ(inChord, 2);
  EXPECT_EQ(chordNote->Chord, run[0]->Chord);
  for (const auto& up : d.score.Objects())
    if (auto* mark = As<CMark>(up.get()); mark && !originals.count(mark->Number)) {
      ASSERT_NE(mark->NoteLink, nullptr);
      EXPECT_EQ(copies.count(mark->Note), 1u);
      EXPECT_EQ(mark->OwnerMeasure, d.Measure(1));
    }
  // The beam keeps both ends on its notes, though the target measure is
  // spaced differently.
  CBeam* beam = d.All<CBeam>().front();
  CBeam* beamCopy = d.All<CBeam>().back();
  CNote* start = As<CNote>(beamCopy->NoteLink);
  ASSERT_NE(start, nullptr);
  ASSERT_NE(start, notes.back());
  EXPECT_EQ(beamCopy->X - start->X, beam->X - run[1]->X);
  EXPECT_EQ(beamCopy->X1 - notes.back()->X, beam->X1 - run[2]->X);
  EXPECT_NE(notes.back()->X - start->X, run[2]->X - run[1]->X);
}

TEST(PasteNotes, BeamedNotesCopiedWithoutTheirBeamCarryTheirOwnFlags) {
  NewDocument d;
  d.At(0, 0);
  std::vector<CNote*> run;
  for (int i = 0; i < 2; ++i) run.push_back(InsertNote(d.score, d.End(0), d.Y(0, 12 + 4 * i), 4));
  d.score.UpdateDerived();
  for (CNote* n : run) d.Select(n);
  ASSERT_EQ(BeamSelection(d.score), 1);
  d.score.UpdateDerived();
  ASSERT_EQ(run[0]->Head, 3);  // the beam carries the flags
  // Only the notes are selected: the beam stays behind.
  for (const auto& up : d.score.Objects()) up->Selected = up->GetKind() == CNote::kKind;
  d.score.RecountSelection();
  const std::vector<uint8_t> payload = WriteClipboard(d.score);
  ASSERT_EQ(PasteNotes(d.score, payload, d.Measure(1)->Left + 20, d.Y(0, 16)), 2);
  const std::vector<CNote*> pasted = d.On<CNote>(d.Stave(0), d.Measure(1));
  ASSERT_EQ(pasted.size(), 2u);
  for (const CNote* n : pasted) {
    EXPECT_EQ(n->Head, 4);  // an eighth's own flag
    EXPECT_EQ(n->Tail, 1);
    EXPECT_EQ(std::abs(n->Stem), 28);
  }
  EXPECT_EQ(run[0]->Head, 3);  // the originals keep their beam
  EXPECT_TRUE(CheckStructure(d.score));
}

TEST(PasteSystems, ASystemWithAllItsObjectsRoundTripsBelowTheClickedSystem) {
  NewDocument d;
  Quarters(d, 0, 3);
  Quarters(d, 1, 2, 8, 1);
  d.At(0, 2);
  InsertText(d.score, d.Measure(2)->Left + 4, d.Y(0, -16), 9);
  ASSERT_EQ(SelectAll(d.score), 1);
  const std::vector<uint8_t> payload = WriteClipboard(d.score);
  std::map<char, int> doubled = Census(d.score);
  for (auto& [kind, n] : doubled) n *= 2;
  CStaff* original = d.System();

  const int pasted = PasteSystems(d.score, payload, original->Left + 10, original->Top + 10);
  EXPECT_EQ(pasted, static_cast<int>(d.score.ObjectCount() / 2));
  EXPECT_EQ(Census(d.score), doubled);
  ASSERT_EQ(d.score.Staffs.size(), 2u);
  CStaff* copy = d.score.Staffs[1];
  EXPECT_EQ(copy->Top, original->Bottom + d.score.SystemSpace + d.score.StaveSpace);
  EXPECT_EQ(copy->Bottom - copy->Top, original->Bottom - original->Top);
  EXPECT_TRUE(copy->Selected);
  EXPECT_EQ(d.score.SelectedCount, 1 + 2 + 3);  // the new structure only
  std::vector<CNote*> first = d.On<CNote>(original->Staves[0], original->Measures[0]);
  std::vector<CNote*> second = d.On<CNote>(copy->Staves[0], copy->Measures[0]);
  ASSERT_EQ(second.size(), first.size());
  for (size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(second[i]->Key, first[i]->Key);
    EXPECT_EQ(second[i]->Start, first[i]->Start + original->Ticks);
  }
  EXPECT_GT(copy->Measures[0]->UnitsPerTick, 0.0);
  EXPECT_TRUE(CheckStructure(d.score));
  EXPECT_TRUE(CheckLayout(d.score));
}

TEST(PasteSystems, AClickInTheGapBetweenSystemsDoesNotLandOnTheOneAbove) {
  NewDocument d;
  SelectOnly(d.score, d.System(), false);
  const std::vector<uint8_t> payload = WriteClipboard(d.score);
  ASSERT_GT(PasteSystems(d.score, payload, 10, d.System(0)->Bottom + 30), 0);
  ASSERT_EQ(d.score.Staffs.size(), 2u);
  const int secondTop = d.System(1)->Top;
  ASSERT_GT(PasteSystems(d.score, payload, 10, d.System(0)->Bottom + 10), 0);
  ASSERT_EQ(d.score.Staffs.size(), 3u);
  EXPECT_GT(d.System(2)->Top, secondTop);  // the old second system moved down
  EXPECT_TRUE(CheckLayout(d.score));
  EXPECT_TRUE(CheckStructure(d.score));
}

}  // namespace
