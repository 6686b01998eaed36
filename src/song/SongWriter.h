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

// The start tempo a file gets: the whole number in the tempo text (the text is
// the master copy of the start tempo), else, for a text that holds no whole
// number that fits, record 1 of the control changes.
int32_t startTempoOf(const Song& song);

enum class SaveStatus {
    NothingWritten, // no name: only the file list was read again
    Written,
    BadName,     // a name no file can have: said so
    NotReplaced, // another file has that name and the user kept it
    WriteFailed, // said so; the old file, if any, is unchanged
};

// `SaveSong`: writes the song as `fileName`.txt into the song folder, or the
// desktop folder while the folders say so. An empty name only refreshes the
// file list. Another file of that name is replaced only when the host agrees
// (`mayReplaceFile`). The file is replaced atomically; a name with a path separator or
// another character a file name cannot hold writes nothing. Failures are shown
// through the host.
SaveStatus SaveSong(const Song& song, const SongFolders& folders, SongHost& host);

// Writes the song exactly as `SaveSong` would, at `path`. Empty on success,
// else why not, as the message about it says.
std::string saveSongTo(const Song& song, const std::filesystem::path& path);

// The error dump of the redraw and the range operations: the song as it
// stands is written as "err.txt" into the folder saves go to, or as
// "err-2.txt", "err-3.txt" … when that name is taken: a dump never replaces a
// file. The message names the file written. The dump is no save of the song:
// its name stays. Returns the file written, empty when none could be.
std::filesystem::path errorDump(const Song& song, const SongFolders& folders, SongHost& host);

// The file `SaveSong` writes.
std::filesystem::path songFilePath(const Song& song, const SongFolders& folders);

} // namespace vako
