#include "tools/cli/wav_command.h"

#include <unistd.h>

#include <cstdio>

#include "common/paths.h"
#include "model/score.h"
#include "model/score_open.h"
#include "performance/accompaniment.h"
#include "performance/build_performance.h"
#include "performance/midi_sequence.h"
#include "platform/sound/wav_render.h"

int CmdConvertToWav(const std::string& in, const std::string& out) {
  CScore score;
  std::string error;
  if (!OpenScoreFile(score, in, &error)) {
    std::fprintf(stderr, "quavix-cli: %s\n", error.c_str());
    return 1;
  }
  CMidiSequence sequence;
  BuildPerformance(score, sequence);
  WavRenderOptions options;
  // The accompaniment plays on the same ticks, after the score's own events,
  // as in the player.
  CAccompaniment accompaniment;
  accompaniment.LoadAccompaniment(qx::ProgramPath("res"));
  accompaniment.AttachAccompaniment(sequence);
  options.OnTick = [&accompaniment](int32_t tick, MidiMessageSink& sink) {
    accompaniment.OutputPort = &sink;
    accompaniment.AccompanimentTick(tick);
  };
  // The bar only where a person watches; scripts get a clean stderr.
  const bool bar = isatty(STDERR_FILENO);
  int shown = -1;
  if (bar) {
    options.Progress = [&shown](double fraction) {
      const int percent = int(fraction * 100);
      if (percent == shown) return;
      shown = percent;
      const int filled = percent * 40 / 100;
      std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################", 40 - filled, "",
                   percent);
      std::fflush(stderr);
    };
  }
  WavRenderResult result;
  const bool ok = RenderWav(sequence, out, options, &result, &error);
  if (bar) std::fprintf(stderr, "\n");
  if (!ok) {
    std::fprintf(stderr, "quavix-cli: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
