// MusicXML export of the reference workload (target: 300 ms).
#include <benchmark/benchmark.h>

#include "exchange/musicxml/musicxml_export.h"
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

}  // namespace
