% key: 2
\version "2.24.0"
\include "event-listener.ly"
\score {
  \new Staff \with { instrumentName = "upper" } {
    \key d \major \time 4/4
    d'2 fis'2~ | fis'4 a'4 d''2~ | d''2 cis''4 b'4~ | b'4 a'4 g'8 fis'8 e'4 | d'1 |
  }
  \layout { } \midi { \tempo 4 = 100 }
}
