#include "performance/midi_port.h"

#include "performance/play_clock.h"

bool CMidiOutPort::IsOpen() const {
  std::lock_guard lock(mutex_);
  return device_ptr_ != nullptr;
}

int CMidiOutPort::Open() {
  std::string error;
  std::unique_ptr<MidiOutDevice> device = opener_ ? opener_(device_, &error) : nullptr;
  if (!device) {
    error_ = error.empty() ? "no output device" : error;
    return -1;
  }
  error_.clear();
  std::lock_guard lock(mutex_);
  device_ptr_ = std::move(device);
  for (int channel = 0; channel < 2; ++channel) device_ptr_->SendShortMessage(0xC0u | channel | uint32_t(programs_[channel]) << 8);
  return 1;
}

int CMidiOutPort::Close() {
  std::unique_ptr<MidiOutDevice> closing;
  {
    std::lock_guard lock(mutex_);
    closing = std::move(device_ptr_);
  }
  return closing ? 1 : 0;  // the device closes here, outside the lock
}

int CMidiOutPort::SetProgram(int channel, int program) {
  if (channel < 0 || channel > 15) return -1;
  std::lock_guard lock(mutex_);
  programs_[channel] = uint8_t(program);
  if (!device_ptr_) return 0;
  device_ptr_->SendShortMessage(0xC0u | channel | uint32_t(programs_[channel] & 0x7F) << 8);
  return 1;
}

void CMidiOutPort::SendShortMessage(uint32_t message) {
  std::lock_guard lock(mutex_);
  if (device_ptr_) device_ptr_->SendShortMessage(message);
}

int CMidiInPort::Open() {
  if (device_ptr_) return 0;
  std::string error;
  device_ptr_ = opener_ ? opener_(device_, &error) : nullptr;
  if (!device_ptr_) {
    error_ = error.empty() ? "no input device" : error;
    return -1;
  }
  error_.clear();
  return 1;
}

int CMidiInPort::Start() {
  if (!device_ptr_) return -1;
  return device_ptr_->Start([this](uint32_t message) { OnMessage(message); }) ? 1 : -1;
}

int CMidiInPort::StopReset() {
  if (device_ptr_) device_ptr_->Stop();
  return 1;
}

int CMidiInPort::Close() {
  if (!device_ptr_) return 0;
  device_ptr_->Stop();
  device_ptr_.reset();
  return 1;
}

void CMidiInPort::OnMessage(uint32_t message) {
  if ((message & 0xFF) < 0x80 || (message & 0xFF) >= 0xF0) return;  // short channel messages only
  if (CMidiOutPort* thru = thru_.load()) thru->SendShortMessage(message);
  if (receiver_) receiver_(message, clock_ ? clock_->Tick() : 0);
}
