// Live and offline playing on the reference workload:
//  - clock lateness: the performance played on the tick clock into a device
//    that stamps every message; lateness = arrival - the moment its tick was
//    due, p50 / p99 / max (targets 0.2 / 1 / 3 ms);
//  - WAV rendering through the software synthesizer, as a multiple of real
//    time (target at least 20x).
// By default 8 s of live playing and 120 s of audio; --full plays 60 s live
// and renders the whole workload.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "model/score.h"
#include "performance/build_performance.h"
#include "performance/midi_port.h"
#include "performance/midi_sequence.h"
#include "performance/play_clock.h"
#include "platform/sound/soft_synth.h"
#include "platform/sound/wav_render.h"
#include "tools/scoregen/scoregen.h"

namespace {

using Clock = std::chrono::steady_clock;

double MicrosNow() { return std::chrono::duration<double, std::micro>(Clock::now().time_since_epoch()).count(); }

struct StampingDevice : MidiOutDevice {
  std::vector<double>* stamps;
  explicit StampingDevice(std::vector<double>* s) : stamps(s) {}
  void SendShortMessage(uint32_t) override { stamps->push_back(MicrosNow()); }
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(p * (v.size() - 1) + 0.5))];
}

// Microseconds from tick -1 (the clock's start) to each tick, as the clock
// counts them: whole microseconds per tick at the tempo in force.
std::vector<double> DueTimes(const CMidiSequence& seq, int32_t lastTick) {
  std::vector<double> due(size_t(lastTick) + 2);
  int32_t tempo = seq.Tempo;
  size_t e = 0;
  double t = 0;
  for (int32_t tick = 0; tick <= lastTick; ++tick) {
    // The tick's own tempo event has not played when the tick becomes due.
    t += double(int64_t(tempo / std::max(seq.Division, 1)));
    due[tick] = t;
    for (; e < seq.Events.size() && seq.Events[e].Tick <= tick; ++e) {
      const MidiEventRec& ev = seq.Events[e];
      if (ev.IsMeta() && ev.Data1 == META_TEMPO && ev.Data2 >= 3) {
        const int32_t v = int32_t(ev.Data[0]) << 16 | int32_t(ev.Data[1]) << 8 | ev.Data[2];
        if (v >= seq.Division) tempo = v;
      }
    }
  }
  return due;
}

void ClockLateness(CMidiSequence& seq, double seconds) {
  // The events of the first `seconds`.
  const int32_t ticks = int32_t(seconds * 1e6 / (double(seq.Tempo) / seq.Division));
  std::vector<double> stamps;
  stamps.reserve(seq.Events.size() + 4);
  CMidiOutPort port([&](int, std::string*) { return std::make_unique<StampingDevice>(&stamps); });
  port.Open();
  stamps.clear();
  CPlayClock clock;
  clock.SetDelay(2);  // the player's delay
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  seq.OutputPort = &port;
  seq.PlayClock = &clock;
  seq.ChannelMask = 0xFFFF;
  seq.SeekTo(0);
  stamps.clear();
  clock.SetTempo(seq.Tempo);
  clock.SetDivision(seq.Division);
  clock.SetNotify([&](int32_t tick) {
    seq.PlayUpTo(std::min(tick, ticks));
    if (tick >= ticks) {
      std::lock_guard lock(m);
      done = true;
      cv.notify_all();
    }
  });
  const double start = MicrosNow();
  clock.Start();
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return done; });
  }
  clock.Stop();
  seq.OutputPort = nullptr;
  seq.PlayClock = nullptr;
  // Pair each stamp with its event, in order.
  std::vector<double> late;
  const std::vector<double> due = DueTimes(seq, ticks);
  size_t s = 0;
  for (const MidiEventRec& e : seq.Events) {
    if (e.Tick > ticks || s >= stamps.size()) break;
    if (e.IsMeta() || e.IsSysex()) continue;
    // Before the start (seeked) nothing was sent; the clock origin is `start`.
    late.push_back((stamps[s++] - (start + due[e.Tick])) / 1000.0);
  }
  std::printf("clock lateness over %.0f s, %zu events: p50 %.3f ms, p99 %.3f ms, max %.3f ms (targets 0.2 / 1 / 3)\n",
              seconds, late.size(), Percentile(late, 0.5), Percentile(late, 0.99), Percentile(late, 1.0));
}

void RenderSpeed(CMidiSequence& seq, double seconds) {
  if (seconds > 0) {
    const int32_t ticks = int32_t(seconds * 1e6 / (double(seq.Tempo) / seq.Division));
    auto it = std::find_if(seq.Events.begin(), seq.Events.end(), [&](const MidiEventRec& e) { return e.Tick > ticks; });
    seq.Events.erase(it, seq.Events.end());
  }
  const std::string path = "/tmp/quavix-bench-" + std::to_string(getpid()) + ".wav";
  std::string error;
  auto t0 = Clock::now();
  auto synth = SoftSynth::Create(44100, &error);  // the SoundFont load alone
  const double load = std::chrono::duration<double>(Clock::now() - t0).count();
  synth.reset();
  WavRenderResult result;
  t0 = Clock::now();
  if (!RenderWav(seq, path, {}, &result, &error)) {
    std::printf("render failed: %s\n", error.c_str());
    return;
  }
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count() - load;
  std::remove(path.c_str());
  std::printf("render: %.1f s of audio in %.2f s (SoundFont load %.2f s apart): %.1fx real time (target 20x); "
              "peak %.2f, %lld samples clipped\n",
              result.Seconds, wall, load, result.Seconds / wall, result.Peak, (long long)result.Clipped);
}

}  // namespace

int main(int argc, char** argv) {
  const bool full = argc > 1 && std::strcmp(argv[1], "--full") == 0;
  CScore score;
  GenerateWorkload(score);
  CMidiSequence seq;
  BuildPerformance(score, seq);
  std::printf("reference workload: %zu events, division %d, tempo %d\n", seq.Events.size(), seq.Division, seq.Tempo);
  ClockLateness(seq, full ? 60 : 8);
  RenderSpeed(seq, full ? 0 : 120);
  return 0;
}
