// Note-menu commands of the score view: durations and dots, dividing a beat,
// octave shifts under an octave line, beam breaks and hook directions,
// arpeggios, finger slides, breaking chords, tie groups, binding marks,
// merging rests, joining notes into dotted ones and spacing.
//
// Every command works on the objects whose Selected flag is set. It returns
// non-zero when it changed the score; when it refuses it returns 0, changes
// nothing and leaves a "-1:..." text in score.LastError. A command that finds
// nothing left to change returns 0 with LastError empty. Unless a rule says
// otherwise, the derived values the command does not set itself (start
// times, play lengths, pitches) are left to the caller's UpdateDerived.
#pragma once

class CScore;

// Refusal texts of these commands (besides those of note_ops.h).
inline constexpr const char* kErrBadDuration = "-1:音符时值无效!";
inline constexpr const char* kErrBadDots = "-1:附点数无效!";
inline constexpr const char* kErrNotOneVoice = "-1:选中的音符不在同一个声部!";
inline constexpr const char* kErrBeatTooShort = "-1:一拍的时值不够均分给选中的音符!";
inline constexpr const char* kErrOctaveRange = "-1:移动八度后音高超出范围!";
inline constexpr const char* kErrUnderOctaveLine = "-1:选中的音符已在八度线下!";
inline constexpr const char* kErrNotInBeam = "-1:选中的音符不在符尾连线中间!";
inline constexpr const char* kErrNoHook = "-1:选中的音符没有单独的符尾钩!";
inline constexpr const char* kErrNoChord = "-1:选中的音符中没有和弦!";
inline constexpr const char* kErrNotAdjacent = "-1:选中的音符之间还有其他音符!";
inline constexpr const char* kErrSlideTooLong = "-1:音符的演奏时值超出了滑指的范围!";
inline constexpr const char* kErrNoRoom = "-1:小节内没有足够的时值!";
inline constexpr const char* kErrNoTiePair = "-1:选中的音符中没有可以组合的同音音符!";
inline constexpr const char* kErrNotTied = "-1:选中的音符没有同音组合!";
inline constexpr const char* kErrNoMark = "-1:选中的对象中没有找到标记!";
inline constexpr const char* kErrNoMarkTarget = "-1:标记附近没有音符!";
inline constexpr const char* kErrNotBound = "-1:选中的标记没有绑定!";
inline constexpr const char* kErrNoRest = "-1:选中的对象中没有找到休止符!";
inline constexpr const char* kErrNoNoteBeforeRest = "-1:休止符前面没有音符!";
inline constexpr const char* kErrNoDottedPair = "-1:选中的音符中没有可以合并为附点音符的音符!";
inline constexpr const char* kErrMeasureTooNarrow = "-1:小节太窄,无法拉开音符!";

// --- durations and dots -------------------------------------------------------------

// Every selected note and rest gets duration code `code` (0 breve .. 7
// sixty-fourth); its tuplet count and dots stay, and its length follows the
// code again (0x800). A note's head and flag follow the code, except that a
// beamed or chord head without a flag stays so while the new value still has
// beams; a single note that had no stem (whole, breve) gets one. Grace notes
// keep their small heads. Refuses codes outside 0..7.
int SetNoteDuration(CScore& score, int code);

// Every selected note and rest gets `dots` dots (0, 1 or 2): the dotted or
// double-dotted style bit and one augmentation-dot mark (type 16 or 17) bound
// to it; earlier dot marks of the note go. Its length follows its value
// again. Whole-measure rests take no dots. Refuses other counts.
int SetNoteDots(CScore& score, int dots);
// The menu toggle: when every selected note and rest already has `dots`
// dots they lose them, otherwise they all get them.
int ToggleNoteDots(CScore& score, int dots);

// --- one beat divided evenly (32969) -------------------------------------------------

// The selected notes and rests (chords count once, grace notes not at all)
// of one stave, one measure and one voice share one beat of the measure
// (the measure's length over its numerator): note j of k lasts
// (j+1)*beat/k - j*beat/k ticks, so together they last exactly one beat
// whatever the remainder. They are written as the value of beat/2^p for the
// largest 2^p <= k, as a k-tuplet when k is not a power of two (3 in a
// quarter beat: triplet eighths); dots go. The lengths are locked (0x800
// cleared) so the recalculation keeps them, and start times run on from the
// first note's start. Refuses as PlayInSequence does, for mixed voices, for
// an unselected note or rest between the selected ones, when the beat has
// fewer ticks than notes, and when the beat would not fit the voice's room
// in the measure (two sixteenths in a full measure).
int DivideBeat(CScore& score);

// --- octave shifts with an octave line (33013, 33014) --------------------------------

// The written notes stay where they are, so they stay readable, and sound an
// octave higher (up) or lower under an octave line: per stave, the line runs
// from the leftmost to the rightmost selected note, above the stave and the
// notes for 8va, below them for 8vb, and every note of the stave whose head
// lies in that span (chord partners and other voices included, as they are
// read under the line) gets Key +/- 12 with its pitch locked (0x1000
// cleared) so the recalculation keeps it. Refuses, changing nothing, when a
// note would leave the MIDI range 0..127 or already lies under an octave
// line of its stave (shifting twice would be read as one octave).
int OctaveUp(CScore& score);
int OctaveDown(CScore& score);

// --- beams (33079, 33076, 33078) ----------------------------------------------------

// Breaks each beam group that holds a selected note before that note (a
// selected first note breaks nothing). The beams of the group go and each
// part is beamed again on its own; a part of one note or one chord gets its
// flag and a plain stem back in the direction it had. Refuses when no
// selected note stands inside a beam group after its first stem.
int BreakBeam(CScore& score);

// Turns the beam hooks (partial beams of one note) at the selected notes'
// stems to the left or right, mirrored about the stem so they keep their
// slope. Refuses when no selected note has a hook; a hook already pointing
// that way is no change.
int FlagLeft(CScore& score);
int FlagRight(CScore& score);

// --- arpeggio (32967) ---------------------------------------------------------------

// A rolled chord: per stave, the selected notes that start together (a
// selected chord note brings its whole chord) become one arpeggio, a
// combination of Value 3 drawn as a wavy line left of the heads. The
// recalculation rolls its members from the lowest up, 16 ticks apart. Groups
// already rolled by an arpeggio are left alone. Refuses when no two selected
// notes start together on one stave.
int MakeArpeggio(CScore& score);

// --- finger slide (33085) -----------------------------------------------------------

// The selected notes of one stave, measure and voice, consecutive in that
// voice (chords count once), start one after the other: the first keeps its
// start and each next starts when the previous one's playing time ends. To
// survive the recalculation, every note but the last is given its playing
// time as its length and the last note takes the rest up to where the run
// ended before, so the measure and everything after it keep their times;
// lengths and playing times are locked (0x800 and 0x2000 cleared). Refuses as
// PlayInSequence does, for mixed voices, for an unselected note or rest
// inside the run, and when the playing times reach past the run's end.
int SlideNotes(CScore& score);

// --- breaking chords (32984) --------------------------------------------------------

// The inverse of making a chord: every chord with a selected note falls
// apart into single notes that keep their values and numbers and play one
// after another, from the lowest up. The lowest stays in the chord's column,
// each next one stands one note length further right, and the notes and
// rests of the voice after the chord in its measure move right to make room.
// Each note gets its own stem (by its place on the stave) and flag. An
// arpeggio over the chord goes with it. Refuses when no selected note is in
// a chord, or when the measure of a chord cannot hold the longer voice.
int BreakChords(CScore& score);

// --- tie groups (32985, 33029) ------------------------------------------------------

// Ties the selected notes that follow each other directly in time with the
// same key in the same voice of a stave (one ends where the next starts)
// into chains: every note's Tie is the chain's first note. A chain that
// reaches an existing chain joins it. Refuses when no two selected notes can
// be tied.
int TieNotes(CScore& score);
// Takes the selected notes out of their tie chains; what remains of a chain
// on either side stays tied, a single note left over is untied. Refuses when
// no selected note is tied.
int UntieNotes(CScore& score);

// --- binding marks (32979, 32980) ---------------------------------------------------

// Binds each selected mark to the nearest note or rest of its stave (by
// horizontal, then vertical distance, at most 16 units apart horizontally),
// so that it moves and is deleted with it; when notes or rests are selected
// too, only they are candidates. An augmentation dot bound to a note dots it,
// as placing the dot on the note does. Refuses when no mark is selected or
// none has a note near it.
int BindMarks(CScore& score);
// Frees the selected marks from their notes; they keep their place. Refuses
// when no selected mark is bound.
int UnbindMarks(CScore& score);

// --- merging a rest into the preceding note (32977) ----------------------------------

// Each selected rest is absorbed by the note just before it in its voice and
// measure (grace notes do not count; a chord takes it as a whole): the
// note's length grows by the rest's, so the measure keeps its total. When
// the sum is a plain, dotted or double-dotted value of the note's tuplet
// kind the note is written so (quarter + eighth rest: dotted quarter, with
// its dot mark); otherwise its length is locked at the sum. Consecutive
// selected rests all go into the same note. The rest and its marks are
// deleted. Refuses when no rest is selected or none follows a note.
int MergeRestIntoNote(CScore& score);

// --- spacing (32978, 33059) ---------------------------------------------------------

// In every measure of a stave that holds a selected note or rest, all its
// notes and rests move to the x of their start times (the measure's scale),
// so that x follows time; chord heads, bound marks, beam ends and
// accidentals in front of the heads move along. Returns 0 when nothing had
// to move.
int SpaceNotesByTime(CScore& score);

// In every measure of a stave that holds a selected note or rest, the
// columns of notes and rests (those starting together) that lie closer than
// 4 units edge to edge (a dotted head counts 8 units wider) move apart as
// little as needed: later columns move right, and when that would run into
// the bar line they are pulled back left from it. Refuses, changing nothing,
// when a measure is too narrow to hold its columns.
int SpreadCrowdedNotes(CScore& score);

// --- joining into a dotted note (33034) ---------------------------------------------

// Two selected single notes of the same key that follow each other directly
// in one voice of a measure, without tuplets, whose values add up to exactly
// a dotted or double-dotted value (quarter + eighth, eighth + quarter:
// dotted quarter; dotted quarter + sixteenth: double-dotted quarter) become
// one: the first note takes that value with its dot and the second note and
// its marks are deleted. A pair of different keys is not joined (that would
// drop a pitch), nor one that adds up to a plain value (two eighths).
// Refuses when no pair qualifies.
int JoinIntoDottedNote(CScore& score);
