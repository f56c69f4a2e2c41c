% key: 0
\version "2.24.0"
\include "event-listener.ly"
\score {
  <<
    \new Staff \with { instrumentName = "upper" } { \key c \major \time 4/4
      c''4 g'4 e'4 g'4 | c''2 g'2 | a'4 f'4 d'4 f'4 | c''1 | }
    \new DrumStaff { \drummode { bd4 sn4 bd4 sn4 | bd4 sn4 bd8 bd8 sn4 | bd4 sn4 bd4 sn4 | bd1 | } }
  >>
  \layout { } \midi { \tempo 4 = 100 }
}
