// Which General MIDI SoundFont the built-in synthesizer loads.
#pragma once

#include <string>
#include <vector>

namespace vako {

// Where Debian installs GM SoundFonts, larger (better sounding) ones first;
// TimGM6mb, the small one the program depends on, comes last.
const std::vector<std::string>& soundFontCandidates();

// VAKO_SOUNDFONT when it is set (even when the file is missing, so that a
// wrong setting shows as an error), else the first candidate that exists;
// empty when there is none.
std::string findSoundFont();

} // namespace vako
