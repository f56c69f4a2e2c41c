% key: -1
\version "2.24.0"
\include "event-listener.ly"
\score {
  \new PianoStaff <<
    \new Staff \with { instrumentName = "upper" } { \key f \major \time 3/4
      a'4 c''4 f''4 | e''2 d''4 | c''2. | bes'4 a'4 g'4 | f'2. | }
    \new Staff \with { instrumentName = "lower" } { \clef bass \key f \major \time 3/4
      f,2. | c,2 a,,4 | f,4 a,4 c4 | c,2. | <f,, f,>2. | }
  >>
  \layout { } \midi { \tempo 4 = 100 \context { \Score midiChannelMapping = #'instrument } }
}
