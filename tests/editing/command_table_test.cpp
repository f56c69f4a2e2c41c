// The score command table: lookups, and the recalculation and journal steps
// that follow a command (only when done, for the commands that say so).
#include "editing/command_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "edit_fixture.h"
#include "editing/journal.h"
#include "editing/selection.h"

namespace {

TEST(CommandTable, IdsAndNamesAreUniqueAndFoundWithoutCase) {
  std::set<int> ids;
  std::set<std::string> names;
  for (const ScoreCommand& c : ScoreCommands()) {
    if (c.Id) EXPECT_TRUE(ids.insert(c.Id).second) << c.Id;
    EXPECT_TRUE(names.insert(c.Name).second) << c.Name;
    EXPECT_EQ(FindScoreCommand(c.Name), &c);
    if (c.Id) EXPECT_EQ(FindScoreCommand(c.Id), &c);
  }
  EXPECT_EQ(FindScoreCommand("Octave-UP"), FindScoreCommand(33013));
  EXPECT_EQ(FindScoreCommand(0), nullptr);
  EXPECT_EQ(FindScoreCommand("no-such-command"), nullptr);
  // The bottom alignment is the top one, as the menu has it.
  EXPECT_EQ(FindScoreCommand(32999)->Run, FindScoreCommand(32998)->Run);
}

TEST(CommandTable, StepsFollowOnlyWhatWasDoneWhenTheCommandSaysSo) {
  NewDocument d;
  CommandJournal journal(d.score);
  journal.RecordSnapshot();
  d.At(0, 0);
  CNote* a = InsertNote(d.score, d.End(0), d.Y(0, 12), 3);
  CNote* b = InsertNote(d.score, d.End(0), d.Y(0, 16), 3);
  ASSERT_TRUE(a && b);
  d.score.UpdateDerived();

  // Octave up with nothing selected refuses: no snapshot, nothing to redraw.
  const ScoreCommand& up = *FindScoreCommand("octave-up");
  CommandOutcome out = RunScoreCommand(d.score, up, {}, &journal);
  EXPECT_EQ(out.Result, 0);
  EXPECT_FALSE(out.Done);
  EXPECT_EQ(out.Redraw, 0);
  EXPECT_EQ(journal.Count(), 1);

  // Done: the recalculation runs (the sounding keys move an octave) and a snapshot is taken.
  const int keyBefore = a->Key;
  d.Select(a);
  d.Select(b);
  out = RunScoreCommand(d.score, up, {}, &journal);
  EXPECT_NE(out.Result, 0);
  EXPECT_TRUE(out.Done);
  EXPECT_EQ(out.Redraw, kAfterRedraw);
  EXPECT_EQ(a->Key, keyBefore + 12);
  EXPECT_EQ(journal.Count(), 2);

  // A command whose steps always follow records even when nothing changed.
  const ScoreCommand& invert = *FindScoreCommand(33051);
  out = RunScoreCommand(d.score, invert, {}, &journal);
  EXPECT_TRUE(out.Done);
  EXPECT_EQ(journal.Count(), 3);
  EXPECT_TRUE(CheckStructure(d.score));

  // And undo takes the inversion back.
  const int selected = d.score.SelectedCount;
  ASSERT_EQ(journal.Undo(), 1);
  EXPECT_NE(d.score.SelectedCount, selected);
  EXPECT_EQ(d.score.SelectedCount, 2);
}

TEST(CommandTable, CaretAndNumberCommandsTakeTheirArguments) {
  NewDocument d;
  // Break at the caret in the second measure's right half: two systems.
  CMeasure* m = d.Measure(1);
  CommandArgs caret{0, m->Right - 10, d.Y(0, 16)};
  CommandOutcome out = RunScoreCommand(d.score, *FindScoreCommand(33006), caret, nullptr);
  EXPECT_TRUE(out.Done);
  EXPECT_EQ(out.Redraw, kAfterRedraw | kAfterScrollSizes);
  EXPECT_EQ(d.score.Staffs.size(), 2u);
  // A caret off every system breaks nothing, and the steps are skipped.
  out = RunScoreCommand(d.score, *FindScoreCommand("break-system"), CommandArgs{0, -500, -500}, nullptr);
  EXPECT_FALSE(out.Done);

  // Select voice 0 by number; channel 99 is refused with a reason.
  d.At(0, 0);
  ASSERT_NE(InsertNote(d.score, d.End(0), d.Y(0, 12), 3), nullptr);
  EXPECT_NE(RunScoreCommand(d.score, *FindScoreCommand("select-voice"), CommandArgs{0}, nullptr).Result, 0);
  EXPECT_EQ(d.score.SelectedCount, 1);
  EXPECT_EQ(RunScoreCommand(d.score, *FindScoreCommand("select-channel"), CommandArgs{99}, nullptr).Result, 0);
  EXPECT_EQ(d.score.LastError.rfind("-1:", 0), 0u);

  // Delete runs the full update; clearing the selection empties it.
  EXPECT_EQ(RunScoreCommand(d.score, *FindScoreCommand("delete"), {}, nullptr).Result, 1);
  EXPECT_TRUE(d.All<CNote>().empty());
  EXPECT_EQ(ClearSelection(d.score), 0);
  SelectAll(d.score);
  EXPECT_EQ(ClearSelection(d.score), 1);
  EXPECT_EQ(d.score.SelectedCount, 0);
  EXPECT_TRUE(CheckStructure(d.score));
}

}  // namespace
