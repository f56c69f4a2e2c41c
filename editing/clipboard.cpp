// Clipboard payload and the three paste modes.
#include "editing/clipboard.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <unordered_map>

#include "editing/edit_util.h"
#include "editing/insert.h"
#include "editing/note_select.h"
#include "model/archive.h"
#include "model/derived.h"
#include "model/score.h"

using namespace editing;
using namespace note_select;

namespace {

// Payload coordinates further off the page than this are refused, which
// keeps every offset and move of a paste far from overflow.
constexpr int64_t kCoordinateLimit = int64_t(1) << 24;
// Paste results are kept inside this range as well.
constexpr int64_t kResultLimit = int64_t(1) << 30;
// A paste of notes adds at most this many measures; notes that would need
// more stay in the last measure.
constexpr int kMaxAddedMeasures = 1024;
// How far the end of a pasted beam or slur may lie from the note it ends at.
constexpr int64_t kSpanReach = 16;

bool IsStructure(const CXObject& o) {
  const char k = o.KindCode();
  return k == Kind::Staff || k == Kind::Stave || k == Kind::Measure;
}

int ClampToPage(int64_t v) { return static_cast<int>(std::clamp(v, -kResultLimit, kResultLimit)); }

// --- writing -------------------------------------------------------------------

// Writes one entry. A stave, measure or system number whose object is gone
// (deleted since, or never there in a loaded file) is written as none, so
// that the payload names only objects it carries and always reads back.
void WriteEntry(const CScore& score, Archive& ar, CXObject& o) {
  struct Kept {
    int32_t* field;
    int32_t value;
  };
  Kept kept[2];
  int stale = 0;
  auto check = [&](int32_t& field, bool named) {
    if (field >= 0 && !named) {
      kept[stale++] = {&field, field};
      field = -1;
    }
  };
  if (auto* s = As<CStave>(&o)) {
    check(s->Staff, As<CStaff>(score.FindByNumber(s->Staff)) != nullptr);
  } else if (auto* m = As<CMeasure>(&o)) {
    check(m->Staff, As<CStaff>(score.FindByNumber(m->Staff)) != nullptr);
  } else if (auto* so = As<CStaveObject>(&o)) {
    check(so->Stave, As<CStave>(score.FindByNumber(so->Stave)) != nullptr);
    check(so->Measure, As<CMeasure>(score.FindByNumber(so->Measure)) != nullptr);
  }
  StoreObjectEntry(ar, o);
  for (int i = 0; i < stale; ++i) *kept[i].field = kept[i].value;
}

// --- reading -------------------------------------------------------------------

bool OnPage(int64_t v) { return v > -kCoordinateLimit && v < kCoordinateLimit; }

bool CoordinatesOnPage(const CXObject& o) {
  if (!OnPage(o.Left) || !OnPage(o.Top) || !OnPage(o.Right) || !OnPage(o.Bottom)) return false;
  if (auto* w = As<CXWord>(&o)) {
    if (!OnPage(w->X) || !OnPage(w->Y)) return false;
    if (auto* b = As<CBeam>(&o)) return OnPage(b->X1) && OnPage(b->Y1);
    if (auto* s = As<CSlurLine>(&o)) return OnPage(s->X1) && OnPage(s->Y1) && OnPage(s->X2) && OnPage(s->Y2);
  } else if (auto* l = As<CXLine>(&o)) {
    return OnPage(l->X) && OnPage(l->Y) && OnPage(l->X1) && OnPage(l->Y1);
  }
  return true;
}

std::string Describe(const CXObject& o) { return std::string(KindName(o.KindCode())) + " " + std::to_string(o.Number); }

// Why the objects read from a payload cannot be pasted; empty when they can.
// Structure references must name structure the payload carries; references
// between notes, marks and combinations may name objects that were not
// copied (they are cut when pasting).
std::string CheckPayload(const std::vector<std::unique_ptr<CXObject>>& objects) {
  std::unordered_map<int32_t, const CXObject*> byNumber;
  byNumber.reserve(objects.size());
  for (const auto& up : objects) {
    const CXObject& o = *up;
    if (o.Number < 0) return Describe(o) + " has a negative number";
    if (!byNumber.emplace(o.Number, &o).second) return "number " + std::to_string(o.Number) + " is used twice";
    if (!CoordinatesOnPage(o)) return Describe(o) + " lies off any page";
  }
  auto names = [&](int32_t ref, char kind) {
    if (ref < 0) return true;
    auto it = byNumber.find(ref);
    return it != byNumber.end() && it->second->KindCode() == kind;
  };
  auto dangling = [](const CXObject& o, const char* what, int32_t ref) {
    return Describe(o) + " names " + what + " " + std::to_string(ref) + ", which the clipboard does not hold";
  };
  for (const auto& up : objects) {
    const CXObject& o = *up;
    if (auto* s = As<CStave>(&o)) {
      if (!names(s->Staff, Kind::Staff)) return dangling(o, "system", s->Staff);
    } else if (auto* m = As<CMeasure>(&o)) {
      if (!names(m->Staff, Kind::Staff)) return dangling(o, "system", m->Staff);
    } else if (auto* so = As<CStaveObject>(&o)) {
      if (!names(so->Stave, Kind::Stave)) return dangling(o, "stave", so->Stave);
      if (!names(so->Measure, Kind::Measure)) return dangling(o, "measure", so->Measure);
    }
  }
  return {};
}

// --- pasting -------------------------------------------------------------------

// Reads the payload into the scratch score with the target's time base;
// false when there is nothing to paste. A refused payload leaves its reason
// in the target's LastError.
bool ReadScratch(CScore& target, CScore& scratch, const std::vector<uint8_t>& payload) {
  target.LastError.clear();
  std::string why;
  const int read = ReadClipboard(scratch, payload, &why);
  if (read < 0) {
    target.LastError = "-1:" + why;
    return false;
  }
  scratch.TimeBase = target.TimeBase;
  scratch.LineSpace = target.LineSpace;
  return read > 0 && scratch.ObjectCount() > 0;
}

void DeselectAll(CScore& score) {
  for (const auto& up : score.Objects()) up->Selected = 0;
  score.SelectedCount = 0;
}

// New objects are numbered from UpperNumber; a score whose counter lags
// behind its highest Number (a file can say anything) would hand out a
// Number that is already taken.
void RaiseUpperNumber(CScore& score) {
  int64_t next = score.UpperNumber;
  for (const auto& up : score.Objects()) next = std::max<int64_t>(next, int64_t(up->Number) + 1);
  score.UpperNumber = static_cast<int32_t>(std::min<int64_t>(next, std::numeric_limits<int32_t>::max()));
}

int8_t ClampIndex(int8_t index, size_t count) {
  return (count > 0 && index >= 0 && static_cast<size_t>(index) >= count) ? static_cast<int8_t>(count - 1) : index;
}

// A new object of the source's kind with its values, on the source's layer
// (as far as the target has layers and fonts), not selected and not yet in
// the target.
std::unique_ptr<CXObject> Clone(const CScore& target, const CXObject& source) {
  std::unique_ptr<CXObject> copy = CreateObject(source.GetKind());
  if (!copy) return nullptr;
  copy->CopyFrom(&source);
  copy->Layer = ClampIndex(source.Layer, target.Layers.size());
  if (auto* t = As<CXText>(copy.get()))
    t->Font = ClampIndex(t->Font, target.Fonts.size());
  else if (auto* l = As<CXLink>(copy.get()))
    l->Font = ClampIndex(l->Font, target.Fonts.size());
  return copy;
}

// The copies in the target, by the Number their original had on the clipboard.
using CopyMap = std::unordered_map<int32_t, CXObject*>;

// Pasted objects get fresh Numbers from the target, so the references they
// carry from the clipboard must be rewritten to the copies: left as they
// were, they would name the originals (or, pasted into another document,
// whatever object happens to hold that Number there), joining a pasted note
// to a chord far away or binding a pasted beam to another note. A chord or
// tie chain keeps its copied notes together; when its first note was not
// copied, the first copied one leads, and a copy left alone is single
// again. Any other reference to an object that was not pasted is cut.
void RemapReferences(const CopyMap& copies, const std::vector<CXObject*>& pasted) {
  auto copyOf = [&](int32_t old) -> CXObject* {
    auto it = copies.find(old);
    return it == copies.end() ? nullptr : it->second;
  };
  std::map<int32_t, std::vector<CNote*>> chords, ties;
  for (CXObject* o : pasted) {
    if (auto* n = As<CNote>(o)) {
      if (n->Chord >= 0) chords[n->Chord].push_back(n);
      if (n->Tie >= 0) ties[n->Tie].push_back(n);
    } else if (auto* mark = As<CMark>(o)) {
      CXObject* target = copyOf(mark->Note);
      mark->Note = target && target != mark ? target->Number : -1;
      mark->NoteLink = nullptr;
    } else if (auto* combo = As<CXCombo>(o)) {
      std::vector<int32_t> members;
      for (int32_t m : combo->Members)
        if (CXObject* copy = copyOf(m)) members.push_back(copy->Number);
      combo->Members = std::move(members);
    }
  }
  auto regroup = [&](std::map<int32_t, std::vector<CNote*>>& groups, int32_t CNote::*field) {
    for (auto& [old, notes] : groups) {
      int32_t lead = -1;
      if (notes.size() >= 2) {
        CXObject* first = copyOf(old);
        const bool copied = first && std::find(notes.begin(), notes.end(), first) != notes.end();
        lead = copied ? first->Number : notes.front()->Number;
      }
      for (CNote* n : notes) n->*field = lead;
    }
  };
  regroup(chords, &CNote::Chord);
  regroup(ties, &CNote::Tie);
}

// Links, lists, the selection count and the derived values after a paste.
void Finish(CScore& score) {
  score.RelinkObjects();
  score.RecountSelection();
  score.UpdateDerived();
}

// The measure of a system whose x range holds x; by x alone, so that texts
// and marks above or below the staves find one too.
CMeasure* MeasureForX(const CStaff& system, int x) {
  for (CMeasure* m : system.Measures)
    if (m->Left <= x && x < m->Right) return m;
  return MeasureAtX(system, x);
}

// A measure as wide as the system's last one, appended at its end (the
// system grows to the right, as when a measure is inserted).
CMeasure* AppendMeasure(CScore& score, CStaff& system) {
  if (system.Measures.empty()) return nullptr;
  CMeasure* last = system.Measures.back();
  const int w = std::max(1, last->Right - last->Left);
  if (int64_t(system.Right) + w >= kResultLimit || int64_t(last->Right) + w >= kResultLimit) return nullptr;
  system.Right += w;
  for (CStave* s : system.Staves) {
    s->Left = system.Left;
    s->Right = system.Right;
  }
  CMeasure* added = score.MakeMeasure(&system, last->Right + w);
  added->SetBounds(last->Right, last->Top, last->Right + w, last->Bottom);
  added->Numerator = last->Numerator;
  added->Denominator = last->Denominator;
  added->Ticks = MeasureTicks(score.TimeBase, added->Numerator, added->Denominator);
  added->Start = last->Start + last->Ticks;
  ComputeLeftPadding(*added);
  ComputeUnitsPerTick(*added);
  return added;
}

// Flowing the notes of one measure: what moves along with a chord leader or
// a single note (its chord members, and the marks of both).
struct Followers {
  std::unordered_map<const CXObject*, std::vector<CXObject*>> marks;
  std::unordered_map<int32_t, std::vector<CNote*>> members;  // by chord leader Number

  void Move(CXObject* o, int64_t dx, CMeasure* m) {
    auto it = marks.find(o);
    if (it == marks.end()) return;
    for (CXObject* mark : it->second) {
      Shift(mark, ClampToPage(dx), 0);
      if (auto* so = As<CStaveObject>(mark)) {
        so->OwnerMeasure = m;
        so->Measure = m->Number;
      }
    }
  }
};

// Puts a leader or single note `count` ticks into a measure, with its chord
// and marks.
void Place(CNote* note, CMeasure* m, int64_t count, Followers& followers) {
  const double at = double(m->Left) + m->LeftPadding + std::trunc(double(count) * m->UnitsPerTick);
  const int x = ClampToPage(static_cast<int64_t>(std::clamp(at, -double(kResultLimit), double(kResultLimit))));
  const int64_t dx = int64_t(x) - note->Left;
  const int32_t start = static_cast<int32_t>(std::clamp<int64_t>(int64_t(m->Start) + count, 0, INT32_MAX));
  note->PlaceAt(x, note->Y);
  note->OwnerMeasure = m;
  note->Measure = m->Number;
  note->Start = start;
  followers.Move(note, dx, m);
  if (note->Chord >= 0 && note->Chord == note->Number)
    if (auto it = followers.members.find(note->Number); it != followers.members.end())
      for (CNote* member : it->second) {
        if (member == note) continue;
        Shift(member, ClampToPage(dx), 0);
        member->OwnerMeasure = m;
        member->Measure = m->Number;
        member->Start = start;
        followers.Move(member, dx, m);
      }
}

// Leaders and single notes of one voice of a stave in a measure, in stave order.
std::vector<CNote*> VoiceLeaders(const CStave& stave, const CMeasure* m, int voice) {
  std::vector<CNote*> out;
  for (CStaveObject* o : stave.Attached)
    if (auto* n = As<CNote>(o); n && n->OwnerMeasure == m && n->Voice == voice && IsChordLeaderOrSingle(n))
      out.push_back(n);
  return out;
}

}  // namespace

// --- payload -------------------------------------------------------------------------

std::vector<uint8_t> WriteClipboard(CScore& score) {
  std::vector<CXObject*> chosen;
  for (const auto& up : score.Objects())
    if (up->Selected || IsStructure(*up)) chosen.push_back(up.get());
  if (chosen.empty()) return {};
  std::vector<uint8_t> bytes;
  bytes.reserve(16 + chosen.size() * 60);
  {
    Archive ar(bytes);
    int32_t count = static_cast<int32_t>(chosen.size());
    ar.Io(count);
    for (CXObject* o : chosen) WriteEntry(score, ar, *o);
    ar.Flush();
  }
  return bytes;
}

int ReadClipboard(CScore& scratch, const uint8_t* data, size_t size, std::string* error) {
  auto refuse = [&](const std::string& why) {
    if (error) *error = why;
    return -1;
  };
  if (size == 0 || !data) return 0;
  if (scratch.ObjectCount() != 0) return refuse("the scratch score is not empty");
  std::vector<std::unique_ptr<CXObject>> objects;
  try {
    Archive ar(data, size);
    int32_t count = 0;
    ar.Io(count);
    if (count > 0) {
      // Checked against the bytes that remain before anything is allocated.
      ar.Require(static_cast<uint64_t>(count) * kMinObjectEntry, "object list");
      objects.reserve(static_cast<size_t>(count));
      for (int32_t i = 0; i < count; ++i) objects.push_back(LoadObjectEntry(ar, static_cast<size_t>(i)));
    }
  } catch (const ArchiveError& e) {
    return refuse(std::string("clipboard data: ") + e.what() + " at byte " + std::to_string(e.Offset));
  }
  if (std::string why = CheckPayload(objects); !why.empty()) return refuse("clipboard data: " + why);

  int64_t upper = 0;
  for (auto& o : objects) {
    upper = std::max<int64_t>(upper, int64_t(o->Number) + 1);
    scratch.AppendObjectKeepingNumber(std::move(o));
  }
  scratch.UpperNumber = static_cast<int32_t>(std::min<int64_t>(upper, std::numeric_limits<int32_t>::max()));
  scratch.RelinkObjects();
  scratch.RecountSelection();
  return 1;
}

// --- paste: other objects ----------------------------------------------------------------

int PasteObjects(CScore& score, const std::vector<uint8_t>& payload) {
  CScore scratch;
  if (!ReadScratch(score, scratch, payload)) return 0;

  struct Placement {
    const CXObject* source;
    CStave* stave;
    CMeasure* measure;
  };
  std::vector<Placement> places;
  for (const auto& up : scratch.Objects()) {
    const CXObject& o = *up;
    // Structure and signs are pasted with systems, notes and rests into staves.
    if (IsStructure(o) || o.KindCode() == Kind::Sign || o.IsKind(Kind::Note)) continue;
    const int x = o.Left + 4;
    CStave* stave = StaveAtPoint(score, x, o.Top);
    CStaff* system = stave ? stave->OwnerStaff : nullptr;
    CMeasure* measure = system ? MeasureForX(*system, x) : nullptr;
    if (measure) places.push_back({&o, stave, measure});
  }
  if (places.empty()) return 0;

  DeselectAll(score);
  RaiseUpperNumber(score);
  CopyMap copies;
  std::vector<CXObject*> pasted;
  for (const Placement& p : places) {
    std::unique_ptr<CXObject> copy = Clone(score, *p.source);
    if (!copy) continue;
    copy->MoveTo(copy->Left + 4, copy->Top);
    CXObject* raw = copy.get();
    // Numbered afresh rather than keeping the clipboard's Number, which may
    // belong to another object of this score (always so when pasting where
    // the objects were copied); RemapReferences then points the copies'
    // references at each other.
    score.AddAttachedObject(p.stave, p.measure, std::move(copy));
    copies[p.source->Number] = raw;
    pasted.push_back(raw);
  }
  RemapReferences(copies, pasted);
  Finish(score);
  return static_cast<int>(pasted.size());
}

// --- paste: systems -------------------------------------------------------------------------

int PasteSystems(CScore& score, const std::vector<uint8_t>& payload, int x, int y) {
  CScore scratch;
  if (!ReadScratch(score, scratch, payload)) return 0;
  scratch.UpdateDerived();
  std::vector<CStaff*> systems;
  for (CStaff* s : scratch.Staffs)
    if (s->Selected) systems.push_back(s);
  if (systems.empty()) return 0;

  const int64_t gap = int64_t(score.SystemSpace) + score.StaveSpace;
  int64_t height = 0;
  for (const CStaff* s : systems) height += int64_t(s->Bottom) - s->Top;
  const int64_t k = static_cast<int64_t>(systems.size());

  // The new systems go below the lowest system that starts at or above the
  // click (the one clicked into, or the one above a click in the gap
  // between systems), so they never land on a system that stays put; with
  // none above, at the top of the page. Every system starting below the
  // click moves down by their height and gaps.
  const CStaff* above = nullptr;
  for (const CStaff* s : score.Staffs)
    if (s->Top <= y && (!above || s->Top >= above->Top)) above = s;
  int64_t top = above ? int64_t(above->Bottom) + score.SystemSpace
                      : int64_t(score.TopMargin) + score.SystemSpace / 2;
  top += score.StaveSpace;
  const int64_t shift = height + gap * k;
  int64_t lowest = top + shift;
  for (const CStaff* s : score.Staffs)
    if (s->Top > y) lowest = std::max(lowest, int64_t(s->Bottom) + shift);
  if (lowest >= kResultLimit || top <= -kResultLimit) {
    score.LastError = "-1:the pasted systems would reach off any page";
    return 0;
  }

  DeselectAll(score);
  RaiseUpperNumber(score);
  for (CStaff* s : score.Staffs)
    if (s->Top > y) s->MoveTo(s->Left, static_cast<int>(s->Top + shift));

  CopyMap copies;
  std::vector<CXObject*> pasted;
  std::vector<CMeasure*> newMeasures;
  std::unordered_map<const CStaff*, int> offsets;
  auto add = [&](const CXObject& source, int dy, bool selected) -> CXObject* {
    std::unique_ptr<CXObject> copy = Clone(score, source);
    if (!copy) return nullptr;
    if (IsStructure(*copy))
      copy->SetBounds(copy->Left, copy->Top + dy, copy->Right, copy->Bottom + dy);
    else
      Shift(copy.get(), 0, dy);
    copy->Selected = selected ? 1 : 0;
    CXObject* raw = copy.get();
    score.AddObject(std::move(copy));
    copies[source.Number] = raw;
    pasted.push_back(raw);
    return raw;
  };
  for (const CStaff* source : systems) {
    const int dy = static_cast<int>(top - source->Top);
    offsets[source] = dy;
    auto* system = static_cast<CStaff*>(add(*source, dy, true));
    for (const CStave* s : source->Staves) static_cast<CStave*>(add(*s, dy, true))->Staff = system->Number;
    for (const CMeasure* m : source->Measures) {
      auto* measure = static_cast<CMeasure*>(add(*m, dy, true));
      measure->Staff = system->Number;
      newMeasures.push_back(measure);
    }
    top += int64_t(source->Bottom) - source->Top + gap;
  }
  // The objects of the pasted systems' staves, once every stave and measure
  // has its copy.
  for (const CStaff* source : systems)
    for (const CStave* s : source->Staves)
      for (const CStaveObject* o : s->Attached) {
        auto* copy = As<CStaveObject>(add(*o, offsets[source], false));
        if (!copy) continue;
        copy->Stave = copies.at(s->Number)->Number;
        auto m = copies.find(o->Measure);
        copy->Measure = o->Measure >= 0 && m != copies.end() && m->second->KindCode() == Kind::Measure
                            ? m->second->Number
                            : -1;
      }
  RemapReferences(copies, pasted);
  Finish(score);
  for (CMeasure* m : newMeasures) {
    ComputeLeftPadding(*m);
    ComputeUnitsPerTick(*m);
  }
  return static_cast<int>(pasted.size());
}

// --- paste: notes into staves ------------------------------------------------------------------

int PasteNotes(CScore& score, const std::vector<uint8_t>& payload, int x, int y) {
  CScore scratch;
  if (!ReadScratch(score, scratch, payload)) return 0;
  scratch.UpdateDerived();

  CStave* target = StaveAtPoint(score, x, y);
  CStaff* system = target ? target->OwnerStaff : nullptr;
  if (!system) return 0;
  CMeasure* measure = nullptr;
  for (CMeasure* m : system->Measures)
    if (m->GetBounds().Contains(x, target->Top + 1)) {
      measure = m;
      break;
    }
  auto& staves = system->Staves;
  auto at = std::find(staves.begin(), staves.end(), target);
  if (!measure || at == staves.end()) return 0;
  const size_t first = static_cast<size_t>(at - staves.begin());
  const size_t room = staves.size() - first;

  // One source stave per target stave, from the clicked one down; source
  // staves without selected notes do not count.
  struct Source {
    CStave* stave;
    std::vector<CNote*> notes;
  };
  std::vector<Source> sources;
  std::vector<CNote*> notes;
  for (CStave* s : StavesInOrder(scratch)) {
    if (sources.size() == room) break;
    SelectedOfStave(*s, true, notes);
    if (!notes.empty()) sources.push_back({s, notes});
  }
  if (sources.empty()) return 0;
  // Marks, beams and slurs copied with their notes come along.
  std::unordered_map<const CXObject*, std::vector<CMark*>> sourceMarks;
  for (const auto& up : scratch.Objects())
    if (auto* mark = As<CMark>(up.get()); mark && mark->NoteLink && mark->NoteLink->IsKind(Kind::Note))
      sourceMarks[mark->NoteLink].push_back(mark);

  DeselectAll(score);
  RaiseUpperNumber(score);
  CopyMap copies;
  std::vector<CXObject*> pasted;
  Followers followers;
  struct Span {
    CMark* mark;  // a beam or slur
    CNote* start;
    CNote* end;
    size_t lane;
    int startLeft = 0, endLeft = 0;
  };
  std::vector<Span> spans;
  struct Lane {
    CStave* stave;
    std::vector<CNote*> clones;
  };
  std::vector<Lane> lanes;
  for (size_t i = 0; i < sources.size(); ++i) {
    CStave* dest = staves[first + i];
    const int dy = ClampToPage(int64_t(dest->Top) - sources[i].stave->Top);
    Lane lane{dest, {}};
    auto add = [&](const CXObject& source) -> CXObject* {
      std::unique_ptr<CXObject> copy = Clone(score, source);
      if (!copy) return nullptr;
      Shift(copy.get(), 0, dy);
      auto* so = static_cast<CStaveObject*>(copy.get());
      so->Stave = dest->Number;
      so->OwnerStave = dest;
      so->Measure = measure->Number;
      so->OwnerMeasure = measure;
      CXObject* raw = copy.get();
      score.AddObject(std::move(copy));
      copies[source.Number] = raw;
      pasted.push_back(raw);
      return raw;
    };
    for (CNote* n : sources[i].notes) {
      auto* clone = static_cast<CNote*>(add(*n));
      lane.clones.push_back(clone);
      if (auto it = sourceMarks.find(n); it != sourceMarks.end())
        for (CMark* mark : it->second)
          if (!copies.count(mark->Number)) {
            CXObject* copy = add(*mark);
            followers.marks[clone].push_back(copy);
            if (copy->KindCode() == Kind::Beam || copy->KindCode() == Kind::Slur)
              spans.push_back({static_cast<CMark*>(copy), clone, nullptr, lanes.size()});
          }
    }
    lanes.push_back(std::move(lane));
  }
  RemapReferences(copies, pasted);
  // A beam or slur moves with the note it starts at; its other end is kept
  // on the pasted note it reached, which may move by a different amount.
  for (Span& span : spans) {
    const int x1 = span.mark->KindCode() == Kind::Beam ? static_cast<CBeam*>(span.mark)->X1
                                                       : static_cast<CSlurLine*>(span.mark)->X1;
    int64_t best = kSpanReach + 1;
    for (CNote* c : lanes[span.lane].clones)
      if (const int64_t d = std::llabs(int64_t(c->X) - x1); d < best && c != span.start) {
        best = d;
        span.end = c;
      }
    span.startLeft = span.start->Left;
    if (span.end) span.endLeft = span.end->Left;
  }

  // What moves with the notes already in the target's staves (the pasted
  // marks have no link yet and are listed with their notes above).
  for (const auto& up : score.Objects())
    if (auto* mark = As<CMark>(up.get()); mark && mark->NoteLink) followers.marks[mark->NoteLink].push_back(mark);
  for (const Lane& lane : lanes) {
    for (CNote* c : lane.clones)
      if (c->Chord >= 0 && c->Chord != c->Number) followers.members[c->Chord].push_back(c);
    for (CStaveObject* o : lane.stave->Attached)
      if (auto* n = As<CNote>(o); n && n->Chord >= 0 && n->Chord != n->Number)
        followers.members[n->Chord].push_back(n);
  }

  // Each voice that received notes flows from the click on: the voice's
  // notes left of the click, the pasted ones, then the rest of the measure.
  // A note that does not fit goes on into the next measure, ahead of the
  // notes that voice already has there, so notes are never laid over one
  // another; measures are added at the system's end as needed.
  int added = 0;
  for (const Lane& lane : lanes) {
    std::map<int, std::vector<CNote*>> voices;
    for (CNote* c : lane.clones)
      if (IsChordLeaderOrSingle(c)) voices[c->Voice].push_back(c);
    for (auto& [voice, pastedNotes] : voices) {
      if (voice < 0 || voice > 15) {
        // Voices the recalculation does not time stay at the click.
        for (CNote* c : pastedNotes) Place(c, measure, 0, followers);
        continue;
      }
      std::vector<CNote*> seq;
      const std::vector<CNote*> existing = VoiceLeaders(*lane.stave, measure, voice);
      for (CNote* n : existing)
        if (n->Left < x) seq.push_back(n);
      seq.insert(seq.end(), pastedNotes.begin(), pastedNotes.end());
      for (CNote* n : existing)
        if (n->Left >= x) seq.push_back(n);

      size_t mi = static_cast<size_t>(std::find(system->Measures.begin(), system->Measures.end(), measure) -
                                      system->Measures.begin());
      int64_t count = 0;
      for (size_t i = 0; i < seq.size(); ++i) {
        CNote* note = seq[i];
        const int64_t ticks = std::max<int64_t>(0, note->Ticks);
        if (count > 0 && count + ticks > system->Measures[mi]->Ticks) {
          if (mi + 1 == system->Measures.size() && added < kMaxAddedMeasures && AppendMeasure(score, *system))
            ++added;
          if (mi + 1 < system->Measures.size()) {
            ++mi;
            count = 0;
            for (CNote* n : VoiceLeaders(*lane.stave, system->Measures[mi], voice)) seq.push_back(n);
          }
        }
        Place(note, system->Measures[mi], count, followers);
        count += ticks;
      }
    }
  }
  for (const Span& span : spans) {
    if (!span.end) continue;
    const int64_t delta =
        (int64_t(span.end->Left) - span.endLeft) - (int64_t(span.start->Left) - span.startLeft);
    if (delta == 0) continue;
    if (auto* beam = As<CBeam>(span.mark)) {
      beam->X1 = ClampToPage(beam->X1 + delta);
      beam->SetBounds(beam->X, beam->Y, beam->X1, beam->Y1);
    } else if (auto* slur = As<CSlurLine>(span.mark)) {
      slur->X1 = ClampToPage(slur->X1 + delta);
      slur->X2 = ClampToPage(slur->X2 + delta / 2);
    }
  }
  // A note whose flag a beam carried, pasted without that beam (notes copied
  // apart from their beams), carries its own flag and stem again.
  std::vector<std::pair<int, int>> beamed;  // x ranges of the pasted beams
  for (const Span& span : spans)
    if (auto* beam = As<CBeam>(span.mark)) beamed.emplace_back(std::min(beam->X, beam->X1), std::max(beam->X, beam->X1));
  for (const Lane& lane : lanes)
    for (CNote* c : lane.clones) {
      const int code = c->DurationCode();
      if (c->KindCode() != Kind::Note || c->Chord >= 0 || IsSmall(c) || code < 4 || code > 7 || c->Head != 3) continue;
      const bool underBeam = std::any_of(beamed.begin(), beamed.end(), [&](const std::pair<int, int>& r) {
        return c->X >= r.first - 8 && c->X <= r.second + 8;  // stems stand 4 beside their note's x
      });
      if (underBeam) continue;
      c->Head = static_cast<int8_t>(code);
      c->Tail = static_cast<int8_t>(code - 3);
      c->Stem = static_cast<int8_t>(c->Stem != 0 ? (c->Stem < 0 ? -28 : 28) : StemFor(code, c->dy));
    }
  Finish(score);
  return static_cast<int>(pasted.size());
}
