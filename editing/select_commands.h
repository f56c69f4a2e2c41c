// Commands of the score view that select, filter and order objects, and the
// repairs and re-layouts that run on the whole score or one measure.
//
// Every command returns non-zero when it changed the score (the selection
// included). Where a refusal means something to the user it returns 0 and
// leaves a "-1:..." text in score.LastError; otherwise LastError is cleared.
// SelectedCount stays exact. Whenever a command deselects the last captured
// object, the last selected object in object order takes its place as the
// reference of the align commands (none when nothing stays selected).
#pragma once

class CScore;

// Refusal texts.
inline constexpr const char* kErrNoSuchLayer = "-1:没有这个图层!";
inline constexpr const char* kErrLayerLocked = "-1:该图层已锁定, 不能选择其中的对象!";
inline constexpr const char* kErrLayerHidden = "-1:该图层已隐藏, 不能选择其中的对象!";
inline constexpr const char* kErrLayerEmpty = "-1:该图层上没有可以选择的对象!";
inline constexpr const char* kErrNoVoiceNotes = "-1:没有找到这个声部的音符!";
inline constexpr const char* kErrChannelRange = "-1:通道编号应在0到15之间!";
inline constexpr const char* kErrNoChannelNotes = "-1:没有找到这个通道的音符!";
inline constexpr const char* kErrNoMeasureAtCaret = "-1:光标处没有小节!";
inline constexpr const char* kErrMeasureNoLength = "-1:这个小节没有长度, 不能排列!";
inline constexpr const char* kErrMeasureOverfull = "-1:小节中的音符超出了小节的长度, 不能排列!";
inline constexpr const char* kErrTooNarrowToArrange = "-1:小节太窄, 音符排列不开!";
inline constexpr const char* kErrLineSpaceTooSmall = "-1:谱线间距太小, 无法对齐音符!";

// --- selection ----------------------------------------------------------------
// The bulk selections below (invert, area, layer, voice, channel) select no
// object on a locked layer, as a mouse capture never does, and none on a
// hidden layer either: what the user cannot see must not be caught up in a
// following delete or move. Selected objects on such layers are let go.

// Invert (33051): every selectable object flips its selection; objects on
// locked or hidden layers end up unselected. Inverting twice gives back any
// selection a capture could have made.
int InvertSelection(CScore& score);

// Keep only notes (32993), only rests (32994), or notes and rests (32995):
// every other selected object is let go. Nothing is added.
int KeepSelectedNotes(CScore& score);
int KeepSelectedRests(CScore& score);
int KeepSelectedNotesAndRests(CScore& score);

// Select area (33050): the area is the smallest rectangle around the boxes of
// the selected objects; every selectable object whose box lies wholly inside
// it is added to the selection. Nothing selected: nothing happens.
int SelectArea(CScore& score);

// Select layer (33052): the selection becomes every object on layer `layer`
// (an index of the layer table). Refused, leaving the selection, when the
// layer does not exist, is locked or hidden, or holds no object.
int SelectLayer(CScore& score, int layer);

// Select voice (33053): the selection becomes every note and rest of voice
// `voice` (the number the notes store, 0 for the first voice), on any
// stave. Rests belong to a voice's rhythm, so they come along. Refused,
// leaving the selection, when no such note or rest can be selected.
int SelectVoice(CScore& score, int voice);

// Select channel (33055): the selection becomes every note (not rest: rests
// make no sound) that plays on MIDI channel `channel`, 0 to 15 as the notes
// store it; a stored channel counts by its low four bits, as playback sends
// it. Refused when the number is out of range or no such note can be selected.
int SelectChannel(CScore& score, int channel);

// --- drawing order --------------------------------------------------------------
// The object list is the drawing order: earlier objects are drawn first, so
// they lie behind later ones. The selected objects keep their order among
// themselves. Ties in the lists of systems, staves, measures and attached
// objects are reordered as a reload would order them (see SetObjectOrder).

// To the back (33042): the selected objects move to the start of the list.
int SendToBack(CScore& score);
// To the front (33043): the selected objects move to the end of the list.
int BringToFront(CScore& score);
// One back (33044): each selected object moves behind the nearest object
// below it that it overlaps (boxes sharing some area) and that is not
// selected. Passing an object it does not overlap would change nothing to
// see, so one press always makes a visible difference or none at all.
int SendBackward(CScore& score);
// One forward (33045): each selected object moves in front of the nearest
// unselected object above it that it overlaps.
int BringForward(CScore& score);

// --- repairs ----------------------------------------------------------------------

// Chord numbers (33062). Copying keeps the chord numbers of the copied
// notes, so copies name the original's leader, and leaders that are not
// theirs. The notes and rests with a chord number are grouped into chords
// by place: the same stave, measure, voice and chord number, and heads
// within 13 units across of the group's first note (the reach of chord
// making). Each group of two or more becomes its own chord: the note whose
// Number is the chord number stays the leader when it is in the group (the
// first group to claim it), else the highest note leads; every member gets
// the leader's Number. A note left alone stops being a chord member. Start
// times are recalculated when anything changed.
int RepairChordNumbers(CScore& score);

// Visual-MIDI times (33069): every visual-MIDI object on a stave of a system
// takes the start time of the note or rest of its stave nearest to it
// across (its measure's start when the stave has none), as playback does
// before it sends them. Uses the start times of the last recalculation.
int UpdateVisualMidiTimes(CScore& score);

// Arrange the measure at the caret (33102): the measure whose system holds
// the caret point and whose x range holds x. After a recalculation its
// padding and scale are computed again, and its notes and rests on every
// stave of the system move across to the x of their start times, chords and
// marks with them. Refused when the measure has no length, when its notes
// overrun it, or when it is too narrow for two notes of one voice to stand
// apart: any of these would pile notes onto one place and lose their order.
// Recalculates when anything moved.
int ArrangeMeasureAt(CScore& score, int x, int y);

// Snap notes (32958): h is half the score's line spacing. Every note (rests
// have no staff position) on a stave whose offset v from the stave's top
// line is not a multiple of h moves up or down to the nearest multiple; a
// remainder of exactly h / 2 rounds to the smaller offset, the higher
// position. Marks that belong to a moved note move with it. Refused when h
// is below 1. The caller recalculates, so that pitches follow.
int SnapNotesToStaffPositions(CScore& score);

// --- note bits the note operations lack -------------------------------------------
// The caller recalculates after the two follow commands.
// Pitch follows the position again (33017): sets the key-update bit on every
// selected note; whether any note changed. No note: kErrNoNote.
int FollowPitch(CScore& score);
// Velocity follows the dynamics again (33019): sets the velocity-update bit.
int FollowVelocity(CScore& score);
// Legato off (32982): clears the full-length bit of the selected notes, so
// that they are articulated again. Grace notes keep it: it belongs to how
// they are made, not to legato.
int ClearLegato(CScore& score);
