% key: 0
\version "2.24.0"
\include "event-listener.ly"
\score {
  \new Staff \with { instrumentName = "upper" } {
    \key c \major \time 2/4
    c''8 d''8~ d''8 e''8 | f''16 e''16 d''8~ d''8 c''8 | g'4. a'8 | b'8 c''4. | c''2 |
  }
  \layout { } \midi { \tempo 4 = 80 }
}
