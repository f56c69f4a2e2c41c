// Small hand-built scores for the model tests.
#pragma once

#include <memory>

#include "model/score.h"

// One system with `staves` staves 100 units apart and `measures` measures.
struct SmallScore {
  CScore score;
  CStaff* staff = nullptr;

  explicit SmallScore(int staves = 2, int measures = 3, int top = 100, int left = 52, int right = 580) {
    score.ResetDefaultTables();
    auto s = std::make_unique<CStaff>();
    staff = s.get();
    staff->SetBounds(left, top, right, top + 32 + (staves - 1) * 100);
    score.AddObject(std::move(s));
    score.Staffs.push_back(staff);
    for (int i = 0; i < staves; ++i) score.MakeStave(staff, top + i * 100);
    int width = (right - left) / measures;
    for (int i = 0; i < measures; ++i) {
      CMeasure* m = score.MakeMeasure(staff, i == measures - 1 ? right : left + (i + 1) * width);
      m->Left = left + i * width;
    }
  }
  CStave* Stave(int i) { return staff->Staves[i]; }
  CMeasure* Measure(int i) { return staff->Measures[i]; }

  template <typename T>
  T* Attach(int stave, int measure, std::unique_ptr<T> o) {
    T* raw = o.get();
    score.AddAttachedObject(stave >= 0 ? Stave(stave) : nullptr, measure >= 0 ? Measure(measure) : nullptr,
                            std::move(o));
    return raw;
  }
  // A note whose head sits `dy` units below the stave's top line.
  CNote* Note(int stave, int measure, int x, int dy, int value = 3,
              int style = NTS_UPDATE_TICKS | NTS_UPDATE_KEY | NTS_UPDATE_PLAYTICKS | NTS_UPDATE_VELOCITY,
              int voice = 0) {
    auto n = std::make_unique<CNote>();
    n->Value = value;
    n->Style = style;
    n->Voice = static_cast<int8_t>(voice);
    n->PlaceAt(x, Stave(stave)->Top + dy);
    return Attach(stave, measure, std::move(n));
  }
  CRest* Rest(int stave, int measure, int x, int value, int style = NTS_UPDATE_TICKS | NTS_UPDATE_PLAYTICKS) {
    auto r = std::make_unique<CRest>();
    r->Value = value;
    r->Style = style;
    r->PlaceAt(x, Stave(stave)->Top + 16);
    return Attach(stave, measure, std::move(r));
  }
  CSign* Sign(int stave, int measure, int x, int style, int value, int dy = 16, int width = 12) {
    auto s = std::make_unique<CSign>();
    s->Style = style;
    s->Value = value;
    s->X = x;
    s->Y = Stave(stave)->Top + dy;
    s->SetBounds(x, Stave(stave)->Top, x + width, Stave(stave)->Bottom);
    return Attach(stave, measure, std::move(s));
  }
  CXText* Text(int x, int y, const char* text, int stave = 0, int measure = 0) {
    auto t = std::make_unique<CXText>();
    t->text = text;
    t->SetBounds(x, y, x + 20, y + 12);
    return Attach(stave, measure, std::move(t));
  }
  CMark* Mark(int stave, int measure, int x, int value, CNote* note = nullptr) {
    auto m = std::make_unique<CMark>();
    m->Value = value;
    m->X = x;
    m->Y = Stave(stave)->Top - 10;
    m->SetBounds(x - 4, m->Y - 4, x + 4, m->Y + 4);
    if (note) {
      m->Note = note->Number;
      m->NoteLink = note;
    }
    return Attach(stave, measure, std::move(m));
  }
  void Update() { score.UpdateDerived(); }
};
