// The recorder: note-ons and note-offs, time-stamped in ticks, become notes
// and rests of a score. Ticks are quantised to a grid; each note goes to a
// voice slot chosen by its channel or by a split key (even voices on the
// upper stave of a piano system, odd voices on the lower one); gaps in a
// voice are filled with rests; notes held across a bar line are split there
// and tied; systems of measures are made as the time runs past the end of
// what was made so far. The same recorder turns a read MIDI file into a
// score (the MIDI import).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class CScore;
class CStaff;
class CStave;
class CMeasure;
class CNote;
class CMidiSequence;

// Voice slots a recorder can hold (the voices of a stave).
constexpr int kRecorderVoices = 16;
// The measure index a recording or import stops at: notes that would start
// there or later are left out and counted, releases there end their notes at
// its bar line, so that one far-off time stamp in a file cannot make the
// score grow without end. (Systems are made whole, so the last one may hold
// a few measures more.)
constexpr int kRecorderMaxMeasures = 20000;

// A run of equal measures: from the bar line at Start on, measures of Ticks
// ticks, the first of them with index FirstMeasure.
struct RecorderMeter {
  int64_t Start = 0;
  int64_t FirstMeasure = 0;
  int64_t Ticks = 960;
  int Numerator = 4;
  int Denominator = 4;
};

struct RecorderSlot {
  CNote* Note = nullptr;  // the note sounding in this voice, or none
  int64_t Start = 0;      // its start tick
  int64_t End = 0;        // tick where the voice's written material ends
};

// A sounding key: its note, the voice slot it went to and its start tick
// (kept here: the score's own start times may be recomputed meanwhile, and
// count from the score's first measure).
struct RecorderKey {
  CNote* Note = nullptr;
  int Slot = 0;
  int64_t Start = 0;
};

class CRecorder {
 public:
  explicit CRecorder(CScore& score);

  CScore* Score;
  // 3, 4, 5 or 6: a grid of a quarter, sixteenth, thirty-second or
  // sixty-fourth note (any other value: a quarter).
  int QuantiseSetting = 5;
  int Grid = 15;
  int MeasuresPerLine = 3;
  // The first measure of each planned system and, last, the measure after
  // them (the import fits systems to the line width); later systems hold
  // MeasuresPerLine measures each.
  std::vector<int64_t> LineFirst;
  int VoiceSlots = kRecorderVoices;
  int LastSplitKey = 60;
  // Per channel: keys below it go to the odd (lower) voices.
  std::array<int, 16> SplitKeys{};

  std::array<RecorderSlot, kRecorderVoices> Slots{};
  // The sounding note of each key, per channel: parts doubling one another
  // on different channels sound (and end) separately.
  std::array<std::array<RecorderKey, 128>, 16> Sounding{};

  // What the recorder made: systems with their upper and lower staves, and
  // all their measures by index.
  std::vector<CStaff*> Systems;
  std::vector<std::array<CStave*, 2>> SystemStaves;
  std::vector<CMeasure*> Measures;

  // The time signatures in force, by bar line; the key signatures by measure
  // (sign Value: 256 + sharps, 272 + flats, 0 for none). KeyCode is the
  // current key new systems start with.
  std::vector<RecorderMeter> Meters;
  std::vector<std::pair<int64_t, int32_t>> Keys;
  int32_t KeyCode = 0;
  // The alteration in force per measure, stave side and staff step, for the
  // accidentals before the heads.
  std::unordered_map<int64_t, int8_t> Alterations;

  // Notes left out because they started past kRecorderMaxMeasures.
  int LeftOut = 0;

  // The import's own choices: a grid per beat from the file's onsets (else
  // QuantiseSetting's grid), and a one-channel part split between the
  // staves by range (else by SplitKeys).
  bool AutoGrid = true;
  bool AutoStaves = true;
  // Systems hold as many measures as fit the line (else MeasuresPerLine).
  bool AutoLines = true;
  // What the last import did: drum notes (channel 10) left out, and whether
  // the key signature was estimated from the pitches.
  int DrumNotes = 0;
  bool KeyEstimated = false;

  // Per voice, the last note or rest placed: later material in the voice
  // never lands left of it, so the stave order keeps the time order even in
  // very narrow measures.
  struct Placed {
    int64_t Tick = -1;
    int32_t Left = 0;
    size_t System = 0;
  };
  std::array<Placed, kRecorderVoices> LastPlaced{};
};

// The import dialog's choices.
struct MidiImportSettings {
  bool AutoGrid = true;      // else Quantise forces its grid
  int Quantise = 4;          // 3..6, as QuantiseSetting
  bool AutoLines = true;     // systems filled by content; else:
  int MeasuresPerLine = 3;   // 1..32
  int Voices = kRecorderVoices;  // 1..16
  bool AutoStaves = true;    // a one-channel part split by range; else:
  bool ByChannel = true;     // else every channel splits at SplitKey
  int SplitKey = 60;
};

// Grid in ticks of a quantise setting at a resolution (never below 1).
int RecorderGrid(int setting, int division);
// Empties the recorder's lists and slots, silences every key, computes the
// grid and starts the time signature from the score's.
void ResetRecorder(CRecorder& recorder);
// Split keys 0 for even and 127 for odd channels: even channels record into
// the upper voices, odd ones into the lower.
void SplitVoicesByChannel(CRecorder& recorder);
// Every channel splits at the key (kept as the last split key).
void SplitVoicesAtKey(CRecorder& recorder, int key);
// Takes over the dialog's choices (clamped to what a score holds).
void ApplyImportSettings(CRecorder& recorder, const MidiImportSettings& settings);

// The nearest multiple of the grid, halves rounding up; negative ticks count as 0.
int64_t QuantiseTick(const CRecorder& recorder, int64_t tick);
// Duration code 1..6 of a length: the longest value not longer than it; for
// a note, the next longer value when it is too long by less than the grid;
// a thirty-second for anything shorter.
int NoteValueCode(int timeBase, int64_t length, int grid, bool note);

// Makes systems until the one holding the tick exists. 1 when it does, 0
// when the tick lies past kRecorderMaxMeasures (nothing is made then).
int EnsureLines(CRecorder& recorder, int64_t tick);
// A key pressed at a tick with a channel status byte: rests up to it in the
// chosen voice, then a provisional quarter note. A key struck again while it
// sounds on the channel ends that note first, or, struck again at the same
// grid tick, is the same note. The note, or nullptr when it lies past the
// measure bound or the key is no MIDI key.
CNote* RecordNoteOn(CRecorder& recorder, int64_t tick, int status, int key);
// A key released on a channel: the sounding note gets its length, split at
// bar lines into tied notes. 1 when a note ended, 0 when the key was not
// sounding.
int RecordNoteOff(CRecorder& recorder, int64_t tick, int key, int channel = 0);
// A time signature from the bar line at the tick (the next one when the tick
// falls inside a measure). Ignored unless numerator 1..127, denominator a
// power of two up to 64.
void RecordTimeSignature(CRecorder& recorder, int64_t tick, int numerator, int denominator);
// A key signature (sharps > 0, flats < 0, -7..7) from the measure at the
// tick, as for time signatures; it also becomes the current key.
void RecordKeySignature(CRecorder& recorder, int64_t tick, int sharps);

// The MIDI import of a read sequence: the score takes its division, tempo
// and time signature; the notes are read whole, quantised to a grid per beat
// (straight or triplet), notes of a channel struck and released together
// become chords, chords are spread over as few voices as overlap needs and
// over the staves by channel or range, and each is written in the fewest
// heads the meter allows (dots, tuplets, ties where the beat structure needs
// them). Measures get widths from their content; empty measures a whole rest;
// the last measure a final bar line. Drum notes (channel 10) are left out
// and counted. Systems go below the score's existing ones. Returns 1; 0 with
// a "-1:" reason in the score's LastError when the sequence's division is no
// usable resolution (nothing is changed then).
int ImportSequence(CRecorder& recorder, const CMidiSequence& sequence);

// The key (sharps > 0, flats < 0) whose major or minor profile best matches
// a pitch-class weight histogram (C = 0), by correlation with the
// Krumhansl-Kessler key profiles.
int EstimateKey(const std::array<double, 12>& weights);

// A written value: duration code (1 whole .. 7 sixty-fourth), dots and
// tuplet count (0 or 3).
struct WrittenValue {
  int64_t Start = 0;  // ticks
  int64_t Ticks = 0;
  int Code = 3;
  int Dots = 0;
  int Tuplet = 0;
};
// The heads a note (or rest) from `start` to `end` inside one measure is
// written with, following the meter's beat structure: a dotted value only
// where it starts and ends on that structure, splits at the strongest beat
// it crosses (3+3 in 6/8, 2+2 in 4/4). Beats listed in tripletBeats (their
// start ticks) are divided in three.
std::vector<WrittenValue> WrittenValues(int timeBase, int numerator, int denominator, int64_t measureStart,
                                        int64_t start, int64_t end, bool rest,
                                        const std::vector<int64_t>& tripletBeats);

// Room a measure's content needs at linear spacing: its onsets (ticks
// from the measure start; the measure length included) with the onsets after
// a dotted head and those with accidentals.
double MeasureContentWidth(int timeBase, int measureTicks, const std::vector<int>& onsets, const std::vector<int>& dotted,
                           const std::vector<int>& accidental);

// Line filling: the first measure of each system and, last, the measure
// count. Measures join a system while their room (need, the bar line's room
// and `opening` for a system's first measure, else `inner`) fits the width.
std::vector<int64_t> FillSystems(const std::vector<double>& need, const std::vector<double>& opening,
                                 const std::vector<double>& inner, int lineWidth);
// The measures of one system (left to right) take their signs' room, then
// share the rest of the line by need; the signs opening a measure move with
// it. With maxScale > 0 a system needing less is spaced at that scale and
// ends early (its staves with it). Returns the scale used.
double SpreadMeasures(CStaff& system, const std::vector<CMeasure*>& measures, const std::vector<double>& need,
                      const std::vector<CStave*>& staves, double maxScale);

// A tuplet's number (the score's italic font) on the stem side of its group,
// over the middle of it; a group of rests only takes it above the stave.
void PlaceTupletNumber(CScore& score, const std::vector<CNote*>& group, const std::string& number);

// Where two or more voices share a stave in a measure, the upper voice (the
// lowest voice number) has its stems up and the others down, and their
// rests step a line up or down, so that the voices read apart.
void SeparateRecordedVoices(CRecorder& recorder);

// Beams the recorder's notes of eighth value and shorter: per stave and
// voice, the notes of one beat with no rest between them form a group.
// Returns the number of beams made.
int BeamRecordedNotes(CRecorder& recorder);

// A score ready for an import: default tables and no systems.
void PrepareImportScore(CScore& score);
