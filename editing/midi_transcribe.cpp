// The MIDI import as a transcription: the file's notes are read whole first,
// then quantised, grouped into chords, voices and staves, written in the
// values the meter asks for, and only then placed in measures as wide as
// their content needs.
#include <algorithm>
#include <climits>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <numeric>
#include <set>
#include <tuple>
#include <unordered_map>

#include "editing/chords.h"
#include "editing/edit_util.h"
#include "editing/insert.h"
#include "editing/note_commands.h"
#include "editing/note_ops.h"
#include "editing/recorder.h"
#include "editing/recorder_internal.h"
#include "editing/tie_arcs.h"
#include "model/derived.h"
#include "model/score.h"
#include "performance/midi_sequence.h"

using namespace editing;
using namespace recorder_detail;

namespace {

constexpr int kDrumChannel = 9;  // channel 10 as musicians count
constexpr int kShortestWritten = 6;  // the thirty-second
constexpr int kBarLineRoom = 10;     // from a bar line to the first head

// --- the meter's beat structure ---------------------------------------------------------------

// Boundaries of a measure from the strongest down: the bar, the half bar
// of a four-beat (or six-beat compound) measure, the beats, then halvings
// (a compound beat first splits in three).
struct MeterShape {
  int64_t Bar = 0;
  int64_t Beat = 0;
  bool Compound = false;
  size_t BeatLevel = 0;
  std::vector<int64_t> Spacings;

  size_t Level(int64_t offset) const {
    for (size_t i = 0; i < Spacings.size(); ++i)
      if (offset % Spacings[i] == 0) return i;
    return Spacings.size();
  }
};

MeterShape ShapeOf(int timeBase, int numerator, int denominator) {
  MeterShape s;
  const int64_t unit = std::max<int64_t>(1, int64_t(timeBase) * 4 / std::max(denominator, 1));
  s.Bar = unit * std::max(numerator, 1);
  s.Compound = denominator >= 8 && numerator % 3 == 0 && numerator > 3;
  s.Beat = s.Compound ? 3 * unit : unit;
  const int64_t beats = s.Bar / s.Beat;
  s.Spacings.push_back(s.Bar);
  if (beats >= 4 && beats % 2 == 0) s.Spacings.push_back(s.Bar / 2);
  s.BeatLevel = s.Spacings.size();
  s.Spacings.push_back(s.Beat);
  int64_t sub = s.Beat;
  if (s.Compound) {
    s.Spacings.push_back(unit);
    sub = unit;
  }
  while (sub % 2 == 0 && sub / 2 >= 1 && s.Spacings.size() < 12) {
    sub /= 2;
    s.Spacings.push_back(sub);
  }
  return s;
}

// Code and dots of a length that one head shows (0 when none does).
struct Single {
  int Code = 0;
  int Dots = 0;
};

Single SingleValue(int timeBase, int64_t ticks, bool dotsAllowed) {
  const int64_t whole = int64_t(timeBase) * 4;
  for (int dots = 0; dots <= (dotsAllowed ? 2 : 0); ++dots)
    for (int code = 1; code <= kShortestWritten; ++code) {
      const int64_t div = int64_t(1) << (code - 1);
      if (whole % div) break;
      const int64_t base = whole / div;
      int64_t len = base;
      if (dots == 1) {
        if (base % 2) continue;
        len = base * 3 / 2;
      } else if (dots == 2) {
        if (base % 4) continue;
        len = base * 7 / 4;
      }
      if (len == ticks) return {code, dots};
    }
  return {};
}

// The first boundary of the coarsest level strictly inside (s, e), by level.
bool CoarsestInside(const MeterShape& m, int64_t s, int64_t e, size_t& level, int64_t& at) {
  for (size_t i = 0; i < m.Spacings.size(); ++i) {
    const int64_t sp = m.Spacings[i];
    const int64_t p = (s / sp + 1) * sp;
    if (p < e) {
      level = i;
      at = p;
      return true;
    }
  }
  return false;
}

// Whether one head may show [s, e) (offsets in the measure).
bool Allowed(const MeterShape& m, int64_t s, int64_t e, bool rest) {
  size_t level = 0;
  int64_t at = 0;
  if (!CoarsestInside(m, s, e, level, at) || level > m.BeatLevel) return true;  // inside a beat anything reads
  const size_t ls = m.Level(s);
  if (rest && !(level > ls)) return false;
  // An off-beat value filling a two-beat group to its end (eighth, dotted quarter) reads.
  if (!m.Compound && ls == m.BeatLevel + 1 && level == m.BeatLevel && e - s == m.Beat * 3 / 2 && m.Level(e) < m.BeatLevel)
    return true;
  if (ls > m.BeatLevel) return false;  // off the beat across a beat: syncopation is tied
  if (m.Compound && e % m.Beat != 0) return false;  // a compound beat crossed is filled to a beat
  return level > ls || (level == ls && level == m.BeatLevel && !m.Compound);
}

void WriteStraight(int timeBase, const MeterShape& m, int64_t base, int64_t s, int64_t e, bool rest,
                   std::vector<WrittenValue>& out, int depth = 0) {
  if (e <= s) return;
  // Rests take dots only for whole compound beats.
  const bool dots = !rest || (m.Compound && s % m.Beat == 0 && (e - s) % m.Beat == 0);
  const Single v = SingleValue(timeBase, e - s, dots);
  if (v.Code && Allowed(m, s, e, rest)) {
    out.push_back({base + s, e - s, v.Code, v.Dots, 0});
    return;
  }
  size_t level = 0;
  int64_t at = 0;
  if (depth < 40 && CoarsestInside(m, s, e, level, at)) {
    WriteStraight(timeBase, m, base, s, at, rest, out, depth + 1);
    WriteStraight(timeBase, m, base, at, e, rest, out, depth + 1);
    return;
  }
  // Off every boundary: the longest plain values that fit, the shortest last.
  int64_t t = s;
  while (t < e) {
    int code = 1;
    const int64_t whole = int64_t(timeBase) * 4;
    while (code < kShortestWritten && (whole >> (code - 1)) > e - t) ++code;
    const int64_t len = std::min<int64_t>(std::max<int64_t>(whole >> (code - 1), 1), e - t);
    out.push_back({base + t, len, code, 0, 0});
    t += len;
  }
}

// Inside one triplet beat [b, b + beat): written value = 3/2 of the sounding length.
void WriteTriplet(int timeBase, int64_t b, int64_t beat, int64_t s, int64_t e, std::vector<WrittenValue>& out) {
  if (e <= s) return;
  const int64_t len = e - s;
  if ((len * 3) % 2 == 0)
    if (const Single v = SingleValue(timeBase, len * 3 / 2, false); v.Code) {
      out.push_back({s, len, v.Code, 0, 3});
      return;
    }
  for (int64_t step : {beat / 3, beat / 6}) {
    if (step <= 0) continue;
    const int64_t p = b + ((s - b) / step + 1) * step;
    if (p < e) {
      WriteTriplet(timeBase, b, beat, s, p, out);
      WriteTriplet(timeBase, b, beat, p, e, out);
      return;
    }
  }
  out.push_back({s, len, kShortestWritten, 0, 3});
}

}  // namespace

std::vector<WrittenValue> WrittenValues(int timeBase, int numerator, int denominator, int64_t measureStart,
                                        int64_t start, int64_t end, bool rest,
                                        const std::vector<int64_t>& tripletBeats) {
  std::vector<WrittenValue> out;
  if (end <= start || timeBase < 1) return out;
  const MeterShape m = ShapeOf(timeBase, numerator, denominator);
  // Cut at the triplet beats' edges; straight stretches follow the meter.
  auto it = std::upper_bound(tripletBeats.begin(), tripletBeats.end(), start - m.Beat);
  int64_t t = start;
  while (t < end) {
    while (it != tripletBeats.end() && *it + m.Beat <= t) ++it;
    if (it != tripletBeats.end() && *it <= t && !m.Compound) {
      const int64_t stop = std::min(end, *it + m.Beat);
      WriteTriplet(timeBase, *it, m.Beat, t, stop, out);
      t = stop;
    } else {
      const int64_t stop = it != tripletBeats.end() ? std::min(end, std::max(*it, t + 1)) : end;
      WriteStraight(timeBase, m, measureStart, t - measureStart, stop - measureStart, rest, out);
      t = stop;
    }
  }
  return out;
}

int EstimateKey(const std::array<double, 12>& w) {
  static const double kMajor[12] = {6.35, 2.23, 3.48, 2.33, 4.38, 4.09, 2.52, 5.19, 2.39, 3.66, 2.29, 2.88};
  static const double kMinor[12] = {6.33, 2.68, 3.52, 5.38, 2.60, 3.53, 2.54, 4.75, 3.98, 2.69, 3.34, 3.17};
  // Key signature of the major key on each pitch class.
  static const int kSharpsOfMajor[12] = {0, -5, 2, -3, 4, -1, 6, 1, -4, 3, -2, 5};
  const double total = std::accumulate(w.begin(), w.end(), 0.0);
  if (total <= 0) return 0;
  auto correlate = [&](const double* profile, int tonic) {
    double mx = 0, my = 0;
    for (int i = 0; i < 12; ++i) {
      mx += w[size_t((i + tonic) % 12)];
      my += profile[i];
    }
    mx /= 12;
    my /= 12;
    double sxy = 0, sxx = 0, syy = 0;
    for (int i = 0; i < 12; ++i) {
      const double x = w[size_t((i + tonic) % 12)] - mx, y = profile[i] - my;
      sxy += x * y;
      sxx += x * x;
      syy += y * y;
    }
    return sxx > 0 && syy > 0 ? sxy / std::sqrt(sxx * syy) : -1.0;
  };
  double best = -2;
  int sharps = 0;
  for (int tonic = 0; tonic < 12; ++tonic) {
    if (double c = correlate(kMajor, tonic); c > best + 1e-9) {
      best = c;
      sharps = kSharpsOfMajor[tonic];
    }
    if (double c = correlate(kMinor, tonic); c > best + 1e-9) {
      best = c;
      sharps = kSharpsOfMajor[(tonic + 3) % 12];
    }
  }
  return sharps;
}

double MeasureContentWidth(int timeBase, int measureTicks, const std::vector<int>& onsetList,
                           const std::vector<int>& dottedList, const std::vector<int>& accidentalList) {
  // A step between onsets needs room growing with the log of its length (a
  // quarter's step about 21 units); the measure is as wide as its most
  // demanding step needs at linear spacing.
  auto room = [&](int ticks) {
    const double quarters = double(ticks) / std::max(timeBase, 1);
    // never less than a head and a gap
    return std::max(13.0, 14.0 + 7.0 * std::log2(std::max(quarters, 0.125) * 4));
  };
  std::set<int> onsets(onsetList.begin(), onsetList.end());
  onsets.insert(measureTicks);
  const std::set<int> dotted(dottedList.begin(), dottedList.end()), accidental(accidentalList.begin(), accidentalList.end());
  double widest = 0;
  int previous = 0;
  for (int t : onsets) {
    if (t <= previous) continue;
    const int step = t - previous;
    const double need = room(step) + (dotted.count(previous) ? 6 : 0) + (accidental.count(t) ? 9 : 0);
    widest = std::max(widest, need * measureTicks / step);
    previous = t;
  }
  return std::max(widest, 40.0);
}

std::vector<int64_t> FillSystems(const std::vector<double>& need, const std::vector<double>& opening,
                                 const std::vector<double>& inner, int lineWidth) {
  std::vector<int64_t> first(1, 0);
  double used = 0;
  for (size_t k = 0; k < need.size(); ++k) {
    const bool opens = first.back() == int64_t(k);
    const double room = need[k] + kBarLineRoom + 4 + (opens ? opening[k] : inner[k]);
    if (!opens && used + room > lineWidth) {
      first.push_back(int64_t(k));
      used = need[k] + kBarLineRoom + 4 + opening[k];
    } else {
      used += room;
    }
  }
  first.push_back(int64_t(need.size()));
  return first;
}

double SpreadMeasures(CStaff& system, const std::vector<CMeasure*>& measures, const std::vector<double>& need,
                      const std::vector<CStave*>& staves, double maxScale) {
  if (measures.empty()) return 0;
  int padding = 0;
  double total = 0;
  for (size_t k = 0; k < measures.size(); ++k) {
    CMeasure* m = measures[k];
    m->LeftMargin = kBarLineRoom;
    ComputeLeftPadding(*m);
    padding += m->LeftPadding + m->RightPadding;
    total += need[k];
  }
  double area = std::max(1.0, double(system.Right - system.Left - padding));
  if (maxScale > 0 && area > total * maxScale) {
    // Little music: spaced at the scale given, the system ending where it does.
    area = total * maxScale;
    system.Right = system.Left + padding + int(std::lround(area));
    for (CStave* stave : staves) stave->Right = system.Right;
  }
  int x = system.Left;
  for (size_t k = 0; k < measures.size(); ++k) {
    CMeasure* m = measures[k];
    const int dx = x - m->Left;
    const int width = m->LeftPadding + m->RightPadding + int(std::lround(need[k] * area / total));
    m->Left = x;
    m->Right = k + 1 == measures.size() ? system.Right : x + width;
    x = m->Right;
    ComputeUnitsPerTick(*m);
    // Signs opening the measure move with it.
    if (dx != 0)
      for (CStave* stave : staves)
        for (CStaveObject* o : stave->Attached)
          if (o->OwnerMeasure == m && o->KindCode() == Kind::Sign) o->MoveTo(o->Left + dx, o->Top);
  }
  return area / total;
}

void PlaceTupletNumber(CScore& score, const std::vector<CNote*>& group, const std::string& number) {
  if (group.empty()) return;
  const CNote* firstHead = nullptr;
  int low = INT32_MAX, high = INT32_MIN;
  for (const CNote* n : group) {
    if (n->KindCode() != Kind::Note) continue;
    if (!firstHead) firstHead = n;
    low = std::min({low, n->Y, n->Y + n->Stem});
    high = std::max({high, n->Y, n->Y + n->Stem});
  }
  CNote* anchor = group.front();
  CStave* stave = anchor->OwnerStave;
  const bool above = !firstHead || firstHead->Stem <= 0;
  if (!firstHead) low = high = stave->Top + 2 * stave->LineSpace;
  const int centre = (group.front()->X + group.back()->X) / 2 + 4;
  auto text = std::make_unique<CXText>();
  text->text = number;
  text->Font = 2;
  text->Layer = anchor->Layer;
  const int top = above ? std::min(low, stave->Top) - 20 : std::max(high, stave->Top + 4 * stave->LineSpace) + 2;
  text->SetBounds(centre - 4, top, centre + 10, top + 18);
  Attach(score, stave, anchor->OwnerMeasure, std::move(text));
}

// --- the import ------------------------------------------------------------------------------

namespace {

struct RawNote {
  int64_t On = 0, Off = 0;
  int Key = 0, Channel = 0;
  int64_t Start = 0, End = 0;  // quantised
  int Staff = 0;
};

struct ChordRec {
  int64_t Start = 0, End = 0;
  int Channel = 0, Staff = 0, Voice = 0;
  std::vector<int> Keys;  // lowest first
  bool Dropped = false;
};

struct Piece {
  int Staff = 0, Voice = 0;
  WrittenValue Value;
  int Chord = -1;  // index of its chord, -1 for a rest
  bool Continuation = false;
  bool WholeRest = false;
};

struct BeatSpan {
  int64_t Start = 0, Length = 0;
  bool Compound = false;
};

BeatSpan BeatOf(const CRecorder& r, int64_t tick) {
  const RecorderMeter& meter = MeterAtTick(r, tick);
  const int64_t bar = BarAtOrBefore(r, tick);
  const int64_t unit = std::max<int64_t>(1, int64_t(r.Score->TimeBase) * 4 / meter.Denominator);
  const bool compound = meter.Denominator >= 8 && meter.Numerator % 3 == 0 && meter.Numerator > 3;
  int64_t beat = compound ? 3 * unit : unit;
  if (meter.Ticks % beat) beat = unit;
  const int64_t index = (tick - bar) / beat;
  const int64_t start = bar + index * beat;
  return {start, std::min(beat, bar + meter.Ticks - start), compound};
}

// Grid steps of a beat, coarsest first; `triplet` marks a division in three.
struct Candidate {
  int64_t Step;
  bool Triplet;
};

std::vector<Candidate> Candidates(const CRecorder& r, const BeatSpan& b) {
  std::vector<Candidate> out;
  const int64_t forced = r.AutoGrid ? 0 : RecorderGrid(r.QuantiseSetting, r.Score->TimeBase);
  const std::vector<int> divisions = b.Compound ? std::vector<int>{1, 3, 6, 12} : std::vector<int>{1, 2, 3, 4, 6, 8};
  for (int d : divisions) {
    if (b.Length % d) continue;
    const int64_t step = b.Length / d;
    const bool triplet = !b.Compound && d % 3 == 0;
    if (forced) {
      // The forced grid bounds the straight steps; triplets come no finer than it allows.
      if (!triplet && step < forced) continue;
      if (triplet && step * 3 / 2 < forced) continue;
    }
    out.push_back({step, triplet});
  }
  if (out.empty()) out.push_back({std::max<int64_t>(1, forced ? forced : b.Length), false});
  return out;
}

int64_t RoundTo(int64_t t, int64_t origin, int64_t step) {
  const int64_t off = t - origin;
  return origin + FloorDiv(2 * off + step, 2 * step) * step;
}

}  // namespace

int ImportSequence(CRecorder& r, const CMidiSequence& seq) {
  CScore& score = *r.Score;
  // Every duration must fit the score's ticks: a whole note is 4 x division.
  if (seq.Division < 1 || seq.Division > 32767) {
    score.LastError = "-1:MIDI文件的时间分辨率无效!";
    return 0;
  }
  score.TimeBase = seq.Division;
  score.Tempo = seq.Tempo;
  if (seq.Numerator >= 1 && seq.Numerator <= 127 && (seq.Denominator & (seq.Denominator - 1)) == 0 &&
      seq.Denominator >= 1 && seq.Denominator <= 64) {
    score.Numerator = static_cast<int8_t>(seq.Numerator);
    score.Denominator = static_cast<int8_t>(seq.Denominator);
  } else {
    score.Numerator = 4;
    score.Denominator = 4;
  }
  ResetRecorder(r);
  r.DrumNotes = 0;
  r.KeyEstimated = false;
  const int timeBase = score.TimeBase;

  // --- the notes, whole ---
  std::vector<RawNote> notes;
  std::vector<std::pair<int64_t, int>> keys;
  std::array<std::array<int64_t, 128>, 16> on, restruck;
  for (auto& c : on) c.fill(-1);
  for (auto& c : restruck) c.fill(-1);
  int64_t last = 0;
  auto close = [&](int channel, int key, int64_t tick) {
    int64_t& start = on[size_t(channel)][size_t(key)];
    if (start < 0) return;
    notes.push_back({start, std::max(tick, start + 1), key, channel});
    start = -1;
  };
  for (const MidiEventRec& e : seq.Events) {
    const int64_t tick = std::max<int64_t>(e.Tick, 0);
    last = std::max(last, tick);
    if (e.IsMeta()) {
      if (!e.Data) continue;
      if (e.Data1 == META_TIME_SIGNATURE && e.Data2 >= 2) {
        const int power = e.Data[1] & 31;
        if (power <= 6) RecordTimeSignature(r, tick, e.Data[0], 1 << power);
      } else if (e.Data1 == META_KEY_SIGNATURE && e.Data2 >= 1) {
        const int sharps = static_cast<int8_t>(e.Data[0]);
        if (sharps >= -7 && sharps <= 7) keys.emplace_back(tick, sharps);
      }
      continue;
    }
    const int channel = e.Status & 0x0F, key = e.Data1 & 0x7F;
    const bool off = e.IsNoteOff() || (e.IsNoteOn() && e.Data2 == 0);
    if (!off && !e.IsNoteOn()) continue;
    if (channel == kDrumChannel) {
      if (!off) ++r.DrumNotes;
      continue;
    }
    int64_t& again = restruck[size_t(channel)][size_t(key)];
    if (off) {
      // A key played legato is struck again a moment before its release: that
      // release ends the earlier note, not the new one.
      if (again >= 0 && tick - again < std::max(1, timeBase / 8)) {
        again = -1;
        continue;
      }
      close(channel, key, tick);
    } else {
      // A doubled strike is one note; a later strike ends the note before it.
      if (on[size_t(channel)][size_t(key)] == tick) continue;
      again = on[size_t(channel)][size_t(key)] >= 0 ? tick : -1;
      close(channel, key, tick);
      on[size_t(channel)][size_t(key)] = tick;
    }
  }
  for (int c = 0; c < 16; ++c)
    for (int k = 0; k < 128; ++k) close(c, k, std::max(last, on[size_t(c)][size_t(k)] + timeBase));
  const int64_t limit = TickLimit(r);
  std::erase_if(notes, [&](const RawNote& n) {
    if (n.On < limit && MeasureIndexAt(r, n.On) < kRecorderMaxMeasures) return false;
    ++r.LeftOut;
    return true;
  });
  for (RawNote& n : notes) n.Off = std::min(n.Off, limit);

  // --- a grid per beat: the coarsest straight or triplet division its onsets fit ---
  std::map<int64_t, std::vector<int64_t>> points;  // beat start -> ticks in it
  for (const RawNote& n : notes) {
    points[BeatOf(r, n.On).Start].push_back(n.On);
    const BeatSpan b = BeatOf(r, n.Off);
    if (n.Off != b.Start) points[b.Start].push_back(n.Off);
  }
  std::unordered_map<int64_t, int64_t> stepOfBeat;
  std::vector<int64_t> tripletBeats;
  for (auto& [start, ticks] : points) {
    const BeatSpan b = BeatOf(r, start);
    const std::vector<Candidate> candidates = Candidates(r, b);
    // The coarsest straight and the coarsest triplet division within the
    // tolerance; the triplet one only where it fits better.
    const Candidate* chosen = nullptr;
    const Candidate* triplet = nullptr;
    const Candidate* closest = nullptr;
    double closestError = 1e300, chosenError = 0, tripletError = 0;
    for (const Candidate& c : candidates) {
      int64_t worst = 0;
      for (int64_t t : ticks) worst = std::max(worst, std::abs(t - RoundTo(t, b.Start, c.Step)));
      if (worst * 5 <= c.Step) {
        if (!c.Triplet && !chosen) {
          chosen = &c;
          chosenError = double(worst);
        } else if (c.Triplet && !triplet) {
          triplet = &c;
          tripletError = double(worst);
        }
      }
      if (double(worst) < closestError) {
        closestError = double(worst);
        closest = &c;
      }
    }
    if (triplet && (!chosen || tripletError < chosenError)) chosen = triplet;
    if (!chosen && !r.AutoGrid) {
      // Nothing fits: the forced straight grid, or the finest straight step allowed.
      for (const Candidate& c : candidates)
        if (!c.Triplet) chosen = &c;
    }
    if (!chosen) chosen = closest;
    stepOfBeat[b.Start] = chosen->Step;
    if (chosen->Triplet) tripletBeats.push_back(b.Start);
  }
  auto quantise = [&](int64_t t) {
    const BeatSpan b = BeatOf(r, t);
    auto it = stepOfBeat.find(b.Start);
    return RoundTo(t, b.Start, it != stepOfBeat.end() ? it->second : std::max<int64_t>(b.Length, 1));
  };
  for (RawNote& n : notes) {
    n.Start = quantise(n.On);
    n.End = quantise(n.Off);
    if (n.End <= n.Start) {
      auto it = stepOfBeat.find(BeatOf(r, n.Start).Start);
      n.End = n.Start + (it != stepOfBeat.end() ? it->second : std::max<int64_t>(1, timeBase / 4));
    }
    n.End = std::min(n.End, limit);
  }
  // One key of a channel sounds once at a time.
  std::sort(notes.begin(), notes.end(), [](const RawNote& a, const RawNote& b) {
    return std::tie(a.Channel, a.Key, a.Start, a.End) < std::tie(b.Channel, b.Key, b.Start, b.End);
  });
  for (size_t i = 1; i < notes.size(); ++i) {
    RawNote& p = notes[i - 1];
    RawNote& n = notes[i];
    if (p.Channel != n.Channel || p.Key != n.Key || p.End <= n.Start) continue;
    if (p.Start == n.Start) {
      n.End = std::max(n.End, p.End);
      p.End = p.Start;  // dropped below
    } else {
      p.End = n.Start;
    }
  }
  std::erase_if(notes, [&](const RawNote& n) { return n.End <= n.Start || n.Start >= limit; });

  // --- the key: the file's signatures, else the one the pitches suggest ---
  if (keys.empty()) {
    std::array<double, 12> weights{};
    for (const RawNote& n : notes) weights[size_t(n.Key % 12)] += double(n.End - n.Start);
    // A few notes say little about a key: a guess needs a phrase's worth.
    if (notes.size() >= 8) {
      RecordKeySignature(r, 0, EstimateKey(weights));
      r.KeyEstimated = true;
    }
  } else {
    for (const auto& [tick, sharps] : keys) RecordKeySignature(r, tick, sharps);
  }

  // --- staves: one channel split by range, with hysteresis; else by the split keys ---
  std::set<int> channels;
  for (const RawNote& n : notes) channels.insert(n.Channel);
  const bool twoStaves = r.VoiceSlots >= 2;
  if (twoStaves && r.AutoStaves && channels.size() <= 1) {
    std::sort(notes.begin(), notes.end(), [](const RawNote& a, const RawNote& b) {
      return a.Start != b.Start ? a.Start < b.Start : a.Key > b.Key;
    });
    // Keys from F4 up read on the treble stave, from G3 down on the bass
    // stave; between, a key stays with a chord's treble notes within an
    // octave above it, else goes to the stave whose last key is nearer.
    int lastTreble = -1, lastBass = -1;
    for (size_t i = 0; i < notes.size();) {
      size_t j = i;
      while (j < notes.size() && notes[j].Start == notes[i].Start) ++j;
      bool bass = false;
      int lowestTreble = -1, highestBass = -1;
      for (size_t k = i; k < j; ++k) {  // highest first: once a key goes down, the lower ones follow
        const int key = notes[k].Key;
        if (!bass) {
          if (key <= 55) bass = true;
          else if (key < 65) {
            if (lowestTreble >= 0 && lowestTreble - key <= 12) bass = false;
            else if (lastBass < 0) bass = lastTreble < 0 && key < 60;
            else if (lastTreble < 0) bass = key < 60;
            else {
              const int up = std::abs(key - lastTreble), down = std::abs(key - lastBass);
              bass = down < up || (down == up && key < 60);
            }
          }
        }
        notes[k].Staff = bass ? 1 : 0;
        if (bass && highestBass < 0) highestBass = key;
        if (!bass) lowestTreble = key;
      }
      if (lowestTreble >= 0) lastTreble = lowestTreble;
      if (highestBass >= 0) lastBass = highestBass;
      i = j;
    }
  } else {
    for (RawNote& n : notes) n.Staff = twoStaves && n.Key < r.SplitKeys[size_t(n.Channel)] ? 1 : 0;
  }

  // --- chords: a channel's notes struck and released together on one stave ---
  std::sort(notes.begin(), notes.end(), [](const RawNote& a, const RawNote& b) {
    return std::tie(a.Staff, a.Start, a.Channel, a.End, a.Key) < std::tie(b.Staff, b.Start, b.Channel, b.End, b.Key);
  });
  // Releases a grid step apart (a played chord) still end one chord: a
  // thirty-second at most, so that a held note beside moving ones stays apart.
  const int64_t together = std::max(1, timeBase / 8);
  std::vector<ChordRec> chords;
  for (const RawNote& n : notes) {
    if (!chords.empty()) {
      ChordRec& c = chords.back();
      if (c.Staff == n.Staff && c.Start == n.Start && c.Channel == n.Channel && n.End - c.End <= together &&
          n.End - c.End < n.End - n.Start) {
        c.Keys.push_back(n.Key);
        std::sort(c.Keys.begin(), c.Keys.end());
        continue;
      }
    }
    chords.push_back({n.Start, n.End, n.Channel, n.Staff, 0, {n.Key}});
  }

  // --- voices: as few as overlapping chords need; the upper line first ---
  for (int staff = 0; staff < 2; ++staff) {
    std::vector<size_t> order;
    for (size_t i = 0; i < chords.size(); ++i)
      if (chords[i].Staff == staff) order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
      return chords[a].Start != chords[b].Start ? chords[a].Start < chords[b].Start : chords[a].Keys.back() > chords[b].Keys.back();
    });
    const size_t most = size_t(std::max(1, (r.VoiceSlots - staff + 1) / 2));
    std::vector<int64_t> ends;
    std::vector<size_t> latest;
    for (size_t i : order) {
      ChordRec& c = chords[i];
      size_t v = ends.size();
      for (size_t k = 0; k < ends.size(); ++k)
        if (ends[k] <= c.Start) {
          v = k;
          break;
        }
      if (v == ends.size() && ends.size() >= most) {
        // No voice left: the voice ending first is cut short where this chord starts.
        v = size_t(std::min_element(ends.begin(), ends.end()) - ends.begin());
        ChordRec& p = chords[latest[v]];
        if (p.Start < c.Start) {
          p.End = c.Start;
        } else {
          p.Keys.insert(p.Keys.end(), c.Keys.begin(), c.Keys.end());
          std::sort(p.Keys.begin(), p.Keys.end());
          p.Keys.erase(std::unique(p.Keys.begin(), p.Keys.end()), p.Keys.end());
          p.End = std::min(p.End, c.End);
          ends[v] = p.End;
          c.Dropped = true;
          continue;
        }
      }
      if (v == ends.size()) {
        ends.push_back(0);
        latest.push_back(0);
      }
      c.Voice = int(v);
      ends[v] = c.End;
      latest[v] = i;
    }
  }
  std::erase_if(chords, [](const ChordRec& c) { return c.Dropped; });

  // --- the measures the music fills, and no more ---
  int64_t end = 1;
  for (const ChordRec& c : chords) end = std::max(end, c.End);
  end = std::min(end, limit);
  const int64_t measureCount = std::clamp<int64_t>(MeasureIndexAt(r, end - 1) + 1, 1, kRecorderMaxMeasures);
  const int64_t musicEnd = MeasureStart(r, measureCount);

  // --- written values, per stave and voice, bar by bar ---
  std::sort(tripletBeats.begin(), tripletBeats.end());
  std::vector<Piece> pieces;
  auto write = [&](int staff, int voice, int64_t a, int64_t b, int chord) {
    bool continuation = false;
    while (a < b) {
      const int64_t index = MeasureIndexAt(r, a);
      const int64_t barStart = MeasureStart(r, index), barEnd = MeasureStart(r, index + 1);
      const int64_t stop = std::min(b, barEnd);
      const RecorderMeter& meter = MeterAtTick(r, a);
      if (chord < 0 && a == barStart && stop == barEnd) {
        pieces.push_back({staff, voice, {a, stop - a, 1, 0, 0}, -1, false, true});
      } else {
        for (const WrittenValue& v :
             WrittenValues(timeBase, meter.Numerator, meter.Denominator, barStart, a, stop, chord < 0, tripletBeats)) {
          pieces.push_back({staff, voice, v, chord, continuation, false});
          continuation = true;
        }
      }
      continuation = true;
      a = stop;
    }
  };
  for (int staff = 0; staff < (twoStaves ? 2 : 1); ++staff) {
    std::map<int, std::vector<size_t>> byVoice;
    for (size_t i = 0; i < chords.size(); ++i)
      if (chords[i].Staff == staff) byVoice[chords[i].Voice].push_back(i);
    byVoice[0];  // every stave's first voice fills its measures
    for (auto& [v, list] : byVoice) {
      const int voice = 2 * v + staff;
      std::sort(list.begin(), list.end(), [&](size_t a, size_t b) { return chords[a].Start < chords[b].Start; });
      int64_t cursor = 0;
      for (size_t i : list) {
        const ChordRec& c = chords[i];
        // A second voice rests only inside the measure of its next note.
        const int64_t from = v == 0 ? cursor : std::max(cursor, BarAtOrBefore(r, c.Start));
        write(staff, voice, from, c.Start, -1);
        write(staff, voice, c.Start, c.End, int(i));
        cursor = c.End;
      }
      if (v == 0) write(staff, voice, cursor, musicEnd, -1);
    }
  }

  // --- measure widths from their content, systems filled with as many as fit ---
  std::vector<double> need(size_t(measureCount), 0.0);
  {
    std::vector<std::vector<int>> onsets(need.size()), dotted(need.size()), accidental(need.size());
    for (const Piece& p : pieces) {
      const int64_t index = MeasureIndexAt(r, p.Value.Start);
      if (index < 0 || index >= measureCount) continue;
      const int offset = int(p.Value.Start - MeasureStart(r, index));
      onsets[size_t(index)].push_back(offset);
      if (p.Value.Dots) dotted[size_t(index)].push_back(offset);
      if (p.Chord >= 0 && !p.Continuation) {
        const int32_t keyCode = KeyOfMeasure(r, index);
        for (int key : chords[size_t(p.Chord)].Keys) {
          const Spelling sp = Spell(key, keyCode);
          if (sp.Alteration != KeySignatureAlteration(keyCode, sp.NaturalClass)) accidental[size_t(index)].push_back(offset);
        }
      }
    }
    for (int64_t k = 0; k < measureCount; ++k) {
      const int64_t ticks = MeasureStart(r, k + 1) - MeasureStart(r, k);
      need[size_t(k)] = MeasureContentWidth(timeBase, int(ticks), onsets[size_t(k)], dotted[size_t(k)], accidental[size_t(k)]);
    }
    // Line breaks: measures join a system while their room (with the
    // opening clef, key and time signature of a system's first measure) fits.
    if (r.AutoLines) {
      std::vector<double> opening(need.size()), inner(need.size(), 0.0);
      for (int64_t k = 0; k < measureCount; ++k) {
        const int32_t keyCode = KeyOfMeasure(r, k);
        opening[size_t(k)] = 28.0 + 8.0 * (keyCode > 256 ? (keyCode & 7) : 0) + (k == 0 ? 20.0 : 0.0);
      }
      r.LineFirst = FillSystems(need, opening, inner, score.PaperWidth - score.PageRightMargin - score.LeftMargin);
    } else {
      r.LineFirst.clear();
    }
  }
  EnsureLines(r, musicEnd - 1);
  for (size_t i = size_t(measureCount); i < r.Measures.size(); ++i) CScore::MarkForRemoval(r.Measures[i]);
  if (r.Measures.size() > size_t(measureCount)) r.Measures.resize(size_t(measureCount));
  score.RemoveMarkedObjects();
  for (size_t s = 0; s < r.Systems.size(); ++s) {
    const size_t first = size_t(FirstMeasureOfSystem(r, s));
    const size_t stop = std::min(r.Measures.size(), size_t(FirstMeasureOfSystem(r, s + 1)));
    if (first >= stop) continue;
    const std::vector<CMeasure*> measures(r.Measures.begin() + ptrdiff_t(first), r.Measures.begin() + ptrdiff_t(stop));
    const std::vector<double> needs(need.begin() + ptrdiff_t(first), need.begin() + ptrdiff_t(stop));
    SpreadMeasures(*r.Systems[s], measures, needs, {r.SystemStaves[s].begin(), r.SystemStaves[s].end()}, 0.0);
  }

  // --- the notes and rests ---
  std::stable_sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) {
    return std::tie(a.Staff, a.Voice, a.Value.Start) < std::tie(b.Staff, b.Voice, b.Value.Start);
  });
  std::vector<CNote*> dots1, dots2;
  std::vector<std::vector<CNote*>> chordHeads;
  std::vector<std::pair<CNote*, CNote*>> ties;
  std::vector<CNote*> wholeRests;
  std::map<std::pair<int, int>, CNote*> previousHead;  // (chord, key) -> its last head
  std::map<std::tuple<int, int, int64_t>, std::vector<CNote*>> triplets;  // (stave, voice, beat) -> heads and rests
  for (const Piece& p : pieces) {
    const WrittenValue& v = p.Value;
    auto finish = [&](CNote* n) {
      if (v.Tuplet) {
        n->Value = v.Code | (v.Tuplet << 8);
        std::vector<CNote*>& group = triplets[{p.Staff, p.Voice, BeatOf(r, v.Start).Start}];
        if (group.empty() || group.back()->Start != n->Start) group.push_back(n);
      }
      if (v.Dots == 1) {
        n->Style |= NTS_DOTTED;
        dots1.push_back(n);
      } else if (v.Dots == 2) {
        n->Style |= NTS_DOUBLE_DOTTED;
        dots2.push_back(n);
      }
      n->Ticks = static_cast<int32_t>(v.Ticks);
    };
    if (p.Chord < 0) {
      CRest* rest = MakeRest(r, p.Voice, v.Start, v.Code);
      if (p.WholeRest) {
        rest->Style |= NTS_UPDATE_TICKS;  // a whole-measure rest follows its measure's length
        rest->Ticks = static_cast<int32_t>(v.Ticks);
        wholeRests.push_back(rest);
      } else {
        finish(rest);
      }
      continue;
    }
    const ChordRec& c = chords[size_t(p.Chord)];
    std::vector<CNote*> heads;
    for (auto it = c.Keys.rbegin(); it != c.Keys.rend(); ++it) {
      CNote* n = MakeNote(r, p.Voice, v.Start, *it, c.Channel, v.Code, p.Continuation);
      finish(n);
      CNote*& before = previousHead[{p.Chord, *it}];
      if (p.Continuation && before) ties.emplace_back(before, n);
      before = n;
      heads.push_back(n);
    }
    if (heads.size() > 1) chordHeads.push_back(std::move(heads));
  }
  // Tie chains for playing: every head of a chain names the chain's first head.
  {
    std::unordered_map<CNote*, CNote*> firstOf;
    for (const auto& [a, b] : ties) {
      CNote* head = firstOf.count(a) ? firstOf[a] : a;
      firstOf[b] = head;
      head->Tie = head->Number;
      b->Tie = head->Number;
    }
  }
  score.UpdateDerived();
  for (auto& heads : chordHeads) LayoutChord(score, heads);
  auto withDots = [&](const std::vector<CNote*>& list, int count) {
    if (list.empty()) return;
    for (const auto& up : score.Objects()) up->Selected = 0;
    for (CNote* n : list) n->Selected = 1;
    score.RecountSelection();
    SetNoteDots(score, count);
  };
  withDots(dots1, 1);
  withDots(dots2, 2);
  for (const auto& up : score.Objects()) up->Selected = 0;
  score.RecountSelection();
  score.UpdateDerived();
  SeparateRecordedVoices(r);
  BeamRecordedNotes(r);
  // A whole-measure rest stands in the middle of its measure.
  for (CNote* rest : wholeRests) {
    const CMeasure* m = rest->OwnerMeasure;
    const int middle = (m->Left + m->LeftPadding + m->Right - m->RightPadding) / 2;
    rest->PlaceAt(middle - (rest->Right - rest->Left) / 2, rest->Y);
  }
  if (!r.Measures.empty()) r.Measures.back()->Value = 9;  // the final bar line
  // Each triplet group shows an italic 3 (the score's italic font) on the
  // stem side, over the middle of the group.
  for (const auto& [at, group] : triplets) PlaceTupletNumber(score, group, "3");
  AddTieArcs(score, ties);
  score.UpdateDerived();
  return 1;
}
