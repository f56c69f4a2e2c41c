#include "editor/view/tools/selection_tool.h"

#include <algorithm>

#include "editing/selection.h"
#include "model/score.h"

int FilterOfMode(int mode) { return mode == 0 ? kFilterStructure : mode == 1 ? kFilterNotes : kFilterOthers; }

ToolOutput SelectionTool::Press(CScore& score, int mode, ScorePoint p, bool shift) {
  ToolOutput out;
  anchor_ = last_ = p;
  if (CaptureSizingHandle(score, p.X, p.Y)) {
    drag_ = Drag::Resize;
  } else if (HitsSelection(score, p.X, p.Y)) {
    drag_ = Drag::Move;
  } else {
    out.SelectionChanged = CaptureByPoint(score, FilterOfMode(mode), p.X, p.Y, shift);
    drag_ = Drag::Band;
  }
  out.Repaint = out.SelectionChanged;
  return out;
}

Feedback SelectionTool::Move(ScorePoint p) {
  last_ = p;
  Feedback f;
  f.Dx = p.X - anchor_.X;
  f.Dy = p.Y - anchor_.Y;
  f.Points = {anchor_, p};
  switch (drag_) {
    case Drag::Move: f.Shape = Feedback::Kind::Move; break;
    case Drag::Resize: f.Shape = Feedback::Kind::Resize; break;
    case Drag::Band: f.Shape = Feedback::Kind::Band; break;
    case Drag::None: f.Points.clear(); break;
  }
  return f;
}

ToolOutput SelectionTool::Release(CScore& score, int mode, ScorePoint p, bool shift) {
  ToolOutput out;
  const Drag drag = drag_;
  drag_ = Drag::None;
  const int dx = p.X - anchor_.X, dy = p.Y - anchor_.Y;
  if (drag == Drag::Move && (dx || dy)) {
    // Moves are journalled: an undo takes back the move and nothing before it.
    out.Change = {[=](CScore& s) { return MoveSelected(s, dx, dy) ? 1 : 0; }, kAfterSnapshot | kAfterIfDone};
    out.SelectionChanged = true;
  } else if (drag == Drag::Resize && (dx || dy)) {
    out.Change = {[=](CScore& s) { return SizeCaptured(s, dx, dy) ? 1 : 0; },
                  kAfterRecalc | kAfterSnapshot | kAfterIfDone};
    out.SelectionChanged = true;
  } else if (drag == Drag::Band && dx && dy) {
    const Rect r{anchor_.X, anchor_.Y, p.X, p.Y};
    out.SelectionChanged = CaptureByRectangle(score, FilterOfMode(mode), r, shift);
  }
  out.Repaint = drag != Drag::None;
  return out;
}

bool SelectionTool::Cancel() {
  const bool had = drag_ == Drag::Move || drag_ == Drag::Resize;
  drag_ = Drag::None;
  return had;
}
