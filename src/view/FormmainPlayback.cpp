// Playback in the main window: the play button `Command4`, the hooks through
// which the playback engine moves the play cursor `Line1`, turns the pages and
// shows the control changes it applies, the percussion hits tapped while
// playing, the reverse command, and the "MIDI出力" menu that moves the output
// to another device.
//
// The engine keeps `blnStopped` and the play cursors; the window only asks
// it. Nothing here waits: the toolkit layer calls `playbackTick` when
// `msUntilNextStep` has passed, so the window handles its events between steps.
#include "view/Formmain.h"

#include "midi/ShortMessage.h"

#include <cmath>
#include <limits>

namespace vako {

class Formmain::PlaybackHooks final : public PlaybackListener {
public:
    explicit PlaybackHooks(Formmain& form) : m_form(form) {}

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
        Formmain& f = m_form;
        f.picture1AcceptsDrops = !playing;
        f.Command4.picture = f.Image2[playing ? 1 : 0].picture;
        // The hover cursor comes back at the stop; its ledger lines only when
        // the pointer moves again.
        f.Shape6.visible = f.Label7.visible = !playing;
        if (playing)
            for (auto* lines : {&f.Line2, &f.Line3})
                for (Control& l : *lines) l.visible = false;
        f.HScroll2.enabled = f.VScroll3.enabled = f.File1.enabled = !playing;
        f.positionPanelWhilePlaying(playing);
        m_changed = true;
    }
    void moveCursorLine(int x) override {
        Control& line = m_form.Line1;
        line.setLine(x, line.y1, x, line.y2);
    }
    void centrePitchBendLine() override {
        Control& line = m_form.Line4;
        line.setLine(kPitchBendLineX, line.y1, kPitchBendLineX, line.y2);
        m_changed = true;
    }
    int page() const override { return m_form.view.intPage; }
    void setPage(int page, bool turnView) override {
        m_form.view.intPage = page;
        // The scroll bar's change handler redraws the new page.
        if (turnView) m_form.HScroll2.setValue(page);
        m_changed = true;
    }
    void showTempoText(const std::string& text) override {
        // The song's tempo text is set already; the box only shows it.
        m_form.Text1.caption = text;
        m_changed = true;
    }
    void selectBandInstrument(int band, int program) override {
        m_form.selectBandInstrument(band, program);
        m_changed = true;
    }
    void setBandVolume(int band, int volume) override {
        m_form.setBandVolume(band, volume);
        m_changed = true;
    }
    void enableUndo() override {
        m_form.やり直し.enabled = true;
        m_changed = true;
    }
    void redraw() override {
        m_form.線引き();
        m_changed = true;
    }
    bool isTapChecked() const override { return m_form.打楽器をたたく.checked; }
    void focusScore() override { m_form.scoreFocusRequested = true; }
    int pitchShift() const override { return m_form.VScroll3.value; }

private:
    Formmain& m_form;
    bool m_changed = false;
};

Formmain::~Formmain() = default;

void Formmain::wireFilesAndPlayback() {
    auto hooks = std::make_unique<PlaybackHooks>(*this);
    m_playbackHooks = hooks.get();
    m_playbackListener = std::move(hooks);
    m_steadyClock = std::make_unique<SteadyClock>();
    m_clock = m_steadyClock.get();
    m_playback = std::make_unique<Playback>(song, *m_device, *m_clock, *m_playbackHooks);

    新規作成.onClick = [this] { 新規作成_Click(); };
    保存.onClick = [this] { 保存_Click(); };
    上書き保存.onClick = [this] { 上書き保存_Click(); };
    デスクトップに上書き保存.onClick = [this] {
        デスクトップに上書き保存.checked = !デスクトップに上書き保存.checked;
        song.varDesktopSave = デスクトップに上書き保存.checked;
    };
    曲の合成.onClick = [this] { 曲の合成.checked = !曲の合成.checked; };
    終了.onClick = [this] { 終了_Click(); };
    データを逆再生.onClick = [this] { データを逆再生_Click(); };
    File1.onClick = [this] { File1_Click(); };
    Command1.onClick = [this] { Command1_MouseDown(); };
    Command2.onClick = [this] { Command2_Click(); };
    Command4.onClick = [this] { Command4_MouseDown(); };

    // The one menu the program adds: where the sound goes.
    MIDI出力.name = "MIDI出力";
    MIDI出力.caption = "MIDI出力";
    m_menuBar.push_back(&MIDI出力);
    m_allMenus.push_back(&MIDI出力);
}

bool Formmain::blnStopped() const {
    return m_playback->state().blnStopped;
}

void Formmain::useClock(Clock& clock) {
    if (!blnStopped()) return;
    m_clock = &clock;
    m_playback = std::make_unique<Playback>(song, *m_device, *m_clock, *m_playbackHooks);
}

void Formmain::Command4_MouseDown() {
    m_playback->press();
}

double Formmain::msUntilNextStep() const {
    const double deadline = m_playback->nextDeadline();
    if (!std::isfinite(deadline)) return std::numeric_limits<double>::infinity();
    return std::max(0.0, deadline - m_clock->nowMs());
}

bool Formmain::playbackTick() {
    m_playback->runDueSteps(m_clock->nowMs());
    return m_playbackHooks->takeChanged();
}

bool Formmain::tapWhilePlaying(int note) {
    if (!m_playback->recordHit(note)) return false;
    // A mark where the hit went in, on the lower band.
    canvas.line(Line1.x1, -150, Line1.x1, -450, colour::kBlack);
    return true;
}

void Formmain::データを逆再生_Click() {
    データを逆再生.checked = !データを逆再生.checked;
    reverseNotes(song);
    線引き();
}

// ---------------------------------------------------------------------------
// Output devices

void Formmain::useDevice(std::unique_ptr<MidiOut> device, bool silent) {
    m_device = std::move(device);
    usingSilentDevice = silent;
    m_playback->setDevice(*m_device);
}

void Formmain::MIDI出力_Open() {
    const std::string current = m_device->name();
    m_deviceItems.clear();
    MIDI出力.children.clear();
    std::vector<std::string> names;
    if (m_devices) names = m_devices->names();
    for (const std::string& name : names) {
        MenuItem& item = m_deviceItems.emplace_back();
        item.name = "MIDI出力:" + name;
        item.caption = name;
        item.checked = name == current;
        item.onClick = [this, name] { chooseDevice(name); };
        MIDI出力.children.push_back(&item);
    }
    if (names.empty()) {
        MenuItem& none = m_deviceItems.emplace_back();
        none.name = "MIDI出力:none";
        none.caption = "（MIDI出力が見つかりません）";
        none.enabled = false;
        MIDI出力.children.push_back(&none);
    }
}

bool Formmain::chooseDevice(const std::string& deviceName) {
    if (!m_devices) return false;
    if (deviceName == m_device->name()) return true;
    std::string error;
    // The new device opens before the old one closes: a failure keeps the
    // sound where it was.
    std::unique_ptr<MidiOut> device = m_devices->openByName(deviceName, error);
    if (!device) {
        showMessage(deviceName + " を開けません。（" + error + "）");
        return false;
    }
    m_device->reset();
    m_device->close();
    useDevice(std::move(device), false);
    // The new device starts from the song's settings, as after a load.
    for (int part = 0; part < kPartCount; ++part) {
        midiOutShortMsg(controlChange(part, kControllerVolume,
                                      int64_t{song.intPartVolume[part]} * kVolumeUnit));
        midiOutShortMsg(programChange(part, song.bytPartInstrument[part]));
        midiOutShortMsg(pitchBendCentre(part));
    }
    for (MenuItem& item : m_deviceItems) item.checked = item.caption == deviceName;
    return true;
}

} // namespace vako
