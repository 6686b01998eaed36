// A MIDI keyboard in the real window, off screen: the pointer over the staff,
// a chord played on a keyboard whose messages come from another thread, and
// the notes it leaves in the song; the menu "MIDI入力" in the menu bar.
#include "OffscreenApplication.h"
#include "app/MainWindow.h"

#include "midi/ShortMessage.h"
#include "platform/Clock.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <tuple>
#include <vector>

namespace vako {
namespace {

// One port, "Test keys", whose device thread the test plays.
class OnePort final : public MidiInBackend {
public:
    OnePort(const Clock& clock, MainWindow& window) : m_clock(clock), m_window(window) {}
    std::vector<std::string> portNames() override { return {"Test keys"}; }
    std::unique_ptr<MidiIn> open(const std::string& portName, std::string& error) override {
        if (portName != "Test keys") {
            error = "no such port";
            return nullptr;
        }
        MainWindow* window = &m_window;
        auto in = std::make_unique<ScriptedMidiIn>(
            m_clock, [window] { window->keyboardWakeUp(); }, portName);
        keyboard = in.get();
        return in;
    }
    ScriptedMidiIn* keyboard = nullptr;

private:
    const Clock& m_clock;
    MainWindow& m_window;
};

TEST(KeyboardWindow, AChordPlayedWithThePointerOverTheStaffGoesInThere) {
    Song song;
    FakeClock deviceClock;
    auto window =
        test::openMainWindow(song, std::filesystem::temp_directory_path() / "vako-qt-keyboard",
                             [&] { return std::make_unique<RecordingMidiOut>(deviceClock); });
    OnePort ports(window->form().clock(), *window);
    window->form().keyboard.setBackend(&ports);

    // The menu lists the port; choosing it opens it.
    QAction* inputMenu = nullptr;
    for (QAction* a : window->menuBar()->actions())
        if (a->text() == QStringLiteral("MIDI入力")) inputMenu = a;
    ASSERT_NE(inputMenu, nullptr);
    ASSERT_NE(inputMenu->menu(), nullptr);
    emit inputMenu->menu()->aboutToShow();
    QStringList entries;
    for (QAction* a : inputMenu->menu()->actions()) entries << a->text();
    EXPECT_EQ(entries, (QStringList{QStringLiteral("なし"), QStringLiteral("Test keys")}));
    EXPECT_TRUE(inputMenu->menu()->actions()[0]->isChecked());
    inputMenu->menu()->actions()[1]->trigger();
    ASSERT_NE(ports.keyboard, nullptr);

    // The pointer over the lower band at position 24.
    test::sendMouse(window->scoreView(), QEvent::MouseMove, Qt::NoButton, 5.0 * (24 + 18) + 7,
                    -300);

    // C, E, G pressed together and let go, from the keyboard's own thread.
    std::thread device([&] {
        for (int key : {60, 64, 67}) ports.keyboard->deliver(packShortMessage(0x90, key, 90));
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        for (int key : {60, 64, 67}) ports.keyboard->deliver(packShortMessage(0x80, key, 0));
    });
    device.join();
    QElapsedTimer waited;
    waited.start();
    while (song.noteCount() < 3 && waited.elapsed() < 3000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);

    // At 24, on the lower band's part, with the keys' velocity.
    ASSERT_EQ(song.noteCount(), 3);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(std::tuple(song.notes[i].position, song.notes[i].part, song.notes[i].velocity),
                  std::tuple(24, 9, 90));
    EXPECT_EQ(song.notes[1].key, 60);
    EXPECT_EQ(song.notes[3].key, 67);
    EXPECT_TRUE(window->form().keyboard.inputLine.visible);
    EXPECT_EQ(window->form().keyboard.inputPosition(), 36);
}

} // namespace
} // namespace vako
