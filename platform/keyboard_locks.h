// The keyboard's lock lights (caps, num, scroll) for the status bar.
#pragma once

struct KeyboardLocks {
  bool Known = false;  // false where the display server cannot tell (offscreen, Wayland)
  bool Caps = false, Num = false, Scroll = false;
};

KeyboardLocks ReadKeyboardLocks();
