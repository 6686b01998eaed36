// Shared helpers of the song tests: a recording window seam, temporary folders
// and song text built from UTF-8 lines.
#pragma once

#include "platform/AtomicFile.h"
#include "song/ShiftJis.h"
#include "song/Song.h"
#include "song/SongHost.h"

#include <array>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

namespace vako::test {

// Records what the song operations asked of the window.
class RecordingSongHost : public SongHost {
public:
    std::vector<std::string> messages;
    std::vector<std::string> captions;
    int partSettingsLoads = 0;
    std::vector<std::string> confirmations;
    int fileListRefreshes = 0;
    int redraws = 0;
    int page = -1;
    bool mergeChecked = false;
    bool reverseChecked = true;
    bool pictureLoads = true;
    std::vector<std::string> tiledPictures;
    std::vector<std::string> inputAnswers; // answers of the input box, in order

    void showMessage(const std::string& text) override { messages.push_back(text); }
    void setCaption(const std::string& caption) override { captions.push_back(caption); }
    bool isMergeChecked() const override { return mergeChecked; }
    void setReverseChecked(bool checked) override { reverseChecked = checked; }
    void partSettingsLoaded() override { ++partSettingsLoads; }
    void setPage(int p) override { page = p; }
    void redrawAfterLoad() override { ++redraws; }
    bool tilePicture(const std::string& path) override {
        tiledPictures.push_back(path);
        return pictureLoads;
    }
    void showSavedConfirmation(const std::string& name) override { confirmations.push_back(name); }
    void refreshFileList() override { ++fileListRefreshes; }
    std::string inputBox(const std::string&, const std::string&, const std::string&) override {
        if (inputAnswers.empty()) return {};
        std::string answer = inputAnswers.front();
        inputAnswers.erase(inputAnswers.begin());
        return answer;
    }
};

// A fresh folder under the system's temporary folder, removed at the end.
class TempFolder {
public:
    TempFolder() {
        std::random_device rd;
        m_path = std::filesystem::temp_directory_path() /
                 ("vako-test-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// A save of `folder`/song.txt by another process (another window, say),
// running until end(): then that process ends as if it was killed in the
// middle of the save, leaving its temporary file behind.
class SaveInAnotherProcess {
public:
    explicit SaveInAnotherProcess(const std::filesystem::path& folder) {
        int ready[2], release[2];
        if (pipe(ready) != 0 || pipe(release) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            close(ready[0]);
            close(release[1]); // the parent's closing of its end is the signal
            AtomicFileWriter save(folder / "song.txt");
            save.append("half a song");
            char byte = 1;
            (void)!write(ready[1], &byte, 1);
            (void)!read(release[0], &byte, 1);
            _exit(0); // no destructor: the temporary stays, as after a kill
        }
        close(ready[1]);
        close(release[0]);
        char byte = 0;
        (void)!read(ready[0], &byte, 1);
        close(ready[0]);
        m_release = release[1];
    }
    ~SaveInAnotherProcess() { end(); }
    void end() {
        if (m_release >= 0) close(m_release);
        m_release = -1;
        if (m_pid > 0) waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    // The name of its temporary file.
    std::string temporaryIn(const std::filesystem::path& folder) const {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (isTemporaryFileName(name)) return name;
        }
        return {};
    }

private:
    pid_t m_pid = -1;
    int m_release = -1;
};

// Song text from UTF-8 lines: Shift_JIS, CR LF after every line.
inline std::string songText(std::initializer_list<std::string> lines) {
    std::string utf8;
    for (const std::string& line : lines) utf8 += line + "\r\n";
    return toShiftJis(utf8);
}

inline void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The first lines of a version 6 file up to the note label, for `count` (twice the notes).
inline std::vector<std::string> v6Head(int count) {
    return {"\"vako6\"",
            "\"データ数×２\"",
            std::to_string(count),
            "\"パート1の楽器,パート2の楽器,・・・,パート16の楽器\"",
            "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0",
            "\"ボリューム1,ボリューム2,・・・,ボリューム16\"",
            "5,5,5,5,5,5,5,5,5,5,5,5,5,5,5,5",
            "\"データ番号,位置,音,長さ,   , 楽器, 音量, 左右バランス, 揺れ\""};
}

inline std::vector<std::string> v6Tail(const std::string& tempo = "120") {
    return {"\"曲開始時のテンポ\"",
            "\"" + tempo + "\"",
            "\"入力時の区切り数,1小節の4分音符数\"",
            "15,4",
            "\"著作権名,シーケンス名\"",
            "\"\",\"\"",
            "\"ここから下は「高度な機能」のデータ\"",
            "\"ＣＣの数\"",
            "1",
            "\"データ番号,位置,値,タイプ\"",
            "1,0," + tempo + ",1"};
}

// The file of a new song with two notes (60 at 1, 64 at 13, quarter notes of
// part 0) and both names emptied: 21 lines.
inline const std::vector<std::string>& twoNoteSongLines() {
    static const std::vector<std::string> lines = [] {
        std::vector<std::string> all = v6Head(4);
        all.push_back("1,1,60,12,\"   \",0,20,4,0");
        all.push_back("2,13,64,12,\"   \",0,20,4,0");
        for (std::string& line : v6Tail()) all.push_back(std::move(line));
        return all;
    }();
    return lines;
}

// What undo and redo must give back of a song: its records (spare ones
// left out), part settings, grid, meter and texts.
struct SongContent {
    std::vector<Note> notes;
    std::vector<ControlChange> changes; // 1..M
    std::array<uint8_t, kPartCount> programs{};
    std::array<int16_t, kPartCount> volumes{};
    uint8_t grid = 0, quartersPerBar = 0;
    std::string tempo, copyright, sequenceName;
    friend bool operator==(const SongContent&, const SongContent&) = default;
};
inline SongContent contentOf(const Song& s) {
    return {{s.notes.begin() + 1, s.notes.begin() + 1 + s.noteCount()},
            {s.changes.begin() + 1, s.changes.begin() + 1 + s.changeCount},
            s.partPrograms,
            s.partVolumes,
            s.grid,
            s.quartersPerBar,
            s.tempoText,
            s.copyrightText,
            s.sequenceNameText};
}

inline std::string joinLines(const std::vector<std::string>& lines) {
    std::string utf8;
    for (const std::string& line : lines) utf8 += line + "\r\n";
    return toShiftJis(utf8);
}

} // namespace vako::test
