#include <string>

#include "model/score.h"
#include "tools/scoregen/scoregen.h"

namespace {

struct Sheet {
  CScore& score;
  CStaff* staff = nullptr;

  // A system at `top` with `staves` staves 100 apart and measures ending at the given bar lines.
  CStaff* System(int top, int staves, std::initializer_list<int> bars) {
    auto s = std::make_unique<CStaff>();
    staff = s.get();
    staff->SetBounds(score.LeftMargin, top, score.PaperWidth - score.PageRightMargin, top + 32 + (staves - 1) * 100);
    score.AddObject(std::move(s));
    score.Staffs.push_back(staff);
    staff->OwnerScore = &score;
    for (int i = 0; i < staves; ++i) score.MakeStave(staff, top + i * 100);
    int left = staff->Left;
    for (int bar : bars) {
      CMeasure* m = score.MakeMeasure(staff, bar);
      m->Left = left;
      left = bar;
    }
    if (staves > 1) {
      auto b = std::make_unique<CBracket>();
      CStave* upper = staff->Staves.front();
      b->SetBounds(upper->Left - 12, upper->Top, upper->Left - 2, staff->Staves.back()->Bottom);
      Attach(0, 0, std::move(b));
    }
    return staff;
  }
  CMeasure* MeasureAt(int x) {
    for (CMeasure* m : staff->Measures)
      if (m->Left <= x && x < m->Right) return m;
    return staff->Measures.back();
  }
  template <typename T>
  T* Attach(int stave, int x, std::unique_ptr<T> o) {
    T* raw = o.get();
    score.AddAttachedObject(staff->Staves[stave], MeasureAt(x), std::move(o));
    return raw;
  }
  CSign* Sign(int stave, int x, int style, int value, int boxTop, int boxBottom, int width) {
    auto s = std::make_unique<CSign>();
    const int top = staff->Staves[stave]->Top;
    s->Style = style;
    s->Value = value;
    s->SetBounds(x, top + boxTop, x + width, top + boxBottom);
    s->X = x;
    s->Y = top;
    return Attach(stave, x, std::move(s));
  }
  // A note whose head centre is `step` staff steps (4 units) below the top line.
  CNote* Note(int stave, int x, int step, int code, int stem, int style = 0) {
    auto n = std::make_unique<CNote>();
    n->Value = code;
    n->Style = NTS_UPDATE_TICKS | NTS_UPDATE_KEY | NTS_UPDATE_PLAYTICKS | NTS_UPDATE_VELOCITY | NTS_UPDATE_SHAPE | style;
    n->PlaceAt(x, staff->Staves[stave]->Top + 4 * step);
    n->Head = static_cast<int8_t>(code);
    n->Stem = static_cast<int8_t>(code <= 1 ? 0 : stem);
    return Attach(stave, x, std::move(n));
  }
  CRest* Rest(int stave, int x, int code) {
    auto r = std::make_unique<CRest>();
    r->Value = code;
    r->Style = NTS_UPDATE_TICKS | NTS_UPDATE_PLAYTICKS;
    r->PlaceAt(x, staff->Staves[stave]->Top + 16);
    return Attach(stave, x, std::move(r));
  }
  CMark* Mark(int stave, int x, int y, int value, CNote* note = nullptr) {
    auto m = std::make_unique<CMark>();
    m->Value = value;
    m->X = x;
    m->Y = y;
    m->SetBounds(x - 6, y - 6, x + 6, y + 6);
    if (note) {
      m->Note = note->Number;
      m->NoteLink = note;
    }
    return Attach(stave, x, std::move(m));
  }
  CXText* Text(int stave, int x, int y, const std::string& text, int font, int width = 60, int height = 24) {
    auto t = std::make_unique<CXText>();
    t->text = text;
    t->Font = static_cast<int8_t>(font);
    t->SetBounds(x, y, x + width, y + height);
    return Attach(stave, x, std::move(t));
  }
  void Beam(int stave, CNote* a, CNote* b) {
    const int side = a->Stem < 0 ? 4 : -4;
    auto beam = std::make_unique<CBeam>();
    beam->X = a->X + side;
    beam->Y = a->Y + a->Stem;
    beam->X1 = b->X + side;
    beam->Y1 = b->Y + b->Stem;
    beam->SetBounds(beam->X, beam->Y, beam->X1, beam->Y1 + 2);
    beam->Value = 1;
    Attach(stave, a->X, std::move(beam));
  }
  void Slur(int stave, CNote* a, CNote* b, int bow) {
    auto s = std::make_unique<CSlurLine>();
    s->X = a->X;
    s->Y = a->Y + bow / 2;
    s->X1 = b->X;
    s->Y1 = b->Y + bow / 2;
    s->X2 = (a->X + b->X) / 2;
    s->Y2 = (a->Y + b->Y) / 2 + bow;
    s->SetBounds(s->X, std::min(s->Y, s->Y2), s->X1, std::max(s->Y1, s->Y2) + 1);
    s->Note = a->Number;
    s->NoteLink = a;
    Attach(stave, a->X, std::move(s));
  }
};

}  // namespace

void GenerateReferenceSheet(CScore& score) {
  score.Clear();
  score.ResetDefaultTables();
  score.PaperWidth = 1000;
  score.PaperHeight = 1400;
  Sheet s{score};

  // 1. Piano system: clefs, two sharps, 4/4; notes of every duration up and down.
  s.System(80, 2, {330, 600, 980});
  for (int stave = 0; stave < 2; ++stave) {
    s.Sign(stave, 54, SIGN_CLEF, stave, stave == 0 ? -16 : 0, stave == 0 ? 44 : 32, 30);
    s.Sign(stave, 86, SIGN_KEY, stave == 0 ? 258 : 258, -8, 32, 18);
    s.Sign(stave, 106, SIGN_TIME, 0x0404, 0, 32, 20);
  }
  int x = 140;
  for (int code = 0; code <= 7; ++code, x += 24) s.Note(0, x, 5, code, -28);   // stems up
  x = 340;
  for (int code = 2; code <= 7; ++code, x += 24) s.Note(0, x, 1, code, 28);    // stems down
  CNote* dotted = s.Note(0, 500, 4, 3, -28, NTS_DOTTED);
  s.Mark(0, dotted->Right + 12, dotted->Y - 4, 16, dotted);
  s.Note(0, 540, -3, 3, 28);  // ledger lines above
  s.Note(0, 570, -5, 3, 28);
  x = 150;
  for (int code = 0; code <= 8; ++code, x += 44) s.Rest(1, x, code);
  s.Note(1, 560, 11, 3, -28);  // ledger lines below
  s.Note(1, 590, 13, 3, -28);
  // Beams, a tie and a slur in the last measure.
  CNote* b1 = s.Note(0, 620, 5, 4, -28);
  CNote* b2 = s.Note(0, 650, 4, 4, -28);
  CNote* b3 = s.Note(0, 680, 3, 4, -28);
  CNote* b4 = s.Note(0, 710, 2, 4, -28);
  for (CNote* n : {b1, b2, b3, b4}) n->Head = 3;
  s.Beam(0, b1, b4);
  CNote* t1 = s.Note(0, 760, 6, 2, -28);
  CNote* t2 = s.Note(0, 840, 6, 2, -28);
  t1->Tie = t2->Tie = t1->Number;
  s.Slur(0, t1, t2, 14);
  CNote* l1 = s.Note(1, 660, 3, 3, -28);
  CNote* l2 = s.Note(1, 760, 1, 3, -28);
  CNote* l3 = s.Note(1, 860, 2, 3, -28);
  s.Slur(1, l1, l3, -16);
  (void)l2;

  // 2. Repeats, endings, an octave line, dynamics and hairpins.
  CStaff* second = s.System(330, 2, {300, 560, 780, 980});
  second->Measures[0]->Value = 166;
  second->Measures[1]->Value = 41;
  second->Measures[3]->Value = 9;
  for (int stave = 0; stave < 2; ++stave) {
    s.Sign(stave, 54, SIGN_CLEF, stave, stave == 0 ? -16 : 0, stave == 0 ? 44 : 32, 30);
    s.Sign(stave, 86, SIGN_KEY, 275, -8, 32, 30);  // three flats
  }
  auto ending = [&](int left, int right, int number, int style) {
    auto e = std::make_unique<CEnding>();
    e->Value = number;
    e->Style = style;
    e->SetBounds(left, 330 - 30, right, 330 - 14);
    s.Attach(0, left + 16, std::move(e));
  };
  ending(310, 550, 1, 48);
  ending(570, 770, 2, 16);
  for (int i = 0; i < 6; ++i) s.Note(0, 140 + 30 * i, 8 - i, 3, i < 3 ? -28 : 28);
  for (int i = 0; i < 6; ++i) s.Note(0, 320 + 36 * i, 2 + (i % 3), 4, 28);
  auto octave = std::make_unique<COctaveLine>();
  octave->Value = 0;
  octave->Style = 0x100;
  octave->SetBounds(580, 330 - 60, 760, 330 - 44);
  s.Attach(0, 600, std::move(octave));
  for (int i = 0; i < 5; ++i) s.Note(0, 590 + 34 * i, -4 - (i % 2), 4, 28);
  s.Text(1, 140, 470, "p", 2, 30);
  s.Text(1, 400, 470, "mf", 2, 30);
  s.Text(1, 660, 470, "ff", 2, 30);
  auto wedge = [&](int left, int right, int value) {
    auto w = std::make_unique<CXGraphics>();
    w->Value = value;
    w->SetBounds(left, 470, right, 486);
    s.Attach(1, left, std::move(w));
  };
  wedge(180, 380, 0);
  wedge(440, 640, 1);
  for (int i = 0; i < 14; ++i) s.Note(1, 140 + 60 * i, 3 + (i % 4), 3, -28);

  // 3. Every mark type on a single stave, with the number under each.
  static const int kMarks[] = {1, 2, 3, 7, 8, 20, 21, 22, 33, 34, 35, 36, 37, 48, 49, 50, 51, 60, 61, 64, 65, 66,
                               67, 68, 69, 70, 71, 72, 75, 76, 77, 78, 79, 80, 82, 83, 88, 90, 91, 92, 93, 94, 95,
                               96, 97, 106, 107, 116};
  s.System(620, 1, {980});
  s.Sign(0, 54, SIGN_CLEF, 0, -16, 44, 30);
  x = 110;
  int row = 0;
  for (int value : kMarks) {
    const int y = 620 + (row == 0 ? -24 : 70);
    s.Mark(0, x, y, value);
    s.Text(0, x - 8, 620 + (row == 0 ? 36 : 96), std::to_string(value), 7, 30, 16);
    x += 36;
    if (x > 950) {
      x = 110;
      row = 1;
    }
  }

  // 4. Texts: the Song face with Chinese, a framed Times text, an angle text.
  s.System(900, 1, {980});
  s.Sign(0, 54, SIGN_CLEF, 2, -16, 16, 30);
  s.Text(0, 120, 950, "\xD2\xF4\xC0\xD6\xB1\xE0\xBC\xAD \xCE\xE5\xCF\xDF\xC6\xD7", 6, 220, 30);  // 音乐编辑 五线谱
  CXText* framed = s.Text(0, 380, 950, "Allegro moderato", 1, 220, 30);
  framed->Style = STYLE_FRAMED;
  auto angle = std::make_unique<CAngleText>();
  angle->text = "cresc.";
  angle->Font = 2;
  angle->SetBounds(660, 980, 760, 1000);
  s.Attach(0, 660, std::move(angle));
  score.RelinkObjects();
}

void GenerateKeySignatureSheet(CScore& score) {
  score.Clear();
  score.ResetDefaultTables();
  score.PaperWidth = 1000;
  score.PaperHeight = 1500;
  Sheet s{score};
  // Clef boxes (top, bottom) relative to the stave's top, by clef number.
  static const int kClefTop[] = {-16, 0, -16}, kClefBottom[] = {44, 32, 16};
  int top = 60;
  for (int clef = 0; clef < 3; ++clef) {
    // Sharps then flats, 1 to 7 of each, one per measure; a natural sign key last.
    for (int flats = 0; flats < 2; ++flats, top += 110) {
      s.System(top, 1, {180, 300, 420, 540, 660, 780, 980});
      s.Sign(0, 54, SIGN_CLEF, clef, kClefTop[clef], kClefBottom[clef], 30);
      for (int count = 1; count <= 7; ++count) {
        const int left = count == 1 ? 90 : 180 + 120 * (count - 2) + 8;
        s.Sign(0, left, SIGN_KEY, 256 + count + (flats ? 16 : 0), -8, 32, 8 * count);
      }
    }
    // Every duration stem up on a low space, stem down on a high line, with
    // flat, sharp and natural before some of them.
    s.System(top, 1, {520, 980});
    s.Sign(0, 54, SIGN_CLEF, clef, kClefTop[clef], kClefBottom[clef], 30);
    int x = 110;
    for (int code = 0; code <= 7; ++code, x += 50) {
      CNote* up = s.Note(0, x, 5, code, -28);
      if (code % 3 == 1) s.Mark(0, up->Left - 6, up->Y, code % 2 ? 1 : 2, up);
    }
    x = 540;
    for (int code = 2; code <= 7; ++code, x += 70) {
      CNote* down = s.Note(0, x, 2, code, 28);
      if (code % 2) s.Mark(0, down->Left - 6, down->Y, 3, down);
    }
    top += 130;
  }
  // Clef changes inside measures: the small clefs between notes.
  s.System(top, 1, {360, 680, 980});
  s.Sign(0, 54, SIGN_CLEF, 0, -16, 44, 30);
  static const int kSmallTop[] = {-25, -8, -8};
  for (int i = 0; i < 3; ++i) {
    const int left = 100 + 320 * i;
    for (int k = 0; k < 3; ++k) s.Note(0, left + 30 * k, 2 + 2 * k, 3, k < 2 ? 28 : -28);
    s.Sign(0, left + 110, SIGN_CLEF, 3 + (i + 1) % 3, kSmallTop[(i + 1) % 3], 10, 20);
    for (int k = 0; k < 3; ++k) s.Note(0, left + 150 + 30 * k, 8 - 2 * k, 3, -28);
    // Grace notes before the last beat: stems up and down.
    for (int k = 0; k < 2; ++k) {
      CNote* grace = s.Note(0, left + 222 + 14 * k, 5 - k, 3 + k, i == 1 ? 18 : -18, NTS_GRACE);
      grace->Value = 3 + k;
    }
  }
  score.RelinkObjects();
}
