#include "model/object.h"

#include <algorithm>

#include "model/archive.h"
#include "model/object_pool.h"
#include "model/notes.h"
#include "model/page_objects.h"
#include "model/structure.h"

void* CXObject::operator new(size_t size) { return AllocateObjectStorage(size); }
void CXObject::operator delete(void* p, size_t size) { FreeObjectStorage(p, size); }

bool CXObject::HitTest(int x, int y) const { return GetBounds().Contains(x, y); }

bool CXObject::CopyFrom(const CXObject* source) {
  if (!source) return false;
  Value = source->Value;
  Style = source->Style;
  SetBounds(source->Left, source->Top, source->Right, source->Bottom);
  return true;
}

void CXObject::Serialize(Archive& ar) {
  ar.Io(Number);
  ar.Io(Value);
  ar.Io(Style);
  ar.Io(Left);
  ar.Io(Top);
  ar.Io(Right);
  ar.Io(Bottom);
  ar.Io(Layer);
  ar.Io(Selected);
}

void CXObject::MoveTo(int x, int y) {
  Right += x - Left;
  Bottom += y - Top;
  Left = x;
  Top = y;
}

void CXObject::SetBounds(int l, int t, int r, int b) {
  Left = std::min(l, r);
  Right = std::max(l, r);
  Top = std::min(t, b);
  Bottom = std::max(t, b);
  if (Left == Right) Right = Left + 1;
  if (Top == Bottom) Bottom = Top + 1;
}

void CXObject::ResizeByHandle(int dx, int dy) {
  int l = Left, t = Top, r = Right, b = Bottom;
  switch (ActiveHandle) {
    case 1: l += dx; t += dy; break;
    case 2: r += dx; t += dy; break;
    case 3: l += dx; b += dy; break;
    case 4: r += dx; b += dy; break;
    case 5: t += dy; break;
    case 6: b += dy; break;
    case 7: l += dx; break;
    case 8: r += dx; break;
    default: return;
  }
  SetBounds(l, t, r, b);
}

void CXObject::HandlePoint(int handle, int& px, int& py) const {
  int mx = (Left + Right) / 2, my = (Top + Bottom) / 2;
  switch (handle) {
    case 1: px = Left; py = Top; break;
    case 2: px = Right; py = Top; break;
    case 3: px = Left; py = Bottom; break;
    case 4: px = Right; py = Bottom; break;
    case 5: px = mx; py = Top; break;
    case 6: px = mx; py = Bottom; break;
    case 7: px = Left; py = my; break;
    case 8: px = Right; py = my; break;
    default: px = 0; py = 0; break;
  }
}

bool CXObject::GetHandleRect(Rect& out, int handle, int half) const {
  int px, py;
  HandlePoint(handle, px, py);
  out = {px - half, py - half, px + half, py + half};
  return true;
}

int CXObject::HandleAt(int x, int y) const {
  Rect r;
  for (int h = 1; h <= 8; ++h)
    if (GetHandleRect(r, h, 3) && r.Contains(x, y)) return h;
  return 0;
}

char ParentKind(char kind) {
  switch (kind) {
    case Kind::StaveObject:
    case Kind::Staff:
    case Kind::Stave:
    case Kind::Measure:
      return Kind::Object;
    case Kind::Graphics:
    case Kind::Line:
    case Kind::Word:
    case Kind::Combo:
    case Kind::OctaveLine:
    case Kind::Bracket:
    case Kind::Text:
    case Kind::Image:
    case Kind::Link:
    case Kind::Ending:
      return Kind::StaveObject;
    case Kind::Sign:
    case Kind::Mark:
    case Kind::Note:
      return Kind::Word;
    case Kind::Slur:
    case Kind::Beam:
      return Kind::Mark;
    case Kind::Rest:
      return Kind::Note;
    case Kind::VisualMidi:
    case Kind::AngleText:
      return Kind::Text;
    default:
      return 0;
  }
}

const CXObject::KindMatrix& CXObject::KindTable() {
  static const auto* table = [] {
    auto* t = new KindMatrix{};
    for (int k = 0; k < 256; ++k)
      for (char p = static_cast<char>(k); p != 0; p = ParentKind(p)) t->Is[k][static_cast<uint8_t>(p)] = true;
    return t;
  }();
  return *table;
}

bool CStaveObject::CopyFrom(const CXObject* source) {
  if (!CXObject::CopyFrom(source)) return false;
  if (auto* s = As<CStaveObject>(source)) {
    Stave = s->Stave;
    Measure = s->Measure;
  }
  return true;
}

void CStaveObject::Serialize(Archive& ar) {
  CXObject::Serialize(ar);
  ar.Io(Stave);
  ar.Io(Measure);
}

std::unique_ptr<CXObject> CreateObject(int kind) {
  switch (static_cast<char>(kind & 0xFF)) {
    case Kind::Object: return std::make_unique<CXObject>();
    case Kind::Graphics: return std::make_unique<CXGraphics>();
    case Kind::Line: return std::make_unique<CXLine>();
    case Kind::Sign: return std::make_unique<CSign>();
    case Kind::Mark: return std::make_unique<CMark>();
    case Kind::Slur: return std::make_unique<CSlurLine>();
    case Kind::Beam: return std::make_unique<CBeam>();
    case Kind::Note: return std::make_unique<CNote>();
    case Kind::Rest: return std::make_unique<CRest>();
    case Kind::Combo: return std::make_unique<CXCombo>();
    case Kind::OctaveLine: return std::make_unique<COctaveLine>();
    case Kind::Bracket: return std::make_unique<CBracket>();
    case Kind::Text: return std::make_unique<CXText>();
    case Kind::VisualMidi: return std::make_unique<CVisualMidi>();
    case Kind::AngleText: return std::make_unique<CAngleText>();
    case Kind::Image: return std::make_unique<CXImage>();
    case Kind::Link: return std::make_unique<CXLink>();
    case Kind::Ending: return std::make_unique<CEnding>();
    case Kind::Staff: return std::make_unique<CStaff>();
    case Kind::Stave: return std::make_unique<CStave>();
    case Kind::Measure: return std::make_unique<CMeasure>();
    default: return nullptr;
  }
}

const char* KindName(int kind) {
  switch (static_cast<char>(kind & 0xFF)) {
    case Kind::HorizontalLine: return "CHorizontalLine";
    case Kind::OctaveLine: return "COctaveLine";
    case Kind::Ending: return "CEnding";
    case Kind::Sign: return "CSign";
    case Kind::Beam: return "CBeam";
    case Kind::Image: return "CXImage";
    case Kind::Line: return "CXLine";
    case Kind::Mark: return "CMark";
    case Kind::Note: return "CNote";
    case Kind::Object: return "CXObject";
    case Kind::Rest: return "CRest";
    case Kind::Slur: return "CSlurLine";
    case Kind::Stave: return "CStave";
    case Kind::Measure: return "CMeasure";
    case Kind::Word: return "CXWord";
    case Kind::Text: return "CXText";
    case Kind::Combo: return "CXCombo";
    case Kind::Graphics: return "CXGraphics";
    case Kind::Link: return "CXLink";
    case Kind::Staff: return "CStaff";
    case Kind::VisualMidi: return "CVisualMidi";
    case Kind::Bracket: return "CBracket";
    default: return "Undefined";
  }
}
