// Work handed from another thread (the tick clock, MIDI input) to the user
// interface thread, carrying copied values: the only way those threads reach
// the windows or the score.
#pragma once

#include <functional>

class UiPoster {
 public:
  virtual ~UiPoster() = default;
  // Runs `work` later on the user interface thread; returns at once.
  virtual void Post(std::function<void()> work) = 0;
};
