% key: 0
\version "2.24.0"
\include "event-listener.ly"
\score {
  \new Staff \with { instrumentName = "upper" } {
    \key c \major \time 4/4
    <c' e' g'>4 <d' f' a'>4 <e' g' c''>2 | <f' a' c''>4 <g' b' d''>4 <c' d' g'>2 |
    <e' g' c''>4. <d' f' b'>8 <c' e' g'>2 | <b d' g'>2 <c' e' g' c''>2 |
  }
  \layout { } \midi { \tempo 4 = 90 }
}
