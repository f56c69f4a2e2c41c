#include "performance/build_performance.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/text_util.h"
#include "model/score.h"
#include "performance/measure_order.h"
#include "performance/midi_sequence.h"

namespace {

constexpr uint8_t kPedalController = 67;

int32_t ClampTick(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

bool HeadsTieChain(const CNote& n) { return n.Tie < 0 || n.Tie == n.Number; }

// A note that sounds: it heads its tie chain, lasts at least one tick (a
// note-off at its own start would sort before the note-on and hang the key)
// and does not stand in a zero-length measure, which is never played.
bool Sounds(const CNote& n) {
  return HeadsTieChain(n) && n.PlayTicks > 0 && !(n.OwnerMeasure && n.OwnerMeasure->Ticks == 0);
}

std::vector<CNote*> ScoreNotes(const CScore& score) {
  std::vector<CNote*> notes;
  for (const auto& o : score.Objects())
    if (o->KindCode() == Kind::Note) notes.push_back(static_cast<CNote*>(o.get()));
  return notes;
}

// Step 4: a note ending exactly on a bar line ends one tick earlier, so that
// its note-off falls inside its own measure when measures are reordered.
void ShortenNotesAtBarLines(const std::vector<CNote*>& notes) {
  for (CNote* n : notes) {
    const CMeasure* m = n->OwnerMeasure;
    if (!m || m->Ticks == 0 || n->PlayTicks <= 0) continue;
    const int64_t end = int64_t(n->PlayStart) + n->PlayTicks - m->Start;
    if (end % m->Ticks == 0) --n->PlayTicks;
  }
}

// Step 5: a marker pair per sounding note; the note events follow the
// markers through the measure order.
void AddNoteMarkers(const std::vector<CNote*>& notes, CMidiSequence& seq) {
  for (CNote* n : notes) {
    if (!Sounds(*n)) continue;
    MidiEventRec& on = seq.AddText(n->PlayStart, qx::Format("!n%d", n->Number));
    on.Tag = TAG_NOTE_ON;
    on.Number = n->Number;
    on.Source = n;
    MidiEventRec& off = seq.AddText(ClampTick(int64_t(n->PlayStart) + n->PlayTicks), qx::Format("!u%d", n->Number));
    off.Tag = TAG_NOTE_OFF;
    off.Number = n->Number;
    off.Source = n;
  }
}

int KeySignatureSharps(int32_t value) {
  if (value >= 257 && value <= 263) return value - 256;
  if (value >= 273 && value <= 279) return 272 - value;
  return 0;
}

// Step 8: one key signature event where the key changes, taking one sign per
// measure start (the first stave that has one).
void AddKeySignatures(const CScore& score, CMidiSequence& seq) {
  int64_t lastStart = INT64_MIN;
  int32_t lastCode = 0;
  bool taken = false;
  for (const CStaff* staff : score.Staffs)
    for (const CStave* stave : staff->Staves)
      for (const CStaveObject* o : stave->Attached) {
        if (o->KindCode() != Kind::Sign || o->Style != SIGN_KEY || o->Value < 256 || !o->OwnerMeasure) continue;
        const int32_t start = o->OwnerMeasure->Start;
        if (start <= lastStart) continue;
        lastStart = start;
        if (!taken || o->Value != lastCode) seq.AddKeySignature(start, KeySignatureSharps(o->Value), 0);
        lastCode = o->Value;
        taken = true;
      }
}

// Step 9.
void AddTimeSignatures(const std::vector<CMeasure*>& measures, CMidiSequence& seq) {
  bool first = true;
  int lastNumerator = 0, lastDenominator = 0;
  for (const CMeasure* m : measures) {
    if (m->Numerator == 0) continue;
    if (first || m->Numerator != lastNumerator || m->Denominator != lastDenominator)
      seq.AddTimeSignature(m->Start, m->Numerator, m->Denominator, 24, 8);
    first = false;
    lastNumerator = m->Numerator;
    lastDenominator = m->Denominator;
  }
}

// Step 10: each stave's program at the start of its system.
void AddPrograms(const CScore& score, CMidiSequence& seq) {
  for (const CStaff* staff : score.Staffs)
    for (const CStave* stave : staff->Staves)
      if (stave->Patch < 128) seq.AddEvent(staff->Start, uint8_t(0xC0 | (stave->Channel & 0x0F)), stave->Patch, 0);
}

// Step 11: accompaniment instructions and raw MIDI events of visual-MIDI objects.
void AddVisualMidi(const CScore& score, CMidiSequence& seq) {
  for (const auto& o : score.Objects()) {
    if (o->KindCode() != Kind::VisualMidi) continue;
    const auto* v = static_cast<const CVisualMidi*>(o.get());
    const uint32_t value = static_cast<uint32_t>(v->Value);
    const uint8_t b0 = value & 0xFF, b1 = (value >> 8) & 0xFF, b2 = (value >> 16) & 0xFF, b3 = value >> 24;
    if (b0 >= 0xF0) {
      if (b2 == 'r') {
        seq.AddText(v->Start, "!r:" + v->text);
      } else if (b2 == 'c') {
        seq.AddText(v->Start, "!c:" + v->text);
        seq.AddText(v->Start, qx::Format("!h:%d", v->Number));
      }
    } else {
      seq.AddEvent(v->Start, b0, b1, b2).Tag = b3;
    }
  }
}

// Step 15: note events at the markers' performance ticks.
void AddNotesFromMarkers(CMidiSequence& seq) {
  std::vector<MidiEventRec>& events = seq.Events;
  size_t markers = 0;
  for (const MidiEventRec& e : events) markers += e.Source != nullptr;
  events.reserve(events.size() + markers);
  for (size_t i = 0, count = events.size(); i < count; ++i) {
    const MidiEventRec marker = events[i];
    if (!marker.IsText() || (marker.Tag != TAG_NOTE_ON && marker.Tag != TAG_NOTE_OFF) || !marker.Source) continue;
    const CNote& n = *marker.Source;
    if (!HeadsTieChain(n)) continue;
    MidiEventRec& e = events.emplace_back();
    e.Tick = marker.Tick;
    e.Status = uint8_t((marker.Tag == TAG_NOTE_ON ? 0x90 : 0x80) | (n.Channel & 0x0F));
    e.Data1 = n.Key;
    e.Data2 = n.Velocity;
    e.Number = n.Number;
  }
}

// Sustain pedal marks (21 down, 22 up) become controller 67 on channels 1
// and 0 at the written start of the nearest note of their system. They are
// made before the measure order is applied, so that a repeated measure
// repeats its pedal with its notes; sorted, they stand after the other
// events of their tick and before its note-ons, as if put before the first
// note event there.
void AddPedal(const CScore& score, const std::vector<CNote*>& notes, CMidiSequence& seq) {
  std::vector<const CMark*> pedals;
  std::vector<const CStaff*> systems;  // object order
  for (const auto& o : score.Objects()) {
    if (o->KindCode() == Kind::Mark && (o->Value == 21 || o->Value == 22)) pedals.push_back(static_cast<const CMark*>(o.get()));
    else if (o->KindCode() == Kind::Staff) systems.push_back(static_cast<const CStaff*>(o.get()));
  }
  if (pedals.empty()) return;

  // Notes of each system by Left, ties in object order.
  struct Entry {
    const CStaff* system;
    int32_t left;
    size_t order;
    const CNote* note;
  };
  std::vector<Entry> index;
  for (size_t i = 0; i < notes.size(); ++i) {
    const CNote* n = notes[i];
    if (n->OwnerStave && n->OwnerStave->OwnerStaff) index.push_back({n->OwnerStave->OwnerStaff, n->Left, i, n});
  }
  auto less = [](const Entry& a, const Entry& b) {
    if (a.system != b.system) return std::less<const CStaff*>()(a.system, b.system);
    return a.left != b.left ? a.left < b.left : a.order < b.order;
  };
  std::sort(index.begin(), index.end(), less);

  for (const CMark* mark : pedals) {
    const int64_t y = int64_t(mark->Top) - 50;
    const CStaff* system = nullptr;
    for (const CStaff* s : systems)
      if (s->Left <= mark->Left && mark->Left < s->Right && s->Top <= y && y < s->Bottom) {
        system = s;
        break;
      }
    if (!system) continue;
    // The nearest note on either side of the mark; on a tie the one first in
    // object order (the first of each equal-Left run is the earliest).
    auto it = std::lower_bound(index.begin(), index.end(), Entry{system, mark->Left, 0, nullptr}, less);
    const Entry* best = nullptr;
    int64_t bestDistance = 0;
    auto consider = [&](const Entry& e) {
      const int64_t d = std::llabs(int64_t(e.left) - mark->Left);
      if (!best || d < bestDistance || (d == bestDistance && e.order < best->order)) {
        best = &e;
        bestDistance = d;
      }
    };
    if (it != index.end() && it->system == system) consider(*it);
    if (it != index.begin() && (it - 1)->system == system) {
      auto run = it - 1;
      while (run != index.begin() && (run - 1)->system == system && (run - 1)->left == run->left) --run;
      consider(*run);
    }
    if (!best) continue;
    const uint8_t value = mark->Value == 21 ? 127 : 0;
    seq.AddEvent(best->note->Start, 0xB1, kPedalController, value);
    seq.AddEvent(best->note->Start, 0xB0, kPedalController, value);
  }
}

// Step 21: all notes off on the bar line (counted in the first measure's
// beats) at or after the last event.
void AddAllNotesOff(CMidiSequence& seq) {
  int64_t end = seq.Events.empty() ? 0 : seq.Events.back().Tick;
  const int64_t bar = int64_t(seq.Numerator) * seq.Division;
  if (bar > 0) {
    int64_t q = end / bar;
    if (q * bar < end) ++q;
    end = q * bar;
  }
  seq.AddEvent(ClampTick(end), 0xB0, 123, 0);
}

}  // namespace

int BuildPerformance(CScore& score, CMidiSequence& seq) {
  // 1. A fresh sequence from an updated score.
  seq.Clear();
  score.UpdateDerived();
  ResolveRepeatWords(score);
  // 2. Name: the file name of the score's path.
  std::string name = score.FilePath;
  if (size_t cut = name.find_last_of("\\/"); cut != std::string::npos) name.erase(0, cut + 1);
  seq.FileName = name;
  // 3.
  seq.Division = score.TimeBase;
  seq.Tempo = score.Tempo;
  seq.Numerator = score.Numerator;
  seq.Denominator = score.Denominator;
  // 4, 5.
  const std::vector<CNote*> notes = ScoreNotes(score);
  // Two markers and two note events per note, played once.
  seq.Events.reserve(4 * notes.size() + 256);
  ShortenNotesAtBarLines(notes);
  AddNoteMarkers(notes, seq);
  // 6, 7.
  SortEvents(seq.Events);
  ParseTempoDirective(score, seq);
  // 8 - 11.
  const std::vector<CMeasure*> measures = ScoreMeasures(score);
  AddKeySignatures(score, seq);
  AddTimeSignatures(measures, seq);
  AddPrograms(score, seq);
  AddVisualMidi(score, seq);
  AddPedal(score, notes, seq);  // step 16, here so that it follows the measure order
  // 12 - 14. Score ticks become performance ticks.
  SortEvents(seq.Events);
  std::vector<CMeasure*> order;
  if (ParseSequenceDirective(score, order) <= 0) ComputeMeasureOrder(measures, order);
  ApplyMeasureOrder(order, seq);
  SortEvents(seq.Events);
  // 15, 17.
  AddNotesFromMarkers(seq);
  SortEvents(seq.Events);
  MergeContinuationMeasures(score, seq);
  // 18, 19.
  seq.AddTempo(0, score.Tempo);
  seq.AddText(1, "!L" + name);
  for (const auto& o : score.Objects())
    if (o->IsKind(Kind::Text)) {
      const std::string& text = static_cast<const CXText*>(o.get())->text;
      if (!text.empty() && text[0] == '!') seq.AddText(1, text);
    }
  // 20. (The sort is stable, so sorting once more would change nothing.)
  SortEvents(seq.Events);
  // 21.
  AddAllNotesOff(seq);
  return 1;
}

int BuildPartPerformance(const CScore* score, CMidiSequence* seq) {
  if (!score || !seq) return 0;
  seq->Division = score->TimeBase;
  seq->Tempo = score->Tempo;
  seq->Numerator = score->Numerator;
  seq->Denominator = score->Denominator;
  const auto& objects = score->Objects();
  for (size_t i = 0; i < objects.size(); ++i) {
    const CXObject* o = objects[i].get();
    if (o->KindCode() != Kind::Note || !o->Selected) continue;
    const auto* n = static_cast<const CNote*>(o);
    if (!HeadsTieChain(*n) || n->PlayTicks <= 0) continue;
    const uint8_t channel = n->Channel & 0x0F;
    MidiEventRec& on = seq->AddEvent(n->PlayStart, uint8_t(0x90 | channel), n->Key, n->Velocity);
    on.Number = n->Number;
    on.ObjectIndex = static_cast<int32_t>(i);
    MidiEventRec& off = seq->AddEvent(ClampTick(int64_t(n->PlayStart) + n->PlayTicks), uint8_t(0x80 | channel), n->Key, 0);
    off.Number = n->Number;
    off.ObjectIndex = static_cast<int32_t>(i);
  }
  ParseTempoDirective(*score, *seq);
  seq->AddTempo(0, score->Tempo);
  seq->AddTimeSignature(0, score->Numerator, score->Denominator, 24, 8);
  SortEvents(seq->Events);
  return 1;
}
