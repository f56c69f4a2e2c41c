// The recalculation pass. Positions and codes are the truth; everything here
// is derived from them after every edit, so each step is a sorted or indexed
// walk rather than a search per object.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "model/derived.h"
#include "model/score.h"
#include "model/update_internal.h"

namespace {

int32_t ClampToInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int32_t TruncToInt32(double v) {
  if (!(v == v)) return 0;
  return static_cast<int32_t>(std::clamp(std::trunc(v), double(std::numeric_limits<int32_t>::min()),
                                         double(std::numeric_limits<int32_t>::max())));
}

// Base length of a duration code in quarter notes.
double BaseQuarters(int code) { return std::ldexp(1.0, 3 - code); }

// --- step 2: measures edge to edge ------------------------------------------------

void LayMeasures(CScore& score) {
  for (CStaff* staff : score.Staffs) {
    int32_t left = staff->Left;
    for (CMeasure* m : staff->Measures) {
      m->Left = left;
      m->Top = staff->Top;
      m->Bottom = staff->Bottom;
      left = m->Right;
      m->Style &= ~(MEASURE_REPEAT_START | MEASURE_REPEAT_END);
      if (m->Value == 41) m->Style |= MEASURE_REPEAT_END;
      else if (m->Value == 166) m->Style |= MEASURE_REPEAT_START;
    }
  }
}

// --- step 5: time signatures ---------------------------------------------------------

void SetTimeSignatures(CScore& score, const DerivedLists& lists) {
  score.Numerator = 4;
  score.Denominator = 4;
  for (CMeasure* m : lists.measures) {
    m->Numerator = 0;
    m->Denominator = 4;
  }
  for (CSign* sign : lists.timeSigns) {
    if (!sign->OwnerMeasure) continue;
    sign->OwnerMeasure->Numerator = static_cast<int8_t>(sign->Value & 0xFF);
    sign->OwnerMeasure->Denominator = static_cast<int8_t>((sign->Value >> 8) & 0xFF);
  }
  int8_t num = 4, den = 4;
  bool first = true;
  for (CStaff* staff : score.Staffs)
    for (CMeasure* m : staff->Measures) {
      if (m->Numerator == 0) {
        m->Numerator = num;
        m->Denominator = den;
      } else {
        num = m->Numerator;
        den = m->Denominator;
      }
      if (first) {
        score.Numerator = m->Numerator;
        score.Denominator = m->Denominator;
        first = false;
      }
    }
}

// --- step 6: pitch from position -------------------------------------------------------

constexpr int kStepClass[7] = {5, 4, 2, 0, 11, 9, 7};           // F E D C B A G downwards
constexpr int kSharpOrder[7] = {5, 0, 7, 2, 9, 4, 11};
constexpr int kFlatOrder[7] = {11, 4, 9, 2, 7, 0, 5};
// Staff steps from each clef's top line down to the F of the treble top line's
// letter cycle: the treble top line is F, the bass top line A, the alto top line G.
constexpr int kClefStepShift[3] = {0, 2, 1};

int AccidentalAlteration(int code) {
  switch (code) {
    case 1: case 4: return -1;
    case 2: case 5: return 1;
    case 3: case 6: return 0;
    case 7: case 9: return -2;
    case 8: case 10: return 2;
    default: return 0;
  }
}

void ComputePitches(CStave& stave) {
  int clef = 0;
  int key[12] = {}, local[12] = {};
  bool havePrevious = false;
  int32_t previousMeasure = 0;
  for (CStaveObject* o : stave.Attached) {
    if (!havePrevious || o->Measure != previousMeasure) std::memset(local, 0, sizeof local);
    havePrevious = true;
    previousMeasure = o->Measure;
    char kind = o->KindCode();
    if (kind == Kind::Note) {
      auto* n = static_cast<CNote*>(o);
      n->dy = n->Y - stave.Top;
      if (n->Style & NTS_UPDATE_KEY) {
        StaffNatural at;
        const int natural = NaturalAtPosition(clef, n->dy, at) ? at.Key : 0;
        n->Key = static_cast<uint8_t>(natural + local[natural % 12] + key[natural % 12]);
      }
    } else if (kind == Kind::Sign) {
      auto* s = static_cast<CSign*>(o);
      // Clef codes are read from clefs only and accidentals from signs that are
      // no clef, time or key signature, so a bass clef (code 1) is never taken
      // for a flat nor a flat for a clef.
      if (s->Style == SIGN_CLEF) {
        if (s->Value >= 0 && s->Value <= 2) clef = s->Value;
        else if (s->Value >= 3 && s->Value <= 5) clef = s->Value - 3;
      } else if (s->Style == SIGN_KEY && s->Value >= 256) {
        std::memset(key, 0, sizeof key);
        if (s->Value >= 257 && s->Value <= 263)
          for (int i = 0; i < s->Value - 256; ++i) key[kSharpOrder[i]] = 1;
        else if (s->Value >= 273 && s->Value <= 279)
          for (int i = 0; i < s->Value - 272; ++i) key[kFlatOrder[i]] = -1;
      } else if (s->Style != SIGN_TIME && s->Value >= 1 && s->Value <= 10) {
        int step = (s->Y - stave.Top) / 4 - kClefStepShift[clef];
        if (step < 0) step = step % 7 + 7;
        int cls = kStepClass[step % 7];
        local[cls] = AccidentalAlteration(s->Value) - key[cls];
      }
    }
  }
}

// --- step 7: measure lengths and starts --------------------------------------------------

void ComputeMeasureTimes(CScore& score, const DerivedLists& lists) {
  for (CMeasure* m : lists.measures)
      m->Ticks = (m->Style & MEASURE_ZERO_LENGTH) ? 0 : MeasureTicks(score.TimeBase, m->Numerator, m->Denominator);
  int64_t start = 0;
  for (CStaff* staff : score.Staffs)
    for (CMeasure* m : staff->Measures) {
      m->Start = ClampToInt32(start);
      start += m->Ticks;
    }
}

// --- step 8: note lengths, starts, play times ----------------------------------------------

void ComputeNoteLength(CNote* n, int32_t timeBase) {
  {
    if (!(n->Style & NTS_UPDATE_TICKS) || !n->OwnerMeasure) return;
    const CMeasure& m = *n->OwnerMeasure;
    const int code = n->DurationCode();
    double ticks = std::trunc(BaseQuarters(code) * timeBase);
    n->Ticks = TruncToInt32(ticks);
    if (m.Denominator == 0) return;
    if (n->Value == 1 && n->KindCode() == Kind::Rest) n->Ticks = MeasureTicks(timeBase, m.Numerator, m.Denominator);
    if (n->Style & NTS_DOTTED) n->Ticks = TruncToInt32(n->Ticks * 1.5);
    else if (n->Style & NTS_DOUBLE_DOTTED) n->Ticks = TruncToInt32(n->Ticks * 1.75);
    if (n->Style & NTS_GRACE) n->Ticks = TruncToInt32(n->Ticks * 0.25);
    if (int t = n->TupletCount()) {
      double mult = t == 3 ? 2 : (t >= 5 && t <= 7) ? 4 : (t >= 9 && t <= 11) ? 8 : BaseQuarters(code);
      n->Ticks = TruncToInt32(mult * n->Ticks / t);
    }
  }
}

constexpr uint8_t kLengthDone = 2;  // Transient bit: the note's length is set

// Lengths of the stave's notes, then their start times. A stave's starts
// depend only on its own notes, so each stave is done while it is in cache.
void ComputeStaveTimes(CStave& stave, int32_t timeBase, std::vector<std::pair<int32_t, CNote*>>& members,
                       std::vector<DerivedCache::Tied>& tied, size_t& lengthsDone) {
  members.clear();
  for (CStaveObject* o : stave.Attached)
    if (o->IsKind(Kind::Note)) {
      auto* n = static_cast<CNote*>(o);
      if (!(n->Transient & kLengthDone)) {
        ComputeNoteLength(n, timeBase);
        n->Transient |= kLengthDone;
        ++lengthsDone;
        if (n->Tie >= 0) tied.push_back({n->Tie, n->Ticks, n, &stave});
      }
      if (n->Chord >= 0) members.emplace_back(n->Chord, n);
    }
  std::stable_sort(members.begin(), members.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  int64_t cursor[16] = {};
  for (CStaveObject* o : stave.Attached) {
    auto* n = As<CNote>(o);
    if (!n || n->Voice < 0 || n->Voice > 15 || !n->OwnerMeasure) continue;
    const CMeasure& m = *n->OwnerMeasure;
    int64_t& c = cursor[n->Voice];
    c = std::max<int64_t>(c, m.Start);
    if (n->Chord >= 0 && n->Chord != n->Number) continue;
    n->Start = ClampToInt32(c);
    if (n->Chord == n->Number)
      for (auto it = std::lower_bound(members.begin(), members.end(), n->Number,
                                      [](const auto& e, int32_t c) { return e.first < c; });
           it != members.end() && it->first == n->Number; ++it)
        it->second->Start = n->Start;
    if (c <= int64_t(m.Start) + m.Ticks) c += n->Ticks;
  }
}

bool ByTie(const DerivedCache::Tied& a, const DerivedCache::Tied& b) { return a.tie < b.tie; }

// Play start and length of one note, with its tie chain summed when it
// heads one (`tied` by tie).
void SetPlayTimes(CNote* n, const std::vector<DerivedCache::Tied>& tied, int32_t gap) {
  n->PlayStart = n->Start;
  if (!(n->Style & NTS_UPDATE_PLAYTICKS)) return;
  n->PlayTicks = n->Ticks;
  if (n->Tie >= 0 && n->Tie == n->Number) {
    auto it = std::lower_bound(tied.begin(), tied.end(), DerivedCache::Tied{n->Tie, 0, nullptr, nullptr}, ByTie);
    int count = 0;
    int64_t ticks = 0;
    for (; it != tied.end() && it->tie == n->Tie; ++it, ++count) ticks += it->ticks;
    if (count > 1) n->PlayTicks = ClampToInt32(ticks);
  }
  // The articulation gap shortens what sounds, which for a tie chain's
  // head is the whole chain.
  if (n->KindCode() == Kind::Note && !(n->Style & NTS_FULL_LENGTH)) {
    if (n->Value < 4) n->PlayTicks = ClampToInt32(int64_t(n->PlayTicks) - gap);
    else n->PlayTicks = ClampToInt32(int64_t(n->PlayTicks) * 4 / 5);
  }
}

int32_t ArticulationGap(const CScore& score) { return TruncToInt32(score.TimeBase * 0.0625); }

// Play start and length of every note; files each note for the dynamics and
// articulation steps on the way.
void ComputePlayTimes(CScore& score, const DerivedLists& lists, std::vector<DerivedCache::Tied>& tied, NoteKeys& keys) {
  std::sort(tied.begin(), tied.end(), ByTie);
  const int32_t gap = ArticulationGap(score);
  for (CNote* n : lists.notes) {
    n->Transient &= ~kLengthDone;
    if (n->KindCode() == Kind::Note) n->Transient |= kFiledInCache;
    SetPlayTimes(n, tied, gap);
    keys.Add(n);
  }
}

// --- step 9: rolled combinations ------------------------------------------------------------

// Notes given play times here are added to `rolled` when given.
void RollCombinations(CScore& score, const DerivedLists& lists, std::vector<CNote*>* rolled = nullptr) {
  // Every member that exists takes a place in the roll, notes or not; only
  // notes that ask for their play times get them. Members without a
  // position of their own (no X, Y) are placed by their Top.
  struct Member {
    int32_t Y;
    CXObject* Object;
  };
  std::vector<Member> members;
  for (CXCombo* combo : lists.combos) {
    members.clear();
    for (int32_t number : combo->Members)
      if (CXObject* o = score.FindByNumber(number)) {
        const auto* word = As<CXWord>(o);
        members.push_back({word ? word->Y : o->Top, o});
      }
    std::stable_sort(members.begin(), members.end(), [](const Member& a, const Member& b) { return a.Y > b.Y; });
    for (size_t j = 0; j < members.size(); ++j) {
      auto* n = As<CNote>(members[j].Object);
      if (!n || !(n->Style & NTS_UPDATE_PLAYTICKS)) continue;
      n->PlayStart = ClampToInt32(int64_t(n->Start) + 16 * int64_t(j));
      n->PlayTicks = ClampToInt32(int64_t(n->Ticks) - 16 * int64_t(j));
      if (rolled) rolled->push_back(n);
    }
  }
}

}  // namespace

void DerivedLists::Gather(const CScore& score) {
  staves.clear();
  measures.clear();
  notes.clear();
  beams.clear();
  marks.clear();
  timeSigns.clear();
  texts.clear();
  wedges.clear();
  combos.clear();
  endings.clear();
  systems.clear();
  for (const auto& up : score.Objects()) {
    CXObject* o = up.get();
    switch (o->KindCode()) {
      case Kind::Stave: staves.push_back(static_cast<CStave*>(o)); break;
      case Kind::Measure: measures.push_back(static_cast<CMeasure*>(o)); break;
      case Kind::Note:
      case Kind::Rest: notes.push_back(static_cast<CNote*>(o)); break;
      case Kind::Beam:
        beams.push_back(static_cast<CBeam*>(o));
        marks.push_back(static_cast<CMark*>(o));
        break;
      case Kind::Mark:
      case Kind::Slur: marks.push_back(static_cast<CMark*>(o)); break;
      case Kind::Sign:
        if (o->Style == SIGN_TIME) timeSigns.push_back(static_cast<CSign*>(o));
        break;
      case Kind::Text:
      case Kind::AngleText:
      case Kind::VisualMidi: texts.push_back(static_cast<CXText*>(o)); break;
      case Kind::Object:
      case Kind::Graphics:
        // Hairpins drawn with the editor's wedge tool are graphics objects;
        // they ramp like the plain wedges of older scores.
        if (o->Value == 0 || o->Value == 1) wedges.push_back(o);
        break;
      case Kind::Combo: combos.push_back(static_cast<CXCombo*>(o)); break;
      case Kind::Ending: endings.push_back(static_cast<CEnding*>(o)); break;
      case Kind::Staff:
        static_cast<CStaff*>(o)->Ordinal = static_cast<int32_t>(systems.size());
        systems.push_back(static_cast<CStaff*>(o));
        break;
      default: break;
    }
  }
}

int32_t MeasureTicks(int32_t timeBase, int numerator, int denominator) {
  if (denominator == 0) return 0;
  return ClampToInt32(int64_t(timeBase) * numerator * 4 / denominator);
}

int32_t TempoOfWord(const char* text, size_t length) {
  struct Word {
    const char* word;
    int32_t tempo;
  };
  static const Word kWords[] = {
      {"Grave", 1500000},    {"Largo", 1304347},     {"Lento", 1153846},   {"Adagio", 1071428},
      {"larghetto", 1000000}, {"Aadagietto", 909090}, {"Andante", 833333},  {"Andantino", 750000},
      {"Maestoso", 681818},  {"Moderato", 625000},   {"Allegretto", 555555}, {"Animato", 500000},
      {"Allegro", 454545},   {"Assai", 416666},      {"Vivace", 375000},   {"Presto", 326086},
      {"Prestissimo", 288461}};
  for (const Word& w : kWords) {
    if (std::strlen(w.word) != length) continue;
    bool caseMatters = w.tempo == 1500000;
    bool equal = true;
    for (size_t i = 0; i < length && equal; ++i) {
      char a = text[i], b = w.word[i];
      if (!caseMatters) {
        if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = char(b - 'A' + 'a');
      }
      equal = a == b;
    }
    if (equal) return w.tempo;
  }
  return 0;
}

namespace {
// Kept between passes so that the large lists are not reallocated every time.
DerivedLists& PassLists() {
  thread_local DerivedLists lists;
  return lists;
}
thread_local std::vector<std::pair<int32_t, CNote*>> chordMembers;
}  // namespace

void CScore::DropDerivedCache() {
  if (derivedCache_) derivedCache_->valid = false;
}

void CScore::UpdateDerived() {
  if (!AutoUpdate) {
    DropDerivedCache();  // what changes now is not followed
    return;
  }
  if (!derivedCache_) derivedCache_ = std::make_unique<DerivedCache>();
  DerivedCache& cache = *derivedCache_;
  cache.valid = true;
  // 1. Systems top to bottom.
  std::stable_sort(Staffs.begin(), Staffs.end(), [](const CStaff* a, const CStaff* b) {
    return a->Top != b->Top ? a->Top < b->Top : a->Left < b->Left;
  });
  // 2. Measures edge to edge with their repeat bits.
  LayMeasures(*this);
  DerivedLists& lists = PassLists();
  lists.Gather(*this);
  cache.systemCount = lists.systems.size();
  // 3. Stave lists by Left.
  const auto byLeft = [](const CStaveObject* a, const CStaveObject* b) { return a->Left < b->Left; };
  for (CStave* s : lists.staves)
    if (!std::is_sorted(s->Attached.begin(), s->Attached.end(), byLeft))  // usually sorted already
      std::stable_sort(s->Attached.begin(), s->Attached.end(), byLeft);
  // 4. Beams.
  AttachBeams(lists, cache);
  // 5. Time signatures.
  SetTimeSignatures(*this, lists);
  // 7. Measure lengths and starts: they read only the measures, so they come
  // before the stave walk that needs them.
  ComputeMeasureTimes(*this, lists);
  // 6 and 8. Per stave: pitches, then note lengths and start times.
  std::vector<DerivedCache::Tied>& tied = cache.tied;
  tied.clear();
  size_t lengthsDone = 0;
  for (CStave* s : lists.staves) {
    ComputePitches(*s);
    ComputeStaveTimes(*s, TimeBase, chordMembers, tied, lengthsDone);
  }
  if (lengthsDone < lists.notes.size())  // notes on no stave list still get their length
    for (CNote* n : lists.notes)
      if (!(n->Transient & kLengthDone)) {
        ComputeNoteLength(n, TimeBase);
        if (n->Tie >= 0) tied.push_back({n->Tie, n->Ticks, n, nullptr});
      }
  thread_local NoteKeys keys;
  keys.Clear();
  ComputePlayTimes(*this, lists, tied, keys);
  // 9. Rolled combinations.
  RollCombinations(*this, lists);
  // 10. Velocities, then articulations. The marks' bits go on first: the
  // velocity walk reads none of them, and then sets each note's velocity and
  // articulated play length in the same visit.
  ApplyArticulationMarks(lists, keys.maxXOffset);
  ComputeVelocities(lists, keys, cache);
  // 11. Tempo words: the last match wins.
  for (CXText* t : lists.texts)
    if (int32_t tempo = TempoOfWord(t->text.data(), t->text.size())) Tempo = tempo;
  // 12. Systems' start and length.
  for (CStaff* staff : Staffs) {
    if (staff->Measures.empty()) {
      staff->Start = -1;
      staff->Ticks = 0;
      continue;
    }
    int32_t start = std::numeric_limits<int32_t>::max();
    int64_t ticks = 0;
    for (CMeasure* m : staff->Measures) {
      start = std::min(start, m->Start);
      ticks += m->Ticks;
    }
    staff->Start = start;
    staff->Ticks = ClampToInt32(ticks);
  }
  // 13. Ending measures. The bits are derived, so they are cleared first and
  // a removed ending leaves no mark behind.
  for (CStaff* staff : Staffs)
    for (CMeasure* m : staff->Measures) m->Style &= ~(MEASURE_ENDING_BEGIN | MEASURE_ENDING_END);
  for (CEnding* e : lists.endings) {
    e->StartMeasureLink = e->EndMeasureLink = nullptr;
    if (!e->OwnerStave || !e->OwnerStave->OwnerStaff) continue;
    const auto& measures = e->OwnerStave->OwnerStaff->Measures;
    if (measures.empty()) continue;
    auto measureAt = [&](int x) {
      for (CMeasure* m : measures)
        if (m->Left <= x && x < m->Right) return m;
      return measures.back();
    };
    if (e->Style & 0x10) {
      e->StartMeasureLink = measureAt(e->Left + 16);
      e->StartMeasureLink->Style |= MEASURE_ENDING_BEGIN;
    }
    if (e->Style & 0x20) {
      e->EndMeasureLink = measureAt(e->Right - 16);
      e->EndMeasureLink->Style |= MEASURE_ENDING_END;
    }
  }
}

bool CScore::UpdateDerivedOnStaves(const std::vector<CStave*>& staves) {
  if (!AutoUpdate || !derivedCache_ || !derivedCache_->valid || staves.empty() ||
      std::count(staves.begin(), staves.end(), nullptr)) {
    UpdateDerived();
    return false;
  }
  DerivedCache& cache = *derivedCache_;
  // What the edit cannot have changed keeps what the last pass gave it: the
  // systems, their measures and time signatures, measure and system times,
  // tempo words and endings. Notes on other staves keep their pitches,
  // lengths and starts; the beams, the articulation marks and the rolls are
  // all looked at again (they are few, and a moved note or mark may reach
  // them from anywhere), and the dynamics are followed for the notes whose
  // level can have changed.
  DerivedLists& lists = PassLists();
  lists.Gather(*this);
  auto fallBack = [this] {
    DropDerivedCache();
    UpdateDerived();
    return false;
  };
  if (lists.systems.size() != cache.systemCount) return fallBack();
  std::vector<const CStave*> redo(staves.begin(), staves.end());
  // 3. Stave lists by Left; a list put in order is walked again.
  const auto byLeft = [](const CStaveObject* a, const CStaveObject* b) { return a->Left < b->Left; };
  for (CStave* s : lists.staves)
    if (!std::is_sorted(s->Attached.begin(), s->Attached.end(), byLeft)) {
      std::stable_sort(s->Attached.begin(), s->Attached.end(), byLeft);
      redo.push_back(s);
    }
  // 4. Beams; a stave whose beams changed is walked again.
  std::vector<CStave*> edited(staves);
  std::sort(edited.begin(), edited.end());
  edited.erase(std::unique(edited.begin(), edited.end()), edited.end());
  if (!AttachBeamsLocally(lists, cache, edited, redo)) AttachBeams(lists, cache, &redo);
  std::sort(redo.begin(), redo.end());
  redo.erase(std::unique(redo.begin(), redo.end()), redo.end());
  auto inRedo = [&](const CStave* s) { return s && std::binary_search(redo.begin(), redo.end(), s); };
  // 6 and 8 on those staves.
  thread_local std::vector<DerivedCache::Tied> tiedNow;
  tiedNow.clear();
  size_t lengthsDone = 0;
  for (const CStave* s : redo) {
    ComputePitches(const_cast<CStave&>(*s));
    ComputeStaveTimes(const_cast<CStave&>(*s), TimeBase, chordMembers, tiedNow, lengthsDone);
  }
  // Their tie links replace the ones filed for them; every chain that
  // gained or lost one is summed again.
  std::vector<int32_t> chains;
  std::erase_if(cache.tied, [&](const DerivedCache::Tied& t) {
    if (!inRedo(t.stave)) return false;
    chains.push_back(t.tie);
    return true;
  });
  for (const DerivedCache::Tied& t : tiedNow) {
    chains.push_back(t.tie);
    cache.tied.push_back(t);
  }
  std::sort(cache.tied.begin(), cache.tied.end(), ByTie);
  std::sort(chains.begin(), chains.end());
  chains.erase(std::unique(chains.begin(), chains.end()), chains.end());
  const int32_t gap = ArticulationGap(*this);
  for (const CStave* s : redo)
    for (CStaveObject* o : s->Attached) {
      if (o->KindCode() != Kind::Note && o->KindCode() != Kind::Rest) continue;
      auto* n = static_cast<CNote*>(o);
      n->Transient &= ~kLengthDone;
      cache.maxXOffset = std::max<int64_t>(cache.maxXOffset, std::llabs(int64_t(n->X) - n->Left));
      SetPlayTimes(n, cache.tied, gap);
    }
  std::vector<CNote*> again;
  for (int32_t chain : chains)
    for (auto it = std::lower_bound(cache.tied.begin(), cache.tied.end(), DerivedCache::Tied{chain, 0, nullptr, nullptr},
                                    ByTie);
         it != cache.tied.end() && it->tie == chain; ++it)
      if (it->note->Number == chain && !inRedo(it->stave)) {
        SetPlayTimes(it->note, cache.tied, gap);
        again.push_back(it->note);
      }
  // 9 and 10.
  RollCombinations(*this, lists, &again);
  ApplyArticulationMarks(lists, cache.maxXOffset, &again);
  if (!UpdateVelocitiesLocally(lists, cache, redo, again)) return fallBack();
  return true;
}
