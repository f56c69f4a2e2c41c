#include "platform/keyboard_locks.h"

#include <QGuiApplication>

#if QUAVIX_HAVE_X11
#include <X11/XKBlib.h>
#endif

KeyboardLocks ReadKeyboardLocks() {
  KeyboardLocks locks;
#if QUAVIX_HAVE_X11
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  Display* display = x11 ? x11->display() : nullptr;
  unsigned state = 0;
  if (display && XkbGetIndicatorState(display, XkbUseCoreKbd, &state) == Success) {
    // The core keyboard's first three indicators are Caps, Num and Scroll Lock.
    locks.Known = true;
    locks.Caps = state & 1;
    locks.Num = state & 2;
    locks.Scroll = state & 4;
  }
#endif
  return locks;
}
