// Drawing benchmarks: one screen of the reference workload, and a ten-page
// score exported to PNG.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/score.h"
#include "notation/draw.h"
#include "notation/glyph_table.h"
#include "platform/app_fonts.h"
#include "platform/qt_device_context.h"
#include "platform/score_image.h"
#include "tools/scoregen/scoregen.h"

namespace {

void BM_DrawOneScreen(benchmark::State& state) {
  static CScore score;
  if (score.ObjectCount() == 0) {
    GenerateWorkload(score);
    score.AfterLoad();
  }
  QImage image(1600, 1000, QImage::Format_RGB32);
  const int top = 40000;  // a screen in the middle of the score
  for (auto _ : state) {
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.translate(0, -top);
    QtDeviceContext dc(painter, {0, top, 1600, top + 1000});
    DrawScore(dc, score);
  }
  state.counters["objects"] = double(score.ObjectCount());
}
BENCHMARK(BM_DrawOneScreen)->Unit(benchmark::kMillisecond);

void BM_ExportTenPagesToPng(benchmark::State& state) {
  WorkloadOptions o;
  o.Systems = 12;  // 12 systems of 8 staves: about ten pages of 1,000 units
  o.DynamicsTexts = 96;
  o.Hairpins = 48;
  CScore score;
  GenerateWorkload(score, o);
  score.AfterLoad();
  score.ComputeExtent();
  const std::string path = "/tmp/quavix-bench-pages.png";
  for (auto _ : state) {
    std::string error;
    if (!SaveScoreImage(score, path, &error)) state.SkipWithError(error.c_str());
  }
  std::remove(path.c_str());
  state.counters["pages"] = double(score.ExtentHeight) / 1000.0;
}
BENCHMARK(BM_ExportTenPagesToPng)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  LoadCharList();
  RegisterMusicFont();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
