#include "performance/measure_order.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string_view>

#include "common/text_util.h"
#include "model/score.h"
#include "performance/midi_sequence.h"

namespace {

// Nested passes deeper than this replay their sections flat. Real scores
// nest a handful of levels; the limit only keeps hostile flag patterns off
// the stack.
constexpr int kMaxPassDepth = 256;

int32_t ClampTick(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// The measure holding x: the first with Left <= x < Right, else the last.
CMeasure* MeasureAt(const std::vector<CMeasure*>& measures, int64_t x) {
  for (CMeasure* m : measures)
    if (m->Left <= x && x < m->Right) return m;
  return measures.back();
}

void Order(std::span<CMeasure* const> list, std::vector<CMeasure*>& order, int depth);

// A repeat end closes p.back(): its section plays again.
void RepeatPass(std::span<CMeasure* const> p, std::vector<CMeasure*>& order, int depth) {
  if (p.empty()) return;
  if (p.size() == 1) {
    order.push_back(p[0]);
    return;
  }
  const size_t k = p.size() - 1;
  // Section start: after the repeat start that matches, counting the nested
  // repeats met on the way back.
  size_t start = 0;
  int nesting = 0;
  for (size_t j = k; j-- > 0;) {
    const int32_t style = p[j]->Style;
    if (nesting == 0 && (style & MEASURE_REPEAT_START)) {
      start = j + 1;
      break;
    }
    if (style & MEASURE_REPEAT_START) --nesting;
    if (style & MEASURE_REPEAT_END) ++nesting;
  }
  // Section end: the first ending, which begins inside the section and ends
  // with the repeat, is left out of the replay. An ending that closes before
  // the repeat's own measure, or lies before the section, is not this
  // repeat's first ending.
  size_t end = k + 1;  // one past the last measure replayed
  for (size_t j = k + 1; j-- > start;) {
    const int32_t style = p[j]->Style;
    if (style & MEASURE_ENDING_BEGIN) {
      end = j;
      break;
    }
    if (j < k && (style & MEASURE_ENDING_END)) break;
  }
  // The replay is a plain second pass: its last measure neither repeats nor
  // jumps again. A D.C. or D.S. on the same measure acts once, after it.
  const int32_t saved = p[k]->Style & (MEASURE_REPEAT_END | MEASURE_DC | MEASURE_DS);
  p[k]->Style &= ~saved;
  if (start < end) Order(p.subspan(start, end - start), order, depth + 1);
  p[k]->Style |= saved;
}

// D.S. (segno true) or D.C. on p.back(): replays from after the segno (or
// the beginning) up to the last "Fine" before it.
void JumpPass(std::span<CMeasure* const> p, std::vector<CMeasure*>& order, int depth, bool segno) {
  if (p.empty()) return;
  if (p.size() == 1) {
    order.push_back(p[0]);
    return;
  }
  const size_t k = p.size() - 1;
  size_t start = 0;
  if (segno)
    for (size_t j = k; j-- > 0;)
      if (p[j]->Style & MEASURE_SEGNO) {
        start = j + 1;
        break;
      }
  size_t end = 0;  // one past the Fine measure; 0: no Fine, nothing replayed
  for (size_t j = k; j-- > 0;)
    if (p[j]->Style & MEASURE_FINE) {
      end = j + 1;
      break;
    }
  const int32_t jumpBit = segno ? MEASURE_DS : MEASURE_DC;
  const int32_t saved = p[k]->Style & (MEASURE_REPEAT_END | jumpBit);
  p[k]->Style &= ~(MEASURE_REPEAT_END | jumpBit);
  if (start < end) Order(p.subspan(start, end - start), order, depth + 1);
  p[k]->Style |= saved;
}

void Order(std::span<CMeasure* const> list, std::vector<CMeasure*>& order, int depth) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (order.size() >= kMaxMeasureOrder) return;
    CMeasure* m = list[i];
    order.push_back(m);
    if (depth >= kMaxPassDepth) continue;
    const auto prefix = list.first(i + 1);
    if (m->Style & MEASURE_REPEAT_END) RepeatPass(prefix, order, depth);
    if (m->Style & MEASURE_DS) JumpPass(prefix, order, depth, true);
    else if (m->Style & MEASURE_DC) JumpPass(prefix, order, depth, false);
  }
}

// Parses "%d,%d" the way the tempo view writes it: optional blanks and sign
// before each number, nothing between the first number and the comma.
bool ParseTickAndTempo(std::string_view s, int32_t& tick, int32_t& tempo) {
  size_t i = 0;
  auto number = [&](int32_t& out) {
    while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    const size_t digits = i;
    int64_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
      v = v * 10 + (s[i] - '0');
      if (v > int64_t(INT32_MAX) + 1) return false;
    }
    if (i == digits) return false;
    v = negative ? -v : v;
    if (v > INT32_MAX) return false;
    out = static_cast<int32_t>(v);
    return true;
  };
  if (!number(tick)) return false;
  if (i >= s.size() || s[i] != ',') return false;
  ++i;
  return number(tempo);
}

}  // namespace

std::vector<CMeasure*> ScoreMeasures(const CScore& score) {
  std::vector<CMeasure*> measures;
  for (const CStaff* staff : score.Staffs) measures.insert(measures.end(), staff->Measures.begin(), staff->Measures.end());
  return measures;
}

void ResolveRepeatWords(CScore& score) {
  const std::vector<CMeasure*> all = ScoreMeasures(score);
  for (const auto& object : score.Objects()) {
    // The Value of a visual-MIDI object is its MIDI instruction, not a role.
    if (!object->IsKind(Kind::Text) || object->KindCode() == Kind::VisualMidi) continue;
    auto* text = static_cast<CXText*>(object.get());
    const std::string_view t = text->text;
    if (StartsWith(t, "D.S.")) text->Value = TEXT_ROLE_DS;
    else if (StartsWith(t, "D.C.")) text->Value = TEXT_ROLE_DC;
    else if (t == "Fine") text->Value = TEXT_ROLE_FINE;
    else if (t == "%") text->Value = TEXT_ROLE_SEGNO;
    int32_t flag = 0;
    switch (text->Value) {
      case TEXT_ROLE_DC: flag = MEASURE_DC; break;
      case TEXT_ROLE_DS: flag = MEASURE_DS; break;
      case TEXT_ROLE_FINE: flag = MEASURE_FINE; break;
      case TEXT_ROLE_SEGNO: flag = MEASURE_SEGNO; break;
      default: continue;
    }
    if (!text->OwnerStave) continue;
    // A word marks a measure of its own system; systems stand below one
    // another, so the same x lies in a measure of every system.
    const CStaff* system = text->OwnerStave->OwnerStaff;
    const std::vector<CMeasure*>& measures = system && !system->Measures.empty() ? system->Measures : all;
    if (measures.empty()) continue;
    MeasureAt(measures, int64_t(text->Left) - 8)->Style |= flag;
  }
}

void ComputeMeasureOrder(std::span<CMeasure* const> measures, std::vector<CMeasure*>& order) {
  Order(measures, order, 0);
}

int ParseSequenceDirective(const CScore& score, std::vector<CMeasure*>& order) {
  order.clear();
  constexpr std::string_view kKey = "#sequence:";
  std::string_view list;
  bool found = false;
  for (const auto& object : score.Objects()) {
    if (!object->IsKind(Kind::Text)) continue;
    const std::string_view t = static_cast<const CXText*>(object.get())->text;
    if (t.find(kKey) != std::string_view::npos) {
      // The directive is expected at the start of the text: the list is read
      // from the eleventh character, wherever the key was found.
      list = t.size() > kKey.size() ? t.substr(kKey.size()) : std::string_view();
      found = true;
      break;
    }
  }
  if (!found) return 0;

  std::vector<CMeasure*> playable;
  for (CMeasure* m : ScoreMeasures(score))
    if (m->Ticks != 0) playable.push_back(m);
  const int64_t count = static_cast<int64_t>(playable.size());

  while (true) {
    const size_t comma = list.find(',');
    const std::string_view item = list.substr(0, comma);
    const int64_t a = qx::AtoiLike(item);
    int64_t b = a;
    if (size_t dash = item.find('-'); dash != std::string_view::npos && dash > 0) {
      b = qx::AtoiLike(item.substr(dash + 1));
      if (b < a) b = a;
    }
    // Items are 1-based; numbers outside the playable measures add nothing.
    if (b >= 0)
      for (int64_t index = std::max<int64_t>(a - 1, 0); index <= std::min(b - 1, count - 1); ++index) {
        if (order.size() >= kMaxMeasureOrder) return 1;
        order.push_back(playable[static_cast<size_t>(index)]);
      }
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return 1;
}

void ApplyMeasureOrder(std::span<CMeasure* const> order, CMidiSequence& sequence) {
  std::vector<MidiEventRec>& events = sequence.Events;
  if (!std::is_sorted(events.begin(), events.end(),
                      [](const MidiEventRec& a, const MidiEventRec& b) { return a.Tick < b.Tick; }))
    SortEvents(events);
  std::vector<MidiEventRec>& performed = SpareEventList(events.size());
  int64_t position = 0;
  for (const CMeasure* m : order) {
    const int64_t length = m->Ticks;
    if (length <= 0) continue;
    const int64_t start = m->Start, end = start + length;
    auto it = std::lower_bound(events.begin(), events.end(), start,
                               [](const MidiEventRec& e, int64_t t) { return e.Tick < t; });
    for (; it != events.end() && it->Tick < end; ++it) {
      if (performed.size() >= kMaxPerformanceEvents) break;
      MidiEventRec& copy = performed.emplace_back(*it);
      copy.Tick = ClampTick(it->Tick - start + position);
    }
    position += length;
  }
  events.assign(performed.begin(), performed.end());
}

void MergeContinuationMeasures(const CScore& score, CMidiSequence& sequence) {
  const CMeasure* current = nullptr;
  int64_t shift = 0;
  for (MidiEventRec& e : sequence.Events) {
    // Note markers count like the note events they stand beside, so that a
    // marker sorted just before its note-on moves with it.
    if (e.IsNote() || (e.IsText() && (e.Tag == TAG_NOTE_ON || e.Tag == TAG_NOTE_OFF))) {
      const auto* note = As<CNote>(score.FindByNumber(e.Number));
      if (note && note->OwnerMeasure) {
        if (!current) {
          current = note->OwnerMeasure;  // the first measure played is never moved
        } else if (note->OwnerMeasure != current) {
          current = note->OwnerMeasure;
          if (current->Style & MEASURE_CONTINUATION) shift += current->Ticks;
        }
      }
    }
    if (shift) e.Tick = ClampTick(int64_t(e.Tick) - shift);
  }
}

void ParseTempoDirective(const CScore& score, CMidiSequence& sequence) {
  constexpr std::string_view kKey = "#tempo:";
  for (const auto& object : score.Objects()) {
    if (!object->IsKind(Kind::Text)) continue;
    std::string_view rest = static_cast<const CXText*>(object.get())->text;
    if (!StartsWith(rest, kKey)) continue;
    rest.remove_prefix(kKey.size());
    // Every entry ends with ';'; text after the last one is not an entry.
    for (size_t semi; (semi = rest.find(';')) != std::string_view::npos; rest.remove_prefix(semi + 1)) {
      int32_t tick = 0, tempo = 0;
      if (!ParseTickAndTempo(rest.substr(0, semi), tick, tempo)) continue;
      // The play clock counts tempo / division microseconds per tick, and a
      // tempo event holds three bytes.
      if (tempo < std::max(sequence.Division, 1) || tempo > 0xFFFFFF) continue;
      sequence.AddTempo(tick, tempo);
    }
    return;
  }
}
