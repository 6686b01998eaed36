#include "ViewTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>

namespace vako::test {

Window::Window(DeviceCase deviceCase) {
    static std::atomic<int> counter{0};
    folder = std::filesystem::temp_directory_path() /
             ("vako-view-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(folder);
    auto opener = [this, deviceCase] {
        MidiStartup s;
        switch (deviceCase) {
        case DeviceCase::Present: {
            auto device = std::make_unique<RecordingMidiOut>(clock);
            midi = device.get();
            s.device = std::move(device);
            break;
        }
        case DeviceCase::None:
            s.device = std::make_unique<NullMidiOut>();
            s.message = msg::kNoMidiDevice;
            s.silentFallback = true;
            break;
        case DeviceCase::Busy:
            s.device = std::make_unique<NullMidiOut>();
            s.message = msg::kMidiInUse;
            s.silentFallback = true;
            break;
        }
        return s;
    };
    form = std::make_unique<MainWindowModel>(song, canvas, opener, ui, SongFolders{folder, folder});
}

Window::~Window() {
    form.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

void Window::load(const std::string& commandLine) {
    form->load(commandLine);
}

void Window::setNotes(const std::vector<Note>& notes) {
    Song opened = song;
    opened.notes.assign(1, Note{});
    opened.notes.insert(opened.notes.end(), notes.begin(), notes.end());
    opened.twiceNoteCount = static_cast<int32_t>(notes.size() * 2);
    form->editor.replaceSong(std::move(opened));
}

bool Window::playbackStep() {
    const double wait = form->msUntilNextStep();
    if (!std::isfinite(wait)) return false;
    clock.advance(wait);
    form->playbackTick();
    return true;
}

void Window::playThrough(int32_t pos) {
    while (!form->stopped() && form->playback().state().playPosition <= pos) playbackStep();
}

void Window::click(float x, float y) {
    form->scoreMouseMove(0, 0, x, y);
    form->scoreMouseDown(1, 0, x, y);
    form->scoreMouseUp(1, 0, x, y);
}

void Window::rightPress(float x, float y) {
    form->scoreMouseMove(0, 0, x, y);
    form->scoreMouseDown(2, 0, x, y);
}

void Window::clickListed(const std::string& fileName) {
    form->refreshFileList();
    const auto& items = form->fileList.items;
    const auto it = std::find(items.begin(), items.end(), fileName);
    ASSERT_NE(it, items.end()) << fileName << " is not listed";
    form->fileList.setListIndex(static_cast<int>(it - items.begin()));
}

std::vector<int32_t> Window::positions() const {
    std::vector<int32_t> out;
    for (int i = 1; i <= song.noteCount(); ++i) out.push_back(song.notes[i].position);
    return out;
}

std::vector<int> Window::keys() const {
    std::vector<int> out;
    for (int i = 1; i <= song.noteCount(); ++i) out.push_back(song.notes[i].key);
    return out;
}

Note note(int32_t pos, int noteNumber, int32_t len, int part) {
    Note r;
    r.position = pos;
    r.key = static_cast<uint8_t>(noteNumber);
    r.length = len;
    r.part = static_cast<uint8_t>(part);
    r.velocity = 120;
    r.pan = 64;
    return r;
}

} // namespace vako::test
