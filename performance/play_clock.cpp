#include "performance/play_clock.h"

#include <pthread.h>
#include <sched.h>

#include <chrono>
#include <cmath>

void AutoResetEvent::Set() {
  {
    std::lock_guard lock(mutex_);
    set_ = true;
  }
  cv_.notify_all();
}

void AutoResetEvent::Reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool AutoResetEvent::TryWait() {
  std::lock_guard lock(mutex_);
  const bool was = set_;
  set_ = false;
  return was;
}

bool AutoResetEvent::Wait(int milliseconds) {
  std::unique_lock lock(mutex_);
  if (!cv_.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return set_; })) return false;
  set_ = false;
  return true;
}

CPlayClock::CPlayClock() = default;

CPlayClock::~CPlayClock() {
  Stop();
  if (thread_.joinable()) thread_.join();
}

double CPlayClock::Now() const {
  if (now_) return now_();
  using namespace std::chrono;
  return double(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

double CPlayClock::MicrosecondsPerTick() const {
  return std::floor(double(tempo_.load()) * speed_ / double(division_.load()));
}

int CPlayClock::Start() {
  stopEvent_.Reset();
  doneEvent_.Reset();
  tick_.store(-1);
  origin_.store(Now());
  // Running before the chain starts, so that its first wake-up counts.
  state_.store(kRunning);
  if (!armed_.load()) {
    if (thread_.joinable()) thread_.join();  // a chain that ended on its own
    armed_.store(true);
    try {
      thread_ = std::thread(&CPlayClock::Run, this);
    } catch (const std::system_error&) {
      armed_.store(false);
      state_.store(kStopped);
      return 0;
    }
  }
  return 1;
}

int CPlayClock::Pause() {
  int expected = kRunning;
  return state_.compare_exchange_strong(expected, kPaused) ? 1 : 0;
}

int CPlayClock::Resume() {
  if (state_.load() != kPaused) return 0;
  // The origin first: the chain reads the state, then the origin.
  origin_.store(Now());
  int expected = kPaused;
  return state_.compare_exchange_strong(expected, kRunning) ? 1 : 0;
}

void CPlayClock::Stop() {
  stopEvent_.Set();
  state_.store(kStopped);
  if (armed_.load()) {
    for (int i = 0; i < 100; ++i) {
      if (doneEvent_.Wait(10)) break;
    }
  }
  // The chain has acknowledged (or ends at its next wake-up): no notification
  // runs once Stop has returned.
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
  armed_.store(false);
  tick_.store(0);
}

bool CPlayClock::Step() {
  if (stopEvent_.TryWait() || state_.load() == kStopped) {
    armed_.store(false);
    doneEvent_.Set();
    return false;
  }
  if (state_.load() == kRunning) {
    const double perTick = MicrosecondsPerTick();
    const double origin = origin_.load();
    const double elapsed = std::floor(Now() - origin);
    if (perTick > 0 && elapsed >= perTick) {
      const double n = std::floor(elapsed / perTick);
      const int32_t tick = tick_.load() + int32_t(n);
      tick_.store(tick);
      origin_.store(origin + n * perTick);
      if (notify_) notify_(tick);
    }
  }
  return true;
}

void CPlayClock::Run() {
  using namespace std::chrono;
  // Real-time priority where the system grants it, so that busy processes
  // do not delay the sends; without it the clock runs at normal priority.
  sched_param param{};
  param.sched_priority = 40;
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
  while (true) {
    // Wake when the next tick is due, or after the delay if that is sooner;
    // on a test's own time source simply after the delay.
    double wait = delay_ * 1000.0;
    const double perTick = MicrosecondsPerTick();
    if (!now_ && state_.load() == kRunning && perTick > 0) {
      const double due = origin_.load() + perTick - Now();
      if (due < wait) wait = due < 0 ? 0 : due;
    }
    std::this_thread::sleep_for(microseconds(int64_t(wait)));
    if (!Step()) break;
  }
}
