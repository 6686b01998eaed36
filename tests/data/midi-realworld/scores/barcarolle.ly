\version "2.24.0"
\header { title = "Barcarolle" composer = "written for the test set" tagline = ##f }
\score {
  \new Staff \relative c' {
    \time 6/4 \tempo 4 = 132
    \ppp <c e g>2. <c f a>2. | <b d g>2. <c e g>2. |
    \pp e4( f g) a( g f) | \p e2. ~ e2 r4 |
    \mf c'8 b a g f e d c b a g f | \f e1. \bar "|."
  }
  \midi { }
}
