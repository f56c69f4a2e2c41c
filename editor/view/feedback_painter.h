// What the view paints over its cached score image: the figure of the
// gesture in progress and the caret. The painter maps score units.
#pragma once

#include "editor/view/tools/tool.h"

class CScore;
class QPainter;

void PaintFeedback(QPainter& painter, const CScore& score, const Feedback& figure);
// With a tool current: the stave and measure a click would insert into.
void PaintInsertionGuides(QPainter& painter, const CScore& score);
// The caret at the insertion point: 2 × 32 solid, or 4 × 32 grey while a
// move runs.
void PaintCaret(QPainter& painter, ScorePoint caret, bool wide);
