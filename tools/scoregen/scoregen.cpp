#include "tools/scoregen/scoregen.h"

#include <random>
#include <string>

#include "model/score.h"

namespace {
const char* kDynamics[] = {"ppp", "pp", "p", "mp", "mf", "f", "ff", "fff"};

template <typename T>
T* Attach(CScore& score, CStave* stave, CMeasure* measure, std::unique_ptr<T> object) {
  T* raw = object.get();
  raw->Layer = score.Layer;
  score.AddAttachedObject(stave, measure, std::move(object));
  return raw;
}

CNote* AddNote(CScore& score, CStave* stave, CMeasure* measure, int x, int step, int value, int voice) {
  auto note = std::make_unique<CNote>();
  note->Value = value;
  note->Voice = static_cast<int8_t>(voice);
  note->Style = NTS_UPDATE_SHAPE | NTS_UPDATE_TICKS | NTS_UPDATE_KEY | NTS_UPDATE_PLAYTICKS | NTS_UPDATE_VELOCITY;
  note->PlaceAt(x, stave->Top + step * 4);
  note->Head = static_cast<int8_t>(value & 0xFF);
  note->Stem = static_cast<int8_t>(step >= 4 ? -28 : 28);
  if (note->Stem > 0) note->Head = static_cast<int8_t>(note->Head + 64);
  return Attach(score, stave, measure, std::move(note));
}
}  // namespace

void GenerateWorkload(CScore& score, const WorkloadOptions& o) {
  std::mt19937 rng(o.Seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

  score.Clear();
  score.ResetDefaultTables();
  score.PaperWidth = 1400;
  score.PaperHeight = 1000;
  const int left = score.LeftMargin;
  const int right = score.PaperWidth - score.PageRightMargin;
  const int staveHeight = 4 * score.LineSpace;
  const int systemHeight = o.StavesPerSystem * staveHeight + (o.StavesPerSystem - 1) * score.StaveSpace;
  const int measureWidth = (right - left) / o.MeasuresPerSystem;

  std::vector<CNote*> prevLast(o.StavesPerSystem, nullptr);
  int top = score.TopMargin;
  int dynamicsLeft = o.DynamicsTexts, hairpinsLeft = o.Hairpins;
  const int staffMeasures = o.Systems * o.MeasuresPerSystem * o.StavesPerSystem;
  for (int sys = 0; sys < o.Systems; ++sys) {
    auto staffObject = std::make_unique<CStaff>();
    CStaff* staff = staffObject.get();
    staff->SetBounds(left, top, right, top + systemHeight);
    score.AddObject(std::move(staffObject));
    score.Staffs.push_back(staff);
    staff->OwnerScore = &score;
    for (int s = 0; s < o.StavesPerSystem; ++s) score.MakeStave(staff, top + s * (staveHeight + score.StaveSpace));
    for (int m = 0; m < o.MeasuresPerSystem; ++m) {
      int bar = (m == o.MeasuresPerSystem - 1) ? right : left + (m + 1) * measureWidth;
      CMeasure* measure = score.MakeMeasure(staff, bar);
      measure->Left = left + m * measureWidth;
      if (sys % 16 == 7 && m == 0) measure->Value = 166;
      if (sys % 16 == 8 && m == o.MeasuresPerSystem - 1) measure->Value = 41;
    }
    auto bracket = std::make_unique<CBracket>();
    CStave* upper = staff->Staves.front();
    bracket->SetBounds(upper->Left - 12, upper->Top, upper->Left - 2, staff->Staves.back()->Bottom);
    Attach(score, upper, staff->Measures.front(), std::move(bracket));

    for (int s = 0; s < o.StavesPerSystem; ++s) {
      CStave* stave = staff->Staves[s];
      CMeasure* first = staff->Measures.front();
      int x = first->Left + 2;
      auto clef = std::make_unique<CSign>();
      clef->Style = SIGN_CLEF;
      clef->Value = (s % 2 == 0) ? 0 : 1;
      clef->SetBounds(x, stave->Top - 8, x + 18, stave->Bottom + 8);
      clef->X = x;
      clef->Y = stave->Top + 24;
      Attach(score, stave, first, std::move(clef));
      auto key = std::make_unique<CSign>();
      key->Style = SIGN_KEY;
      key->Value = (sys % 3 == 0) ? 257 + sys % 7 : 273 + sys % 7;
      key->SetBounds(x + 20, stave->Top, x + 36, stave->Bottom);
      key->X = x + 20;
      key->Y = stave->Top;
      Attach(score, stave, first, std::move(key));
      if (sys == 0) {
        auto time = std::make_unique<CSign>();
        time->Style = SIGN_TIME;
        time->Value = 0x0404;
        time->SetBounds(x + 38, stave->Top, x + 50, stave->Bottom);
        time->X = x + 38;
        time->Y = stave->Top;
        Attach(score, stave, first, std::move(time));
      }
      first->LeftPadding = static_cast<uint8_t>(first->LeftMargin + (sys == 0 ? 48 : 36));
    }

    for (int m = 0; m < o.MeasuresPerSystem; ++m) {
      CMeasure* measure = staff->Measures[m];
      const int areaLeft = measure->Left + measure->LeftPadding;
      const int step = std::max(1, (measure->Right - measure->RightPadding - areaLeft) / o.NotesPerStaffMeasure);
      for (int s = 0; s < o.StavesPerSystem; ++s) {
        CStave* stave = staff->Staves[s];
        const int staffMeasure = (sys * o.MeasuresPerSystem + m) * o.StavesPerSystem + s;
        const bool tuplet = staffMeasure % 5 == 2;
        CNote* prev = nullptr;
        for (int i = 0; i < o.NotesPerStaffMeasure; ++i) {
          int x = areaLeft + i * step;
          int value = 4 | ((tuplet && i < 3) ? (3 << 8) : 0);
          CNote* n = AddNote(score, stave, measure, x, pick(-3, 11), value, 0);
          if (i == 0 && staffMeasure % 4 == 1) {
            // A two-note chord led by n.
            CNote* member = AddNote(score, stave, measure, x, std::min(12, (n->Y - stave->Top) / 4 + 2), value, 0);
            n->Chord = n->Number;
            member->Chord = n->Number;
          }
          if (i == 0 && prevLast[s] && staffMeasure % 6 == 3) {
            CNote* head = prevLast[s];
            if (head->Tie < 0) head->Tie = head->Number;
            n->Tie = head->Tie;
            // The same staff position, so the same pitch: the head may stand
            // on the previous system.
            n->PlaceAt(x, stave->Top + (head->Y - head->OwnerStave->Top));
          }
          if (i % 2 == 1 && prev) {
            // A beamed pair: quarter heads, stems one way, the beam across their tips.
            n->Stem = prev->Stem;
            prev->Head = n->Head = 3;
            if (n->Stem > 0) prev->Head = n->Head = 3 + 64;
            const int side = n->Stem < 0 ? 4 : -4;
            auto beam = std::make_unique<CBeam>();
            beam->X = prev->X + side;
            beam->Y = prev->Y + prev->Stem;
            beam->X1 = n->X + side;
            beam->Y1 = n->Y + n->Stem;
            beam->SetBounds(beam->X, beam->Y, beam->X1, beam->Y1);
            beam->Value = 1;
            Attach(score, stave, measure, std::move(beam));
          }
          if (i % 4 == 2) {
            auto mark = std::make_unique<CMark>();
            mark->Value = (i == 2) ? 90 : 93;
            mark->X = n->X;
            mark->Y = n->Y - 12;
            mark->SetBounds(n->X - 4, n->Y - 16, n->X + 4, n->Y - 8);
            mark->Note = n->Number;
            mark->NoteLink = n;
            Attach(score, stave, measure, std::move(mark));
          }
          prev = n;
        }
        prevLast[s] = prev;
        if (dynamicsLeft > 0 && staffMeasure % std::max(1, staffMeasures / std::max(1, o.DynamicsTexts)) == 0) {
          auto text = std::make_unique<CXText>();
          text->text = kDynamics[pick(0, 7)];
          text->Font = 2;
          text->SetBounds(areaLeft, stave->Bottom + 4, areaLeft + 40, stave->Bottom + 30);
          Attach(score, stave, measure, std::move(text));
          --dynamicsLeft;
        }
        if (hairpinsLeft > 0 && staffMeasure % std::max(1, staffMeasures / std::max(1, o.Hairpins)) == 1) {
          // Alternate plain wedges (which drive velocity ramps) and graphics wedges.
          Rect r{areaLeft, stave->Bottom + 22, areaLeft + 4 * step, stave->Bottom + 34};
          if (hairpinsLeft % 2 == 0) {
            auto plain = std::make_unique<CXObject>();
            plain->Value = hairpinsLeft % 4 == 0 ? 0 : 1;
            plain->SetBounds(r.Left, r.Top, r.Right, r.Bottom);
            score.AddObject(std::move(plain));
          } else {
            auto wedge = std::make_unique<CXGraphics>();
            wedge->Value = hairpinsLeft % 4 == 1 ? 0 : 1;
            wedge->SetBounds(r.Left, r.Top, r.Right, r.Bottom);
            Attach(score, stave, measure, std::move(wedge));
          }
          --hairpinsLeft;
        }
      }
    }
    top += systemHeight + score.StaveSpace + score.SystemSpace;
  }
  score.RelinkObjects();
}

void GenerateRandomScore(CScore& score, uint32_t seed, int objectCount) {
  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto any32 = [&]() { return static_cast<int32_t>(rng()); };
  auto text = [&]() {
    int form = pick(0, 20);
    size_t len = form == 0 ? 0 : form < 15 ? pick(1, 254) : form < 20 ? pick(255, 4000) : pick(0xFFFE, 0x11000);
    std::string t(len, '\0');
    for (char& c : t) c = static_cast<char>(pick(0, 255));
    return t;
  };
  static const char kKinds[] = "OgLGMSHNRc8{XvaIlEsTV";

  score.Clear();
  score.ResetDefaultTables();
  score.PaperWidth = pick(100, 3000);
  score.TimeBase = pick(24, 960);
  score.Tempo = pick(100000, 2000000);
  score.Layer = static_cast<int8_t>(pick(0, 7));
  score.Font = static_cast<int8_t>(pick(0, 7));
  score.Voice = static_cast<int8_t>(pick(0, 15));
  score.SnapRadius = pick(0, 20);
  for (int i = 0; i < objectCount; ++i) {
    char kind = kKinds[pick(0, sizeof(kKinds) - 2)];
    std::unique_ptr<CXObject> o = CreateObject(kind);
    o->Value = any32();
    o->Style = any32();
    o->SetBounds(pick(-100, 5000), pick(-100, 5000), pick(-100, 5000), pick(-100, 5000));
    o->Layer = static_cast<int8_t>(pick(0, 7));
    o->Selected = pick(0, 3) == 0;
    if (auto* so = As<CStaveObject>(o.get())) {
      so->Stave = pick(-1, objectCount);
      so->Measure = pick(-1, objectCount);
    }
    if (auto* w = As<CXWord>(o.get())) {
      w->X = any32();
      w->Y = any32();
    }
    if (auto* m = As<CMark>(o.get())) m->Note = pick(-1, objectCount);
    if (auto* b = As<CBeam>(o.get())) {
      b->X1 = any32();
      b->Y1 = any32();
    }
    if (auto* s = As<CSlurLine>(o.get())) {
      s->X1 = any32();
      s->Y1 = any32();
      s->X2 = any32();
      s->Y2 = any32();
    }
    if (auto* n = As<CNote>(o.get())) {
      n->dy = any32();
      n->Voice = static_cast<int8_t>(pick(-128, 127));
      n->Channel = static_cast<int8_t>(pick(-128, 127));
      n->Ticks = any32();
      n->PlayTicks = any32();
      n->Key = static_cast<uint8_t>(pick(0, 255));
      n->Velocity = static_cast<uint8_t>(pick(0, 255));
      n->Head = static_cast<int8_t>(pick(-128, 127));
      n->Stem = static_cast<int8_t>(pick(-128, 127));
      n->Tail = static_cast<int8_t>(pick(-128, 127));
      n->Chord = pick(-1, objectCount);
      n->Tie = pick(-1, objectCount);
    }
    if (auto* t = As<CXText>(o.get())) {
      t->Font = static_cast<int8_t>(pick(0, 7));
      t->text = text();
    }
    if (auto* a = As<CAngleText>(o.get())) {
      a->Escapement = any32();
      a->Orientation = any32();
    }
    if (auto* v = As<CVisualMidi>(o.get())) v->Start = any32();
    if (auto* l = As<CXLink>(o.get())) {
      l->Font = static_cast<int8_t>(pick(0, 7));
      l->text = text();
      l->href = text();
    }
    if (auto* im = As<CXImage>(o.get())) {
      im->source = text();
      im->href = text();
      im->title = text();
    }
    if (auto* line = As<CXLine>(o.get())) {
      line->X = any32();
      line->Y = any32();
      line->X1 = any32();
      line->Y1 = any32();
      line->Pen = pick(0, 3);
    }
    if (auto* c = As<CXCombo>(o.get())) {
      int n = pick(0, 10) == 0 ? 0x10010 : pick(0, 6);
      for (int k = 0; k < n; ++k) c->Members.push_back(pick(-1, objectCount));
    }
    if (auto* st = As<CStaff>(o.get())) st->Spacing = any32();
    if (auto* sv = As<CStave>(o.get())) {
      sv->Staff = pick(-1, objectCount);
      sv->LineSpace = any32();
      sv->Voice = any32();
      sv->Channel = static_cast<int8_t>(pick(-128, 127));
      sv->Patch = static_cast<uint8_t>(pick(0, 255));
    }
    if (auto* m = As<CMeasure>(o.get())) {
      m->Staff = pick(-1, objectCount);
      m->Numerator = static_cast<int8_t>(pick(-128, 127));
      m->Denominator = static_cast<int8_t>(pick(-128, 127));
      m->LeftMargin = static_cast<uint8_t>(pick(0, 255));
      m->RightMargin = static_cast<uint8_t>(pick(0, 255));
      m->LeftPadding = static_cast<uint8_t>(pick(0, 255));
      m->RightPadding = static_cast<uint8_t>(pick(0, 255));
    }
    score.AddObject(std::move(o));
  }
  score.RecountSelection();
}
