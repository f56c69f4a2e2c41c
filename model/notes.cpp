#include "model/notes.h"

#include "model/archive.h"
#include "model/page_objects.h"

bool CXWord::CopyFrom(const CXObject* source) {
  if (!CStaveObject::CopyFrom(source)) return false;
  if (auto* w = As<CXWord>(source)) {
    X = w->X;
    Y = w->Y;
  }
  return true;
}

void CXWord::Serialize(Archive& ar) {
  CStaveObject::Serialize(ar);
  ar.Io(X);
  ar.Io(Y);
}

void CXWord::MoveTo(int x, int y) {
  X += x - Left;
  Y += y - Top;
  CStaveObject::MoveTo(x, y);
}

void CSign::PlaceAt(int x, int y) {
  // Box corners relative to the placement point, by category and code.
  int l = 0, t = 0, r = 24, b = 32;  // time signature
  if (Style == SIGN_CLEF) {
    switch (Value) {
      case 0: t = -16; r = 40; b = 44; break;
      case 1: t = 0; r = 40; b = 32; break;
      case 2: t = -16; r = 40; b = 16; break;
      case 3: t = -25; r = 20; b = 10; break;
      case 4: case 5: t = -8; r = 20; b = 10; break;
      default: t = -16; r = 40; b = 44; break;  // unknown codes draw nothing; size them as a treble clef
    }
  } else if (Style == SIGN_KEY) {
    t = -8;
  }
  SetBounds(x + l, y + t, x + r, y + b);
  X = x;
  Y = y;
}

void CMark::PlaceAt(int x, int y) {
  // Roughly the extent of the glyph each type draws around its anchor.
  int l = -8, t = -8, r = 8, b = 8;
  if (Value >= 1 && Value <= 10) {
    l = -4; t = -12; r = 6; b = 10;  // accidentals
  } else if (Value == 16) {
    l = -3; t = -3; r = 3; b = 3;  // dot
  } else if (Value == 17) {
    l = -1; t = -3; r = 10; b = 3;  // double dot
  } else if (Value == 20) {
    l = -10; t = -8; r = 20; b = 8;  // pedal down
  } else if (Value == 21) {
    l = 0; t = -8; r = 12; b = 8;  // pedal up
  } else if (Value == 48 || Value == 49) {
    l = -10; t = -10; r = 10; b = 4;  // fermata
  } else if (Value >= 88 && Value <= 97) {
    l = -8; t = -6; r = 8; b = 6;  // articulations
  }
  SetBounds(x + l, y + t, x + r, y + b);
  X = x;
  Y = y;
}

bool CMark::CopyFrom(const CXObject* source) {
  if (!CXWord::CopyFrom(source)) return false;
  if (auto* m = As<CMark>(source)) Note = m->Note;
  return true;
}

void CMark::Serialize(Archive& ar) {
  CXWord::Serialize(ar);
  ar.Io(Note);
}

bool CBeam::HitTest(int x, int y) const { return NearSegment(x, y, X, Y, X1, Y1); }

bool CBeam::CopyFrom(const CXObject* source) {
  if (!CMark::CopyFrom(source)) return false;
  if (auto* b = As<CBeam>(source)) {
    X1 = b->X1;
    Y1 = b->Y1;
  }
  return true;
}

void CBeam::Serialize(Archive& ar) {
  CMark::Serialize(ar);
  ar.Io(X1);
  ar.Io(Y1);
}

void CBeam::MoveTo(int x, int y) {
  X1 += x - Left;
  Y1 += y - Top;
  CMark::MoveTo(x, y);
}

bool CSlurLine::CopyFrom(const CXObject* source) {
  if (!CMark::CopyFrom(source)) return false;
  if (auto* s = As<CSlurLine>(source)) {
    X1 = s->X1;
    Y1 = s->Y1;
    X2 = s->X2;
    Y2 = s->Y2;
  }
  return true;
}

void CSlurLine::Serialize(Archive& ar) {
  CMark::Serialize(ar);
  ar.Io(X1);
  ar.Io(Y1);
  ar.Io(X2);
  ar.Io(Y2);
}

void CSlurLine::MoveTo(int x, int y) {
  int dx = x - Left, dy = y - Top;
  X1 += dx;
  Y1 += dy;
  X2 += dx;
  Y2 += dy;
  CMark::MoveTo(x, y);
}

bool CNote::CopyFrom(const CXObject* source) {
  if (!CXWord::CopyFrom(source)) return false;
  if (auto* n = As<CNote>(source)) {
    Start = n->Start;
    Ticks = n->Ticks;
    PlayStart = n->PlayStart;
    PlayTicks = n->PlayTicks;
    dy = n->dy;
    Chord = n->Chord;
    Tie = n->Tie;
    Voice = n->Voice;
    Channel = n->Channel;
    Key = n->Key;
    Head = n->Head;
    Stem = n->Stem;
    Tail = n->Tail;
    Velocity = n->Velocity;
  }
  return true;
}

void CNote::Serialize(Archive& ar) {
  CXWord::Serialize(ar);
  ar.Io(dy);
  ar.Io(Voice);
  ar.Io(Channel);
  ar.Io(Ticks);
  ar.Io(PlayTicks);
  ar.Io(Key);
  ar.Io(Velocity);
  ar.Io(Head);
  ar.Io(Stem);
  ar.Io(Tail);
  ar.Io(Chord);
  ar.Io(Tie);
}

void CNote::PlaceAt(int x, int y) {
  int w = DurationCode() == 0 ? 16 : 8;
  SetBounds(x, y - 6, x + 2 * w, y + 6);
  X = x + w;
  Y = y;
}

void CRest::PlaceAt(int x, int y) {
  int width = 0, top = 0, bottom = 0;
  switch (DurationCode()) {
    case 3: case 5: width = 16; top = -16; bottom = 16; break;
    case 4: width = 16; top = -8; bottom = 8; break;
    case 6: width = 24; top = -20; bottom = 20; break;
    case 7: case 8: width = 24; top = -24; bottom = 24; break;
    case 0: case 1: case 2: width = 16; top = -8; bottom = 0; break;
    default: break;  // an empty box
  }
  SetBounds(x, y + top, x + width, y + bottom);
  X = x + width / 2;
  Y = y;
}

bool COctaveLine::GetHandleRect(Rect& out, int handle, int half) const {
  if (handle != 7 && handle != 8) return false;
  return CXObject::GetHandleRect(out, handle, half);
}
