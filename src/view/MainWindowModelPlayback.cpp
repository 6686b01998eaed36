// Playback in the main window: the play button `playButton`, the hooks through
// which the playback engine moves the play cursor `playCursor`, turns the pages and
// shows the control changes it applies, the percussion hits tapped while
// playing, the reverse command, and the "MIDI出力" menu that moves the output
// to another device.
//
// The engine keeps `stopped` and the play cursors; the window only asks
// it. Nothing here waits: the toolkit layer calls `playbackTick` when
// `msUntilNextStep` has passed, so the window handles its events between steps.
#include "view/MainWindowModel.h"

#include "midi/ShortMessage.h"

#include <cmath>
#include <limits>

namespace vako {

class MainWindowModel::PlaybackHooks final : public PlaybackListener {
public:
    explicit PlaybackHooks(MainWindowModel& form) : m_form(form) {}

    // Whether a control besides the play cursor changed since the last call.
    bool takeChanged() {
        const bool changed = m_changed;
        m_changed = false;
        return changed;
    }

    void showMessage(const std::string& text) override {
        m_form.showMessage(text);
        m_changed = true;
    }
    void setPlaying(bool playing) override {
        MainWindowModel& f = m_form;
        if (playing) {
            f.editor.beginPlayback(); // before playback sets the start tempo
            f.keyboard.playbackStarted();
        }
        f.scoreViewAcceptsDrops = !playing;
        f.playButton.picture = f.playStopImages[playing ? 1 : 0].picture;
        // The hover cursor comes back at the stop; its ledger lines only when
        // the pointer moves again.
        f.noteCursor.visible = f.pitchNameLabel.visible = !playing;
        if (playing)
            for (auto* lines : {&f.ledgerLinesAbove, &f.ledgerLinesBelow})
                for (Control& l : *lines) l.visible = false;
        f.pageScrollBar.enabled = f.transposeScrollBar.enabled = f.fileList.enabled = !playing;
        f.positionPanel.whilePlaying(playing);
        m_changed = true;
    }
    void moveCursorLine(int x) override {
        Control& line = m_form.playCursor;
        line.setLine(x, line.y1, x, line.y2);
    }
    void centrePitchBendLine() override {
        Control& line = m_form.pitchBendIndicator;
        line.setLine(kPitchBendLineX, line.y1, kPitchBendLineX, line.y2);
        m_changed = true;
    }
    int page() const override { return m_form.view.page; }
    void setPage(int page, bool turnView) override {
        m_form.view.page = page;
        // The scroll bar's change handler redraws the new page.
        if (turnView) m_form.pageScrollBar.setValue(page);
        m_changed = true;
    }
    void showTempoText(const std::string& text) override {
        // The song's tempo text is set already; the box only shows it.
        m_form.tempoBox.caption = text;
        m_changed = true;
    }
    void showPartProgram(int part, int program) override {
        MainWindowModel::ProgramSetting setting(m_form); // the song has it already
        for (int band = 0; band < 2; ++band)
            if (m_form.view.bandParts[band] == part)
                m_form.bandInstrumentLists[band].setListIndex(program);
        m_changed = true;
    }
    void showPartVolume(int part, int volume) override {
        MainWindowModel::ProgramSetting setting(m_form);
        for (int band = 0; band < 2; ++band)
            if (m_form.view.bandParts[band] == part)
                m_form.bandVolumeScrollBars[band].setValue(volume);
        m_changed = true;
    }
    void redraw() override {
        m_form.redrawScore();
        m_form.keyboard.stopRedrawn();
        m_changed = true;
    }
    bool isTapChecked() const override { return m_form.keyboardDrumsMenu.checked; }
    void focusScore() override { m_form.scoreFocusRequested = true; }
    int pitchShift() const override { return m_form.transposeScrollBar.value; }
    std::vector<Note> takePlayedNotes(int32_t stopPosition) override {
        return m_form.keyboard.playbackStopped(stopPosition);
    }
    void loopJumped(int32_t loopEndPosition) override {
        m_form.keyboard.loopJumped(loopEndPosition);
    }

private:
    MainWindowModel& m_form;
    bool m_changed = false;
};

MainWindowModel::~MainWindowModel() = default;

void MainWindowModel::wireFilesAndPlayback() {
    auto hooks = std::make_unique<PlaybackHooks>(*this);
    m_playbackHooks = hooks.get();
    m_playbackListener = std::move(hooks);
    m_steadyClock = std::make_unique<SteadyClock>();
    m_clock = m_steadyClock.get();
    m_playback =
        std::make_unique<Playback>(editor.songForPlayback(), *m_device, *m_clock, *m_playbackHooks);

    newSongMenu.onClick = [this] { files.newSong(); };
    saveAsMenu.onClick = [this] { files.saveAs(); };
    saveMenu.onClick = [this] { files.save(); };
    saveToDesktopMenu.onClick = [this] {
        saveToDesktopMenu.checked = !saveToDesktopMenu.checked;
        folders.saveToDesktop = saveToDesktopMenu.checked;
    };
    mergeMenu.onClick = [this] { mergeMenu.checked = !mergeMenu.checked; };
    exportMusicXmlMenu.onClick = [this] { files.exportMusicXml(); };
    quitMenu.onClick = [this] { files.quit(); };
    reverseSongMenu.onClick = [this] { reverseSong(); };
    fileList.onClick = [this] { files.openSelectedFile(); };
    exportButton.onClick = [this] { files.exportMidiFile(); };
    clearBackgroundButton.onClick = [this] { files.clearBackground(); };
    playButton.onClick = [this] { togglePlayback(); };
    playButton.onShiftClick = [this] { playFromHoveredBar(); };

    // The one menu the program adds: where the sound goes.
    deviceMenu.name = "MIDI出力";
    deviceMenu.caption = translated("MIDI出力");
    m_menuBar.push_back(&deviceMenu);
    m_allMenus.push_back(&deviceMenu);
    m_menuBar.push_back(&keyboard.inputMenu);
    m_allMenus.push_back(&keyboard.inputMenu);
    wireListening();
}

bool MainWindowModel::stopped() const {
    return m_playback->state().stopped;
}

void MainWindowModel::useClock(Clock& clock) {
    if (!stopped()) return;
    m_clock = &clock;
    m_playback =
        std::make_unique<Playback>(editor.songForPlayback(), *m_device, *m_clock, *m_playbackHooks);
    m_playback->setOptions(m_playbackOptions);
}

void MainWindowModel::togglePlayback(PlaybackStart from) {
    commitTextBoxes(); // playback starts at the tempo the box shows
    // What the keyboard played up to the press goes in before the start (a
    // chord being gathered) or is recorded before the stop.
    keyboard.takeInput();
    // The count-in is for playing in: on the drum pad or a MIDI keyboard.
    from.countIn = countInMenu.checked && (keyboardDrumsMenu.checked || keyboard.inputOpen());
    m_playback->press(from);
    if (!stopped()) return;
    endPlayback();
    keyboard.playbackEnded();
}

void MainWindowModel::endPlayback() {
    editor.endPlayback();
    showUndoState();
}

void MainWindowModel::stopForClosing() {
    m_playback->stop();
    endPlayback(); // the recording joins the song, so a save keeps it
    m_device->reset();
}

void MainWindowModel::closeDevice() {
    m_device->close();
    m_unloaded = true;
}

double MainWindowModel::msUntilNextStep() const {
    const double deadline = m_playback->nextDeadline();
    if (!std::isfinite(deadline)) return std::numeric_limits<double>::infinity();
    return std::max(0.0, deadline - m_clock->nowMs());
}

bool MainWindowModel::playbackTick() {
    keyboard.takeInput(); // recorded before a stop at the song's end
    m_playback->runDueSteps(m_clock->nowMs());
    if (stopped()) { // the song's end
        endPlayback();
        keyboard.playbackEnded();
    }
    return m_playbackHooks->takeChanged();
}

bool MainWindowModel::tapWhilePlaying(int note) {
    if (!m_playback->recordHit(note)) return false;
    // A mark where the hit went in, on the lower band.
    canvas.line(playCursor.x1, -150, playCursor.x1, -450, colour::kBlack);
    return true;
}

void MainWindowModel::reverseSong() {
    commitTextBoxes();
    reverseSongMenu.checked = !reverseSongMenu.checked;
    editor.reverse();
    showUndoState();
    redrawScore();
}

// ---------------------------------------------------------------------------
// Output devices

void MainWindowModel::useDevice(std::unique_ptr<MidiOut> device, bool silent) {
    m_device = std::move(device);
    usingSilentDevice = silent;
    m_playback->setDevice(*m_device);
}

void MainWindowModel::openDeviceMenu() {
    const std::string current = m_device->name();
    m_deviceItems.clear();
    deviceMenu.children.clear();
    std::vector<std::string> names;
    if (m_devices) names = m_devices->names();
    for (const std::string& name : names) {
        MenuItem& item = m_deviceItems.emplace_back();
        item.name = "MIDI出力:" + name;
        item.caption = name;
        item.checked = name == current;
        item.onClick = [this, name] { chooseDevice(name); };
        deviceMenu.children.push_back(&item);
    }
    if (names.empty()) {
        MenuItem& none = m_deviceItems.emplace_back();
        none.name = "MIDI出力:none";
        none.caption = translated("（MIDI出力が見つかりません）");
        none.enabled = false;
        deviceMenu.children.push_back(&none);
    }
}

bool MainWindowModel::chooseDevice(const std::string& deviceName) {
    if (!m_devices) return false;
    if (deviceName == m_device->name()) return true;
    std::string error;
    // The new device opens before the old one closes: a failure keeps the
    // sound where it was.
    std::unique_ptr<MidiOut> device = m_devices->openByName(deviceName, error);
    if (!device) {
        showMessage(translated("{device} を開けません。（{error}）",
                               {{"device", deviceName}, {"error", error}}));
        return false;
    }
    m_device->reset();
    m_device->close();
    useDevice(std::move(device), false);
    keyboard.outputChanged();
    // The new device starts from the song's settings, as after a load.
    for (int part = 0; part < kPartCount; ++part) {
        midiOutShortMsg(
            controlChange(part, kControllerVolume, int64_t{song.partVolumes[part]} * kVolumeUnit));
        midiOutShortMsg(programChange(part, song.partPrograms[part]));
        midiOutShortMsg(pitchBendCentre(part));
    }
    for (MenuItem& item : m_deviceItems) item.checked = item.caption == deviceName;
    return true;
}

} // namespace vako
