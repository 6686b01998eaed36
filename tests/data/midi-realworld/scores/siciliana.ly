\version "2.24.0"
\header { title = "Siciliana" composer = "written for the test set" tagline = ##f }
\score {
  <<
    \new Staff \with { midiInstrument = "oboe" } \relative c'' {
      \time 12/8 \tempo 8 = 150
      a8. b16 a8 c4 b8 a4. e4 r8 | f8. g16 f8 e4 d8 c4. b4 r8 |
      a'8. b16 c8 \tuplet 3/2 { d16 c b } a8 gis8 a4. ~ a4. \bar "|."
    }
    \new Staff \with { midiInstrument = "cello" } \relative c {
      \clef bass \time 12/8
      a4. e4. a4. c4. | d4. e4. a,4. e'4. | a,4. e'4. a,2. \bar "|."
    }
    \new DrumStaff \drummode { \time 12/8 bd4. hh4. sn4. hh4. | bd4. hh4. sn4. hh4. | bd4. hh8 hh hh sn2. }
  >>
  \midi { }
}
