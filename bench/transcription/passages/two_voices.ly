% key: 0
\version "2.24.0"
\include "event-listener.ly"
\score {
  \new Staff \with { instrumentName = "upper" } {
    \key c \major \time 4/4
    << { e''4 f''4 g''4 a''4 | g''2 e''2 | f''4 e''4 d''2 | c''1 } \\
       { c''2 b'2 | c''4 b'4 c''2 | a'2 g'2 | e'1 } >>
  }
  \layout { } \midi { \tempo 4 = 90 }
}
