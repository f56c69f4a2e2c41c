// The output and input ports a main frame owns: an open device or none, the
// programs last set per channel, and the input's thru connection.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "performance/midi_devices.h"
#include "performance/midi_sequence.h"

class CPlayClock;

class CMidiOutPort : public MidiMessageSink {
 public:
  explicit CMidiOutPort(MidiOutOpener opener = {}) : opener_(std::move(opener)) {}
  ~CMidiOutPort() override { Close(); }

  int Device() const { return device_; }
  void SetDevice(int device) { device_ = device; }
  bool IsOpen() const;
  // Why the last Open failed (empty after a success).
  const std::string& LastError() const { return error_; }

  // Opens the device and sends the stored programs of channels 0 and 1.
  // Returns 1, or -1 when the device cannot be opened (the port stays closed).
  int Open();
  // 1 when the port was open, else 0.
  int Close();
  // -1 for a channel outside 0-15; stores the program and sends it when
  // open (1), else 0.
  int SetProgram(int channel, int program);
  int Program(int channel) const { return programs_[channel & 15]; }

  // Sent straight to the device; nothing when closed.
  void SendShortMessage(uint32_t message) override;

 private:
  MidiOutOpener opener_;
  mutable std::mutex mutex_;  // the device against a close during a send from another thread
  std::unique_ptr<MidiOutDevice> device_ptr_;
  int device_ = 0;
  std::array<uint8_t, 16> programs_{};
  std::string error_;
};

class CMidiInPort {
 public:
  // Receives each short message with the clock's tick when it arrived; runs
  // on the device's thread, so it only passes the values on.
  using Receiver = std::function<void(uint32_t message, int32_t tick)>;

  explicit CMidiInPort(MidiInOpener opener = {}) : opener_(std::move(opener)) {}
  ~CMidiInPort() { Close(); }

  int Device() const { return device_; }
  void SetDevice(int device) { device_ = device; }
  void SetReceiver(Receiver receiver) { receiver_ = std::move(receiver); }
  void SetClock(const CPlayClock* clock) { clock_ = clock; }
  // Thru: everything received is sent to this port at once (nullptr: off).
  void Connect(CMidiOutPort* thru) { thru_.store(thru); }
  void Disconnect() { thru_.store(nullptr); }
  bool IsOpen() const { return device_ptr_ != nullptr; }
  const std::string& LastError() const { return error_; }

  // 0 when already open, -1 when the device cannot be opened, else 1.
  int Open();
  // 1, or -1 when closed or the device does not start.
  int Start();
  // Stops delivering; 1.
  int StopReset();
  // 1 when it was open, else 0.
  int Close();

 private:
  void OnMessage(uint32_t message);

  MidiInOpener opener_;
  std::unique_ptr<MidiInDevice> device_ptr_;
  int device_ = 0;
  Receiver receiver_;
  const CPlayClock* clock_ = nullptr;
  std::atomic<CMidiOutPort*> thru_{nullptr};
  std::string error_;
};
