// The MIDI devices the ports talk to. Output device 0 is the built-in
// software synthesizer, the next ones the sequencer's output ports; the
// implementations live in the platform layer, tests use recording ones.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class MidiOutDevice {
 public:
  virtual ~MidiOutDevice() = default;
  // A packed short message: status in the low byte, then data 1 and data 2.
  // Called from the clock thread and the input thread; must not block long.
  virtual void SendShortMessage(uint32_t message) = 0;
};

class MidiInDevice {
 public:
  // Called on the device's own thread with each short message received.
  using Handler = std::function<void(uint32_t message)>;
  virtual ~MidiInDevice() = default;
  // Begins delivering messages to `handler`; false when the device cannot.
  virtual bool Start(Handler handler) = 0;
  // No handler call runs after Stop returns.
  virtual void Stop() = 0;
};

// Opens a device by number; nullptr, with a reason in `error`, when it cannot.
using MidiOutOpener = std::function<std::unique_ptr<MidiOutDevice>(int device, std::string* error)>;
using MidiInOpener = std::function<std::unique_ptr<MidiInDevice>(int device, std::string* error)>;
