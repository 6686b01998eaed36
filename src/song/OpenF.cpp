#include "song/OpenF.h"

#include "platform/AtomicFile.h"
#include "song/Messages.h"
#include "song/QuickSort.h"
#include "song/SongReader.h"

#include <cstdlib>

namespace vako {
namespace {

bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

enum class FileKind { Picture, SongText, MidiFile, Other };

FileKind kindOf(std::string_view path) {
    for (const char* ext : {".bmp", ".jpg", ".BMP", ".JPG"})
        if (endsWith(path, ext)) return FileKind::Picture;
    if (endsWith(path, ".txt") || endsWith(path, ".TXT")) return FileKind::SongText;
    if (endsWith(path, ".mid") || endsWith(path, ".MID")) return FileKind::MidiFile;
    return FileKind::Other;
}

uint32_t packShortMessage(int status, int data1, int data2) {
    return static_cast<uint32_t>(status) + static_cast<uint32_t>(data1) * 256 +
           static_cast<uint32_t>(data2) * 65536;
}

// What a merge keeps of the song that was open.
struct MergeState {
    int32_t noteCountX2 = 0;
    std::vector<NoteRec> notes;
    int32_t ccCount = 0;
    std::vector<CCRec> ccs;
    std::string copyright, sequenceName;
};

void clearSong(Song& song) {
    song.udtNotes.assign(1, NoteRec{});
    song.varNoteCountX2 = 0;
    song.varCCCount = 1;
    song.udtCCs.assign(3, CCRec{});
    song.udtCCs[1] = CCRec{0, 120, kTempoChange};
    song.udtCCs[2].lngPos = kEndMarkerPos;
}

// Keeps the note records 1..count below 120 (note ends are pitch + 120).
void removeNoteEnds(Song& song) {
    int32_t kept = 0;
    const int64_t entries =
        std::min<int64_t>(song.varNoteCountX2, int64_t(song.udtNotes.size()) - 1);
    for (int64_t i = 1; i <= entries; ++i)
        if (song.udtNotes[i].bytNote < 120) song.udtNotes[++kept] = song.udtNotes[i];
    song.varNoteCountX2 = kept * 2;
}

// Both lists are in position order; at equal positions the file's note comes first.
void mergeNotes(Song& song, const MergeState& old) {
    const int32_t fileCountX2 = song.varNoteCountX2;
    const int64_t oldN = old.noteCountX2 / 2, fileN = fileCountX2 / 2;
    std::vector<NoteRec> merged(
        static_cast<size_t>((int64_t{old.noteCountX2} + fileCountX2) / 2 + 2));
    int64_t i = 1, j = 1, k = 1;
    while (i <= oldN || j <= fileN) {
        const bool takeOld =
            j > fileN || (i <= oldN && old.notes[i].lngPos < song.udtNotes[j].lngPos);
        merged[k++] = takeOld ? old.notes[i++] : song.udtNotes[j++];
    }
    song.udtNotes = std::move(merged);
    song.varNoteCountX2 = old.noteCountX2 + fileCountX2;
    ensureNoteRoom(song.udtNotes, song.noteCount());
}

} // namespace

void sortChords(Song& song) {
    const int64_t n = std::min<int64_t>(song.noteCount(), int64_t(song.udtNotes.size()) - 1);
    int64_t i = 1;
    while (i <= n) {
        int64_t end = i;
        while (end < n && song.udtNotes[end + 1].lngPos == song.udtNotes[i].lngPos) ++end;
        if (end > i) quickSort(song.udtNotes, i, end, [](const NoteRec& r) { return r.bytNote; });
        i = end + 1;
    }
}

std::string songNameFromPath(std::string_view path) {
    std::string_view name = path.size() >= 4 ? path.substr(0, path.size() - 4) : std::string_view{};
    const size_t slash = name.find_last_of("\\/");
    if (slash != std::string_view::npos) name = name.substr(slash + 1);
    return std::string(name);
}

OpenStatus OpenF(Song& song, const std::string& path, SongHost& host) {
    host.setCaption(msg::kCaptionPrefix + path);
    host.setReverseChecked(false);
    song.intPartVolume.fill(5);
    song.bytPartInstrument.fill(0);
    host.selectBandInstrument(0, 0);
    host.selectBandInstrument(1, 0);

    std::optional<MergeState> merge;
    if (host.isMergeChecked() && song.varNoteCountX2 > 0) {
        merge = MergeState{song.varNoteCountX2, song.udtNotes,      song.varCCCount,
                           song.udtCCs,         song.copyrightText, song.sequenceNameText};
        ensureNoteRoom(merge->notes, merge->noteCountX2 / 2);
    }
    clearSong(song);

    OpenStatus status = OpenStatus::Loaded;
    bool failed = false;
    bool keepNoteEnds = false; // song text files of version 4 and later hold no note ends
    std::string notice;        // what the status text tells about the file read
    std::string bytes;
    if (!readWholeFile(path, bytes)) {
        failed = true;
    } else {
        switch (kindOf(path)) {
        case FileKind::Picture:
            status = OpenStatus::Picture;
            if (!host.tilePicture(path)) failed = true;
            break;
        case FileKind::SongText: {
            const SongTextOutcome outcome = readSongText(song, bytes);
            if (outcome.status == SongTextStatus::WrongMagic) {
                host.showMessage(msg::kWrongMagic);
                status = OpenStatus::WrongMagic;
            }
            failed = outcome.status == SongTextStatus::ReadFailure;
            keepNoteEnds = outcome.version >= 4;
            break;
        }
        case FileKind::MidiFile: {
            const MidiFileReading reading = host.readMidiFile(song, bytes);
            failed = !reading.ok;
            notice = reading.notice;
            break;
        }
        case FileKind::Other:
            status = OpenStatus::NotASong;
            break;
        }
    }
    // The record after the last control change marks the end of the list.
    ensureCCRoom(song.udtCCs, int64_t{song.varCCCount} + 1);
    song.udtCCs[song.varCCCount + 1].lngPos = kEndMarkerPos;

    song.tempoText = std::to_string(song.udtCCs[1].lngValue);
    if (!keepNoteEnds) removeNoteEnds(song);
    for (int part = 0; part < kPartCount; ++part) {
        // Volume steps run from 0 to 6; the volume bars show no others.
        song.intPartVolume[part] =
            static_cast<int16_t>(std::min(std::abs(int{song.intPartVolume[part]}), 6));
        host.sendShortMessage(packShortMessage(0xB0 + part, 7, 100));
        host.sendShortMessage(packShortMessage(0xC0 + part, song.bytPartInstrument[part], 0));
    }
    for (int band = 0; band < 2; ++band) {
        const int part = song.bytSelPart[band] % kPartCount;
        host.selectBandInstrument(band, song.bytPartInstrument[part]);
        host.setBandVolume(band, song.intPartVolume[part]);
    }
    host.setPage(0);

    if (failed) {
        song.restoreUndoCopy();
        host.showMessage(msg::kCannotRead);
        status = OpenStatus::ReadFailure;
    } else {
        if (merge) {
            song.udtCCs = merge->ccs;
            song.varCCCount = merge->ccCount;
            mergeNotes(song, *merge);
            song.copyrightText = merge->copyright;
            song.sequenceNameText = merge->sequenceName;
        }
        host.redrawAfterLoad();
        if (!notice.empty()) host.showStatus(notice);
    }
    sortChords(song);
    return status;
}

} // namespace vako
