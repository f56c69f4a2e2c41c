// The selection tool: a press on a sizing handle starts a resize, on a
// selected object a move, anywhere else a capture and a selection rectangle.
// The release ends the drag with one edit.
#pragma once

#include "editor/view/tools/tool.h"

class SelectionTool {
 public:
  enum class Drag : uint8_t { None, Move, Resize, Band };

  // mode: 0 staves, 1 notes, 2 graphics; `shift` adds to the selection.
  ToolOutput Press(CScore& score, int mode, ScorePoint p, bool shift);
  Feedback Move(ScorePoint p);
  ToolOutput Release(CScore& score, int mode, ScorePoint p, bool shift);
  // Ends a move or resize without changing the score; true when one ran.
  bool Cancel();
  Drag Dragging() const { return drag_; }

 private:
  Drag drag_ = Drag::None;
  ScorePoint anchor_, last_;
};

// The capture filter of a selection mode.
int FilterOfMode(int mode);
