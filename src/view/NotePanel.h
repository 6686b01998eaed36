// `NotePanel`, the panel a right press on a note opens on the score view:
// the note's strength and balance, semitone up and down, its length (the
// toolbox tools 10..17), delete and close. The panel is itself the container
// control "notePanel"; its controls are members, registered with the window
// by `MainWindowModel` under their window names ("noteStrengthList" ...).
#pragma once

#include "view/Control.h"

#include <cstdint>
#include <vector>

namespace vako {

class MainWindowModel;

class NotePanel : public Control {
public:
    explicit NotePanel(MainWindowModel& window) : m_window(window) {}

    Control strengthList; // "noteStrengthList"
    Control balanceList;  // "noteBalanceList"
    Control deleteButton; // "noteDeleteButton"
    Control closeButton;  // "noteCloseButton"

    // Handlers on the panel's controls and on the window's `accidentalOptions`.
    void wire();
    // Opens the panel beside the press for the note under the cursor.
    void open(float X, float Y);
    // Hides the panel; the release of the press that closed it is the panel's.
    void close();
    // After a button: the panel closes and the window shows the song again.
    void done();
    // Shows the strength and balance of the note under the cursor.
    void showSelectedNote();
    void strengthChosen();
    void balanceChosen();
    void accidentalChosen(int index);
    void deleteSelectedNote();
    // The length tools 10..17 of the toolbox stand in the panel.
    void lengthToolClicked(int index);

private:
    // The selection when the panel's note is one of it (strength, balance
    // and length then go to every selected note), else nullptr.
    const std::vector<int32_t>* selectionOfNote() const;
    template <class Edit> void keepSelectionAfter(const std::vector<int32_t>& selection, Edit&& edit);
    MainWindowModel& m_window;
};

} // namespace vako
