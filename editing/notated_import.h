// Music as a file writes it down (written values, voices, stems, beams,
// marks, texts, bar lines), and its placement into an empty score the way
// the editor itself places music: staves per system with clefs, key and time
// signatures, measures as wide as their content, systems filled to the line.
// A reader (MusicXML) fills the form; PlaceNotatedScore builds the score.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class CScore;

// One head of a note: the sounding key, and where the file writes it: the
// natural's letter and octave (Step = 7 x octave + letter, C = 0 .. B = 6)
// with the alteration the head shows before it (an accidental mark), if any.
struct NotatedHead {
  int Key = 60;
  int Step = 28;        // C4
  int Alter = 0;        // semitones the key lies from the natural
  int Accidental = 0;   // mark type shown before the head: 1 flat, 2 sharp, 3 natural, 7 double flat, 8 double sharp
  bool TieStart = false;
  bool TieStop = false;
};

// Beam state of a note on the primary beam line.
enum class NotatedBeam : int8_t { None, Begin, Continue, End };

// A note, chord or rest in one voice of one stave.
struct NotatedNote {
  int Staff = 0;
  int Voice = 0;        // 0..15 within the stave
  int64_t Start = 0;    // ticks from the score's start
  int64_t Ticks = 0;    // what the written value lasts (0 for a grace note)
  int Code = 3;         // 0 breve, 1 whole .. 8 hundred-twenty-eighth
  int Dots = 0;         // 0..2
  int Tuplet = 0;       // the tuplet's count (3 for a triplet), 0 none
  bool TupletStarts = false, TupletEnds = false;  // where the file brackets a group
  bool Rest = false;
  bool MeasureRest = false;  // a rest filling its measure whatever its length
  bool Grace = false;
  int Stem = 0;         // -1 up, 1 down, 0 as the position suggests
  NotatedBeam Beam = NotatedBeam::None;
  std::vector<NotatedHead> Heads;  // empty for a rest
  std::vector<int> Marks;          // mark types over the note (staccato 90, fermata 48 ...)
  std::vector<int> SlurStarts, SlurStops;  // slur numbers the note begins and ends
};

// A clef from a measure (and a tick inside it) on: 0 treble, 1 bass, 2 alto.
// OctaveShift moves the heads by octaves against the sound (-1: an octave
// treble clef sounding an octave lower).
struct NotatedClef {
  int Measure = 0;
  int64_t Tick = 0;
  int Clef = 0;
  int OctaveShift = 0;
};

struct NotatedStaff {
  std::vector<NotatedClef> Clefs;  // by measure; the first at measure 0
  // The stave's own key signatures (measure, fifths), by measure, where it
  // differs from the score's (a transposing instrument); empty: the score's.
  std::vector<std::pair<int, int>> Keys;
  int Channel = 0;
  int Patch = 255;                 // 255 none
  bool BracedToNext = false;       // one part's staves are joined by a brace
};

struct NotatedMeasure {
  int Numerator = 4, Denominator = 4;
  int Fifths = 0;                  // key signature in force (sharps > 0, flats < 0)
  int BarLine = 0;                 // the closing bar line's Value: 0 thin, 5 double, 6 thick-thin, 9 final, 41 repeat end, 166 opens a repeat
  int EndingNumber = 0;            // an ending bracket over the measure, 0 none
  bool EndingBegins = false, EndingEnds = false, EndingClosed = false;
};

// A text over or under a stave at a tick: dynamics, words, tempo words, the
// repeat words ("D.C.", "D.S.", "Fine", "%").
struct NotatedText {
  int Staff = 0;
  int64_t Tick = 0;
  std::string Text;  // GBK, as the score keeps it
  bool Below = false;
  int Value = 0;     // the text kind (64.. for dynamics)
};

struct NotatedWedge {
  int Staff = 0;
  int64_t Start = 0, End = 0;
  bool Crescendo = true;
};

// A mark standing on its own under or over a stave (pedal marks 21, 22).
struct NotatedMark {
  int Staff = 0;
  int64_t Tick = 0;
  int Value = 0;
  bool Below = true;
};

// An octave line over (or, an octave lower, under) the heads it shifts.
struct NotatedOctaveLine {
  int Staff = 0;
  int64_t Start = 0, End = 0;
  bool Below = false;
};

struct NotatedScore {
  int TimeBase = 480;
  int32_t Tempo = 500000;  // microseconds per quarter at the start
  // Later tempo changes: tick and microseconds per quarter.
  std::vector<std::pair<int64_t, int32_t>> TempoChanges;
  std::vector<NotatedStaff> Staves;
  // Measure lengths follow their time signatures (a pickup has its own).
  std::vector<NotatedMeasure> Measures;
  std::vector<NotatedNote> Notes;
  std::vector<NotatedText> Texts;
  std::vector<NotatedWedge> Wedges;
  std::vector<NotatedMark> Marks;
  std::vector<NotatedOctaveLine> OctaveLines;
};

// Builds the music into an empty score (PrepareImportScore). Voices keep
// their notes in time order; gaps inside a voice are filled with rests.
// Returns the number of notes and rests placed.
size_t PlaceNotatedScore(CScore& score, const NotatedScore& music);
