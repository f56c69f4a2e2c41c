// Score text exchange on the reference workload, in memory (what the
// editor's text export and import commands pay) and file to file.
// The reported times are the steady state (a first trial run is not
// counted): the first conversion in a fresh process also pays for
// first-touching the document's memory (its IniFile entries take several
// times the size of the text), which on a virtual machine can cost more
// than the conversion itself.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "common/ini_file.h"
#include "exchange/lattix.h"
#include "model/score.h"
#include "tools/scoregen/scoregen.h"

namespace {

struct TextWorkload {
  CScore score;
  IniFile doc;
  std::string scorePath, textPath;
  TextWorkload() {
    GenerateWorkload(score);
    scoreExportXML(&score, &doc);
    const std::string base = "/tmp/quavix-bench-text-" + std::to_string(getpid());
    scorePath = base + ".q5s";
    textPath = base + ".q5t";
    score.SaveToFile(scorePath);
    doc.Save(textPath);
  }
  ~TextWorkload() {
    std::remove(scorePath.c_str());
    std::remove(textPath.c_str());
  }
};

TextWorkload& Reference() {
  static TextWorkload w;
  return w;
}

void BM_TextExport(benchmark::State& state) {
  TextWorkload& w = Reference();
  for (auto _ : state) {
    auto doc = std::make_unique<IniFile>();
    if (scoreExportXML(&w.score, doc.get()) != 1) state.SkipWithError("export failed");
    benchmark::DoNotOptimize(doc.get());
    state.PauseTiming();
    doc.reset();
    state.ResumeTiming();
  }
  state.counters["objects"] = double(w.score.ObjectCount());
  state.counters["sections"] = double(w.doc.SectionCount());
}
BENCHMARK(BM_TextExport)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_TextImport(benchmark::State& state) {
  TextWorkload& w = Reference();
  for (auto _ : state) {
    auto score = std::make_unique<CScore>();
    if (scoreImportXML(score.get(), &w.doc) != 1) state.SkipWithError("import failed");
    benchmark::DoNotOptimize(score.get());
    state.PauseTiming();
    score.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_TextImport)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Binary load, export and the saved text file (with its fsync).
void BM_TextExportFile(benchmark::State& state) {
  TextWorkload& w = Reference();
  const std::string out = w.textPath + ".out.q5t";
  for (auto _ : state) scoreExportXMLFile(w.scorePath.c_str(), out.c_str());
  std::remove(out.c_str());
}
BENCHMARK(BM_TextExportFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Text file load, import and the saved score file.
void BM_TextImportFile(benchmark::State& state) {
  TextWorkload& w = Reference();
  const std::string out = w.scorePath + ".out.q5s";
  for (auto _ : state) scoreImportXMLFile(out.c_str(), w.textPath.c_str());
  std::remove(out.c_str());
}
BENCHMARK(BM_TextImportFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
