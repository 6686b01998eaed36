// The window's side of files and playback: files dropped on the score view,
// the "MIDI出力" menu filled each time it opens, and the single-shot timer that
// wakes at the playback engine's next step. Between steps Qt handles the
// window's events as usual, so clicks, keys and menus work while a song plays.
#include "app/MainWindow.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <cmath>

namespace vako {
namespace {

std::vector<std::string> localFiles(const QMimeData* data) {
    std::vector<std::string> paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
    return paths;
}

} // namespace

void ScoreView::dragEnterEvent(QDragEnterEvent* e) {
    if (m_window.form().scoreViewAcceptsDrops && !localFiles(e->mimeData()).empty())
        e->acceptProposedAction();
}

void ScoreView::dragMoveEvent(QDragMoveEvent* e) {
    if (m_window.form().scoreViewAcceptsDrops) e->acceptProposedAction();
}

void ScoreView::dropEvent(QDropEvent* e) {
    std::vector<std::string> paths = localFiles(e->mimeData());
    if (paths.empty()) return;
    e->acceptProposedAction();
    // The drop may ask whether to save first: let the drag finish before a
    // modal box appears.
    MainWindow* window = &m_window;
    QTimer::singleShot(0, window, [window, paths = std::move(paths)] {
        window->run([&] { window->form().files.dropFiles(paths); });
    });
}

void MainWindow::connectFilesAndPlayback() {
    m_scoreView->setAcceptDrops(true);

    m_playTimer = new QTimer(this);
    m_playTimer->setSingleShot(true);
    m_playTimer->setTimerType(Qt::PreciseTimer);
    connect(m_playTimer, &QTimer::timeout, this, [this] { playbackTimeout(); });

    connectFilledMenu(m_form->deviceMenu, [this] { m_form->openDeviceMenu(); });
}

void MainWindow::connectFilledMenu(MenuItem& item, std::function<void()> fill) {
    QAction* action = m_actions[&item];
    QMenu* menu = action ? action->menu() : nullptr;
    if (!menu) return;
    connect(menu, &QMenu::aboutToShow, this, [this, menu, &item, fill] {
        run(fill);
        menu->clear();
        for (MenuItem* entry : item.children) {
            QAction* a = menu->addAction(QString::fromStdString(entry->caption));
            a->setCheckable(true);
            a->setChecked(entry->checked);
            a->setEnabled(entry->enabled);
            connect(a, &QAction::triggered, this,
                    [this, entry] { run([entry] { entry->click(); }); });
        }
    });
    // Qt leaves a menu without entries closed: one placeholder until it opens.
    menu->addAction(QString::fromStdString(item.caption))->setEnabled(false);
}

void MainWindow::armPlaybackTimer() {
    if (!m_playTimer) return;
    const double ms = m_form->msUntilNextStep();
    if (!std::isfinite(ms)) {
        m_playTimer->stop();
        return;
    }
    m_playTimer->start(static_cast<int>(std::ceil(ms)));
}

void MainWindow::playbackTimeout() {
    const bool controlsChanged = m_form->playbackTick();
    if (m_form->scoreFocusRequested) {
        m_form->scoreFocusRequested = false;
        m_scoreView->setFocus();
    }
    if (controlsChanged) {
        m_shownCursorX = m_form->playCursor.x1;
        refresh(); // arms the timer again
        return;
    }
    // Only the play cursor moved: repaint the strips it left and entered.
    const double x = m_form->playCursor.x1;
    if (x != m_shownCursorX) {
        for (double at : {m_shownCursorX, x}) {
            const QPointF top = m_scoreView->toWidget(at, kViewTop);
            m_scoreView->update(QRect(static_cast<int>(top.x()) - 4, 0, 9, m_scoreView->height()));
        }
        m_shownCursorX = x;
    }
    armPlaybackTimer();
}

} // namespace vako
