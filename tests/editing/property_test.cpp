// Random edits as a user makes them (insertions, captures, moves, deletions),
// each recorded in the journal, with undos and redos in between: the structure
// stays sound after every step and an undo brings back the recorded state.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "edit_fixture.h"
#include "editing/insert.h"
#include "editing/journal.h"
#include "editing/selection.h"
#include "invariants.h"

namespace {

TEST(EditSessions, RandomEditsMovesAndUndosKeepTheStructure) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    NewDocument d;
    CommandJournal journal(d.score);
    journal.RecordSnapshot();
    // Object count of the score at each journal position.
    std::vector<size_t> counts{0, d.score.ObjectCount()};
    std::mt19937 rng(seed);
    int undos = 0, redos = 0;
    size_t largest = 0;
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int step = 0; step < 150; ++step) {
      const int x = pick(40, 600), y = pick(20, 500);
      const int action = pick(0, 11);
      if (action <= 7) {
        d.score.SetInsertionPoint(x, y);
        switch (action) {
          case 0: case 1: InsertNoteOrChord(d.score, x, y, pick(2, 6)); break;
          case 2: InsertRest(d.score, x, y, pick(2, 6)); break;
          case 3: InsertMark(d.score, x, y, pick(0, 100)); break;
          case 4: CaptureObjectByPoint(d.score, x, y, pick(0, 1)); MoveSelected(d.score, pick(-20, 20), pick(-20, 20)); break;
          case 5: CaptureObjectByRectangle(d.score, Rect{x, y, x + pick(-80, 80), y + 40}, false); DeleteSelection(d.score); break;
          case 6: CaptureObjectByPoint(d.score, x, y, false); d.score.DeleteSelected(); break;
          default: if (pick(0, 5) == 0) InsertMeasureAfter(d.score, x, y); break;
        }
        d.score.UpdateDerived();
        ASSERT_TRUE(CheckStructure(d.score)) << "seed " << seed << " step " << step;
        journal.RecordSnapshot();
        counts.resize(size_t(journal.Position()));
        counts.push_back(d.score.ObjectCount());
        largest = std::max(largest, d.score.ObjectCount());
      } else if (action <= 9) {
        if (journal.Position() <= 1) continue;
        journal.Undo();
        ++undos;
        d.score.UpdateDerived();
        ASSERT_TRUE(CheckStructure(d.score)) << "undo, seed " << seed << " step " << step;
        EXPECT_EQ(d.score.ObjectCount(), counts[size_t(journal.Position())]) << "undo at step " << step;
      } else {
        if (!journal.Redo()) continue;
        ++redos;
        d.score.UpdateDerived();
        ASSERT_TRUE(CheckStructure(d.score)) << "redo, seed " << seed << " step " << step;
        EXPECT_EQ(d.score.ObjectCount(), counts[size_t(journal.Position())]) << "redo at step " << step;
      }
    }
    // The run edited something and went back and forth.
    EXPECT_GT(largest, counts[1] + 3) << seed;
    EXPECT_GT(undos, 5) << seed;
    EXPECT_GT(redos, 0) << seed;
  }
}

}  // namespace
