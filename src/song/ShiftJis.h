// Conversion between the program's UTF-8 text and the Japanese ANSI code page
// (Shift_JIS, Windows code page 932) that song files and MIDI texts use.
#pragma once

#include <string>
#include <string_view>

namespace vako {

// Characters that code page 932 cannot hold become "?".
std::string toShiftJis(std::string_view utf8);

// Bytes that are no valid code page 932 text become U+FFFD, one per bad byte.
std::string fromShiftJis(std::string_view sjis);

} // namespace vako
