// An output device for tests: every short message it is sent, in order, read
// from the test's thread while the clock's thread writes.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "performance/midi_devices.h"

struct Wire {
  std::mutex mutex;
  std::vector<uint32_t> sent;
  std::vector<uint32_t> Sent() {
    std::lock_guard lock(mutex);
    return sent;
  }
};

struct WireDevice : MidiOutDevice {
  Wire* wire;
  explicit WireDevice(Wire* w) : wire(w) {}
  void SendShortMessage(uint32_t m) override {
    std::lock_guard lock(wire->mutex);
    wire->sent.push_back(m);
  }
};
