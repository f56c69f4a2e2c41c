// The score view's tools, keys and gestures without a window: presses,
// moves and right clicks in score units on a new document, the edits run
// through the journal as the view runs them.
#include <gtest/gtest.h>

#include "editing/command_table.h"
#include "editing/journal.h"
#include "editing/selection.h"
#include "editor/view/tools/key_controller.h"
#include "editor/view/tools/view_controller.h"
#include "model/notes.h"
#include "tests/editing/edit_fixture.h"

namespace {

// A new document with its journal, driven as the view drives it.
struct ViewFixture : NewDocument {
  CommandJournal journal{score};
  ViewController view{score};
  ViewFixture() { journal.RecordSnapshot(); }

  ToolOutput Click(int x, int y, Modifiers mods = {}) {
    ToolOutput out = view.Press({x, y}, mods);
    lastResult = RunEdit(score, &journal, out.Change);
    const ToolOutput up = view.Release({x, y}, mods);
    RunEdit(score, &journal, up.Change);
    return out;
  }
  void Drag(ScorePoint from, ScorePoint to, Modifiers mods = {}) {
    RunEdit(score, &journal, view.Press(from, mods).Change);
    view.Move(to);
    RunEdit(score, &journal, view.Release(to, mods).Change);
  }
  int Key(ViewKey key) { return RunEdit(score, &journal, KeyEdit(key, view.Mode())); }
  template <typename T>
  size_t Count() { return All<T>().size(); }
  int lastResult = 0;
};

TEST(ViewController, ClicksSnapToTheGridAndNoteToolsInsertOrBeep) {
  ViewFixture f;
  EXPECT_EQ(f.view.Snap({13, 6}), (ScorePoint{12, 8}));
  EXPECT_EQ(f.view.Snap({-1, 2}), (ScorePoint{0, 4}));
  f.view.snap = false;
  EXPECT_EQ(f.view.Snap({13, 6}), (ScorePoint{13, 6}));
  f.view.snap = true;

  // A quarter note on the top line of the treble stave, one on the middle line.
  f.view.ChooseTool(34303);
  const int x = f.Measure(0)->Left + 20;
  const int count = f.journal.Count();
  f.Click(x + 1, f.Y(0, 1));
  f.Click(x + 41, f.Y(0, 16) - 1);
  std::vector<CNote*> notes = f.All<CNote>();
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0]->DurationCode(), 3);
  EXPECT_EQ(notes[0]->Key, 77);  // F5 on the top line
  EXPECT_EQ(notes[1]->Key, 71);  // B4 on the middle line
  EXPECT_EQ(f.journal.Count(), count + 2);
  EXPECT_EQ(f.score.CurrentStave, f.Stave(0));

  // A whole note does not fit beside the two quarters: a beep and no snapshot.
  f.view.ChooseTool(34301);
  const ToolOutput refused = f.Click(x + 81, f.Y(0, 12));
  EXPECT_TRUE(refused.Change.BeepIfRefused);
  EXPECT_EQ(f.lastResult, 0);
  EXPECT_EQ(f.journal.Count(), count + 2);

  // Ctrl adds to the chord of the note at the point.
  f.view.ChooseTool(34303);
  f.Click(notes[0]->Left + 2, f.Y(0, 8), {false, true});
  ASSERT_EQ(f.Count<CNote>(), 3u);
  EXPECT_EQ(f.All<CNote>()[2]->Chord, notes[0]->Chord);
  EXPECT_NE(notes[0]->Chord, -1);

  // A rest, a mark, a text and a visual-MIDI object, each one journal entry.
  const int before = f.journal.Count();
  f.view.ChooseTool(34403);
  f.Click(x + 100, f.Y(0, 16));
  f.view.ChooseTool(34590);
  f.Click(x + 41, f.Y(0, -8));
  f.view.ChooseTool(36300);
  f.Click(x + 60, f.Y(0, -30));
  f.view.ChooseTool(34012);
  f.Click(x + 80, f.Y(0, -30));
  EXPECT_EQ(f.Count<CRest>(), 1u);
  EXPECT_EQ(f.Count<CMark>(), 1u);
  EXPECT_EQ(f.Count<CXText>(), 1u);
  EXPECT_EQ(f.Count<CVisualMidi>(), 1u);
  EXPECT_EQ(f.journal.Count(), before + 4);
  // Each undo takes back one click: three undos leave the rest without the mark.
  f.journal.Undo();
  f.journal.Undo();
  f.journal.Undo();
  EXPECT_EQ(f.Count<CMark>(), 0u);
  EXPECT_EQ(f.Count<CRest>(), 1u);
}

TEST(ViewController, MultiClickToolsCompleteOrCancelOnARightClick) {
  ViewFixture f;
  const int x = f.Measure(0)->Left + 20, y = f.Y(0, -12);

  // The slur takes three clicks; the first two only show feedback.
  f.view.ChooseTool(34005);
  EXPECT_FALSE(f.view.Press({x, y}, {}).Change);
  EXPECT_TRUE(f.view.Busy());
  EXPECT_EQ(f.view.Move({x + 40, y}).Shape, Feedback::Kind::Segment);
  EXPECT_FALSE(f.view.Press({x + 80, y}, {}).Change);
  EXPECT_EQ(f.view.Move({x + 40, y - 20}).Shape, Feedback::Kind::Slur);
  const Edit slur = f.view.Press({x + 40, y - 20}, {}).Change;
  ASSERT_TRUE(slur);
  EXPECT_EQ(RunEdit(f.score, &f.journal, slur), 1);
  EXPECT_EQ(f.Count<CSlurLine>(), 1u);
  EXPECT_FALSE(f.view.Busy());

  // A right click after two clicks cancels: no slur, no menu, the selection tool.
  f.view.Press({x, y}, {});
  f.view.Press({x + 80, y}, {});
  ToolOutput right = f.view.RightUp();
  EXPECT_TRUE(right.Cancelled);
  EXPECT_FALSE(right.OpenMenu);
  EXPECT_EQ(f.view.Tool(), 0);
  EXPECT_FALSE(f.view.Busy());
  EXPECT_EQ(f.Count<CSlurLine>(), 1u);
  // With nothing to cancel the right click opens the menu.
  right = f.view.RightUp();
  EXPECT_FALSE(right.Cancelled);
  EXPECT_TRUE(right.OpenMenu);

  // Wedges, octave lines and endings take two clicks.
  for (int tool : {34100, 34190, 34007}) {
    f.view.ChooseTool(tool);
    f.Click(x, y);
    EXPECT_TRUE(f.view.Busy()) << tool;
    f.Click(x + 60, y + 8);
    EXPECT_FALSE(f.view.Busy()) << tool;
    EXPECT_EQ(f.lastResult, 1) << tool;
  }
  EXPECT_EQ(f.Count<CXGraphics>(), 1u);
  EXPECT_EQ(f.Count<COctaveLine>(), 1u);
  EXPECT_EQ(f.Count<CEnding>(), 1u);

  // The line chain adds a segment per click until the right click.
  f.view.ChooseTool(34008);
  const size_t lines = f.Count<CXLine>();
  f.Click(x, y);
  f.Click(x + 20, y);
  f.Click(x + 40, y + 20);
  EXPECT_TRUE(f.view.Busy());
  EXPECT_EQ(f.Count<CXLine>(), lines + 2);
  EXPECT_TRUE(f.view.RightUp().Cancelled);
  EXPECT_FALSE(f.view.Busy());
}

TEST(ViewController, TheSelectionToolSelectsMovesAndCancels) {
  ViewFixture f;
  f.At(0, 0);
  CNote* a = InsertNote(f.score, f.End(0), f.Y(0, 12), 3);
  CNote* b = InsertNote(f.score, f.End(0), f.Y(0, 20), 3);
  ASSERT_TRUE(a && b);
  f.score.UpdateDerived();
  f.journal.RecordSnapshot();

  // A click on a note selects it; Shift adds the other.
  f.Click(a->Left + 2, a->Top + 4);
  EXPECT_TRUE(a->Selected);
  EXPECT_FALSE(b->Selected);
  f.Click(b->Left + 2, b->Top + 4, {true, false});
  EXPECT_TRUE(a->Selected && b->Selected);

  // Dragging a selected note moves the selection: one snapshot, undone as one.
  const int count = f.journal.Count();
  const int top = a->Top;
  f.Drag({a->Left + 2, a->Top + 4}, {a->Left + 2, a->Top - 4});
  EXPECT_EQ(a->Top, top - 8);
  EXPECT_EQ(f.journal.Count(), count + 1);
  // A right click during a move leaves no snapshot.
  f.view.Press({a->Left + 2, a->Top + 4}, {});
  EXPECT_TRUE(f.view.Moving());
  EXPECT_TRUE(f.view.RightUp().Cancelled);
  EXPECT_EQ(f.journal.Count(), count + 1);

  // A rectangle in note mode catches the notes inside it, not the staves.
  ClearSelection(f.score);
  const Rect box{f.Measure(0)->Left, f.Stave(0)->Top - 40, f.Measure(0)->Right, f.Stave(0)->Bottom + 40};
  f.Drag({box.Left, box.Top}, {box.Right, box.Bottom});
  EXPECT_TRUE(a->Selected && b->Selected);
  EXPECT_FALSE(f.Stave(0)->Selected);

  // A press on a sizing handle of a selected text resizes it on release.
  f.At(0, 0);
  CXText* text = InsertText(f.score, 200, 20, 0);
  ASSERT_NE(text, nullptr);
  text->MoveTo(200, 20);
  text->Right = 240;
  text->Bottom = 32;
  SelectOnly(f.score, text, false);
  const int width = text->Right - text->Left;
  const int entries = f.journal.Count();
  f.Drag({text->Right, text->Bottom}, {text->Right + 20, text->Bottom + 8});
  EXPECT_EQ(text->Right - text->Left, width + 20);
  EXPECT_EQ(f.journal.Count(), entries + 1);

  // Choosing a tool while the selection tool is current clears the selection.
  EXPECT_TRUE(f.view.ChooseTool(34303));
  EXPECT_EQ(f.score.SelectedCount, 0);
  EXPECT_FALSE(f.view.ChooseTool(34304));
}

TEST(ViewController, KeysStepPitchesAndValuesWithinTheirLimits) {
  ViewFixture f;
  f.At(0, 0);
  CNote* n = InsertNote(f.score, f.End(0), f.Y(0, 12), 8);
  ASSERT_NE(n, nullptr);
  f.score.UpdateDerived();
  f.Select(n);

  // D on the shortest value (index 8) and A on the longest change nothing.
  EXPECT_EQ(f.Key(ViewKey::D), 0);
  EXPECT_EQ(n->DurationCode(), 8);
  EXPECT_EQ(f.Key(ViewKey::A), 1);
  EXPECT_EQ(n->DurationCode(), 7);
  n->Value = (n->Value & ~0xFF) | 0;
  EXPECT_EQ(f.Key(ViewKey::A), 0);
  EXPECT_EQ(n->DurationCode(), 0);
  EXPECT_EQ(f.Key(ViewKey::D), 1);
  EXPECT_EQ(n->DurationCode(), 1);

  // Up in note mode: one staff position higher, the pitch following.
  const int top = n->Top, key = n->Key;
  const int count = f.journal.Count();
  EXPECT_EQ(f.Key(ViewKey::Up), 1);
  EXPECT_EQ(n->Top, top - 4);
  EXPECT_GT(n->Key, key);
  EXPECT_EQ(f.journal.Count(), count + 1);
  EXPECT_EQ(f.Key(ViewKey::Down), 1);
  EXPECT_EQ(n->Top, top);
  // Left and right mean nothing in note mode.
  EXPECT_FALSE(KeyEdit(ViewKey::Left, 1));
  EXPECT_FALSE(KeyEdit(ViewKey::Other, 0));

  // In staff mode the arrows nudge the selected system by one unit.
  f.view.SetMode(0);
  f.Select(f.System(0));
  const int staveTop = f.Stave(0)->Top;
  EXPECT_EQ(f.Key(ViewKey::Down), 1);
  EXPECT_EQ(f.Stave(0)->Top, staveTop + 1);
  EXPECT_EQ(f.Key(ViewKey::Left), 1);
  EXPECT_EQ(f.Stave(0)->Top, staveTop + 1);
}

TEST(ViewController, UndoAfterDeleteRestoresThePreviousStateAndRedoDeletesAgain) {
  ViewFixture f;
  f.At(0, 0);
  CNote* top = InsertNote(f.score, f.End(0), f.Y(0, 4), 3);
  ASSERT_NE(top, nullptr);
  CNote* low = AddChordNote(f.score, top, top->Left, f.Y(0, 12));
  ASSERT_NE(low, nullptr);
  f.score.UpdateDerived();
  f.Select(top);
  f.journal.RecordSnapshot();  // the edit before the deletion
  const std::vector<uint8_t> before = f.score.SnapshotToBytes();

  const ScoreCommand& del = *FindScoreCommand(57632);
  EXPECT_EQ(RunScoreCommand(f.score, del, {}, &f.journal).Result, 1);
  // The menu's deletion: the note left is a single note again.
  ASSERT_EQ(f.Count<CNote>(), 1u);
  EXPECT_EQ(f.All<CNote>()[0]->Chord, -1);
  const std::vector<uint8_t> after = f.score.SnapshotToBytes();

  ASSERT_EQ(f.journal.Undo(), 1);
  EXPECT_EQ(f.score.SnapshotToBytes(), before);
  EXPECT_EQ(f.Count<CNote>(), 2u);
  ASSERT_EQ(f.journal.Redo(), 1);
  EXPECT_EQ(f.score.SnapshotToBytes(), after);

  // Deleting nothing records nothing.
  ClearSelection(f.score);
  const int count = f.journal.Count();
  EXPECT_EQ(RunScoreCommand(f.score, del, {}, &f.journal).Result, 0);
  EXPECT_EQ(f.journal.Count(), count);
}

TEST(ViewController, AutoScrollStepsNearTheEdgesOnly) {
  EXPECT_EQ(AutoScrollStep(300, 10, 600, 400), (ScorePoint{0, -32}));
  EXPECT_EQ(AutoScrollStep(300, 385, 600, 400), (ScorePoint{0, 32}));
  EXPECT_EQ(AutoScrollStep(5, 200, 600, 400), (ScorePoint{-32, 0}));
  EXPECT_EQ(AutoScrollStep(590, 200, 600, 400), (ScorePoint{32, 0}));
  EXPECT_EQ(AutoScrollStep(5, 5, 600, 400), (ScorePoint{0, -32}));  // top and bottom first
  EXPECT_EQ(AutoScrollStep(300, 200, 600, 400), (ScorePoint{}));
  EXPECT_EQ(AutoScrollStep(-1, 10, 600, 400), (ScorePoint{}));  // outside the window
}

}  // namespace
