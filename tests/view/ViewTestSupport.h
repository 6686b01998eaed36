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

    // A song of notes given as (position, note, length, part).
    void setNotes(const std::vector<Note>& notes);
    // Playback on `clock` (after form->useClock(clock)): waits as the window's
    // timer would and runs what is due; false when nothing is playing.
    bool playbackStep();
    // Steps until the pass for `pos` has run (or playback stopped).
    void playThrough(int32_t pos);

    std::filesystem::path folder; // the song folder, a fresh temporary folder
    Song song;
    RecordingCanvas canvas;
    FakeClock clock;
    FakeWindowSystem ui;
    RecordingMidiOut* midi = nullptr; // owned by the window once opened
    std::unique_ptr<MainWindowModel> form;
};

Note note(int32_t pos, int noteNumber, int32_t len, int part);

} // namespace vako::test
