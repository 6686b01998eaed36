// How the song is heard while it plays: parts muted and soloed (the right-click
// menu of the part buttons, the state marked on both columns' buttons and the
// muted parts' notes drawn faint), the metronome and the count-in (the menu
// "再生"), and the start at a bar and the loop (the right-click menu of the
// bar numbers, the loop marked on their row; Shift + the play button starts
// at the hovered bar). None of it is song data: it
// lives here while the program runs and reaches playback as PlaybackOptions.
#include "view/MainWindowModel.h"

#include "song/Messages.h"

#include <algorithm>
#include <cmath>

namespace vako {

namespace {

// The loop's span runs just under the bar numbers' line of text (about
// -1173 to -1145 at their 9 points), clear of their digits.
constexpr int kLoopSpanY = -1141;

} // namespace

std::string MainWindowModel::partButtonCaption(int part) {
    return part == kPercussionPart ? translated("打") : std::to_string(part + 1);
}

void MainWindowModel::wireListening() {
    auto entry = [this](MenuItem& m, const std::string& name, const std::string& caption) {
        m.name = name;
        m.caption = translated(caption);
        m_allMenus.push_back(&m);
    };
    entry(metronomeMenu, "メトロノーム", msg::kMetronome);
    entry(countInMenu, "カウントイン", msg::kCountIn);
    entry(listeningSeparator, "listeningSeparator", "-");
    entry(clearMuteAndSoloMenu, "ミュートとソロを解除", msg::kClearMuteAndSolo);
    entry(clearLoopMenu, "ループを解除", msg::kClearLoop);
    entry(listeningMenu, "再生", msg::kListeningMenu);
    listeningMenu.children = {&metronomeMenu, &countInMenu, &listeningSeparator,
                              &clearMuteAndSoloMenu, &clearLoopMenu};
    // The settings of sound sit beside the output device's menu.
    const auto device = std::find(m_menuBar.begin(), m_menuBar.end(), &deviceMenu);
    m_menuBar.insert(device, &listeningMenu);

    metronomeMenu.onClick = [this] {
        m_playbackOptions.metronome = !m_playbackOptions.metronome;
        applyPlaybackOptions();
    };
    countInMenu.onClick = [this] { countInMenu.checked = !countInMenu.checked; };
    clearMuteAndSoloMenu.onClick = [this] {
        m_playbackOptions.muted.fill(false);
        m_playbackOptions.soloed.fill(false);
        applyPlaybackOptions();
    };
    clearLoopMenu.onClick = [this] { clearLoop(); };

    for (int part = 0; part < kPartCount; ++part) {
        entry(muteMenus[part], "mute:" + std::to_string(part + 1), msg::kMute);
        entry(soloMenus[part], "solo:" + std::to_string(part + 1), msg::kSolo);
        muteMenus[part].onClick = [this, part] {
            setPartMuted(part, !m_playbackOptions.muted[part]);
        };
        soloMenus[part].onClick = [this, part] {
            setPartSoloed(part, !m_playbackOptions.soloed[part]);
        };
        for (auto* column : {&upperPartButtons, &lowerPartButtons})
            (*column)[part].contextMenu = {&muteMenus[part], &soloMenus[part]};
    }

    entry(playFromBarMenu, "この小節から再生", msg::kPlayFromBar);
    entry(loopFromBarMenu, "この小節からループ", msg::kLoopFromBar);
    entry(loopToBarMenu, "この小節までループ", msg::kLoopToBar);
    playFromBarMenu.onClick = [this] { playFromBar(m_barOfMenu); };
    loopFromBarMenu.onClick = [this] {
        const PlaybackOptions& o = m_playbackOptions;
        setLoop(m_barOfMenu, o.hasLoop() ? std::max(o.loopLastBar, m_barOfMenu) : m_barOfMenu);
    };
    loopToBarMenu.onClick = [this] {
        const PlaybackOptions& o = m_playbackOptions;
        setLoop(o.hasLoop() ? std::min(o.loopFirstBar, m_barOfMenu) : m_barOfMenu, m_barOfMenu);
    };
    applyPlaybackOptions();
}

void MainWindowModel::setPartMuted(int part, bool muted) {
    if (part < 0 || part >= kPartCount) return;
    m_playbackOptions.muted[part] = muted;
    applyPlaybackOptions();
}

void MainWindowModel::setPartSoloed(int part, bool soloed) {
    if (part < 0 || part >= kPartCount) return;
    m_playbackOptions.soloed[part] = soloed;
    applyPlaybackOptions();
}

void MainWindowModel::setLoop(int32_t firstBar, int32_t lastBar) {
    if (firstBar < 1 || lastBar < firstBar) firstBar = lastBar = 0;
    m_playbackOptions.loopFirstBar = firstBar;
    m_playbackOptions.loopLastBar = lastBar;
    applyPlaybackOptions();
}

void MainWindowModel::playFromBar(int32_t bar) {
    if (!stopped()) togglePlayback();
    togglePlayback({.bar = std::max(bar, 1)});
}

void MainWindowModel::playFromHoveredBar() {
    // The page the scroll bar shows (a start turns the view only in its first pass).
    const int64_t pageFirst = int64_t{pageScrollBar.value} * kStepsPerPage + 1;
    const bool onPage = m_pasteTargetKnown && m_pastePosition >= pageFirst &&
                        m_pastePosition < pageFirst + kStepsPerPage;
    if (!onPage) {
        if (!stopped()) togglePlayback();
        togglePlayback();
        return;
    }
    playFromBar(static_cast<int32_t>(barAtPosition(m_pastePosition, song.quartersPerBar)));
}

void MainWindowModel::applyPlaybackOptions() {
    const PlaybackOptions& o = m_playbackOptions;
    m_playback->setOptions(o);
    metronomeMenu.checked = o.metronome;
    clearLoopMenu.enabled = o.hasLoop();
    for (int part = 0; part < kPartCount; ++part) {
        muteMenus[part].checked = o.muted[part];
        soloMenus[part].checked = o.soloed[part];
    }
    showPartSounding();
    if (shown) redrawScore();
}

void MainWindowModel::showPartSounding() {
    const PlaybackOptions& o = m_playbackOptions;
    for (auto* column : {&upperPartButtons, &lowerPartButtons}) {
        for (int part = 0; part < kPartCount; ++part) {
            Control& button = (*column)[part];
            button.caption = partButtonCaption(part) + (o.muted[part] ? msg::kMutedMark : "") +
                             (o.soloed[part] ? msg::kSoloedMark : "");
            button.foreColour = o.partSounds(part) ? colour::kBlack : colour::kSilentPartCaption;
        }
    }
}

int32_t MainWindowModel::barAtX(float X) const {
    const double step = std::clamp(std::round((double{X} - xOfStep(0)) / kStaffUnitsPerStep), 1.0,
                                   static_cast<double>(kStepsPerPage));
    const int64_t position = int64_t{view.page} * kStepsPerPage + static_cast<int64_t>(step);
    return static_cast<int32_t>(
        std::min<int64_t>(barAtPosition(position, song.quartersPerBar), INT32_MAX - 1));
}

void MainWindowModel::barNumbersRightClicked(float X) {
    m_barOfMenu = barAtX(X);
    if (popUpMenu) popUpMenu({&playFromBarMenu, &loopFromBarMenu, &loopToBarMenu, &clearLoopMenu});
}

void MainWindowModel::drawLoopSpan() {
    const PlaybackOptions& o = m_playbackOptions;
    if (!o.hasLoop()) return;
    const int64_t start = barStartPosition(o.loopFirstBar, song.quartersPerBar);
    const int64_t end = barStartPosition(int64_t{o.loopLastBar} + 1, song.quartersPerBar);
    const int64_t pageFirst = int64_t{view.page} * kStepsPerPage + 1;
    // The page's last bar runs to the line at its right edge, two steps into the next page.
    const int64_t pageLast = pageFirst + kStepsPerPage + 1;
    const int64_t first = std::max(start, pageFirst), last = std::min(end - 1, pageLast);
    if (first > last) return;
    const auto xOf = [&](int64_t position) { return xOfStep(position - pageFirst + 1); };
    canvas.setDrawWidth(3);
    canvas.line(xOf(first), kLoopSpanY, xOf(last) + kStaffUnitsPerStep, kLoopSpanY,
                colour::kLoopSpan);
    canvas.setDrawWidth(1);
}

} // namespace vako
