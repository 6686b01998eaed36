// The General MIDI program names without their list numbers, as a score
// names its parts and instrument changes.
#pragma once

#include <string>

namespace vako {

// "41: バイオリン" as "バイオリン"; "" for a program outside 0..127.
std::string programNameOnly(int program);

} // namespace vako
