// Notes as the lines of a song file's note list ("1,3,60,12,"   ",0,20,4,0"):
// the form notes take on the clipboard between two windows of the program.
// The values are scaled as the song file scales them (strength in steps of 6,
// balance of 16, modulation of 50), so what a song file keeps survives.
#pragma once

#include "song/Song.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vako {

// The clipboard type of the note lines, and the head line that opens them.
inline const std::string kNoteLinesMimeType = "application/x-vakomidi-notes";
inline const std::string kNoteLinesHead = "\"vako6 notes\"";

// The head line, then one line a note (CR LF ends), numbered from 1.
std::string formatNoteLines(const std::vector<Note>& notes);
// The notes of text that `formatNoteLines` wrote; nullopt for any other text
// (another head, a field that is no number, a value no song file holds).
std::optional<std::vector<Note>> readNoteLines(std::string_view text);

} // namespace vako
