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
    // A load set every part's program and volume: the device takes each
    // part's program (and a channel volume of 100), the band controls show
    // the parts on view.
    virtual void partSettingsLoaded() {}
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
    // An input box with prompt, title and default text; the typed text, or ""
    // when cancelled.
    virtual std::string inputBox(const std::string& prompt, const std::string& title,
                                 const std::string& defaultText) {
        (void)prompt, (void)title, (void)defaultText;
        return {};
    }
};

} // namespace vako
