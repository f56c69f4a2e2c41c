#include "editor/view/tools/multi_click_tool.h"

#include "editing/insert.h"
#include "model/object.h"
#include "model/score.h"

namespace {

constexpr uint16_t LJ = kAfterRecalc | kAfterSnapshot | kAfterIfDone;

bool IsWedge(int t) { return t >= 34100 && t <= 34102; }
bool IsOctave(int t) { return t == 34190 || t == 34191; }

// The edit of a two-click figure from a to b.
Edit TwoPointEdit(int t, ScorePoint a, ScorePoint b) {
  if (IsWedge(t))
    return {[=](CScore& s) {
              const Rect r{std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X), std::max(a.Y, b.Y)};
              return InsertShape(s, r, t - 34100) ? 1 : 0;
            },
            LJ};
  if (IsOctave(t)) return {[=](CScore& s) { return InsertOctaveLine(s, a.X, a.Y, b.X, t - 34190) ? 1 : 0; }, LJ};
  if (t == 34007) return {[=](CScore& s) { return InsertEnding(s, a.X, a.Y, b.X) ? 1 : 0; }, LJ};
  return {[=](CScore& s) { return InsertLine(s, a.X, a.Y, b.X, b.Y) ? 1 : 0; }, LJ};
}

}  // namespace

bool MultiClickTool::Handles(int t) { return t == 34005 || IsWedge(t) || IsOctave(t) || t == 34007 || t == 34008; }

ToolOutput MultiClickTool::Press(int t, ScorePoint p) {
  ToolOutput out;
  out.Repaint = true;
  if (t == 34005) {
    if (points_.size() < 2) {
      points_.push_back(p);
      out.Figure = Move(t, p);
      return out;
    }
    const ScorePoint a = points_[0], b = points_[1];
    out.Change = {[=](CScore& s) { return InsertSlur(s, a.X, a.Y, b.X, b.Y, p.X, p.Y) ? 1 : 0; }, LJ};
    points_.clear();
    return out;
  }
  if (points_.empty()) {
    points_.push_back(p);
    out.Figure = Move(t, p);
    return out;
  }
  out.Change = TwoPointEdit(t, points_.back(), p);
  // A line chain goes on from this click; the other figures are complete.
  points_.clear();
  if (t == 34008) points_.push_back(p);
  return out;
}

Feedback MultiClickTool::Move(int t, ScorePoint p) const {
  Feedback f;
  if (points_.empty()) return f;
  f.Points = points_;
  f.Points.push_back(p);
  if (t == 34005)
    f.Shape = points_.size() == 2 ? Feedback::Kind::Slur : Feedback::Kind::Segment;
  else if (IsWedge(t))
    f.Shape = Feedback::Kind::Rect;
  else if (IsOctave(t) || t == 34007)
    f.Shape = Feedback::Kind::HLine;
  else
    f.Shape = Feedback::Kind::Segment;
  return f;
}

bool MultiClickTool::Cancel() {
  const bool had = !points_.empty();
  points_.clear();
  return had;
}
