// Editing benchmarks on the reference workload: one complete edit, undo and
// redo with a full journal, capture by point and by rectangle, and the
// journal's memory for a hundred snapshots.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "editing/insert.h"
#include "editing/journal.h"
#include "editing/selection.h"
#include "model/score.h"
#include "tools/scoregen/scoregen.h"

namespace {

// The reference workload as saved, so each benchmark starts from a fresh
// laid-out copy.
const std::vector<uint8_t>& ReferenceBytes() {
  static const std::vector<uint8_t> bytes = [] {
    CScore score;
    GenerateWorkload(score);
    score.AfterLoad();
    return score.SnapshotToBytes();
  }();
  return bytes;
}

std::unique_ptr<CScore> FreshScore() {
  auto score = std::make_unique<CScore>();
  score->RestoreFromBytes(ReferenceBytes());
  score->RelinkObjects();
  score->AfterLoad();
  return score;
}

// The notes of the reference score, to pick edits from.
std::vector<CNote*> Notes(CScore& score) {
  std::vector<CNote*> notes;
  for (const auto& o : score.Objects())
    if (o->GetKind() == Kind::Note) notes.push_back(static_cast<CNote*>(o.get()));
  return notes;
}

// The edit the journal benchmarks repeat: one note moved a step, as a drag does.
void MoveOneNote(CScore& score, CNote* note, int dx) {
  SelectOnly(score, note, false);
  MoveSelected(score, dx, 0);
}

// A journal with `count` snapshots, each after one note was moved.
void FillJournal(CScore& score, CommandJournal& journal, int count) {
  std::vector<CNote*> notes = Notes(score);
  journal.RecordSnapshot();
  for (int i = 1; i < count; ++i) {
    MoveOneNote(score, notes[(size_t(i) * 7919) % notes.size()], (i % 2) ? 4 : -4);
    journal.RecordSnapshot();
  }
}

void BM_EditInsertNote(benchmark::State& state) {
  auto score = FreshScore();
  CommandJournal journal(*score);
  journal.RecordSnapshot();
  // An emptied measure in the middle of the score: every insertion fits.
  CStaff* system = score->Staffs[score->Staffs.size() / 2];
  CStave* stave = system->Staves.front();
  CMeasure* measure = system->Measures[1];
  for (CStaveObject* o : std::vector<CStaveObject*>(stave->Attached))
    if (o->OwnerMeasure == measure && o->IsKind(Kind::Note)) CScore::MarkForRemoval(o);
  score->RemoveMarkedObjects();
  score->AfterLoad();
  const int x = measure->Left + measure->LeftPadding + 4, y = stave->Top + 12;
  int inserted = 0;
  for (auto _ : state) {
    score->SetInsertionPoint(x, y);  // the click that precedes the insertion
    CNote* note = InsertNote(*score, x, y, 3);
    score->UpdateDerived();
    journal.RecordSnapshot();
    state.PauseTiming();
    if (note) {
      ++inserted;
      score->RemoveObject(note);
    }
    if (journal.Count() > 100) journal.ClearJournal();
    state.ResumeTiming();
  }
  // 0 until the insertion operation is linked in.
  state.counters["inserted"] = double(inserted);
}
BENCHMARK(BM_EditInsertNote)->Unit(benchmark::kMillisecond);

void BM_EditMoveNote(benchmark::State& state) {
  auto score = FreshScore();
  CommandJournal journal(*score);
  journal.RecordSnapshot();
  std::vector<CNote*> notes = Notes(*score);
  size_t i = 0;
  for (auto _ : state) {
    MoveOneNote(*score, notes[(i * 7919) % notes.size()], (i % 2) ? 4 : -4);
    journal.RecordSnapshot();
    ++i;
    if (journal.Count() > 100) {
      state.PauseTiming();
      journal.ClearJournal();
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BM_EditMoveNote)->Unit(benchmark::kMillisecond);

void BM_RecordSnapshot(benchmark::State& state) {
  auto score = FreshScore();
  CommandJournal journal(*score);
  FillJournal(*score, journal, 2);
  for (auto _ : state) {
    journal.RecordSnapshot();
    if (journal.Count() > 100) {
      state.PauseTiming();
      journal.ClearJournal();
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BM_RecordSnapshot)->Unit(benchmark::kMillisecond);

// Peers of the undo: one snapshot load, and the recalculation it ends with.
void BM_EditSnapshotLoad(benchmark::State& state) {
  auto score = FreshScore();
  for (auto _ : state) {
    score->RestoreFromBytes(ReferenceBytes());
    score->RelinkObjects();
    score->AfterLoad();
  }
}
BENCHMARK(BM_EditSnapshotLoad)->Unit(benchmark::kMillisecond);

void BM_EditUpdateDerived(benchmark::State& state) {
  auto score = FreshScore();
  for (auto _ : state) score->UpdateDerived();
}
BENCHMARK(BM_EditUpdateDerived)->Unit(benchmark::kMillisecond);

// The recalculation after a note inserted on one stave, kept to that stave,
// with the full pass on the same edit as its peer.
void LocalOrFullAfterInsert(benchmark::State& state, bool local) {
  auto score = FreshScore();
  CStaff* system = score->Staffs[score->Staffs.size() / 2];
  CStave* stave = system->Staves.front();
  CMeasure* measure = system->Measures[1];
  for (CStaveObject* o : std::vector<CStaveObject*>(stave->Attached))
    if (o->OwnerMeasure == measure && o->IsKind(Kind::Note)) CScore::MarkForRemoval(o);
  score->RemoveMarkedObjects();
  score->AfterLoad();
  const int x = measure->Left + measure->LeftPadding + 4, y = stave->Top + 12;
  int followed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    score->SetInsertionPoint(x, y);
    CNote* note = InsertNote(*score, x, y, 3);
    state.ResumeTiming();
    if (local)
      followed += score->UpdateDerivedOnStaves({stave}) ? 1 : 0;
    else
      score->UpdateDerived();
    state.PauseTiming();
    if (note) score->RemoveObject(note);
    score->UpdateDerived();  // the removal is not followed locally
    state.ResumeTiming();
  }
  state.counters["followed"] = double(followed);
}
void BM_EditRecalcOneStave(benchmark::State& state) { LocalOrFullAfterInsert(state, true); }
void BM_EditRecalcFullPeer(benchmark::State& state) { LocalOrFullAfterInsert(state, false); }
BENCHMARK(BM_EditRecalcOneStave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditRecalcFullPeer)->Unit(benchmark::kMillisecond);

void BM_Undo(benchmark::State& state) {
  auto score = FreshScore();
  CommandJournal journal(*score);
  FillJournal(*score, journal, 100);
  for (auto _ : state) {
    journal.Undo();
    state.PauseTiming();
    journal.Redo();
    state.ResumeTiming();
  }
  state.counters["entries"] = double(journal.Count());
}
BENCHMARK(BM_Undo)->Unit(benchmark::kMillisecond);

void BM_Redo(benchmark::State& state) {
  auto score = FreshScore();
  CommandJournal journal(*score);
  FillJournal(*score, journal, 100);
  for (auto _ : state) {
    state.PauseTiming();
    journal.Undo();
    state.ResumeTiming();
    journal.Redo();
  }
  state.counters["entries"] = double(journal.Count());
}
BENCHMARK(BM_Redo)->Unit(benchmark::kMillisecond);

void BM_CaptureObjectByPoint(benchmark::State& state) {
  auto score = FreshScore();
  std::mt19937 rng(1);
  std::uniform_int_distribution<int> xs(0, score->PaperWidth), ys(0, score->Staffs.back()->Bottom);
  std::vector<std::pair<int, int>> points(1024);
  for (auto& p : points) p = {xs(rng), ys(rng)};
  size_t i = 0, hits = 0;
  for (auto _ : state) {
    const auto [x, y] = points[i++ % points.size()];
    CaptureObjectByPoint(*score, x, y, false);
    hits += score->SelectedCount;
  }
  state.counters["objects"] = double(score->ObjectCount());
  state.counters["hit_share"] = double(hits) / double(state.iterations());
}
BENCHMARK(BM_CaptureObjectByPoint)->Unit(benchmark::kMicrosecond);

void BM_CaptureRectanglePage(benchmark::State& state) {
  auto score = FreshScore();
  const bool crossing = state.range(0) != 0;
  const int pages = score->Staffs.back()->Bottom / 800;
  int page = 0;
  int64_t caught = 0;
  for (auto _ : state) {
    const int top = (page++ % pages) * 800;
    const Rect r = crossing ? Rect{650, top, 50, top + 800} : Rect{50, top, 650, top + 800};
    CaptureObjectByRectangle(*score, r, false);
    caught += score->SelectedCount;
  }
  state.counters["caught"] = double(caught) / double(state.iterations());
}
BENCHMARK(BM_CaptureRectanglePage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A bar-line drag: one measure wider and back, with its notes re-spaced.
void BM_ChangeMeasureWidth(benchmark::State& state) {
  auto score = FreshScore();
  CMeasure* measure = score->Staffs[score->Staffs.size() / 2]->Measures[1];
  int d = 40;
  for (auto _ : state) {
    ChangeMeasureWidth(*score, *measure, d);
    d = -d;
  }
}
BENCHMARK(BM_ChangeMeasureWidth)->Unit(benchmark::kMillisecond);

void BM_JournalMemory100(benchmark::State& state) {
  size_t memory = 0, raw = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto score = FreshScore();
    raw = score->SnapshotToBytes().size();
    state.ResumeTiming();
    CommandJournal journal(*score);
    FillJournal(*score, journal, 100);
    memory = journal.MemoryBytes();
    state.PauseTiming();
    score.reset();
    state.ResumeTiming();
  }
  state.counters["snapshot_MB"] = double(raw) / 1e6;
  state.counters["journal_MB"] = double(memory) / 1e6;
  state.counters["plain_copies_MB"] = 100.0 * double(raw) / 1e6;
}
BENCHMARK(BM_JournalMemory100)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
