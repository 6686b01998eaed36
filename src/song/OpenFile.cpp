#include "song/OpenFile.h"

#include "platform/AtomicFile.h"
#include "platform/AvailableMemory.h"
#include "song/Messages.h"
#include "song/QuickSort.h"
#include "song/SongReader.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
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
        return translated(msg::kReasonMissing);
    case ReadError::Folder:
        return translated(msg::kReasonFolder);
    case ReadError::NotAFile:
        return translated(msg::kReasonNotAFile);
    case ReadError::NoPermission:
        return translated(msg::kReasonNoPermission);
    case ReadError::TooLarge:
        return msg::reasonTooLarge(read.size, limit);
    case ReadError::Failed:
        return read.detail;
    }
    return {};
}

// How much of the start of a file decides whether it is worth reading further.
constexpr size_t kFileStartBytes = 4096;
// A MIDI file is held whole while it is imported; it gets the song file's bound.
constexpr uint64_t kMaxMidiFileBytes = kMaxSongFileBytes;

// A file being opened: its start, read to see what it is, and the rest.
struct FileToOpen {
    FileReader reader;
    std::string start;     // the first bytes; of a MIDI file the whole file
    bool notASong = false; // a ".txt" that does not start like a song file
};

// A song text file's bytes: the start already read, then the rest of the file.
class StartThenRest : public ByteSource {
public:
    explicit StartThenRest(FileToOpen& file) : m_start(file.start), m_rest(file.reader) {}
    size_t read(char* into, size_t count) override {
        if (m_start.empty()) return m_rest.read(into, count);
        const size_t n = std::min(count, m_start.size());
        std::memcpy(into, m_start.data(), n);
        m_start.remove_prefix(n);
        return n;
    }

private:
    std::string_view m_start;
    FileReader& m_rest;
};

// Opens the file and reads what opening a file of `kind` needs first: of a
// picture or another file only enough to know it can be read, of a song text
// file its start (the rest is read as the song is), of a MIDI file the whole
// image, once its start shows it is one. The reason when it cannot be read.
// A MIDI file larger than `memoryLimit` is refused unread, as an allocation
// failure would be: std::bad_alloc.
std::optional<std::string> openForReading(FileKind kind, const std::string& path, FileToOpen& file,
                                          uint64_t memoryLimit) {
    if (!file.reader.open(path).ok()) return reasonFor(file.reader.outcome(), 0);
    file.start.resize(kFileStartBytes);
    file.start.resize(file.reader.read(file.start.data(), kFileStartBytes));
    if (!file.reader.outcome().ok()) return reasonFor(file.reader.outcome(), 0);
    switch (kind) {
    case FileKind::Picture:
    case FileKind::Other:
        return std::nullopt;
    case FileKind::SongText:
        if (!mayBeSongText(file.start)) {
            file.notASong = true;
            return std::nullopt;
        }
        if (!file.reader.limitTo(kMaxSongFileBytes).ok())
            return reasonFor(file.reader.outcome(), kMaxSongFileBytes);
        return std::nullopt;
    case FileKind::MidiFile:
        break;
    }
    if (file.start.compare(0, 4, "MThd") != 0) return translated(msg::kReasonNotMidi);
    if (!file.reader.limitTo(kMaxMidiFileBytes).ok())
        return reasonFor(file.reader.outcome(), kMaxMidiFileBytes);
    if (file.reader.size() > memoryLimit) throw std::bad_alloc();
    file.start.reserve(static_cast<size_t>(file.reader.size()));
    char piece[65536];
    while (const size_t n = file.reader.read(piece, sizeof piece)) file.start.append(piece, n);
    if (!file.reader.outcome().ok()) return reasonFor(file.reader.outcome(), kMaxMidiFileBytes);
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
    for (const char* ext : {".mid", ".MID", ".midi", ".MIDI"})
        if (endsWith(path, ext)) return FileKind::MidiFile;
    return FileKind::Other;
}

std::optional<std::string> whyUnreadable(const std::string& path) {
    FileReader reader;
    if (!reader.open(path).ok()) return reasonFor(reader.outcome(), 0);
    return std::nullopt;
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

std::optional<uint64_t> memoryForLoading() {
    const std::optional<uint64_t> available = availableMemoryBytes();
    if (!available) return std::nullopt;
    return *available / 4 * 3;
}

std::string songNameFromPath(std::string_view path) {
    const size_t extension = endsWith(path, ".midi") || endsWith(path, ".MIDI") ? 5 : 4;
    std::string_view name =
        path.size() >= extension ? path.substr(0, path.size() - extension) : std::string_view{};
    const size_t slash = name.find_last_of("\\/");
    if (slash != std::string_view::npos) name = name.substr(slash + 1);
    return std::string(name);
}

namespace {

// Reads the file into the song; allocation failures pass through to openFile. `before` is the
// song as it was, which a failed merge gives back whole.
OpenStatus loadInto(Song& song, const std::string& path, SongHost& host, const Song& before,
                    std::optional<uint64_t> memoryLimit) {
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
    const FileKind kind = fileKindOf(path);
    // Asked now, with the copies of the open song already taken.
    const uint64_t memory = memoryLimit ? *memoryLimit : memoryForLoading().value_or(UINT64_MAX);
    FileToOpen file;
    std::optional<std::string> failure = openForReading(kind, path, file, memory);
    if (!failure) {
        switch (kind) {
        case FileKind::Picture:
            status = OpenStatus::Picture;
            if (!host.tilePicture(path)) failure = translated(msg::kReasonNotPicture);
            break;
        case FileKind::SongText: {
            SongTextOutcome outcome{SongTextStatus::WrongMagic};
            if (!file.notASong) {
                StartThenRest bytes(file);
                outcome = readSongText(song, bytes, file.reader.size(), memory);
            }
            // A file that could not be read to its end says why, not where it stopped.
            if (!file.reader.outcome().ok()) {
                failure = reasonFor(file.reader.outcome(), kMaxSongFileBytes);
                break;
            }
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
            const std::string_view bytes = file.start;
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
    file.start = std::string(); // the file image is not needed any more
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
    if (!merge) host.setCaption(translated(msg::kCaptionPrefix) + path);
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

OpenStatus openFile(Song& song, const std::string& path, SongHost& host,
                    std::optional<uint64_t> memoryLimit) {
    // A file that needs more memory than there is must not end the program nor
    // cost the open song: the song is kept as it was and the user is told.
    std::optional<Song> before;
    try {
        before = song;
        return loadInto(song, path, host, *before, memoryLimit);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {}
    if (before) {
        song = std::move(*before);
        host.partSettingsLoaded(); // the controls may show the file's settings by now
    }
    host.showMessage(msg::cannotRead(path, translated(msg::kReasonOutOfMemory)));
    return OpenStatus::ReadFailure;
}

} // namespace vako
