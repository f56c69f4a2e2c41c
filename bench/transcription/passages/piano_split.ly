% key: 0
\version "2.24.0"
\include "event-listener.ly"
\score {
  \new PianoStaff <<
    \new Staff \with { instrumentName = "upper" } { \key c \major \time 4/4
      e''4 d''8 c''8 d''4 g'4 | c''4 e''8 g''8 f''4 e''4 | d''2 b'4 g'4 | c''1 | }
    \new Staff \with { instrumentName = "lower" } { \clef bass \key c \major \time 4/4
      c4 e4 g4 b,4 | a,4 c4 g,2 | g,4 d4 b,4 g,4 | <c, c>1 | }
  >>
  \layout { } \midi { \tempo 4 = 100 \context { \Score midiChannelMapping = #'instrument } }
}
