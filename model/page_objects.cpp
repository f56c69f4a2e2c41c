#include "model/page_objects.h"

#include <cmath>

#include "model/archive.h"

bool NearSegment(int px, int py, int ax, int ay, int bx, int by) {
  double pa = std::hypot(double(px) - ax, double(py) - ay);
  double pb = std::hypot(double(px) - bx, double(py) - by);
  double ab = std::hypot(double(bx) - ax, double(by) - ay);
  return pa + pb < ab + 4.0;
}

bool CXText::CopyFrom(const CXObject* source) {
  if (!CStaveObject::CopyFrom(source)) return false;
  if (auto* t = As<CXText>(source)) {
    Font = t->Font;
    text = t->text;
  }
  return true;
}

void CXText::Serialize(Archive& ar) {
  CStaveObject::Serialize(ar);
  ar.Io(Font);
  ar.IoText(text);
}

bool CAngleText::CopyFrom(const CXObject* source) {
  if (!CXText::CopyFrom(source)) return false;
  if (auto* t = As<CAngleText>(source)) {
    Escapement = t->Escapement;
    Orientation = t->Orientation;
  }
  return true;
}

void CAngleText::Serialize(Archive& ar) {
  CXText::Serialize(ar);
  ar.Io(Escapement);
  ar.Io(Orientation);
}

bool CVisualMidi::CopyFrom(const CXObject* source) {
  if (!CXText::CopyFrom(source)) return false;
  if (auto* v = As<CVisualMidi>(source)) Start = v->Start;
  return true;
}

void CVisualMidi::Serialize(Archive& ar) {
  CXText::Serialize(ar);
  ar.Io(Start);
}

const char* CVisualMidi::InstructionName() const {
  switch (Value & 0xF0) {
    case 0x80: return "音符关";
    case 0x90: return "音符开";
    case 0xA0: return "复音触后";
    case 0xB0: return "控制器";
    case 0xC0: return "音色";
    case 0xD0: return "通道触后";
    case 0xE0: return "弯音";
    case 0xF0:
      if (Value >= 0x720000 && Value <= 0x72FFFF) return "节奏";
      if (Value >= 0x630000 && Value <= 0x63FFFF) return "和弦";
      return "未定义";
    default: return "未定义";
  }
}

bool CXLink::CopyFrom(const CXObject* source) {
  if (!CStaveObject::CopyFrom(source)) return false;
  if (auto* l = As<CXLink>(source)) {
    Font = l->Font;
    text = l->text;
    href = l->href;
  }
  return true;
}

void CXLink::Serialize(Archive& ar) {
  CStaveObject::Serialize(ar);
  ar.Io(Font);
  ar.IoText(text);
  ar.IoText(href);
}

bool CXImage::CopyFrom(const CXObject* source) {
  if (!CStaveObject::CopyFrom(source)) return false;
  if (auto* i = As<CXImage>(source)) {
    this->source = i->source;
    href = i->href;
    title = i->title;
    picture = i->picture;
  }
  return true;
}

void CXImage::Serialize(Archive& ar) {
  CStaveObject::Serialize(ar);
  ar.IoText(source);
  ar.IoText(href);
  ar.IoText(title);
}

bool CXLine::HitTest(int x, int y) const { return NearSegment(x, y, X, Y, X1, Y1); }

bool CXLine::CopyFrom(const CXObject* source) {
  if (!CStaveObject::CopyFrom(source)) return false;
  if (auto* l = As<CXLine>(source)) {
    X = l->X;
    Y = l->Y;
    X1 = l->X1;
    Y1 = l->Y1;
    Pen = l->Pen;
  }
  return true;
}

void CXLine::Serialize(Archive& ar) {
  CStaveObject::Serialize(ar);
  ar.Io(X);
  ar.Io(Y);
  ar.Io(X1);
  ar.Io(Y1);
  ar.Io(Pen);
}

void CXLine::MoveTo(int x, int y) {
  int dx = x - Left, dy = y - Top;
  X += dx;
  Y += dy;
  X1 += dx;
  Y1 += dy;
  CStaveObject::MoveTo(x, y);
}

void CXLine::BoundsFromPoints() { SetBounds(X, Y, X1, Y1); }

void CXLine::ResizeByHandle(int dx, int dy) {
  // Handle 1 is the start point, handle 4 the end point; only that point moves.
  if (ActiveHandle == 1) {
    X += dx;
    Y += dy;
  } else if (ActiveHandle == 4) {
    X1 += dx;
    Y1 += dy;
  } else {
    return;
  }
  BoundsFromPoints();
}

bool CXLine::GetHandleRect(Rect& out, int handle, int half) const {
  if (handle == 1) {
    out = {X - half, Y - half, X + half, Y + half};
    return true;
  }
  if (handle == 4) {
    out = {X1 - half, Y1 - half, X1 + half, Y1 + half};
    return true;
  }
  return false;
}

bool CXCombo::CopyFrom(const CXObject* source) {
  if (!CStaveObject::CopyFrom(source)) return false;
  if (auto* c = As<CXCombo>(source)) Members = c->Members;
  return true;
}

void CXCombo::Serialize(Archive& ar) {
  CStaveObject::Serialize(ar);
  ar.IoMembers(Members);
}
