// The window's side of a MIDI keyboard: the menu "MIDI入力" filled each time it
// opens, the wake-up from the keyboard's thread turned into an event on the
// user-interface thread, a single-shot timer at the moment a chord being
// gathered is complete, and a look once a second whether the port is still
// there. Everything the keys do to the song happens in the model, on this
// thread.
#include "app/MainWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <cmath>

namespace vako {
namespace {

const auto kKeyboardEvent = static_cast<QEvent::Type>(QEvent::User + 19);

} // namespace

void MainWindow::keyboardWakeUp() {
    // One event waits at most: a keyboard played fast wakes the window once
    // for many messages, and the device's thread never waits here.
    if (m_keyboardWakePending.exchange(true)) return;
    QCoreApplication::postEvent(this, new QEvent(kKeyboardEvent));
}

void MainWindow::customEvent(QEvent* e) {
    if (e->type() != kKeyboardEvent) {
        QMainWindow::customEvent(e);
        return;
    }
    m_keyboardWakePending.store(false);
    takeKeyboardInput();
}

void MainWindow::connectKeyboard() {
    m_chordTimer = new QTimer(this);
    m_chordTimer->setSingleShot(true);
    m_chordTimer->setTimerType(Qt::PreciseTimer);
    connect(m_chordTimer, &QTimer::timeout, this, [this] { takeKeyboardInput(); });

    auto* watch = new QTimer(this);
    connect(watch, &QTimer::timeout, this, [this] {
        if (m_form->keyboard.watchInput()) refresh();
    });
    watch->start(1000);

    connectFilledMenu(m_form->keyboard.inputMenu, [this] { m_form->keyboard.openMenu(); });
}

void MainWindow::takeKeyboardInput() {
    if (m_form->keyboard.takeInput()) refresh();
    const double ms = m_form->keyboard.msUntilChordDue();
    if (std::isfinite(ms))
        m_chordTimer->start(static_cast<int>(std::ceil(ms)));
    else
        m_chordTimer->stop();
}

} // namespace vako
