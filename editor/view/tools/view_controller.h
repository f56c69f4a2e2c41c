// The view's state without the widget: the current tool, the selection mode,
// snap to grid and the gesture in progress. The widget turns its events into
// score points and hands them here; what comes back says what to run, draw
// and open.
#pragma once

#include "editor/view/tools/multi_click_tool.h"
#include "editor/view/tools/selection_tool.h"

class CScore;

// The grid the view draws under the score (clicks still snap to 4 units):
// off at creation.
struct GridDisplay {
  static constexpr int kMinStep = 4, kMaxStep = 400;
  bool Show = false;
  int StepX = 16, StepY = 16;
};

struct Modifiers {
  bool Shift = false, Ctrl = false;
};

class ViewController {
 public:
  explicit ViewController(CScore& score) : score_(score) {}

  int Tool() const { return tool_; }
  // Chooses a tool (0 the selection tool), ending any gesture; leaving the
  // selection tool clears the selection (true when it did).
  bool ChooseTool(int tool);
  int Mode() const { return mode_; }
  // A new mode clears the selection; true when the mode changed.
  bool SetMode(int mode);
  bool snap = true;
  GridDisplay grid;

  // The point a click acts at: snapped to the 4-unit grid when snap is on.
  ScorePoint Snap(ScorePoint p) const;
  ToolOutput Press(ScorePoint p, Modifiers mods);
  Feedback Move(ScorePoint p);
  ToolOutput Release(ScorePoint p, Modifiers mods);
  // Right button up: back to the selection tool, gestures cancelled; opens
  // the menu when there was nothing to cancel.
  ToolOutput RightUp();
  // Whether clicks are stored or a drag runs (the auto-scroll timer runs then).
  bool Busy() const;
  bool Moving() const { return select_.Dragging() == SelectionTool::Drag::Move; }

 private:
  CScore& score_;
  int tool_ = 0;
  int mode_ = 1;
  MultiClickTool multi_;
  SelectionTool select_;
};

// One auto-scroll step for the cursor at (x, y) in a client area of w × h
// pixels: 32 units toward an edge the cursor is within 20 units of (top and
// bottom first); {0, 0} outside the area or away from the edges.
ScorePoint AutoScrollStep(int x, int y, int w, int h);

// Where the caret goes for a click at p: x of the point and the top of the
// stave under it; false when no system is under the point.
bool CaretAt(const CScore& score, ScorePoint p, ScorePoint* caret);
