#include "song/OpenFile.h"

#include "platform/AtomicFile.h"
#include "song/Messages.h"
#include "song/QuickSort.h"
#include "song/SongReader.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <new>
#include <optional>
#include <stdexcept>

namespace vako {
namespace {

bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// What a merge keeps of the song that was open.
struct MergeState {
    int32_t noteCountX2 = 0;
    std::vector<Note> notes;
    int32_t ccCount = 0;
    std::vector<ControlChange> ccs;
    std::string copyright, sequenceName;
};

void clearSong(Song& song) {
    song.notes.assign(1, Note{});
    song.twiceNoteCount = 0;
    song.changeCount = 1;
    song.changes.assign(3, ControlChange{});
    song.changes[1] = ControlChange{0, 120, kTempoChange};
    song.changes[2].position = kEndMarkerPos;
}

// Keeps the note records 1..count below 120 (note ends are pitch + 120).
void removeNoteEnds(Song& song) {
    int32_t kept = 0;
    const int64_t entries = std::min<int64_t>(song.twiceNoteCount, int64_t(song.notes.size()) - 1);
    for (int64_t i = 1; i <= entries; ++i)
        if (isStorableNote(song.notes[i].key)) song.notes[++kept] = song.notes[i];
    song.twiceNoteCount = kept * 2;
}

// Both lists are in position order; at equal positions the file's note comes first.
void mergeNotes(Song& song, const MergeState& old) {
    const int32_t fileCountX2 = song.twiceNoteCount;
    const int64_t oldN = old.noteCountX2 / 2, fileN = fileCountX2 / 2;
    std::vector<Note> merged(static_cast<size_t>((int64_t{old.noteCountX2} + fileCountX2) / 2 + 2));
    int64_t i = 1, j = 1, k = 1;
    while (i <= oldN || j <= fileN) {
        const bool takeOld =
            j > fileN || (i <= oldN && old.notes[i].position < song.notes[j].position);
        merged[k++] = takeOld ? old.notes[i++] : song.notes[j++];
    }
    song.notes = std::move(merged);
    song.twiceNoteCount = old.noteCountX2 + fileCountX2;
    ensureNoteRoom(song.notes, song.noteCount());
}

// Steps 10 and 11 of a load: the parts' volumes are made non-negative and
// kept within the volume steps the bars show; the host sends every part's
// program to the device and shows the band controls.
void takePartSettings(Song& song, SongHost& host) {
    for (int16_t& volume : song.partVolumes)
        volume = static_cast<int16_t>(std::min(std::abs(int{volume}), kMaxVolumeStep));
    host.partSettingsLoaded();
}

std::string reasonFor(const ReadOutcome& read, uint64_t limit) {
    switch (read.error) {
    case ReadError::None:
        break;
    case ReadError::Missing:
        return msg::kReasonMissing;
    case ReadError::Folder:
        return msg::kReasonFolder;
    case ReadError::NoPermission:
        return msg::kReasonNoPermission;
    case ReadError::TooLarge:
        return msg::reasonTooLarge(read.size, limit);
    case ReadError::Failed:
        return read.detail;
    }
    return {};
}

// How much of the start of a file decides whether it is worth reading whole.
constexpr size_t kFileStartBytes = 4096;
// A MIDI file is held whole while it is imported; it gets the song file's bound.
constexpr uint64_t kMaxMidiFileBytes = kMaxSongFileBytes;

// Reads what opening a file of `kind` needs into `bytes`: a song text file or
// a MIDI file whole, once its start shows it may be one (`notASong` is set for
// a ".txt" that is no song file), and of a picture or another file only
// enough to know it can be read. The reason when the file cannot be read.
std::optional<std::string> readForOpening(FileKind kind, const std::string& path,
                                          std::string& bytes, bool& notASong) {
    std::string start;
    const ReadOutcome opened = readFileStart(path, start, kFileStartBytes);
    if (!opened.ok()) return reasonFor(opened, 0);
    uint64_t limit = 0;
    switch (kind) {
    case FileKind::Picture:
    case FileKind::Other:
        return std::nullopt;
    case FileKind::SongText:
        if (!mayBeSongText(start)) {
            notASong = true;
            return std::nullopt;
        }
        limit = kMaxSongFileBytes;
        break;
    case FileKind::MidiFile:
        if (start.compare(0, 4, "MThd") != 0) return msg::kReasonNotMidi;
        limit = kMaxMidiFileBytes;
        break;
    }
    const ReadOutcome read = readFile(path, bytes, limit);
    if (!read.ok()) return reasonFor(read, limit);
    return std::nullopt;
}

} // namespace

FileKind fileKindOf(std::string_view path) {
    // Pictures in any case: every format the window's pictures are read in.
    const std::string_view name = path.substr(path.find_last_of("/\\") + 1);
    const size_t dot = name.rfind('.');
    std::string ext(dot == std::string_view::npos ? std::string_view{} : name.substr(dot));
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* picture : {".bmp", ".jpg", ".jpeg", ".png", ".gif"})
        if (ext == picture) return FileKind::Picture;
    // Song and MIDI files by the exact endings the program has always taken.
    if (endsWith(path, ".txt") || endsWith(path, ".TXT")) return FileKind::SongText;
    if (endsWith(path, ".mid") || endsWith(path, ".MID")) return FileKind::MidiFile;
    return FileKind::Other;
}

void sortChords(Song& song) {
    const int64_t n = std::min<int64_t>(song.noteCount(), int64_t(song.notes.size()) - 1);
    int64_t i = 1;
    while (i <= n) {
        int64_t end = i;
        while (end < n && song.notes[end + 1].position == song.notes[i].position) ++end;
        if (end > i) quickSort(song.notes, i, end, [](const Note& r) { return r.key; });
        i = end + 1;
    }
}

std::string songNameFromPath(std::string_view path) {
    std::string_view name = path.size() >= 4 ? path.substr(0, path.size() - 4) : std::string_view{};
    const size_t slash = name.find_last_of("\\/");
    if (slash != std::string_view::npos) name = name.substr(slash + 1);
    return std::string(name);
}

namespace {

// Reads the file into the song; allocation failures pass through to openFile. `before` is the
// song as it was, which a failed merge gives back whole.
OpenStatus loadInto(Song& song, const std::string& path, SongHost& host, const Song& before) {
    song.partVolumes.fill(5);
    song.partPrograms.fill(0);

    std::optional<MergeState> merge;
    if (host.isMergeChecked() && song.twiceNoteCount > 0) {
        merge = MergeState{song.twiceNoteCount, song.notes,         song.changeCount,
                           song.changes,        song.copyrightText, song.sequenceNameText};
        ensureNoteRoom(merge->notes, merge->noteCountX2 / 2);
    }
    clearSong(song);

    OpenStatus status = OpenStatus::Loaded;
    bool keepNoteEnds = false; // song text files of version 4 and later hold no note ends
    std::string notice;        // what the status text tells about the file read
    std::string bytes;
    const FileKind kind = fileKindOf(path);
    bool notASong = false;
    std::optional<std::string> failure = readForOpening(kind, path, bytes, notASong);
    if (!failure) {
        switch (kind) {
        case FileKind::Picture:
            status = OpenStatus::Picture;
            if (!host.tilePicture(path)) failure = msg::kReasonNotPicture;
            break;
        case FileKind::SongText: {
            const SongTextOutcome outcome =
                notASong ? SongTextOutcome{SongTextStatus::WrongMagic} : readSongText(song, bytes);
            if (outcome.status == SongTextStatus::WrongMagic) {
                host.showMessage(msg::wrongMagic(path));
                status = OpenStatus::WrongMagic;
            }
            if (outcome.status == SongTextStatus::ReadFailure)
                failure = outcome.endedEarly ? msg::reasonEndsAtLine(outcome.failureLine)
                                             : msg::reasonBadLine(outcome.failureLine);
            keepNoteEnds = outcome.version >= 4;
            break;
        }
        case FileKind::MidiFile: {
            const MidiFileReading reading = host.readMidiFile(song, bytes);
            // The import stops at or just after the event it could not read.
            if (!reading.ok)
                failure = msg::reasonStoppedNearByte(
                    std::min<uint64_t>(reading.stoppedAtByte, bytes.size()));
            notice = reading.notice;
            break;
        }
        case FileKind::Other:
            status = OpenStatus::NotASong;
            break;
        }
    }
    bytes = std::string(); // the file image is not needed any more
    // A file that cannot be opened as a song must not cost the open song
    // anything: it comes back whole, and the window keeps its caption,
    // controls and check marks, so that a save still writes where the song
    // came from.
    if (failure || status == OpenStatus::WrongMagic || status == OpenStatus::NotASong) {
        song = before;
        if (!failure) return status;
        host.showMessage(msg::cannotRead(path, *failure));
        return OpenStatus::ReadFailure;
    }
    // A merge keeps the open song's name and caption: a save writes the
    // merged song where the open one came from, not over the merged-in file.
    if (!merge) host.setCaption(msg::kCaptionPrefix + path);
    host.setReverseChecked(false);

    // The record after the last control change marks the end of the list.
    ensureChangeRoom(song.changes, int64_t{song.changeCount} + 1);
    song.changes[song.changeCount + 1].position = kEndMarkerPos;

    song.tempoText = std::to_string(song.changes[1].value);
    if (!keepNoteEnds) removeNoteEnds(song);
    takePartSettings(song, host);
    host.setPage(0);

    if (merge) {
        song.changes = merge->ccs;
        song.changeCount = merge->ccCount;
        mergeNotes(song, *merge);
        song.copyrightText = merge->copyright;
        song.sequenceNameText = merge->sequenceName;
    }
    host.redrawAfterLoad();
    if (!notice.empty()) host.showStatus(notice);
    sortChords(song);
    return status;
}

} // namespace

OpenStatus openFile(Song& song, const std::string& path, SongHost& host) {
    // A file that needs more memory than there is must not end the program nor
    // cost the open song: the song is kept as it was and the user is told.
    std::optional<Song> before;
    try {
        before = song;
        return loadInto(song, path, host, *before);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {}
    if (before) {
        song = std::move(*before);
        host.partSettingsLoaded(); // the controls may show the file's settings by now
    }
    host.showMessage(msg::cannotRead(path, msg::kReasonOutOfMemory));
    return OpenStatus::ReadFailure;
}

} // namespace vako
