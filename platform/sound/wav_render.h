// A performance rendered offline through the software synthesizer into a
// 16-bit stereo WAV file, tick by tick as the live clock would play it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "performance/midi_sequence.h"

struct WavRenderOptions {
  int SampleRate = 44100;
  double TailSeconds = 2.0;  // after the last event, for the releases and the reverb
  // Called on every tick after the sequence's own events, with the sink the
  // synthesizer listens on (the accompaniment plays here).
  std::function<void(int32_t tick, MidiMessageSink& sink)> OnTick;
  // Fraction done, 0 to 1, called now and then.
  std::function<void(double fraction)> Progress;
};

struct WavRenderResult {
  int64_t Frames = 0;
  double Seconds = 0;      // length of the audio
  float Peak = 0;          // largest absolute sample before conversion, 1.0 = full scale
  int64_t Clipped = 0;     // samples beyond full scale
};

// Plays the whole sequence from tick 0 into `path` (written beside it first,
// then renamed, so a failure leaves no partial file). Returns false with a
// reason on failure.
bool RenderWav(CMidiSequence& sequence, const std::string& path, const WavRenderOptions& options,
               WavRenderResult* result, std::string* error);

// Reads a 16-bit PCM WAV file into mono samples (channels averaged); false
// when it is no such file.
bool ReadWavMono(const std::string& path, std::vector<float>& samples, int& sampleRate);
