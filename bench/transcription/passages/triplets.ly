% key: 0
\version "2.24.0"
\include "event-listener.ly"
\score {
  \new Staff \with { instrumentName = "upper" } {
    \key c \major \time 4/4
    \tuplet 3/2 { c'8 d'8 e'8 } f'4 \tuplet 3/2 { g'8 a'8 b'8 } c''4 |
    \tuplet 3/2 { c''4 b'8 } a'4 \tuplet 3/2 { g'8 f'8 e'8 } d'4 |
    c'8 d'8 \tuplet 3/2 { e'8 f'8 g'8 } a'2 | g'1 |
  }
  \layout { } \midi { \tempo 4 = 90 }
}
