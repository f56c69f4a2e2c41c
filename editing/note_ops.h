// Operations on the selected notes: which values follow the notation, tuplets,
// chords, beams, grace notes, stems, articulation and sequential playing.
//
// Every operation works on the objects whose Selected flag is set. It returns
// non-zero when it changed the score; when it refuses it returns 0 and leaves
// a "-1:..." text in score.LastError. The caller runs UpdateDerived afterwards
// (the grace-note, glissando and scale operations run it themselves).
#pragma once

#include <vector>

#include "editing/insert.h"

class CScore;
class CNote;

// Refusal texts.
inline constexpr const char* kErrNoNote = "-1:选中的对象中没有找到音符!";
inline constexpr const char* kErrNotOnStave = "-1:选中的音符不在谱表上!";
inline constexpr const char* kErrNotOneMeasure = "-1:选中的音符不在同一个小节内!";
inline constexpr const char* kErrFewerThanTwo = "-1:选中的音符少于2个!";

// --- follow and lock bits (notes and rests) ---
int FollowNoteValue(CScore& score);   // Ticks follows the duration code
int LockNoteValue(CScore& score);
int FollowPlayLength(CScore& score);  // PlayTicks follows Ticks
int LockPlayLength(CScore& score);
int LockPitch(CScore& score);         // notes only
int LockVelocity(CScore& score);      // notes only; whether any note changed

// --- durations and tuplets (notes and rests) ---
// Value := value (duration code in the low byte, tuplet count in the second).
int SetNoteType(CScore& score, int value);
// Keeps each duration code and sets the tuplet count to n modulo 256.
int MakeTuplet(CScore& score, int n);

// --- articulation (notes only) ---
int SetLegato(CScore& score);
// A staccato mark (type 90) over or under every selected note.
int AddStaccatoMarks(CScore& score);

// --- stems (notes only) ---
int StemsUp(CScore& score);
int StemsDown(CScore& score);
int StemsAuto(CScore& score);
// Stops automatic stem and flag updates; whether any note changed.
int LockBeams(CScore& score);

// --- chords ---
// Notes of a stave within 13 units of a group's first note become a chord,
// laid out with stems, shifted seconds and the flag note.
int MakeChords(CScore& score);
// The same grouping; only the Chord numbers are set.
int JoinChords(CScore& score);

// --- beams ---
// All selected notes, by start time, as one beam group.
int BeamSelection(CScore& score);
// Beam groups per stave and quarter-note beat.
int BeamByBeat(CScore& score);
// The beamer: beams one group of notes, in order. Returns the number of
// beams made (0 when the group cannot be beamed).
int BeamNotes(CScore& score, const std::vector<CNote*>& group);
// Deletes every selected beam; always 1.
int ClearBeams(CScore& score);

// --- grace notes ---
// Turns the notes into grace notes; 0 when there are none.
int MakeGraceNotes(CScore& score, const std::vector<CNote*>& notes);
// Grace notes that take their time from the next main note of the measure.
int MakeBeforeGraceNotes(CScore& score);
// Grace notes that take their time from the preceding main note.
int MakeAfterGraceNotes(CScore& score);

// --- playing ---
// The selected notes and rests of one measure sound one after another (until
// the next recalculation).
int PlayInSequence(CScore& score);

// --- glissando and scale between two selected notes ---
// How a note is inserted at a point (InsertNote in the editor; tests may
// stand in their own).
using NoteInserter = CNote* (*)(CScore& score, int x, int y, int code);
// Fills the steps between the two notes and shares `duration` ticks evenly
// among all of them.
int MakeGlissando(CScore& score, int duration, NoteInserter insert = &InsertNote);
// Fills the steps between the two notes.
int FillScale(CScore& score, NoteInserter insert = &InsertNote);
