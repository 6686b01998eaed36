// A whole session in the real window, off screen: start with a song file,
// click notes onto the staff, save, open the saved file from the file list,
// drop a file, export a ".mid" file and read it back, and play the song to a
// recording device while the window keeps handling events. Message and input
// boxes are answered the way a user would, by a timer that looks for them.
#include "OffscreenApplication.h"
#include "app/MainWindow.h"

#include "midi/MidiImport.h"
#include "song/OpenFile.h"
#include "song/SongWriter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QInputDialog>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>

namespace vako {
namespace {

using test::application;

// Answers the modal boxes as they come up: input boxes with the next text,
// questions with the next button.
class BoxAnswerer {
public:
    BoxAnswerer() {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { answer(); });
        m_timer.start();
    }
    std::deque<QString> texts;
    std::deque<QMessageBox::StandardButton> buttons;
    QStringList seen; // the label text of every box answered

private:
    void answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        if (auto* input = qobject_cast<QInputDialog*>(modal)) {
            seen << input->labelText();
            input->setTextValue(texts.empty() ? QString() : texts.front());
            if (!texts.empty()) texts.pop_front();
            input->accept();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            seen << box->text();
            QMessageBox::StandardButton b = QMessageBox::Ok;
            if (!buttons.empty()) {
                b = buttons.front();
                buttons.pop_front();
            }
            if (QAbstractButton* button = box->button(b)) button->click();
        }
    }
    QTimer m_timer;
};

// Runs the event loop until `done` or the time is up.
bool waitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

class Session : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        folder = std::filesystem::temp_directory_path() /
                 ("vako-qt-session-" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    void TearDown() override {
        window.reset();
        std::filesystem::remove_all(folder);
    }

    void start(const std::string& commandLine) {
        window = test::openMainWindow(
            song, folder,
            [this] {
                auto device = std::make_unique<RecordingMidiOut>(clock);
                midi = device.get();
                return device;
            },
            commandLine, false);
    }
    MainWindowModel& form() { return window->form(); }
    QPushButton* button(const char* name) {
        return qobject_cast<QPushButton*>(window->widgetFor(name));
    }
    void clickStaff(double x, double y) { test::clickStaff(window->scoreView(), x, y); }
    void triggerMenu(MenuItem& item) {
        for (QAction* a : window->findChildren<QAction*>())
            if (a->text() == QString::fromStdString(item.caption) && !a->menu()) {
                a->trigger();
                return;
            }
        FAIL() << "no menu action " << item.caption;
    }
    std::vector<int32_t> positions() const { return test::positionsOf(song); }

    std::filesystem::path folder;
    SteadyClock clock;
    Song song;
    RecordingMidiOut* midi = nullptr;
    std::unique_ptr<MainWindow> window;
};

TEST_F(Session, EscapeAtTheClosingQuestionKeepsTheWindowAndTheSong) {
    start("");
    clickStaff(5.0 * (12 + 18) + 7, -600.0 - 10.0 * (35 - 6) - 5);
    ASSERT_EQ(positions(), std::vector<int32_t>{12});
    QStringList asked;
    QTimer escape;
    escape.setInterval(5);
    QObject::connect(&escape, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            asked << box->text();
            QTest::keyClick(box, Qt::Key_Escape);
        }
    });
    escape.start();
    EXPECT_FALSE(window->close());
    escape.stop();
    EXPECT_EQ(asked, QStringList{QStringLiteral("新規作成 は変更されています。保存しますか？")});
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(positions(), std::vector<int32_t>{12});
}

TEST_F(Session, EditSaveReopenExportAndPlay) {
    // The starting song: three quarter notes of part 1 at a quick tempo, on
    // the first three beats.
    Song start;
    for (int32_t pos : {3, 15, 27}) start.notes.push_back({pos, 64, 12, 0, 120, 64, 0});
    start.twiceNoteCount = 6;
    start.tempoText = "300";
    ASSERT_TRUE(saveSongTo(start, folder / "start.txt").empty());
    BoxAnswerer boxes;
    this->start((folder / "start.txt").string());
    ASSERT_EQ(positions(), (std::vector<int32_t>{3, 15, 27}));
    EXPECT_EQ(window->windowTitle(),
              QString::fromStdString("ヴァコヴァコMIDI ～ " + (folder / "start.txt").string()));

    // Two notes clicked onto the upper staff.
    clickStaff(300, -900);
    clickStaff(400, -880);
    ASSERT_EQ(song.noteCount(), 5) << "clicks on the staff add notes";
    const std::vector<int32_t> edited = positions();
    EXPECT_TRUE(window->form().editor.isModified());

    // Save under a typed name.
    boxes.texts = {"session"};
    triggerMenu(form().saveAsMenu);
    ASSERT_TRUE(std::filesystem::exists(folder / "session.txt"));
    EXPECT_FALSE(window->form().editor.isModified());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("ヴァコヴァコMIDI ～ session"));

    // Change the song, then open the saved file from the file list; the
    // question about the change is answered No.
    triggerMenu(form().newSongMenu); // the song was saved: no question
    EXPECT_EQ(song.noteCount(), 0);
    clickStaff(300, -900);
    boxes.buttons = {QMessageBox::No};
    auto* list = qobject_cast<QListWidget*>(window->widgetFor("fileList"));
    ASSERT_NE(list, nullptr);
    const auto found = list->findItems(QStringLiteral("session.txt"), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    boxes.buttons = {QMessageBox::No};
    emit list->itemClicked(found.front());
    QApplication::processEvents();
    EXPECT_EQ(positions(), edited);
    EXPECT_EQ(song.songName, "session");
    EXPECT_EQ(window->windowTitle(), QStringLiteral("ヴァコヴァコMIDI ～ session.txt"));

    // A song dropped on the staff opens too.
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(QString::fromStdString((folder / "start.txt").string()))});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window->scoreView(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window->scoreView(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_TRUE(waitFor([&] { return song.songName == "start"; }));
    EXPECT_EQ(positions(), (std::vector<int32_t>{3, 15, 27}));
    delete mime;
    emit list->itemClicked(list->findItems(QStringLiteral("session.txt"), Qt::MatchExactly)[0]);
    QApplication::processEvents();
    ASSERT_EQ(positions(), edited);

    // Export, and read the file back with the program's own reader.
    boxes.texts = {"session"};
    ASSERT_TRUE(button("exportButton")->isEnabled());
    button("exportButton")->click();
    ASSERT_TRUE(std::filesystem::exists(folder / "session.mid"));
    Song back;
    ImportingSongHost quiet;
    ASSERT_EQ(openFile(back, (folder / "session.mid").string(), quiet), OpenStatus::Loaded);
    ASSERT_EQ(back.noteCount(), song.noteCount());
    for (int i = 1; i <= song.noteCount(); ++i) {
        EXPECT_EQ(back.notes[i].key, song.notes[i].key) << i;
        EXPECT_EQ(back.notes[i].position, song.notes[i].position) << i;
    }

    // Play to the recording device. The window goes on handling events: a
    // menu toggle runs while the song plays.
    midi->clear();
    ASSERT_TRUE(button("playButton")->isEnabled());
    const double pressedAt = clock.nowMs();
    button("playButton")->click();
    ASSERT_FALSE(form().stopped());
    EXPECT_TRUE(window->playbackTimer()->isActive());
    EXPECT_FALSE(window->widgetFor("pageScrollBar")->isEnabled());
    ASSERT_TRUE(waitFor([&] { return form().playCursor.x1 > 110; }));
    triggerMenu(form().showChangesMenu);
    EXPECT_TRUE(form().showChangesMenu.checked);
    EXPECT_FALSE(form().stopped());
    ASSERT_TRUE(waitFor([&] { return form().stopped(); }));
    EXPECT_FALSE(window->playbackTimer()->isActive());
    EXPECT_TRUE(window->widgetFor("pageScrollBar")->isEnabled());

    // Every note-on, in the song's order, never before its step is due: the
    // pass for position p is the (p + 2)th after the press (page 0 starts at -1).
    std::vector<std::pair<int, double>> ons;
    for (const auto& e : midi->entries())
        if (e.kind == RecordingMidiOut::Kind::Message && (e.message & 0xF0) == 0x90)
            ons.push_back({static_cast<int>((e.message >> 8) & 0x7F), e.timeMs});
    ASSERT_EQ(ons.size(), static_cast<size_t>(song.noteCount()));
    const double msPerStep = 5000.0 / 300;
    for (size_t i = 0; i < ons.size(); ++i) {
        const Note& n = song.notes[i + 1];
        EXPECT_EQ(ons[i].first, n.key) << i;
        if (i > 0) {
            EXPECT_GE(ons[i].second, ons[i - 1].second);
        }
        EXPECT_GE(ons[i].second - pressedAt, (n.position + 2) * msPerStep - 1)
            << "note " << i << " came early";
    }
    EXPECT_EQ(midi->entries().back().kind, RecordingMidiOut::Kind::Message)
        << "the stop centres balance last";
}

TEST_F(Session, ADroppedPictureTilesTheStaffAndTheButtonRemovesIt) {
    start("");
    QImage wall(40, 30, QImage::Format_RGB32);
    wall.fill(QColor(200, 40, 40));
    const auto path = folder / "wall.JPG";
    ASSERT_TRUE(wall.save(QString::fromStdString(path.string()), "JPG"));
    // Between two staff lines of the upper band: background, not ink.
    auto pixel = [&] {
        const QImage shot = window->scoreView().grab().toImage();
        const QPointF at = window->scoreView().toWidget(407, -810) * shot.devicePixelRatio();
        return QColor(shot.pixel(at.toPoint()));
    };
    EXPECT_EQ(pixel(), QColor(192, 192, 192));

    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(QString::fromStdString(path.string()))});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window->scoreView(), &enter);
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window->scoreView(), &drop);
    ASSERT_TRUE(waitFor([&] { return button("clearBackgroundButton")->isVisible(); }));
    delete mime;
    EXPECT_EQ(button("clearBackgroundButton")->text(), QStringLiteral("壁紙を消す"));
    const QColor tiled = pixel();
    EXPECT_GT(tiled.red(), 150);
    EXPECT_LT(tiled.green(), 100);

    button("clearBackgroundButton")->click();
    QApplication::processEvents();
    EXPECT_FALSE(button("clearBackgroundButton")->isVisible());
    EXPECT_EQ(pixel(), QColor(192, 192, 192));
}

} // namespace
} // namespace vako
