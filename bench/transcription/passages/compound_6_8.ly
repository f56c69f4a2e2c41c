% key: 0
\version "2.24.0"
\include "event-listener.ly"
\score {
  \new Staff \with { instrumentName = "upper" } {
    \key c \major \time 6/8
    c'4. e'4. | g'4 e'8 c'4 e'8 | d'8 e'8 f'8 g'4. | a'4.~ a'8 g'8 f'8 |
    e'4 d'8 c'8 d'8 e'8 | c'2. |
  }
  \layout { } \midi { \tempo 4. = 60 }
}
