% key: -2
\version "2.24.0"
\include "event-listener.ly"
\score {
  \new Staff \with { instrumentName = "upper" } {
    \key bes \major \time 12/8
    bes'4. d''4 c''8 bes'4. f'4. | g'8 a'8 bes'8 c''4. d''2. | ees''4 d''8 c''4 bes'8 a'4. g'4. | bes'1. |
  }
  \layout { } \midi { \tempo 4. = 60 }
}
