// What the song's file operations need from the program around them: the
// window, and the Standard MIDI File import, which lives in the MIDI layer
// above this one. The main window implements all of it; the command-line tool
// reports messages and imports. Every hook has a silent default, so a host
// overrides what it shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace vako {

struct Song;

// What reading a Standard MIDI File into the song gave.
struct MidiFileReading {
    bool ok = false;
    std::string notice;       // for the status line after the load, "" for nothing
    size_t stoppedAtByte = 0; // on a failure: where in the file reading stopped
};

class SongHost {
public:
    virtual ~SongHost() = default;

    // A message box with an OK button.
    virtual void showMessage(const std::string& text) { (void)text; }
    virtual void setCaption(const std::string& caption) { (void)caption; }
    // A line in the status text below the score: what a load changed or left
    // out of a file, for the user to know without a question to answer.
    virtual void showStatus(const std::string& text) { (void)text; }

    // Reads a Standard MIDI File image into the cleared song. Without an
    // importer (the default) no ".mid" can be read.
    virtual MidiFileReading readMidiFile(Song& song, std::string_view bytes) {
        (void)song, (void)bytes;
        return {};
    }

    // Check mark of `mergeMenu`: a load merges into the open song while it is set.
    virtual bool isMergeChecked() const { return false; }
    // Check mark of `reverseSongMenu`.
    virtual void setReverseChecked(bool checked) { (void)checked; }
    // Selects `bandInstrumentLists`(band) entry `program`, as a user's choice would.
    virtual void selectBandInstrument(int band, int program) { (void)band, (void)program; }
    // Sets `bandVolumeScrollBars`(band) to `volume`, as a user's move would.
    virtual void setBandVolume(int band, int volume) { (void)band, (void)volume; }
    // One packed MIDI short message: status + data1 * 256 + data2 * 65536.
    virtual void sendShortMessage(uint32_t message) { (void)message; }
    // `page` = page (0-based).
    virtual void setPage(int page) { (void)page; }
    // `redrawScore`, then the page scroll bar's change handler.
    virtual void redrawAfterLoad() {}
    // Tiles the picture file over the score view as its persistent picture.
    // False when the picture cannot be loaded.
    virtual bool tilePicture(const std::string& path) {
        (void)path;
        return true;
    }

    // The confirmation `SaveSong` shows after writing `fileName`.txt.
    virtual void showSavedConfirmation(const std::string& fileName) { (void)fileName; }
    // A save is about to write `path`. False keeps the file there as it is
    // and writes nothing: the window asks before it replaces a file that is
    // not the song's own.
    virtual bool mayReplaceFile(const std::filesystem::path& path) {
        (void)path;
        return true;
    }
    // The file list `fileList` reads its folder again.
    virtual void refreshFileList() {}
    // A fault path (`errorDump`) is about to put the notes back to the undo
    // copy: a host that keeps an edit history lets the failed edit go.
    virtual void beforeRestoringUndoCopy() {}

    // An input box with prompt, title and default text; the typed text, or ""
    // when cancelled.
    virtual std::string inputBox(const std::string& prompt, const std::string& title,
                                 const std::string& defaultText) {
        (void)prompt, (void)title, (void)defaultText;
        return {};
    }
};

} // namespace vako
