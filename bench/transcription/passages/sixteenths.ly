% key: 0
\version "2.24.0"
\include "event-listener.ly"
\score {
  \new Staff \with { instrumentName = "upper" } {
    \key c \major \time 4/4
    c''16 d''16 e''16 f''16 g''8. f''16 e''16 d''16 c''16 b'16 c''4 |
    a'32 b'32 c''32 d''32 e''16 f''16 g''8 e''8 c''2 |
    g'16 a'16 b'8 c''8. d''16 e''4 r4 | c''1 |
  }
  \layout { } \midi { \tempo 4 = 72 }
}
