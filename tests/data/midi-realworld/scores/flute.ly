\version "2.24.0"
\header { title = "Piano, then flute" composer = "written for the test set" tagline = ##f }
\score {
  \new Staff \relative c'' {
    \set Staff.midiInstrument = "acoustic grand"
    \time 4/4 \tempo 4 = 100
    c4 d e f | g2 g | a4 a a a | g1 |
    \set Staff.midiInstrument = "flute"
    f4 f f f | e2 e | d4 d d d | c1 \bar "|."
  }
  \midi { }
}
