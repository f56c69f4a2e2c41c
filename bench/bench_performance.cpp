// Performance building and MIDI files on the reference workload, with
// libsmf reading the same file as the peer.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "model/score.h"
#include "performance/build_performance.h"
#include "performance/midi_file.h"
#include "performance/midi_sequence.h"
#include "tools/scoregen/scoregen.h"

namespace {

struct MidiWorkload {
  CScore score;
  std::string path;
  size_t events = 0;
  MidiWorkload() {
    GenerateWorkload(score);
    path = "/tmp/quavix-bench-" + std::to_string(getpid()) + ".mid";
    CMidiSequence seq;
    BuildPerformance(score, seq);
    events = seq.Events.size();
    WriteMidiFile(seq, path);
  }
  ~MidiWorkload() { std::remove(path.c_str()); }
};

MidiWorkload& Reference() {
  static MidiWorkload w;
  return w;
}

void BM_BuildPerformanceAndWrite(benchmark::State& state) {
  MidiWorkload& w = Reference();
  const std::string out = w.path + ".out";
  for (auto _ : state) {
    CMidiSequence seq;
    BuildPerformance(w.score, seq);
    if (WriteMidiFile(seq, out) != 1) state.SkipWithError("write failed");
  }
  std::remove(out.c_str());
  state.counters["events"] = double(w.events);
}
BENCHMARK(BM_BuildPerformanceAndWrite)->Unit(benchmark::kMillisecond);

void BM_BuildPerformanceOnly(benchmark::State& state) {
  MidiWorkload& w = Reference();
  for (auto _ : state) {
    CMidiSequence seq;
    BuildPerformance(w.score, seq);
    benchmark::DoNotOptimize(seq.Events.data());
  }
}
BENCHMARK(BM_BuildPerformanceOnly)->Unit(benchmark::kMillisecond);

void BM_ReadMidiFile(benchmark::State& state) {
  MidiWorkload& w = Reference();
  size_t events = 0;
  for (auto _ : state) {
    CMidiSequence seq;
    if (ReadMidiFile(seq, w.path) != 1) state.SkipWithError("read failed");
    events = seq.Events.size();
  }
  state.counters["events"] = double(events);
}
BENCHMARK(BM_ReadMidiFile)->Unit(benchmark::kMillisecond);

// libsmf, loaded at run time so that the benchmarks build without it.
struct Smf {
  using Load = void* (*)(const char*);
  using Delete = void (*)(void*);
  Load load = nullptr;
  Delete destroy = nullptr;
  Smf() {
    void* lib = dlopen("libsmf.so.0", RTLD_NOW);
    if (!lib) lib = dlopen("libsmf.so", RTLD_NOW);
    if (!lib) return;
    load = reinterpret_cast<Load>(dlsym(lib, "smf_load"));
    destroy = reinterpret_cast<Delete>(dlsym(lib, "smf_delete"));
  }
};

void BM_ReadMidiFile_libsmf(benchmark::State& state) {
  static Smf smf;
  MidiWorkload& w = Reference();
  if (!smf.load || !smf.destroy) {
    state.SkipWithError("libsmf not installed (Debian libsmf-dev)");
    return;
  }
  for (auto _ : state) {
    void* loaded = smf.load(w.path.c_str());
    if (!loaded) state.SkipWithError("libsmf could not load the file");
    else smf.destroy(loaded);
  }
}
BENCHMARK(BM_ReadMidiFile_libsmf)->Unit(benchmark::kMillisecond);

void BM_SortEvents(benchmark::State& state) {
  std::mt19937 rng(11);
  std::vector<MidiEventRec> unsorted(static_cast<size_t>(state.range(0)));
  const uint8_t statuses[] = {0x80, 0x90, 0xB0, 0xFF};
  for (MidiEventRec& e : unsorted) {
    e.Tick = int32_t(rng() % 4000000);
    e.Status = statuses[rng() % 4];
    e.Data1 = META_TEXT;
  }
  std::vector<MidiEventRec> events;
  for (auto _ : state) {
    state.PauseTiming();
    events = unsorted;
    state.ResumeTiming();
    SortEvents(events);
    benchmark::DoNotOptimize(events.data());
  }
}
BENCHMARK(BM_SortEvents)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
