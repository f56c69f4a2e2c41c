// Selection and drawing-order commands on the reference workload (about
// 64,000 notes): every note selected, then inverted, brought forward one
// step, sent back one step, and the selection rebuilt from a voice.
#include <benchmark/benchmark.h>

#include "editing/select_commands.h"
#include "model/score.h"
#include "tools/scoregen/scoregen.h"

namespace {

struct AllNotesSelected {
  CScore score;
  size_t notes = 0;
  AllNotesSelected() {
    GenerateWorkload(score);
    score.UpdateDerived();
    Select();
  }
  void Select() {
    notes = 0;
    for (const auto& up : score.Objects()) {
      up->Selected = up->KindCode() == Kind::Note;
      notes += up->Selected ? 1 : 0;
    }
    score.RecountSelection();
  }
};

AllNotesSelected& Workload() {
  static AllNotesSelected w;
  return w;
}

void Counters(benchmark::State& state) {
  state.counters["objects"] = double(Workload().score.ObjectCount());
  state.counters["selected"] = double(Workload().notes);
}

void BM_BringForwardAllNotes(benchmark::State& state) {
  AllNotesSelected& w = Workload();
  w.Select();
  for (auto _ : state) benchmark::DoNotOptimize(BringForward(w.score));
  Counters(state);
}
BENCHMARK(BM_BringForwardAllNotes)->Unit(benchmark::kMillisecond);

void BM_SendBackwardAllNotes(benchmark::State& state) {
  AllNotesSelected& w = Workload();
  w.Select();
  for (auto _ : state) benchmark::DoNotOptimize(SendBackward(w.score));
  Counters(state);
}
BENCHMARK(BM_SendBackwardAllNotes)->Unit(benchmark::kMillisecond);

void BM_InvertSelection(benchmark::State& state) {
  AllNotesSelected& w = Workload();
  w.Select();
  for (auto _ : state) benchmark::DoNotOptimize(InvertSelection(w.score));
  Counters(state);
}
BENCHMARK(BM_InvertSelection)->Unit(benchmark::kMillisecond);

void BM_SelectVoice(benchmark::State& state) {
  AllNotesSelected& w = Workload();
  int voice = 0;
  for (auto _ : state) benchmark::DoNotOptimize(SelectVoice(w.score, voice++ & 1));
  Counters(state);
}
BENCHMARK(BM_SelectVoice)->Unit(benchmark::kMillisecond);

}  // namespace
