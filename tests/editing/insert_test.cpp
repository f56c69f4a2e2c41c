// Notes, rests, dots, marks, signs and page objects placed at a point.
#include <gtest/gtest.h>

#include "edit_fixture.h"
#include "notation/recording_device_context.h"

namespace {

// --- notes and their room in the measure ---------------------------------------------

TEST(InsertNote, FourQuartersFillA44MeasureAndTheFifthIsRefused) {
  NewDocument d;
  d.At(0, 1);
  CMeasure* m = d.Measure(1);
  ASSERT_EQ(m->Ticks, 960);
  std::vector<CNote*> notes;
  for (int i = 0; i < 4; ++i) {
    CNote* n = InsertNote(d.score, d.End(1), d.Y(0, 12), 3);
    ASSERT_NE(n, nullptr) << "quarter " << i;
    notes.push_back(n);
  }
  const size_t before = d.score.ObjectCount();
  EXPECT_EQ(InsertNote(d.score, d.End(1), d.Y(0, 12), 3), nullptr);
  EXPECT_EQ(d.score.ObjectCount(), before);
  EXPECT_EQ(InsertNote(d.score, d.End(1), d.Y(0, 12), 5), nullptr);  // not even a sixteenth

  // Each follows the one before by a quarter's width, from the note area's start.
  const int quarter = static_cast<int>(240 * m->UnitsPerTick);
  EXPECT_EQ(notes[0]->Left, m->Left + m->LeftPadding);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(notes[i]->Left, notes[i - 1]->Left + quarter);
  d.score.UpdateDerived();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(notes[i]->Start, m->Start + 240 * i);
  EXPECT_TRUE(CheckStructure(d.score));
}

TEST(InsertNote, AHalfAfterThreeQuartersIsRefusedButAQuarterFits) {
  NewDocument d;
  d.At(1, 0);
  for (int i = 0; i < 3; ++i) ASSERT_NE(InsertNote(d.score, d.End(0), d.Y(1, 16), 3), nullptr);
  EXPECT_EQ(InsertNote(d.score, d.End(0), d.Y(1, 16), 2), nullptr);
  EXPECT_NE(InsertNote(d.score, d.End(0), d.Y(1, 16), 3), nullptr);
}

TEST(InsertNote, VoicesAndStavesHaveTheirOwnRoom) {
  NewDocument d;
  d.At(0, 0);
  ASSERT_NE(InsertNote(d.score, d.End(0), d.Y(0, 8), 1), nullptr);  // a whole note fills voice 0
  EXPECT_EQ(InsertNote(d.score, d.End(0), d.Y(0, 8), 3), nullptr);
  d.score.Voice = 1;
  EXPECT_NE(InsertNote(d.score, d.End(0), d.Y(0, 20), 1), nullptr);
  d.score.Voice = 0;
  d.At(1, 0);
  EXPECT_NE(InsertNote(d.score, d.End(0), d.Y(1, 8), 1), nullptr);  // the lower stave is empty
}

TEST(InsertNote, SmallNotesDoNotCountAgainstTheMeasure) {
  NewDocument d;
  d.At(0, 0);
  std::vector<CNote*> notes;
  for (int i = 0; i < 4; ++i) notes.push_back(InsertNote(d.score, d.End(0), d.Y(0, 12), 3));
  ASSERT_NE(notes[3], nullptr);
  notes[1]->Style |= NTS_GRACE;
  EXPECT_NE(InsertNote(d.score, d.End(0), d.Y(0, 12), 3), nullptr);
  EXPECT_EQ(InsertNote(d.score, d.End(0), d.Y(0, 12), 3), nullptr);
}

TEST(InsertNote, InsertingLeftOfANoteShiftsItAndItsMarksOnce) {
  NewDocument d;
  d.At(0, 1);
  CNote* old = InsertNote(d.score, d.End(1), d.Y(0, 12), 3);
  ASSERT_NE(old, nullptr);
  CMark* staccato = InsertMark(d.score, old->X, old->Y, 90);
  ASSERT_NE(staccato, nullptr);
  ASSERT_EQ(staccato->NoteLink, old);
  d.score.Voice = 1;
  CNote* otherVoice = InsertNote(d.score, d.End(1), d.Y(0, 24), 3);
  d.score.Voice = 0;
  ASSERT_NE(otherVoice, nullptr);
  const int oldLeft = old->Left, oldX = old->X, markLeft = staccato->Left, otherLeft = otherVoice->Left;

  CNote* added = InsertNote(d.score, oldLeft - 4, d.Y(0, 4), 3);
  ASSERT_NE(added, nullptr);
  const int quarter = static_cast<int>(240 * d.Measure(1)->UnitsPerTick);
  EXPECT_EQ(added->Left, oldLeft);
  EXPECT_EQ(old->Left, oldLeft + quarter);
  EXPECT_EQ(old->X, oldX + quarter);
  EXPECT_EQ(staccato->Left, markLeft + quarter);
  EXPECT_EQ(otherVoice->Left, otherLeft);  // another voice keeps its place
  d.score.UpdateDerived();
  EXPECT_EQ(added->Start, d.Measure(1)->Start);
  EXPECT_EQ(old->Start, d.Measure(1)->Start + 240);
  EXPECT_TRUE(CheckStructure(d.score));
}

TEST(InsertNote, FieldsAndStems) {
  NewDocument d;
  d.At(0, 0);
  d.score.Layer = 2;
  d.Stave(0)->Channel = 5;
  CNote* middle = InsertNote(d.score, d.End(0), d.Y(0, 16), 3);
  CNote* above = InsertNote(d.score, d.End(0), d.Y(0, 12), 4);
  CNote* eighthLow = InsertNote(d.score, d.End(0), d.Y(0, 28), 4);
  ASSERT_TRUE(middle && above && eighthLow);
  EXPECT_EQ(middle->Stem, -28);
  EXPECT_EQ(above->Stem, 28);
  EXPECT_EQ(eighthLow->Stem, -28);
  EXPECT_EQ(middle->dy, 16);
  EXPECT_EQ(above->Tail, 1);
  EXPECT_EQ(middle->Tail, 0);
  EXPECT_EQ(middle->Head, 3);
  EXPECT_EQ(middle->Channel, 5);
  EXPECT_EQ(middle->Layer, 2);
  EXPECT_EQ(middle->Velocity, 100);
  EXPECT_EQ(middle->Style, d.score.InsertStyle);
  // The pitch follows the position once the pass runs: B4 on the treble middle line.
  d.score.UpdateDerived();
  EXPECT_EQ(middle->Key, 71);

  d.At(0, 1);
  CNote* whole = InsertNote(d.score, d.End(1), d.Y(0, 20), 1);
  ASSERT_NE(whole, nullptr);
  EXPECT_EQ(whole->Stem, 0);
  d.At(0, 2);
  CNote* half = InsertNote(d.score, d.End(2), d.Y(0, 4), 2);
  ASSERT_NE(half, nullptr);
  EXPECT_EQ(half->Stem, 28);
  EXPECT_EQ(InsertNote(d.score, d.End(2), d.Y(0, 4), 10), nullptr);  // no such duration code
  EXPECT_EQ(InsertNote(d.score, d.End(2), d.Y(0, 4), -1), nullptr);
}

TEST(InsertNote, DottedInsertionLastsLongerAndGetsItsDot) {
  NewDocument d;
  d.At(0, 0);
  d.score.InsertStyle |= NTS_DOTTED;
  ASSERT_EQ(InsertNoteOrChord(d.score, d.End(0), d.Y(0, 12), 2), 1);
  auto notes = d.On<CNote>(d.Stave(0), d.Measure(0));
  ASSERT_EQ(notes.size(), 1u);
  CNote* half = notes[0];
  EXPECT_EQ(half->Ticks, 720);
  auto marks = d.All<CMark>();
  ASSERT_EQ(marks.size(), 1u);
  EXPECT_EQ(marks[0]->Value, 16);
  EXPECT_EQ(marks[0]->NoteLink, half);
  EXPECT_EQ(marks[0]->X, half->Right + 4);
  EXPECT_EQ(marks[0]->Y, half->Y);  // dy 12 is in a space: the dot stays at the head's height
  // A second dotted half does not fit; the pass keeps the 720 ticks.
  EXPECT_EQ(InsertNoteOrChord(d.score, d.End(0), d.Y(0, 12), 2), 0);
  d.score.UpdateDerived();
  EXPECT_EQ(half->Ticks, 720);

  d.score.InsertStyle = (d.score.InsertStyle & ~NTS_DOTTED) | NTS_DOUBLE_DOTTED;
  d.At(0, 1);
  ASSERT_EQ(InsertNoteOrChord(d.score, d.End(1), d.Y(0, 8), 3), 1);
  CNote* quarter = d.On<CNote>(d.Stave(0), d.Measure(1)).at(0);
  EXPECT_EQ(quarter->Ticks, 420);
  d.score.UpdateDerived();
  EXPECT_EQ(quarter->Ticks, 420);
  CMark* dot = d.All<CMark>().back();
  EXPECT_EQ(dot->Value, 17);
  EXPECT_EQ(dot->Y, quarter->Y - 4);  // a head on a line: the dots go into the space above
  EXPECT_TRUE(CheckStructure(d.score));
}

TEST(InsertNote, AClickNearANoteOfTheVoiceMakesAChord) {
  NewDocument d;
  d.At(0, 0);
  CNote* first = InsertNote(d.score, d.End(0), d.Y(0, 16), 3);
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(InsertNoteOrChord(d.score, first->Right + 6, d.Y(0, 8), 3), 1);
  auto notes = d.On<CNote>(d.Stave(0), d.Measure(0));
  ASSERT_EQ(notes.size(), 2u);
  CNote* added = notes[0] == first ? notes[1] : notes[0];
  EXPECT_EQ(added->Left, first->Left);
  EXPECT_GE(first->Chord, 0);
  EXPECT_EQ(added->Chord, first->Chord);
  EXPECT_EQ(added->Ticks, first->Ticks);
  EXPECT_EQ(added->Value, first->Value);
  // Chord members do not take room: three more quarters fit.
  for (int i = 0; i < 3; ++i) EXPECT_NE(InsertNote(d.score, d.End(0), d.Y(0, 12), 3), nullptr) << i;
  EXPECT_EQ(InsertNote(d.score, d.End(0), d.Y(0, 12), 3), nullptr);
  // A third note joins the same chord.
  ASSERT_NE(AddChordNote(d.score, first, first->Left, d.Y(0, 0)), nullptr);
  int members = 0;
  for (CNote* n : d.All<CNote>()) members += n->Chord == first->Chord;
  EXPECT_EQ(members, 3);
  EXPECT_EQ(AddChordNote(d.score, nullptr, 0, 0), nullptr);
  EXPECT_TRUE(CheckStructure(d.score));
}

// --- rests -------------------------------------------------------------------------------

TEST(InsertRest, RestsTakeRoomAndAWholeRestFillsAnyMeasure) {
  NewDocument d;
  // 3/4 from the second measure on.
  ASSERT_NE(InsertTimeSignature(d.score, d.Stave(0), d.Measure(1), 3, 4), nullptr);
  ASSERT_NE(InsertTimeSignature(d.score, d.Stave(1), d.Measure(1), 3, 4), nullptr);
  d.score.AfterLoad();
  ASSERT_EQ(d.Measure(1)->Ticks, 720);
  d.At(0, 1);
  CRest* whole = InsertRest(d.score, d.End(1), d.Y(0, 16), 1);
  ASSERT_NE(whole, nullptr);
  EXPECT_EQ(whole->Ticks, 720);
  EXPECT_EQ(InsertRest(d.score, d.End(1), d.Y(0, 16), 5), nullptr);
  d.score.UpdateDerived();
  EXPECT_EQ(whole->Ticks, 720);

  d.At(0, 0);
  CRest* quarter = InsertRest(d.score, d.End(0), d.Y(0, 16), 3);
  ASSERT_NE(quarter, nullptr);
  EXPECT_EQ(quarter->Ticks, 240);
  EXPECT_EQ(quarter->Head, 3);
  EXPECT_EQ(quarter->Style, 0);  // no update flags: the rest keeps the length it was given
  EXPECT_EQ(quarter->GetBounds().Width(), 16);
  for (int i = 0; i < 3; ++i) EXPECT_NE(InsertNote(d.score, d.End(0), d.Y(0, 12), 3), nullptr);
  EXPECT_EQ(InsertRest(d.score, d.End(0), d.Y(0, 16), 4), nullptr);
  EXPECT_EQ(InsertRest(d.score, d.End(0), d.Y(0, 16), 9), nullptr);  // rests stop at code 8
  EXPECT_TRUE(CheckStructure(d.score));
}

// --- dots and marks ----------------------------------------------------------------------

TEST(InsertMark, DotsFindTheirNoteAndMarksStayWhereClicked) {
  NewDocument d;
  d.At(0, 0);
  CNote* n = InsertNote(d.score, d.End(0), d.Y(0, 8), 2);  // on a line
  ASSERT_NE(n, nullptr);
  CMark* dot = InsertMark(d.score, n->X, n->Y, 16);
  ASSERT_NE(dot, nullptr);
  EXPECT_EQ(dot->X, n->Right + 12);
  EXPECT_EQ(dot->Y, n->Y - 4);
  EXPECT_EQ(dot->Note, n->Number);
  EXPECT_TRUE(n->Style & NTS_DOTTED);
  CMark* twice = InsertMark(d.score, n->X, n->Y, 17);
  ASSERT_NE(twice, nullptr);
  EXPECT_TRUE(n->Style & NTS_DOUBLE_DOTTED);
  EXPECT_FALSE(n->Style & NTS_DOTTED);
  d.score.UpdateDerived();
  EXPECT_EQ(n->Ticks, 840);

  CMark* accent = InsertMark(d.score, 200, d.Y(0, -20), 93);
  ASSERT_NE(accent, nullptr);
  EXPECT_EQ(accent->X, 200);
  EXPECT_EQ(accent->Y, d.Y(0, -20));
  EXPECT_EQ(accent->Note, -1);
  EXPECT_TRUE(accent->GetBounds().Contains(200, d.Y(0, -20)));
  EXPECT_EQ(accent->OwnerStave, d.Stave(0));
  EXPECT_EQ(accent->OwnerMeasure, d.Measure(0));
  EXPECT_EQ(InsertDot(d.score, n, 18), nullptr);
  EXPECT_EQ(InsertDot(d.score, nullptr, 16), nullptr);
  EXPECT_TRUE(CheckStructure(d.score));
}

// --- signs ---------------------------------------------------------------------------------

TEST(InsertSign, SignsLineUpClefKeyTimeAndStopWhenTheMeasureIsFull) {
  NewDocument d;
  CStave* s = d.Stave(0);
  CMeasure* m = d.Measure(1);
  CSign* time = InsertTimeSignature(d.score, s, m, 3, 4);
  CSign* key = InsertKeySignature(d.score, s, m, 257);  // two sharps
  CSign* clef = InsertClef(d.score, s, m, 1);
  ASSERT_TRUE(time && key && clef);
  EXPECT_EQ(clef->Left, m->Left + m->LeftMargin);
  EXPECT_EQ(key->Left, clef->Right);
  EXPECT_EQ(time->Left, key->Right);
  EXPECT_EQ(time->Value, 3 | 4 << 8);
  EXPECT_EQ(key->Value, 258);
  EXPECT_EQ(clef->GetBounds().Width(), 40);
  EXPECT_EQ(key->GetBounds().Width(), 24);
  EXPECT_EQ(time->GetBounds().Width(), 24);
  EXPECT_EQ(clef->Top, s->Top);  // the bass clef's box starts at the top line
  EXPECT_EQ(m->LeftPadding, time->Right - m->Left);

  // 162 - 8 units hold 88 + 24 + 24 but not one more.
  EXPECT_NE(InsertTimeSignature(d.score, s, m, 2, 4), nullptr);
  EXPECT_NE(InsertTimeSignature(d.score, s, m, 2, 4), nullptr);
  const size_t before = d.score.ObjectCount();
  EXPECT_EQ(InsertTimeSignature(d.score, s, m, 2, 4), nullptr);
  EXPECT_EQ(InsertClef(d.score, s, m, 0), nullptr);
  EXPECT_EQ(d.score.ObjectCount(), before);

  // The bass clef sets the pitches of the measure: its top line is A3.
  d.At(0, 1);
  CNote* n = InsertNote(d.score, d.End(1), d.Y(0, 0), 3);
  ASSERT_NE(n, nullptr);
  d.score.UpdateDerived();
  EXPECT_EQ(n->Key, 57);
  EXPECT_TRUE(CheckStructure(d.score));
}

TEST(InsertSign, RefusesMissingPlacesAndImpossibleTimeSignatures) {
  NewDocument d;
  EXPECT_EQ(InsertClef(d.score, nullptr, d.Measure(1), 0), nullptr);
  EXPECT_EQ(InsertClef(d.score, d.Stave(0), nullptr, 0), nullptr);
  EXPECT_EQ(InsertTimeSignature(d.score, d.Stave(0), d.Measure(1), 4, 0), nullptr);
  EXPECT_EQ(InsertTimeSignature(d.score, d.Stave(0), d.Measure(1), 0, 4), nullptr);
  EXPECT_EQ(InsertTimeSignature(d.score, d.Stave(0), d.Measure(1), 200, 4), nullptr);
  // A key signature goes in front of the time signature of the first measure.
  CSign* key = InsertKeySignature(d.score, d.Stave(0), d.Measure(0), 272);  // one flat
  ASSERT_NE(key, nullptr);
  CSign* time = d.On<CSign>(d.Stave(0), d.Measure(0)).back();
  EXPECT_EQ(time->Style, SIGN_TIME);
  EXPECT_EQ(time->Left, key->Right);
}

// --- page objects ---------------------------------------------------------------------------

TEST(InsertText, TextsByKindAndFittedToTheirFont) {
  NewDocument d;
  d.At(0, 0);
  EXPECT_STREQ(InsertTextFor(0), "Text");
  EXPECT_STREQ(InsertTextFor(5), "andante");
  EXPECT_STREQ(InsertTextFor(72), "fff");
  EXPECT_STREQ(InsertTextFor(21), "\xA1");
  EXPECT_STREQ(InsertTextFor(4), "");

  CXText* plain = InsertText(d.score, 100, 20, 68);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->text, "mf");
  EXPECT_EQ(plain->GetBounds(), (Rect{100, 20, 200, 40}));
  EXPECT_EQ(plain->Font, d.score.Font);
  EXPECT_EQ(plain->Value, 68);

  RecordingDeviceContext dc;
  const LogFont before = dc.GetFont();
  CXText* fitted = InsertText(d.score, 100, 20, 9, &dc);
  ASSERT_NE(fitted, nullptr);
  dc.SetFont(d.score.Fonts[1]);
  const TextSize size = dc.GetTextExtent("allegro");
  EXPECT_EQ(fitted->GetBounds().Width(), size.Width);
  EXPECT_EQ(fitted->GetBounds().Height(), size.Height);
  CXText* empty = InsertText(d.score, 100, 20, 4, &dc);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->GetBounds().Width(), 8);  // never smaller than 8 x 8
  EXPECT_EQ(empty->GetBounds().Height(), std::max(8, size.Height));
  dc.SetFont(before);

  // The tempo word takes effect.
  ASSERT_NE(InsertText(d.score, 100, 20, 5), nullptr);
  d.score.UpdateDerived();
  EXPECT_EQ(d.score.Tempo, 833333);
  EXPECT_TRUE(CheckStructure(d.score));
}

TEST(InsertObjects, DegenerateSpansAndDirections) {
  NewDocument d;
  d.At(1, 2);
  // Zero-width endings and octave lines keep a one-unit box; a lower octave line opens upwards.
  CEnding* ending = InsertEnding(d.score, 300, 30, 300);
  ASSERT_NE(ending, nullptr);
  EXPECT_EQ(ending->GetBounds(), (Rect{300, 30, 301, 46}));
  COctaveLine* below = InsertOctaveLine(d.score, 100, 300, 100, 1);
  ASSERT_NE(below, nullptr);
  EXPECT_EQ(below->GetBounds(), (Rect{100, 292, 101, 300}));
  COctaveLine* odd = InsertOctaveLine(d.score, 100, 40, 200, 7);
  ASSERT_NE(odd, nullptr);
  EXPECT_EQ(odd->Value, 0);
  // A line drawn right to left keeps its points and a normalised box.
  CXLine* line = InsertLine(d.score, 200, 10, 150, 40);
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->GetBounds(), (Rect{150, 10, 200, 40}));
  EXPECT_EQ(line->X, 200);
  d.score.Layer = 3;
  CVisualMidi* vm = InsertVisualMidi(d.score, 50, 60, 192);
  CXImage* image = InsertXImage(d.score, 300, 200);
  ASSERT_TRUE(vm && image);
  EXPECT_EQ(vm->Layer, 3);     // visual-MIDI objects take the current layer,
  EXPECT_EQ(image->Layer, 0);  // images keep their own
  EXPECT_EQ(image->OwnerMeasure, d.Measure(2));
  EXPECT_EQ(image->GetBounds(), (Rect{300, 200, 316, 216}));
  // A link keeps its 80 x 20 box, moved to the point, in font 1.
  CXLink* link = InsertXLink(d.score, 250, 120);
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->GetBounds(), (Rect{250, 120, 330, 140}));
  EXPECT_EQ(link->Font, 1);
  EXPECT_EQ(link->text, "link to");
  EXPECT_EQ(link->OwnerStave, d.score.CurrentStave);
  CAngleText* angle = InsertAngleText(d.score, 120, 90);
  ASSERT_NE(angle, nullptr);
  EXPECT_EQ(angle->GetBounds(), (Rect{120, 90, 184, 110}));
  EXPECT_EQ(angle->Layer, 3);
  EXPECT_EQ(angle->Escapement, 300);
  EXPECT_TRUE(CheckStructure(d.score));
}

TEST(InsertSlur, SpannedNotesBecomeLegato) {
  NewDocument d;
  d.At(0, 0);
  std::vector<CNote*> notes;
  for (int i = 0; i < 4; ++i) notes.push_back(InsertNote(d.score, d.End(0), d.Y(0, 12), 3));
  ASSERT_NE(notes[3], nullptr);
  d.score.UpdateDerived();
  CSlurLine* slur = InsertSlur(d.score, notes[0]->X, notes[0]->Y, notes[2]->X, notes[2]->Y,
                               notes[1]->X, notes[1]->Y - 10);
  ASSERT_NE(slur, nullptr);
  EXPECT_EQ(slur->Note, notes[0]->Number);
  EXPECT_EQ(slur->Y, notes[0]->Y - 8);  // drawn above, since it runs to the right
  EXPECT_EQ(slur->Y1, notes[2]->Y - 8);
  EXPECT_EQ(slur->GetBounds().Width(), 16);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(notes[i]->Style & NTS_FULL_LENGTH) << i;
  EXPECT_FALSE(notes[3]->Style & NTS_FULL_LENGTH);
  EXPECT_TRUE(CheckStructure(d.score));
}

// --- without an insertion point ---------------------------------------------------------------

TEST(InsertionPoint, StaveObjectsNeedOne) {
  NewDocument d;
  d.score.SetCurrent(nullptr, nullptr);
  const size_t before = d.score.ObjectCount();
  EXPECT_EQ(InsertNote(d.score, 100, 100, 3), nullptr);
  EXPECT_EQ(InsertNoteOrChord(d.score, 100, 100, 3), 0);
  EXPECT_EQ(InsertRest(d.score, 100, 100, 3), nullptr);
  EXPECT_EQ(InsertMark(d.score, 100, 100, 16), nullptr);
  EXPECT_EQ(InsertXImage(d.score, 100, 100), nullptr);
  EXPECT_EQ(InsertXLink(d.score, 100, 100), nullptr);
  EXPECT_EQ(InsertText(d.score, 100, 100, 1), nullptr);
  EXPECT_EQ(InsertEnding(d.score, 100, 100, 200), nullptr);
  EXPECT_EQ(InsertOctaveLine(d.score, 100, 100, 200, 0), nullptr);
  EXPECT_EQ(InsertShape(d.score, Rect{0, 0, 10, 10}, 0), nullptr);
  EXPECT_EQ(InsertVisualMidi(d.score, 100, 100, 192), nullptr);
  EXPECT_EQ(InsertAngleText(d.score, 100, 100), nullptr);
  EXPECT_EQ(InsertSlur(d.score, 100, 100, 200, 100, 150, 90), nullptr);
  EXPECT_EQ(d.score.ObjectCount(), before);
  d.score.SetCurrent(d.Stave(0), nullptr);
  EXPECT_EQ(InsertNote(d.score, 100, 100, 3), nullptr);
  EXPECT_EQ(d.score.ObjectCount(), before);
  // A line is made free instead.
  CXLine* line = InsertLine(d.score, 10, 10, 40, 10);
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->OwnerStave, nullptr);
  EXPECT_TRUE(CheckStructure(d.score));
}

}  // namespace
