#include "editor/view/tools/view_controller.h"

#include "editing/command_table.h"
#include "editor/view/tools/click_tools.h"
#include "editing/insert.h"
#include "model/structure.h"
#include "model/score.h"

bool ViewController::ChooseTool(int tool) {
  multi_.Cancel();
  select_.Cancel();
  const bool wasSelecting = tool_ == 0;
  tool_ = tool;
  return wasSelecting && tool != 0 && ClearSelection(score_);
}

bool ViewController::SetMode(int mode) {
  if (mode == mode_) return false;
  mode_ = mode;
  ClearSelection(score_);
  return true;
}

ScorePoint ViewController::Snap(ScorePoint p) const {
  return snap ? ScorePoint{SnapToGrid(p.X), SnapToGrid(p.Y)} : p;
}

ToolOutput ViewController::Press(ScorePoint raw, Modifiers mods) {
  const ScorePoint p = Snap(raw);
  if (tool_ == 0) return select_.Press(score_, mode_, p, mods.Shift);
  // Tools place their objects on the stave and measure under the click.
  score_.SetInsertionPoint(p.X, p.Y);
  if (MultiClickTool::Handles(tool_)) return multi_.Press(tool_, p);
  ToolOutput out;
  out.Change = ClickEdit(tool_, p, mods.Ctrl);
  return out;
}

Feedback ViewController::Move(ScorePoint raw) {
  const ScorePoint p = Snap(raw);
  if (tool_ == 0) return select_.Move(p);
  // With a tool, the stave and measure under the mouse are highlighted.
  const bool moved = multi_.Clicks() == 0 && score_.SetInsertionPoint(p.X, p.Y);
  Feedback f = multi_.Move(tool_, p);
  f.InsertionMoved = moved;
  return f;
}

ToolOutput ViewController::Release(ScorePoint raw, Modifiers mods) {
  if (tool_ != 0) return {};
  return select_.Release(score_, mode_, Snap(raw), mods.Shift);
}

ToolOutput ViewController::RightUp() {
  ToolOutput out;
  const bool clicks = multi_.Cancel();
  const bool drag = select_.Cancel();
  out.Cancelled = clicks || drag;
  out.OpenMenu = !out.Cancelled;
  tool_ = 0;
  out.Repaint = true;
  return out;
}

bool ViewController::Busy() const { return multi_.Clicks() > 0 || select_.Dragging() != SelectionTool::Drag::None; }

ScorePoint AutoScrollStep(int x, int y, int w, int h) {
  if (x < 0 || y < 0 || x >= w || y >= h) return {};
  if (y < 20) return {0, -32};
  if (y >= h - 20) return {0, 32};
  if (x < 20) return {-32, 0};
  if (x >= w - 20) return {32, 0};
  return {};
}

bool CaretAt(const CScore& score, ScorePoint p, ScorePoint* caret) {
  if (!SystemAtPoint(score, p.X, p.Y)) return false;
  const CStave* stave = StaveAtPoint(score, p.X, p.Y);
  *caret = {p.X, stave ? stave->Top : p.Y};
  return true;
}
