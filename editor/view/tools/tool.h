// What the view's tools hand back to the widget: an edit to run on the score
// with what must follow it, and the feedback to draw over the score while a
// gesture is in progress. Everything is in score units; nothing needs Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "editing/command_table.h"

class CScore;
class CommandJournal;

struct ScorePoint {
  int X = 0, Y = 0;
  bool operator==(const ScorePoint&) const = default;
};

// One operation on the score. Run returns non-zero when it changed the score;
// After holds CommandAfter bits (recalculation, snapshot, only-if-done).
struct Edit {
  std::function<int(CScore&)> Run;
  uint16_t After = 0;
  bool BeepIfRefused = false;  // a note the score would not take
  // The edit only adds or moves notes and rests on the insertion point's
  // stave (and the marks on the notes it moves), so the recalculation after
  // it may keep to that stave.
  bool OnInsertionStave = false;
  explicit operator bool() const { return static_cast<bool>(Run); }
};

// The figure drawn over the score while a gesture runs.
struct Feedback {
  enum class Kind : uint8_t { None, Rect, HLine, Segment, Slur, Move, Resize, Band };
  Kind Shape = Kind::None;
  std::vector<ScorePoint> Points;  // the figure's points, last the mouse
  int Dx = 0, Dy = 0;              // Move and Resize: the drag distance
  bool InsertionMoved = false;     // the insertion point (stave, measure) changed
};

struct ToolOutput {
  Edit Change;
  Feedback Figure;
  bool Cancelled = false;         // a right click ended a gesture
  bool OpenMenu = false;          // a right click with nothing to cancel
  bool SelectionChanged = false;  // redraw; the frame refreshes its property views
  bool Repaint = false;           // feedback or state changed
};

// Runs an edit with its recalculation and snapshot; returns the edit's result.
// A refused edit (result 0) takes no snapshot when the edit asks for one only
// when done. `derivedFresh` says that nothing changed the score since its
// last recalculation, so an edit on the insertion stave may be followed on
// that stave alone; *recalculated (when given) tells whether a
// recalculation ended the edit.
int RunEdit(CScore& score, CommandJournal* journal, const Edit& edit, bool derivedFresh = false,
            bool* recalculated = nullptr);

// Rounds a coordinate to the 4-unit grid, halves up: 13 → 12, 6 → 8.
int SnapToGrid(int v);
