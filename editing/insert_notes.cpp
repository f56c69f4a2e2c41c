// Notes, rests, dots, marks and the signs at the start of a measure.
#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "editing/chords.h"
#include "editing/edit_util.h"
#include "editing/insert.h"
#include "model/derived.h"
#include "model/score.h"

using namespace editing;

namespace {

int InsertionVoice(const CScore& score) {
  if (score.Voice >= 0) return score.Voice;
  return score.CurrentStave ? score.CurrentStave->Voice : 0;
}

int DyOf(const CNote& note) { return note.OwnerStave ? note.Y - note.OwnerStave->Top : note.dy; }

// The notes and rests of one voice in a measure of a stave, in stave order.
std::vector<CNote*> VoiceNotes(const CStave& stave, const CMeasure* measure, int voice) {
  std::vector<CNote*> out;
  for (CStaveObject* o : stave.Attached)
    if (auto* n = As<CNote>(o); n && n->OwnerMeasure == measure && n->Voice == voice) out.push_back(n);
  return out;
}

// Capacity check, x position and the shift of the notes at or right of x
// (with their marks), shared by notes and rests. Returns false when a
// duration d does not fit the measure.
bool MakeRoom(CScore& score, int x, int d, int voice, int& position) {
  CStave* stave = score.CurrentStave;
  CMeasure* m = score.CurrentMeasure;
  const std::vector<CNote*> notes = VoiceNotes(*stave, m, voice);
  int64_t used = 0;
  for (CNote* n : notes) {
    const bool counts = (n->Chord < 0 || n->Chord == n->Number) && !(n->Style & NTS_GRACE);
    if (counts) used += n->Ticks;
  }
  if (m->Ticks < used + d) return false;

  const int width = static_cast<int>(std::trunc(d * m->UnitsPerTick));
  const CNote* after = nullptr;
  const CNote* before = nullptr;
  for (CNote* n : notes) {
    if (n->Left >= x) {
      if (!after) after = n;
    } else {
      before = n;
    }
  }
  if (after)
    position = after->Left;
  else if (before)
    position = before->Left + static_cast<int>(std::trunc(before->Ticks * m->UnitsPerTick));
  else
    position = m->Left + m->LeftPadding;

  std::unordered_set<const CXObject*> moved;
  for (CNote* n : notes)
    if (n->Left >= x) {
      Shift(n, width, 0);
      moved.insert(n);
    }
  if (!moved.empty())
    for (const auto& up : score.Objects())
      if (auto* mark = As<CMark>(up.get()); mark && mark->NoteLink && moved.count(mark->NoteLink))
        Shift(mark, width, 0);
  return true;
}

void SetDotStyle(CNote& note, int type) {
  if (type == 16) {
    note.Style = (note.Style | NTS_DOTTED) & ~NTS_DOUBLE_DOTTED;
  } else if (type == 17) {
    note.Style = (note.Style | NTS_DOUBLE_DOTTED) & ~NTS_DOTTED;
  }
}

}  // namespace

int DurationTicks(const CScore& score, int code) {
  if (code < 0 || code > 9) return 0;
  return static_cast<int>(std::trunc(std::ldexp(double(score.TimeBase), 3 - code)));
}

CNote* InsertNote(CScore& score, int x, int y, int code) {
  if (!score.CurrentStave || !score.CurrentMeasure || code < 0 || code > 9) return nullptr;
  const int voice = InsertionVoice(score);
  int d = DurationTicks(score, code);
  if (score.InsertStyle & NTS_DOTTED)
    d = static_cast<int>(d * 1.5);
  else if (score.InsertStyle & NTS_DOUBLE_DOTTED)
    d = static_cast<int>(d * 1.75);
  int position = 0;
  if (!MakeRoom(score, x, d, voice, position)) return nullptr;

  CStave* stave = score.CurrentStave;
  auto note = std::make_unique<CNote>();
  note->Layer = score.Layer;
  note->Voice = static_cast<int8_t>(voice);
  note->Value = code;
  note->Head = static_cast<int8_t>(code);
  note->Ticks = d;
  note->Channel = stave->Channel;
  note->Velocity = 100;
  note->Tail = static_cast<int8_t>(code > 3 ? code - 3 : 0);
  note->Style = code == 9 ? 0 : score.InsertStyle;
  note->PlaceAt(position, y);
  note->dy = note->Y - stave->Top;
  note->Stem = static_cast<int8_t>(StemFor(code, note->dy));
  return Attach(score, stave, score.CurrentMeasure, std::move(note));
}

CRest* InsertRest(CScore& score, int x, int y, int code) {
  if (!score.CurrentStave || !score.CurrentMeasure || code < 0 || code > 8) return nullptr;
  const int voice = InsertionVoice(score);
  CMeasure* m = score.CurrentMeasure;
  // The whole-measure rest lasts its measure, whatever the time signature.
  int d = (code == 1 && m->Ticks > 0) ? m->Ticks : DurationTicks(score, code);
  int position = 0;
  if (!MakeRoom(score, x, d, voice, position)) return nullptr;

  CStave* stave = score.CurrentStave;
  auto rest = std::make_unique<CRest>();
  rest->Layer = score.Layer;
  rest->Voice = static_cast<int8_t>(voice);
  rest->Value = code;
  rest->Head = static_cast<int8_t>(code);
  rest->Ticks = d;
  rest->Channel = stave->Channel;
  // A rest keeps the length it was given: no update flags.
  rest->Style = 0;
  rest->PlaceAt(position, y);
  rest->dy = rest->Y - stave->Top;
  return Attach(score, stave, m, std::move(rest));
}

CNote* AddChordNote(CScore& score, CNote* note, int x, int y) {
  if (!note || !note->OwnerStave) return nullptr;
  CStave* stave = note->OwnerStave;
  const int code = note->Value & 0xFF;
  auto added = std::make_unique<CNote>();
  added->Layer = note->Layer;
  added->Voice = note->Voice;
  added->Start = note->Start;
  added->Ticks = note->Ticks;
  added->Value = note->Value;
  added->Channel = note->Channel;
  added->Tail = note->Tail;
  added->Style = code == 9 ? 0 : note->Style;
  added->Head = static_cast<int8_t>(code);
  added->Velocity = 100;
  added->PlaceAt(x, y);
  added->MoveTo(note->Left, added->Top);
  added->dy = added->Y - stave->Top;
  added->Stem = static_cast<int8_t>(StemFor(code, added->dy));
  CNote* n = Attach(score, stave, note->OwnerMeasure, std::move(added));

  std::vector<CNote*> chord;
  if (note->Chord >= 0) {
    for (CStaveObject* o : stave->Attached)
      if (o->KindCode() == Kind::Note && o != n && static_cast<CNote*>(o)->Chord == note->Chord)
        chord.push_back(static_cast<CNote*>(o));
    if (std::find(chord.begin(), chord.end(), note) == chord.end()) chord.push_back(note);
  } else {
    chord.push_back(note);
  }
  chord.push_back(n);
  LayoutChord(score, chord);
  return n;
}

int InsertNoteOrChord(CScore& score, int x, int y, int code) {
  if (!score.CurrentStave || !score.CurrentMeasure) return 0;
  const int voice = InsertionVoice(score);
  CNote* near = nullptr;
  for (CStaveObject* o : score.CurrentStave->Attached)
    if (o->KindCode() == Kind::Note) {
      auto* n = static_cast<CNote*>(o);
      if (n->Voice == voice && x >= n->Left - 8 && x <= n->Right + 8) near = n;
    }
  CNote* made = near ? AddChordNote(score, near, x, y) : InsertNote(score, x, y, code);
  if (!made) return 0;
  if (made->Style & NTS_DOTTED)
    InsertDot(score, made, 16);
  else if (made->Style & NTS_DOUBLE_DOTTED)
    InsertDot(score, made, 17);
  return 1;
}

CMark* InsertDot(CScore& score, CNote* note, int type) {
  if (!note || (type != 16 && type != 17)) return nullptr;
  auto mark = std::make_unique<CMark>();
  mark->Value = type;
  mark->Layer = score.Layer;
  int y = note->Y;
  if (DyOf(*note) % 8 == 0) y -= 4;  // a head on a line: the dot sits in the space above
  mark->PlaceAt(note->Right + 4, y);
  mark->Note = note->Number;
  mark->NoteLink = note;
  SetDotStyle(*note, type);
  return Attach(score, note->OwnerStave, note->OwnerMeasure, std::move(mark));
}

CMark* InsertMark(CScore& score, int x, int y, int type) {
  if (!score.CurrentStave || !score.CurrentMeasure) return nullptr;
  CNote* target = nullptr;
  for (const auto& up : score.Objects())
    if (auto* n = As<CNote>(up.get()); n && n->GetBounds().Contains(x, y)) {
      target = n;
      break;
    }
  int mx = x, my = y;
  if ((type == 16 || type == 17) && target) {
    mx = target->Right + 12;
    my = target->Y;
    if (DyOf(*target) % 8 == 0) my -= 4;
  }
  auto mark = std::make_unique<CMark>();
  mark->Value = type;
  mark->Layer = score.Layer;
  mark->PlaceAt(mx, my);
  if (target) {
    mark->Note = target->Number;
    mark->NoteLink = target;
    SetDotStyle(*target, type);
  }
  return Attach(score, score.CurrentStave, score.CurrentMeasure, std::move(mark));
}

// --- signs --------------------------------------------------------------------------

namespace {

CSign* InsertSign(CScore& score, CStave* stave, CMeasure* measure, int style, int value) {
  if (!stave || !measure) return nullptr;
  auto sign = std::make_unique<CSign>();
  sign->Style = style;
  sign->Value = value;
  sign->PlaceAt(0, stave->Top);
  const int w = sign->Right - sign->Left;

  std::vector<CSign*> signs;
  int64_t used = 0;
  for (CStaveObject* o : stave->Attached)
    if (o->KindCode() == Kind::Sign && o->OwnerMeasure == measure) {
      signs.push_back(static_cast<CSign*>(o));
      used += int64_t(o->Right) - o->Left;
    }
  const int64_t room = int64_t(measure->Right) - measure->Left - measure->LeftMargin - measure->RightMargin;
  if (room < used + w) return nullptr;

  int x = measure->Left + measure->LeftMargin;
  if (!signs.empty()) {
    int lastRight = signs.front()->Right;
    for (CSign* s : signs) lastRight = std::max(lastRight, s->Right);
    auto firstOf = [&](int category) -> CSign* {
      for (CSign* s : signs)
        if (s->Style == category) return s;
      return nullptr;
    };
    x = lastRight;
    if (style == SIGN_CLEF) {
      for (CSign* s : signs)
        if (s->Style == SIGN_KEY || s->Style == SIGN_TIME) {
          x = s->Left;
          break;
        }
    } else if (style == SIGN_KEY) {
      if (CSign* key = firstOf(SIGN_KEY))
        x = key->Left;
      else if (CSign* time = firstOf(SIGN_TIME))
        x = time->Left;
    }
  }
  for (CSign* s : signs)
    if (s->Style != SIGN_CLEF && s->Left >= x) Shift(s, w, 0);
  sign->PlaceAt(x, stave->Top);
  CSign* made = Attach(score, stave, measure, std::move(sign));

  int lastRight = made->Right;
  for (CSign* s : signs) lastRight = std::max(lastRight, s->Right);
  const int reach = std::clamp(lastRight - measure->Left, 0, 255);
  measure->LeftPadding = static_cast<uint8_t>(std::max<int>(measure->LeftPadding, reach));
  ComputeUnitsPerTick(*measure);
  return made;
}

}  // namespace

CSign* InsertClef(CScore& score, CStave* stave, CMeasure* measure, int clef) {
  return InsertSign(score, stave, measure, SIGN_CLEF, clef);
}

CSign* InsertKeySignature(CScore& score, CStave* stave, CMeasure* measure, int code) {
  return InsertSign(score, stave, measure, SIGN_KEY, code + 1);
}

CSign* InsertTimeSignature(CScore& score, CStave* stave, CMeasure* measure, int numerator, int denominator) {
  // The measure keeps each in a signed byte; nothing lasts zero beats.
  if (numerator < 1 || numerator > 127 || denominator < 1 || denominator > 127) return nullptr;
  return InsertSign(score, stave, measure, SIGN_TIME, numerator | denominator << 8);
}
