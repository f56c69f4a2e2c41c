// Structural edits: systems, staves, measures, notes, rests, signs, marks and
// page objects placed at a point, and deletion with its dependants. Each
// operation recomputes only the local geometry it disturbs; the caller runs
// the recalculation pass and records a journal snapshot.
#pragma once

class CScore;
class CStaff;
class CMeasure;
class CMark;
class CXImage;
class CXLink;
class CNote;

// A two-stave system at y (the journal's form of inserting a staff).
CStaff* InsertStaff(CScore& score, int x, int y);
// A measure of the system whose bar line stands at x (journal form).
CMeasure* InsertMeasure(CScore& score, CStaff* system, int x);
CMark* InsertMark(CScore& score, int x, int y, int type);
CXImage* InsertXImage(CScore& score, int x, int y);
CXLink* InsertXLink(CScore& score, int x, int y);
// Pushes apart the systems that come too close to this one (at most two passes).
void SeparateSystems(CScore& score, CStaff* system);
// A note of duration code 0..9 at the point on the insertion point's stave
// and measure; nullptr when it does not fit the measure.
CNote* InsertNote(CScore& score, int x, int y, int code);
