// `PositionPanel`, the panel a right press beside the notes opens on the
// score view: it sets, changes and deletes the tempo, instrument and volume
// changes at that position. The panel is itself the container control
// "positionPanel"; its controls are members, registered with the window by
// `MainWindowModel` under their window names ("changeKindList" ...).
#pragma once

#include "view/Control.h"

#include <array>
#include <string>

namespace vako {

class MainWindowModel;
struct ScoreCursor;

// The digits of `text` in order: what the digit-only boxes keep of an entry.
std::string digitsOnly(const std::string& text);

class PositionPanel : public Control {
public:
    explicit PositionPanel(MainWindowModel& window) : m_window(window) {}

    Control prompt;                  // "positionPanelPrompt"
    std::array<Control, 2> sentence; // "positionPanelSentence(0)", "(1)"
    Control kindList;                // "changeKindList"
    Control valueBox;                // "changeValueBox"
    Control deleteButton;            // "deleteChangeButton"
    Control setButton;               // "positionSetButton"
    Control closeButton;             // "positionCloseButton"

    void wire();
    // Opens the panel at the cursor, on the change marker under it if any.
    void open(const ScoreCursor& c);
    void hide();
    // While playing, the panel keeps what was entered but its buttons wait
    // for the stop (playback puts the change list back when it ends).
    void whilePlaying(bool playing);
    void setChangeAtPosition();
    void deleteChangeAtPosition();

private:
    MainWindowModel& m_window;
    std::string m_valueAccepted; // the last accepted text of `valueBox`
};

} // namespace vako
