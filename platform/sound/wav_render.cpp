#include "platform/sound/wav_render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/sound/soft_synth.h"

namespace {

struct SynthSink : MidiMessageSink {
  SoftSynth* synth;
  explicit SynthSink(SoftSynth* s) : synth(s) {}
  void SendShortMessage(uint32_t message) override { synth->Send(message); }
};

struct TempoFollower : TempoListener {
  int32_t tempo;
  explicit TempoFollower(int32_t t) : tempo(t) {}
  void SetTempo(int32_t t) override { tempo = t; }
};

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

std::vector<uint8_t> WavHeader(int sampleRate, uint32_t dataBytes) {
  std::vector<uint8_t> h;
  h.insert(h.end(), {'R', 'I', 'F', 'F'});
  Put32(h, 36 + dataBytes);
  h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put32(h, 16);
  Put16(h, 1);  // PCM
  Put16(h, 2);
  Put32(h, uint32_t(sampleRate));
  Put32(h, uint32_t(sampleRate) * 4);
  Put16(h, 4);
  Put16(h, 16);
  h.insert(h.end(), {'d', 'a', 't', 'a'});
  Put32(h, dataBytes);
  return h;
}

// Audio from the synthesizer into the file, counting levels on the way.
class Writer {
 public:
  Writer(SoftSynth& synth, std::ofstream& out, WavRenderResult& stats) : synth_(synth), out_(out), stats_(stats) {}
  // Renders up to frame `end`.
  void RenderTo(int64_t end) {
    while (stats_.Frames < end) {
      const int n = int(std::min<int64_t>(end - stats_.Frames, kChunk));
      synth_.Render(floats_, n);
      for (int i = 0; i < 2 * n; ++i) {
        const float v = floats_[i];
        const float a = std::fabs(v);
        if (a > stats_.Peak) stats_.Peak = a;
        if (a > 1.0f) ++stats_.Clipped;
        const long s = std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f);
        pcm_[2 * i] = uint8_t(s & 0xFF);
        pcm_[2 * i + 1] = uint8_t((s >> 8) & 0xFF);
      }
      out_.write(reinterpret_cast<const char*>(pcm_), 4 * n);
      stats_.Frames += n;
    }
  }

 private:
  static constexpr int kChunk = 4096;
  SoftSynth& synth_;
  std::ofstream& out_;
  WavRenderResult& stats_;
  float floats_[2 * kChunk];
  uint8_t pcm_[4 * kChunk];
};

}  // namespace

bool RenderWav(CMidiSequence& sequence, const std::string& path, const WavRenderOptions& options,
               WavRenderResult* result, std::string* error) {
  std::unique_ptr<SoftSynth> synth = SoftSynth::Create(options.SampleRate, error);
  if (!synth) return false;
  const std::string temp = path + ".part";
  std::ofstream out(temp, std::ios::binary | std::ios::trunc);
  if (!out) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  const std::vector<uint8_t> blank = WavHeader(options.SampleRate, 0);
  out.write(reinterpret_cast<const char*>(blank.data()), std::streamsize(blank.size()));

  WavRenderResult stats;
  Writer writer(*synth, out, stats);
  SynthSink sink(synth.get());
  TempoFollower tempo(sequence.Tempo);
  MidiMessageSink* const savedPort = sequence.OutputPort;
  TempoListener* const savedClock = sequence.PlayClock;
  sequence.OutputPort = &sink;
  sequence.PlayClock = &tempo;
  sequence.SeekTo(0);
  tempo.tempo = sequence.Tempo;

  const int32_t lastTick = sequence.Events.empty() ? 0 : sequence.Events.back().Tick;
  const int32_t division = std::max(sequence.Division, 1);
  // The synthesizer applies what it is sent at its 64-frame block edges, so
  // each tick starts on the nearest edge: onsets stay within half a block.
  constexpr int64_t kBlock = 64;
  double micros = 0;
  int32_t nextReport = 0;
  const int32_t reportStep = std::max<int32_t>(1, lastTick / 200);
  for (int32_t tick = 0; tick <= lastTick; ++tick) {
    const int64_t frame = std::llround(micros * options.SampleRate / 1e6 / kBlock) * kBlock;
    writer.RenderTo(frame);
    sequence.PlayUpTo(tick);
    if (options.OnTick) options.OnTick(tick, sink);
    micros += double(std::max(tempo.tempo, division)) / division;
    if (options.Progress && tick >= nextReport) {
      options.Progress(double(tick) / std::max(lastTick, 1));
      nextReport = tick + reportStep;
    }
  }
  writer.RenderTo(stats.Frames + int64_t(options.TailSeconds * options.SampleRate));
  if (options.Progress) options.Progress(1.0);
  sequence.OutputPort = savedPort;
  sequence.PlayClock = savedClock;

  const std::vector<uint8_t> header = WavHeader(options.SampleRate, uint32_t(stats.Frames * 4));
  out.seekp(0);
  out.write(reinterpret_cast<const char*>(header.data()), std::streamsize(header.size()));
  out.close();
  std::error_code ec;
  if (!out || (std::filesystem::rename(temp, path, ec), ec)) {
    std::filesystem::remove(temp, ec);
    if (error) *error = "cannot write " + path;
    return false;
  }
  stats.Seconds = double(stats.Frames) / options.SampleRate;
  if (result) *result = stats;
  return true;
}

bool ReadWavMono(const std::string& path, std::vector<float>& samples, int& sampleRate) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto u16 = [&](size_t o) { return uint32_t(b[o]) | uint32_t(b[o + 1]) << 8; };
  auto u32 = [&](size_t o) { return u16(o) | u16(o + 2) << 16; };
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0) return false;
  int channels = 0, bits = 0;
  for (size_t o = 12; o + 8 <= b.size();) {
    const uint32_t size = u32(o + 4);
    if (std::memcmp(b.data() + o, "fmt ", 4) == 0 && size >= 16 && o + 24 <= b.size()) {
      channels = int(u16(o + 10));
      sampleRate = int(u32(o + 12));
      bits = int(u16(o + 22));
    } else if (std::memcmp(b.data() + o, "data", 4) == 0) {
      if (bits != 16 || channels < 1) return false;
      const size_t end = std::min<size_t>(b.size(), o + 8 + size);
      const size_t frames = (end - o - 8) / (2 * channels);
      samples.assign(frames, 0.0f);
      for (size_t f = 0; f < frames; ++f) {
        float sum = 0;
        for (int c = 0; c < channels; ++c) sum += int16_t(u16(o + 8 + 2 * (f * channels + c))) / 32768.0f;
        samples[f] = sum / channels;
      }
      return true;
    }
    o += 8 + size + (size & 1);
  }
  return false;
}
