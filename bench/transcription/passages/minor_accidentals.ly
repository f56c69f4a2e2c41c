% key: -1
\version "2.24.0"
\include "event-listener.ly"
\score {
  \new Staff \with { instrumentName = "upper" } {
    \key d \minor \time 4/4
    d'4 e'4 f'4 g'4 | a'4 bes'4 cis''2 | d''4 a'8 f'8 e'4 cis'4 | d'2 r2 |
  }
  \layout { } \midi { \tempo 4 = 100 }
}
