// Storage benchmarks on the reference workload.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "model/object_pool.h"
#include "model/score.h"
#include "model/score_open.h"
#include "tools/scoregen/scoregen.h"

namespace {

struct Workload {
  CScore score;
  std::string path;
  long fileSize = 0;
  Workload() {
    GenerateWorkload(score);
    path = "/tmp/quavix-bench-" + std::to_string(getpid()) + ".q5s";
    score.SaveToFile(path);
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
      std::fseek(f, 0, SEEK_END);
      fileSize = std::ftell(f);
      std::fclose(f);
    }
  }
  ~Workload() { std::remove(path.c_str()); }
};

Workload& Reference() {
  static Workload w;
  return w;
}

// Heap plus the live slots of pooled object storage.
size_t HeapInUse() { return mallinfo2().uordblks + ObjectStorageInUse(); }

void BM_LoadAndRelink(benchmark::State& state) {
  Workload& w = Reference();
  double ratio = 0;
  for (auto _ : state) {
    size_t before = HeapInUse();
    auto score = std::make_unique<CScore>();
    if (!score->LoadFromFile(w.path)) state.SkipWithError("load failed");
    score->RelinkObjects();
    ratio = double(HeapInUse() - before) / double(w.fileSize);
    benchmark::DoNotOptimize(score.get());
    state.PauseTiming();
    score.reset();
    state.ResumeTiming();
  }
  state.counters["objects"] = double(w.score.ObjectCount());
  state.counters["file_bytes"] = double(w.fileSize);
  state.counters["memory_per_file_byte"] = ratio;
}
BENCHMARK(BM_LoadAndRelink)->Unit(benchmark::kMillisecond);

void BM_Save(benchmark::State& state) {
  Workload& w = Reference();
  std::string out = w.path + ".out.q5s";
  for (auto _ : state)
    if (!w.score.SaveToFile(out)) state.SkipWithError("save failed");
  std::remove(out.c_str());
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);

void BM_SnapshotAndRestore(benchmark::State& state) {
  Workload& w = Reference();
  CScore target;
  for (auto _ : state) {
    std::vector<uint8_t> bytes = w.score.SnapshotToBytes();
    if (!target.RestoreFromBytes(bytes)) state.SkipWithError("restore failed");
  }
}
BENCHMARK(BM_SnapshotAndRestore)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

void BM_UpdateDerived(benchmark::State& state) {
  WorkloadOptions o;
  o.Systems = static_cast<int>(state.range(0));
  o.DynamicsTexts = o.Systems * 8;
  o.Hairpins = o.Systems * 4;
  CScore score;
  GenerateWorkload(score, o);
  for (auto _ : state) score.UpdateDerived();
  int notes = 0;
  for (const auto& obj : score.Objects()) notes += obj->GetKind() == 'N';
  state.counters["notes"] = notes;
}
// 16,000, 64,000 and 256,000 notes.
BENCHMARK(BM_UpdateDerived)->Arg(62)->Arg(250)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_AfterLoad(benchmark::State& state) {
  CScore score;
  GenerateWorkload(score);
  for (auto _ : state) score.AfterLoad();
}
BENCHMARK(BM_AfterLoad)->Unit(benchmark::kMillisecond);

void BM_OpenDocument(benchmark::State& state) {
  Workload& w = Reference();
  for (auto _ : state) {
    CScore score;
    if (!OpenScoreFile(score, w.path)) state.SkipWithError("open failed");
  }
}
BENCHMARK(BM_OpenDocument)->Unit(benchmark::kMillisecond);

}  // namespace
