% key: -3
\version "2.24.0"
\include "event-listener.ly"
\score {
  \new Staff \with { instrumentName = "upper" } {
    \key ees \major \time 4/4
    ees'4 r4 g'4 r4 | r2 bes'2 | r1 | c''8 r8 bes'4 r2 | aes'2 g'4 r4 |
  }
  \layout { } \midi { \tempo 4 = 100 }
}
