// Page objects on the insertion point: images, links, texts, lines,
// endings, octave lines, shapes, visual-MIDI objects, angle texts, slurs.
#include <algorithm>
#include <climits>

#include "editing/edit_util.h"
#include "editing/insert.h"
#include "model/score.h"
#include "notation/device_context.h"

using namespace editing;

namespace {

bool HasInsertionPoint(const CScore& score) { return score.CurrentStave && score.CurrentMeasure; }

template <typename T>
T* AttachToInsertionPoint(CScore& score, std::unique_ptr<T> object) {
  return Attach(score, score.CurrentStave, score.CurrentMeasure, std::move(object));
}

// The first note or rest whose box holds the point.
CNote* NoteAt(const CScore& score, int x, int y) {
  for (const auto& up : score.Objects())
    if (auto* n = As<CNote>(up.get()); n && n->GetBounds().Contains(x, y)) return n;
  return nullptr;
}

}  // namespace

CXImage* InsertXImage(CScore& score, int x, int y) {
  if (!HasInsertionPoint(score)) return nullptr;
  auto image = std::make_unique<CXImage>();
  image->SetBounds(x, y, x + 16, y + 16);
  return AttachToInsertionPoint(score, std::move(image));
}

CXLink* InsertXLink(CScore& score, int x, int y) {
  if (!HasInsertionPoint(score)) return nullptr;
  auto link = std::make_unique<CXLink>();
  link->MoveTo(x, y);
  link->Font = 1;
  return AttachToInsertionPoint(score, std::move(link));
}

const char* InsertTextFor(int n) {
  switch (n) {
    case 0: return "Text";
    case 1: return "largo";
    case 2: return "lento";
    case 3: return "adagio";
    // Spelled right, so that it reads correctly and sets the Andante tempo
    // like the other tempo words do.
    case 5: return "andante";
    case 9: return "allegro";
    case 10: return "presto";
    case 12: return "grave";
    case 21: return "\xA1";
    case 22: return "*";
    case 64: return "ppp";
    case 65: return "pp";
    case 66: return "p";
    case 67: return "mp";
    case 68: return "mf";
    case 69: return "f";
    case 70: return "ff";
    case 71: case 72: return "fff";
    case 73: return "zffz";
    case 74: return "fp";
    case 75: return "fz";
    case 76: return "zf";
    case 82: return "\xC3";
    case 83: return "\xD7";
    default: return "";
  }
}

CXText* InsertText(CScore& score, int x, int y, int n, DeviceContext* dc) {
  if (!HasInsertionPoint(score)) return nullptr;
  auto text = std::make_unique<CXText>();
  text->SetBounds(x, y, x + 100, y + 20);
  text->Font = score.Font;
  text->Value = n;
  text->text = InsertTextFor(n);
  if (dc && text->Font >= 0 && size_t(text->Font) < score.Fonts.size()) {
    DeviceStateSaver keep(*dc);
    dc->SetFont(score.Fonts[size_t(text->Font)]);
    const TextSize size = dc->GetTextExtent(text->text);
    text->Right = text->Left + std::max(size.Width, 8);
    text->Bottom = text->Top + std::max(size.Height, 8);
  }
  return AttachToInsertionPoint(score, std::move(text));
}

CXLine* InsertLine(CScore& score, int x1, int y1, int x2, int y2) {
  auto line = std::make_unique<CXLine>();
  line->X = x1;
  line->Y = y1;
  line->X1 = x2;
  line->Y1 = y2;
  line->Value = 0;
  line->BoundsFromPoints();
  if (!HasInsertionPoint(score)) {
    CXLine* raw = line.get();
    score.AddObject(std::move(line));
    return raw;
  }
  return AttachToInsertionPoint(score, std::move(line));
}

CEnding* InsertEnding(CScore& score, int x1, int y1, int x2) {
  if (!HasInsertionPoint(score)) return nullptr;
  auto ending = std::make_unique<CEnding>();
  ending->SetBounds(x1, y1, x2 == x1 ? x1 + 1 : x2, y1 + 16);
  ending->Style = 48;
  ending->Value = 1;
  return AttachToInsertionPoint(score, std::move(ending));
}

COctaveLine* InsertOctaveLine(CScore& score, int x1, int y1, int x2, int value) {
  if (!HasInsertionPoint(score)) return nullptr;
  auto line = std::make_unique<COctaveLine>();
  line->Value = value == 1 ? 1 : 0;
  line->Style = 0x100;
  const int right = x2 == x1 ? x1 + 1 : x2;
  line->SetBounds(x1, y1, right, line->Value == 1 ? y1 - 8 : y1 + 8);
  return AttachToInsertionPoint(score, std::move(line));
}

CXGraphics* InsertShape(CScore& score, const Rect& rect, int value) {
  if (!HasInsertionPoint(score)) return nullptr;
  auto shape = std::make_unique<CXGraphics>();
  shape->SetBounds(rect.Left, rect.Top, rect.Right, rect.Bottom);
  shape->Value = value;
  return AttachToInsertionPoint(score, std::move(shape));
}

CVisualMidi* InsertVisualMidi(CScore& score, int x, int y, int value) {
  if (!HasInsertionPoint(score)) return nullptr;
  auto vm = std::make_unique<CVisualMidi>();
  vm->SetBounds(x, y, x + 8, y + 8);
  vm->Value = value;
  vm->Layer = score.Layer;
  return AttachToInsertionPoint(score, std::move(vm));
}

CAngleText* InsertAngleText(CScore& score, int x, int y) {
  if (!HasInsertionPoint(score)) return nullptr;
  auto text = std::make_unique<CAngleText>();
  text->SetBounds(x, y, x + 64, y + 20);
  text->Layer = score.Layer;
  return AttachToInsertionPoint(score, std::move(text));
}

CSlurLine* InsertSlur(CScore& score, int x1, int y1, int x2, int y2, int x3, int y3) {
  if (!HasInsertionPoint(score)) return nullptr;
  // The notes at the ends, by the clicked points.
  const bool forward = x2 >= x1;
  CNote* leftNote = forward ? NoteAt(score, x1, y1) : NoteAt(score, x2, y2);
  CNote* rightNote = forward ? NoteAt(score, x2, y2) : NoteAt(score, x1, y1);
  const int g = forward ? -8 : 8;
  auto slur = std::make_unique<CSlurLine>();
  slur->X = x1;
  slur->Y = y1 + g;
  slur->X1 = x2;
  slur->Y1 = y2 + g;
  slur->X2 = x3;
  slur->Y2 = y3 + g;
  const int lx = forward ? x1 : x2;
  const int ly = (forward ? y1 : y2) + g;
  slur->SetBounds(lx - 8, ly - 8, lx + 8, ly + 8);
  if (leftNote) {
    slur->Note = leftNote->Number;
    slur->NoteLink = leftNote;
  }
  CSlurLine* made = AttachToInsertionPoint(score, std::move(slur));

  if (rightNote && rightNote->OwnerStave) {
    int32_t from = 0;
    if (leftNote)
      from = leftNote->Start;
    else if (rightNote->OwnerStave->OwnerStaff)
      from = rightNote->OwnerStave->OwnerStaff->Start;
    for (CStaveObject* o : rightNote->OwnerStave->Attached)
      if (o->KindCode() == Kind::Note) {
        auto* n = static_cast<CNote*>(o);
        if (n->Start >= from && n->Start <= rightNote->Start) n->Style |= NTS_FULL_LENGTH;
      }
  }
  return made;
}
