// MIDI import of a generated 10,000-note file: reading, recording into a
// fresh score and the recalculation pass, with the reading alone and the
// recalculation pass of the imported score alone as peers.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "editing/recorder.h"
#include "model/score.h"
#include "performance/midi_file.h"
#include "performance/midi_sequence.h"

namespace {

constexpr int kNotes = 10000;

// A two-hand piece in 4/4 at 480 ticks per quarter, played slightly off the
// grid: a melody of sixteenths to halves on channel 0 with an occasional
// third above and rests, and a bass of quarters to whole notes on channel 1.
const std::vector<uint8_t>& PieceBytes() {
  static const std::vector<uint8_t> bytes = [] {
    CMidiSequence seq;
    seq.Division = 480;
    seq.AddTempo(0, 500000);
    seq.AddTimeSignature(0, 4, 4, 24, 8);
    seq.AddKeySignature(0, 2, 0);
    std::mt19937 random(7);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    auto jitter = [&] { return pick(-12, 12); };
    const int melody[] = {120, 240, 240, 480, 480, 960};
    const int bass[] = {480, 960, 960, 1920};
    int notes = 0;
    int64_t t = 0;
    while (notes < kNotes * 3 / 4) {
      const int length = melody[pick(0, 5)];
      if (pick(0, 9) == 0) {  // a rest
        t += length;
        continue;
      }
      const int key = pick(62, 86);
      const int on = int(std::max<int64_t>(0, t + jitter()));
      seq.AddEvent(on, 0x90, uint8_t(key), uint8_t(pick(60, 110)));
      seq.AddEvent(on + length * 9 / 10, 0x80, uint8_t(key), 0);
      ++notes;
      if (pick(0, 4) == 0) {
        seq.AddEvent(on, 0x90, uint8_t(key + 4), 80);
        seq.AddEvent(on + length * 9 / 10, 0x80, uint8_t(key + 4), 0);
        ++notes;
      }
      t += length;
    }
    for (int64_t b = 0; notes < kNotes; ++notes) {
      const int length = bass[pick(0, 3)];
      const int key = pick(36, 55);
      const int on = int(std::max<int64_t>(0, b + jitter()));
      seq.AddEvent(on, 0x91, uint8_t(key), 90);
      seq.AddEvent(on + length - 20, 0x81, uint8_t(key), 0);
      b += length;
    }
    SortEvents(seq.Events);
    std::vector<uint8_t> out;
    EncodeMidiFile(seq, out);
    return out;
  }();
  return bytes;
}

void BM_ImportMidiFile(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = PieceBytes();
  size_t objects = 0, measures = 0;
  for (auto _ : state) {
    CMidiSequence seq;
    ReadMidiBytes(seq, bytes.data(), bytes.size());
    CScore score;
    PrepareImportScore(score);
    CRecorder recorder(score);
    ApplyImportSettings(recorder, MidiImportSettings{});
    ImportSequence(recorder, seq);
    objects = score.ObjectCount();
    measures = recorder.Measures.size();
    benchmark::DoNotOptimize(score.Staffs.data());
  }
  state.counters["objects"] = double(objects);
  state.counters["measures"] = double(measures);
}
BENCHMARK(BM_ImportMidiFile)->Unit(benchmark::kMillisecond);

void BM_ImportReadOnly(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = PieceBytes();
  size_t events = 0;
  for (auto _ : state) {
    CMidiSequence seq;
    ReadMidiBytes(seq, bytes.data(), bytes.size());
    events = seq.Events.size();
  }
  state.counters["events"] = double(events);
}
BENCHMARK(BM_ImportReadOnly)->Unit(benchmark::kMillisecond);

// The recalculation pass the import ends with, on the imported score.
void BM_ImportedUpdateDerived(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = PieceBytes();
  CMidiSequence seq;
  ReadMidiBytes(seq, bytes.data(), bytes.size());
  CScore score;
  PrepareImportScore(score);
  CRecorder recorder(score);
  ApplyImportSettings(recorder, MidiImportSettings{});
  ImportSequence(recorder, seq);
  for (auto _ : state) score.UpdateDerived();
}
BENCHMARK(BM_ImportedUpdateDerived)->Unit(benchmark::kMillisecond);

}  // namespace
