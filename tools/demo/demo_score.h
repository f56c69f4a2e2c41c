// Demo scores from a small line-based text (res/demo/*.txt; the format is
// described at the top of res/demo/minuet.txt): a piano piece on a treble
// and a bass stave, turned into a laid-out score through the recorder (the
// same path as the MIDI import), with dots, chords, ties, beams by beat,
// title texts, dynamics and systems fitted to pages.
#pragma once

#include <array>
#include <string>
#include <vector>

class CScore;

// One written note, chord or rest of a stave.
struct DemoNote {
  std::vector<int> Keys;   // MIDI keys, lowest first; empty for a rest
  std::vector<int> Steps;  // their letters as written: 7 * octave + (c 0, d 1 ... b 6)
  int Code = 3;           // duration code: 1 whole .. 6 thirty-second
  int Dots = 0;           // 0, 1 or 2
  int Ticks = 0;          // at kDemoTimeBase
  bool Tie = false;       // tied to the next note of the stave
  std::string Dynamic;    // "p", "mf", ... written under the note
  int Line = 0;           // source line, for messages
};

struct DemoMeasure {
  int Number = 0;
  std::array<std::vector<DemoNote>, 2> Staves;  // upper (treble), lower (bass)
  int BarLine = 0;  // the measure's Value: 0 plain, 5 double, 9 final, 41 end repeat, 166 start repeat
  int Line = 0;
};

struct DemoPiece {
  std::string Title, Subtitle, Composer;  // UTF-8
  int Sharps = 0;                         // key signature: sharps > 0, flats < 0
  int Numerator = 4, Denominator = 4;
  std::string TempoWord;                  // shown above the first measure
  int Bpm = 0;                            // quarter notes a minute; 0: from the tempo word
  int MeasuresPerSystem = 4;
  std::vector<DemoMeasure> Measures;
};

// Ticks of a quarter note in demo scores (the score's TimeBase).
constexpr int kDemoTimeBase = 240;

// Reads the text. False with "line N: reason" in *error for anything it does
// not understand, and for a stave whose notes do not fill its measure exactly.
bool ParseDemo(const std::string& text, DemoPiece& piece, std::string* error);

// Builds the score of a piece into an empty score. False with a reason when
// the result does not read back as the source (a pitch or a length the
// notation cannot show as written).
bool BuildDemoScore(const DemoPiece& piece, CScore& score, std::string* error);

// Start tick (from the first measure) of every note of a piece, with its
// key: what a performance of the written music plays, in written order.
struct DemoOnset {
  int Tick = 0;
  int Key = 0;
  int Ticks = 0;  // sounding length, ties followed
  bool operator==(const DemoOnset&) const = default;
};
std::vector<DemoOnset> DemoOnsets(const DemoPiece& piece);
