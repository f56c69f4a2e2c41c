#include "platform/sound/soft_synth.h"

#include <fluidsynth.h>
#include <rtmidi/RtMidi.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace {

// FluidSynth reports to stderr by default; the programs give their own
// message instead.
void QuietLog(int, const char*, void*) {}

void SilenceFluidLog() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level) fluid_set_log_function(level, QuietLog, nullptr);
  });
}

void QuietRtMidi(RtMidiError::Type, const std::string&, void*) {}

}  // namespace

std::string FindSoundFont() {
  if (const char* env = std::getenv("QUAVIX_SOUNDFONT"); env && *env) return env;
  for (const char* path : {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/default-GM.sf2",
                           "/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/soundfonts/default.sf2",
                           "/usr/share/soundfonts/FluidR3_GM.sf2"}) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) return path;
  }
  return {};
}

SoftSynth::~SoftSynth() {
  if (synth_) delete_fluid_synth(synth_);
  if (settings_) delete_fluid_settings(settings_);
}

std::unique_ptr<SoftSynth> SoftSynth::Create(int sampleRate, std::string* error, bool loadFont) {
  SilenceFluidLog();
  std::unique_ptr<SoftSynth> s(new SoftSynth);
  s->sampleRate_ = sampleRate;
  s->settings_ = new_fluid_settings();
  if (!s->settings_) {
    if (error) *error = "软件合成器无法初始化";
    return nullptr;
  }
  fluid_settings_setnum(s->settings_, "synth.sample-rate", sampleRate);
  fluid_settings_setint(s->settings_, "synth.polyphony", 256);
  // Loud enough for a single voice, with headroom for full chords on many
  // channels (the renderer counts what clips).
  fluid_settings_setnum(s->settings_, "synth.gain", 0.5);
  s->synth_ = new_fluid_synth(s->settings_);
  if (!s->synth_) {
    if (error) *error = "软件合成器无法初始化";
    return nullptr;
  }
  if (loadFont && !s->LoadFont(error)) return nullptr;
  return s;
}

bool SoftSynth::LoadFont(std::string* error) {
  const std::string font = FindSoundFont();
  if (font.empty()) {
    if (error) *error = "没有找到General MIDI音色库(SoundFont)";
    return false;
  }
  if (fluid_synth_sfload(synth_, font.c_str(), 1) == FLUID_FAILED) {
    if (error) *error = "无法读取音色库 " + font;
    return false;
  }
  return true;
}

void SoftSynth::Send(uint32_t message) {
  const int status = message & 0xFF, channel = status & 0x0F;
  const int d1 = (message >> 8) & 0x7F, d2 = (message >> 16) & 0x7F;
  switch (status & 0xF0) {
    case 0x80: fluid_synth_noteoff(synth_, channel, d1); break;
    case 0x90:
      if (d2 == 0) fluid_synth_noteoff(synth_, channel, d1);
      else fluid_synth_noteon(synth_, channel, d1, d2);
      break;
    case 0xA0: fluid_synth_key_pressure(synth_, channel, d1, d2); break;
    case 0xB0: fluid_synth_cc(synth_, channel, d1, d2); break;
    case 0xC0: fluid_synth_program_change(synth_, channel, d1); break;
    case 0xD0: fluid_synth_channel_pressure(synth_, channel, d1); break;
    case 0xE0: fluid_synth_pitch_bend(synth_, channel, d1 | d2 << 7); break;
    default: break;
  }
}

void SoftSynth::Render(float* interleaved, int frames) {
  fluid_synth_write_float(synth_, frames, interleaved, 0, 2, interleaved, 1, 2);
}

namespace {

// The synthesizer played by the sound server's own thread. The loaded
// synthesizer outlives its device: reopening the port (which the editor does
// after every stop, to silence it) then only resets it instead of reading the
// SoundFont again.
class SynthOutDevice : public MidiOutDevice {
 public:
  ~SynthOutDevice() override {
    if (driver_) delete_fluid_audio_driver(driver_);
    if (!owner_) return;  // a device that never opened
    std::lock_guard lock(CacheMutex());
    Cache().InUse = false;
  }
  static std::unique_ptr<MidiOutDevice> Open(std::string* error) {
    std::lock_guard lock(CacheMutex());
    Cached& cache = Cache();
    if (cache.InUse) {
      if (error) *error = "软件合成器已被占用";
      return nullptr;
    }
    const bool fresh = !cache.synth;
    if (fresh) {
      // The sound output first: without one the SoundFont is never read.
      cache.synth = SoftSynth::Create(48000, error, false);
      if (!cache.synth) return nullptr;
    }
    auto d = std::make_unique<SynthOutDevice>();
    d->synth_ = cache.synth.get();
    fluid_synth_system_reset(d->synth_->Synth());
    fluid_settings_t* settings = d->synth_->Settings();
    // Small periods: a note is heard a few milliseconds after it is sent.
    fluid_settings_setint(settings, "audio.period-size", 128);
    fluid_settings_setint(settings, "audio.periods", 2);
    fluid_settings_setint(settings, "audio.realtime-prio", 60);
    fluid_settings_setint(settings, "audio.pulseaudio.adjust-latency", 1);
    // $QUAVIX_AUDIO_DRIVER picks one driver ("file" writes the sound to
    // $QUAVIX_AUDIO_FILE: the live path without a sound card).
    std::vector<std::string> drivers = {"pipewire", "pulseaudio", "alsa"};
    if (const char* only = std::getenv("QUAVIX_AUDIO_DRIVER"); only && *only) drivers = {only};
    if (const char* file = std::getenv("QUAVIX_AUDIO_FILE"); file && *file)
      fluid_settings_setstr(settings, "audio.file.name", file);
    for (const std::string& driver : drivers) {
      if (fluid_settings_setstr(settings, "audio.driver", driver.c_str()) != FLUID_OK) continue;
      d->driver_ = new_fluid_audio_driver(settings, d->synth_->Synth());
      if (d->driver_) break;
    }
    if (!d->driver_) {
      if (error) *error = "无法打开声音输出(没有可用的声卡或声音服务)";
      if (fresh) cache.synth.reset();
      return nullptr;
    }
    if (fresh && !cache.synth->LoadFont(error)) {
      delete_fluid_audio_driver(d->driver_);
      d->driver_ = nullptr;
      cache.synth.reset();
      return nullptr;
    }
    cache.InUse = true;
    d->owner_ = true;
    return d;
  }
  void SendShortMessage(uint32_t message) override { synth_->Send(message); }

 private:
  struct Cached {
    std::unique_ptr<SoftSynth> synth;
    bool InUse = false;
  };
  static std::mutex& CacheMutex() {
    static std::mutex m;
    return m;
  }
  // Kept for the life of the process (never destroyed: the sound server's
  // threads may still be winding down at exit).
  static Cached& Cache() {
    static Cached* c = new Cached;
    return *c;
  }

  SoftSynth* synth_ = nullptr;
  fluid_audio_driver_t* driver_ = nullptr;
  bool owner_ = false;  // holds the cached synthesizer
};

class SequencerOutDevice : public MidiOutDevice {
 public:
  explicit SequencerOutDevice(std::unique_ptr<RtMidiOut> out) : out_(std::move(out)) {}
  void SendShortMessage(uint32_t message) override {
    const uint8_t bytes[3] = {uint8_t(message), uint8_t(message >> 8), uint8_t(message >> 16)};
    const int status = bytes[0];
    const size_t length = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 2 : 3;
    if (status < 0x80 || status >= 0xF0) return;
    try {
      out_->sendMessage(bytes, length);
    } catch (const RtMidiError&) {
    }
  }

 private:
  std::unique_ptr<RtMidiOut> out_;
};

class SequencerInDevice : public MidiInDevice {
 public:
  explicit SequencerInDevice(std::unique_ptr<RtMidiIn> in) : in_(std::move(in)) {}
  ~SequencerInDevice() override { Stop(); }
  bool Start(Handler handler) override {
    handler_ = std::move(handler);
    try {
      in_->ignoreTypes(true, true, true);  // sysex, timing and active sensing are not recorded
      in_->setCallback(&SequencerInDevice::OnInput, this);
    } catch (const RtMidiError&) {
      return false;
    }
    return true;
  }
  void Stop() override {
    try {
      in_->cancelCallback();
    } catch (const RtMidiError&) {
    }
  }

 private:
  static void OnInput(double, std::vector<unsigned char>* message, void* self) {
    if (!message || message->empty()) return;
    uint32_t packed = 0;
    for (size_t i = 0; i < message->size() && i < 3; ++i) packed |= uint32_t((*message)[i]) << (8 * i);
    auto* device = static_cast<SequencerInDevice*>(self);
    if (device->handler_) device->handler_(packed);
  }
  std::unique_ptr<RtMidiIn> in_;
  Handler handler_;
};

template <class Port>
std::unique_ptr<Port> OpenSequencer(std::string* error) {
  // Without the sequencer device the library would print its own complaints.
  std::error_code ec;
  if (!std::filesystem::exists("/dev/snd/seq", ec)) {
    if (error) *error = "没有MIDI音序器(/dev/snd/seq)";
    return nullptr;
  }
  try {
    auto port = std::make_unique<Port>(RtMidi::LINUX_ALSA, "Quavix");
    port->setErrorCallback(QuietRtMidi, nullptr);
    return port;
  } catch (const RtMidiError& e) {
    if (error) *error = "无法打开MIDI音序器: " + e.getMessage();
    return nullptr;
  }
}

template <class Port>
std::vector<std::string> PortNames() {
  std::vector<std::string> names;
  if (auto port = OpenSequencer<Port>(nullptr)) {
    try {
      const unsigned n = port->getPortCount();
      for (unsigned i = 0; i < n; ++i) names.push_back(port->getPortName(i));
    } catch (const RtMidiError&) {
    }
  }
  return names;
}

}  // namespace

std::vector<std::string> MidiOutDeviceNames() {
  std::vector<std::string> names{"软件合成器 (FluidSynth)"};
  for (std::string& n : PortNames<RtMidiOut>()) names.push_back(std::move(n));
  return names;
}

std::vector<std::string> MidiInDeviceNames() { return PortNames<RtMidiIn>(); }

std::unique_ptr<MidiOutDevice> OpenMidiOutDevice(int device, std::string* error) {
  if (device == 0) return SynthOutDevice::Open(error);
  auto out = OpenSequencer<RtMidiOut>(error);
  if (!out) return nullptr;
  try {
    if (device < 0 || unsigned(device - 1) >= out->getPortCount()) {
      if (error) *error = "没有这个MIDI输出设备";
      return nullptr;
    }
    out->openPort(unsigned(device - 1), "Quavix");
  } catch (const RtMidiError& e) {
    if (error) *error = "无法打开MIDI输出设备: " + e.getMessage();
    return nullptr;
  }
  return std::make_unique<SequencerOutDevice>(std::move(out));
}

std::unique_ptr<MidiInDevice> OpenMidiInDevice(int device, std::string* error) {
  auto in = OpenSequencer<RtMidiIn>(error);
  if (!in) return nullptr;
  try {
    if (device < 0 || unsigned(device) >= in->getPortCount()) {
      if (error) *error = "没有MIDI输入设备";
      return nullptr;
    }
    in->openPort(unsigned(device), "Quavix");
  } catch (const RtMidiError& e) {
    if (error) *error = "无法打开MIDI输入设备: " + e.getMessage();
    return nullptr;
  }
  return std::make_unique<SequencerInDevice>(std::move(in));
}
