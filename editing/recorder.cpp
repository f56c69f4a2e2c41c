#include "editing/recorder.h"
#include "editing/recorder_internal.h"

#include <algorithm>
#include <climits>
#include <map>
#include <memory>
#include <set>

#include "editing/edit_util.h"
#include "editing/insert.h"
#include "editing/note_ops.h"
#include "model/derived.h"
#include "model/score.h"
#include "performance/midi_sequence.h"

using namespace editing;

// Shared with the transcribing import (recorder_internal.h).
namespace recorder_detail {

constexpr int kClefTreble = 0;
constexpr int kClefBass = 1;
// Base of the staff-step rule per clef: the step of the top line.
constexpr int kTrebleBase = 42;
constexpr int kBassBase = 30;
constexpr int kShortestCode = 6;  // the thirty-second

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

bool PowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

// --- meter -------------------------------------------------------------------------------

const RecorderMeter& MeterAtTick(const CRecorder& r, int64_t tick) {
  auto it = std::upper_bound(r.Meters.begin(), r.Meters.end(), tick,
                             [](int64_t t, const RecorderMeter& m) { return t < m.Start; });
  return it == r.Meters.begin() ? r.Meters.front() : *(it - 1);
}

const RecorderMeter& MeterOfMeasure(const CRecorder& r, int64_t index) {
  auto it = std::upper_bound(r.Meters.begin(), r.Meters.end(), index,
                             [](int64_t i, const RecorderMeter& m) { return i < m.FirstMeasure; });
  return it == r.Meters.begin() ? r.Meters.front() : *(it - 1);
}

int64_t MeasureIndexAt(const CRecorder& r, int64_t tick) {
  const RecorderMeter& m = MeterAtTick(r, tick);
  return m.FirstMeasure + FloorDiv(tick - m.Start, m.Ticks);
}

int64_t BarAtOrBefore(const CRecorder& r, int64_t tick) {
  const RecorderMeter& m = MeterAtTick(r, tick);
  return m.Start + FloorDiv(tick - m.Start, m.Ticks) * m.Ticks;
}

int64_t NextBarAfter(const CRecorder& r, int64_t tick) {
  return BarAtOrBefore(r, tick) + MeterAtTick(r, tick).Ticks;
}

int64_t MeasureStart(const CRecorder& r, int64_t index) {
  const RecorderMeter& m = MeterOfMeasure(r, index);
  return m.Start + (index - m.FirstMeasure) * m.Ticks;
}

// The first tick past the measures a recording may make.
int64_t TickLimit(const CRecorder& r) { return std::min<int64_t>(MeasureStart(r, kRecorderMaxMeasures), INT32_MAX); }

int32_t KeyOfMeasure(const CRecorder& r, int64_t index) {
  int32_t code = 0;
  for (const auto& [measure, value] : r.Keys) {
    if (measure > index) break;
    code = value;
  }
  return code;
}

// --- signs ---------------------------------------------------------------------------------

// Order of the signs at the start of a measure: clef, key, time.
int SignRank(int style) { return style == SIGN_CLEF ? 0 : style == SIGN_KEY ? 1 : 2; }

// Sets (or, for value < 0, removes) the sign of a category at the start of a
// measure on a stave, then lays that measure's signs out in clef, key, time
// order and refreshes the measure's padding and scale. Unlike the insert
// operation this never refuses for lack of room: the time signature must be
// there for the measure lengths to come out right.
void SetMeasureSign(CScore& score, CStave* stave, CMeasure* measure, int style, int32_t value) {
  std::vector<CSign*> signs;
  CSign* existing = nullptr;
  for (CStaveObject* o : stave->Attached)
    if (o->KindCode() == Kind::Sign && o->OwnerMeasure == measure &&
        (o->Style == SIGN_CLEF || o->Style == SIGN_KEY || o->Style == SIGN_TIME) &&
        (o->Style != SIGN_KEY || o->Value >= 256)) {
      auto* s = static_cast<CSign*>(o);
      if (o->Style == style && !existing) existing = s;
      else signs.push_back(s);
    }
  if (value < 0) {
    if (existing) score.RemoveObject(existing);  // RemoveObject drops it from the stave's list too
  } else if (existing) {
    existing->Value = value;
    signs.push_back(existing);
  } else {
    auto sign = std::make_unique<CSign>();
    sign->Style = style;
    sign->Value = value;
    sign->PlaceAt(measure->Left + measure->LeftMargin, stave->Top);
    signs.push_back(Attach(score, stave, measure, std::move(sign)));
  }
  std::stable_sort(signs.begin(), signs.end(),
                   [](const CSign* a, const CSign* b) { return SignRank(a->Style) < SignRank(b->Style); });
  int x = measure->Left + measure->LeftMargin;
  for (size_t i = 0; i < signs.size(); ++i) {
    CSign* s = signs[i];
    // A key signature keeps a gap to the time signature after it.
    if (i > 0 && signs[i - 1]->Style == SIGN_KEY) x += 4;
    s->PlaceAt(x, stave->Top);
    x = s->Right;
  }
  // Moving signs may change their order by Left; keep the stave's list sorted.
  std::stable_sort(stave->Attached.begin(), stave->Attached.end(),
                   [](const CStaveObject* a, const CStaveObject* b) { return a->Left < b->Left; });
  ComputeLeftPadding(*measure);
  ComputeUnitsPerTick(*measure);
}

// Time signature values and lengths of the measures from `first` on, after
// the meter changed there.
void RefreshMeasures(CRecorder& r, int64_t first) {
  for (int64_t k = std::max<int64_t>(first, 0); k < int64_t(r.Measures.size()); ++k) {
    CMeasure* m = r.Measures[size_t(k)];
    const RecorderMeter& meter = MeterOfMeasure(r, k);
    m->Numerator = static_cast<int8_t>(meter.Numerator);
    m->Denominator = static_cast<int8_t>(meter.Denominator);
    m->Ticks = static_cast<int32_t>(meter.Ticks);
    m->Start = static_cast<int32_t>(std::min<int64_t>(MeasureStart(r, k), INT32_MAX));
    ComputeUnitsPerTick(*m);
  }
}

// Systems start at the planned measures (LineFirst, one past the last
// planned system's end at the back), then hold MeasuresPerLine each.
int64_t FirstMeasureOfSystem(const CRecorder& r, size_t system) {
  const size_t planned = r.LineFirst.empty() ? 0 : r.LineFirst.size() - 1;
  if (system < planned) return r.LineFirst[system];
  const int64_t from = planned ? r.LineFirst.back() : 0;
  return from + int64_t(system - planned) * r.MeasuresPerLine;
}

int MeasuresOfSystem(const CRecorder& r, size_t system) {
  return int(FirstMeasureOfSystem(r, system + 1) - FirstMeasureOfSystem(r, system));
}

size_t SystemOfMeasure(const CRecorder& r, int64_t index) {
  const size_t planned = r.LineFirst.empty() ? 0 : r.LineFirst.size() - 1;
  if (planned && index < r.LineFirst.back())
    return size_t(std::upper_bound(r.LineFirst.begin(), r.LineFirst.end(), index) - r.LineFirst.begin()) - 1;
  const int64_t from = planned ? r.LineFirst.back() : 0;
  return planned + size_t((index - from) / r.MeasuresPerLine);
}

void SetKeySign(CRecorder& r, int64_t index, int32_t code) {
  if (index < 0 || index >= int64_t(r.Measures.size())) return;
  CMeasure* m = r.Measures[size_t(index)];
  for (CStave* s : r.SystemStaves[SystemOfMeasure(r, index)]) SetMeasureSign(*r.Score, s, m, SIGN_KEY, code > 256 ? code : -1);
}

void SetTimeSign(CRecorder& r, int64_t index) {
  if (index < 0 || index >= int64_t(r.Measures.size())) return;
  const RecorderMeter& meter = MeterOfMeasure(r, index);
  CMeasure* m = r.Measures[size_t(index)];
  for (CStave* s : r.SystemStaves[SystemOfMeasure(r, index)])
    SetMeasureSign(*r.Score, s, m, SIGN_TIME, meter.Numerator | meter.Denominator << 8);
}

// --- systems ---------------------------------------------------------------------------------

void AddSystem(CRecorder& r) {
  CScore& score = *r.Score;
  const int h = 4 * score.LineSpace;
  int top = score.TopMargin;
  if (!r.Systems.empty()) {
    top = r.Systems.back()->Bottom + score.StaveSpace + score.SystemSpace;
  } else if (!score.Staffs.empty()) {
    int lowest = INT_MIN;
    for (const CStaff* s : score.Staffs) lowest = std::max(lowest, s->Bottom);
    top = lowest + score.StaveSpace + score.SystemSpace;
  }
  CStaff* system = NewSystem(score, top, top + score.StaveSpace + 2 * h, score.Staffs.size());
  const size_t systemIndex = r.Systems.size();
  const int64_t firstMeasure = FirstMeasureOfSystem(r, systemIndex);
  const int count = MeasuresOfSystem(r, systemIndex);

  // Measures equally wide, the last one ending at the system's right edge.
  const int width = system->Right - system->Left;
  const int g = std::max(1, width / count);
  for (int i = 0; i < count; ++i) {
    const int bar = (i == count - 1) ? system->Right : system->Left + g * (i + 1);
    CMeasure* m = score.MakeMeasure(system, bar);
    m->Left = i == 0 ? system->Left : system->Measures[size_t(i) - 1]->Right;
    r.Measures.push_back(m);
  }
  CStave* upper = score.MakeStave(system, top);
  CStave* lower = score.MakeStave(system, top + score.StaveSpace + h);
  lower->Voice = 0;
  AddBrace(score, upper, lower);
  r.Systems.push_back(system);
  r.SystemStaves.push_back({upper, lower});
  RefreshMeasures(r, firstMeasure);

  CMeasure* first = system->Measures.front();
  SetMeasureSign(score, upper, first, SIGN_CLEF, kClefTreble);
  SetMeasureSign(score, lower, first, SIGN_CLEF, kClefBass);
  for (int i = 0; i < count; ++i) {
    const int64_t k = firstMeasure + i;
    // Every system starts with the key; a measure where the key changes shows it.
    const int32_t key = KeyOfMeasure(r, k);
    if (key > 256 && (i == 0 || key != KeyOfMeasure(r, k - 1))) SetKeySign(r, k, key);
    // The first measure and every measure where the meter changes show the time signature.
    const bool meterStarts = std::any_of(r.Meters.begin(), r.Meters.end(),
                                         [&](const RecorderMeter& m) { return m.FirstMeasure == k; });
    if (meterStarts) SetTimeSign(r, k);
  }
}

// --- notes and rests ---------------------------------------------------------------------------

int CodeTicks(const CScore& score, int code) { return std::max(1, DurationTicks(score, code)); }

// A key written as a letter: the diatonic index of its natural (in staff
// steps, 0 on the F five semitones above key 0, growing upwards) and the
// alteration the head needs. Black keys are flats in flat keys, sharps
// otherwise.

Spelling Spell(int key, int32_t keyCode) {
  static const int kStepOfSemitone[12] = {0, -1, 1, -1, 2, -1, 3, 4, -1, 5, -1, 6};  // semitones above F
  const int pc = key % 12;
  int natural = key;
  if (pc == 1 || pc == 3 || pc == 6 || pc == 8 || pc == 10) natural = keyCode > 272 ? key + 1 : key - 1;
  const int64_t above = natural - 5;
  const int64_t octave = FloorDiv(above, 12);
  const int semis = int(above - octave * 12);
  return {7 * octave + kStepOfSemitone[semis], key - natural, (natural % 12 + 12) % 12};
}

// The alteration a key signature gives a natural's pitch class.
int KeySignatureAlteration(int32_t keyCode, int naturalClass) {
  static const int kSharpOrder[7] = {5, 0, 7, 2, 9, 4, 11};
  static const int kFlatOrder[7] = {11, 4, 9, 2, 7, 0, 5};
  const bool sharps = keyCode >= 257 && keyCode <= 263;
  const bool flats = keyCode >= 273 && keyCode <= 279;
  if (!sharps && !flats) return 0;
  const int* order = sharps ? kSharpOrder : kFlatOrder;
  for (int i = 0; i < (keyCode & 7); ++i)
    if (order[i] == naturalClass) return sharps ? 1 : -1;
  return 0;
}

// An accidental before a head whose alteration differs from what the key
// signature and the accidentals before it in the measure (on that stave
// and staff step) give. It is a mark on the note, not a sign: signs widen
// the measure's opening space.
void AddAccidental(CRecorder& r, CNote* note, int64_t measure, int side, const Spelling& spelled) {
  const int64_t key = ((measure * 2 + side) << 8) | ((spelled.Diatonic + 32) & 0xFF);
  const int inKey = KeySignatureAlteration(KeyOfMeasure(r, measure), spelled.NaturalClass);
  auto [it, fresh] = r.Alterations.try_emplace(key, static_cast<int8_t>(inKey));
  if (it->second == spelled.Alteration) return;
  it->second = static_cast<int8_t>(spelled.Alteration);
  auto mark = std::make_unique<CMark>();
  mark->Value = spelled.Alteration > 0 ? 2 : spelled.Alteration < 0 ? 1 : 3;
  mark->Layer = r.Score->Layer;
  mark->PlaceAt(note->Left - 6, note->Y);
  mark->Note = note->Number;
  mark->NoteLink = note;
  Attach(*r.Score, note->OwnerStave, note->OwnerMeasure, std::move(mark));
}

CStave* StaveOfVoice(const CRecorder& r, size_t system, int voice) { return r.SystemStaves[system][voice % 2]; }

// x of a tick in its measure; later material of a voice never lands left of
// (or on) what the voice already holds in the same system.
int PlaceX(CRecorder& r, int voice, int64_t measure, int64_t tick) {
  const CMeasure* m = r.Measures[size_t(measure)];
  const int64_t start = MeasureStart(r, measure);
  double x = double(m->Left) + m->LeftPadding + double(tick - start) * m->UnitsPerTick;
  int left = int(std::clamp(x, double(INT_MIN / 2), double(INT_MAX / 2)));
  CRecorder::Placed& last = r.LastPlaced[size_t(voice)];
  const size_t system = SystemOfMeasure(r, measure);
  if (last.Tick >= 0 && last.System == system && tick > last.Tick && left <= last.Left) left = last.Left + 1;
  if (tick >= last.Tick || last.System != system) last = {tick, left, system};
  return left;
}

void SetCode(const CScore& score, CNote& n, int code) {
  n.Value = code;
  n.Head = static_cast<int8_t>(code);
  n.Ticks = CodeTicks(score, code);
  n.Tail = static_cast<int8_t>(code > 3 ? code - 3 : 0);
  n.Stem = static_cast<int8_t>(StemFor(code, n.dy));
}

// A note of the voice at the tick; a tied continuation restates no accidental.
CNote* MakeNote(CRecorder& r, int voice, int64_t tick, int key, int channel, int code, bool continuation) {
  CScore& score = *r.Score;
  const int64_t measure = MeasureIndexAt(r, tick);
  const size_t system = SystemOfMeasure(r, measure);
  CStave* stave = StaveOfVoice(r, system, voice);
  auto note = std::make_unique<CNote>();
  note->Layer = score.Layer;
  note->Voice = static_cast<int8_t>(voice);
  note->Channel = static_cast<int8_t>(channel);
  note->Key = static_cast<uint8_t>(key);
  note->Velocity = 100;
  note->Start = static_cast<int32_t>(tick);
  // The key is what was played; the head's position and accidental only show it.
  note->Style = score.InsertStyle & ~(NTS_UPDATE_KEY | NTS_DOTTED | NTS_DOUBLE_DOTTED);
  const Spelling spelled = Spell(key, KeyOfMeasure(r, measure));
  const int step = int((voice % 2 ? kBassBase : kTrebleBase) - spelled.Diatonic);
  note->Value = code;  // the head's box depends on the value: set it before placing
  note->PlaceAt(PlaceX(r, voice, measure, tick), stave->Top + 4 * step);
  note->dy = note->Y - stave->Top;
  SetCode(score, *note, code);
  CNote* n = Attach(score, stave, r.Measures[size_t(measure)], std::move(note));
  if (!continuation) AddAccidental(r, n, measure, voice % 2, spelled);
  return n;
}

CRest* MakeRest(CRecorder& r, int voice, int64_t tick, int code) {
  CScore& score = *r.Score;
  const int64_t measure = MeasureIndexAt(r, tick);
  const size_t system = SystemOfMeasure(r, measure);
  CStave* stave = StaveOfVoice(r, system, voice);
  CMeasure* m = r.Measures[size_t(measure)];
  auto rest = std::make_unique<CRest>();
  rest->Layer = score.Layer;
  rest->Voice = static_cast<int8_t>(voice);
  rest->Channel = stave->Channel;
  rest->Value = code;
  rest->Head = static_cast<int8_t>(code);
  rest->Ticks = CodeTicks(score, code);
  rest->Start = static_cast<int32_t>(tick);
  rest->Style = NTS_UPDATE_TICKS | NTS_UPDATE_PLAYTICKS;
  // A whole rest stretches to fill its measure; in a measure of another
  // length it keeps the whole note's ticks instead.
  if (code == 1 && m->Ticks != rest->Ticks) rest->Style &= ~NTS_UPDATE_TICKS;
  rest->PlaceAt(PlaceX(r, voice, measure, tick), stave->Top + 2 * score.LineSpace);
  rest->dy = rest->Y - stave->Top;
  return Attach(score, stave, m, std::move(rest));
}

// Rests of the longest values that fit, from the slot's end up to `to`.
void WriteRests(CRecorder& r, int voice, int64_t to) {
  RecorderSlot& slot = r.Slots[size_t(voice)];
  while (slot.End < to) {
    const int code = NoteValueCode(r.Score->TimeBase, to - slot.End, r.Grid, false);
    MakeRest(r, voice, slot.End, code);
    slot.End += CodeTicks(*r.Score, code);
  }
}

bool ValidKey(int key) { return key >= 0 && key < 128; }

}  // namespace recorder_detail

using namespace recorder_detail;

// --- the recorder -------------------------------------------------------------------------------

CRecorder::CRecorder(CScore& score) : Score(&score) {
  SplitVoicesByChannel(*this);
  ResetRecorder(*this);
}

int RecorderGrid(int setting, int division) {
  int grid = division;
  if (setting == 4) grid = division / 4;
  else if (setting == 5) grid = division / 8;
  else if (setting == 6) grid = division / 16;
  return std::max(grid, 1);
}

void ResetRecorder(CRecorder& r) {
  r.Systems.clear();
  r.SystemStaves.clear();
  r.Measures.clear();
  r.Slots.fill(RecorderSlot{});
  for (auto& keys : r.Sounding) keys.fill(RecorderKey{});
  r.LastPlaced.fill(CRecorder::Placed{});
  r.Grid = RecorderGrid(r.QuantiseSetting, r.Score->TimeBase);
  r.MeasuresPerLine = std::clamp(r.MeasuresPerLine, 1, 32);
  r.LineFirst.clear();
  r.VoiceSlots = std::clamp(r.VoiceSlots, 1, kRecorderVoices);
  r.LeftOut = 0;
  r.KeyCode = 0;
  r.Keys.clear();
  r.Alterations.clear();
  RecorderMeter meter;
  const CScore& score = *r.Score;
  if (score.Numerator >= 1 && PowerOfTwo(score.Denominator) && score.Denominator <= 64) {
    meter.Numerator = score.Numerator;
    meter.Denominator = score.Denominator;
  }
  meter.Ticks = std::max<int64_t>(1, MeasureTicks(std::max(score.TimeBase, 1), meter.Numerator, meter.Denominator));
  r.Meters.assign(1, meter);
}

void SplitVoicesByChannel(CRecorder& r) {
  for (size_t c = 0; c < r.SplitKeys.size(); ++c) r.SplitKeys[c] = c % 2 ? 127 : 0;
}

void SplitVoicesAtKey(CRecorder& r, int key) {
  key = std::clamp(key, 0, 127);
  r.LastSplitKey = key;
  r.SplitKeys.fill(key);
}

void ApplyImportSettings(CRecorder& r, const MidiImportSettings& s) {
  r.QuantiseSetting = s.Quantise;
  r.AutoGrid = s.AutoGrid;
  r.AutoStaves = s.AutoStaves;
  r.AutoLines = s.AutoLines;
  r.MeasuresPerLine = std::clamp(s.MeasuresPerLine, 1, 32);
  r.VoiceSlots = std::clamp(s.Voices, 1, kRecorderVoices);
  if (s.ByChannel) SplitVoicesByChannel(r);
  else SplitVoicesAtKey(r, s.SplitKey);
}

int64_t QuantiseTick(const CRecorder& r, int64_t tick) {
  const int64_t g = std::max(r.Grid, 1);
  tick = std::max<int64_t>(tick, 0);
  return g * FloorDiv(2 * tick + g, 2 * g);
}

int NoteValueCode(int timeBase, int64_t length, int grid, bool note) {
  auto ticks = [&](int code) { return int64_t(timeBase) * 8 >> code; };  // 2^(3 - code) quarters
  for (int code = 1; code <= kShortestCode; ++code) {
    if (ticks(code) > length) continue;
    if (note && code > 1 && ticks(code - 1) - length < grid) return code - 1;
    return code;
  }
  // Shorter than a thirty-second; a note close enough to one still rounds up to it.
  return kShortestCode;
}

int EnsureLines(CRecorder& r, int64_t tick) {
  tick = std::max<int64_t>(tick, 0);
  if (tick > INT32_MAX) return 0;
  const int64_t measure = MeasureIndexAt(r, tick);
  if (measure >= kRecorderMaxMeasures) return 0;
  const size_t system = SystemOfMeasure(r, measure);
  while (r.Systems.size() <= system) AddSystem(r);
  return 1;
}

CNote* RecordNoteOn(CRecorder& r, int64_t tick, int status, int key) {
  if (!ValidKey(key)) return nullptr;
  const int channel = status & 0x0F;
  const int64_t d = QuantiseTick(r, tick);
  if (const RecorderKey& same = r.Sounding[size_t(channel)][size_t(key)]; same.Note) {
    // A doubled strike (two tracks on one channel playing the same key at
    // once) is one note; a later strike ends the note before it.
    if (same.Start == d) return same.Note;
    RecordNoteOff(r, tick, key, channel);
  }
  if (!EnsureLines(r, d)) {
    ++r.LeftOut;
    return nullptr;
  }
  int i = key < r.SplitKeys[size_t(channel)] ? 1 : 0;
  if (i >= r.VoiceSlots) i = 0;
  while (r.Slots[size_t(i)].Note && i + 2 < r.VoiceSlots) i += 2;

  if (const RecorderSlot& held = r.Slots[size_t(i)]; held.Note && d - held.Start > r.Grid) {
    // Ends the slot's note and any other note still sounding in it.
    for (size_t c = 0; c < r.Sounding.size(); ++c)
      for (size_t k = 0; k < 128; ++k)
        if (r.Sounding[c][k].Note && r.Sounding[c][k].Slot == i) RecordNoteOff(r, d, int(k), int(c));
  }

  RecorderSlot& slot = r.Slots[size_t(i)];
  if (const int64_t h = NextBarAfter(r, slot.End); h <= d) WriteRests(r, i, h);
  slot.End = std::max(slot.End, BarAtOrBefore(r, d));
  WriteRests(r, i, d);

  CNote* n = MakeNote(r, i, d, key, channel, 3);
  r.Sounding[size_t(channel)][size_t(key)] = {n, i, d};
  slot.Note = n;
  slot.Start = d;
  return n;
}

int RecordNoteOff(CRecorder& r, int64_t tick, int key, int channel) {
  if (!ValidKey(key) || channel < 0 || channel > 15) return 0;
  const RecorderKey sounding = r.Sounding[size_t(channel)][size_t(key)];
  CNote* p = sounding.Note;
  if (!p) return 0;
  const int voice = sounding.Slot;
  RecorderSlot& slot = r.Slots[size_t(voice)];
  if (slot.Note == p) slot.Note = nullptr;
  r.Sounding[size_t(channel)][size_t(key)] = RecorderKey{};

  int64_t c = QuantiseTick(r, tick);
  // A release past the measure bound ends the note at the bound. The note's
  // last tick is c - 1: a note ending on a bar line makes no new system.
  if (!EnsureLines(r, std::max(c - 1, sounding.Start))) {
    c = TickLimit(r);
    EnsureLines(r, c - 1);
  }
  const CScore& score = *r.Score;
  int64_t d = sounding.Start;
  bool first = true;
  std::vector<CNote*> pieces;
  while (d < c) {
    const int64_t end = std::min(c, NextBarAfter(r, d));
    const int code = NoteValueCode(score.TimeBase, end - d, r.Grid, true);
    if (first) {
      SetCode(score, *p, code);
      first = false;
    } else {
      pieces.push_back(MakeNote(r, voice, d, p->Key, p->Channel, code, true));
    }
    d += CodeTicks(score, code);
  }
  slot.End = std::max(slot.End, d);
  if (first) {
    // Released within its own grid step: a sixteenth, and the voice goes on after it.
    SetCode(score, *p, 5);
    slot.End = std::max<int64_t>(slot.End, sounding.Start + p->Ticks);
  }
  if (!pieces.empty()) {
    p->Tie = p->Number;
    for (CNote* n : pieces) n->Tie = p->Number;
  }
  return 1;
}

void RecordTimeSignature(CRecorder& r, int64_t tick, int numerator, int denominator) {
  if (numerator < 1 || numerator > 127 || !PowerOfTwo(denominator) || denominator > 64) return;
  int64_t bar = BarAtOrBefore(r, std::max<int64_t>(tick, 0));
  if (bar < tick) bar = NextBarAfter(r, tick);
  const int64_t index = MeasureIndexAt(r, bar);
  if (index >= kRecorderMaxMeasures || bar > INT32_MAX) return;
  const RecorderMeter& current = MeterAtTick(r, bar);
  if (index > 0 && current.Numerator == numerator && current.Denominator == denominator) return;
  RecorderMeter meter;
  meter.Start = bar;
  meter.FirstMeasure = index;
  meter.Numerator = numerator;
  meter.Denominator = denominator;
  meter.Ticks = std::max<int64_t>(1, MeasureTicks(std::max(r.Score->TimeBase, 1), numerator, denominator));
  while (!r.Meters.empty() && r.Meters.back().Start >= bar) r.Meters.pop_back();
  r.Meters.push_back(meter);
  RefreshMeasures(r, index);
  SetTimeSign(r, index);
}

void RecordKeySignature(CRecorder& r, int64_t tick, int sharps) {
  if (sharps < -7 || sharps > 7) return;
  const int32_t code = sharps > 0 ? 256 + sharps : sharps < 0 ? 272 - sharps : 0;
  int64_t bar = BarAtOrBefore(r, std::max<int64_t>(tick, 0));
  if (bar < tick) bar = NextBarAfter(r, tick);
  const int64_t index = MeasureIndexAt(r, bar);
  if (index >= kRecorderMaxMeasures) return;
  r.KeyCode = code;
  while (!r.Keys.empty() && r.Keys.back().first >= index) r.Keys.pop_back();
  r.Keys.emplace_back(index, code);
  // The measure itself, and the start of every system already made after it.
  SetKeySign(r, index, code);
  for (size_t s = SystemOfMeasure(r, index) + 1; s < r.Systems.size(); ++s)
    SetKeySign(r, FirstMeasureOfSystem(r, s), code);
}

void SeparateRecordedVoices(CRecorder& r) {
  CScore& score = *r.Score;
  const int space = std::max<int32_t>(score.LineSpace, 1);
  std::map<const CMeasure*, std::vector<CNote*>> byMeasure;  // notes and rests
  for (const auto& staves : r.SystemStaves)
    for (CStave* stave : staves) {
      if (!stave) continue;
      byMeasure.clear();
      for (CStaveObject* o : stave->Attached)
        if ((o->GetKind() == CNote::kKind || o->GetKind() == CRest::kKind) && o->OwnerMeasure)
          byMeasure[o->OwnerMeasure].push_back(static_cast<CNote*>(o));
      for (auto& [measure, items] : byMeasure) {
        std::set<int> seen;
        for (const CNote* n : items) seen.insert(n->Voice);
        if (seen.size() < 2) continue;
        const int upper = *seen.begin();
        for (CNote* n : items) {
          const bool up = n->Voice == upper;
          if (n->GetKind() == CRest::kKind) {
            // Rests step aside: the upper voice's a line up, the others' a line down.
            const int dy = up ? -space : space;
            n->PlaceAt(n->Left, n->Y + dy);
            n->dy = n->Y - stave->Top;
          } else if (n->Stem != 0) {
            n->Stem = static_cast<int8_t>(up ? -std::abs(n->Stem) : std::abs(n->Stem));
          }
        }
      }
    }
}

int BeamRecordedNotes(CRecorder& r) {
  CScore& score = *r.Score;
  const int64_t timeBase = std::max<int32_t>(score.TimeBase, 1);
  int beams = 0;
  std::vector<CStaveObject*> line;  // one voice's notes and rests by start
  std::vector<CNote*> group;
  for (const auto& staves : r.SystemStaves)
    for (CStave* stave : staves) {
      if (!stave) continue;
      for (int voice = 0; voice < r.VoiceSlots; ++voice) {
        line.clear();
        for (CStaveObject* o : stave->Attached)
          if ((o->GetKind() == CNote::kKind || o->GetKind() == CRest::kKind) && o->OwnerMeasure &&
              static_cast<CNote*>(o)->Voice == voice)
            line.push_back(o);
        if (line.size() < 2) continue;
        std::stable_sort(line.begin(), line.end(), [](const CStaveObject* a, const CStaveObject* b) {
          return static_cast<const CNote*>(a)->Start < static_cast<const CNote*>(b)->Start;
        });
        auto flush = [&] {
          if (group.size() >= 2) beams += BeamNotes(score, group);
          group.clear();
        };
        int64_t beatOfGroup = -1;
        const CMeasure* measureOfGroup = nullptr;
        for (CStaveObject* o : line) {
          auto* n = o->GetKind() == CNote::kKind ? static_cast<CNote*>(o) : nullptr;
          // Rests and quarters or longer end a group.
          if (!n || (n->Value & 0xFF) < 4) {
            flush();
            continue;
          }
          const CMeasure* m = n->OwnerMeasure;
          // A beat is a quarter under x/4 (a half under x/2, an eighth
          // under x/8), three eighths in compound time such as 6/8.
          int64_t beat = m->Denominator > 0 ? timeBase * 4 / m->Denominator : timeBase;
          if (m->Denominator >= 8 && m->Numerator % 3 == 0 && m->Numerator > 3) beat *= 3;
          beat = std::max<int64_t>(beat, 1);
          const int64_t b = (int64_t(n->Start) - m->Start) / beat;
          if (m != measureOfGroup || b != beatOfGroup) flush();
          measureOfGroup = m;
          beatOfGroup = b;
          group.push_back(n);
        }
        flush();
      }
    }
  return beams;
}

void PrepareImportScore(CScore& score) {
  score.Clear();
  score.ResetDefaultTables();
  score.SetCurrent(nullptr, nullptr);
}
