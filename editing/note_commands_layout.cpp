// Note-menu commands on the notation's layout: beam breaks and hooks,
// arpeggios, breaking chords and spacing.
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
#include "model/derived.h"
#include "model/score.h"

using namespace note_select;
using namespace note_commands_detail;

// --- beams --------------------------------------------------------------------------

namespace {

// One beam group on a stave: its beams and notes (in stave order).
struct BeamGroup {
  CStave* stave = nullptr;
  std::vector<CBeam*> beams;
  std::vector<CNote*> notes;
};

// Beams of a stave that overlap along x and lie within the reach of a
// group's levels belong together; the notes whose stems end on them (and
// their chord partners, and grace notes under them) are the group's notes.
std::vector<BeamGroup> BeamGroupsOf(CStave* stave) {
  std::vector<CBeam*> beams;
  for (CStaveObject* o : stave->Attached)
    if (o->KindCode() == Kind::Beam) beams.push_back(static_cast<CBeam*>(o));
  // Union by overlap.
  std::vector<size_t> parent(beams.size());
  for (size_t i = 0; i < parent.size(); ++i) parent[i] = i;
  auto find = [&](size_t i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
  };
  for (size_t i = 0; i < beams.size(); ++i)
    for (size_t j = i + 1; j < beams.size(); ++j) {
      const CBeam* a = beams[i];
      const CBeam* b = beams[j];
      const int lo = std::max(std::min(a->X, a->X1), std::min(b->X, b->X1));
      const int hi = std::min(std::max(a->X, a->X1), std::max(b->X, b->X1));
      if (lo > hi) continue;
      const double x = (lo + hi) / 2.0;
      if (std::abs(BeamYAt(a, x) - BeamYAt(b, x)) <= 28) parent[find(i)] = find(j);
    }
  std::map<size_t, BeamGroup> groups;
  for (size_t i = 0; i < beams.size(); ++i) {
    BeamGroup& g = groups[find(i)];
    g.stave = stave;
    g.beams.push_back(beams[i]);
  }
  std::vector<BeamGroup> out;
  for (auto& entry : groups) {
    BeamGroup& g = entry.second;  // a plain reference: lambdas below capture it
    int lo = std::numeric_limits<int>::max(), hi = std::numeric_limits<int>::min();
    for (const CBeam* b : g.beams) {
      // A hook's free end reaches past the last stem: only its stem end counts.
      lo = std::min(lo, IsHook(b) ? b->X : std::min(b->X, b->X1));
      hi = std::max(hi, IsHook(b) ? b->X : std::max(b->X, b->X1));
    }
    auto onBeam = [&](const CNote* n) {
      if (n->X < lo - kHook || n->X > hi + kHook) return false;
      if (IsSmall(n)) return true;
      if (n->Stem == 0) return false;
      const double end = double(n->Y) + n->Stem;
      double top = std::numeric_limits<double>::max(), bottom = std::numeric_limits<double>::lowest();
      for (const CBeam* b : g.beams) {
        const double y = BeamYAt(b, n->X);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
      return end >= top - 4 && end <= bottom + 4;
    };
    std::set<int32_t> chords;
    for (CStaveObject* o : stave->Attached)
      if (o->KindCode() == Kind::Note && onBeam(static_cast<CNote*>(o)) && static_cast<CNote*>(o)->Chord >= 0)
        chords.insert(static_cast<CNote*>(o)->Chord);
    for (CStaveObject* o : stave->Attached) {
      if (o->KindCode() != Kind::Note) continue;
      auto* n = static_cast<CNote*>(o);
      if (onBeam(n) || (n->Chord >= 0 && chords.count(n->Chord))) g.notes.push_back(n);
    }
    if (!g.notes.empty()) out.push_back(std::move(g));
  }
  return out;
}

int32_t ColumnKey(const CNote* n) { return n->Chord >= 0 ? n->Chord : n->Number; }

// A part left with one stem: the note (or chord) carries its flag again.
void RestoreFlag(CScore& score, const std::vector<CNote*>& part) {
  bool up = false;
  for (const CNote* n : part)
    if (n->Stem != 0) up = n->Stem < 0;
  if (part.size() > 1) {
    std::vector<CNote*> chord = part;
    std::stable_sort(chord.begin(), chord.end(), [](const CNote* a, const CNote* b) { return a->Y < b->Y; });
    chord.front()->Stem = static_cast<int8_t>(up ? -kStem : kStem);
    LayoutChord(score, chord);
    return;
  }
  CNote* n = part.front();
  if (IsSmall(n)) return;
  const int code = n->DurationCode();
  n->Head = static_cast<int8_t>(code);
  n->Tail = static_cast<int8_t>(code > 3 ? code - 3 : 0);
  if (code > 1) n->Stem = static_cast<int8_t>(up ? -kStem : kStem);
}

int TurnHooks(CScore& score, bool right) {
  score.LastError.clear();
  const std::vector<CNote*> selected = SelectedNotes(score, false);
  if (selected.empty()) return Fail(score, kErrNoNote);
  std::set<CBeam*> hooks;
  for (CNote* s : selected) {
    if (!s->OwnerStave) continue;
    for (CNote* n : ChordOf(s)) {
      for (CStaveObject* o : n->OwnerStave->Attached) {
        if (o->KindCode() != Kind::Beam) continue;
        auto* b = static_cast<CBeam*>(o);
        if (!IsHook(b) || std::abs(int64_t(b->X) - n->X) > kHook) continue;
        // On this note's stem: near where the stem ends.
        if (n->Stem != 0 && std::abs(double(n->Y) + n->Stem - b->Y) > 28) continue;
        hooks.insert(b);
      }
    }
  }
  if (hooks.empty()) return Fail(score, kErrNoHook);
  int changed = 0;
  for (CBeam* b : hooks) {
    if ((b->X1 > b->X) == right) continue;
    b->X1 = 2 * b->X - b->X1;
    b->Y1 = 2 * b->Y - b->Y1;
    b->SetBounds(b->X, b->Y, b->X1, b->Y1);
    ++changed;
  }
  return changed > 0;
}

}  // namespace

int BreakBeam(CScore& score) {
  score.LastError.clear();
  const std::vector<CNote*> selected = SelectedNotes(score, false);
  if (selected.empty()) return Fail(score, kErrNoNote);
  std::set<CStave*, ByNumber> staves;
  for (CNote* n : selected)
    if (n->OwnerStave) staves.insert(n->OwnerStave);

  std::vector<std::vector<CNote*>> parts;
  for (CStave* stave : staves)
    for (BeamGroup& g : BeamGroupsOf(stave)) {
      // Columns in order; a selected note after the first column starts a part.
      std::vector<std::vector<CNote*>> groupParts;
      int32_t column = std::numeric_limits<int32_t>::min();
      bool firstColumn = true, split = false;
      for (CNote* n : g.notes) {
        const int32_t key = ColumnKey(n);
        const bool newColumn = key != column || n->Chord < 0;
        if (newColumn) {
          const bool breakHere = !firstColumn && std::any_of(g.notes.begin(), g.notes.end(), [&](CNote* m) {
            return m->Selected && ColumnKey(m) == key;
          });
          if (groupParts.empty() || breakHere) groupParts.emplace_back();
          split |= breakHere;
          firstColumn = false;
          column = key;
        }
        groupParts.back().push_back(n);
      }
      if (!split) continue;
      for (CBeam* b : g.beams) CScore::MarkForRemoval(b);
      for (auto& p : groupParts) parts.push_back(std::move(p));
    }
  if (parts.empty()) return Fail(score, kErrNotInBeam);
  score.RemoveMarkedObjects();
  for (const std::vector<CNote*>& part : parts) {
    std::vector<std::vector<CNote*>> columns;
    for (CNote* n : part) {
      if (columns.empty() || n->Chord < 0 || ColumnKey(n) != ColumnKey(columns.back().front())) columns.emplace_back();
      columns.back().push_back(n);
    }
    if (columns.size() >= 2 && BeamNotes(score, part) > 0) continue;
    for (const std::vector<CNote*>& column : columns) RestoreFlag(score, column);
  }
  return 1;
}

namespace note_commands_detail {

void RebeamGroupsWith(CScore& score, const std::vector<CNote*>& notes) {
  const std::unordered_set<const CNote*> touched(notes.begin(), notes.end());
  std::set<CStave*, ByNumber> staves;
  for (CNote* n : notes)
    if (n->OwnerStave) staves.insert(n->OwnerStave);
  std::vector<std::vector<std::vector<CNote*>>> groups;  // each group's columns
  for (CStave* stave : staves)
    for (BeamGroup& g : BeamGroupsOf(stave)) {
      if (std::none_of(g.notes.begin(), g.notes.end(), [&](const CNote* n) { return touched.count(n) > 0; })) continue;
      std::vector<std::vector<CNote*>> columns;
      for (CNote* n : g.notes) {
        if (columns.empty() || n->Chord < 0 || ColumnKey(n) != ColumnKey(columns.back().front())) columns.emplace_back();
        columns.back().push_back(n);
      }
      for (CBeam* b : g.beams) CScore::MarkForRemoval(b);
      groups.push_back(std::move(columns));
    }
  if (groups.empty()) return;
  score.RemoveMarkedObjects();
  for (const auto& columns : groups) {
    std::vector<const std::vector<CNote*>*> run;
    auto flush = [&] {
      std::vector<CNote*> part;
      for (const auto* c : run) part.insert(part.end(), c->begin(), c->end());
      if (run.size() < 2 || BeamNotes(score, part) == 0)
        for (const auto* c : run) RestoreFlag(score, *c);
      run.clear();
    };
    for (const std::vector<CNote*>& column : columns) {
      const CNote* lead = column.front();
      if (IsSmall(lead) || lead->DurationCode() >= 4) {
        run.push_back(&column);
      } else {
        flush();
        RestoreFlag(score, column);
      }
    }
    flush();
  }
}

}  // namespace note_commands_detail

int FlagLeft(CScore& score) { return TurnHooks(score, false); }
int FlagRight(CScore& score) { return TurnHooks(score, true); }

// --- arpeggio -----------------------------------------------------------------------

int MakeArpeggio(CScore& score) {
  score.LastError.clear();
  const std::vector<CNote*> selected = SelectedNotes(score, false);
  if (selected.empty()) return Fail(score, kErrNoNote);
  std::unordered_set<int32_t> rolled;
  for (const auto& up : score.Objects())
    if (auto* c = As<CXCombo>(up.get()); c && c->Value == 3) rolled.insert(c->Members.begin(), c->Members.end());

  // Per stave, by start time; a chord note brings its chord.
  std::map<std::pair<CStave*, int32_t>, std::vector<CNote*>, StaveKeyLess> groups;
  std::unordered_set<CNote*> taken;
  for (CNote* s : selected) {
    if (!s->OwnerStave) continue;
    for (CNote* n : ChordOf(s))
      if (taken.insert(n).second) groups[{n->OwnerStave, n->Start}].push_back(n);
  }
  int made = 0;
  for (auto& [key, notes] : groups) {
    if (notes.size() < 2) continue;
    if (std::all_of(notes.begin(), notes.end(), [&](CNote* n) { return rolled.count(n->Number) > 0; })) continue;
    std::stable_sort(notes.begin(), notes.end(), [](CNote* a, CNote* b) { return a->Y < b->Y; });
    int left = std::numeric_limits<int>::max(), top = left, bottom = std::numeric_limits<int>::min();
    CNote* anchor = notes.front();
    for (CNote* n : notes) {
      left = std::min(left, n->Left);
      top = std::min(top, n->Top);
      bottom = std::max(bottom, n->Bottom);
      if (n->Chord == n->Number) anchor = n;
    }
    auto combo = std::make_unique<CXCombo>();
    combo->Value = 3;
    combo->Layer = score.Layer;
    combo->SetBounds(left - 14, top - 4, left - 4, bottom + 4);
    for (CNote* n : notes) combo->Members.push_back(n->Number);
    score.AddAttachedObject(key.first, anchor->OwnerMeasure, std::move(combo));
    ++made;
  }
  if (made == 0) {
    const bool anyGroup = std::any_of(groups.begin(), groups.end(), [](const auto& g) { return g.second.size() >= 2; });
    return anyGroup ? 0 : Fail(score, kErrNoChord);
  }
  return 1;
}

// --- breaking chords ----------------------------------------------------------------

int BreakChords(CScore& score) {
  score.LastError.clear();
  const std::vector<CNote*> selected = SelectedNotes(score, false);
  if (selected.empty()) return Fail(score, kErrNoNote);
  std::map<std::pair<CStave*, int32_t>, std::vector<CNote*>, StaveKeyLess> chords;
  for (CNote* s : selected) {
    if (s->Chord < 0 || !s->OwnerStave) continue;
    auto key = std::make_pair(s->OwnerStave, s->Chord);
    if (!chords.count(key)) chords[key] = ChordOf(s);
  }
  std::erase_if(chords, [](const auto& c) { return c.second.size() < 2; });
  if (chords.empty()) return Fail(score, kErrNoChord);

  // Room first, for every chord of each voice line together.
  struct Line {
    bool counted = false;
    int64_t used = 0, added = 0, capacity = 0;
  };
  std::map<std::tuple<CStave*, CMeasure*, int>, Line> lines;
  for (auto& [key, notes] : chords) {
    CNote* lead = notes.front();
    for (CNote* n : notes)
      if (n->Number == n->Chord) lead = n;
    const auto lineKey = std::make_tuple(key.first, lead->OwnerMeasure, int(lead->Voice));
    Line& l = lines[lineKey];
    if (!l.counted && lead->OwnerMeasure) {
      l.counted = true;
      l.capacity = lead->OwnerMeasure->Ticks;
      for (CNote* n : VoiceLine(*key.first, lead->OwnerMeasure, lead->Voice)) l.used += n->Ticks;
    }
    if (!IsSmall(lead))
      for (CNote* n : notes)
        if (n != lead) l.added += n->Ticks;
  }
  for (const auto& [key, l] : lines)
    if (l.used + l.added > l.capacity) return Fail(score, kErrNoRoom);

  std::unordered_map<int32_t, CXCombo*> arpeggioOf;
  for (const auto& up : score.Objects())
    if (auto* c = As<CXCombo>(up.get()); c && c->Value == 3)
      for (int32_t member : c->Members) arpeggioOf.emplace(member, c);

  for (auto& [key, notes] : chords) {
    CStave* stave = key.first;
    CNote* lead = notes.front();
    for (CNote* n : notes)
      if (n->Number == n->Chord) lead = n;
    CMeasure* measure = lead->OwnerMeasure;
    const double scale = measure && measure->UnitsPerTick > 0 ? measure->UnitsPerTick : 0;
    auto width = [&](const CNote* n) {
      const int w = static_cast<int>(std::trunc(n->Ticks * scale));
      return std::max(w, 20);
    };
    const int column = lead->Left;
    std::vector<CNote*> order = notes;
    std::stable_sort(order.begin(), order.end(), [](const CNote* a, const CNote* b) { return a->Y > b->Y; });
    std::vector<int> xs{column};
    for (size_t i = 1; i < order.size(); ++i) xs.push_back(xs.back() + width(order[i - 1]));
    const int extra = xs.back() - column;

    // The voice after the chord moves right to make room.
    std::unordered_map<CNote*, int> after;
    for (CStaveObject* o : stave->Attached)
      if (auto* n = As<CNote>(o); n && n->OwnerMeasure == measure && n->Voice == lead->Voice &&
                                  n->Chord != lead->Chord && n->Left > lead->Left && IsChordLeaderOrSingle(n))
        after[n] = extra;
    MoveNotes(score, after);

    // Arpeggios over the chord go with it.
    for (CNote* n : notes)
      if (auto it = arpeggioOf.find(n->Number); it != arpeggioOf.end()) CScore::MarkForRemoval(it->second);

    std::unordered_map<CNote*, int> moves;
    for (size_t i = 0; i < order.size(); ++i) {
      CNote* n = order[i];
      n->Chord = -1;
      const int code = n->DurationCode();
      if (!IsSmall(n)) n->Head = static_cast<int8_t>(code);
      n->Tail = static_cast<int8_t>(code > 3 ? code - 3 : 0);
      const int dy = n->OwnerStave ? n->Y - n->OwnerStave->Top : n->dy;
      n->Stem = static_cast<int8_t>(code > 1 ? (dy > 15 ? -kStem : kStem) : 0);
      moves[n] = xs[i] - n->Left;
    }
    MoveNotes(score, moves);
  }
  score.RemoveMarkedObjects();
  return 1;
}

// --- spacing ------------------------------------------------------------------------

namespace {

// The (stave, measure) pairs that hold a selected note or rest, in order.
std::vector<std::pair<CStave*, CMeasure*>> SelectedMeasures(const CScore& score) {
  std::vector<std::pair<CStave*, CMeasure*>> out;
  std::set<std::pair<CStave*, CMeasure*>> seen;
  for (CNote* n : SelectedNotes(score, true))
    if (n->OwnerStave && n->OwnerMeasure && seen.insert({n->OwnerStave, n->OwnerMeasure}).second)
      out.emplace_back(n->OwnerStave, n->OwnerMeasure);
  return out;
}

// Leaders and single notes and rests of a stave in a measure.
std::vector<CNote*> Leaders(const CStave& stave, const CMeasure* measure) {
  std::vector<CNote*> out;
  for (CStaveObject* o : stave.Attached)
    if (auto* n = As<CNote>(o); n && n->OwnerMeasure == measure && IsChordLeaderOrSingle(n)) out.push_back(n);
  return out;
}

}  // namespace

int SpaceNotesByTime(CScore& score) {
  score.LastError.clear();
  const auto pairs = SelectedMeasures(score);
  if (pairs.empty()) return Fail(score, SelectedNotes(score, true).empty() ? kErrNoNote : kErrNotOnStave);
  std::unordered_map<CNote*, int> moves;
  for (auto [stave, measure] : pairs) {
    ComputeLeftPadding(*measure);
    ComputeUnitsPerTick(*measure);
    if (measure->Ticks <= 0) continue;
    for (CNote* n : Leaders(*stave, measure)) {
      const int dx = TickToX(*measure, n->Start) - n->Left;
      if (dx != 0) moves[n] = dx;
    }
  }
  if (moves.empty()) return 0;
  MoveNotes(score, moves);
  return 1;
}

int SpreadCrowdedNotes(CScore& score) {
  score.LastError.clear();
  const auto pairs = SelectedMeasures(score);
  if (pairs.empty()) return Fail(score, SelectedNotes(score, true).empty() ? kErrNoNote : kErrNotOnStave);
  constexpr int kGap = 4, kDotRoom = 8;
  std::unordered_map<CNote*, int> moves;
  for (auto [stave, measure] : pairs) {
    // Columns: notes and rests starting together, with the heads of their chords.
    std::map<int32_t, std::vector<CNote*>> byStart;
    for (CNote* n : Leaders(*stave, measure)) byStart[n->Start].push_back(n);
    struct Column {
      std::vector<CNote*> leaders;
      int left, width;
    };
    std::vector<Column> columns;
    for (auto& [start, leaders] : byStart) {
      int left = std::numeric_limits<int>::max(), right = std::numeric_limits<int>::min();
      bool dotted = false;
      for (CNote* lead : leaders)
        for (CNote* n : ChordOf(lead)) {
          left = std::min(left, n->Left);
          right = std::max(right, n->Right);
          dotted |= DotsOf(n) > 0;
        }
      columns.push_back({leaders, left, right - left + (dotted ? kDotRoom : 0)});
    }
    if (columns.size() < 2) continue;
    std::stable_sort(columns.begin(), columns.end(), [](const Column& a, const Column& b) { return a.left < b.left; });
    const int areaLeft = measure->Left + measure->LeftPadding;
    const int areaRight = measure->Right - measure->RightPadding;
    std::vector<int64_t> q(columns.size());
    q[0] = columns[0].left;
    for (size_t i = 1; i < columns.size(); ++i)
      q[i] = std::max<int64_t>(columns[i].left, q[i - 1] + columns[i - 1].width + kGap);
    if (q.back() + columns.back().width > areaRight) {
      q.back() = std::min<int64_t>(q.back(), areaRight - columns.back().width);
      for (size_t i = columns.size() - 1; i-- > 0;) q[i] = std::min<int64_t>(q[i], q[i + 1] - columns[i].width - kGap);
      if (q[0] < std::min<int64_t>(areaLeft, columns[0].left)) return Fail(score, kErrMeasureTooNarrow);
    }
    for (size_t i = 0; i < columns.size(); ++i) {
      const int dx = static_cast<int>(q[i] - columns[i].left);
      if (dx != 0)
        for (CNote* n : columns[i].leaders) moves[n] = dx;
    }
  }
  if (moves.empty()) return 0;
  MoveNotes(score, moves);
  return 1;
}
