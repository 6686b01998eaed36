\version "2.24.0"
\header { title = "Sonatina for the import" composer = "written for the test set" tagline = ##f }
\score {
  \new PianoStaff <<
    \new Staff \relative c'' {
      \time 2/4 \tempo 4 = 118
      c8-. e-. g-. e-. | \grace { a16 } g4 f8 e | d8-. f-. a-. f-. | \acciaccatura d8 e2 |
      c16 d e f g a b c | \appoggiatura d8 c4 g | \tempo 4 = 96 e8 d c b | c2 \bar "|."
    }
    \new Staff \relative c {
      \clef bass \time 2/4
      c4 <e g> | c4 <e g> | b4 <d g> | c4 <e g> | c4 e | e4 g | g,4 g | c2
    }
  >>
  \midi { }
}
