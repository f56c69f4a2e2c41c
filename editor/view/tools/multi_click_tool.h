// The tools that take several clicks: the slur (three points), wedges,
// octave lines and endings (two), and the line chain (a segment per click
// until a right click). The tool keeps the points clicked so far.
#pragma once

#include "editor/view/tools/tool.h"

class MultiClickTool {
 public:
  static bool Handles(int tool);

  // A left click at p; the edit is set when the figure is complete.
  ToolOutput Press(int tool, ScorePoint p);
  // The figure as the mouse moves to p.
  Feedback Move(int tool, ScorePoint p) const;
  // Forgets the clicks; true when there were any.
  bool Cancel();
  int Clicks() const { return static_cast<int>(points_.size()); }

 private:
  std::vector<ScorePoint> points_;
};
