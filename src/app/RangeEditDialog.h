// `RangeWindowModel` on screen: the modal "編集補助" window over its model. The strip is
// drawn into a retained image through the same canvas as the score view; every
// control forwards to the model and the whole window is shown from the model
// again after each handler.
#pragma once

#include "platform/qt/QtCanvas.h"
#include "rangeedit/RangeWindowModel.h"

#include <QDialog>

#include <array>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace vako {

class MainWindowModel;

class RangeEditDialog : public QDialog {
public:
    RangeEditDialog(MainWindowModel& main, QWidget* parent);

    RangeWindowModel& form() { return m_form; }
    QtCanvas& strip() { return m_canvas; }
    QWidget* stripWidget() const { return m_strip; }
    QPushButton* runButton(int operation) const { return m_run[operation]; }

    // Strip units per widget pixel, for clicks on the strip.
    double stripUnitsPerPixel() const;
    void refresh();

private:
    class Strip;
    void place(QWidget* w, int x, int y, int width, int height);
    // A label with the window's own text; controls sit in its runs of blanks.
    QWidget* textWithGaps(const std::string& text, int x, int y,
                          std::initializer_list<QWidget*> inGaps);

    QtCanvas m_canvas;
    RangeWindowModel m_form;
    bool m_refreshing = false;
    QWidget* m_strip = nullptr;
    QScrollBar *m_vscroll1 = nullptr, *m_hscroll1 = nullptr, *m_hscroll3 = nullptr,
               *m_hscroll4 = nullptr;
    QComboBox *m_targetPartList = nullptr, *m_pitchClassList = nullptr, *m_strengthList = nullptr,
              *m_balanceList = nullptr;
    std::array<QRadioButton*, 2> m_option2{};
    QLabel* m_partLabel = nullptr;
    std::array<QLabel*, 4> m_readOuts{};
    std::array<QPushButton*, 6> m_run{};
    QPushButton* m_redrawButton = nullptr;
};

} // namespace vako
