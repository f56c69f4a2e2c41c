// Selection on a score: capture by point and by rectangle (with the edit
// view's filters), the sizing handles, moving and resizing the selection,
// dragging a bar line, aligning to the last captured object, and the
// feedback drawn while dragging.
#pragma once

#include "model/object.h"

class CScore;
class CMeasure;
class DeviceContext;

// Selection filters of the edit view; kAllObjects is the plain capture.
enum SelectFilter : int {
  kAllObjects = -1,
  kFilterStructure = 0,  // systems, staves, measures, signs
  kFilterNotes = 1,      // notes and rests
  kFilterOthers = 2,     // everything else
};

// True when the filter considers the object.
bool FilterAccepts(int filter, const CXObject& object);

// A box that holds every point at which the object's HitTest can be true;
// hit tests outside it are skipped without asking the object.
Rect HitBounds(const CXObject& object);

// One click: selects at most one object, the first hit in object order (a
// stave only when nothing else is hit). Without toggle the click replaces the
// selection; with toggle (Shift) hit objects that are selected are
// deselected and the walk goes on. True when the selection changed.
bool CaptureByPoint(CScore& score, int filter, int x, int y, bool toggle);
bool CaptureObjectByPoint(CScore& score, int x, int y, bool toggle);

// A dragged rectangle: objects wholly inside it are caught; dragged right to
// left (rect.Right < rect.Left) any overlap catches. Without add, objects not
// caught are deselected. True when the selection changed.
bool CaptureByRectangle(CScore& score, int filter, const Rect& rect, bool add);
bool CaptureObjectByRectangle(CScore& score, const Rect& rect, bool add);

// Gives the first selected object with a handle under the point that handle
// (it becomes the last captured object); all other objects get none.
bool CaptureSizingHandle(CScore& score, int x, int y);
// Whether a selected object is hit at the point.
bool HitsSelection(const CScore& score, int x, int y);

// Moves the selection (staves and measures only with their system), pushes
// moved systems apart from their neighbours, recalculates. False when
// nothing moved.
bool MoveSelected(CScore& score, int dx, int dy);
// Every selected object resizes by its active handle.
void SizeSelected(CScore& score, int dx, int dy);
// The end of a handle drag: a measure changes its width, anything else
// resizes by its active handle.
bool SizeCaptured(CScore& score, int dx, int dy);
// Moves the measure's bar line by d, moving the later measures of the system
// with their objects and re-spacing the measure's notes on every stave.
// Narrowing stops at the note area. False when nothing changed.
bool ChangeMeasureWidth(CScore& score, CMeasure& measure, int d);

// 0 when everything is already selected, else selects everything and returns 1.
int SelectAll(CScore& score);
// Selects the object; without keep, everything else is deselected first.
void SelectOnly(CScore& score, CXObject* object, bool keep);

// Align and size the selection to the last captured object. Each needs more
// than one selected object and a reference; 1 only when more than one object
// changed. `changed`, when given, receives how many objects changed.
int AlignLeft(CScore& score, int* changed = nullptr);
int AlignRight(CScore& score, int* changed = nullptr);
int AlignTop(CScore& score, int* changed = nullptr);
int SameWidth(CScore& score, int* changed = nullptr);
int SameHeight(CScore& score, int* changed = nullptr);
int SameSize(CScore& score, int* changed = nullptr);

// Outlines of the selection while it is dragged or resized.
void DrawSelectionMove(DeviceContext& dc, const CScore& score, int dx, int dy);
void DrawSelectionResize(DeviceContext& dc, const CScore& score, int dx, int dy);
