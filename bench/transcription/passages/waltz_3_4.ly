% key: 1
\version "2.24.0"
\include "event-listener.ly"
\score {
  \new Staff \with { instrumentName = "upper" } {
    \key g \major \time 3/4
    g'2 b'4 | d''4 c''2 | b'4. a'8 g'4 | fis'2 a'4 | g'8 fis'8 e'8 d'8 c''4 | b'4 a'2 | g'2. |
  }
  \layout { } \midi { \tempo 4 = 120 }
}
