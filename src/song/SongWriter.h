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

enum class SaveStatus { NothingWritten, Written, BadName, WriteFailed };

// `SaveSong`: writes the song as `fileName`.txt into the song folder, or the
// desktop folder while `saveToDesktop` is set. An empty name only refreshes the
// file list. The file is replaced atomically; a name with a path separator or
// another character a file name cannot hold writes nothing. Failures are shown
// through the host and leave `modified` as it was.
SaveStatus SaveSong(Song& song, const SongFolders& folders, SongHost& host);

// Writes the song exactly as `SaveSong` would, at `path`. Empty on success,
// else why not, as the message about it says.
std::string saveSongTo(Song& song, const std::filesystem::path& path);

// The error path of the long operations: the notes come back from the undo copy,
// the messages are shown in order, and the song is written as "err.txt".
void errorDump(Song& song, const SongFolders& folders, SongHost& host,
               const std::vector<std::string>& messages);

} // namespace vako
