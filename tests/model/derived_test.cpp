// The recalculation pass, step by step.
#include <gtest/gtest.h>

#include <algorithm>

#include <random>

#include "model/derived.h"
#include "model/score.h"
#include "model/update_internal.h"
#include "score_fixture.h"
#include "tools/scoregen/scoregen.h"

namespace {

constexpr int kAuto = NTS_UPDATE_TICKS | NTS_UPDATE_KEY | NTS_UPDATE_PLAYTICKS | NTS_UPDATE_VELOCITY;

// --- pitch ------------------------------------------------------------------------

TEST(Pitch, ClefsAndTheTopAndBottomLines) {
  SmallScore t(1, 3);
  CNote* trebleTop = t.Note(0, 0, 100, 0);
  CNote* trebleBottom = t.Note(0, 0, 120, 32);
  CNote* justAbove = t.Note(0, 0, 140, -2);  // step 0: division toward zero
  t.Sign(0, 1, 232, SIGN_CLEF, 1);
  CNote* bassTop = t.Note(0, 1, 260, 0);
  t.Sign(0, 2, 408, SIGN_CLEF, 2);
  CNote* altoTop = t.Note(0, 2, 430, 0);
  t.Sign(0, 2, 450, SIGN_CLEF, 4);  // codes 3..5 act as 0..2
  CNote* bassAgain = t.Note(0, 2, 470, 0);
  CNote* fixedKey = t.Note(0, 2, 490, 0, 3, NTS_UPDATE_TICKS);
  fixedKey->Key = 33;
  t.Update();
  EXPECT_EQ(trebleTop->Key, 77);
  EXPECT_EQ(trebleBottom->Key, 64);
  EXPECT_EQ(justAbove->Key, 77);
  EXPECT_EQ(justAbove->dy, -2);
  EXPECT_EQ(bassTop->Key, 57);
  EXPECT_EQ(altoTop->Key, 67);
  EXPECT_EQ(bassAgain->Key, 57);
  EXPECT_EQ(fixedKey->Key, 33);
  EXPECT_EQ(fixedKey->dy, 0);
}

TEST(Pitch, KeySignatureAndAccidentalsWithinTheMeasure) {
  SmallScore t(1, 3);
  t.Sign(0, 0, 56, SIGN_KEY, 258);  // two sharps: F and C
  CNote* f5 = t.Note(0, 0, 80, 0);
  CNote* c5 = t.Note(0, 0, 100, 12);
  CNote* f4 = t.Note(0, 0, 120, 28);
  CNote* g4 = t.Note(0, 0, 140, 24);
  t.Sign(0, 0, 150, SIGN_KEY, 3, 0);  // a natural on the F line
  CNote* f5Natural = t.Note(0, 0, 170, 0);
  CNote* f4Natural = t.Note(0, 0, 190, 28);
  CNote* f5NextMeasure = t.Note(0, 1, 260, 0);
  t.Sign(0, 2, 410, SIGN_KEY, 274);  // two flats: B and E
  CNote* b4 = t.Note(0, 2, 430, 16);
  CNote* e5 = t.Note(0, 2, 450, 4);
  t.Sign(0, 2, 460, SIGN_KEY, 8, 16);  // a double sharp on the B line
  CNote* b4x = t.Note(0, 2, 480, 16);
  t.Update();
  EXPECT_EQ(f5->Key, 78);
  EXPECT_EQ(c5->Key, 73);
  EXPECT_EQ(f4->Key, 66);
  EXPECT_EQ(g4->Key, 67);
  EXPECT_EQ(f5Natural->Key, 77);
  EXPECT_EQ(f4Natural->Key, 65);
  EXPECT_EQ(f5NextMeasure->Key, 78);
  EXPECT_EQ(b4->Key, 70);
  EXPECT_EQ(e5->Key, 75);
  EXPECT_EQ(b4x->Key, 73);  // B natural plus two
}

TEST(Pitch, ClefsAreNotAccidentalsAndAccidentalsAreNotClefs) {
  SmallScore t(1, 2);
  // A bass clef (code 1) on the D line is no flat, and a flat (code 1) no clef.
  t.Sign(0, 0, 56, SIGN_CLEF, 1, 16);
  CNote* d3 = t.Note(0, 0, 80, 16);
  t.Sign(0, 0, 100, SIGN_KEY, 1, 0);  // a flat on the bass top line: A
  CNote* a3 = t.Note(0, 0, 120, 0);
  CNote* g3 = t.Note(0, 0, 140, 4);
  t.Update();
  EXPECT_EQ(d3->Key, 50);
  EXPECT_EQ(a3->Key, 56);
  EXPECT_EQ(g3->Key, 55);  // still the bass clef
}

TEST(Pitch, AltoAccidentalsAlterTheLineTheyStandOn) {
  SmallScore t(1, 1);
  t.Sign(0, 0, 56, SIGN_CLEF, 2);
  t.Sign(0, 0, 70, SIGN_KEY, 2, 0);  // a sharp on the alto top line: G4
  CNote* g4 = t.Note(0, 0, 90, 0);
  CNote* f4 = t.Note(0, 0, 110, 4);
  CNote* c4 = t.Note(0, 0, 130, 16);  // middle line of the alto clef
  t.Update();
  EXPECT_EQ(g4->Key, 68);
  EXPECT_EQ(f4->Key, 65);
  EXPECT_EQ(c4->Key, 60);
}

// --- time signatures and measure timing ----------------------------------------

TEST(Timing, MeasureLengthsForTimeSignatures) {
  struct Case { int num, den, ticks; };
  for (Case c : {Case{4, 4, 960}, Case{3, 4, 720}, Case{6, 8, 720}, Case{2, 2, 960}}) {
    SmallScore t(1, 2);
    t.Sign(0, 0, 56, SIGN_TIME, c.den << 8 | c.num);
    t.Update();
    EXPECT_EQ(t.Measure(0)->Ticks, c.ticks) << c.num << "/" << c.den;
    EXPECT_EQ(t.Measure(1)->Ticks, c.ticks) << "inherited";
    EXPECT_EQ(t.score.Numerator, c.num);
    EXPECT_EQ(t.Measure(1)->Start, c.ticks);
  }
}

TEST(Timing, ZeroLengthMeasuresAndZeroDenominators) {
  SmallScore t(1, 4);
  t.Measure(1)->Style |= MEASURE_ZERO_LENGTH;
  t.Sign(0, 3, 420, SIGN_TIME, 0x0003);  // 3/0: no length instead of a division by zero
  t.Update();
  EXPECT_EQ(t.Measure(1)->Ticks, 0);
  EXPECT_EQ(t.Measure(2)->Start, 960);
  EXPECT_EQ(t.Measure(1)->Start, 960);
  EXPECT_EQ(t.Measure(3)->Ticks, 0);
}

CStaff* AddSystem(SmallScore& t, int top, int measures, int left = 52, int width = 50) {
  auto s = std::make_unique<CStaff>();
  CStaff* staff = s.get();
  staff->SetBounds(left, top, left + measures * width, top + 32);
  t.score.AddObject(std::move(s));
  t.score.Staffs.push_back(staff);
  t.score.MakeStave(staff, top);
  for (int i = 0; i < measures; ++i) t.score.MakeMeasure(staff, left + (i + 1) * width);
  return staff;
}

TEST(Timing, SystemsInPageOrderWithInheritedSignatures) {
  SmallScore t(1, 10, 100);
  // Made first but lower on the page: comes second.
  CStaff* lower = AddSystem(t, 400, 3);
  std::swap(t.score.Staffs[0], t.score.Staffs[1]);
  auto time = [&](CStaff* system, int m, int value) {
    auto s = std::make_unique<CSign>();
    s->Style = SIGN_TIME;
    s->Value = value;
    s->SetBounds(system->Measures[m]->Left + 2, system->Top, system->Measures[m]->Left + 10, system->Bottom);
    t.score.AddAttachedObject(system->Staves[0], system->Measures[m], std::move(s));
  };
  time(lower, 1, 0x0403);
  time(lower, 2, 0x0404);
  t.Update();
  EXPECT_EQ(t.score.Staffs[0], t.staff);
  EXPECT_EQ(lower->Start, 10 * 960);
  EXPECT_EQ(lower->Ticks, 960 + 720 + 960);
  EXPECT_EQ(t.staff->Ticks, 9600);
  // Measures are laid edge to edge from the system's left.
  EXPECT_EQ(lower->Measures[0]->Left, 52);
  EXPECT_EQ(lower->Measures[1]->Left, lower->Measures[0]->Right);
  EXPECT_EQ(lower->Measures[1]->Top, 400);
}

TEST(Timing, RepeatBitsFollowTheBarLine) {
  SmallScore t(1, 3);
  t.Measure(0)->Value = 41;
  t.Measure(1)->Value = 166;
  t.Measure(2)->Style = MEASURE_REPEAT_END | MEASURE_REPEAT_START | MEASURE_CONTINUATION;
  t.Update();
  EXPECT_EQ(t.Measure(0)->Style & 3, 2);
  EXPECT_EQ(t.Measure(1)->Style & 3, 1);
  EXPECT_EQ(t.Measure(2)->Style, MEASURE_CONTINUATION);
}

TEST(Timing, EmptySystemKeepsNoStart) {
  SmallScore t(1, 1);
  CStaff* empty = AddSystem(t, 400, 0);
  t.Update();
  EXPECT_EQ(empty->Start, -1);
  EXPECT_EQ(empty->Ticks, 0);
}

// --- note lengths -------------------------------------------------------------------

TEST(Lengths, DotsGraceNotesAndTuplets) {
  SmallScore t(1, 3);
  t.Sign(0, 1, 232, SIGN_TIME, 0x0403);
  CNote* dottedQuarter = t.Note(0, 0, 80, 0, 3, kAuto | NTS_DOTTED);
  CNote* doubleDottedHalf = t.Note(0, 0, 100, 0, 2, kAuto | NTS_DOUBLE_DOTTED);
  CNote* bothDots = t.Note(0, 0, 120, 0, 2, kAuto | NTS_DOTTED | NTS_DOUBLE_DOTTED);
  CNote* graceEighth = t.Note(0, 0, 140, 0, 4, kAuto | NTS_GRACE);
  CNote* tripletEighth = t.Note(0, 0, 160, 0, 4 | 3 << 8);
  CNote* quintupletSixteenth = t.Note(0, 0, 180, 0, 5 | 5 << 8);
  CNote* breve = t.Note(0, 0, 200, 0, 0);
  CRest* wholeRest = t.Rest(0, 1, 260, 1);
  CNote* wholeNote = t.Note(0, 1, 300, 0, 1);
  CRest* wholeTripletRest = t.Rest(0, 1, 320, 1 | 3 << 8);
  CNote* manual = t.Note(0, 2, 420, 0, 3, 0);
  manual->Ticks = 77;
  t.Update();
  EXPECT_EQ(dottedQuarter->Ticks, 360);
  EXPECT_EQ(doubleDottedHalf->Ticks, 840);
  EXPECT_EQ(bothDots->Ticks, 720);
  EXPECT_EQ(graceEighth->Ticks, 30);
  EXPECT_EQ(tripletEighth->Ticks, 80);
  EXPECT_EQ(quintupletSixteenth->Ticks, 48);
  EXPECT_EQ(breve->Ticks, 1920);
  EXPECT_EQ(wholeRest->Ticks, 720);
  EXPECT_EQ(wholeNote->Ticks, 960);
  EXPECT_EQ(wholeTripletRest->Ticks, 640);  // only a plain whole rest fills the measure
  EXPECT_EQ(manual->Ticks, 77);
}

// --- start times ------------------------------------------------------------------------

TEST(Starts, VoicesChordsAndOverfullMeasures) {
  SmallScore t(1, 2);
  CNote* a = t.Note(0, 0, 70, 0);
  CNote* head = t.Note(0, 0, 90, 8);
  CNote* m1 = t.Note(0, 0, 90, 16);
  CNote* m2 = t.Note(0, 0, 92, 24);
  head->Chord = m1->Chord = m2->Chord = head->Number;
  CNote* b = t.Note(0, 0, 110, 0);
  CNote* v1a = t.Note(0, 0, 75, 30, 2, kAuto, 1);
  CNote* v1b = t.Note(0, 0, 95, 30, 2, kAuto, 1);
  CNote* stray = t.Note(0, 0, 130, 0, 3, kAuto, 20);
  stray->Start = 12345;
  // Five more quarters overfill the measure: 960 is reached, then the cursor stops.
  CNote* c = t.Note(0, 0, 150, 0);
  CNote* d = t.Note(0, 0, 170, 0);
  CNote* e = t.Note(0, 0, 190, 0);
  CNote* f = t.Note(0, 0, 210, 0);
  CNote* next = t.Note(0, 1, 240, 0);
  t.Update();
  EXPECT_EQ(a->Start, 0);
  EXPECT_EQ(head->Start, 240);
  EXPECT_EQ(m1->Start, 240);
  EXPECT_EQ(m2->Start, 240);
  EXPECT_EQ(b->Start, 480);
  EXPECT_EQ(v1a->Start, 0);
  EXPECT_EQ(v1b->Start, 480);
  EXPECT_EQ(stray->Start, 12345);
  EXPECT_EQ(c->Start, 720);
  EXPECT_EQ(d->Start, 960);
  EXPECT_EQ(e->Start, 1200);
  EXPECT_EQ(f->Start, 1200);
  EXPECT_EQ(next->Start, 1200);
  EXPECT_EQ(next->PlayStart, 1200);
}

// --- play times ------------------------------------------------------------------------

TEST(PlayTimes, ArticulationGapTiesAndFullLength) {
  SmallScore t(1, 3);
  CNote* quarter = t.Note(0, 0, 70, 0);
  CNote* eighth = t.Note(0, 0, 90, 0, 4);
  CNote* full = t.Note(0, 0, 110, 0, 3, kAuto | NTS_FULL_LENGTH);
  CRest* rest = t.Rest(0, 0, 130, 3);
  CNote* tie1 = t.Note(0, 1, 240, 0);
  CNote* tie2 = t.Note(0, 1, 260, 0);
  CNote* tie3 = t.Note(0, 1, 280, 0);
  tie1->Tie = tie2->Tie = tie3->Tie = tie1->Number;
  CNote* e1 = t.Note(0, 2, 420, 0, 4);
  CNote* e2 = t.Note(0, 2, 440, 0, 4);
  e1->Tie = e2->Tie = e1->Number;
  CNote* lonelyHead = t.Note(0, 2, 460, 0);
  lonelyHead->Tie = lonelyHead->Number;
  CNote* locked = t.Note(0, 2, 480, 0, 3, NTS_UPDATE_TICKS);
  locked->PlayTicks = 17;
  t.Update();
  EXPECT_EQ(quarter->PlayTicks, 225);
  EXPECT_EQ(eighth->PlayTicks, 96);
  EXPECT_EQ(full->PlayTicks, 240);
  EXPECT_EQ(rest->PlayTicks, 240);
  EXPECT_EQ(tie1->PlayTicks, 720 - 15);
  EXPECT_EQ(tie2->PlayTicks, 225);
  // A tied pair of eighths sounds four fifths of the whole chain.
  EXPECT_EQ(e1->PlayTicks, 192);
  EXPECT_EQ(lonelyHead->PlayTicks, 225);
  EXPECT_EQ(locked->PlayTicks, 17);
}

TEST(PlayTimes, RolledCombinationsFromTheLowestNoteUp) {
  SmallScore t(1, 1);
  CNote* top = t.Note(0, 0, 100, 0, 3, kAuto | NTS_FULL_LENGTH);
  CNote* middle = t.Note(0, 0, 100, 8, 3, kAuto | NTS_FULL_LENGTH);
  CNote* low = t.Note(0, 0, 100, 16, 3, kAuto | NTS_FULL_LENGTH);
  top->Chord = middle->Chord = low->Chord = top->Number;
  auto combo = std::make_unique<CXCombo>();
  combo->Members = {top->Number, low->Number, 999, middle->Number};
  t.Attach(0, 0, std::move(combo));
  t.Update();
  EXPECT_EQ(low->PlayStart, 0);
  EXPECT_EQ(middle->PlayStart, 16);
  EXPECT_EQ(top->PlayStart, 32);
  EXPECT_EQ(low->PlayTicks, 240);
  EXPECT_EQ(middle->PlayTicks, 224);
  EXPECT_EQ(top->PlayTicks, 208);

  // Every member takes its place in the roll, not only the notes: a text
  // between the low and the middle note delays the two above it.
  CXText* word = t.Text(100, (low->Y + middle->Y) / 2, "arp");  // placed by its Top
  for (const auto& up : t.score.Objects())
    if (auto* c = As<CXCombo>(up.get())) c->Members.push_back(word->Number);
  t.Update();
  EXPECT_EQ(low->PlayStart, 0);
  EXPECT_EQ(middle->PlayStart, 32);
  EXPECT_EQ(top->PlayStart, 48);
  EXPECT_EQ(top->PlayTicks, 192);
}

// Boxes at the very edge of int (a file opened without the clamps): the
// recalculation works their sums out without overflowing.
TEST(PlayTimes, NotesAtTheEdgeOfIntRecalculate) {
  SmallScore t(1, 1);
  CNote* far = t.Note(0, 0, 100, 8, 3, kAuto);
  CNote* near = t.Note(0, 0, 140, 8, 3, kAuto);
  far->Left = INT32_MAX - 10;
  far->Right = INT32_MAX;
  far->Stem = 28;
  far->Bottom = INT32_MAX - 4;
  t.Update();
  EXPECT_EQ(near->Ticks, 240);
  EXPECT_EQ(far->Right, INT32_MAX);
}

// --- velocities and articulations ---------------------------------------------------

TEST(Dynamics, WordsSetTheLevelWithCase) {
  SmallScore t(1, 2);
  CNote* before = t.Note(0, 0, 60, 0);
  t.Text(95, 120, "mf");
  CNote* n1 = t.Note(0, 0, 100, 0);
  CNote* n2 = t.Note(0, 0, 130, 0);
  t.Text(235, 120, "MF");
  CNote* n3 = t.Note(0, 1, 240, 0);
  CNote* locked = t.Note(0, 1, 270, 0, 3, NTS_UPDATE_TICKS);
  locked->Velocity = 33;
  t.Text(900, 900, "ppp");  // outside every system: ignored
  t.Update();
  EXPECT_EQ(before->Velocity, 100);
  EXPECT_EQ(n1->Velocity, 90);
  EXPECT_EQ(n2->Velocity, 90);
  EXPECT_EQ(n3->Velocity, 90);
  EXPECT_EQ(locked->Velocity, 33);
}

TEST(Dynamics, CrescendoRampsFromTheCurrentLevel) {
  SmallScore t(1, 1);
  t.Text(60, 120, "p");
  CNote* n[4];
  for (int i = 0; i < 4; ++i) n[i] = t.Note(0, 0, 100 + 50 * i, 0);
  CNote* after = t.Note(0, 0, 400, 0);
  auto wedge = std::make_unique<CXObject>();
  wedge->Value = 0;
  wedge->SetBounds(100, 120, 258, 130);
  t.score.AddObject(std::move(wedge));
  t.Update();
  // Offsets (X - 100) x 20 / 150 for X = 108, 158, 208, 258.
  EXPECT_EQ(n[0]->Velocity, 72 + 1);
  EXPECT_EQ(n[1]->Velocity, 72 + 7);
  EXPECT_EQ(n[2]->Velocity, 72 + 14);
  EXPECT_EQ(n[3]->Velocity, 72 + 21);
  EXPECT_EQ(after->Velocity, 72 + 21);  // the level stays after the ramp
}

TEST(Dynamics, DiminuendoAndTheCap) {
  SmallScore t(1, 1);
  t.Text(60, 120, "fff");
  CNote* a = t.Note(0, 0, 100, 0);
  CNote* b = t.Note(0, 0, 200, 0);
  auto wedge = std::make_unique<CXObject>();
  wedge->Value = 1;
  wedge->SetBounds(100, 120, 208, 130);
  t.score.AddObject(std::move(wedge));
  t.Update();
  EXPECT_EQ(a->Velocity, 120 - 1);
  EXPECT_EQ(b->Velocity, 120 - 21);  // (208 - 100) x -20 / 100
}

TEST(Dynamics, ACrescendoCappedAt126GivesTheSameVelocitiesOnEveryPass) {
  SmallScore t(1, 1);
  t.Text(60, 120, "ff");
  CNote* n[3];
  for (int i = 0; i < 3; ++i) n[i] = t.Note(0, 0, 100 + 100 * i, 0);
  auto wedge = std::make_unique<CXObject>();
  wedge->Value = 0;
  wedge->SetBounds(100, 120, 308, 130);
  t.score.AddObject(std::move(wedge));
  t.Update();
  // 116 plus offsets (X - 100) x 20 / 200 = 0, 10 and 20, capped at 126.
  const int expected[3] = {116, 126, 126};
  for (int pass = 0; pass < 3; ++pass) {
    for (int i = 0; i < 3; ++i) EXPECT_EQ(n[i]->Velocity, expected[i]) << "pass " << pass << " note " << i;
    t.Update();
  }
}

TEST(Dynamics, TheRecalculationOfAWorkloadIsStable) {
  // Many dynamics and hairpins over many notes: a second pass must change
  // nothing, or every edit would shift velocities it did not touch.
  CScore score;
  WorkloadOptions o;
  o.Systems = 20;
  o.StavesPerSystem = 4;
  o.DynamicsTexts = 200;
  o.Hairpins = 150;
  GenerateWorkload(score, o);
  score.UpdateDerived();
  const std::vector<uint8_t> once = score.SnapshotToBytes();
  score.UpdateDerived();
  EXPECT_TRUE(score.SnapshotToBytes() == once);
}

TEST(Dynamics, GraphicsWedgesRampToo) {
  SmallScore t(1, 1);
  t.Text(60, 120, "mp");
  CNote* a = t.Note(0, 0, 100, 0);
  CNote* b = t.Note(0, 0, 200, 0);
  CNote* c = t.Note(0, 0, 300, 0);
  auto graphic = std::make_unique<CXGraphics>();
  graphic->Value = 0;
  graphic->SetBounds(100, 120, 208, 130);
  t.Attach(0, 0, std::move(graphic));
  auto shape = std::make_unique<CXGraphics>();  // a rectangle, not a wedge
  shape->Value = 2;
  shape->SetBounds(280, 120, 320, 130);
  t.Attach(0, 0, std::move(shape));
  t.Update();
  EXPECT_EQ(a->Velocity, 80 + 1);
  EXPECT_EQ(b->Velocity, 80 + 21);
  EXPECT_EQ(c->Velocity, 80 + 21);
}

TEST(Articulations, MarksWithinTwelveUnits) {
  SmallScore t(2, 1);
  CNote* staccato = t.Note(0, 0, 100, 0);
  t.Mark(0, 0, staccato->X + 12, 90);
  CNote* tooFar = t.Note(0, 0, 200, 0);
  t.Mark(0, 0, tooFar->X - 13, 90);
  CNote* tenuto = t.Note(0, 0, 300, 0);
  t.Mark(0, 0, tenuto->X, 88);
  CNote* accented = t.Note(0, 0, 400, 0);
  t.Mark(0, 0, accented->X, 93);
  CNote* otherStave = t.Note(1, 0, 100, 0);
  t.Update();
  EXPECT_EQ(staccato->PlayTicks, 120);
  EXPECT_TRUE(staccato->Style & NTS_STACCATO);
  EXPECT_EQ(tooFar->PlayTicks, 225);
  EXPECT_EQ(tenuto->PlayTicks, 240);
  EXPECT_EQ(accented->Velocity, 120);
  EXPECT_FALSE(otherStave->Style & NTS_STACCATO);
}

// --- tempo words, beams, endings, switch ------------------------------------------------

TEST(TempoWords, CaseRulesAndTheLastMatch) {
  EXPECT_EQ(TempoOfWord("allegro", 7), 454545);
  EXPECT_EQ(TempoOfWord("ALLEGRO", 7), 454545);
  EXPECT_EQ(TempoOfWord("grave", 5), 0);
  EXPECT_EQ(TempoOfWord("Grave", 5), 1500000);
  EXPECT_EQ(TempoOfWord("Allegro ", 8), 0);
  SmallScore t(1, 1);
  t.Text(60, 140, "grave");
  t.Update();
  EXPECT_EQ(t.score.Tempo, 600000);
  t.Text(60, 140, "Largo");
  t.Text(60, 140, "presto");
  t.Update();
  EXPECT_EQ(t.score.Tempo, 326086);
}

TEST(Beams, TakeTheStaveOfTheLastNoteUnderAnEnd) {
  SmallScore t(2, 2);
  CNote* n = t.Note(1, 1, 300, 16);
  n->Stem = -28;
  auto beam = std::make_unique<CBeam>();
  beam->X = 500;
  beam->Y = 10;
  beam->X1 = n->X;
  beam->Y1 = n->Y - 27;  // the tip of the stem
  CBeam* b = t.Attach(0, 0, std::move(beam));
  t.Update();
  EXPECT_EQ(b->Stave, t.Stave(1)->Number);
  EXPECT_EQ(b->Measure, t.Measure(1)->Number);
  EXPECT_EQ(b->OwnerStave, t.Stave(1));
  // It moved from the first stave's list into the second's, as a reload
  // would list it.
  const auto& from = t.Stave(0)->Attached;
  const auto& to = t.Stave(1)->Attached;
  EXPECT_EQ(std::count(from.begin(), from.end(), b), 0);
  EXPECT_EQ(std::count(to.begin(), to.end(), b), 1);
  EXPECT_TRUE(std::is_sorted(to.begin(), to.end(),
                             [](const CStaveObject* x, const CStaveObject* y) { return x->Left < y->Left; }));
}

// Many notes with stems both ways, overlapping boxes, boxes spanning many
// cells and notes at int's limits; beam ends on stems, heads, cell edges and
// nowhere. Every beam must end up with the last note, in object order, whose
// box holds one of its ends, worked out here one note at a time.
TEST(Beams, EveryBeamTakesTheLastNoteWhoseBoxHoldsAnEnd) {
  std::mt19937 rng(7);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 20; ++round) {
    SmallScore t(3, 4);
    std::vector<CNote*> notes;
    for (int i = 0; i < 300; ++i) {
      CNote* n = t.Note(pick(0, 2), pick(0, 3), pick(40, 600), pick(-40, 60));
      n->Stem = static_cast<int8_t>(pick(-128, 127));
      if (pick(0, 40) == 0) n->SetBounds(n->Left, n->Top - 900, n->Right + 700, n->Bottom);  // many cells
      if (pick(0, 60) == 0) n->SetBounds(INT32_MAX - 3, n->Top, INT32_MAX, n->Bottom);
      if (pick(0, 60) == 0) n->SetBounds(INT32_MIN, INT32_MIN, INT32_MIN + 5, INT32_MIN + 40);
      notes.push_back(n);
    }
    std::vector<CBeam*> beams;
    for (int i = 0; i < 120; ++i) {
      auto b = std::make_unique<CBeam>();
      auto endOn = [&](int32_t& x, int32_t& y) {
        const CNote* n = notes[static_cast<size_t>(pick(0, 299))];
        switch (pick(0, 3)) {
          case 0: {
            // The stem's tip at the box's left edge, held within int.
            auto sat = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
            x = sat(int64_t(n->Left) - 1);
            y = sat(n->Stem >= 0 ? int64_t(n->Bottom) + n->Stem - 1 : int64_t(n->Top) + n->Stem);
            break;
          }
          case 1: x = n->Right, y = n->Top; break;
          case 2: x = 64 * pick(0, 10), y = 64 * pick(0, 6) - 1; break;
          default: x = pick(-100, 700), y = pick(-100, 5000); break;
        }
      };
      endOn(b->X, b->Y);
      endOn(b->X1, b->Y1);
      b->SetBounds(std::min(b->X, b->X1), std::min(b->Y, b->Y1), std::max(b->X, b->X1), std::max(b->Y, b->Y1));
      beams.push_back(t.Attach(pick(0, 2), pick(0, 3), std::move(b)));
    }
    std::vector<const CNote*> expected;
    for (const CBeam* b : beams) {
      const CNote* last = nullptr;
      for (const CNote* n : notes) {
        const int64_t bottom = int64_t(n->Bottom) + (n->Stem >= 0 ? n->Stem : 0);
        const int64_t top = int64_t(n->Top) + (n->Stem < 0 ? n->Stem : 0);
        auto holds = [&](int64_t x, int64_t y) {
          // The box's edges are held within int, as the pass keeps them.
          return x >= std::max<int64_t>(int64_t(n->Left) - 1, INT32_MIN) &&
                 x < std::min<int64_t>(int64_t(n->Right) + 1, INT32_MAX) && y >= std::max<int64_t>(top, INT32_MIN) &&
                 y < std::min<int64_t>(bottom, INT32_MAX);
        };
        if (holds(b->X, b->Y) || holds(b->X1, b->Y1)) last = n;
      }
      expected.push_back(last);
    }
    std::vector<CStave*> before;
    for (const CBeam* b : beams) before.push_back(b->OwnerStave);
    t.Update();
    int taken = 0;
    for (size_t i = 0; i < beams.size(); ++i) {
      const CStave* stave = expected[i] ? expected[i]->OwnerStave : before[i];
      EXPECT_EQ(beams[i]->OwnerStave, stave) << "round " << round << " beam " << i;
      if (expected[i]) {
        ++taken;
        EXPECT_EQ(beams[i]->OwnerMeasure, expected[i]->OwnerMeasure);
        EXPECT_EQ(beams[i]->Measure, expected[i]->Measure);
      }
      const auto& list = stave->Attached;
      EXPECT_EQ(std::count(list.begin(), list.end(), beams[i]), 1);
    }
    EXPECT_GT(taken, 60);
    EXPECT_LT(taken, 120);
  }
}

TEST(Endings, MarkTheirMeasuresAndForgetRemovedOnes) {
  SmallScore t(1, 3);
  auto ending = std::make_unique<CEnding>();
  ending->Style = 48;
  ending->SetBounds(60, 80, 400, 96);  // measures 0 and 1
  CEnding* e = t.Attach(0, 0, std::move(ending));
  auto single = std::make_unique<CEnding>();
  single->Style = 48;
  single->SetBounds(420, 80, 560, 96);
  t.Attach(0, 2, std::move(single));
  t.Update();
  EXPECT_EQ(t.Measure(0)->Style & 0xC0, MEASURE_ENDING_BEGIN);
  EXPECT_EQ(t.Measure(1)->Style & 0xC0, MEASURE_ENDING_END);
  EXPECT_EQ(t.Measure(2)->Style & 0xC0, MEASURE_ENDING_BEGIN | MEASURE_ENDING_END);
  EXPECT_EQ(e->StartMeasureLink, t.Measure(0));
  t.score.RemoveObject(e);
  t.Update();
  EXPECT_EQ(t.Measure(0)->Style & 0xC0, 0);
}

TEST(Switch, NoUpdateWhileAutoUpdateIsOff) {
  SmallScore t(1, 1);
  CNote* n = t.Note(0, 0, 100, 0);
  t.score.AutoUpdate = false;
  t.Update();
  EXPECT_EQ(n->Key, 0);
  t.score.AutoUpdate = true;
  t.Update();
  EXPECT_EQ(n->Key, 77);
}

// --- measure scale and re-spacing ---------------------------------------------------

TEST(Spacing, UnitsPerTickAndTickToX) {
  CMeasure m;
  m.SetBounds(100, 0, 400, 50);
  m.LeftPadding = 20;
  m.RightPadding = 10;
  m.Start = 1000;
  m.Ticks = 960;
  ComputeUnitsPerTick(m);
  EXPECT_DOUBLE_EQ(m.UnitsPerTick, 0.28125);
  EXPECT_EQ(TickToX(m, 1480), 255);
  m.Ticks = 0;
  m.Right = 900;
  ComputeUnitsPerTick(m);
  EXPECT_DOUBLE_EQ(m.UnitsPerTick, 0.28125);
}

TEST(Spacing, LeftPaddingFromTheWidestStaveWrapsInAByte) {
  SmallScore t(2, 2);
  t.Sign(0, 0, 56, SIGN_CLEF, 0, 16, 20);
  t.Sign(0, 0, 80, SIGN_KEY, 258, 16, 10);
  t.Sign(1, 0, 56, SIGN_CLEF, 1, 16, 24);
  t.Sign(0, 1, 240, SIGN_TIME, 0x0404, 16, 150);
  t.Sign(1, 1, 240, SIGN_KEY, 279, 16, 150);
  ComputeLeftPadding(*t.Measure(0));
  EXPECT_EQ(t.Measure(0)->LeftPadding, 4 + 30);
  ComputeLeftPadding(*t.Measure(1));
  EXPECT_EQ(t.Measure(1)->LeftPadding, (4 + 150) & 0xFF);
  t.Sign(1, 1, 390, SIGN_KEY, 2, 16, 150);
  t.score.AfterLoad();
  EXPECT_EQ(t.Measure(0)->LeftPadding, 34);
  EXPECT_EQ(t.Measure(1)->LeftPadding, (4 + 300) & 0xFF);
  EXPECT_GT(t.Measure(0)->UnitsPerTick, 0);
}

TEST(Spacing, RespaceMovesChordsAndMarksAsOneBlock) {
  SmallScore t(1, 1, 100, 100, 400);
  CNote* first = t.Note(0, 0, 150, 0);
  CNote* head = t.Note(0, 0, 170, 8);
  CNote* member = t.Note(0, 0, 172, 16);
  head->Chord = member->Chord = head->Number;
  CMark* mark = t.Mark(0, 0, member->X, 90, member);
  CMark* headMark = t.Mark(0, 0, head->X, 93, head);
  t.score.AfterLoad();
  const CMeasure& m = *t.Measure(0);
  int memberOffset = member->Left - head->Left;
  int markLeft = mark->Left, headMarkLeft = headMark->Left, headLeft = head->Left;
  RespaceStave(t.score, *t.Stave(0));
  EXPECT_EQ(first->Left, TickToX(m, 0));
  EXPECT_EQ(head->Left, TickToX(m, 240));
  int dx = head->Left - headLeft;
  EXPECT_NE(dx, 0);
  EXPECT_EQ(member->Left - head->Left, memberOffset);
  EXPECT_EQ(mark->Left, markLeft + dx);
  EXPECT_EQ(headMark->Left, headMarkLeft + dx);
  EXPECT_EQ(head->Y, t.Stave(0)->Top + 8);
}

TEST(VisualMidi, StartsWithTheNearestNote) {
  SmallScore t(1, 2);
  t.Note(0, 0, 80, 0);
  t.Note(0, 0, 120, 0);
  auto v = std::make_unique<CVisualMidi>();
  v->Value = 0x90;
  v->SetBounds(125, 90, 133, 98);
  CVisualMidi* vm = t.Attach(0, 1, std::move(v));
  t.Update();
  ComputeVisualMidiStart(*vm);
  EXPECT_EQ(vm->Start, 240);
  SmallScore empty(1, 2);
  auto w = std::make_unique<CVisualMidi>();
  CVisualMidi* lonely = empty.Attach(0, 1, std::move(w));
  empty.Update();
  ComputeVisualMidiStart(*lonely);
  EXPECT_EQ(lonely->Start, 960);
}

}  // namespace

namespace {

TEST(Ordering, NotesByStartKeepObjectOrderAtEverySize) {
  std::mt19937 rng(7);
  for (size_t n : {size_t(10), size_t(5000), size_t(70000)}) {
    std::vector<NoteKeys::Timed> v;
    for (size_t i = 0; i < n; ++i) {
      // Few distinct starts, negative ones too, so that ties are common.
      const int32_t start = std::uniform_int_distribution<int32_t>(-300, 300)(rng) * 240;
      v.push_back({int64_t(start) << 32 | uint32_t(i), nullptr, nullptr});
    }
    std::vector<NoteKeys::Timed> expected = v;
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return (a.key >> 32) < (b.key >> 32); });
    SortByStart(v);
    ASSERT_EQ(v.size(), expected.size());
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(v[i].key, expected[i].key) << "size " << n << " at " << i;
  }
}

}  // namespace
