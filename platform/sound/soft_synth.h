// The built-in software synthesizer (output device 0): FluidSynth with a
// General MIDI SoundFont, played live through the sound server or offline
// into a buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "performance/midi_devices.h"

struct _fluid_hashtable_t;
struct _fluid_synth_t;
struct _fluid_audio_driver_t;

// The SoundFont the synthesizer loads: $QUAVIX_SOUNDFONT when set, else the
// first General MIDI font installed (FluidR3, then the small TimGM6mb).
// Empty when there is none.
std::string FindSoundFont();

class SoftSynth {
 public:
  ~SoftSynth();
  // A synthesizer with the SoundFont loaded (or none yet when `loadFont` is
  // false); nullptr with a reason on failure.
  static std::unique_ptr<SoftSynth> Create(int sampleRate, std::string* error, bool loadFont = true);
  // Loads the General MIDI SoundFont; false with a reason.
  bool LoadFont(std::string* error);

  // Plays a short message at once (notes, controllers, programs, pitch bend,
  // pressure); other messages are ignored. Safe from any thread.
  void Send(uint32_t message);
  // Renders interleaved stereo frames.
  void Render(float* interleaved, int frames);
  int SampleRate() const { return sampleRate_; }

  _fluid_synth_t* Synth() const { return synth_; }
  _fluid_hashtable_t* Settings() const { return settings_; }

 private:
  SoftSynth() = default;
  _fluid_hashtable_t* settings_ = nullptr;
  _fluid_synth_t* synth_ = nullptr;
  int sampleRate_ = 0;
};

// Device numbers: 0 the synthesizer, then every sequencer output port.
std::vector<std::string> MidiOutDeviceNames();
std::vector<std::string> MidiInDeviceNames();
// Opens output device n: 0 plays the synthesizer through the sound server
// (PipeWire, PulseAudio or ALSA, small buffers); n >= 1 the sequencer's
// output port n - 1. Fails with a reason on a machine without either.
std::unique_ptr<MidiOutDevice> OpenMidiOutDevice(int device, std::string* error);
// Input device n: the sequencer's input port n.
std::unique_ptr<MidiInDevice> OpenMidiInDevice(int device, std::string* error);
