// The offline render heard back: note onsets found in the audio land where
// the score puts them, at sane levels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "common/gbk.h"
#include "performance/accompaniment.h"
#include "performance/build_performance.h"
#include "performance/midi_sequence.h"
#include "platform/sound/soft_synth.h"
#include "platform/sound/wav_render.h"
#include "tests/model/score_fixture.h"

namespace {

// Onsets by energy: where the energy of the next millisecond first rises
// fiftyfold above that of the (up to) 30 ms before it; one onset per 100 ms
// at most.
std::vector<double> EnergyOnsets(const std::vector<float>& x, int rate) {
  const size_t shortLen = size_t(rate / 1000), longLen = size_t(rate * 30 / 1000), hop = 4;
  std::vector<double> prefix(x.size() + 1, 0.0);
  for (size_t i = 0; i < x.size(); ++i) prefix[i + 1] = prefix[i] + double(x[i]) * x[i];
  auto energy = [&](size_t from, size_t len) { return len ? (prefix[from + len] - prefix[from]) / double(len) : 0.0; };
  std::vector<double> onsets;
  for (size_t n = 0; n + shortLen < x.size(); n += hop) {
    const size_t back = std::min(n, longLen);
    const double now = energy(n, shortLen), before = energy(n - back, back);
    if (now > 1e-8 && now > 50 * before) {
      onsets.push_back(double(n) / rate);
      n += size_t(rate / 10);
    }
  }
  return onsets;
}

TEST(WavRender, OnsetsFollowTheScoreThroughATempoChangeAtSaneLevels) {
  if (FindSoundFont().empty()) GTEST_SKIP() << "no General MIDI SoundFont installed (scripts/setup.sh installs one)";
  // Two measures of quarter notes on the percussion channel (wood block and
  // claves: sharp attacks, short decays); the second measure twice as fast.
  SmallScore s(1, 2);
  s.Stave(0)->Channel = 9;
  const int xs[8] = {60, 100, 140, 180, 330, 370, 410, 450};
  const int keys[4] = {76, 75, 76, 75};
  for (int i = 0; i < 8; ++i) {
    CNote* n = s.Note(0, i / 4, xs[i], 8, 3, NTS_UPDATE_TICKS | NTS_UPDATE_PLAYTICKS | NTS_UPDATE_VELOCITY);
    n->Key = uint8_t(keys[i % 4]);
    n->Channel = 9;
  }
  CMidiSequence seq;
  BuildPerformance(s.score, seq);
  seq.AddTempo(960, 300000);
  SortEvents(seq.Events);
  std::vector<int32_t> ticks;
  for (const MidiEventRec& e : seq.Events)
    if (e.IsNoteOn() && e.Data2 > 0) ticks.push_back(e.Tick);
  ASSERT_EQ(ticks, (std::vector<int32_t>{0, 240, 480, 720, 960, 1200, 1440, 1680}));
  // 2.5 ms per tick, 1.25 ms from tick 960 on.
  std::vector<double> expected;
  for (int32_t t : ticks) expected.push_back(t <= 960 ? t * 0.0025 : 2.4 + (t - 960) * 0.00125);

  const std::string path = (std::filesystem::temp_directory_path() / "quavix_onsets.wav").string();
  WavRenderResult result;
  std::string error;
  ASSERT_TRUE(RenderWav(seq, path, {}, &result, &error)) << error;
  EXPECT_FALSE(std::filesystem::exists(path + ".part"));
  EXPECT_EQ(result.Clipped, 0);
  EXPECT_LT(result.Peak, 1.0f);
  EXPECT_GT(result.Peak, 0.05f);  // audible, not a whisper

  std::vector<float> audio;
  int rate = 0;
  ASSERT_TRUE(ReadWavMono(path, audio, rate));
  EXPECT_EQ(rate, 44100);
  EXPECT_EQ(int64_t(audio.size()), result.Frames);
  const std::vector<double> onsets = EnergyOnsets(audio, rate);
  ASSERT_EQ(onsets.size(), expected.size());
  for (size_t i = 0; i < onsets.size(); ++i) EXPECT_NEAR(onsets[i], expected[i], 0.002) << "note " << i;
  // Each note sounds (above -54 dB over its first 50 ms), and the reverb's
  // tail has died away two seconds after the last.
  auto rms = [&](double from, double seconds) {
    double sum = 0;
    const size_t a = size_t(from * rate), len = size_t(seconds * rate);
    for (size_t i = a; i < a + len && i < audio.size(); ++i) sum += double(audio[i]) * audio[i];
    return std::sqrt(sum / len);
  };
  for (double t : expected) EXPECT_GT(rms(t + 0.002, 0.05), 0.002) << "at " << t;
  EXPECT_LT(rms(double(audio.size()) / rate - 0.1, 0.1), 0.0005);
  std::filesystem::remove(path);
}

#ifdef QUAVIX_RES_DIR
// A performance of accompaniment instructions only: the shipped pop style
// under C, rendered with the engine on the render's ticks, is heard on every
// beat of its two bars.
TEST(WavRender, TheAccompanimentIsRenderedOnTheSameTicks) {
  if (FindSoundFont().empty()) GTEST_SKIP() << "no General MIDI SoundFont installed";
  CAccompaniment accompaniment;
  accompaniment.LoadAccompaniment(QUAVIX_RES_DIR);
  std::string pop;
  ASSERT_TRUE(qx::Utf8ToGbk("流行", pop));
  CMidiSequence seq;  // 2.5 ms per tick
  seq.AddText(0, "!r:" + pop);
  seq.AddText(0, "!c:C");
  seq.AddEvent(1920, 0xB0, 123, 0);  // the end: two bars
  accompaniment.AttachAccompaniment(seq);
  WavRenderOptions options;
  options.OnTick = [&](int32_t tick, MidiMessageSink& sink) {
    accompaniment.OutputPort = &sink;
    accompaniment.AccompanimentTick(tick);
  };
  const std::string path = (std::filesystem::temp_directory_path() / "quavix_accompaniment.wav").string();
  WavRenderResult result;
  std::string error;
  ASSERT_TRUE(RenderWav(seq, path, options, &result, &error)) << error;
  std::vector<float> audio;
  int rate = 0;
  ASSERT_TRUE(ReadWavMono(path, audio, rate));
  std::filesystem::remove(path);
  EXPECT_EQ(result.Clipped, 0);
  for (int beat = 0; beat < 8; ++beat) {
    double sum = 0;
    const size_t from = size_t(beat * 0.6 * rate), len = size_t(0.1 * rate);
    for (size_t i = from; i < from + len; ++i) sum += double(audio[i]) * audio[i];
    EXPECT_GT(std::sqrt(sum / len), 0.01) << "beat " << beat;
  }
}
#endif

TEST(WavRender, AnUnwritablePathFailsWithoutAFile) {
  if (FindSoundFont().empty()) GTEST_SKIP() << "no General MIDI SoundFont installed";
  CMidiSequence seq;
  seq.AddEvent(0, 0x90, 60, 100);
  std::string error;
  EXPECT_FALSE(RenderWav(seq, "/nonexistent-folder/x.wav", {}, nullptr, &error));
  EXPECT_FALSE(error.empty());
}

// Without a sound card or sequencer the devices fail with a reason; nothing
// crashes and the ports stay closed.
TEST(MidiDevices, DevicesThatCannotOpenSayWhy) {
  std::string error;
  auto in = OpenMidiInDevice(99, &error);
  EXPECT_EQ(in, nullptr);
  EXPECT_FALSE(error.empty());
  error.clear();
  auto out = OpenMidiOutDevice(1000, &error);
  EXPECT_EQ(out, nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(MidiOutDeviceNames().empty());  // the synthesizer is always listed
}

// Device 0 live, on the synthesizer's file output instead of a sound card:
// it opens, plays, refuses a second user, and reopens without reading the
// SoundFont again.
TEST(MidiDevices, TheSynthesizerOpensPlaysAndReopens) {
  if (FindSoundFont().empty()) GTEST_SKIP() << "no General MIDI SoundFont installed";
  const std::string file = (std::filesystem::temp_directory_path() / "quavix_live.wav").string();
  setenv("QUAVIX_AUDIO_DRIVER", "file", 1);
  setenv("QUAVIX_AUDIO_FILE", file.c_str(), 1);
  std::string error;
  auto first = OpenMidiOutDevice(0, &error);
  ASSERT_NE(first, nullptr) << error;
  first->SendShortMessage(0x643C90);
  std::string busy;
  EXPECT_EQ(OpenMidiOutDevice(0, &busy), nullptr);
  EXPECT_FALSE(busy.empty());
  first.reset();
  auto again = OpenMidiOutDevice(0, &error);
  ASSERT_NE(again, nullptr) << error;
  again.reset();
  unsetenv("QUAVIX_AUDIO_DRIVER");
  unsetenv("QUAVIX_AUDIO_FILE");
  std::filesystem::remove(file);
}

}  // namespace
