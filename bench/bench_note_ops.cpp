// Note operations on a generated score: beaming 5,000 selected notes by beat.
#include <benchmark/benchmark.h>

#include <vector>

#include "editing/note_ops.h"
#include "model/score.h"
#include "tools/scoregen/scoregen.h"

namespace {

constexpr size_t kSelectedNotes = 5000;

struct BeamWorkload {
  CScore score;
  std::vector<CNote*> selected;
  std::vector<int8_t> stems, heads;
  size_t objectCount = 0;
  BeamWorkload() {
    WorkloadOptions options;
    options.Systems = 40;  // about 10,000 notes
    GenerateWorkload(score, options);
    score.UpdateDerived();
    for (const auto& up : score.Objects()) {
      if (up->KindCode() != Kind::Note || selected.size() == kSelectedNotes) continue;
      auto* n = static_cast<CNote*>(up.get());
      n->Selected = 1;
      selected.push_back(n);
      stems.push_back(n->Stem);
      heads.push_back(n->Head);
    }
    score.RecountSelection();
    objectCount = score.ObjectCount();
  }
  // Takes the beams off again and gives the notes back their stems and heads.
  void Reset() {
    for (size_t i = objectCount; i < score.ObjectCount(); ++i) CScore::MarkForRemoval(score.GetObject(i));
    score.RemoveMarkedObjects();
    for (size_t i = 0; i < selected.size(); ++i) {
      selected[i]->Stem = stems[i];
      selected[i]->Head = heads[i];
    }
  }
};

void BM_BeamByBeat5000(benchmark::State& state) {
  static BeamWorkload w;
  size_t beams = 0;
  for (auto _ : state) {
    if (BeamByBeat(w.score) == 0) state.SkipWithError("nothing beamed");
    state.PauseTiming();
    beams = w.score.ObjectCount() - w.objectCount;
    w.Reset();
    state.ResumeTiming();
  }
  state.counters["notes"] = double(w.selected.size());
  state.counters["beams"] = double(beams);
}
BENCHMARK(BM_BeamByBeat5000)->Unit(benchmark::kMillisecond);

// The recalculation the view runs after the command, on the same score, for scale.
void BM_UpdateDerivedSameScore(benchmark::State& state) {
  static BeamWorkload w;
  for (auto _ : state) w.score.UpdateDerived();
}
BENCHMARK(BM_UpdateDerivedSameScore)->Unit(benchmark::kMillisecond);

}  // namespace
