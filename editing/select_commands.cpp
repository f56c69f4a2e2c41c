// Selection filters, bulk selections, drawing order, chord-number repair,
// visual-MIDI times, measure arrangement and snapping notes to the staff.
#include "editing/select_commands.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "editing/edit_util.h"
#include "editing/insert.h"
#include "editing/note_ops.h"
#include "model/derived.h"
#include "model/score.h"

namespace {

// --- selection helpers ----------------------------------------------------------

// Locked as the capture sees it: the layer the whole byte names.
bool OnLockedLayer(const CScore& score, const CXObject& o) {
  const CLayer* layer = score.GetLayer(static_cast<uint8_t>(o.Layer));
  return layer && (layer->Style & LAYER_LOCKED);
}

// Hidden as the drawing sees it: the layer of the low seven bits, and no
// layer at all draws nothing.
bool OnHiddenLayer(const CScore& score, const CXObject& o) {
  const size_t index = static_cast<uint8_t>(o.Layer) & 0x7F;
  return index >= score.Layers.size() || !(score.Layers[index].Style & LAYER_VISIBLE);
}

bool Selectable(const CScore& score, const CXObject& o) {
  return !OnLockedLayer(score, o) && !OnHiddenLayer(score, o);
}

// The align commands measure against the last captured object; when it is
// let go, the last selected object stands in.
void KeepReference(CScore& score) {
  if (!score.LastCaptured || score.LastCaptured->Selected) return;
  score.LastCaptured = nullptr;
  const auto& objects = score.Objects();
  for (auto it = objects.rbegin(); it != objects.rend(); ++it)
    if ((*it)->Selected) {
      score.LastCaptured = it->get();
      break;
    }
}

// Makes the selection exactly the objects `want` accepts; 1 when it changed.
template <typename Want>
int SetSelection(CScore& score, Want want) {
  bool changed = false;
  int32_t count = 0;
  for (const auto& up : score.Objects()) {
    CXObject& o = *up;
    const bool select = want(o);
    if ((o.Selected != 0) != select) changed = true;
    o.Selected = select ? 1 : 0;
    count += select ? 1 : 0;
  }
  score.SelectedCount = count;
  KeepReference(score);
  return changed ? 1 : 0;
}

// Replaces the selection with the selectable objects `match` accepts;
// refuses with `none` when there are none.
template <typename Match>
int SelectMatching(CScore& score, const char* none, Match match) {
  auto want = [&](const CXObject& o) { return match(o) && Selectable(score, o); };
  const auto& objects = score.Objects();
  if (std::none_of(objects.begin(), objects.end(), [&](const auto& up) { return want(*up); })) {
    score.LastError = none;
    return 0;
  }
  return SetSelection(score, want);
}

// --- drawing order helpers --------------------------------------------------------

std::vector<CXObject*> CurrentOrder(const CScore& score) {
  std::vector<CXObject*> order;
  order.reserve(score.ObjectCount());
  for (const auto& up : score.Objects()) order.push_back(up.get());
  return order;
}

int ApplyOrder(CScore& score, const std::vector<CXObject*>& order) {
  if (order == CurrentOrder(score)) return 0;
  return score.SetObjectOrder(order) ? 1 : 0;
}

// An object's box as SetBounds would leave it, in 64 bits.
struct Box {
  int64_t Left, Top, Right, Bottom;
};
Box BoxOf(const CXObject& o) {
  Box b{std::min<int64_t>(o.Left, o.Right), std::min<int64_t>(o.Top, o.Bottom), std::max<int64_t>(o.Left, o.Right),
        std::max<int64_t>(o.Top, o.Bottom)};
  if (b.Right == b.Left) ++b.Right;
  if (b.Bottom == b.Top) ++b.Bottom;
  return b;
}

// The two boxes share some area.
bool Overlap(const CXObject& x, const CXObject& y) {
  const Box a = BoxOf(x), b = BoxOf(y);
  return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}

// The unselected objects by place on the page, to find the first one after a
// given place in the list that overlaps an object, without walking every
// object behind it. Boxes go into square cells; boxes spanning very many
// cells (systems of a wide page, stray coordinates) are kept in one list
// that every search walks.
class OverlapIndex {
 public:
  static constexpr size_t kNone = SIZE_MAX;

  OverlapIndex(const std::vector<CXObject*>& order, const std::vector<size_t>& candidates)
      : order_(order), all_(candidates) {
    for (size_t i : candidates) {
      const CXObject& o = *order[i];
      const Span span = SpanOf(o);
      if (span.Cells() > kMaxCells) {
        large_.push_back(i);
        continue;
      }
      for (int64_t cy = span.Top; cy <= span.Bottom; ++cy)
        for (int64_t cx = span.Left; cx <= span.Right; ++cx) cells_[Key(cx, cy)].push_back(i);
    }
  }

  // The first candidate after place i whose box overlaps the box of the
  // object at i; kNone when there is none.
  size_t FirstAfter(size_t i) const {
    const CXObject& o = *order_[i];
    size_t best = First(large_, i, o, kNone);
    const Span span = SpanOf(o);
    if (span.Cells() > kMaxCells) return First(all_, i, o, best);
    for (int64_t cy = span.Top; cy <= span.Bottom; ++cy)
      for (int64_t cx = span.Left; cx <= span.Right; ++cx)
        if (auto it = cells_.find(Key(cx, cy)); it != cells_.end()) best = First(it->second, i, o, best);
    return best;
  }

 private:
  static constexpr int kCellShift = 6;  // 64 units
  static constexpr int64_t kMaxCells = 256;

  struct Span {
    int64_t Left, Top, Right, Bottom;  // cells, inclusive
    int64_t Cells() const { return (Right - Left + 1) * (Bottom - Top + 1); }
  };
  static Span SpanOf(const CXObject& o) {
    const Box b = BoxOf(o);  // Right and Bottom lie outside it
    return {b.Left >> kCellShift, b.Top >> kCellShift, (b.Right - 1) >> kCellShift, (b.Bottom - 1) >> kCellShift};
  }
  static uint64_t Key(int64_t cx, int64_t cy) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(cx)) << 32) | static_cast<uint32_t>(cy);
  }
  // The first entry of an ascending list after place i and before `best`
  // that overlaps o.
  size_t First(const std::vector<size_t>& list, size_t i, const CXObject& o, size_t best) const {
    for (auto it = std::upper_bound(list.begin(), list.end(), i); it != list.end() && *it < best; ++it)
      if (Overlap(o, *order_[*it])) return *it;
    return best;
  }

  const std::vector<CXObject*>& order_;
  const std::vector<size_t>& all_;
  std::vector<size_t> large_;
  std::unordered_map<uint64_t, std::vector<size_t>> cells_;
};

// Every selected object goes right after the first unselected object after it
// that it overlaps; it stays where it is when there is none. Objects that
// arrive behind the same object keep their order, and come before selected
// objects that were already there.
std::vector<CXObject*> ForwardPastOverlap(const std::vector<CXObject*>& order) {
  const size_t n = order.size();
  std::vector<size_t> unselected;
  for (size_t i = 0; i < n; ++i)
    if (!order[i]->Selected) unselected.push_back(i);
  const OverlapIndex index(order, unselected);
  std::vector<std::vector<CXObject*>> arriving(n);
  std::vector<bool> moves(n, false);
  for (size_t i = 0; i < n; ++i) {
    if (!order[i]->Selected) continue;
    const size_t target = index.FirstAfter(i);
    if (target == OverlapIndex::kNone) continue;
    arriving[target].push_back(order[i]);
    moves[i] = true;
  }
  std::vector<CXObject*> out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    if (moves[i]) continue;
    out.push_back(order[i]);
    for (CXObject* o : arriving[i]) out.push_back(o);
  }
  return out;
}

// --- chord repair helpers ----------------------------------------------------------

// Notes closer than this across to a group's first note stand in one chord
// (as when chords are made).
constexpr int64_t kChordReach = 13;

}  // namespace

// --- selection ----------------------------------------------------------------------

int InvertSelection(CScore& score) {
  score.LastError.clear();
  return SetSelection(score, [&](const CXObject& o) { return !o.Selected && Selectable(score, o); });
}

int KeepSelectedNotes(CScore& score) {
  score.LastError.clear();
  return SetSelection(score, [](const CXObject& o) { return o.Selected && o.KindCode() == Kind::Note; });
}

int KeepSelectedRests(CScore& score) {
  score.LastError.clear();
  return SetSelection(score, [](const CXObject& o) { return o.Selected && o.KindCode() == Kind::Rest; });
}

int KeepSelectedNotesAndRests(CScore& score) {
  score.LastError.clear();
  return SetSelection(score, [](const CXObject& o) { return o.Selected && o.IsKind(Kind::Note); });
}

int SelectArea(CScore& score) {
  score.LastError.clear();
  bool any = false;
  int64_t l = 0, t = 0, r = 0, b = 0;
  for (const auto& up : score.Objects()) {
    if (!up->Selected) continue;
    if (!any) {
      l = up->Left, t = up->Top, r = up->Right, b = up->Bottom;
      any = true;
    } else {
      l = std::min<int64_t>(l, up->Left), t = std::min<int64_t>(t, up->Top);
      r = std::max<int64_t>(r, up->Right), b = std::max<int64_t>(b, up->Bottom);
    }
  }
  if (!any) return 0;
  return SetSelection(score, [&](const CXObject& o) {
    return o.Selected ||
           (o.Left >= l && o.Right <= r && o.Top >= t && o.Bottom <= b && Selectable(score, o));
  });
}

int SelectLayer(CScore& score, int layer) {
  score.LastError.clear();
  const CLayer* entry = layer >= 0 ? score.GetLayer(static_cast<size_t>(layer)) : nullptr;
  if (!entry) {
    score.LastError = kErrNoSuchLayer;
    return 0;
  }
  if (entry->Style & LAYER_LOCKED) {
    score.LastError = kErrLayerLocked;
    return 0;
  }
  if (!(entry->Style & LAYER_VISIBLE)) {
    score.LastError = kErrLayerHidden;
    return 0;
  }
  return SelectMatching(score, kErrLayerEmpty,
                        [&](const CXObject& o) { return static_cast<uint8_t>(o.Layer) == layer; });
}

int SelectVoice(CScore& score, int voice) {
  score.LastError.clear();
  return SelectMatching(score, kErrNoVoiceNotes, [&](const CXObject& o) {
    return o.IsKind(Kind::Note) && static_cast<const CNote&>(o).Voice == voice;
  });
}

int SelectChannel(CScore& score, int channel) {
  score.LastError.clear();
  if (channel < 0 || channel > 15) {
    score.LastError = kErrChannelRange;
    return 0;
  }
  return SelectMatching(score, kErrNoChannelNotes, [&](const CXObject& o) {
    return o.KindCode() == Kind::Note && (static_cast<const CNote&>(o).Channel & 0x0F) == channel;
  });
}

// --- drawing order --------------------------------------------------------------------

int SendToBack(CScore& score) {
  score.LastError.clear();
  std::vector<CXObject*> order = CurrentOrder(score);
  std::stable_partition(order.begin(), order.end(), [](const CXObject* o) { return o->Selected != 0; });
  return ApplyOrder(score, order);
}

int BringToFront(CScore& score) {
  score.LastError.clear();
  std::vector<CXObject*> order = CurrentOrder(score);
  std::stable_partition(order.begin(), order.end(), [](const CXObject* o) { return o->Selected == 0; });
  return ApplyOrder(score, order);
}

int BringForward(CScore& score) {
  score.LastError.clear();
  return ApplyOrder(score, ForwardPastOverlap(CurrentOrder(score)));
}

int SendBackward(CScore& score) {
  score.LastError.clear();
  // Backward is forward in the reversed list.
  std::vector<CXObject*> order = CurrentOrder(score);
  std::reverse(order.begin(), order.end());
  order = ForwardPastOverlap(order);
  std::reverse(order.begin(), order.end());
  return ApplyOrder(score, order);
}

// --- repairs ----------------------------------------------------------------------------

int RepairChordNumbers(CScore& score) {
  score.LastError.clear();
  // Notes with a chord number, by stave, measure, voice and number; object
  // order inside each.
  std::unordered_map<const CXObject*, size_t> place;
  using Key = std::tuple<int32_t, int32_t, int, int32_t>;  // stave, measure, voice, chord
  std::map<Key, std::vector<CNote*>> byKey;
  const auto& objects = score.Objects();
  for (size_t i = 0; i < objects.size(); ++i) {
    auto* n = As<CNote>(objects[i].get());
    if (!n || n->Chord < 0) continue;
    place.emplace(n, i);
    // Owners by Number: a note whose owner is gone keeps -1 and groups with
    // the other ownerless notes.
    const int32_t stave = n->OwnerStave ? n->OwnerStave->Number : -1;
    const int32_t measure = n->OwnerMeasure ? n->OwnerMeasure->Number : -1;
    byKey[{stave, measure, n->Voice, n->Chord}].push_back(n);
  }

  // Split each run by place across.
  std::vector<std::vector<CNote*>> groups;
  for (auto& [key, notes] : byKey) {
    std::stable_sort(notes.begin(), notes.end(), [](const CNote* a, const CNote* b) { return a->X < b->X; });
    std::vector<CNote*> group;
    for (CNote* n : notes) {
      if (!group.empty() && std::llabs(int64_t(n->X) - group.front()->X) >= kChordReach) {
        groups.push_back(std::move(group));
        group.clear();
      }
      group.push_back(n);
    }
    if (!group.empty()) groups.push_back(std::move(group));
  }
  // Claims go to the groups in the order of their first note in the score.
  auto first = [&](const std::vector<CNote*>& g) {
    size_t best = SIZE_MAX;
    for (const CNote* n : g) best = std::min(best, place[n]);
    return best;
  };
  std::stable_sort(groups.begin(), groups.end(), [&](const auto& a, const auto& b) { return first(a) < first(b); });

  std::unordered_set<int32_t> claimed;
  std::vector<CNote*> leaders(groups.size(), nullptr);
  // The notes that already lead their own group keep leading it.
  for (size_t g = 0; g < groups.size(); ++g) {
    if (groups[g].size() < 2) continue;
    for (CNote* n : groups[g])
      if (n->Number == n->Chord && !claimed.count(n->Number)) {
        leaders[g] = n;
        claimed.insert(n->Number);
        break;
      }
  }
  // Groups made by copying: the highest note leads, as when a chord is made.
  for (size_t g = 0; g < groups.size(); ++g) {
    if (groups[g].size() < 2 || leaders[g]) continue;
    std::vector<CNote*> byHeight = groups[g];
    std::stable_sort(byHeight.begin(), byHeight.end(), [&](const CNote* a, const CNote* b) {
      return a->Y != b->Y ? a->Y < b->Y : place[a] < place[b];
    });
    for (CNote* n : byHeight)
      if (!claimed.count(n->Number)) {
        leaders[g] = n;
        claimed.insert(n->Number);
        break;
      }
    // Every Number of the group is some other chord's (only when Numbers are
    // duplicated): the group is left as it is.
  }

  int changed = 0;
  for (size_t g = 0; g < groups.size(); ++g) {
    int32_t chord = -1;
    if (groups[g].size() >= 2) {
      if (!leaders[g]) continue;
      chord = leaders[g]->Number;
    }
    for (CNote* n : groups[g])
      if (n->Chord != chord) {
        n->Chord = chord;
        ++changed;
      }
  }
  if (changed == 0) return 0;
  // Chord members take their start from their leader.
  score.UpdateDerived();
  return 1;
}

int UpdateVisualMidiTimes(CScore& score) {
  score.LastError.clear();
  int changed = 0;
  for (const auto& up : score.Objects()) {
    if (up->KindCode() != Kind::VisualMidi) continue;
    auto& v = static_cast<CVisualMidi&>(*up);
    const int32_t before = v.Start;
    ComputeVisualMidiStart(v);
    changed += v.Start != before ? 1 : 0;
  }
  return changed > 0 ? 1 : 0;
}

int ArrangeMeasureAt(CScore& score, int x, int y) {
  score.LastError.clear();
  CStaff* system = SystemAtPoint(score, x, y);
  CMeasure* measure = system ? editing::MeasureAtX(*system, x) : nullptr;
  if (!measure) {
    score.LastError = kErrNoMeasureAtCaret;
    return 0;
  }
  score.UpdateDerived();
  if (measure->Ticks <= 0) {
    score.LastError = kErrMeasureNoLength;
    return 0;
  }
  ComputeLeftPadding(*measure);
  if (int64_t(measure->Right) - measure->RightPadding - measure->LeftPadding - measure->Left <= 0) {
    score.LastError = kErrTooNarrowToArrange;
    return 0;
  }
  ComputeUnitsPerTick(*measure);

  // The notes that will be placed (singles and chord leaders), per stave and
  // voice: each must stand at its own x, in the order of its start.
  const int64_t end = int64_t(measure->Start) + measure->Ticks;
  for (CStave* stave : system->Staves) {
    std::map<int, std::vector<const CNote*>> voices;
    for (CStaveObject* o : stave->Attached) {
      auto* n = As<CNote>(o);
      if (!n || n->OwnerMeasure != measure) continue;
      if (n->Chord >= 0 && n->Chord != n->Number) continue;
      if (n->Voice < 0 || n->Voice > 15) continue;  // such notes get no start time
      if (n->Start < measure->Start || n->Start >= end) {
        score.LastError = kErrMeasureOverfull;
        return 0;
      }
      voices[n->Voice].push_back(n);
    }
    for (auto& [voice, notes] : voices) {
      std::stable_sort(notes.begin(), notes.end(),
                       [](const CNote* a, const CNote* b) { return a->Start < b->Start; });
      for (size_t i = 1; i < notes.size(); ++i) {
        if (notes[i]->Start == notes[i - 1]->Start) {
          score.LastError = kErrMeasureOverfull;
          return 0;
        }
        if (TickToX(*measure, notes[i]->Start) <= TickToX(*measure, notes[i - 1]->Start)) {
          score.LastError = kErrTooNarrowToArrange;
          return 0;
        }
      }
    }
  }

  std::vector<int32_t> before;
  before.reserve(score.ObjectCount());
  for (const auto& up : score.Objects()) before.push_back(up->Left);
  RespaceMeasure(score, *measure);
  bool moved = false;
  for (size_t i = 0; i < before.size() && !moved; ++i) moved = score.GetObject(i)->Left != before[i];
  if (!moved) return 0;
  // Dynamics and articulations are found by position.
  score.UpdateDerived();
  return 1;
}

int SnapNotesToStaffPositions(CScore& score) {
  score.LastError.clear();
  const int64_t h = score.LineSpace / 2;
  if (h < 1) {
    score.LastError = kErrLineSpaceTooSmall;
    return 0;
  }
  // Plain marks (dots, articulations) go with their note; slurs and beams
  // span other notes as well and stay.
  std::unordered_map<const CXObject*, std::vector<CMark*>> marks;
  for (const auto& up : score.Objects())
    if (up->KindCode() == Kind::Mark)
      if (auto* m = static_cast<CMark*>(up.get()); m->NoteLink) marks[m->NoteLink].push_back(m);

  int moved = 0;
  for (const auto& up : score.Objects()) {
    if (up->KindCode() != Kind::Note) continue;
    auto& n = static_cast<CNote&>(*up);
    if (!n.OwnerStave) continue;
    const int64_t v = int64_t(n.Y) - n.OwnerStave->Top;
    const int64_t r = ((v % h) + h) % h;  // 0 .. h - 1, also for notes above the top line
    if (r == 0) continue;
    const int d = static_cast<int>(r <= h / 2 ? -r : h - r);
    n.MoveTo(n.Left, n.Top + d);
    if (auto it = marks.find(&n); it != marks.end())
      for (CMark* m : it->second) m->MoveTo(m->Left, m->Top + d);
    ++moved;
  }
  return moved > 0 ? 1 : 0;
}

// --- note bits ---------------------------------------------------------------------------

namespace {

// Sets or clears style bits of the selected notes (not rests) that `applies`
// accepts; whether any changed. With no note selected, the refusal text.
template <typename Applies>
int ChangeNoteStyle(CScore& score, int32_t set, int32_t clear, Applies applies) {
  score.LastError.clear();
  int notes = 0, changed = 0;
  for (const auto& up : score.Objects()) {
    if (!up->Selected || up->KindCode() != Kind::Note) continue;
    ++notes;
    auto& n = static_cast<CNote&>(*up);
    if (!applies(n)) continue;
    const int32_t style = (n.Style | set) & ~clear;
    if (style != n.Style) {
      n.Style = style;
      ++changed;
    }
  }
  if (notes == 0) score.LastError = kErrNoNote;
  return changed > 0 ? 1 : 0;
}

}  // namespace

int FollowPitch(CScore& score) {
  return ChangeNoteStyle(score, NTS_UPDATE_KEY, 0, [](const CNote&) { return true; });
}

int FollowVelocity(CScore& score) {
  return ChangeNoteStyle(score, NTS_UPDATE_VELOCITY, 0, [](const CNote&) { return true; });
}

int ClearLegato(CScore& score) {
  return ChangeNoteStyle(score, 0, NTS_FULL_LENGTH, [](const CNote& n) { return !(n.Style & NTS_GRACE); });
}
