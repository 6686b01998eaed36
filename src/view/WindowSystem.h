// What the main window needs from the toolkit and the operating system besides
// its controls, its drawing surface and its MIDI device: modal boxes, the
// screen and the end of the program.
#pragma once

#include "view/ScorePages.h"
#include "view/StaffPicture.h"

#include <string>

namespace vako {

class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // A modal message box with an OK button.
    virtual void messageBox(const std::string& text) = 0;
    // A modal input box; the typed text, or "" when cancelled.
    virtual std::string inputBox(const std::string& prompt, const std::string& title,
                                 const std::string& defaultText) = 0;
    // A modal question; the button pressed. Yes/No boxes never answer Cancel.
    enum class Answer { Yes, No, Cancel };
    virtual Answer askYesNo(const std::string& text) = 0;
    virtual Answer askYesNoCancel(const std::string& text) = 0;
    // A modal box that asks where to write a file: `title` on it, `suggested`
    // the path it starts with, `filter` the kinds it lists ("MusicXML
    // (*.musicxml)"). The path chosen, or "" when cancelled. It asks nothing
    // about a file already there: the caller does.
    virtual std::string saveFileBox(const std::string& title, const std::string& suggested,
                                    const std::string& filter) {
        (void)title, (void)suggested, (void)filter;
        return {};
    }
    // The score on paper, through the toolkit's print support. `scorePdf`: the
    // bytes of a PDF file of `range` of the song's pages (empty when none
    // could be made). `printScore`: the system's print dialog (paper, range
    // of the song's `pages`), then the printer.
    virtual std::string scorePdf(const Song& song, const StaffPageLook& look,
                                 SongPageRange range) {
        (void)song, (void)look, (void)range;
        return {};
    }
    enum class PrintOutcome { Printed, Cancelled, Failed };
    virtual PrintOutcome printScore(const Song& song, const StaffPageLook& look, int64_t pages) {
        (void)song, (void)look, (void)pages;
        return PrintOutcome::Cancelled;
    }
    // Screen size in window units (twips).
    virtual double screenWidth() const { return 1366 * 15.0; }
    virtual double screenHeight() const { return 768 * 15.0; }
    // Ends the program at once (after the current handler returns).
    virtual void endProgram() = 0;
};

} // namespace vako
