// A main window on a recording canvas and a recording MIDI device, with a
// window system that keeps the message boxes it was asked to show.
#pragma once

#include "platform/Clock.h"
#include "platform/MidiOut.h"
#include "platform/RecordingCanvas.h"
#include "view/MainWindowModel.h"

#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vako::test {

class FakeWindowSystem : public WindowSystem {
public:
    void messageBox(const std::string& text) override { messages.push_back(text); }
    std::string inputBox(const std::string& prompt, const std::string& title,
                         const std::string& defaultText) override {
        inputs.push_back({prompt, title, defaultText});
        if (inputAnswers.empty()) return inputAnswer;
        std::string answer = inputAnswers.front();
        inputAnswers.pop_front();
        return answer;
    }
    Answer askYesNo(const std::string& text) override { return ask(text, Answer::No); }
    Answer askYesNoCancel(const std::string& text) override { return ask(text, Answer::Cancel); }
    void endProgram() override { ended = true; }
    std::string saveFileBox(const std::string& title, const std::string& suggested,
                            const std::string& filter) override {
        saveBoxes.push_back({title, suggested, filter});
        return saveFileAnswer;
    }
    std::string scorePdf(const Song&, const StaffPageLook& look, SongPageRange) override {
        paperLooks.push_back(look);
        return pdfAnswer;
    }
    PrintOutcome printScore(const Song&, const StaffPageLook& look, int64_t pages) override {
        paperLooks.push_back(look);
        printedPages.push_back(pages);
        return printAnswer;
    }

    // Scripted answers, first to last; an empty script answers `fallback`.
    Answer ask(const std::string& text, Answer fallback) {
        questions.push_back(text);
        if (answers.empty()) return fallback;
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    struct Input {
        std::string prompt, title, defaultText;
    };
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::deque<Answer> answers;
    std::vector<Input> inputs;
    std::deque<std::string> inputAnswers; // answered first, then inputAnswer
    std::string inputAnswer;
    std::vector<Input> saveBoxes; // title, suggested path, filter
    std::string saveFileAnswer;   // the path every save box answers
    std::vector<StaffPageLook> paperLooks; // what each PDF and print was asked to show
    std::string pdfAnswer = "%PDF-1.4 made by the test";
    std::vector<int64_t> printedPages; // the song's page count each print offered
    PrintOutcome printAnswer = PrintOutcome::Printed;
    bool ended = false;
};

// How the device opener of a test behaves.
enum class DeviceCase { Present, None, Busy };

struct Window {
    explicit Window(DeviceCase deviceCase = DeviceCase::Present);
    ~Window();

    // Runs the load handler.
    void load(const std::string& commandLine = "");
    std::vector<uint32_t> sent() const { return midi ? midi->messages() : std::vector<uint32_t>{}; }

    // A song of notes given as (position, note, length, part), as opened.
    void setNotes(const std::vector<Note>& notes);
    // Whether the song differs from what was saved or opened.
    bool modified() const { return form->editor.isModified(); }
    // The song as it stands counts as saved, or as changed: part 16's volume
    // moves one step, a change no test looks at.
    void markSaved() { form->editor.markSaved(); }
    void markChanged() {
        form->editor.setPartVolume(15, (song.partVolumes[15] + 1) % (kMaxVolumeStep + 1));
    }
    // Playback on `clock` (after form->useClock(clock)): waits as the window's
    // timer would and runs what is due; false when nothing is playing.
    bool playbackStep();
    // Steps until the pass for `pos` has run (or playback stopped).
    void playThrough(int32_t pos);
    // A left click: move, press and release at one point of the staff view.
    void click(float x, float y);
    // The pointer moved to a point and the right button pressed there: a panel opens.
    void rightPress(float x, float y);
    // Clicks `fileName` in the file list (refreshed first).
    void clickListed(const std::string& fileName);
    std::vector<int32_t> positions() const;
    std::vector<int> keys() const;

    std::filesystem::path folder; // the song folder, a fresh temporary folder
    Song song;
    RecordingCanvas canvas;
    FakeClock clock;
    FakeWindowSystem ui;
    RecordingMidiOut* midi = nullptr; // owned by the window once opened
    std::unique_ptr<MainWindowModel> form;
};

Note note(int32_t pos, int noteNumber, int32_t len, int part);

constexpr uint32_t pack(int status, int d1, int d2) {
    return status + d1 * 256 + d2 * 65536;
}
// View x of a position on the page with the sixteenth grid (positions that
// are multiples of 3): the middle of the head a note there is drawn with; and
// with the finest grid.
inline float xAt(int pos) {
    return 5.0f * (pos + 18) + 3;
}
inline float xFine(int pos) {
    return 5.0f * (pos + 18) + 2;
}
// View y of a row of the upper (0) or lower (1) band: the middle of its heads.
inline float yAt(int staff, int row) {
    return (staff == 0 ? -600.0f : 0.0f) - 10.0f * (row - 5);
}

} // namespace vako::test
