// Placement of notated music into an empty score: systems of all staves,
// measures as wide as their content (the spacing rule of the MIDI import),
// signs, notes and rests where their ticks fall, then chords, dots, stems,
// beams, ties, marks, slurs, texts, hairpins and endings as the editor's own
// tools make them.
#include "editing/notated_import.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <unordered_map>

#include "editing/chords.h"
#include "editing/edit_util.h"
#include "editing/note_commands_util.h"
#include "editing/note_ops.h"
#include "editing/recorder.h"
#include "editing/recorder_internal.h"
#include "editing/tie_arcs.h"
#include "model/derived.h"
#include "model/page_objects.h"
#include "model/score.h"

using namespace editing;

namespace {

constexpr int kBarLineRoom = 10;  // from a bar line to the first head
constexpr int kGraceRoom = 12;    // a grace note's step before its main note
constexpr int kClefBase[3] = {42, 30, 36};

// One item a voice holds: a note of the music or a rest filling a gap.
struct Item {
  const NotatedNote* Note = nullptr;  // null for a filling rest
  int Staff = 0, Voice = 0;
  int64_t Start = 0, Ticks = 0;
  int Code = 1, Dots = 0;
  bool MeasureRest = false;
  size_t Measure = 0;
};

int64_t ValueTicks(int timeBase, int code, int dots, int tuplet) {
  const int64_t t = note_commands_detail::NotatedTicks(timeBase, code, dots, tuplet);
  return t > 0 ? t : note_commands_detail::NotatedTicks(timeBase, code, dots, 0);
}

int32_t KeyCode(int fifths) { return fifths > 0 ? 256 + fifths : fifths < 0 ? 272 - fifths : 0; }

struct Layout {
  CScore& score;
  const NotatedScore& music;
  std::vector<int64_t> starts;   // per measure, and the end of the last
  std::vector<CMeasure*> measures;
  std::vector<size_t> systemOf;  // per measure
  std::vector<std::vector<CStave*>> staves;  // per system
  std::vector<CStaff*> systems;

  size_t MeasureAt(int64_t tick) const {
    auto it = std::upper_bound(starts.begin(), starts.end() - 1, tick);
    return it == starts.begin() ? 0 : size_t(it - starts.begin()) - 1;
  }
  std::vector<int> lead;  // per measure: room for grace notes before its first beat
  int XOf(size_t k, int64_t tick) const {
    const CMeasure* m = measures[k];
    const double area = double(m->Right - m->RightPadding) - double(m->Left + m->LeftPadding);
    const double before = k < lead.size() ? std::min(double(lead[k]), area / 2) : 0.0;
    const double scale = area > 0 ? m->UnitsPerTick * (area - before) / area : m->UnitsPerTick;
    const double x = double(m->Left) + m->LeftPadding + before + double(tick - starts[k]) * scale;
    return int(std::clamp(x, double(INT_MIN / 2), double(INT_MAX / 2)));
  }
  CStave* Stave(size_t k, int staff) const { return staves[systemOf[k]][size_t(staff)]; }
  // A span [start, end) cut into one piece per system it crosses: `piece`
  // gets the piece's first measure, its first tick, the measure it ends in
  // (the span's own end measure for the last piece, else its system's last)
  // and whether it is the last piece. `lineFirst` holds each system's first
  // measure and, last, the measure count.
  template <typename Piece>
  void ForEachSystemPiece(const std::vector<size_t>& lineFirst, int64_t start, int64_t end, Piece piece) const {
    const int64_t last = starts.back() - 1;
    size_t k = MeasureAt(std::clamp<int64_t>(start, 0, last));
    // A span ending on a bar line ends in the measure before it.
    const size_t endMeasure = MeasureAt(std::clamp<int64_t>(std::max(start, end - 1), 0, last));
    int64_t from = std::clamp<int64_t>(start, 0, last);
    while (true) {
      const size_t s = systemOf[k];
      const bool lastPiece = systemOf[endMeasure] == s;
      const size_t stopMeasure = lastPiece ? endMeasure : lineFirst[s + 1] - 1;
      piece(k, from, stopMeasure, lastPiece);
      if (lastPiece) break;
      k = stopMeasure + 1;
      from = starts[k];
    }
  }
  int FifthsAt(size_t staff, size_t k) const {
    const std::vector<std::pair<int, int>>& keys = music.Staves[staff].Keys;
    if (keys.empty()) return music.Measures[k].Fifths;
    auto it = std::upper_bound(keys.begin(), keys.end(), k,
                               [](size_t measure, const std::pair<int, int>& key) { return int64_t(measure) < key.first; });
    return it == keys.begin() ? 0 : (it - 1)->second;
  }
  const NotatedClef& ClefAt(int staff, size_t k, int64_t tick) const {
    static const NotatedClef kTreble;
    const std::vector<NotatedClef>& clefs = music.Staves[size_t(staff)].Clefs;
    // The last clef at or before (k, tick); the first one governs anything earlier.
    auto it = std::upper_bound(clefs.begin(), clefs.end(), std::make_pair(int64_t(k), tick),
                               [](const std::pair<int64_t, int64_t>& at, const NotatedClef& c) {
                                 return at < std::make_pair(int64_t(c.Measure), c.Tick);
                               });
    if (clefs.empty()) return kTreble;
    return it == clefs.begin() ? clefs.front() : *(it - 1);
  }
};

// The rests that fill a voice from `a` to `b`: a whole-measure rest for a
// measure left empty, else the values the meter asks for.
void FillRests(const Layout& l, int staff, int voice, int64_t a, int64_t b, std::vector<Item>& out) {
  while (a < b) {
    const size_t k = l.MeasureAt(a);
    const int64_t barStart = l.starts[k], barEnd = l.starts[k + 1];
    const int64_t stop = std::min(b, barEnd);
    if (stop <= a) break;  // past the last measure
    const NotatedMeasure& m = l.music.Measures[k];
    if (a == barStart && stop == barEnd) {
      out.push_back({nullptr, staff, voice, a, stop - a, 1, 0, true, k});
    } else {
      for (const WrittenValue& v : WrittenValues(l.music.TimeBase, m.Numerator, m.Denominator, barStart, a, stop, true, {}))
        out.push_back({nullptr, staff, voice, v.Start, v.Ticks, v.Code, v.Dots, false, k});
    }
    a = stop;
  }
}

}  // namespace

size_t PlaceNotatedScore(CScore& score, const NotatedScore& music) {
  if (music.Staves.empty() || music.Measures.empty()) return 0;
  Layout l{score, music, {}, {}, {}, {}, {}, {}};
  score.TimeBase = music.TimeBase;
  score.Tempo = music.Tempo;
  score.Numerator = static_cast<int8_t>(music.Measures.front().Numerator);
  score.Denominator = static_cast<int8_t>(music.Measures.front().Denominator);
  const int timeBase = music.TimeBase;
  const size_t count = music.Measures.size();
  const size_t staffCount = music.Staves.size();
  l.starts.assign(1, 0);
  for (const NotatedMeasure& m : music.Measures)
    l.starts.push_back(l.starts.back() + std::max<int64_t>(1, MeasureTicks(timeBase, m.Numerator, m.Denominator)));

  // --- every voice of every stave, gaps filled with rests ---
  std::vector<Item> items;
  items.reserve(music.Notes.size() + count * staffCount);
  {
    std::vector<const NotatedNote*> order;
    order.reserve(music.Notes.size());
    for (const NotatedNote& n : music.Notes)
      if (n.Start >= 0 && n.Start < l.starts.back() && n.Staff >= 0 && size_t(n.Staff) < staffCount && n.Voice >= 0 &&
          n.Voice < kRecorderVoices)
        order.push_back(&n);
    std::stable_sort(order.begin(), order.end(), [](const NotatedNote* a, const NotatedNote* b) {
      return std::tie(a->Staff, a->Voice, a->Start) < std::tie(b->Staff, b->Voice, b->Start);
    });
    size_t i = 0;
    for (int staff = 0; staff < int(staffCount); ++staff) {
      // The first voice fills every measure; a later voice rests only inside
      // the measures it writes in.
      bool firstVoice = true;
      while (firstVoice || (i < order.size() && order[i]->Staff == staff)) {
        const int voice = i < order.size() && order[i]->Staff == staff ? order[i]->Voice : 0;
        int64_t cursor = 0;
        for (; i < order.size() && order[i]->Staff == staff && order[i]->Voice == voice; ++i) {
          const NotatedNote& n = *order[i];
          const int64_t from = firstVoice ? cursor : std::max(cursor, l.starts[l.MeasureAt(n.Start)]);
          if (n.Start > from) FillRests(l, staff, voice, from, n.Start, items);
          items.push_back({&n, staff, voice, n.Start, n.Ticks, n.Code, n.Dots, n.MeasureRest, l.MeasureAt(n.Start)});
          cursor = std::max(cursor, n.Start + n.Ticks);
        }
        if (firstVoice) FillRests(l, staff, voice, cursor, l.starts.back(), items);
        firstVoice = false;
      }
    }
  }

  // --- measure widths from their content; systems filled with as many as fit ---
  std::vector<double> need(count, 0.0);
  {
    std::vector<std::vector<int>> onsets(count), dotted(count), accidental(count);
    std::vector<int> graces(count, 0);  // grace notes and inner clefs, in grace steps
    std::map<std::tuple<size_t, int, int>, int> leading;  // (measure, staff, voice) -> graces on its first beat
    for (const Item& it : items) {
      const int offset = int(it.Start - l.starts[it.Measure]);
      if (it.Note && it.Note->Grace) {
        ++graces[it.Measure];
        if (offset == 0) ++leading[{it.Measure, it.Staff, it.Voice}];
        continue;
      }
      onsets[it.Measure].push_back(offset);
      if (it.Dots) dotted[it.Measure].push_back(offset);
      if (it.Note)
        for (const NotatedHead& h : it.Note->Heads)
          if (h.Accidental) {
            accidental[it.Measure].push_back(offset);
            break;
          }
    }
    l.lead.assign(count, 0);
    for (const auto& [at, n] : leading)
      l.lead[std::get<0>(at)] = std::max(l.lead[std::get<0>(at)], kGraceRoom * std::min(n, 16));
    // A clef changing inside a measure needs its own room.
    for (const NotatedStaff& staff : music.Staves)
      for (const NotatedClef& c : staff.Clefs)
        if (c.Tick > 0 && size_t(c.Measure) < count) graces[size_t(c.Measure)] += 2;
    for (size_t k = 0; k < count; ++k)
      need[k] = MeasureContentWidth(timeBase, int(l.starts[k + 1] - l.starts[k]), onsets[k], dotted[k], accidental[k]) +
                kGraceRoom * std::min(graces[k], 16);
  }
  std::vector<size_t> lineFirst;
  {
    // A system's first measure opens with clefs and key; a key or meter
    // changing inside a system takes room where it shows.
    std::vector<double> opening(count), inner(count);
    for (size_t k = 0; k < count; ++k) {
      const NotatedMeasure& m = music.Measures[k];
      int widest = 0, change = 0;  // the widest key of the staves, and of a key changing here
      for (size_t i = 0; i < staffCount; ++i) {
        const int now = std::abs(l.FifthsAt(i, k));
        widest = std::max(widest, now);
        if (k > 0 && l.FifthsAt(i, k) != l.FifthsAt(i, k - 1))
          change = std::max({change, now, std::abs(l.FifthsAt(i, k - 1))});
      }
      const bool timeChange = k == 0 || m.Numerator != music.Measures[k - 1].Numerator ||
                              m.Denominator != music.Measures[k - 1].Denominator;
      opening[k] = 28.0 + 8.0 * widest + (timeChange ? 20.0 : 0.0);
      inner[k] = (change ? 8.0 * change + 4 : 0.0) + (timeChange ? 20.0 : 0.0);
    }
    for (int64_t k : FillSystems(need, opening, inner, score.PaperWidth - score.PageRightMargin - score.LeftMargin))
      lineFirst.push_back(size_t(k));
  }

  // --- systems: every stave, braces over each part's staves ---
  const int h = 4 * score.LineSpace;
  int top = score.TopMargin;
  l.systemOf.assign(count, 0);
  for (size_t s = 0; s + 1 < lineFirst.size(); ++s) {
    const int bottom = top + int(staffCount) * h + int(staffCount - 1) * score.StaveSpace;
    CStaff* system = NewSystem(score, top, bottom, score.Staffs.size());
    const size_t first = lineFirst[s], stop = lineFirst[s + 1];
    const int width = system->Right - system->Left;
    const int g = std::max(1, width / int(stop - first));
    for (size_t k = first; k < stop; ++k) {
      const int bar = k + 1 == stop ? system->Right : system->Left + g * int(k - first + 1);
      CMeasure* m = score.MakeMeasure(system, bar);
      m->Left = k == first ? system->Left : l.measures.back()->Right;
      const NotatedMeasure& nm = music.Measures[k];
      m->Numerator = static_cast<int8_t>(nm.Numerator);
      m->Denominator = static_cast<int8_t>(nm.Denominator);
      m->Ticks = static_cast<int32_t>(l.starts[k + 1] - l.starts[k]);
      m->Start = static_cast<int32_t>(std::min<int64_t>(l.starts[k], INT32_MAX));
      m->Value = nm.BarLine;
      m->LeftMargin = kBarLineRoom;
      l.measures.push_back(m);
      l.systemOf[k] = s;
    }
    std::vector<CStave*> row;
    for (size_t i = 0; i < staffCount; ++i) {
      CStave* stave = score.MakeStave(system, top + int(i) * (h + score.StaveSpace));
      stave->Channel = static_cast<int8_t>(music.Staves[i].Channel & 15);
      stave->Patch = static_cast<uint8_t>(music.Staves[i].Patch);
      row.push_back(stave);
    }
    for (size_t i = 0; i < staffCount;) {
      size_t j = i;
      while (j + 1 < staffCount && music.Staves[j].BracedToNext) ++j;
      if (j > i) AddBrace(score, row[i], row[j]);
      i = j + 1;
    }
    // Signs: clefs and keys open every system; a change shows where it happens.
    for (size_t k = first; k < stop; ++k) {
      const NotatedMeasure& m = music.Measures[k];
      const bool timeShows = k == 0 || m.Numerator != music.Measures[k - 1].Numerator ||
                             m.Denominator != music.Measures[k - 1].Denominator;
      for (size_t i = 0; i < staffCount; ++i) {
        const NotatedClef& clef = l.ClefAt(int(i), k, 0);
        const NotatedClef& before = l.ClefAt(int(i), k == 0 ? 0 : k - 1, INT64_MAX);
        if (k == first || clef.Clef != before.Clef)
          recorder_detail::SetMeasureSign(score, row[i], l.measures[k], SIGN_CLEF, clef.Clef);
        const int fifths = l.FifthsAt(i, k);
        if (k == first ? fifths != 0 : fifths != l.FifthsAt(i, k - 1)) {
          // A change to no key shows naturals: the old key's signs with bit 8.
          int32_t code = KeyCode(fifths);
          if (code == 0 && k != first) code = KeyCode(l.FifthsAt(i, k - 1)) | 8;
          if (code) recorder_detail::SetMeasureSign(score, row[i], l.measures[k], SIGN_KEY, code);
        }
        if (timeShows)
          recorder_detail::SetMeasureSign(score, row[i], l.measures[k], SIGN_TIME, m.Numerator | m.Denominator << 8);
      }
      if (timeShows) {
        // The time signatures of all staves stand in one column, after the widest key.
        std::vector<CStaveObject*> times;
        int x = INT_MIN;
        for (CStave* stave : row)
          for (CStaveObject* o : stave->Attached)
            if (o->OwnerMeasure == l.measures[k] && o->KindCode() == Kind::Sign && o->Style == SIGN_TIME) {
              times.push_back(o);
              x = std::max(x, o->Left);
            }
        for (CStaveObject* o : times) o->MoveTo(x, o->Top);
      }
    }
    l.systems.push_back(system);
    l.staves.push_back(std::move(row));
    top = bottom + score.StaveSpace + score.SystemSpace;
  }
  // Widths: the signs' room, then the rest shared by need. A last system
  // holding little music is spaced like the one before it, not stretched.
  double scale = 1.5;
  for (size_t s = 0; s < l.systems.size(); ++s) {
    const std::vector<CMeasure*> measures(l.measures.begin() + ptrdiff_t(lineFirst[s]),
                                          l.measures.begin() + ptrdiff_t(lineFirst[s + 1]));
    const std::vector<double> needs(need.begin() + ptrdiff_t(lineFirst[s]), need.begin() + ptrdiff_t(lineFirst[s + 1]));
    scale = SpreadMeasures(*l.systems[s], measures, needs, l.staves[s], s + 1 == l.systems.size() ? scale : 0.0);
  }

  // --- notes and rests, each voice left to right ---
  std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
    return std::tie(a.Staff, a.Voice, a.Start) < std::tie(b.Staff, b.Voice, b.Start);
  });
  const int32_t style = score.InsertStyle & ~(NTS_UPDATE_KEY | NTS_DOTTED | NTS_DOUBLE_DOTTED);
  std::unordered_map<const NotatedNote*, std::vector<CNote*>> headsOf;
  headsOf.reserve(music.Notes.size());
  std::vector<CNote*> dots1, dots2, wholeRests, graces;
  std::vector<std::vector<CNote*>> chords;
  // Tuplet groups: as the file brackets them, else a voice's run of tuplet
  // values until they fill the count of the first one's written value.
  std::vector<std::vector<CNote*>> tuplets;
  int64_t tupletLeft = 0, tupletNext = -1;
  int tupletStaff = -1, tupletVoice = -1, tupletCount = 0;
  // Stave-measure cells with more than one voice, for stems and rests kept apart.
  std::map<std::pair<int, size_t>, std::set<int>> voicesIn;
  for (const Item& it : items) voicesIn[{it.Staff, it.Measure}].insert(it.Voice);
  size_t placed = 0;
  int lastX = INT_MIN;
  int lastVoice = -1, lastStaff = -1;
  size_t lastSystem = SIZE_MAX;
  size_t graceRun = 0;  // grace notes left in the run being placed
  for (size_t i = 0; i < items.size(); ++i) {
    const Item& it = items[i];
    const size_t k = it.Measure;
    CMeasure* measure = l.measures[k];
    CStave* stave = l.Stave(k, it.Staff);
    if (it.Voice != lastVoice || it.Staff != lastStaff || l.systemOf[k] != lastSystem) lastX = INT_MIN;
    lastVoice = it.Voice;
    lastStaff = it.Staff;
    lastSystem = l.systemOf[k];
    int x = l.XOf(k, it.Start);
    if (it.Note && it.Note->Grace) {
      // Grace notes stand before the note they lead to, a step each (at most
      // sixteen steps: a longer run shares the last).
      if (graceRun == 0)
        for (size_t j = i; j < items.size() && items[j].Note && items[j].Note->Grace && items[j].Start == it.Start &&
                           items[j].Voice == it.Voice && items[j].Staff == it.Staff;
             ++j)
          ++graceRun;
      x -= kGraceRoom * int(std::min<size_t>(graceRun--, 16));
    }
    if (it.MeasureRest) x = (measure->Left + measure->LeftPadding + measure->Right - measure->RightPadding) / 2 - 8;
    if (x <= lastX) x = lastX + 1;  // a voice keeps its time order on the page
    lastX = x;
    const bool shared = voicesIn[{it.Staff, k}].size() > 1;
    const bool upperVoice = it.Voice == *voicesIn[{it.Staff, k}].begin();
    const int tuplet = it.Note ? it.Note->Tuplet : 0;
    if (tuplet) {
      if (tupletLeft <= 0 || it.Staff != tupletStaff || it.Voice != tupletVoice || tuplet != tupletCount ||
          it.Start != tupletNext || it.Note->TupletStarts) {
        tuplets.emplace_back();
        tupletLeft = tuplet * ValueTicks(timeBase, it.Code, 0, 0);
        tupletStaff = it.Staff;
        tupletVoice = it.Voice;
        tupletCount = tuplet;
      }
      tupletLeft -= ValueTicks(timeBase, it.Code, it.Dots, 0);
      if (it.Note->TupletStarts) tupletLeft = INT64_MAX;  // the file says where it ends
      if (it.Note->TupletEnds) tupletLeft = 0;
      tupletNext = it.Start + it.Ticks;
    }
    auto finish = [&](CNote* n) {
      n->Value = it.Code | (tuplet << 8);
      if (tuplet && (tuplets.back().empty() || tuplets.back().back()->Start != n->Start)) tuplets.back().push_back(n);
      if (it.Dots == 1) {
        n->Style |= NTS_DOTTED;
        dots1.push_back(n);
      } else if (it.Dots == 2) {
        n->Style |= NTS_DOUBLE_DOTTED;
        dots2.push_back(n);
      }
      n->Ticks = static_cast<int32_t>(ValueTicks(timeBase, it.Code, it.Dots, tuplet));
      ++placed;
    };
    if (!it.Note || it.Note->Rest) {
      auto rest = std::make_unique<CRest>();
      rest->Layer = score.Layer;
      rest->Voice = static_cast<int8_t>(it.Voice);
      rest->Channel = stave->Channel;
      const int code = it.MeasureRest ? 1 : it.Code;
      rest->Value = code;
      rest->Head = static_cast<int8_t>(code);
      rest->Start = static_cast<int32_t>(it.Start);
      rest->Style = NTS_UPDATE_TICKS | NTS_UPDATE_PLAYTICKS;
      int y = stave->Top + 2 * score.LineSpace;
      if (shared) y += upperVoice ? -score.LineSpace : score.LineSpace;
      rest->PlaceAt(x, y);
      rest->dy = rest->Y - stave->Top;
      CRest* r = Attach(score, stave, measure, std::move(rest));
      if (it.MeasureRest) {
        // A whole-measure rest follows its measure's length.
        r->Ticks = static_cast<int32_t>(it.Ticks);
        wholeRests.push_back(r);
        ++placed;
      } else {
        finish(r);
      }
      if (it.Note) headsOf[it.Note].push_back(r);
      continue;
    }
    const NotatedNote& note = *it.Note;
    std::vector<CNote*> heads;
    for (const NotatedHead& head : note.Heads) {
      const NotatedClef& clef = l.ClefAt(it.Staff, k, it.Start - l.starts[k]);
      const int a = head.Step - 7 * clef.OctaveShift + 4;  // staff steps from the F of key 5 up
      const int dy = 4 * (kClefBase[std::clamp(clef.Clef, 0, 2)] - a);
      auto n = std::make_unique<CNote>();
      n->Layer = score.Layer;
      n->Voice = static_cast<int8_t>(it.Voice);
      n->Channel = stave->Channel;
      n->Key = static_cast<uint8_t>(std::clamp(head.Key, 0, 127));
      n->Velocity = 100;
      n->Start = static_cast<int32_t>(it.Start);
      n->Style = style;
      n->Value = it.Code;
      n->PlaceAt(x, stave->Top + dy);
      n->dy = n->Y - stave->Top;
      n->Head = static_cast<int8_t>(it.Code);
      n->Tail = static_cast<int8_t>(it.Code > 3 ? it.Code - 3 : 0);
      int stem = std::abs(StemFor(it.Code, n->dy));
      const int direction = note.Stem ? note.Stem : shared ? (upperVoice ? -1 : 1) : (n->dy > 15 ? -1 : 1);
      n->Stem = static_cast<int8_t>(direction < 0 ? -stem : stem);
      CNote* made = Attach(score, stave, measure, std::move(n));
      finish(made);
      if (head.Accidental) {
        auto mark = std::make_unique<CMark>();
        mark->Value = head.Accidental;
        mark->Layer = score.Layer;
        mark->PlaceAt(made->Left - 6, made->Y);
        mark->Note = made->Number;
        mark->NoteLink = made;
        Attach(score, stave, measure, std::move(mark));
      }
      heads.push_back(made);
    }
    if (note.Grace) graces.insert(graces.end(), heads.begin(), heads.end());
    if (heads.size() > 1) chords.push_back(heads);
    headsOf[&note] = std::move(heads);
  }

  if (!graces.empty()) MakeGraceNotes(score, graces);
  score.UpdateDerived();
  // Grace notes take their time from the note they lead to, as the editor's
  // grace note tool makes them.
  {
    int64_t lent = 0;
    const Item* previous = nullptr;
    for (const Item& it : items) {
      if (previous && (previous->Staff != it.Staff || previous->Voice != it.Voice)) lent = 0;
      previous = &it;
      if (!it.Note || it.Note->Rest) {
        lent = 0;
        continue;
      }
      const std::vector<CNote*>& heads = headsOf[it.Note];
      if (heads.empty()) continue;
      if (it.Note->Grace) {
        lent += heads.front()->Ticks;
        continue;
      }
      if (!lent) continue;
      for (CNote* n : heads) {
        n->Ticks = static_cast<int32_t>(std::max<int64_t>(int64_t(n->Ticks) - lent, 1));
        n->Style &= ~NTS_UPDATE_TICKS;
      }
      lent = 0;
    }
  }
  for (auto& heads : chords) LayoutChord(score, heads);
  {
    note_commands_detail::MarkIndex marks(score);
    for (CNote* n : dots1) note_commands_detail::RedoDotMarks(score, marks, n);
    for (CNote* n : dots2) note_commands_detail::RedoDotMarks(score, marks, n);
    score.RemoveMarkedObjects();
  }
  for (CNote* rest : wholeRests) {
    rest->Style |= NTS_UPDATE_TICKS;
    const CMeasure* m = rest->OwnerMeasure;
    const int middle = (m->Left + m->LeftPadding + m->Right - m->RightPadding) / 2;
    rest->PlaceAt(middle - (rest->Right - rest->Left) / 2, rest->Y);
  }
  score.UpdateDerived();

  // --- beams as the file draws them ---
  {
    std::map<std::pair<int, int>, std::vector<CNote*>> open;  // (staff, voice) -> the group so far
    for (const Item& it : items) {
      if (!it.Note || it.Note->Rest || it.Note->Beam == NotatedBeam::None) continue;
      auto hit = headsOf.find(it.Note);
      if (hit == headsOf.end()) continue;
      std::vector<CNote*>& group = open[{it.Staff, it.Voice}];
      if (it.Note->Beam == NotatedBeam::Begin) group.clear();
      group.insert(group.end(), hit->second.begin(), hit->second.end());
      if (it.Note->Beam == NotatedBeam::End) {
        // A beam does not run across a system break.
        if (!group.empty() && group.front()->OwnerStave == group.back()->OwnerStave) BeamNotes(score, group);
        group.clear();
      }
    }
  }

  // --- ties: each head to the next head of its key that the file ties it to ---
  std::vector<std::pair<CNote*, CNote*>> ties;
  {
    std::map<std::pair<int, int>, CNote*> tieOpen;  // (staff, key) -> head waiting for its continuation
    std::vector<const Item*> byTime;
    for (const Item& it : items)
      if (it.Note && !it.Note->Rest) byTime.push_back(&it);
    std::stable_sort(byTime.begin(), byTime.end(), [](const Item* a, const Item* b) {
      return std::tie(a->Staff, a->Start) < std::tie(b->Staff, b->Start);
    });
    for (const Item* it : byTime) {
      const std::vector<CNote*>& heads = headsOf[it->Note];
      for (size_t j = 0; j < heads.size() && j < it->Note->Heads.size(); ++j) {
        const NotatedHead& head = it->Note->Heads[j];
        const std::pair<int, int> key{it->Staff, head.Key};
        if (head.TieStop) {
          auto open = tieOpen.find(key);
          if (open == tieOpen.end()) {
            // A tie the file draws between heads of different keys (a key
            // change between them) joins the open head that ends here.
            for (auto o = tieOpen.lower_bound({it->Staff, INT_MIN}); o != tieOpen.end() && o->first.first == it->Staff; ++o)
              if (int64_t(o->second->Start) + o->second->Ticks == it->Start) {
                open = o;
                break;
              }
          }
          if (open != tieOpen.end()) {
            ties.emplace_back(open->second, heads[j]);
            tieOpen.erase(open);
          }
        }
        if (head.TieStart) tieOpen[key] = heads[j];
      }
    }
    std::unordered_map<CNote*, CNote*> firstOf;
    for (const auto& [a, b] : ties) {
      CNote* head = firstOf.count(a) ? firstOf[a] : a;
      firstOf[b] = head;
      head->Tie = head->Number;
      b->Tie = head->Number;
    }
  }

  // --- marks over the notes, slurs ---
  std::map<int, CNote*> slurOpen;
  for (const Item& it : items) {
    if (!it.Note || it.Note->Rest) continue;
    const std::vector<CNote*>& heads = headsOf[it.Note];
    if (heads.empty()) continue;
    // The head on the side away from the stem carries the marks.
    CNote* lead = heads.front();
    CNote* topHead = lead;
    CNote* bottomHead = lead;
    for (CNote* n : heads) {
      if (n->Y < topHead->Y) topHead = n;
      if (n->Y > bottomHead->Y) bottomHead = n;
    }
    const bool stemUp = std::any_of(heads.begin(), heads.end(), [](const CNote* n) { return n->Stem < 0; });
    for (int type : it.Note->Marks) {
      auto mark = std::make_unique<CMark>();
      mark->Value = type;
      mark->Layer = score.Layer;
      CStave* stave = lead->OwnerStave;
      int y;
      if (type == 48) y = std::min(topHead->Y - 14, stave->Top - 10);
      else if (type == 49) y = std::max(bottomHead->Y + 14, stave->Bottom + 10);
      else y = stemUp ? bottomHead->Y + 12 : topHead->Y - 12;
      mark->PlaceAt(lead->X, y);
      mark->Note = lead->Number;
      mark->NoteLink = lead;
      Attach(score, stave, lead->OwnerMeasure, std::move(mark));
    }
    for (int number : it.Note->SlurStops) {
      auto open = slurOpen.find(number);
      if (open == slurOpen.end()) continue;
      CNote* a = open->second;
      CNote* b = stemUp ? bottomHead : topHead;
      slurOpen.erase(open);
      const bool below = a->Stem < 0;
      const int g = below ? 10 : -10;
      auto add = [&](CNote* anchor, int x1, int y1, int x2, int y2) {
        auto slur = std::make_unique<CSlurLine>();
        slur->X = x1;
        slur->Y = y1 + g;
        slur->X1 = x2;
        slur->Y1 = y2 + g;
        slur->X2 = (x1 + x2) / 2;
        slur->Y2 = (below ? std::max(y1, y2) : std::min(y1, y2)) + 2 * g;
        slur->SetBounds(x1 - 8, slur->Y - 8, x1 + 8, slur->Y + 8);
        slur->Layer = score.Layer;
        if (anchor) {
          slur->Note = anchor->Number;
          slur->NoteLink = anchor;
        }
        Attach(score, anchor->OwnerStave, anchor->OwnerMeasure, std::move(slur));
      };
      if (a->OwnerStave && b->OwnerStave && a->OwnerStave->OwnerStaff == b->OwnerStave->OwnerStaff) {
        add(a, a->X, a->Y, b->X, b->Y);
      } else if (a->OwnerStave && b->OwnerStave) {
        // Across a system break: to the end of the first system, from the start of the next.
        add(a, a->X, a->Y, a->OwnerStave->Right - 4, a->Y);
        add(b, b->OwnerStave->Left + b->OwnerMeasure->LeftPadding - 8, b->Y, b->X, b->Y);
      }
    }
    for (int number : it.Note->SlurStarts) slurOpen[number] = stemUp ? bottomHead : topHead;
  }

  // --- tuplet numbers over (or under) their groups ---
  for (const std::vector<CNote*>& group : tuplets)
    if (!group.empty()) PlaceTupletNumber(score, group, std::to_string(group.front()->TupletCount()));

  // --- clefs changing inside a measure: a small clef before the music it governs ---
  for (size_t i = 0; i < staffCount; ++i)
    for (const NotatedClef& c : music.Staves[i].Clefs) {
      if (c.Tick <= 0 || size_t(c.Measure) >= count) continue;
      const size_t k = size_t(c.Measure);
      if (c.Clef == l.ClefAt(int(i), k, c.Tick - 1).Clef) continue;
      CStave* stave = l.Stave(k, int(i));
      auto sign = std::make_unique<CSign>();
      sign->Style = SIGN_CLEF;
      sign->Value = std::clamp(c.Clef, 0, 2) + 3;
      sign->Layer = score.Layer;
      sign->PlaceAt(l.XOf(k, l.starts[k] + c.Tick) - 20, stave->Top);
      Attach(score, stave, l.measures[k], std::move(sign));
    }
  // Tempo changes as the tempo view keeps them: one "#tempo:" text.
  if (!music.TempoChanges.empty()) {
    std::string directive = "#tempo:";
    for (const auto& [tick, tempo] : music.TempoChanges)
      directive += std::to_string(tick) + "," + std::to_string(tempo) + ";";
    // Under the music, out of its way.
    CStave* stave = l.staves.back().back();
    auto text = std::make_unique<CXText>();
    text->text = directive;
    text->Font = 2;
    text->Layer = score.Layer;
    text->SetBounds(stave->Left, stave->Bottom + 44, stave->Left + 12 * int(directive.size()) + 16, stave->Bottom + 68);
    Attach(score, stave, l.measures[lineFirst[l.systems.size() - 1]], std::move(text));
  }

  // --- texts, hairpins, endings ---
  for (const NotatedText& t : music.Texts) {
    if (t.Staff < 0 || size_t(t.Staff) >= staffCount) continue;
    const int64_t tick = std::clamp<int64_t>(t.Tick, 0, l.starts.back() - 1);
    const size_t k = l.MeasureAt(tick);
    CStave* stave = l.Stave(k, t.Staff);
    auto text = std::make_unique<CXText>();
    text->text = t.Text;
    text->Value = t.Value;
    text->Font = 2;
    text->Layer = score.Layer;
    const int x = std::max(l.measures[k]->Left + 2, l.XOf(k, tick) - 2);
    const int width = 10 * int(t.Text.size()) + 8;
    const int y = t.Below ? stave->Bottom + 4 : stave->Top - 30;
    text->SetBounds(x, y, x + width, y + 24);
    Attach(score, stave, l.measures[k], std::move(text));
  }
  for (const NotatedWedge& w : music.Wedges) {
    if (w.Staff < 0 || size_t(w.Staff) >= staffCount || w.End < w.Start) continue;
    // One wedge per system it spans.
    l.ForEachSystemPiece(lineFirst, w.Start, w.End, [&](size_t k, int64_t from, size_t stop, bool lastPiece) {
      CStave* stave = l.Stave(k, w.Staff);
      const int x1 = l.XOf(k, from);
      int x2 = lastPiece ? std::min(l.XOf(stop, std::clamp<int64_t>(w.End, 0, l.starts.back() - 1)), l.measures[stop]->Right - 4)
                         : l.measures[stop]->Right - 4;
      if (x2 < x1 + 12) x2 = x1 + 12;
      auto wedge = std::make_unique<CXGraphics>();
      wedge->Value = w.Crescendo ? 0 : 1;
      wedge->Layer = score.Layer;
      wedge->SetBounds(x1, stave->Bottom + 10, x2, stave->Bottom + 22);
      Attach(score, stave, l.measures[k], std::move(wedge));
    });
  }
  for (const NotatedMark& mk : music.Marks) {
    if (mk.Staff < 0 || size_t(mk.Staff) >= staffCount) continue;
    const int64_t tick = std::clamp<int64_t>(mk.Tick, 0, l.starts.back() - 1);
    size_t k = l.MeasureAt(tick);
    int x = l.XOf(k, tick) + 4;
    if (mk.Value == 22 && k > 0 && tick == l.starts[k]) x = l.measures[--k]->Right - 12;  // released at the bar line
    CStave* stave = l.Stave(k, mk.Staff);
    auto mark = std::make_unique<CMark>();
    mark->Value = mk.Value;
    mark->Layer = score.Layer;
    mark->PlaceAt(x, mk.Below ? stave->Bottom + 24 : stave->Top - 16);
    Attach(score, stave, l.measures[k], std::move(mark));
  }
  for (const NotatedOctaveLine& o : music.OctaveLines) {
    if (o.Staff < 0 || size_t(o.Staff) >= staffCount || o.End < o.Start) continue;
    // One line per system it spans; the "8" (drawn 40 above the line's top) clear of the heads.
    l.ForEachSystemPiece(lineFirst, o.Start, o.End, [&](size_t k, int64_t from, size_t stop, bool lastPiece) {
      CStave* stave = l.Stave(k, o.Staff);
      const int x1 = l.XOf(k, from);
      const int x2 = std::max(x1 + 24, lastPiece ? std::min(l.XOf(stop, std::clamp<int64_t>(o.End, 0, l.starts.back() - 1)) + 12,
                                                            l.measures[stop]->Right - 4)
                                                  : l.measures[stop]->Right - 4);
      auto line = std::make_unique<COctaveLine>();
      line->Value = o.Below ? 1 : 0;
      line->Style = lastPiece ? 0x100 : 0;
      line->Layer = score.Layer;
      const int y = o.Below ? stave->Bottom + 34 : stave->Top - 34;
      line->SetBounds(x1, y, x2, y + 8);
      Attach(score, stave, l.measures[k], std::move(line));
    });
  }
  for (size_t k = 0; k < count;) {
    const NotatedMeasure& m = music.Measures[k];
    if (!m.EndingNumber) {
      ++k;
      continue;
    }
    // A bracket over the measures of one ending within a system.
    size_t j = k;
    while (j + 1 < count && l.systemOf[j + 1] == l.systemOf[k] && music.Measures[j + 1].EndingNumber == m.EndingNumber &&
           !music.Measures[j + 1].EndingBegins && !music.Measures[j].EndingEnds)
      ++j;
    CStave* stave = l.Stave(k, 0);
    auto ending = std::make_unique<CEnding>();
    ending->Value = m.EndingNumber;
    ending->Style = (m.EndingBegins ? 0x10 : 0) | (music.Measures[j].EndingEnds && music.Measures[j].EndingClosed ? 0x20 : 0);
    ending->Layer = score.Layer;
    ending->SetBounds(l.measures[k]->Left + 2, stave->Top - 40, l.measures[j]->Right - 2, stave->Top - 24);
    Attach(score, stave, l.measures[k], std::move(ending));
    k = j + 1;
  }
  AddTieArcs(score, ties);
  score.UpdateDerived();
  return placed;
}
