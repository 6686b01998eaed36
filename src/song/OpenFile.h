// `openFile`: opening a file by its path into the song, by the last four
// characters of the path: a song text file, a Standard MIDI File, or a picture
// tiled behind the staff. Everything it does outside the song goes through the
// host.
#pragma once

#include "song/Song.h"
#include "song/SongHost.h"

#include <string>
#include <string_view>

namespace vako {

enum class OpenStatus {
    Loaded,      // a song text file or a MIDI file was read
    Picture,     // the picture was tiled over the score view; the song is cleared
    WrongMagic,  // a ".txt" that is no song file; said so, the song stays as it was
    NotASong,    // any other extension; the song stays as it was, nothing is shown
    ReadFailure, // the song stays as it was; the message was shown
};

OpenStatus openFile(Song& song, const std::string& path, SongHost& host);

// What a path names, by its ending.
enum class FileKind { Picture, SongText, MidiFile, Other };
FileKind fileKindOf(std::string_view path);

// Sorts every run of notes at one position (a chord) by ascending pitch.
void sortChords(Song& song);

// The song name a path or file name gives: without its last four characters and
// without everything up to the last backslash or slash.
std::string songNameFromPath(std::string_view path);

} // namespace vako
