// `openFile`: opening a file by its path into the song, by the extension of
// the path: a song text file, a Standard MIDI File, or a picture tiled behind
// the staff. Everything it does outside the song goes through the host.
#pragma once

#include "song/Song.h"
#include "song/SongHost.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vako {

// What a path names by its extension: pictures in any case, song and MIDI
// files by the exact endings the program has always taken.
enum class FileKind {
    Picture,  // ".bmp", ".jpg", ".jpeg", ".png", ".gif": what the window reads as a picture
    SongText, // ".txt", ".TXT"
    MidiFile, // ".mid", ".MID", and ".midi", ".MIDI" as other programs name them
    Other,
};
// The one place that decides it: opening, the file list, the tool and the
// window's drops all ask here.
FileKind fileKindOf(std::string_view path);

enum class OpenStatus {
    Loaded,      // a song text file or a MIDI file was read
    Picture,     // the picture was tiled over the score view; the song is cleared
    WrongMagic,  // a ".txt" that is no song file; said so, the song stays as it was
    NotASong,    // any other extension; the song stays as it was, nothing is shown
    ReadFailure, // the song stays as it was; the message was shown
};

// The memory a load may take, in bytes: three quarters of what the system can
// still give when it is asked, so that the program and its window go on
// working; nullopt when the system does not say.
std::optional<uint64_t> memoryForLoading();

// Opens `path` into the song. A song text file whose song would not fit
// `memoryLimit` bytes, or a MIDI file larger than that, is refused before it
// is read, and the song stays as it was, as after a failed allocation. Not
// given, the limit is memoryForLoading() once the copies of the open song are
// taken. (The MIDI import bounds its notes by memoryForLoading() itself.)
OpenStatus openFile(Song& song, const std::string& path, SongHost& host,
                    std::optional<uint64_t> memoryLimit = std::nullopt);

// Why `path` cannot be read (missing, a folder, a named pipe or a device, no
// permission), as the read-failure message says it; nothing when a regular
// file is there to read. Never waits on a pipe.
std::optional<std::string> whyUnreadable(const std::string& path);

// Sorts every run of notes at one position (a chord) by ascending pitch.
void sortChords(Song& song);

// The song name a path or file name gives: without its extension (the last
// four characters, five for ".midi") and without everything up to the last
// backslash or slash.
std::string songNameFromPath(std::string_view path);

} // namespace vako
