// Structural edits: systems, staves, measures, notes, rests, signs, marks and
// page objects placed at a point, and deletion with its dependants. Each
// operation recomputes only the local geometry it disturbs; the caller runs
// the recalculation pass and records a journal snapshot.
#pragma once

class CScore;
class CStaff;
class CStave;
class CMeasure;
class CMark;
class CSign;
class CXImage;
class CXLink;
class CXText;
class CXLine;
class CXGraphics;
class CEnding;
class COctaveLine;
class CVisualMidi;
class CAngleText;
class CSlurLine;
class CNote;
class CRest;
class DeviceContext;
struct Rect;

// --- finding things at a point ---------------------------------------------------
// The stave nearest the point: the smallest of max(|y - centre|, x - Right);
// the first stave wins ties.
CStave* StaveAtPoint(const CScore& score, int x, int y);
// The first system whose box contains the point.
CStaff* SystemAtPoint(const CScore& score, int x, int y);
// The first measure of the system at the point whose box contains it.
CMeasure* MeasureAtPoint(const CScore& score, int x, int y);

// Ticks of a duration code at the score's resolution (0 outside 0..9).
int DurationTicks(const CScore& score, int code);

// --- systems, staves, measures ---------------------------------------------------
// A two-stave (treble and bass) system with a brace, placed by the point; it
// becomes the insertion point.
CStaff* InsertPianoSystem(CScore& score, int x, int y);
// A one-stave system by the point's nearest system, without a clef.
CStaff* InsertStandardSystem(CScore& score, int x, int y);
// A two-stave system at y (the journal's form of inserting a staff).
CStaff* InsertStaff(CScore& score, int x, int y);
// A stave below the one nearest the point; 1 when added (or a standard
// system was made instead), 0 when nothing changed.
int AddStave(CScore& score, int x, int y);
// A measure as wide as the one at the point, right after it; 0 when no
// measure contains the point.
int InsertMeasureAfter(CScore& score, int x, int y);
// A measure of the system whose bar line stands at x (journal form).
CMeasure* InsertMeasure(CScore& score, CStaff* system, int x);
// Pushes apart the systems that come too close to this one (at most two passes).
void SeparateSystems(CScore& score, CStaff* system);

// Breaks the system at the caret: the measures from the caret on move to a
// new system below. Non-zero when the score changed.
int BreakSystem(CScore& score, CStave* stave, CMeasure* measure, int x);
// Joins runs of consecutive selected systems with equal stave counts into
// their first system. Non-zero when the score changed.
int MergeSystems(CScore& score);

// A new document: default tables, one piano system at the top margin, the
// full update. The caller records the first journal snapshot.
void SetUpNewDocument(CScore& score);

// --- notes, rests, dots, marks, signs --------------------------------------------
// A note of duration code 0..9 at the point on the insertion point's stave
// and measure; nullptr when it does not fit the measure.
CNote* InsertNote(CScore& score, int x, int y, int code);
// Adds to the chord of a note of the current voice near x, or inserts a new
// note; dotted insertion adds the dot. 1 when a note was made, else 0.
int InsertNoteOrChord(CScore& score, int x, int y, int code);
// A note added to the note's chord (or making one with it) at y.
CNote* AddChordNote(CScore& score, CNote* note, int x, int y);
// A rest of duration code 0..8; nullptr when it does not fit.
CRest* InsertRest(CScore& score, int x, int y, int code);
// An augmentation dot (type 16) or double dot (17) right of the note.
CMark* InsertDot(CScore& score, CNote* note, int type);
CMark* InsertMark(CScore& score, int x, int y, int type);
// Signs at the start of a measure, ordered clef, key, time; nullptr when
// the measure has no room for it.
CSign* InsertClef(CScore& score, CStave* stave, CMeasure* measure, int clef);
CSign* InsertKeySignature(CScore& score, CStave* stave, CMeasure* measure, int code);
CSign* InsertTimeSignature(CScore& score, CStave* stave, CMeasure* measure, int numerator, int denominator);

// --- page objects on the insertion point -----------------------------------------
CXImage* InsertXImage(CScore& score, int x, int y);
CXLink* InsertXLink(CScore& score, int x, int y);
// A text of kind n (tempo and dynamics words and a few symbols), fitted to
// its text when a device context is given to measure it.
CXText* InsertText(CScore& score, int x, int y, int n, DeviceContext* dc = nullptr);
// The text a text of kind n starts with (empty for unknown kinds).
const char* InsertTextFor(int n);
// A line; free (attached to nothing) when there is no insertion point.
CXLine* InsertLine(CScore& score, int x1, int y1, int x2, int y2);
CEnding* InsertEnding(CScore& score, int x1, int y1, int x2);
COctaveLine* InsertOctaveLine(CScore& score, int x1, int y1, int x2, int value);
CXGraphics* InsertShape(CScore& score, const Rect& rect, int value);
CVisualMidi* InsertVisualMidi(CScore& score, int x, int y, int value);
CAngleText* InsertAngleText(CScore& score, int x, int y);
// A slur from three clicks (start, end, middle); the notes it spans are
// marked legato.
CSlurLine* InsertSlur(CScore& score, int x1, int y1, int x2, int y2, int x3, int y3);

// --- deletion --------------------------------------------------------------------
// Deletes the selection: systems, staves and measures with their dependants,
// chords split, measure objects re-attached; then the full update and the
// re-spacing of the staves that lost objects. Returns 1.
int DeleteSelection(CScore& score);
