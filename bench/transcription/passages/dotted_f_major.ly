% key: -1
\version "2.24.0"
\include "event-listener.ly"
\score {
  \new Staff \with { instrumentName = "upper" } {
    \key f \major \time 4/4
    f'4. g'8 a'4 bes'4 | c''4 bes'8 a'8 g'2 | a'8. g'16 f'4 c''4 c''4~ | c''4 d''4 c''8 bes'8 a'4 |
    g'2. a'4 | f'1 |
  }
  \layout { } \midi { \tempo 4 = 100 }
}
