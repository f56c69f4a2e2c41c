// The tick clock: its own thread converts elapsed steady time into whole
// ticks (the remainder carried in the origin, so nothing is lost between
// wake-ups) and tells its owner the tick on that thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "performance/midi_sequence.h"

// An event that a wait consumes (auto-reset).
class AutoResetEvent {
 public:
  void Set();
  void Reset();
  // True when it was set; clears it.
  bool TryWait();
  // Waits at most `milliseconds`; true when it was set (and clears it).
  bool Wait(int milliseconds);

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool set_ = false;
};

class CPlayClock : public TempoListener {
 public:
  enum State : int { kStopped = 0, kRunning = 1, kPaused = 2 };
  // Microseconds on a monotonic scale; tests drive the clock with their own.
  using TimeSource = std::function<double()>;
  using Notify = std::function<void(int32_t tick)>;

  CPlayClock();
  ~CPlayClock() override;
  CPlayClock(const CPlayClock&) = delete;
  CPlayClock& operator=(const CPlayClock&) = delete;

  // Called on the clock thread after every advance of the tick.
  void SetNotify(Notify notify) { notify_ = std::move(notify); }
  void SetTimeSource(TimeSource now) { now_ = std::move(now); }
  void SetTempo(int32_t microsecondsPerQuarter) override { tempo_.store(microsecondsPerQuarter); }
  void SetDivision(int32_t division) { division_.store(division == 0 ? 1 : division); }
  void SetTick(int32_t tick) { tick_.store(tick); }
  // Longest sleep between wake-ups in milliseconds (the editor 1, the player 2).
  void SetDelay(int milliseconds) { delay_ = milliseconds < 1 ? 1 : milliseconds; }

  int32_t Tick() const { return tick_.load(); }
  int32_t Tempo() const { return tempo_.load(); }
  int32_t Division() const { return division_.load(); }
  int State() const { return state_.load(); }
  bool TimerArmed() const { return armed_.load(); }

  // Running from tick -1; 0 when the clock thread cannot be started.
  int Start();
  // From running only: 1, else 0.
  int Pause();
  // From paused only: counting restarts now, so the tick does not jump.
  int Resume();
  // Ends the timer chain and waits (up to a second) until it has; tick 0.
  void Stop();

  // One wake-up of the chain: false when the chain ends. The thread calls
  // it; it is public so that a test can step a clock by hand.
  bool Step();

 private:
  void Run();
  double Now() const;
  double MicrosecondsPerTick() const;

  AutoResetEvent stopEvent_;
  AutoResetEvent doneEvent_;
  std::atomic<int> state_{kStopped};
  std::atomic<int32_t> tick_{-1};
  std::atomic<int32_t> division_{240};
  std::atomic<int32_t> tempo_{600000};
  std::atomic<double> origin_{0};
  std::atomic<bool> armed_{false};
  int delay_ = 5;
  const double speed_ = 1.0;  // factor on the tempo; nothing changes it
  std::thread thread_;
  Notify notify_;
  TimeSource now_;
};
