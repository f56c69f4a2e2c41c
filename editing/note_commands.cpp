// Note-menu commands on values and relations: durations and dots, dividing
// a beat, octave shifts, finger slides, tie groups, binding marks, merging
// rests and joining notes into dotted ones.
#include "editing/note_commands.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "editing/chords.h"
#include "editing/edit_util.h"
#include "editing/insert.h"
#include "editing/note_commands_util.h"
#include "editing/note_ops.h"
#include "editing/note_select.h"
#include "editing/tie_arcs.h"
#include "model/derived.h"
#include "model/score.h"

using namespace note_select;
using namespace note_commands_detail;

// --- durations and dots -------------------------------------------------------------

int SetNoteDuration(CScore& score, int code) {
  score.LastError.clear();
  if (code < 0 || code > 7) return Fail(score, kErrBadDuration);
  const std::vector<CNote*> notes = SelectedNotes(score, true);
  if (notes.empty()) return Fail(score, kErrNoNote);
  std::vector<CNote*> changed;
  for (CNote* n : notes) {
    const int oldCode = n->DurationCode();
    const int32_t value = (n->Value & 0xFF00) | code;
    if (value == n->Value && (n->Style & NTS_UPDATE_TICKS)) continue;
    n->Value = value;
    n->Style |= NTS_UPDATE_TICKS;
    ShapeForCode(n, oldCode);
    changed.push_back(n);
  }
  // Beams carry the values of their notes: a group with a changed note is
  // beamed again (a note that became a quarter leaves it with its own flag).
  RebeamGroupsWith(score, changed);
  return !changed.empty();
}

int SetNoteDots(CScore& score, int dots) {
  score.LastError.clear();
  if (dots < 0 || dots > 2) return Fail(score, kErrBadDots);
  const std::vector<CNote*> notes = SelectedNotes(score, true);
  if (notes.empty()) return Fail(score, kErrNoNote);
  MarkIndex marks(score);
  int changed = 0;
  for (CNote* n : notes) {
    if (IsWholeMeasureRest(n)) continue;
    int dotMarks = 0;
    for (CMark* m : marks.Of(n)) dotMarks += IsDotMark(m);
    const bool marked = dotMarks == (dots > 0 ? 1 : 0);
    if (DotsOf(n) == dots && (n->Style & kDotBits) == DotBitsFor(dots) && marked && (n->Style & NTS_UPDATE_TICKS))
      continue;
    n->Style = (n->Style & ~kDotBits) | DotBitsFor(dots) | NTS_UPDATE_TICKS;
    RedoDotMarks(score, marks, n);
    ++changed;
  }
  score.RemoveMarkedObjects();
  return changed > 0;
}

int ToggleNoteDots(CScore& score, int dots) {
  if (dots < 1 || dots > 2) return Fail(score, kErrBadDots);
  const std::vector<CNote*> notes = SelectedNotes(score, true);
  bool all = false;
  for (CNote* n : notes) {
    if (IsWholeMeasureRest(n)) continue;
    all = DotsOf(n) == dots;
    if (!all) break;
  }
  return SetNoteDots(score, all ? 0 : dots);
}

// --- one beat divided evenly --------------------------------------------------------

int DivideBeat(CScore& score) {
  score.LastError.clear();
  std::vector<CNote*> selected;
  if (!OneMeasureSelection(score, true, selected)) return 0;
  const std::vector<CNote*> notes = TimeTakers(selected);
  if (notes.size() < 2) return Fail(score, kErrFewerThanTwo);
  for (CNote* n : notes)
    if (n->Voice != notes.front()->Voice) return Fail(score, kErrNotOneVoice);
  if (!Consecutive(notes)) return Fail(score, kErrNotAdjacent);
  const CMeasure* measure = notes.front()->OwnerMeasure;
  int64_t beat = 0;
  if (measure && measure->Numerator > 0 && measure->Ticks > 0) beat = measure->Ticks / measure->Numerator;
  if (beat <= 0 && measure) beat = MeasureTicks(score.TimeBase, 1, measure->Denominator);
  if (beat <= 0) beat = score.TimeBase;
  const int64_t k = static_cast<int64_t>(notes.size());
  if (beat < k) return Fail(score, kErrBeatTooShort);
  // Notes shorter than the beat together must still leave the voice room in its measure.
  if (measure && measure->Ticks > 0) {
    int64_t used = 0;
    for (CNote* n : VoiceLine(*notes.front()->OwnerStave, measure, notes.front()->Voice)) used += n->Ticks;
    for (CNote* n : notes) used -= n->Ticks;
    if (used + beat > measure->Ticks) return Fail(score, kErrNoRoom);
  }

  // The written value: the beat's own code, one step shorter per doubling.
  int beatCode = -1;
  for (int c = 0; c <= 7; ++c)
    if (NotatedTicks(score.TimeBase, c, 0, 0) == beat) beatCode = c;
  int p = 0;
  while ((int64_t(2) << p) <= k) ++p;
  const int code = beatCode >= 0 ? beatCode + p : -1;
  const int tuplet = (int64_t(1) << p) == k ? 0 : static_cast<int>(std::min<int64_t>(k, 255));

  MarkIndex marks(score);
  const int32_t start = notes.front()->Start;
  for (int64_t j = 0; j < k; ++j) {
    const int32_t ticks = static_cast<int32_t>((j + 1) * beat / k - j * beat / k);
    const int32_t at = start + static_cast<int32_t>(j * beat / k);
    for (CNote* n : ChordOf(notes[j])) {
      const int oldCode = n->DurationCode();
      if (code >= 0 && code <= 7) n->Value = code | tuplet << 8;
      n->Style &= ~(NTS_UPDATE_TICKS | kDotBits);
      ShapeForCode(n, oldCode);
      RedoDotMarks(score, marks, n);
      n->Ticks = ticks;
      n->Start = n->PlayStart = at;
      if (n->Style & NTS_UPDATE_PLAYTICKS) n->PlayTicks = ticks;
    }
  }
  score.RemoveMarkedObjects();
  return 1;
}

// --- octave shifts ------------------------------------------------------------------

namespace {

int ShiftOctave(CScore& score, bool up) {
  score.LastError.clear();
  const std::vector<CNote*> selected = SelectedNotes(score, false);
  if (selected.empty()) return Fail(score, kErrNoNote);
  std::map<CStave*, std::vector<CNote*>, ByNumber> byStave;
  for (CNote* n : selected) {
    if (!n->OwnerStave) return Fail(score, kErrNotOnStave);
    byStave[n->OwnerStave].push_back(n);
  }
  struct Plan {
    CStave* stave;
    CMeasure* measure;
    int left, right, edge;
    std::vector<CNote*> notes;
  };
  std::vector<Plan> plans;
  const int shift = up ? 12 : -12;
  for (auto& [stave, notes] : byStave) {
    Plan plan{stave, nullptr, std::numeric_limits<int>::max(), std::numeric_limits<int>::min(), 0, {}};
    for (CNote* n : notes) {
      plan.left = std::min(plan.left, n->Left);
      plan.right = std::max(plan.right, n->Right);
    }
    for (CStaveObject* o : stave->Attached) {
      if (o->KindCode() != Kind::Note) continue;
      auto* n = static_cast<CNote*>(o);
      if (n->X < plan.left || n->X > plan.right) continue;
      if (n->Key + shift < 0 || n->Key + shift > 127) return Fail(score, kErrOctaveRange);
      plan.notes.push_back(n);
      if (!plan.measure) plan.measure = n->OwnerMeasure;
    }
    for (CStaveObject* o : stave->Attached)
      if (o->KindCode() == Kind::OctaveLine)
        for (CNote* n : plan.notes)
          if (n->X >= o->Left && n->X <= o->Right) return Fail(score, kErrUnderOctaveLine);
    // Clear of the stave, the heads and the stems on the line's side.
    plan.edge = up ? stave->Top : stave->Top + 32;
    for (CNote* n : plan.notes) {
      if (up) plan.edge = std::min({plan.edge, n->Top, n->Stem < 0 ? n->Y + n->Stem : n->Top});
      else plan.edge = std::max({plan.edge, n->Bottom, n->Stem > 0 ? n->Y + n->Stem : n->Bottom});
    }
    plans.push_back(std::move(plan));
  }

  CStave* oldStave = score.CurrentStave;
  CMeasure* oldMeasure = score.CurrentMeasure;
  for (Plan& plan : plans) {
    for (CNote* n : plan.notes) {
      n->Style &= ~NTS_UPDATE_KEY;
      n->Key = static_cast<uint8_t>(n->Key + shift);
    }
    CMeasure* measure = plan.measure;
    if (!measure && plan.stave->OwnerStaff) measure = editing::MeasureAtX(*plan.stave->OwnerStaff, plan.left);
    score.SetCurrent(plan.stave, measure);
    if (up)
      InsertOctaveLine(score, plan.left, plan.edge - 16, plan.right, 0);
    else
      InsertOctaveLine(score, plan.left, plan.edge + 12, plan.right, 1);
  }
  score.SetCurrent(oldStave, oldMeasure);
  return 1;
}

}  // namespace

int OctaveUp(CScore& score) { return ShiftOctave(score, true); }
int OctaveDown(CScore& score) { return ShiftOctave(score, false); }

// --- finger slide -------------------------------------------------------------------

int SlideNotes(CScore& score) {
  score.LastError.clear();
  std::vector<CNote*> selected;
  if (!OneMeasureSelection(score, false, selected)) return 0;
  const std::vector<CNote*> notes = TimeTakers(selected);
  if (notes.size() < 2) return Fail(score, kErrFewerThanTwo);
  const int voice = notes.front()->Voice;
  for (CNote* n : notes)
    if (n->Voice != voice) return Fail(score, kErrNotOneVoice);
  if (!Consecutive(notes)) return Fail(score, kErrNotAdjacent);
  const int64_t end = int64_t(notes.back()->Start) + notes.back()->Ticks;
  std::vector<int64_t> starts{notes.front()->Start};
  for (size_t i = 0; i + 1 < notes.size(); ++i) {
    if (notes[i]->PlayTicks < 1) return Fail(score, kErrSlideTooLong);
    starts.push_back(starts.back() + notes[i]->PlayTicks);
  }
  if (end - starts.back() < 1) return Fail(score, kErrSlideTooLong);
  for (size_t i = 0; i < notes.size(); ++i) {
    const int32_t ticks = static_cast<int32_t>(i + 1 < notes.size() ? notes[i]->PlayTicks : end - starts.back());
    for (CNote* n : ChordOf(notes[i])) {
      n->Ticks = ticks;
      n->Start = n->PlayStart = static_cast<int32_t>(starts[i]);
      n->Style &= ~(NTS_UPDATE_TICKS | NTS_UPDATE_PLAYTICKS);
    }
  }
  return 1;
}

// --- tie groups ---------------------------------------------------------------------

int TieNotes(CScore& score) {
  score.LastError.clear();
  const std::vector<CNote*> selected = SelectedNotes(score, false);
  if (selected.empty()) return Fail(score, kErrNoNote);
  // Per stave, voice and key, by start.
  std::map<std::tuple<CStave*, int, int>, std::vector<CNote*>> lines;
  for (CNote* n : selected)
    if (n->OwnerStave && !IsSmall(n)) lines[{n->OwnerStave, int(n->Voice), int(n->Key)}].push_back(n);
  // Old chains a new one touches join it; renamed in one pass at the end.
  std::unordered_map<int32_t, int32_t> renames;
  int chains = 0;
  std::vector<std::pair<CNote*, CNote*>> shown;  // heads the new chains link
  for (auto& [key, notes] : lines) {
    std::stable_sort(notes.begin(), notes.end(), [](CNote* a, CNote* b) { return a->Start < b->Start; });
    std::vector<CNote*> chain;
    auto close = [&] {
      if (chain.size() >= 2) {
        CNote* first = chain.front();
        int32_t head = first->Number;
        if (first->Tie >= 0 && first->Tie != first->Number && score.FindByNumber(first->Tie)) head = first->Tie;
        for (CNote* n : chain) {
          if (n->Tie >= 0 && n->Tie != head) renames[n->Tie] = head;
          n->Tie = head;
        }
        for (size_t i = 1; i < chain.size(); ++i) shown.emplace_back(chain[i - 1], chain[i]);
        ++chains;
      }
      chain.clear();
    };
    for (CNote* n : notes) {
      if (!chain.empty() && int64_t(chain.back()->Start) + chain.back()->Ticks != n->Start) close();
      chain.push_back(n);
    }
    close();
  }
  if (chains == 0) return Fail(score, kErrNoTiePair);
  if (!renames.empty())
    for (const auto& up : score.Objects())
      if (auto* n = As<CNote>(up.get()); n && n->Tie >= 0) {
        // Follow renames of renames; a cycle cannot last longer than the map.
        for (size_t step = 0; step < renames.size(); ++step) {
          auto it = renames.find(n->Tie);
          if (it == renames.end() || it->second == n->Tie) break;
          n->Tie = it->second;
        }
      }
  TidyTies(score);
  // Each linked pair shows its arc.
  std::erase_if(shown, [](const auto& p) { return p.first->Tie < 0 || p.first->Tie != p.second->Tie; });
  AddTieArcs(score, shown);
  return 1;
}

int UntieNotes(CScore& score) {
  score.LastError.clear();
  const std::vector<CNote*> selected = SelectedNotes(score, false);
  if (selected.empty()) return Fail(score, kErrNoNote);
  std::set<int32_t> heads;
  for (CNote* n : selected)
    if (n->Tie >= 0) heads.insert(n->Tie);
  if (heads.empty()) return Fail(score, kErrNotTied);
  std::map<int32_t, std::vector<CNote*>> chains;
  for (const auto& up : score.Objects())
    if (auto* n = As<CNote>(up.get()); n && heads.count(n->Tie)) chains[n->Tie].push_back(n);
  std::vector<std::pair<CNote*, CNote*>> linked;  // consecutive heads before untying
  for (auto& [head, notes] : chains) {
    std::stable_sort(notes.begin(), notes.end(), [](CNote* a, CNote* b) {
      return a->Start != b->Start ? a->Start < b->Start : a->Left < b->Left;
    });
    for (size_t i = 1; i < notes.size(); ++i)
      if (notes[i - 1]->Key == notes[i]->Key) linked.emplace_back(notes[i - 1], notes[i]);
    std::vector<CNote*> run;
    auto close = [&] {
      for (CNote* n : run) n->Tie = run.size() >= 2 ? run.front()->Number : -1;
      run.clear();
    };
    for (CNote* n : notes) {
      if (n->Selected) {
        close();
        n->Tie = -1;
      } else {
        run.push_back(n);
      }
    }
    close();
  }
  // Pairs no longer linked lose their arcs.
  std::erase_if(linked, [](const auto& p) { return p.first->Tie >= 0 && p.first->Tie == p.second->Tie; });
  RemoveTieArcs(score, linked);
  return 1;
}

// --- binding marks ------------------------------------------------------------------

namespace {

constexpr int kBindReach = 16;

std::vector<CMark*> SelectedMarks(const CScore& score) {
  std::vector<CMark*> out;
  for (const auto& up : score.Objects())
    if (up->Selected && up->KindCode() == Kind::Mark) out.push_back(static_cast<CMark*>(up.get()));
  return out;
}

}  // namespace

int BindMarks(CScore& score) {
  score.LastError.clear();
  const std::vector<CMark*> marks = SelectedMarks(score);
  if (marks.empty()) return Fail(score, kErrNoMark);
  const std::vector<CNote*> chosen = SelectedNotes(score, true);
  int bound = 0, changed = 0;
  for (CMark* m : marks) {
    if (!m->OwnerStave) continue;
    CNote* best = nullptr;
    int64_t bestDx = 0, bestDy = 0;
    auto consider = [&](CNote* n) {
      if (n->OwnerStave != m->OwnerStave) return;
      const int64_t dx = std::llabs(int64_t(n->X) - m->X), dy = std::llabs(int64_t(n->Y) - m->Y);
      if (dx > kBindReach) return;
      if (!best || dx < bestDx || (dx == bestDx && dy < bestDy)) {
        best = n;
        bestDx = dx;
        bestDy = dy;
      }
    };
    if (!chosen.empty()) {
      for (CNote* n : chosen) consider(n);
    } else {
      for (CStaveObject* o : m->OwnerStave->Attached)
        if (auto* n = As<CNote>(o)) consider(n);
    }
    if (!best) continue;
    ++bound;
    if (m->NoteLink == best && m->Note == best->Number && m->OwnerMeasure == best->OwnerMeasure) continue;
    m->Note = best->Number;
    m->NoteLink = best;
    // In the note's measure, so that it is found with the note.
    m->OwnerMeasure = best->OwnerMeasure;
    m->Measure = best->OwnerMeasure ? best->OwnerMeasure->Number : -1;
    if (m->Value == kDotTypes[0] || m->Value == kDotTypes[1]) {
      best->Style = (best->Style & ~kDotBits) | (m->Value == kDotTypes[0] ? NTS_DOTTED : NTS_DOUBLE_DOTTED);
    }
    ++changed;
  }
  if (bound == 0) return Fail(score, kErrNoMarkTarget);
  return changed > 0;
}

int UnbindMarks(CScore& score) {
  score.LastError.clear();
  const std::vector<CMark*> marks = SelectedMarks(score);
  if (marks.empty()) return Fail(score, kErrNoMark);
  int changed = 0;
  for (CMark* m : marks) {
    if (m->Note < 0 && !m->NoteLink) continue;
    m->Note = -1;
    m->NoteLink = nullptr;
    ++changed;
  }
  if (changed == 0) return Fail(score, kErrNotBound);
  return 1;
}

// --- merging a rest into the preceding note -----------------------------------------

namespace {

// Writes a note (and its chord) with the value that lasts `ticks` in its
// tuplet kind, or locks its length at `ticks` when no value does.
void GiveLength(CScore& score, MarkIndex& marks, CNote* note, int64_t ticks) {
  const int tuplet = note->TupletCount();
  int code = -1, dots = 0;
  for (int d = 0; d <= 2 && code < 0; ++d)
    for (int c = 0; c <= 7; ++c)
      if (NotatedTicks(score.TimeBase, c, d, tuplet) == ticks) {
        code = c;
        dots = d;
        break;
      }
  const int32_t t = static_cast<int32_t>(std::clamp<int64_t>(ticks, 1, std::numeric_limits<int32_t>::max()));
  for (CNote* n : ChordOf(note)) {
    if (code >= 0) {
      const int oldCode = n->DurationCode();
      n->Value = (n->Value & 0xFF00) | code;
      n->Style = (n->Style & ~kDotBits) | DotBitsFor(dots) | NTS_UPDATE_TICKS;
      ShapeForCode(n, oldCode);
      RedoDotMarks(score, marks, n);
    } else {
      n->Style &= ~NTS_UPDATE_TICKS;
    }
    n->Ticks = t;
    if (n->Style & NTS_UPDATE_PLAYTICKS) n->PlayTicks = t;
  }
}

}  // namespace

int MergeRestIntoNote(CScore& score) {
  score.LastError.clear();
  std::vector<CRest*> rests;
  for (CStave* stave : StavesInOrder(score))
    for (CStaveObject* o : stave->Attached)
      if (o->Selected && o->KindCode() == Kind::Rest) rests.push_back(static_cast<CRest*>(o));
  if (rests.empty()) {
    const bool any = std::any_of(score.Objects().begin(), score.Objects().end(),
                                 [](const auto& up) { return up->Selected && up->KindCode() == Kind::Rest; });
    return Fail(score, any ? kErrNotOnStave : kErrNoRest);
  }
  MarkIndex marks(score);
  int merged = 0;
  for (CRest* r : rests) {
    if (IsWholeMeasureRest(r) || !r->OwnerMeasure) continue;
    const std::vector<CNote*> line = VoiceLine(*r->OwnerStave, r->OwnerMeasure, r->Voice);
    auto at = std::find(line.begin(), line.end(), r);
    if (at == line.end() || at == line.begin()) continue;
    CNote* before = *(at - 1);
    if (before->KindCode() != Kind::Note) continue;
    GiveLength(score, marks, before, int64_t(before->Ticks) + r->Ticks);
    DoomWithMarks(marks, r);
    ++merged;
  }
  if (merged == 0) return Fail(score, kErrNoNoteBeforeRest);
  score.RemoveMarkedObjects();
  return 1;
}

// --- joining into a dotted note -----------------------------------------------------

int JoinIntoDottedNote(CScore& score) {
  score.LastError.clear();
  const std::vector<CNote*> selected = SelectedNotes(score, false);
  if (selected.empty()) return Fail(score, kErrNoNote);
  if (selected.size() < 2) return Fail(score, kErrFewerThanTwo);
  MarkIndex marks(score);
  int joined = 0;
  std::vector<CNote*> kept;  // the notes that took a dot
  std::vector<CNote*> notes;
  for (CStave* stave : StavesInOrder(score)) {
    SelectedOfStave(*stave, false, notes);
    for (size_t i = 0; i + 1 < notes.size(); ++i) {
      CNote* a = notes[i];
      if ((a->Transient & 1) || a->Chord >= 0 || IsSmall(a) || a->TupletCount() != 0 || !a->OwnerMeasure) continue;
      const std::vector<CNote*> line = VoiceLine(*stave, a->OwnerMeasure, a->Voice);
      auto at = std::find(line.begin(), line.end(), a);
      if (at == line.end() || at + 1 == line.end()) continue;
      CNote* b = *(at + 1);
      if (!b->Selected || b->KindCode() != Kind::Note || b->Chord >= 0 || b->TupletCount() != 0 || b->Key != a->Key)
        continue;
      const int64_t ta = NotatedTicks(score.TimeBase, a->DurationCode(), DotsOf(a), 0);
      const int64_t tb = NotatedTicks(score.TimeBase, b->DurationCode(), DotsOf(b), 0);
      if (ta < 0 || tb < 0) continue;
      int code = -1, dots = 0;
      for (int d = 1; d <= 2 && code < 0; ++d)
        for (int c = 0; c <= 7; ++c)
          if (NotatedTicks(score.TimeBase, c, d, 0) == ta + tb) {
            code = c;
            dots = d;
            break;
          }
      if (code < 0) continue;
      const int oldCode = a->DurationCode();
      a->Value = code;
      a->Style = (a->Style & ~kDotBits) | DotBitsFor(dots) | NTS_UPDATE_TICKS;
      a->Ticks = static_cast<int32_t>(ta + tb);
      if (a->Style & NTS_UPDATE_PLAYTICKS) a->PlayTicks = a->Ticks;
      ShapeForCode(a, oldCode);
      RedoDotMarks(score, marks, a);
      DoomWithMarks(marks, b);
      kept.push_back(a);
      ++joined;
    }
  }
  if (joined == 0) return Fail(score, kErrNoDottedPair);
  TidyTies(score);
  score.RemoveMarkedObjects();
  RebeamGroupsWith(score, kept);  // the beams no longer reach the dropped notes
  return 1;
}
