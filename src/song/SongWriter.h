// The song text file ("vako6"): writing it, and the error dump "err.txt".
#pragma once

#include "song/Song.h"
#include "song/SongFolders.h"
#include "song/SongHost.h"

#include <filesystem>
#include <string>
#include <vector>

namespace vako {

// The file image of the song: Shift_JIS, CR LF line ends, as `SaveSong` writes it.
std::string formatSongText(const Song& song);

// Record 1 of the control changes takes the whole number in the tempo text
// (the text is the master copy of the start tempo). False, and nothing changes,
// when the text holds no whole number that fits.
bool applyTempoText(Song& song);

enum class SaveStatus {
    NothingWritten, // no name: only the file list was read again
    Written,
    BadName,     // a name no file can have: said so
    NotReplaced, // another file has that name and the user kept it
    WriteFailed, // said so; the old file, if any, is unchanged
};

// `SaveSong`: writes the song as `fileName`.txt into the song folder, or the
// desktop folder while `saveToDesktop` is set. An empty name only refreshes the
// file list. Another file of that name is replaced only when the host agrees
// (`mayReplaceFile`). The file is replaced atomically; a name with a path separator or
// another character a file name cannot hold writes nothing. Failures are shown
// through the host and leave `modified` as it was.
SaveStatus SaveSong(Song& song, const SongFolders& folders, SongHost& host);

// Writes the song exactly as `SaveSong` would, at `path`. Empty error = success.
std::string saveSongTo(Song& song, const std::filesystem::path& path);

// The error path of the redraw and the range operations: the notes come back
// from the undo copy, and the song is written as "err.txt" into the folder
// saves go to, or as "err-2.txt", "err-3.txt" … when that name is taken: a
// dump never replaces a file. The message names the file written. The song
// keeps its name and its modified mark: the dump is no save of it. Returns
// the file written, empty when none could be.
std::filesystem::path errorDump(Song& song, const SongFolders& folders, SongHost& host);

// The folder `SaveSong` writes into and the file it writes.
const std::filesystem::path& saveFolder(const Song& song, const SongFolders& folders);
std::filesystem::path songFilePath(const Song& song, const SongFolders& folders);

} // namespace vako
