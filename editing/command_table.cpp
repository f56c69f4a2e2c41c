#include "editing/command_table.h"

#include <algorithm>
#include <cctype>

#include "editing/chords.h"
#include "editing/insert.h"
#include "editing/journal.h"
#include "editing/note_commands.h"
#include "editing/note_ops.h"
#include "editing/select_commands.h"
#include "editing/selection.h"
#include "model/score.h"

namespace {

using Args = const CommandArgs&;

constexpr uint16_t L = kAfterRecalc, J = kAfterSnapshot, R = kAfterRedraw, RA = kAfterRedrawAll,
                   S = kAfterScrollSizes, IF = kAfterIfDone;

// Adapters from the table's one signature to the operations'.
template <int (*F)(CScore&)>
int Plain(CScore& score, Args) {
  return F(score);
}
template <int (*F)(CScore&, int)>
int WithNumber(CScore& score, Args a) {
  return F(score, a.Number);
}
// Alignment reports a change only when more than one object changed; a lone
// moved object still changes the score and is journalled like any other
// edit, or the next undo would also take back the edit before it.
template <int (*F)(CScore&, int*)>
int Aligned(CScore& score, Args) {
  int changed = 0;
  const int result = F(score, &changed);
  return changed > 0 ? 1 : result;
}
template <int N>
int Tuplet(CScore& score, Args) {
  return MakeTuplet(score, N);
}

// The menu's deletion: dependants, chords split, re-spacing and the full
// update all happen inside.
int DeleteCommand(CScore& score, Args) {
  const auto& objects = score.Objects();
  if (std::none_of(objects.begin(), objects.end(), [](const auto& o) { return o->Selected != 0; })) return 0;
  return DeleteSelection(score);
}
int MergeCommand(CScore& score, Args) { return MergeSystems(score); }
int PianoSystemAtCaret(CScore& score, Args a) { return InsertPianoSystem(score, a.X, a.Y) ? 1 : 0; }
int StandardSystemAtCaret(CScore& score, Args a) { return InsertStandardSystem(score, a.X, a.Y) ? 1 : 0; }
int MeasureAtCaret(CScore& score, Args a) { return InsertMeasureAfter(score, a.X, a.Y); }
int BreakAtCaret(CScore& score, Args a) {
  CStave* stave = StaveAtPoint(score, a.X, a.Y);
  CMeasure* measure = MeasureAtPoint(score, a.X, a.Y);
  if (!stave || !measure) return 0;
  return BreakSystem(score, stave, measure, a.X);
}
int ArrangeAtCaret(CScore& score, Args a) { return ArrangeMeasureAt(score, a.X, a.Y); }
int GlissandoCommand(CScore& score, Args a) { return MakeGlissando(score, a.Number); }
int ScaleCommand(CScore& score, Args) { return FillScale(score); }

const std::vector<ScoreCommand> kCommands = {
    // Edit menu.
    // Journalled, so that an undo takes back exactly the deletion.
    {57632, "delete", "删除(&D)", CommandInput::None, J | R | IF, DeleteCommand},
    {57642, "select-all", "全部选中(&A)", CommandInput::None, R, Plain<SelectAll>},
    {33049, "clear-selection", "取消选择(&U)", CommandInput::None, J | R, Plain<ClearSelection>},
    {33051, "invert-selection", "反向选择(&V)", CommandInput::None, J | R, Plain<InvertSelection>},
    {32993, "keep-notes", "选择音符(&N)", CommandInput::None, J | R, Plain<KeepSelectedNotes>},
    {32994, "keep-rests", "选择休止符(&R)", CommandInput::None, J | R, Plain<KeepSelectedRests>},
    {32995, "keep-notes-and-rests", "选择音符和休止符(&O)", CommandInput::None, J | R,
     Plain<KeepSelectedNotesAndRests>},
    {33050, "select-area", "选择区域(&R)", CommandInput::None, J | R, Plain<SelectArea>},
    {33052, "select-layer", "选择层(&L)...", CommandInput::Number, J | RA, WithNumber<SelectLayer>},
    {33053, "select-voice", "选择声部(&C)...", CommandInput::Number, J | RA, WithNumber<SelectVoice>},
    {33055, "select-channel", "选择通道(&H)...", CommandInput::Number, J | RA, WithNumber<SelectChannel>},
    // Systems and measures.
    {33116, "insert-piano-system", "插入钢琴谱(&P)", CommandInput::Caret, J | S | R, PianoSystemAtCaret},
    {33121, "insert-standard-system", "插入标准谱(&S)", CommandInput::Caret, J | S | R, StandardSystemAtCaret},
    {33122, "insert-measure", "插入小节(&M)", CommandInput::Caret, J | S | R, MeasureAtCaret},
    {33006, "break-system", "换行(&B)", CommandInput::Caret, L | S | J | R | IF, BreakAtCaret},
    {33080, "merge-systems", "合并系统谱(&U)", CommandInput::None, L | J | RA | IF, MergeCommand},
    // Marks.
    {32979, "bind-marks", "绑定标记(&B)", CommandInput::None, J | RA, Plain<BindMarks>},
    {32980, "unbind-marks", "取消绑定(&U)", CommandInput::None, J | RA, Plain<UnbindMarks>},
    // Durations.
    {33027, "follow-note-value", "更新音符时值(&R)", CommandInput::None, L | J | R | IF, Plain<FollowNoteValue>},
    {33087, "follow-play-length", "更新播放时值(&R)", CommandInput::None, L | J | RA | IF, Plain<FollowPlayLength>},
    {33028, "lock-note-value", "锁定音符时值(&L)", CommandInput::None, J | R | IF, Plain<LockNoteValue>},
    {33088, "lock-play-length", "锁定播放时值(&L)", CommandInput::None, J | IF, Plain<LockPlayLength>},
    {33033, "triplet", "三连音(&3)", CommandInput::None, L | J | RA | IF, Tuplet<3>},
    {33030, "quintuplet", "五连音(&5)", CommandInput::None, L | J | RA | IF, Tuplet<5>},
    {33031, "sextuplet", "六连音(&6)", CommandInput::None, L | J | RA | IF, Tuplet<6>},
    {33032, "septuplet", "七连音(&7)", CommandInput::None, L | J | RA | IF, Tuplet<7>},
    {32969, "divide-beat", "均分一拍(&A)", CommandInput::None, J | R, Plain<DivideBeat>},
    {33084, "tuplet", "自定义音符类型(&V)...", CommandInput::Number, L | J, WithNumber<MakeTuplet>},
    {0, "duration", "", CommandInput::Number, L | J | R | IF, WithNumber<SetNoteDuration>},
    {0, "dots", "", CommandInput::Number, L | J | R | IF, WithNumber<SetNoteDots>},
    {0, "toggle-dots", "", CommandInput::Number, L | J | R | IF, WithNumber<ToggleNoteDots>},
    // Pitch and velocity.
    {33013, "octave-up", "升高八度(&A)", CommandInput::None, L | J | R | IF, Plain<OctaveUp>},
    {33014, "octave-down", "降低八度(&D)", CommandInput::None, L | J | R | IF, Plain<OctaveDown>},
    {33017, "follow-pitch", "更新音高(&F)", CommandInput::None, L | J | R | IF, Plain<FollowPitch>},
    {33018, "lock-pitch", "锁定音高(&L)", CommandInput::None, J | R | IF, Plain<LockPitch>},
    {33019, "follow-velocity", "更新力度(&R)", CommandInput::None, L | J | R | IF, Plain<FollowVelocity>},
    {32971, "lock-velocity", "锁定力度(&L)", CommandInput::None, J | R | IF, Plain<LockVelocity>},
    // Stems and beams.
    {33009, "stems-up", "符干向上(&U)", CommandInput::None, L | J | R | IF, Plain<StemsUp>},
    {33008, "stems-down", "符干向下(&D)", CommandInput::None, L | J | R | IF, Plain<StemsDown>},
    {33010, "stems-auto", "通常方向(&N)", CommandInput::None, L | J | R | IF, Plain<StemsAuto>},
    {32961, "beam-selection", "自由分组(&G)", CommandInput::None, L | J | R, Plain<BeamSelection>},
    {33035, "beam-by-beat", "按拍分组(&B)", CommandInput::None, L | J | R | IF, Plain<BeamByBeat>},
    {32962, "clear-beams", "清除符尾连线(&V)", CommandInput::None, L | J | R, Plain<ClearBeams>},
    {32959, "lock-beams", "锁定音符符尾(&S)", CommandInput::None, J | R | IF, Plain<LockBeams>},
    {33079, "break-beam", "断开符尾连线&K)", CommandInput::None, L | J | RA | IF, Plain<BreakBeam>},
    {33076, "flag-left", "符尾向左(&L)", CommandInput::None, L | J | RA | IF, Plain<FlagLeft>},
    {33078, "flag-right", "符尾向右(&R)", CommandInput::None, L | J | RA | IF, Plain<FlagRight>},
    // Grace notes, arpeggios, articulation.
    {33089, "grace-before", "制作前倚音(&F)", CommandInput::None, L | J | RA | IF, Plain<MakeBeforeGraceNotes>},
    {33090, "grace-after", "制作后倚音(&F)", CommandInput::None, J | RA | IF, Plain<MakeAfterGraceNotes>},
    {32967, "arpeggio", "制作琶音(&A)", CommandInput::None, L | J | R, Plain<MakeArpeggio>},
    {32981, "legato", "连奏(&L)", CommandInput::None, J | RA, Plain<SetLegato>},
    {32982, "legato-off", "取消连奏(&5)", CommandInput::None, J | RA, Plain<ClearLegato>},
    {33060, "staccato", "断奏(&2)", CommandInput::None, J | RA, Plain<AddStaccatoMarks>},
    {33094, "glissando", "刮奏(&G)", CommandInput::Number, L | J | RA | IF, GlissandoCommand},
    {33095, "fill-scale", "音阶(&C)", CommandInput::None, L | J | RA | IF, ScaleCommand},
    {33085, "finger-slide", "滑指(&S)", CommandInput::None, J | IF, Plain<SlideNotes>},
    // Chords and ties.
    {32983, "make-chords", "制作和弦(&O)", CommandInput::None, J | RA, Plain<MakeChords>},
    {32984, "break-chords", "分解和弦(&A)", CommandInput::None, J | RA, Plain<BreakChords>},
    {32985, "tie-notes", "同音组合(&T)", CommandInput::None, L | J | R | IF, Plain<TieNotes>},
    {33029, "untie-notes", "取消同音组合(&B)", CommandInput::None, L | J | R | IF, Plain<UntieNotes>},
    // Alignment and drawing order.
    {32996, "align-left", "左对齐(&L)", CommandInput::None, J | R | IF, Aligned<AlignLeft>},
    {32997, "align-right", "右对齐(&R)", CommandInput::None, J | R | IF, Aligned<AlignRight>},
    {32998, "align-top", "顶对齐(&T)", CommandInput::None, J | R | IF, Aligned<AlignTop>},
    // The bottom item runs the top-edge alignment, as the menu always has.
    {32999, "align-bottom", "底对齐(&B)", CommandInput::None, J | R | IF, Aligned<AlignTop>},
    {33000, "same-width", "宽对齐(&W)", CommandInput::None, J | R | IF, Aligned<SameWidth>},
    {33001, "same-height", "高对齐(&H)", CommandInput::None, J | R | IF, Aligned<SameHeight>},
    {33002, "same-size", "大小一致(&S)", CommandInput::None, J | R | IF, Aligned<SameSize>},
    {33042, "to-back", "移动到最后面(&K)", CommandInput::None, J | RA, Plain<SendToBack>},
    {33043, "to-front", "移动到最前面(&F)", CommandInput::None, J | RA, Plain<BringToFront>},
    {33044, "backward", "后置(&I)", CommandInput::None, J | RA, Plain<SendBackward>},
    {33045, "forward", "前置(&O)", CommandInput::None, J | RA, Plain<BringForward>},
    // Repairs and spacing.
    {32958, "snap-notes", "", CommandInput::None, L | J | RA, Plain<SnapNotesToStaffPositions>},
    {32977, "merge-rest", "", CommandInput::None, J | RA, Plain<MergeRestIntoNote>},
    {32978, "space-by-time", "", CommandInput::None, J | RA, Plain<SpaceNotesByTime>},
    {33034, "join-dotted", "", CommandInput::None, L | J | R | IF, Plain<JoinIntoDottedNote>},
    {33059, "spread-crowded", "", CommandInput::None, J | RA, Plain<SpreadCrowdedNotes>},
    {33062, "repair-chords", "", CommandInput::None, J | RA, Plain<RepairChordNumbers>},
    {33069, "visual-midi-times", "", CommandInput::None, J | RA, Plain<UpdateVisualMidiTimes>},
    {33102, "arrange-measure", "", CommandInput::Caret, J | R | IF, ArrangeAtCaret},
};

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

const std::vector<ScoreCommand>& ScoreCommands() { return kCommands; }

const ScoreCommand* FindScoreCommand(int id) {
  if (id == 0) return nullptr;
  for (const ScoreCommand& c : kCommands)
    if (c.Id == id) return &c;
  return nullptr;
}

const ScoreCommand* FindScoreCommand(std::string_view name) {
  for (const ScoreCommand& c : kCommands)
    if (SameName(c.Name, name)) return &c;
  return nullptr;
}

CommandOutcome RunScoreCommand(CScore& score, const ScoreCommand& command, const CommandArgs& args,
                               CommandJournal* journal) {
  CommandOutcome out;
  out.Result = command.Run(score, args);
  if ((command.After & kAfterIfDone) && out.Result == 0) return out;
  out.Done = true;
  if (command.After & kAfterFullUpdate)
    score.AfterLoad();
  else if (command.After & kAfterRecalc)
    score.UpdateDerived();
  if ((command.After & kAfterSnapshot) && journal) journal->RecordSnapshot();
  out.Redraw = command.After & (kAfterRedraw | kAfterRedrawAll | kAfterScrollSizes);
  return out;
}

int ClearSelection(CScore& score) {
  int changed = 0;
  for (const auto& up : score.Objects()) {
    if (up->Selected) changed = 1;
    up->Selected = 0;
    up->ActiveHandle = 0;
  }
  score.SelectedCount = 0;
  score.LastCaptured = nullptr;
  return changed;
}
