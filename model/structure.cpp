#include "model/structure.h"

#include <algorithm>
#include <cstdint>

#include "model/archive.h"

namespace {
MusicFontWidthFn g_musicFontWidth = nullptr;

bool OfferedHandle(const CXObject& o, Rect& out, int handle, int half, int a, int b) {
  if (handle != a && handle != b) return false;
  return o.CXObject::GetHandleRect(out, handle, half);
}
}  // namespace

void SetMusicFontAverageWidth(MusicFontWidthFn fn) { g_musicFontWidth = fn; }

int MusicFontAverageWidth(int tenthsOfPoint) {
  if (g_musicFontWidth) return g_musicFontWidth(tenthsOfPoint);
  // Half an em at 96 dpi; in 64 bits, as a damaged brace may be of any height.
  const int64_t pixels = int64_t(tenthsOfPoint) * 96 / 720;
  return static_cast<int>(std::clamp<int64_t>(pixels / 2, 1, INT32_MAX));
}

// --- CStaff ---------------------------------------------------------------

bool CStaff::HitTest(int x, int y) const {
  return x >= Left && x < Left + 5 && y >= Top && y < Bottom && x < Right;
}

bool CStaff::CopyFrom(const CXObject* source) {
  if (!CXObject::CopyFrom(source)) return false;
  if (auto* s = As<CStaff>(source)) Spacing = s->Spacing;
  return true;
}

void CStaff::Serialize(Archive& ar) {
  CXObject::Serialize(ar);
  ar.Io(Spacing);
}

void CStaff::MoveTo(int x, int y) {
  int dx = x - Left, dy = y - Top;
  CXObject::MoveTo(x, y);
  for (CStave* s : Staves) s->MoveTo(s->Left + dx, s->Top + dy);
  for (CMeasure* m : Measures) m->MoveTo(m->Left + dx, m->Top + dy);
}

// --- CStave ---------------------------------------------------------------

bool CStave::HitTest(int x, int y) const {
  return x >= Left && x < Right && y >= Top && y < Top + 8 && y < Bottom;
}

bool CStave::CopyFrom(const CXObject* source) {
  if (!CXObject::CopyFrom(source)) return false;
  if (auto* s = As<CStave>(source)) {
    LineSpace = s->LineSpace;
    Voice = s->Voice;
    Channel = s->Channel;
    Patch = s->Patch;
  }
  return true;
}

void CStave::Serialize(Archive& ar) {
  CXObject::Serialize(ar);
  ar.Io(Staff);
  ar.Io(LineSpace);
  ar.Io(Voice);
  ar.Io(Channel);
  ar.Io(Patch);
}

void CStave::MoveTo(int x, int y) {
  int dx = x - Left, dy = y - Top;
  CXObject::MoveTo(x, y);
  for (CStaveObject* o : Attached) o->MoveTo(o->Left + dx, o->Top + dy);
}

void CStave::ResizeByHandle(int dx, int dy) {
  if (ActiveHandle == 0) return;
  int top = Top + dy;
  if (OwnerStaff) {
    // Lower limit first so that a system too short for a stave pins it to its top.
    top = std::min(top, OwnerStaff->Bottom - 32);
    top = std::max(top, OwnerStaff->Top);
  }
  MoveTo(Left, top);
}

bool CStave::GetHandleRect(Rect& out, int handle, int half) const {
  return OfferedHandle(*this, out, handle, half, 1, 2);
}

// --- CMeasure -------------------------------------------------------------

bool CMeasure::HitTest(int x, int y) const {
  return x >= Right - 8 && x < Right + 4 && y >= Top && y < Bottom;
}

bool CMeasure::CopyFrom(const CXObject* source) {
  if (!CXObject::CopyFrom(source)) return false;
  if (auto* m = As<CMeasure>(source)) {
    Numerator = m->Numerator;
    Denominator = m->Denominator;
    Tempo = m->Tempo;
    LeftMargin = m->LeftMargin;
    RightMargin = m->RightMargin;
    LeftPadding = m->LeftPadding;
    RightPadding = m->RightPadding;
  }
  return true;
}

void CMeasure::Serialize(Archive& ar) {
  CXObject::Serialize(ar);
  ar.Io(Staff);
  ar.Io(Numerator);
  ar.Io(Denominator);
  ar.Io(LeftMargin);
  ar.Io(RightMargin);
  ar.Io(LeftPadding);
  ar.Io(RightPadding);
}

void CMeasure::ResizeByHandle(int dx, int dy) {
  if (ActiveHandle == 0) return;
  int right = Right + dx;
  if (OwnerStaff) right = std::clamp(right, std::min(OwnerStaff->Left, OwnerStaff->Right), OwnerStaff->Right);
  SetBounds(Left, Top, right, Bottom);
}

bool CMeasure::GetHandleRect(Rect& out, int handle, int half) const {
  return OfferedHandle(*this, out, handle, half, 2, 4);
}

// --- CBracket, CEnding ----------------------------------------------------

void CBracket::ResizeByHandle(int dx, int dy) {
  if (ActiveHandle == 0) return;
  CXObject::ResizeByHandle(dx, dy);
  // The brace is drawn in a music font of (Bottom - Top) x 2 tenths of a point.
  const int64_t height = std::clamp<int64_t>((int64_t(Bottom) - Top) * 2, INT32_MIN, INT32_MAX);
  const int64_t left = int64_t(Right) - MusicFontAverageWidth(static_cast<int>(height)) - 1;
  Left = static_cast<int32_t>(std::clamp<int64_t>(left, INT32_MIN, std::max<int64_t>(INT32_MIN, int64_t(Right) - 1)));
}

bool CBracket::GetHandleRect(Rect& out, int handle, int half) const {
  return OfferedHandle(*this, out, handle, half, 5, 6);
}

bool CEnding::CopyFrom(const CXObject* source) {
  if (!CStaveObject::CopyFrom(source)) return false;
  if (auto* e = As<CEnding>(source)) {
    StartMeasure = e->StartMeasure;
    EndMeasure = e->EndMeasure;
  }
  return true;
}
