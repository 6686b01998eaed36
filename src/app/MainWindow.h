// The Qt main window around `MainWindowModel`: one widget per control, placed at its
// designed position and zoomed to fit; the score view draws the retained
// canvas image and lays the moving items over it. After every handler the
// controls are shown again from the model.
#pragma once

#include "platform/qt/QtCanvas.h"
#include "platform/qt/QtClipboard.h"
#include "view/MainWindowModel.h"

#include <QMainWindow>
#include <QRegion>
#include <QString>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

class QAction;
class QMenu;
class QTimer;

namespace vako {

class MainWindow;

// `scoreView`: the retained image, the moving items, mouse and keys in view units.
class ScoreView : public QWidget {
public:
    ScoreView(MainWindow& window, QWidget* parent);
    // Pixels (logical) per view unit.
    double scale() const;
    QPointF toWidget(double x, double y) const;
    QPointF toView(QPointF widgetPoint) const;
    // Asks for a repaint of what changed since the last call: the whole view
    // when the retained image was drawn on, else only where the moving items
    // were and are.
    void showChanges();

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void leaveEvent(QEvent*) override;
    // Files dropped from the desktop (MainWindowFiles.cpp).
    void dragEnterEvent(QDragEnterEvent*) override;
    void dragMoveEvent(QDragMoveEvent*) override;
    void dropEvent(QDropEvent*) override;

private:
    // Where the moving items paint, widget pixels, with room for pens and
    // text; `look` gets what else their paint depends on.
    QRegion movingItemsRegion(QString& look) const;

    MainWindow& m_window;
    uint64_t m_shownCanvasVersion = UINT64_MAX; // the image version last painted
    QRegion m_movingItems;                      // movingItemsRegion() at the last showChanges()
    QString m_movingItemsLook;                  // and its look
};

// On a text box: the keys of the song's undo and redo go to the menu, so
// that Ctrl+Z while typing takes back an edit of the song, not one keystroke.
class SongShortcutsFirst : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

class MainWindow : public QMainWindow {
public:
    // Messages are shown as message boxes unless `quiet`, when they go to stderr.
    MainWindow(Song& song, MainWindowModel::DeviceOpener openDevice, SongFolders folders,
               bool quiet);
    ~MainWindow() override;

    MainWindowModel& form() { return *m_form; }
    QtCanvas& canvas() { return m_canvas; }
    ScoreView& scoreView() { return *m_scoreView; }
    // Runs the load handler with the command line and shows the model.
    void load(const std::string& commandLine);
    // Shows every control, menu and the caption from the model again.
    void refresh();
    // Runs one handler of the model, then refreshes.
    template <typename F> void run(F&& handler) {
        handler();
        refresh();
    }
    // The zoom from design pixels to widget pixels.
    double zoom() const { return m_zoom; }
    QWidget* widgetFor(const std::string& controlName) const;
    // The timer that runs playback's steps; active only while playing.
    QTimer* playbackTimer() const { return m_playTimer; }
    // The MIDI keyboard's wake-up, called on the keyboard's own thread: the
    // window takes the messages on its thread soon after.
    void keyboardWakeUp();

protected:
    void resizeEvent(QResizeEvent*) override;
    void closeEvent(QCloseEvent*) override;
    void customEvent(QEvent*) override;

private:
    friend class ScoreView;
    class Surface;
    class Ui;
    void buildMenus();
    void buildWidgets();
    // The items as a menu at the pointer; a chosen one runs as a handler.
    void popUp(const std::vector<MenuItem*>& items);
    void layOut();
    QRect formRect(const Control& c) const;
    QWidget* containerFor(const Control& c) const;
    void mirror(Control& c, QWidget* w);
    void mirrorMenus();
    // Files and playback (MainWindowFiles.cpp): drops, the device menu, and
    // the timer armed at the playback engine's next step.
    void connectFilesAndPlayback();
    // A menu whose entries `fill` makes in the model each time it opens
    // ("MIDI出力", "MIDI入力").
    void connectFilledMenu(MenuItem& item, std::function<void()> fill);
    void armPlaybackTimer();
    void playbackTimeout();
    QTimer* m_playTimer = nullptr;
    // The MIDI keyboard (MainWindowKeyboard.cpp): its menu, the messages taken
    // on this thread, the timer at a gathered chord's end.
    void connectKeyboard();
    void takeKeyboardInput();
    QTimer* m_chordTimer = nullptr;
    std::atomic<bool> m_keyboardWakePending{false};
    double m_shownCursorX = 100; // x of the play cursor as last painted (view units)

    Song& m_song;
    std::unique_ptr<Ui> m_ui;
    QtCanvas m_canvas;
    QtClipboard m_clipboard;
    std::unique_ptr<MainWindowModel> m_form;
    QWidget* m_surface = nullptr;
    ScoreView* m_scoreView = nullptr;
    std::map<Control*, QWidget*> m_widgets;
    std::map<MenuItem*, QAction*> m_actions;
    double m_zoom = 1;
    bool m_refreshing = false;
    SongShortcutsFirst m_songShortcutsFirst;
};

// Design size of the window's client area below the menu bar, in pixels.
constexpr int kDesignWidth = 1320;
constexpr int kDesignHeight = 672;

} // namespace vako
