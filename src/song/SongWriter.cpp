#include "song/SongWriter.h"

#include "platform/AtomicFile.h"
#include "song/Messages.h"
#include "song/ShiftJis.h"
#include "song/SongFields.h"

#include <charconv>
#include <limits>

namespace vako {
namespace {

// Builds the file in UTF-8; the text is turned into Shift_JIS in one go.
class LineWriter {
public:
    explicit LineWriter(std::string& out) : m_out(out) {}

    LineWriter& number(int64_t v) {
        separate();
        char buffer[24];
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
        m_out.append(buffer, r.ptr);
        return *this;
    }
    // A quoted string field. A double quote cannot stand inside one (the reader
    // would end the field there), so it is written as the full-width "＂".
    LineWriter& text(std::string_view s) {
        separate();
        m_out += '"';
        for (const char c : s) {
            if (c == '"')
                m_out += "＂";
            else
                m_out += c;
        }
        m_out += '"';
        return *this;
    }
    void end() {
        m_out += "\r\n";
        m_first = true;
    }

private:
    void separate() {
        if (!m_first) m_out += ',';
        m_first = false;
    }
    std::string& m_out;
    bool m_first = true;
};

void label(LineWriter& w, std::string_view text) {
    w.text(text);
    w.end();
}

} // namespace

std::string formatSongText(const Song& song) {
    std::string utf8;
    const int32_t n = std::max<int32_t>(0, song.noteCount());
    utf8.reserve(600 + static_cast<size_t>(n) * 40 + static_cast<size_t>(song.changeCount) * 24);
    LineWriter w(utf8);

    label(w, "vako6");
    label(w, "データ数×２");
    w.number(song.twiceNoteCount).end();
    label(w, "パート1の楽器,パート2の楽器,・・・,パート16の楽器");
    for (const uint8_t program : song.partPrograms) w.number(program);
    w.end();
    label(w, "ボリューム1,ボリューム2,・・・,ボリューム16");
    for (const int16_t volume : song.partVolumes) w.number(volume);
    w.end();
    label(w, "データ番号,位置,音,長さ,   , 楽器, 音量, 左右バランス, 揺れ");
    for (int32_t i = 1; i <= n && static_cast<size_t>(i) < song.notes.size(); ++i) {
        const Note& note = song.notes[i];
        w.number(i).number(note.position).number(note.key).number(note.length).text("   ");
        w.number(note.part).number(note.velocity / 6).number(note.pan / 16);
        w.number(note.modulation / 50).end();
    }
    label(w, "曲開始時のテンポ");
    // A tempo text that holds no number would make the file unreadable; the
    // start tempo it stands for is record 1.
    if (parseWholeNumber(song.tempoText))
        w.text(song.tempoText);
    else
        w.text(std::to_string(song.changes.size() > 1 ? song.changes[1].value : 120));
    w.end();
    label(w, "入力時の区切り数,1小節の4分音符数");
    w.number(song.grid).number(song.quartersPerBar).end();
    label(w, "著作権名,シーケンス名");
    w.text(song.copyrightText).text(song.sequenceNameText).end();
    label(w, "ここから下は「高度な機能」のデータ");
    label(w, "ＣＣの数");
    w.number(song.changeCount).end();
    label(w, "データ番号,位置,値,タイプ");
    for (int32_t j = 1; j <= song.changeCount && static_cast<size_t>(j) < song.changes.size();
         ++j) {
        const ControlChange& cc = song.changes[j];
        w.number(j).number(cc.position).number(j == 1 ? startTempoOf(song) : cc.value);
        w.number(cc.kind).end();
    }
    return toShiftJis(utf8);
}

int32_t startTempoOf(const Song& song) {
    const auto tempo = parseWholeNumber(song.tempoText);
    if (tempo && *tempo >= std::numeric_limits<int32_t>::min() &&
        *tempo <= std::numeric_limits<int32_t>::max())
        return static_cast<int32_t>(*tempo);
    return song.changes.size() > 1 ? song.changes[1].value : 120;
}

std::string saveSongTo(const Song& song, const std::filesystem::path& path) {
    const WriteOutcome outcome = writeFileAtomically(path, formatSongText(song));
    if (!outcome.ok) return msg::writeFailureReason(outcome.errorNumber, outcome.error);
    return {};
}

std::filesystem::path songFilePath(const Song& song, const SongFolders& folders) {
    return folders.saveFolder() / (song.fileName + ".txt");
}

SaveStatus SaveSong(const Song& song, const SongFolders& folders, SongHost& host) {
    if (song.fileName.empty()) {
        host.refreshFileList();
        return SaveStatus::NothingWritten;
    }
    if (!isUsableFileName(song.fileName)) {
        host.showMessage(msg::badFileName(song.fileName));
        return SaveStatus::BadName;
    }
    if (folders.saveToDesktop) {
        std::error_code ec;
        std::filesystem::create_directories(folders.desktopFolder, ec);
    }
    const std::filesystem::path path = songFilePath(song, folders);
    if (!host.mayReplaceFile(path)) return SaveStatus::NotReplaced;
    const std::string error = saveSongTo(song, path);
    if (!error.empty()) {
        host.showMessage(msg::cannotWrite(path.string(), error));
        return SaveStatus::WriteFailed;
    }
    host.showSavedConfirmation(song.fileName);
    host.refreshFileList();
    return SaveStatus::Written;
}

namespace {

// "err.txt", else the first of "err-2.txt", "err-3.txt" … that names no file.
std::filesystem::path freeDumpPath(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::path path = folder / "err.txt";
    for (int n = 2;
         std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found;
         ++n) {
        if (ec && ec != std::errc::no_such_file_or_directory) return {};
        if (n > 9999) return {}; // a folder full of dumps: write none rather than loop
        path = folder / ("err-" + std::to_string(n) + ".txt");
    }
    return path;
}

} // namespace

std::filesystem::path errorDump(const Song& song, const SongFolders& folders, SongHost& host) {
    const std::filesystem::path& folder = folders.saveFolder();
    std::filesystem::path path = freeDumpPath(folder);
    if (path.empty()) {
        host.showMessage(msg::cannotWrite((folder / "err.txt").string(), translated(msg::kReasonNoFreeName)));
        return {};
    }
    const WriteOutcome written = writeFileAtomically(path, formatSongText(song));
    if (!written.ok) {
        host.showMessage(msg::cannotWrite(path.string(), written.error));
        return {};
    }
    host.showMessage(msg::errorSaved(path.filename().string()));
    host.refreshFileList();
    return path;
}

} // namespace vako
