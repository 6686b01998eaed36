// The position panel: sets, changes and deletes tempo, instrument and volume
// changes at a position.
#include "view/PositionPanel.h"

#include "editor/ControlChanges.h"
#include "view/MainWindowModel.h"
#include "platform/Translation.h"

#include <algorithm>

namespace vako {
namespace {

const char* const kChooseAnOperation = markForTranslation("操作を選んでください。");
const char* const kWaitForTheStop = markForTranslation("停止してから押してください。");

// The number a box of digits holds; saturates far above any valid value, so
// that a long run of digits is out of range rather than wrapped.
int64_t digitsValue(const std::string& digits) {
    int64_t v = 0;
    for (char ch : digits) {
        if (ch < '0' || ch > '9') continue;
        v = std::min<int64_t>(v * 10 + (ch - '0'), int64_t{1} << 40);
    }
    return v;
}

} // namespace

std::string digitsOnly(const std::string& text) {
    std::string out;
    for (char ch : text)
        if (ch >= '0' && ch <= '9') out += ch;
    return out;
}

void PositionPanel::wire() {
    setButton.onClick = [this] { setChangeAtPosition(); };
    deleteButton.onClick = [this] { deleteChangeAtPosition(); };
    closeButton.onClick = [this] { hide(); };
    valueBox.onChange = [this] {
        valueBox.caption = m_valueAccepted = digitsOnly(valueBox.caption);
    };
}

void PositionPanel::open(const ScoreCursor& c) {
    const Song& song = m_window.song;
    ViewState& view = m_window.view;
    const int32_t sel = view.changeUnderCursor;
    const bool onMarker =
        sel >= 1 && sel <= song.changeCount && static_cast<size_t>(sel) < song.changes.size();
    if (!onMarker) view.changeUnderCursor = 0;
    deleteButton.visible = sentence[1].visible = onMarker;
    if (onMarker) {
        const ControlChange& cc = song.changes[sel];
        kindList.listIndex = cc.kind >= 1 && cc.kind <= 3 ? cc.kind - 1 : -1;
        setButton.caption = translated("変更");
        valueBox.caption = std::to_string(shownCCValue(cc));
    } else {
        setButton.caption = translated("設定");
        kindList.listIndex = 0;
        valueBox.caption = "0";
    }
    m_valueAccepted = valueBox.caption;
    move(c.snapX + 10 - 400 * (c.snapX / 400), c.snapY + 20 - 400 * ((c.snapY + 1200) / 600));
    view.cursorPosition = static_cast<int32_t>(c.pos); // the press checked that it fits
    visible = true;
}

void PositionPanel::hide() {
    visible = false;
    m_window.panelClosed();
    m_window.showUndoState();
    m_window.view.changeUnderCursor = 0;
}

void PositionPanel::whilePlaying(bool playing) {
    setButton.enabled = deleteButton.enabled = !playing;
    prompt.caption = translated(playing ? kWaitForTheStop : kChooseAnOperation);
}

void PositionPanel::setChangeAtPosition() {
    if (!m_window.stopped()) {
        // The buttons are disabled while playing; a click that slips through
        // keeps the panel and its entry for the stop.
        return;
    }
    const ViewState& view = m_window.view;
    if (valueBox.caption.empty()) {
        m_window.showMessage(translated(msg::kChooseWhatToChange));
    } else {
        const int entry = kindList.listIndex;
        const CCValue v = encodeCCValue(entry, digitsValue(valueBox.caption), view.cursorPart);
        if (v.message) m_window.showMessage(translated(*v.message));
        if (v.value) {
            const ControlChange cc{view.cursorPosition, *v.value, static_cast<uint8_t>(entry + 1)};
            // A new change, or the one under the pointer changed.
            m_window.editor.setChange(view.changeUnderCursor, cc);
        }
    }
    hide();
    m_window.redrawScore();
}

void PositionPanel::deleteChangeAtPosition() {
    if (!m_window.stopped()) return; // disabled while playing, as `setButton`
    m_window.editor.deleteChange(m_window.view.changeUnderCursor);
    m_window.redrawScore();
    hide();
}

} // namespace vako
