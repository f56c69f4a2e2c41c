// Helpers the note-menu commands share.
#include "editing/note_commands_util.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <unordered_set>

#include "editing/edit_util.h"
#include "editing/insert.h"
#include "editing/note_ops.h"
#include "editing/note_select.h"

using namespace note_select;

namespace note_commands_detail {

int Fail(CScore& score, const char* text) {
  score.LastError = text;
  return 0;
}

bool IsDotMark(const CXObject* o) {
  return o->KindCode() == Kind::Mark && (o->Value == kDotTypes[0] || o->Value == kDotTypes[1]);
}

// Dots of a note: 0, 1 or 2 (the single dot wins when both bits are set).
int DotsOf(const CNote* n) { return (n->Style & NTS_DOTTED) ? 1 : (n->Style & NTS_DOUBLE_DOTTED) ? 2 : 0; }
int32_t DotBitsFor(int dots) { return dots == 1 ? NTS_DOTTED : dots == 2 ? NTS_DOUBLE_DOTTED : 0; }

bool IsWholeMeasureRest(const CNote* n) { return n->KindCode() == Kind::Rest && n->Value == 1; }

// Ticks of a written value as the recalculation computes them (no grace
// factor); -1 for tuplet counts it has no rule for.
int64_t NotatedTicks(int32_t timeBase, int code, int dots, int tuplet) {
  if (code < 0 || code > 9) return -1;
  int64_t t = static_cast<int64_t>(std::trunc(std::ldexp(double(timeBase), 3 - code)));
  if (dots == 1)
    t = static_cast<int64_t>(t * 1.5);
  else if (dots == 2)
    t = static_cast<int64_t>(t * 1.75);
  if (tuplet != 0) {
    int m = 0;
    if (tuplet == 3) m = 2;
    else if (tuplet >= 5 && tuplet <= 7) m = 4;
    else if (tuplet >= 9 && tuplet <= 11) m = 8;
    else return -1;
    t = m * t / tuplet;
  }
  return t;
}

// Chord partners of a note on its stave (the note itself included).
std::vector<CNote*> ChordOf(CNote* n) {
  if (n->Chord < 0 || !n->OwnerStave) return {n};
  std::vector<CNote*> out;
  for (CStaveObject* o : n->OwnerStave->Attached)
    if (o->KindCode() == Kind::Note && static_cast<CNote*>(o)->Chord == n->Chord) out.push_back(static_cast<CNote*>(o));
  if (std::find(out.begin(), out.end(), n) == out.end()) out.push_back(n);
  return out;
}

// Head, flag and box of a note or rest after its duration code changed from
// `oldCode`. A head drawn without its flag because a beam or the chord's
// flag note carries it stays so while the value still has beams.
void ShapeForCode(CNote* n, int oldCode) {
  const int code = n->DurationCode();
  if (n->KindCode() == Kind::Rest) {
    n->Head = static_cast<int8_t>(code);
    n->PlaceAt(n->Left, n->Y);
    return;
  }
  if (!IsSmall(n)) {
    const bool flagElsewhere = n->Head == 3 && oldCode > 3;
    if (!(flagElsewhere && code > 3)) n->Head = static_cast<int8_t>(code);
  }
  n->Tail = static_cast<int8_t>(code > 3 ? code - 3 : 0);
  if (n->Stem == 0 && n->Chord < 0 && code > 1) n->Stem = static_cast<int8_t>(n->dy > 15 ? -kStem : kStem);
  n->PlaceAt(n->Left, n->Y);
}

MarkIndex::MarkIndex(const CScore& score) {
  for (const auto& up : score.Objects())
    if (auto* m = As<CMark>(up.get()); m && m->NoteLink) byNote_[m->NoteLink].push_back(m);
}

const std::vector<CMark*>& MarkIndex::Of(const CXObject* o) const {
  static const std::vector<CMark*> none;
  auto it = byNote_.find(o);
  return it == byNote_.end() ? none : it->second;
}

void MarkIndex::Add(CMark* m) {
  if (m && m->NoteLink) byNote_[m->NoteLink].push_back(m);
}

void RedoDotMarks(CScore& score, MarkIndex& marks, CNote* n) {
  for (CMark* m : marks.Of(n))
    if (IsDotMark(m)) CScore::MarkForRemoval(m);
  const int dots = DotsOf(n);
  if (dots > 0) marks.Add(InsertDot(score, n, kDotTypes[dots - 1]));
}

// The selected notes (or notes and rests) of the first selected one's stave,
// in stave order, checked to lie in one measure; PlayInSequence's refusals.
bool OneMeasureSelection(CScore& score, bool withRests, std::vector<CNote*>& notes) {
  CNote* first = nullptr;
  for (const auto& up : score.Objects()) {
    const char k = up->KindCode();
    if (up->Selected && (k == Kind::Note || (withRests && k == Kind::Rest))) {
      first = static_cast<CNote*>(up.get());
      break;
    }
  }
  if (!first) return Fail(score, kErrNoNote);
  if (!first->OwnerStave) return Fail(score, kErrNotOnStave);
  SelectedOfStave(*first->OwnerStave, withRests, notes);
  for (CNote* n : notes)
    if (n->OwnerMeasure != notes.front()->OwnerMeasure) return Fail(score, kErrNotOneMeasure);
  if (notes.size() < 2) return Fail(score, kErrFewerThanTwo);
  return true;
}

// Notes and rests that take time in their voice: single notes and chord
// leaders, not grace notes.
bool TakesTime(const CNote* n) { return IsChordLeaderOrSingle(n) && !IsSmall(n); }

std::vector<CNote*> TimeTakers(const std::vector<CNote*>& notes) {
  std::vector<CNote*> out;
  for (CNote* n : notes)
    if (TakesTime(n)) out.push_back(n);
  return out;
}

// The notes and rests of one voice in a measure of a stave that take time,
// in stave order.
std::vector<CNote*> VoiceLine(const CStave& stave, const CMeasure* measure, int voice) {
  std::vector<CNote*> out;
  for (CStaveObject* o : stave.Attached)
    if (auto* n = As<CNote>(o); n && n->OwnerMeasure == measure && n->Voice == voice && TakesTime(n) &&
                                !(n->Transient & 1))
      out.push_back(n);
  return out;
}

// Whether notes of one voice line follow each other in it with nothing between.
bool Consecutive(const std::vector<CNote*>& notes) {
  const std::vector<CNote*> line = VoiceLine(*notes.front()->OwnerStave, notes.front()->OwnerMeasure, notes.front()->Voice);
  auto at = std::find(line.begin(), line.end(), notes.front());
  for (CNote* n : notes) {
    if (at == line.end() || *at != n) return false;
    ++at;
  }
  return true;
}

// The y of a beam's line at x (its start y for a vertical one).
double BeamYAt(const CBeam* b, double x) {
  if (b->X1 == b->X) return b->Y;
  return b->Y + (double(b->Y1) - b->Y) * (x - b->X) / (double(b->X1) - b->X);
}

bool IsHook(const CBeam* b) { return std::abs(int64_t(b->X1) - b->X) == kHook; }

// Moves notes and rests horizontally. Chord partners of a moved leader,
// marks bound to moved notes, the beam ends at their stems and accidental
// signs standing just before their heads move along.
void MoveNotes(CScore& score, const std::unordered_map<CNote*, int>& moves) {
  std::unordered_map<CXObject*, int> dx;
  std::unordered_set<CStave*> staves;
  for (const auto& [n, d] : moves) {
    if (d == 0) continue;
    dx[n] = d;
    if (n->OwnerStave) staves.insert(n->OwnerStave);
  }
  if (dx.empty()) return;
  for (CStave* stave : staves)
    for (CStaveObject* o : stave->Attached)
      if (auto* n = As<CNote>(o); n && n->Chord >= 0 && n->Chord != n->Number && !dx.count(n))
        if (CXObject* lead = score.FindByNumber(n->Chord); lead && lead != n)
          if (auto it = dx.find(lead); it != dx.end()) dx[n] = it->second;

  // How far the note whose stem column holds x on a stave moves (the
  // nearest head within a hook's length; 0 when that note stays).
  auto moverAt = [&](const CStave* stave, int x) -> int {
    const CNote* best = nullptr;
    int64_t bestDistance = kHook + 1;
    for (CStaveObject* o : stave->Attached) {
      if (o->KindCode() != Kind::Note) continue;
      const int64_t distance = std::llabs(int64_t(static_cast<CNote*>(o)->X) - x);
      if (distance < bestDistance) {
        bestDistance = distance;
        best = static_cast<CNote*>(o);
      }
    }
    auto it = best ? dx.find(const_cast<CNote*>(best)) : dx.end();
    return it == dx.end() ? 0 : it->second;
  };

  for (const auto& up : score.Objects()) {
    CXObject* o = up.get();
    if (auto* b = As<CBeam>(o)) {
      if (!staves.count(b->OwnerStave)) continue;
      const int d0 = moverAt(b->OwnerStave, b->X);
      const int d1 = IsHook(b) ? d0 : moverAt(b->OwnerStave, b->X1);
      if (d0 == 0 && d1 == 0) continue;
      b->X += d0;
      b->X1 += d1;
      b->SetBounds(b->X, b->Y, b->X1, b->Y1);
    } else if (auto* m = As<CMark>(o)) {
      if (auto it = dx.find(m->NoteLink); it != dx.end()) editing::Shift(m, it->second, 0);
    } else if (auto* s = As<CSign>(o)) {
      if (!staves.count(s->OwnerStave) || s->Style == SIGN_CLEF || s->Style == SIGN_TIME || s->Style == SIGN_KEY ||
          s->Value < 1 || s->Value > 10)
        continue;
      for (const auto& [mo, d] : dx) {
        auto* n = static_cast<CNote*>(mo);
        if (n->OwnerStave == s->OwnerStave && n->OwnerMeasure == s->OwnerMeasure && std::abs(s->Y - n->Y) <= 2 &&
            s->Right <= n->Left + 2 && s->Right >= n->Left - 16) {
          editing::Shift(s, d, 0);
          break;
        }
      }
    }
  }
  for (const auto& [o, d] : dx) editing::Shift(o, d, 0);
}

// Every tie chain is led by a live note whose Tie is its own Number, and has
// at least two notes; chains that lost their first note are led by their
// earliest note, single leftovers are untied.
void TidyTies(CScore& score) {
  std::map<int32_t, std::vector<CNote*>> chains;
  for (const auto& up : score.Objects())
    if (auto* n = As<CNote>(up.get()); n && n->Tie >= 0 && !(n->Transient & 1)) chains[n->Tie].push_back(n);
  for (auto& [head, notes] : chains) {
    if (notes.size() < 2) {
      notes.front()->Tie = -1;
      continue;
    }
    const int32_t leader = head;  // a copy: lambdas cannot capture bindings everywhere
    const bool led = std::any_of(notes.begin(), notes.end(), [leader](CNote* n) { return n->Number == leader; });
    if (led) continue;
    std::stable_sort(notes.begin(), notes.end(), [](CNote* a, CNote* b) {
      return a->Start != b->Start ? a->Start < b->Start : a->Left < b->Left;
    });
    for (CNote* n : notes) n->Tie = notes.front()->Number;
  }
}

void DoomWithMarks(const MarkIndex& marks, CNote* n) {
  CScore::MarkForRemoval(n);
  for (CMark* m : marks.Of(n)) CScore::MarkForRemoval(m);
}

}  // namespace note_commands_detail
