// Small helpers the insert, delete and system operations share.
#pragma once

#include <memory>
#include <vector>

#include "model/score.h"

namespace editing {

// Adds the object attached to the stave and measure (either may be null) and
// returns it typed.
template <typename T>
T* Attach(CScore& score, CStave* stave, CMeasure* measure, std::unique_ptr<T> object) {
  T* raw = object.get();
  score.AddAttachedObject(stave, measure, std::move(object));
  return raw;
}

// A new system spanning the page from LeftMargin to the right margin,
// numbered, owned by the score and put into its list of systems at `at`
// (appended when at is past the end).
CStaff* NewSystem(CScore& score, int top, int bottom, size_t at);

// Measure lengths from the measures' own time signatures (the recalculation
// pass refines them from the signs).
void RecomputeMeasureTicks(CScore& score, CStaff& system);

// Moves a stave object horizontally and vertically; a line's, beam's or
// slur's second and shaping points follow.
void Shift(CXObject* o, int dx, int dy);

// Marks of the score by the note (or other object) they belong to.
std::vector<CMark*> MarksOf(const CScore& score, const CXObject* target);

// Index of a system in the score's list, or -1.
int SystemIndex(const CScore& score, const CStaff* system);

// A brace joining two staves of one system, attached to the upper stave and
// the system's measure at the upper stave's left edge.
CBracket* AddBrace(CScore& score, CStave* upper, CStave* lower);

// The measure of a system whose x range holds x; the last one when x lies
// right of all, the first when left of all; null without measures.
CMeasure* MeasureAtX(const CStaff& system, int x);

// A new note's stem by its position: down from the top of the stave, up
// from the middle line on (dy > 15 below the top line); none for whole
// notes and longer.
inline int StemFor(int code, int dy) {
  const int stem = code > 1 ? 28 : 0;
  return dy > 15 ? -stem : stem;
}

}  // namespace editing
