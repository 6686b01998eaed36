// A main window on a recording canvas and a recording MIDI device, with a
// window system that keeps the message boxes it was asked to show.
#pragma once

#include "platform/Clock.h"
#include "platform/MidiOut.h"
#include "platform/RecordingCanvas.h"
#include "view/Formmain.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vako::test {

class FakeWindowSystem : public WindowSystem {
public:
    void messageBox(const std::string& text) override { messages.push_back(text); }
    std::string inputBox(const std::string&, const std::string&, const std::string&) override {
        return inputAnswer;
    }
    void endProgram() override { ended = true; }
    std::vector<std::string> messages;
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
    void setNotes(const std::vector<NoteRec>& notes);

    std::filesystem::path folder; // the song folder, a fresh temporary folder
    Song song;
    RecordingCanvas canvas;
    FakeClock clock;
    FakeWindowSystem ui;
    RecordingMidiOut* midi = nullptr; // owned by the window once opened
    std::unique_ptr<Formmain> form;
};

NoteRec note(int32_t pos, int noteNumber, int32_t len, int part);

} // namespace vako::test
