// MusicXML export of the reference workload (target: 300 ms) and the import of
// that file back into a score (target: 1 s).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <unistd.h>

#include "exchange/musicxml/musicxml_export.h"
#include "exchange/musicxml/musicxml_import.h"
#include "model/score.h"
#include "tools/scoregen/scoregen.h"

namespace {

void BM_MusicXmlExport(benchmark::State& state) {
  static CScore* score = [] {
    auto* s = new CScore;
    GenerateWorkload(*s);
    s->AfterLoad();
    return s;
  }();
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string xml = ExportMusicXml(*score);
    bytes = xml.size();
    benchmark::DoNotOptimize(xml.data());
  }
  state.counters["xml_bytes"] = double(bytes);
}
BENCHMARK(BM_MusicXmlExport)->Unit(benchmark::kMillisecond);

void BM_MusicXmlImport(benchmark::State& state) {
  static const std::string xml = [] {
    CScore score;
    GenerateWorkload(score);
    score.AfterLoad();
    return ExportMusicXml(score);
  }();
  const std::string path = "/tmp/quavix-bench-workload-" + std::to_string(::getpid()) + ".musicxml";
  std::ofstream(path, std::ios::binary) << xml;
  size_t notes = 0;
  for (auto _ : state) {
    CScore score;
    MusicXmlImportReport report;
    std::string error;
    if (!ImportMusicXmlFile(path, score, report, &error)) state.SkipWithError(error.c_str());
    notes = size_t(report.Notes);
  }
  state.counters["notes"] = double(notes);
  std::remove(path.c_str());
}
BENCHMARK(BM_MusicXmlImport)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
